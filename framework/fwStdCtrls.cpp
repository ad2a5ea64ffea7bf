#include "framework/fwStdCtrls.h"

#include <algorithm>

namespace {

// A memory context with a font selected, for measuring text without a window.
class TMeasureContext {
 public:
  explicit TMeasureContext(HFONT AFont) : FDC(CreateCompatibleDC(nullptr)), FOld(SelectObject(FDC, AFont)) {}
  ~TMeasureContext() {
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
  }
  TMeasureContext(const TMeasureContext&) = delete;
  TMeasureContext& operator=(const TMeasureContext&) = delete;
  HDC DC() const { return FDC; }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Label

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(ControlStyle() | csOpaque);
  SetParentColor(true);
  SetBounds(0, 0, 65, 17);
}

TLabel::~TLabel() {
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
}

void TLabel::SetAutoSize(bool AValue) {
  if (AValue == FAutoSize) return;
  FAutoSize = AValue;
  AdjustBounds();
}

void TLabel::SetWordWrap(bool AValue) {
  if (AValue == FWordWrap) return;
  FWordWrap = AValue;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetTransparent(bool AValue) {
  if (AValue == FTransparent) return;
  FTransparent = AValue;
  // A transparent label leaves its background to the parent: invalidating it must erase.
  SetControlStyle(AValue ? ControlStyle() - csOpaque : ControlStyle() | csOpaque);
  Invalidate();
}

void TLabel::SetShowAccelChar(bool AValue) {
  if (AValue == FShowAccelChar) return;
  FShowAccelChar = AValue;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetFocusControl(TWinControl* AValue) {
  if (AValue == FFocusControl) return;
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = AValue;
  if (FFocusControl) FFocusControl->FreeNotification(this);
}

void TLabel::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TGraphicControl::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

UINT TLabel::TextFlags() const {
  UINT flags = DT_EXPANDTABS;
  if (FWordWrap) flags |= DT_WORDBREAK;
  if (!FShowAccelChar) flags |= DT_NOPREFIX;
  return flags;
}

void TLabel::AdjustBounds() {
  if (!FAutoSize || IsDestroying()) return;
  std::u16string text = Caption();
  // An empty caption (or a lone "&") still keeps one line's height.
  if (text.empty() || (FShowAccelChar && text == u"&")) text += u' ';
  TMeasureContext measure(Font().Handle());
  RECT r{0, 0, FWordWrap ? Width() : 0, 0};
  DrawTextW(measure.DC(), WStr(text), static_cast<int>(text.size()), &r, TextFlags() | DT_CALCRECT);
  SetBounds(Left(), Top(), FWordWrap ? Width() : r.right - r.left, r.bottom - r.top);
}

void TLabel::Resize() {
  // A wrapped label gets the height its new width needs.
  if (FWordWrap) AdjustBounds();
  TGraphicControl::Resize();
}

void TLabel::Paint() {
  TCanvas& canvas = Canvas();
  RECT r = ClientRect();
  if (!FTransparent) {
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.FillRect(r);
  }
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  if (!Enabled()) canvas.Font().SetColor(clGrayText);
  canvas.DrawText(Caption(), r, TextFlags());
}

bool TLabel::DialogChar(TMessage& AMessage) {
  if (!FFocusControl || !FShowAccelChar || !Enabled() || !Visible()) return false;
  if (!IsAccel(static_cast<char16_t>(AMessage.WParam), Caption()) || !FFocusControl->CanFocus()) return false;
  FFocusControl->SetFocus();
  AMessage.Answer(1);
  return true;
}

void TLabel::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CM_DIALOGCHAR:
      if (DialogChar(AMessage)) return;
      break;
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      AdjustBounds();
      break;
    default:
      break;
  }
  TGraphicControl::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------
// Check box

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
  SetParentColor(true);
  SetTabStop(true);
  SetBounds(0, 0, 97, 17);
}

bool TCheckBox::Checked() const {
  if (HWND window = HandleIfAllocated()) return SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
  return FChecked;
}

void TCheckBox::SetChecked(bool AValue) {
  FChecked = AValue;
  if (HWND window = HandleIfAllocated()) SendMessageW(window, BM_SETCHECK, AValue ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::CreateParams(TCreateParams& AParams) {
  TWinControl::CreateParams(AParams);
  AParams.SysClassName = u"BUTTON";
  AParams.Style |= BS_AUTOCHECKBOX;
}

void TCheckBox::CreateWnd() {
  TWinControl::CreateWnd();
  SendMessageW(HandleIfAllocated(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::DestroyWnd() {
  FChecked = Checked();
  TWinControl::DestroyWnd();
}

void TCheckBox::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == CN_COMMAND && HIWORD(AMessage.WParam) == BN_CLICKED) {
    FChecked = Checked();
    AMessage.Answer();
    Click();  // last: the handler may free the control
    return;
  }
  TWinControl::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------
// Combo box

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>(this)) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox() = default;

void TComboBox::SetStyle(TComboBoxStyle AValue) {
  if (AValue == FStyle) return;
  // The text of a field the new style lacks, or of one it gains, is the chosen item's.
  const int index = ItemIndex();
  FStyle = AValue;
  FItemIndex = index;
  RecreateWnd();
}

int TComboBox::ItemIndex() const { return MirroredItemIndex(HandleIfAllocated(), ComboBoxMessages, FItemIndex); }

void TComboBox::SetItemIndex(int AValue) {
  SetMirroredItemIndex(HandleIfAllocated(), ComboBoxMessages, FItems.Count(), AValue, FItemIndex);
}

std::u16string TComboBox::GetText() const {
  if (!IsListStyle()) return TWinControl::GetText();
  const int index = ItemIndex();
  return index >= 0 ? FItems[index] : std::u16string();
}

void TComboBox::SetTextValue(const std::u16string& AValue) {
  const int index = FItems.IndexOf(AValue);
  if (IsListStyle()) return SetItemIndex(index);
  // Choosing an item rewrites the field: the text goes in after it.
  SetItemIndex(index);
  TWinControl::SetTextValue(AValue);
}

void TComboBox::SetDropDownCount(int AValue) {
  FDropDownCount = std::max(AValue, 1);
  ApplyDropDownCount();
}

bool TComboBox::DroppedDown() const {
  HWND window = HandleIfAllocated();
  return window && SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TComboBox::SetDroppedDown(bool AValue) { SendMessageW(Handle(), CB_SHOWDROPDOWN, AValue, 0); }

void TComboBox::SetItemHeight(int AValue) {
  FItemHeight = std::max(AValue, 1);
  if (HWND window = HandleIfAllocated(); window && FStyle == TComboBoxStyle::csOwnerDrawFixed) {
    SendMessageW(window, CB_SETITEMHEIGHT, 0, FItemHeight);
    SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), FItemHeight);
    ApplyDropDownCount();
  }
}

void TComboBox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  ApplyDropDownCount();
}

void TComboBox::ApplyDropDownCount() {
  HWND window = HandleIfAllocated();
  if (!window || FStyle == TComboBoxStyle::csSimple) return;
  // The window of a drop-down combo box is as high as it is dropped; it reports only its field's height.
  const int row = static_cast<int>(SendMessageW(window, CB_GETITEMHEIGHT, 0, 0));
  SetWindowPos(window, nullptr, 0, 0, Width(), Height() + row * FDropDownCount + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TComboBox::CreateParams(TCreateParams& AParams) {
  TWinControl::CreateParams(AParams);
  AParams.SysClassName = u"COMBOBOX";
  AParams.Style |= WS_VSCROLL;
  switch (FStyle) {
    case TComboBoxStyle::csDropDown:
      AParams.Style |= CBS_DROPDOWN | CBS_AUTOHSCROLL;
      break;
    case TComboBoxStyle::csSimple:
      AParams.Style |= CBS_SIMPLE | CBS_AUTOHSCROLL;
      break;
    case TComboBoxStyle::csDropDownList:
      AParams.Style |= CBS_DROPDOWNLIST;
      break;
    case TComboBoxStyle::csOwnerDrawFixed:
      AParams.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
      break;
  }
}

void TComboBox::CreateWnd() {
  // The field's text; choosing the item below would overwrite it.
  const std::u16string text = FText;
  TWinControl::CreateWnd();
  HWND window = HandleIfAllocated();
  if (FStyle == TComboBoxStyle::csOwnerDrawFixed) {
    SendMessageW(window, CB_SETITEMHEIGHT, 0, FItemHeight);
    SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), FItemHeight);
  }
  for (int i = 0; i < FItems.Count(); ++i)
    SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WStr(FItems[i])));
  SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(FItemIndex), 0);
  if (!IsListStyle()) SetWindowTextW(window, WStr(text));
  ApplyDropDownCount();
}

void TComboBox::DestroyWnd() {
  FItemIndex = ItemIndex();
  TWinControl::DestroyWnd();
}

void TComboBox::FreeContexts() {
  FCanvas->FreeHandle();
  TWinControl::FreeContexts();
}

void TComboBox::ItemInserted(int AIndex) {
  MirrorItemInserted(HandleIfAllocated(), ComboBoxMessages, FItems[AIndex], AIndex, FItemIndex);
}

void TComboBox::ItemDeleted(int AIndex) {
  MirrorItemDeleted(HandleIfAllocated(), ComboBoxMessages, AIndex, FItemIndex);
}

void TComboBox::ItemsCleared() {
  FItemIndex = -1;
  if (HWND window = HandleIfAllocated()) SendMessageW(window, CB_RESETCONTENT, 0, 0);
}

void TComboBox::ItemsUpdating(bool AUpdating) {
  HWND window = HandleIfAllocated();
  if (!window) return;
  SendMessageW(window, WM_SETREDRAW, !AUpdating, 0);
  if (!AUpdating) Invalidate();
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TComboBox::Command(WORD ACode) {
  switch (ACode) {
    case CBN_SELCHANGE:
      // The field takes the chosen item's text only after this notification; the handler reads it now.
      if (!IsListStyle())
        if (const int index = ItemIndex(); index >= 0) SetWindowTextW(HandleIfAllocated(), WStr(FItems[index]));
      Change();
      break;
    case CBN_EDITCHANGE:
      Change();
      break;
    default:
      break;
  }
}

void TComboBox::DrawItem(int AIndex, const RECT& ARect, TOwnerDrawState AState) {
  if (OnDrawItem) return OnDrawItem(this, AIndex, ARect, AState);
  FCanvas->FillRect(ARect);
  if (AIndex >= 0) FCanvas->TextOut(ARect.left + 2, ARect.top, FItems[AIndex]);
}

void TComboBox::DrawItemMessage(TDrawItemMessage& AMessage) {
  const RECT& rect = AMessage.Record.rcItem;
  PaintOwnerDrawnRow(*FCanvas, AMessage.Record, [&](int AIndex, TOwnerDrawState AState) {
    DrawItem(AIndex < FItems.Count() ? AIndex : -1, rect, AState);
  });
  AMessage.Message.Answer(TRUE);
}

void TComboBox::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CN_COMMAND:
      AMessage.Answer();
      return Command(HIWORD(AMessage.WParam));
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

// ---------------------------------------------------------------------------------------------------------------
// Edits

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
}

void TCustomEdit::SetReadOnly(bool AValue) {
  if (AValue == FReadOnly) return;
  FReadOnly = AValue;
  if (HWND window = HandleIfAllocated()) SendMessageW(window, EM_SETREADONLY, AValue, 0);
}

void TCustomEdit::SetBorderStyle(TBorderStyle AValue) {
  if (AValue == FBorderStyle) return;
  FBorderStyle = AValue;
  RecreateWnd();
}

void TCustomEdit::CreateParams(TCreateParams& AParams) {
  TWinControl::CreateParams(AParams);
  AParams.SysClassName = u"EDIT";
  AParams.Style |= ES_AUTOHSCROLL;
  if (FReadOnly) AParams.Style |= ES_READONLY;
  if (FBorderStyle == TBorderStyle::bsSingle) {
    if (Ctl3D())
      AParams.ExStyle |= WS_EX_CLIENTEDGE;
    else
      AParams.Style |= WS_BORDER;
  }
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CN_COMMAND:
      if (HIWORD(AMessage.WParam) == EN_CHANGE) {
        AMessage.Answer();
        return Change();
      }
      break;
    case CM_CTL3DCHANGED:
      if (FBorderStyle == TBorderStyle::bsSingle) RecreateWnd();
      break;
    default:
      break;
  }
  TWinControl::WndProc(AMessage);
}

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner) { SetBounds(0, 0, 185, 89); }

void TMemo::SetWordWrap(bool AValue) {
  if (AValue == FWordWrap) return;
  FWordWrap = AValue;
  RecreateWnd();
}

void TMemo::SetScrollBars(TScrollStyle AValue) {
  if (AValue == FScrollBars) return;
  FScrollBars = AValue;
  RecreateWnd();
}

void TMemo::CreateParams(TCreateParams& AParams) {
  TCustomEdit::CreateParams(AParams);
  AParams.Style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
  if (FWordWrap) AParams.Style &= ~ES_AUTOHSCROLL;
  if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth) AParams.Style |= WS_VSCROLL;
  if (!FWordWrap && (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth))
    AParams.Style |= WS_HSCROLL;
}

void TMemo::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == WM_GETDLGCODE) {
    TCustomEdit::WndProc(AMessage);
    if (!AMessage.Handled) AnswerByDefault(AMessage);
    // Tab moves on to the next control; a read-only memo also leaves Enter and Esc to the dialog's buttons.
    AMessage.Result &= ~DLGC_WANTTAB;
    if (ReadOnly()) AMessage.Result &= ~DLGC_WANTALLKEYS;
    return;
  }
  TCustomEdit::WndProc(AMessage);
}
