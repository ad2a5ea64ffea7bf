#include "framework/fwListBox.h"

#include <algorithm>

TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>(this)) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
}

TListBox::~TListBox() = default;

void TListBox::SetStyle(TListBoxStyle AValue) {
  if (AValue == FStyle) return;
  FStyle = AValue;
  RecreateWnd();
}

int TListBox::ItemHeight() const {
  if (HWND window = HandleIfAllocated()) return static_cast<int>(SendMessageW(window, LB_GETITEMHEIGHT, 0, 0));
  return FItemHeight;
}

void TListBox::SetItemHeight(int AValue) {
  FItemHeight = std::max(AValue, 1);
  if (HWND window = HandleIfAllocated(); window && FStyle == TListBoxStyle::lbOwnerDrawFixed) {
    SendMessageW(window, LB_SETITEMHEIGHT, 0, FItemHeight);
    Invalidate();
  }
}

void TListBox::SetFloating(bool AValue) {
  if (AValue == FFloating) return;
  FFloating = AValue;
  RecreateWnd();
}

int TListBox::ItemIndex() const { return MirroredItemIndex(HandleIfAllocated(), ListBoxMessages, FItemIndex); }

void TListBox::SetItemIndex(int AValue) {
  SetMirroredItemIndex(HandleIfAllocated(), ListBoxMessages, FItems.Count(), AValue, FItemIndex);
}

int TListBox::TopIndex() const {
  if (HWND window = HandleIfAllocated()) return static_cast<int>(SendMessageW(window, LB_GETTOPINDEX, 0, 0));
  return FTopIndex;
}

void TListBox::SetTopIndex(int AValue) {
  FTopIndex = std::max(AValue, 0);
  if (HWND window = HandleIfAllocated()) SendMessageW(window, LB_SETTOPINDEX, static_cast<WPARAM>(FTopIndex), 0);
}

int TListBox::ItemAtPos(POINT APos, bool AExisting) const {
  if (FItems.Count() == 0) return -1;
  HWND window = HandleIfAllocated();
  if (!window) {
    const int row = APos.y >= 0 ? APos.y / FItemHeight : -1;
    const int index = FTopIndex + row;
    if (index >= 0 && index < FItems.Count()) return index;
    return AExisting ? -1 : std::clamp(index, 0, FItems.Count() - 1);
  }
  // The system answers the nearest item and whether the point lies outside every row.
  const LRESULT answer = SendMessageW(window, LB_ITEMFROMPOINT, 0, MAKELPARAM(APos.x, APos.y));
  if (AExisting && HIWORD(answer) != 0) return -1;
  return std::min(static_cast<int>(LOWORD(answer)), FItems.Count() - 1);
}

RECT TListBox::ItemRect(int AIndex) const {
  RECT r{};
  if (HWND window = HandleIfAllocated(); window && SendMessageW(window, LB_GETITEMRECT, static_cast<WPARAM>(AIndex),
                                                                reinterpret_cast<LPARAM>(&r)) == LB_ERR)
    r = RECT{};
  return r;
}

void TListBox::CreateParams(TCreateParams& AParams) {
  TWinControl::CreateParams(AParams);
  AParams.SysClassName = u"LISTBOX";
  AParams.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  if (FStyle == TListBoxStyle::lbOwnerDrawFixed) AParams.Style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
  if (FFloating) {
    // Owned by the parent's window, which still hears its notifications and reflects them here.
    // Made hidden: a pop-up made visible would be activated. CreateWnd shows it without activation.
    AParams.Style = (AParams.Style & ~(WS_CHILD | WS_VISIBLE)) | WS_POPUP | WS_BORDER;
    AParams.ExStyle |= WS_EX_TOOLWINDOW;
  } else {
    AParams.ExStyle |= WS_EX_CLIENTEDGE;
  }
}

void TListBox::CreateWnd() {
  TWinControl::CreateWnd();
  HWND window = HandleIfAllocated();
  if (FStyle == TListBoxStyle::lbOwnerDrawFixed) SendMessageW(window, LB_SETITEMHEIGHT, 0, FItemHeight);
  SendMessageW(window, WM_SETREDRAW, FALSE, 0);
  for (int i = 0; i < FItems.Count(); ++i)
    SendMessageW(window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WStr(FItems[i])));
  SendMessageW(window, LB_SETCURSEL, static_cast<WPARAM>(FItemIndex), 0);
  SendMessageW(window, LB_SETTOPINDEX, static_cast<WPARAM>(FTopIndex), 0);
  SendMessageW(window, WM_SETREDRAW, TRUE, 0);
  if (FFloating && Visible()) ShowWindow(window, SW_SHOWNA);
}

void TListBox::DestroyWnd() {
  FItemIndex = ItemIndex();
  FTopIndex = TopIndex();
  TWinControl::DestroyWnd();
}

void TListBox::FreeContexts() {
  FCanvas->FreeHandle();
  TWinControl::FreeContexts();
}

void TListBox::ItemInserted(int AIndex) {
  MirrorItemInserted(HandleIfAllocated(), ListBoxMessages, FItems[AIndex], AIndex, FItemIndex);
}

void TListBox::ItemDeleted(int AIndex) { MirrorItemDeleted(HandleIfAllocated(), ListBoxMessages, AIndex, FItemIndex); }

void TListBox::ItemsCleared() {
  FItemIndex = -1;
  FTopIndex = 0;
  if (HWND window = HandleIfAllocated()) SendMessageW(window, LB_RESETCONTENT, 0, 0);
}

void TListBox::ItemsUpdating(bool AUpdating) {
  HWND window = HandleIfAllocated();
  if (!window) return;
  SendMessageW(window, WM_SETREDRAW, !AUpdating, 0);
  if (!AUpdating) Invalidate();
}

void TListBox::DrawItem(int AIndex, const RECT& ARect, TOwnerDrawState AState) {
  if (OnDrawItem) return OnDrawItem(this, AIndex, ARect, AState);
  FCanvas->FillRect(ARect);
  if (AIndex >= 0) FCanvas->TextOut(ARect.left + 2, ARect.top, FItems[AIndex]);
}

void TListBox::DrawItemMessage(TDrawItemMessage& AMessage) {
  const RECT& rect = AMessage.Record.rcItem;
  PaintOwnerDrawnRow(*FCanvas, AMessage.Record, [&](int AIndex, TOwnerDrawState AState) {
    // An empty list still gets its focus frame drawn, over a plain row.
    if (AIndex >= 0 && AIndex < FItems.Count())
      DrawItem(AIndex, rect, AState);
    else
      FCanvas->FillRect(rect);
  });
  AMessage.Message.Answer(TRUE);
}

void TListBox::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CN_COMMAND:
      AMessage.Answer();
      if (HIWORD(AMessage.WParam) == LBN_SELCHANGE) Click();  // last: the handler may free the control
      return;
    case CN_MEASUREITEM:
      TMeasureItemMessage(AMessage).Record.itemHeight = static_cast<UINT>(FItemHeight);
      return AMessage.Answer(TRUE);
    case CN_DRAWITEM: {
      TDrawItemMessage draw(AMessage);
      return DrawItemMessage(draw);
    }
    default:
      break;
  }
  TWinControl::WndProc(AMessage);
}
