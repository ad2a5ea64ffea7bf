#include "app/diSheetForm.h"

#include "app/unMenuImages.h"
#include "controls/baAppCmpns.h"
#include "controls/baSaper.h"
#include "document/elements/diCustomElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diClasses.h"
#include "document/model/diDropDown.h"
#include "document/text/diTextorElement.h"
#include "document/text/diTextorInteractive.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUndoRedo.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwActions.h"
#include "framework/fwApplication.h"
#include "framework/fwHints.h"
#include "framework/fwImageList.h"
#include "framework/fwMenus.h"
#include "framework/fwScreen.h"

#include <algorithm>
#include <utility>

std::unique_ptr<TSheetFormSettings, TNodeDeleter> SheetFormSettings;

namespace {

enum : int {
  IdUndo = 2036,
  IdRedo = 2037,
  IdCut = 2038,
  IdCopy = 2039,
  IdPaste = 2040,
  IdDelete = 2041,
  IdSelectAll = 2042,
  IdCopyAsText = 2940,
  IdReplacements = 2944,
  IdNonPrinting = 2948,
  IdElementNotFound = 2950,
  IdElementNotShown = 2951,
};

// Sheet notifications the form also answers, beside the sheet's named ones: the focused element painted straight
// into the window.
enum : int { snPaintFocused = 22, snPaintFocusedNow = 23 };

constexpr int ScrollMargin = 30;
constexpr int HintReshowTimeout = 165;
// Hidden where it is, without moving, sizing, ordering or activating anything.
constexpr UINT HideInPlace = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW;

TShiftKeys ToShiftKeys(TShiftState AShift) { return TShiftKeys::FromBits(static_cast<uint8_t>(AShift.Bits() & 0x7F)); }

std::u16string Loc(int AId, std::u16string_view AEnglish) { return FormatLocStrOr(AId, AEnglish, {}); }

void InformationBox(const std::u16string& AText) { ShowMessageBox(AText, {}, MB_OK | MB_ICONINFORMATION); }

RECT ToRECT(const TRect& ARect) { return {ARect.Left, ARect.Top, ARect.Right, ARect.Bottom}; }

// Every expand button under AElement, parents before their children.
void CollectExpandButtons(TVisualElement* AElement, std::vector<TExpandButton*>& AList) {
  for (TVisualElement* e = AElement->FirstVisualChild(); e; e = e->NextVisualSibling()) {
    if (auto* button = dynamic_cast<TExpandButton*>(e)) AList.push_back(button);
    CollectExpandButtons(e, AList);
  }
}

// Whether AElement is a text whose selection is a match of AData.
bool SelectionMatches(TVisualElement* AElement, const TFindData* AData) {
  auto* text = dynamic_cast<TTextorElement*>(AElement);
  TTextorInteractive* interactive = text ? text->Interactive() : nullptr;
  return interactive && interactive->HasSelection() && AData->Matches(interactive->GetSelectedText());
}

// Focus steps inside it do not reveal the elements they pass: a search opens only what hides its match.
class TRevealPause {
 public:
  explicit TRevealPause(TSheet* ASheet) : FSheet(ASheet), FWas(ASheet->RevealOnFocus) { ASheet->RevealOnFocus = false; }
  ~TRevealPause() { FSheet->RevealOnFocus = FWas; }
  TRevealPause(const TRevealPause&) = delete;
  TRevealPause& operator=(const TRevealPause&) = delete;
  bool Was() const { return FWas; }

 private:
  TSheet* FSheet;
  bool FWas;
};

}  // namespace

TSheetFormSettings::TSheetFormSettings(TProperty* AParent, std::u16string AName)
    : TProperty(AParent, std::move(AName)), ShowHints(new TBooleanProperty(this, u"ShowHints", true)) {}

void InitializeSheetForm() { SheetFormSettings.reset(new TSheetFormSettings(nullptr, u"SheetForm")); }

void FinalizeSheetForm() { SheetFormSettings.reset(); }

int NextClickCount(int ACount, bool ALeft, POINT ALast, POINT APoint, int64_t AElapsed, unsigned ADoubleClickTime,
                   int AThreshold) {
  if (!ALeft || AElapsed < 0 || AElapsed >= static_cast<int64_t>(ADoubleClickTime)) return 0;
  if (std::abs(APoint.x - ALast.x) > AThreshold || std::abs(APoint.y - ALast.y) > AThreshold) return 0;
  return ACount == 0 ? 2 : ACount + 1;
}

POINT ScrollPositionFor(const TRect& ARect, bool AWithMargin, POINT APosition, SIZE AClient) {
  const int m = AWithMargin ? ScrollMargin : 0;
  POINT p = APosition;
  if (ARect.Right + m > p.x + AClient.cx) p.x = ARect.Right + m - AClient.cx;
  if (ARect.Left - m < p.x) p.x = ARect.Left - m;
  const int bottom = std::min(ARect.Top + static_cast<int>(AClient.cy), static_cast<int>(ARect.Bottom));
  if (bottom > p.y + AClient.cy) p.y = bottom - AClient.cy;
  const int top = std::max(ARect.Bottom - static_cast<int>(AClient.cy), static_cast<int>(ARect.Top));
  if (top < p.y) p.y = top;
  return p;
}

TDropDownPlacement PlaceDropDown(const RECT& AElement, int ACount, int AItemHeight, int ABorder, int AWidth,
                                 const RECT& AWorkArea) {
  TDropDownPlacement placement{};
  int rows = std::min(std::max(ACount, 1), DropDownMaxRows);
  auto height = [&] { return rows * AItemHeight + ABorder; };
  const int below = AWorkArea.bottom - AElement.bottom;
  const int above = AElement.top - AWorkArea.top;
  placement.Above = below < above;
  const int room = placement.Above ? above : below;
  while (rows > 1 && height() > room) --rows;
  const int top = placement.Above ? AElement.top - height() : AElement.bottom;
  int left = AElement.left;
  if (left + AWidth > AWorkArea.right) left = AWorkArea.right - AWidth;
  placement.Bounds = {left, top, left + AWidth, top + height()};
  placement.Rows = rows;
  return placement;
}

// ---------------------------------------------------------------------------------------------------------------
// Drop-down window

TDropDownControl::TDropDownControl(TComponent* AOwner, TSheetForm* AForm) : TListBox(AOwner), FForm(AForm) {
  SetVisible(false);
  SetTabStop(false);
  SetStyle(TListBoxStyle::lbOwnerDrawFixed);
  SetFloating(true);
  OnDrawItem = MakeMethod<&TDropDownControl::DrawRow>(this);
  FHintWindow = New<THintWindow>(this);
  FHintWindow->SetColor(Application ? Application->HintColor() : clInfoBk);
}

TDropDownControl::~TDropDownControl() = default;

void TDropDownControl::BeforeDestruction() {
  ReleaseHint();
  TListBox::BeforeDestruction();
}

void TDropDownControl::CreateParams(TCreateParams& AParams) {
  TListBox::CreateParams(AParams);
  AParams.ExStyle |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
  // A class of its own: the shadow and the saved bits belong to this list's windows only.
  AParams.WinClassName = u"TDropDownControl";
  AParams.WindowClassStyle |= CS_SAVEBITS | CS_DROPSHADOW;
}

void TDropDownControl::CreateWnd() {
  TListBox::CreateWnd();
  // The list draws as focused while the keyboard stays with the sheet: its own procedure hears of a focus it never
  // gets, and nothing of ours does.
  TMessage focus{Handle(), WM_SETFOCUS, 0, 0};
  TListBox::DefaultHandler(focus);
  // The move the system sends to a window that opens under a resting pointer chooses no row.
  GetCursorPos(&FLastMousePos);
}

TDropDownItem* TDropDownControl::CurrentItem() const {
  const int index = ItemIndex();
  return index >= 0 && index < static_cast<int>(FRows.size()) ? FRows[index] : nullptr;
}

void TDropDownControl::Fill() {
  BeginUpdate();
  const int top = TopIndex();
  Items().Clear();
  FRows.clear();
  if (FList) FList->GetVisibleRows(FRows);
  for (TDropDownItem* row : FRows) Items().Add(row->ShownText());
  SetTopIndex(top);
  const auto selected = FList ? std::find(FRows.begin(), FRows.end(), FList->Selected()) : FRows.end();
  SetItemIndex(selected == FRows.end() ? -1 : static_cast<int>(selected - FRows.begin()));
  EndUpdate();
}

void TDropDownControl::DrawRow(TObject*, int AIndex, const RECT& ARect, TOwnerDrawState AState) {
  TSheet* sheet = FForm->Sheet();
  if (!sheet || AIndex < 0 || AIndex >= static_cast<int>(FRows.size())) return;
  HDC dc = Canvas().Handle();
  const TRect rect{ARect.left, ARect.top, ARect.right, ARect.bottom};
  TSheetCanvas* canvas = sheet->Canvas();
  canvas->BeginPaint(dc, rect);
  FRows[AIndex]->PaintRow(*canvas, rect, AState.Contains(odSelected));
  canvas->EndPaint(dc);
}

void TDropDownControl::HotTrackAt(POINT AScreenPoint) {
  if (!HandleAllocated()) return;
  POINT client = AScreenPoint;
  ::ScreenToClient(Handle(), &client);
  const int index = ItemAtPos(client, true);
  if (index >= 0 && index != ItemIndex()) {
    SetItemIndex(index);
    FForm->DropDownItemChosen(this);
  }
  ShowItemHint();
}

void TDropDownControl::ReleaseHint() {
  if (FHintWindow) FHintWindow->ReleaseHandle();
}

void TDropDownControl::ShowItemHint() {
  TDropDownItem* item = CurrentItem();
  if (!item || item->ShownText().empty() || !HandleAllocated()) {
    ReleaseHint();
    return;
  }
  RECT list;
  GetWindowRect(Handle(), &list);
  const RECT row = ItemRect(ItemIndex());
  POINT rowTop{0, row.top};
  ::ClientToScreen(Handle(), &rowTop);
  RECT rect = FHintWindow->CalcHintRect(GetSystemMetrics(SM_CXSCREEN) / 4, item->ShownText(), nullptr);
  OffsetRect(&rect, list.right, rowTop.y - 2);
  FHintWindow->ActivateHint(rect, item->ShownText());
}

void TDropDownControl::LeftButtonUp(POINT AClient) {
  TSheet* sheet = FForm->Sheet();
  TDropDownItem* item = FList ? FList->Selected() : nullptr;
  if (!sheet || !item) return;
  if (item->HasSubItems() && AClient.x < item->GetIndent() + DropDownGlyphColumn) {
    item->SetExpanded(!item->Expanded());
    return;
  }
  if (!item->Selectable()) return;
  RECT client;
  ::GetClientRect(Handle(), &client);
  // Closing frees this control: nothing of it is touched afterwards.
  sheet->CloseDropDown(PtInRect(&client, AClient) != FALSE);
}

void TDropDownControl::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_MOUSEACTIVATE:
      return AMessage.Answer(MA_NOACTIVATE);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // Chosen here rather than by the system's list, which would take the keyboard focus first.
      const POINT point = PointFromLParam(AMessage.LParam);
      const int index = ItemAtPos(point, true);
      if (index >= 0 && index != ItemIndex()) {
        SetItemIndex(index);
        FForm->DropDownItemChosen(this);
      }
      SetCapture(Handle());
      ShowItemHint();
      return AMessage.Answer();
    }
    case WM_LBUTTONUP: {
      const POINT point = PointFromLParam(AMessage.LParam);
      if (GetCapture() == Handle()) ReleaseCapture();
      AMessage.Answer();
      LeftButtonUp(point);
      return;
    }
    case WM_MOUSEMOVE: {
      POINT screen = PointFromLParam(AMessage.LParam);
      ::ClientToScreen(Handle(), &screen);
      if (screen.x != FLastMousePos.x || screen.y != FLastMousePos.y) {
        FLastMousePos = screen;
        HotTrackAt(screen);
      }
      return AMessage.Answer();
    }
    case WM_MOUSEWHEEL:
      PostMessageW(Handle(), WM_DROPDOWN_HOTTRACK, 0, 0);
      break;
    case WM_KEYDOWN:
      PostMessageW(Handle(), WM_DROPDOWN_ITEMHINT, 0, 0);
      break;
    case WM_DROPDOWN_HOTTRACK: {
      POINT cursor;
      GetCursorPos(&cursor);
      HotTrackAt(cursor);
      return AMessage.Answer();
    }
    case WM_DROPDOWN_ITEMHINT:
      ShowItemHint();
      return AMessage.Answer();
    default:
      break;
  }
  TListBox::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------
// Form

TSheetForm::TSheetForm(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(TFormBorderStyle::bsNone);

  iml1 = New<TImageList>(this);
  LoadMenuImages(*iml1);
  al1 = New<TActionList>(this);
  al1->SetImages(iml1);
  auto action = [this](TNotifyEvent AExecute, int AImage = -1) {
    TAction* a = New<TAction>(this);
    a->SetActionList(al1);
    a->SetImageIndex(AImage);
    a->OnExecute = AExecute;
    return a;
  };
  EditUndo = action(MakeMethod<&TSheetForm::EditUndoExecute>(this), imUndo);
  EditRedo = action(MakeMethod<&TSheetForm::EditRedoExecute>(this), imRedo);
  EditCut = action(MakeMethod<&TSheetForm::EditCutExecute>(this), imCut);
  EditCopy = action(MakeMethod<&TSheetForm::EditCopyExecute>(this), imCopy);
  EditCopyText = action(MakeMethod<&TSheetForm::EditCopyTextExecute>(this), imCopyText);
  EditCopyText->SetShortCut(MakeShortCut('C', ssCtrl | ssShift));
  EditPaste = action(MakeMethod<&TSheetForm::EditPasteExecute>(this), imPaste);
  EditDelete = action(MakeMethod<&TSheetForm::EditDeleteExecute>(this), imDelete);
  EditSelectAll = action(MakeMethod<&TSheetForm::EditSelectAllExecute>(this), imSelectAll);
  EditReadOnly = action(MakeMethod<&TSheetForm::EditReadOnlyExecute>(this));
  EditReadOnly->SetAutoCheck(true);
  ViewNonPrintingCharacters =
      action(MakeMethod<&TSheetForm::ViewNonPrintingCharactersExecute>(this), imNonPrintingCharacters);
  ViewNonPrintingCharacters->SetAutoCheck(true);

  pmEdit = New<TPopupMenu>(this);
  pmEdit->SetImages(iml1);
  auto entry = [this](TAction* AAction) {
    TMenuItem* item = New<TMenuItem>(this);
    if (AAction)
      item->SetAction(AAction);
    else
      item->SetCaption(u"-");
    pmEdit->Items()->Add(item);
    return item;
  };
  // Not linked to the action: the menu keeps the plain word while the action's caption names the operation.
  miUndo = New<TMenuItem>(this);
  miUndo->SetImageIndex(imUndo);
  miUndo->OnClick = MakeMethod<&TSheetForm::miUndoClick>(this);
  pmEdit->Items()->Add(miUndo);
  entry(nullptr);
  entry(EditCut);
  entry(EditCopy);
  entry(EditPaste);
  entry(EditDelete);
  entry(nullptr);
  entry(EditSelectAll);

  rb1 = New<TRangeBox>(this);
  rb1->SetParent(this);
  rb1->SetAlign(TAlign::alClient);
  rb1->SetBorderStyle(TControlBorderStyle::bsTheme);
  rb1->SetColor(clWindow);
  rb1->SetPopupMenu(pmEdit);
  rb1->SetTabStop(true);
  rb1->SetClipping(rbcTopLeft);
  rb1->SetOptions(rboWantArrows | rboNotBuffered | rboDisableNoScrollVert);
  rb1->SetScrollBars(TScrollStyle::ssBoth);
  rb1->OnKeyDown = MakeMethod<&TSheetForm::rb1KeyDown>(this);
  rb1->OnKeyPress = MakeMethod<&TSheetForm::rb1KeyPress>(this);
  rb1->OnKeyUp = MakeMethod<&TSheetForm::rb1KeyUp>(this);
  rb1->OnMouseDown = MakeMethod<&TSheetForm::rb1MouseDown>(this);
  rb1->OnMouseMove = MakeMethod<&TSheetForm::rb1MouseMove>(this);
  rb1->OnMouseUp = MakeMethod<&TSheetForm::rb1MouseUp>(this);
  rb1->OnMouseLeave = MakeMethod<&TSheetForm::rb1MouseLeave>(this);
  rb1->OnCancelMode = MakeMethod<&TSheetForm::rb1CancelMode>(this);
  rb1->OnContextPopup = MakeMethod<&TSheetForm::rb1ContextPopup>(this);
  rb1->OnPaintDC = MakeMethod<&TSheetForm::rb1PaintDC>(this);
  rb1->OnResize = MakeMethod<&TSheetForm::rb1Resize>(this);
  rb1->OnScrolled = MakeMethod<&TSheetForm::rb1Scrolled>(this);
  rb1->OnShowHint = MakeMethod<&TSheetForm::rb1ShowHint>(this);

  hk1 = New<THooker>(this);
  hk1->OnBeforeMessage = MakeMethod<&TSheetForm::hk1BeforeMessage>(this);

  if (Localization) Localization->AddNotifyEvent(MakeMethod<&TSheetForm::LocalizationChanged>(this));
  if (SheetFormSettings) SheetFormSettings->AddNotifyEvent(MakeMethod<&TSheetForm::SettingsChanged>(this));
  EditReadOnly->SetVisible(false);
  UpdateCaptions();
  UpdateHintsAndCursor();
  UpdateEditActions();
  UpdateWantTabs();
}

TSheetForm::~TSheetForm() = default;

void TSheetForm::CreateWnd() {
  TForm::CreateWnd();
  // Hooked once the form has its window: hooking at creation would make the box's window while the form is still
  // on its own, only for embedding to make it again.
  if (!hk1->Control()) hk1->SetControl(rb1);
}

void TSheetForm::BeforeDestruction() {
  SetSheet(nullptr, nullptr);
  if (Localization) Localization->RemoveNotifyEvent(MakeMethod<&TSheetForm::LocalizationChanged>(this));
  if (SheetFormSettings) SheetFormSettings->RemoveNotifyEvent(MakeMethod<&TSheetForm::SettingsChanged>(this));
  TForm::BeforeDestruction();
}

void TSheetForm::LocalizationChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == 1) UpdateCaptions();
}

void TSheetForm::SettingsChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == 1) UpdateHintsAndCursor();
}

void TSheetForm::SheetSettingsChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == 1 && FSheet) ViewNonPrintingCharacters->SetChecked(FSheet->Settings()->NonPrintingCharacters->Value());
}

void TSheetForm::UndoRedoChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == urPerformed || ANotify == urUndone || ANotify == urRedone || ANotify == urCleared)
    UpdateUndoRedoActions();
}

// ---------------------------------------------------------------------------------------------------------------
// Binding

void TSheetForm::SetSheet(TScheme* AScheme, TSheet* ASheet) {
  if (AScheme == FScheme && ASheet == FSheet) return;
  if (FSheet) {
    FSheet->RemoveNotifyEvent(MakeMethod<&TSheetForm::SheetNotification>(this));
    FSheet->Settings()->RemoveNotifyEvent(MakeMethod<&TSheetForm::SheetSettingsChanged>(this));
    FSheet->CloseDropDown(false);
    FSheet->SetActive(false);
  }
  // The old sheet's list is gone with its notification; a list the sheet no longer told of goes too.
  CloseDropDown();
  if (FScheme && FScheme->UndoRedo())
    FScheme->UndoRedo()->RemoveNotifyEvent(MakeMethod<&TSheetForm::UndoRedoChanged>(this));
  FScheme = AScheme;
  FSheet = ASheet;
  FHintElement = nullptr;
  if (FScheme && FScheme->UndoRedo())
    FScheme->UndoRedo()->AddNotifyEvent(MakeMethod<&TSheetForm::UndoRedoChanged>(this));
  if (FSheet) {
    FSheet->SetViewSize(ViewSize());
    FSheet->AddNotifyEvent(MakeMethod<&TSheetForm::SheetNotification>(this));
    FSheet->Settings()->AddNotifyEvent(MakeMethod<&TSheetForm::SheetSettingsChanged>(this));
  }
  UpdateHintsAndCursor();
  if (FSheet) {
    FSheet->SetViewSize(ViewSize());
    rb1->SetPosition({FSheet->ScreenPos().X, FSheet->ScreenPos().Y});
    ViewNonPrintingCharacters->SetChecked(FSheet->Settings()->NonPrintingCharacters->Value());
    if (rb1->HandleAllocated() && GetFocus() == rb1->Handle()) FSheet->SetActive(true);
  } else {
    ViewNonPrintingCharacters->SetChecked(false);
  }
  UpdateCaret();
  rb1->Invalidate();
  UpdateEditActions();
  UpdateUndoRedoActions();
  UpdateWantTabs();
}

bool TSheetForm::MeetsView(const TRect& ARect) const {
  // The window would clip the rest away: a layout that moves thousands of elements below the view asks for as many
  // repaints, each a trip to the window system for nothing.
  const POINT at = rb1->Position();
  const SIZE client = rb1->GetClientSize();
  return ARect.Left < at.x + client.cx && ARect.Right > at.x && ARect.Top < at.y + client.cy && ARect.Bottom > at.y &&
         ARect.Left < ARect.Right && ARect.Top < ARect.Bottom;
}

TVisualSize TSheetForm::ViewSize() const {
  const SIZE client = rb1->GetClientSize();
  return {static_cast<int32_t>(client.cx), static_cast<int32_t>(client.cy)};
}

void TSheetForm::UpdateHintsAndCursor() {
  if (FSheet) {
    rb1->SetShowHint(!SheetFormSettings || SheetFormSettings->ShowHints->Value());
    rb1->SetCursor(FSheet->Cursor());
    rb1->SetRangeSize(FSheet->GetWorkspaceWidth(), FSheet->GetWorkspaceHeight());
  } else {
    rb1->SetParentShowHint(true);
    rb1->SetCursor(crDefault);
    rb1->SetRangeSize(0, 0);
  }
}

void TSheetForm::UpdateCaret() {
  RECT caret{};
  if (FSheet && FSheet->CaretKind() == ckTextCaret) caret = ToRECT(FSheet->CaretRect());
  rb1->SetCaretRect(caret);
}

TVisualPoint TSheetForm::ClientToScreenPos(TVisualPoint APoint) const {
  const POINT client = rb1->RangeToClient({APoint.X, APoint.Y});
  const POINT screen = rb1->ClientToScreen(client);
  return {screen.x, screen.y};
}

// ---------------------------------------------------------------------------------------------------------------
// Sheet notifications

void TSheetForm::SheetNotification(TObject*, intptr_t ANotify, intptr_t AParam1, intptr_t) {
  switch (ANotify) {
    case snWorkspaceSize:
      // The sheet repaints what its size changed.
      rb1->ResizeRange(FSheet->GetWorkspaceWidth(), FSheet->GetWorkspaceHeight());
      break;
    case snScrollBand: {
      const auto& scroll = *reinterpret_cast<const TSheetScroll*>(AParam1);
      rb1->ScrollRangeBelow(scroll.Top, scroll.Distance);
      break;
    }
    case snRepaint:
      if (!AParam1)
        rb1->Invalidate();
      else if (const TRect& r = *reinterpret_cast<const TRect*>(AParam1); MeetsView(r))
        rb1->InvalidateRect(ToRECT(r));
      break;
    case snFocusChanged:
    case snEditState:
      UpdateEditActions();
      UpdateWantTabs();
      break;
    case snCursor:
      if (!FSheet->Captured()) {
        SetScreenCursor(crDefault);
        rb1->SetCursor(FSheet->Cursor());
      } else {
        SetScreenCursor(FSheet->Cursor());
      }
      break;
    case snCaret:
      UpdateCaret();
      break;
    case snDropDownOpened:
      OpenDropDown();
      break;
    case snDropDownChanged:
      if (!FChoosing) MoveDropDown();
      break;
    case snDropDownClosed:
      CloseDropDown();
      break;
    case snPaintFocused:
    case snPaintFocusedNow:
      if (rb1->HandleAllocated()) {
        HDC dc = GetDC(rb1->Handle());
        rb1->BeginRangePaint(dc);
        FSheet->PaintFocused(dc);
        rb1->EndRangePaint(dc);
        ReleaseDC(rb1->Handle(), dc);
      }
      break;
    case snScrollToCaret:
      if (FSheet->CaretKind() != ckNoCaret) ScrollRectIntoView(FSheet->CaretRect(), AParam1 != 0);
      break;
    case snReadOnly:
      UpdateEditActions();
      UpdateUndoRedoActions();
      break;
    case snScrollPos:
      if (!FScrolling) rb1->SetPosition({FSheet->ScreenPos().X, FSheet->ScreenPos().Y});
      break;
    default:
      break;
  }
}

void TSheetForm::ScrollRectIntoView(const TRect& ARect, bool AWithMargin) {
  rb1->SetPosition(ScrollPositionFor(ARect, AWithMargin, rb1->Position(), rb1->GetClientSize()));
}

// ---------------------------------------------------------------------------------------------------------------
// Drop-down

void TSheetForm::OpenDropDown() {
  CloseDropDown();
  TDropDownList* list = FSheet ? FSheet->DropDown() : nullptr;
  if (!list) return;
  list->BeginChange();
  list->SetRowHeight(list->MeasureRowHeight());
  list->EndChange();
  FDropDown = New<TDropDownControl>(this, this);
  FDropDown->SetList(list);
  FDropDown->SetItemHeight(list->RowHeight());
  FDropDown->OnClick = MakeMethod<&TSheetForm::DropDownItemChosen>(this);
  FDropDown->SetParent(this);
  FDropDown->Fill();
  PlaceDropDownWindow(false);
  FDropDown->SetVisible(true);
  FDropDown->ShowItemHint();
}

void TSheetForm::MoveDropDown() {
  if (!FDropDown) return;
  FDropDown->Fill();
  PlaceDropDownWindow(true);
  FDropDown->ShowItemHint();
}

void TSheetForm::CloseDropDown() {
  if (!FDropDown) return;
  TDropDownControl* control = std::exchange(FDropDown, nullptr);
  if (control->HandleAllocated()) SetWindowPos(control->Handle(), nullptr, 0, 0, 0, 0, HideInPlace);
  control->Free();
}

void TSheetForm::PlaceDropDownWindow(bool AUnion) {
  TDropDownList* list = FDropDown->List();
  HWND window = FDropDown->Handle();
  RECT outer, inner;
  GetWindowRect(window, &outer);
  ::GetClientRect(window, &inner);
  const int border = (outer.bottom - outer.top) - (inner.bottom - inner.top);
  const int width = std::min((list->ListWidth() == 0 ? 32 : list->ListWidth()) + 2 + GetSystemMetrics(SM_CXVSCROLL),
                             GetSystemMetrics(SM_CXSCREEN) * 3 / 4);
  const TRect& bounds = list->Bounds();
  const TVisualPoint topLeft = ClientToScreenPos({bounds.Left, bounds.Top});
  const TVisualPoint bottomRight = ClientToScreenPos({bounds.Right, bounds.Bottom});
  RECT placed =
      PlaceDropDown({topLeft.X, topLeft.Y, bottomRight.X, bottomRight.Y}, static_cast<int>(FDropDown->Rows().size()),
                    list->RowHeight(), border, width, Screen->WorkAreaRect())
          .Bounds;
  if (AUnion) {
    // The list never shrinks while it is open.
    const int newWidth = placed.right - placed.left, newHeight = placed.bottom - placed.top;
    placed.left = std::min(placed.left, outer.left);
    placed.top = std::min(placed.top, outer.top);
    placed.right = placed.left + std::max(newWidth, static_cast<int>(outer.right - outer.left));
    placed.bottom = placed.top + std::max(newHeight, static_cast<int>(outer.bottom - outer.top));
  }
  SetWindowPos(window, HWND_TOPMOST, placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top,
               SWP_NOACTIVATE);
}

void TSheetForm::DropDownItemChosen(TObject*) {
  if (!FDropDown || !FDropDown->List()) return;
  FChoosing = true;
  try {
    FDropDown->List()->SetSelected(FDropDown->CurrentItem());
  } catch (...) {
    FChoosing = false;
    throw;
  }
  FChoosing = false;
}

// ---------------------------------------------------------------------------------------------------------------
// Keys

bool TSheetForm::HookKeyDown(TMessage& AMessage) {
  TKeyMessage key(AMessage);
  if (OnKeyDownHook) {
    uint16_t code = key.Key;
    OnKeyDownHook(this, code, key.Shift);
    if (code == 0) return false;
  }
  if (FDropDown && key.Shift.Empty()) {
    switch (key.Key) {
      case VK_PRIOR:
      case VK_NEXT:
      case VK_END:
      case VK_HOME:
      case VK_UP:
      case VK_DOWN:
        SendMessageW(FDropDown->Handle(), AMessage.Msg, AMessage.WParam, AMessage.LParam);
        return false;
      default:
        break;
    }
  }
  return true;
}

void TSheetForm::hk1BeforeMessage(TObject*, TMessage& AMessage, bool& AHandled) {
  switch (AMessage.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (!HookKeyDown(AMessage)) AHandled = true;
      break;
    case WM_SYSKEYUP:
      if (OnKeyUpHook) {
        TKeyMessage key(AMessage);
        uint16_t code = key.Key;
        OnKeyUpHook(this, code, key.Shift);
      }
      break;
    case WM_SYSCHAR:
      if (OnKeyPressHook) {
        char16_t c = static_cast<char16_t>(AMessage.WParam);
        OnKeyPressHook(this, c);
        if (c == 0) AHandled = true;
      }
      break;
    case WM_MOUSEWHEEL:
      // Without an open list the box scrolls as usual.
      if (FDropDown) {
        SendMessageW(FDropDown->Handle(), AMessage.Msg, AMessage.WParam, AMessage.LParam);
        AHandled = true;
      }
      break;
    case WM_SETFOCUS:
      if (FSheet) FSheet->SetActive(true);
      break;
    case WM_KILLFOCUS:
      if (FSheet) {
        FSheet->CloseDropDown(false);
        FSheet->SetActive(false);
      }
      break;
    default:
      break;
  }
  if (AHandled) AMessage.Answer();
}

void TSheetForm::rb1KeyDown(TObject*, uint16_t& AKey, TShiftState AShift) {
  FEnterBeeped = false;
  if (FSheet && AKey != 0) FSheet->KeyDown(AKey, ToShiftKeys(AShift));
  const bool ctrl = AShift.Contains(ssCtrl), shift = AShift.Contains(ssShift), alt = AShift.Contains(ssAlt);
  auto shortcut = [&](TAction* AAction) {
    if (!AAction->Enabled()) return;
    AKey = 0;
    AAction->Execute(AAction);
  };
  if (AKey != 0 && !alt) {
    if (ctrl && !shift && AKey == 'Z')
      shortcut(EditUndo);
    else if ((ctrl && shift && AKey == 'Z') || (ctrl && !shift && AKey == 'Y'))
      shortcut(EditRedo);
    else if ((ctrl && !shift && AKey == 'X') || (!ctrl && shift && AKey == VK_DELETE))
      shortcut(EditCut);
    else if (ctrl && !shift && (AKey == 'C' || AKey == VK_INSERT))
      shortcut(EditCopy);
    else if ((ctrl && !shift && AKey == 'V') || (!ctrl && shift && AKey == VK_INSERT))
      shortcut(EditPaste);
    else if (!ctrl && !shift && AKey == VK_DELETE)
      shortcut(EditDelete);
    else if (ctrl && !shift && AKey == 'A')
      shortcut(EditSelectAll);
  }
  if (AKey != 0 && OnKeyDownHook) OnKeyDownHook(this, AKey, AShift);
  switch (AKey) {
    case VK_BACK:
    case VK_RETURN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_DELETE:
      FEnterBeeped = AKey == VK_RETURN;
      ElementBeep();
      break;
    default:
      break;
  }
}

void TSheetForm::rb1KeyPress(TObject*, char16_t& AKey) {
  if (FSheet && AKey != 0) FSheet->KeyPress(AKey);
  if (AKey != 0 && OnKeyPressHook) OnKeyPressHook(this, AKey);
  // An Enter nobody took has beeped at its key down already; its character would beep a second time.
  if (AKey != 0 && !(AKey == u'\r' && FEnterBeeped)) ElementBeep();
  FEnterBeeped = false;
}

void TSheetForm::rb1KeyUp(TObject*, uint16_t& AKey, TShiftState AShift) {
  if (FSheet && AKey != 0) FSheet->KeyUp(AKey, ToShiftKeys(AShift));
  if (AKey != 0 && OnKeyUpHook) OnKeyUpHook(this, AKey, AShift);
}

void TSheetForm::UpdateWantTabs() {
  auto* text = FSheet ? dynamic_cast<TTextorElement*>(FSheet->Focused()) : nullptr;
  TRangeBoxOptions options = rb1->Options();
  if (text && text->TextOptions().Contains(toTabs))
    options.Include(rboWantTab);
  else
    options.Exclude(rboWantTab);
  rb1->SetOptions(options);
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

void TSheetForm::rb1MouseDown(TObject*, TMouseButton AButton, TShiftState AShift, int X, int Y) {
  POINT cursor;
  GetCursorPos(&cursor);
  const uint64_t now = GetTickCount64();
  const int64_t elapsed = FLastClickTime == 0 ? -1 : static_cast<int64_t>(now - FLastClickTime);
  FClickCount = NextClickCount(FClickCount, AButton == TMouseButton::mbLeft, FLastClickPos, cursor, elapsed,
                               GetDoubleClickTime(), Mouse ? Mouse->DragThreshold() : 5);
  FLastClickPos = cursor;
  if (FSheet) {
    TShiftKeys shift = ToShiftKeys(AShift - ssDouble);
    if (FClickCount == 2) shift.Include(skDouble);
    FSheet->MouseDown({X, Y}, AButton == TMouseButton::mbLeft, shift, FClickCount == 3, FClickCount == 4);
  }
  // A press of another button ends the run: the next left press starts a new one.
  FLastClickTime = AButton == TMouseButton::mbLeft ? std::max<uint64_t>(now, 1) : 0;
}

void TSheetForm::rb1MouseMove(TObject*, TShiftState AShift, int X, int Y) {
  if (FSheet) FSheet->MouseMove({X, Y}, ToShiftKeys(AShift));
}

void TSheetForm::rb1MouseUp(TObject*, TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (FSheet) FSheet->MouseUp({X, Y}, AButton == TMouseButton::mbLeft, ToShiftKeys(AShift));
}

void TSheetForm::rb1MouseLeave(TObject*) {
  FHintElement = nullptr;
  if (FSheet) FSheet->MouseMove({-1, -1}, {});
}

void TSheetForm::rb1CancelMode(TObject*, TWinControl* ACausing) {
  if (FSheet && !(FDropDown && ACausing == FDropDown)) FSheet->CancelMode();
}

void TSheetForm::rb1ContextPopup(TObject*, POINT AMousePos, bool& AHandled) {
  TVisualElement* focused = FSheet ? FSheet->Focused() : nullptr;
  if (!focused) return;
  const POINT screen = rb1->ClientToScreen(AMousePos);
  AHandled = focused->ContextPopup({screen.x, screen.y});
}

// ---------------------------------------------------------------------------------------------------------------
// Painting, size, scrolling, hints

void TSheetForm::rb1PaintDC(TObject*, HDC ADC, const RECT& ARect) {
  if (FSheet) {
    FSheet->PaintTo(ADC, {ARect.left, ARect.top, ARect.right, ARect.bottom}, {});
    return;
  }
  HBRUSH brush = CreateSolidBrush(ColorToRGB(rb1->Color()));
  FillRect(ADC, &ARect, brush);
  DeleteObject(brush);
}

void TSheetForm::rb1Resize(TObject*) {
  if (!FSheet) return;
  if (TCustomForm* form = GetParentForm(this); form && form->WindowState() == TFormWindowState::wsMinimized) return;
  FSheet->SetViewSize(ViewSize());
}

void TSheetForm::rb1Scrolled(TObject*) {
  if (!FSheet) return;
  FScrolling = true;
  try {
    FSheet->SetScreenPos({rb1->Position().x, rb1->Position().y});
  } catch (...) {
    FScrolling = false;
    throw;
  }
  FScrolling = false;
}

void TSheetForm::rb1ShowHint(TObject*, bool& ACanShow, THintInfo& AHintInfo) {
  if (!FSheet || FSheet->Captured() || (SheetFormSettings && !SheetFormSettings->ShowHints->Value())) {
    ACanShow = false;
    return;
  }
  TVisualElement* element = nullptr;
  bool covered = false;
  if (FDropDown && FDropDown->HandleAllocated()) {
    RECT list;
    GetWindowRect(FDropDown->Handle(), &list);
    covered = PtInRect(&list, rb1->ClientToScreen(rb1->RangeToClient(AHintInfo.CursorPos))) != FALSE;
  }
  if (!covered) element = FSheet->ElementAt({AHintInfo.CursorPos.x, AHintInfo.CursorPos.y}, true, true);
  if (element != FHintElement && Application) Application->HideHint();
  std::u16string text;
  if (element && element != FHintElement) element->GetHint(text);
  AHintInfo.ReshowTimeout = HintReshowTimeout;
  AHintInfo.HintMaxWidth = GetSystemMetrics(SM_CXSCREEN) / 3;
  AHintInfo.HintStr = text;
  ACanShow = !text.empty();
  FHintElement = element;
}

// ---------------------------------------------------------------------------------------------------------------
// Actions

void TSheetForm::UpdateEditActions() {
  TVisualElement* e = FSheet ? FSheet->Focused() : nullptr;
  EditCut->SetEnabled(e && e->CanCopy() && e->CanDelete());
  EditCopy->SetEnabled(e && e->CanCopy());
  EditCopyText->SetEnabled(e && e->CanCopyText());
  EditPaste->SetEnabled(e && e->CanPaste());
  EditDelete->SetEnabled(e && e->CanDelete());
  EditSelectAll->SetEnabled(e && e->CanSelectAll());
  EditReadOnly->SetChecked(FSheet && FSheet->ReadOnly());
  EditReadOnly->SetEnabled(FSheet != nullptr);
}

void TSheetForm::UpdateUndoRedoActions() {
  TUndoRedo* history = FScheme ? FScheme->UndoRedo() : nullptr;
  const bool readOnly = FSheet && FSheet->ReadOnly();
  // On a read-only sheet only what leaves the document alone may be undone or redone.
  auto allowed = [readOnly](TOperation* AOperation) {
    return AOperation && !(readOnly && (AOperation->GetFlags() & ofChangesDocument));
  };
  TOperation* undo = history ? history->GetUndoOperation() : nullptr;
  TOperation* redo = history ? history->GetRedoOperation() : nullptr;
  EditUndo->SetEnabled(allowed(undo));
  EditRedo->SetEnabled(allowed(redo));
  auto caption = [](int AId, std::u16string_view AWord, TOperation* AOperation) {
    std::u16string text = Loc(AId, AWord);
    const std::u16string operation = AOperation ? AOperation->GetCaption() : std::u16string();
    if (!operation.empty()) text += u": " + operation;
    return text;
  };
  EditUndo->SetCaption(caption(IdUndo, u"Undo", undo));
  EditRedo->SetCaption(caption(IdRedo, u"Redo", redo));
  miUndo->SetCaption(Loc(IdUndo, u"Undo"));
  miUndo->SetEnabled(EditUndo->Enabled());
}

void TSheetForm::miUndoClick(TObject*) { EditUndo->Execute(miUndo); }

void TSheetForm::UpdateCaptions() {
  EditCut->SetCaption(Loc(IdCut, u"Cut"));
  EditCopy->SetCaption(Loc(IdCopy, u"Copy"));
  EditCopyText->SetCaption(Loc(IdCopyAsText, u"Copy as Text"));
  EditPaste->SetCaption(Loc(IdPaste, u"Paste"));
  EditDelete->SetCaption(Loc(IdDelete, u"Delete"));
  EditSelectAll->SetCaption(Loc(IdSelectAll, u"Select All"));
  ViewNonPrintingCharacters->SetCaption(Loc(IdNonPrinting, u"Non-Printing Characters"));
  UpdateUndoRedoActions();
}

void TSheetForm::EditUndoExecute(TObject*) {
  if (!FScheme || !FScheme->UndoRedo()) return;
  TSheetUpdate update(FSheet);
  FScheme->UndoRedo()->Undo();
}

void TSheetForm::EditRedoExecute(TObject*) {
  if (!FScheme || !FScheme->UndoRedo()) return;
  TSheetUpdate update(FSheet);
  FScheme->UndoRedo()->Redo();
}

void TSheetForm::EditCutExecute(TObject*) {
  if (TVisualElement* e = FSheet ? FSheet->Focused() : nullptr) {
    e->Copy();
    e->DeleteSelection();
  }
}

void TSheetForm::EditCopyExecute(TObject*) {
  if (TVisualElement* e = FSheet ? FSheet->Focused() : nullptr) e->Copy();
}

void TSheetForm::EditCopyTextExecute(TObject*) {
  if (TVisualElement* e = FSheet ? FSheet->Focused() : nullptr) e->CopyText();
}

void TSheetForm::EditPasteExecute(TObject*) {
  TVisualElement* e = FSheet ? FSheet->Focused() : nullptr;
  if (e && !e->RunPaste()) ElementBeep();
}

void TSheetForm::EditDeleteExecute(TObject*) {
  if (TVisualElement* e = FSheet ? FSheet->Focused() : nullptr) e->DeleteSelection();
}

void TSheetForm::EditSelectAllExecute(TObject*) {
  if (TVisualElement* e = FSheet ? FSheet->Focused() : nullptr) e->SelectAll();
}

void TSheetForm::EditReadOnlyExecute(TObject*) {
  if (FSheet) FSheet->SetReadOnly(EditReadOnly->Checked());
}

void TSheetForm::ViewNonPrintingCharactersExecute(TObject*) {
  if (FSheet) FSheet->Settings()->NonPrintingCharacters->SetValue(ViewNonPrintingCharacters->Checked());
}

// ---------------------------------------------------------------------------------------------------------------
// Search

bool TSheetForm::FindNext(int AMode, TFindData* AData, bool ADown) {
  TVisualElement* focused = FSheet ? FSheet->Focused() : nullptr;
  if (!focused) return false;
  // The first step of a replace takes the match already selected.
  if (AMode == 2 && SelectionMatches(focused, AData)) return true;
  TBusyCursor busy;
  if (FScheme) FScheme->BeginGroup(false, {});
  bool found = false;
  try {
    TSheetUpdate update(FSheet);
    TFocusDirections direction;
    if (ADown) direction.Include(fdForward);
    const int options = ADown ? 0 : FindBackward;
    std::u16string place;
    focused->GetFocusData(place);
    bool reveal = true;
    {
      TRevealPause pause(FSheet);
      reveal = pause.Was();
      // The first step searches from the focused element's own selection.
      AData->Origin = nullptr;
      for (TVisualElement* e = focused; e;) {
        TVisualElement* next = e->Find(AData, options, found);
        if (found || !next || next == e) break;
        next->SetFocus(direction, {}, AData->Origin, nullptr);
        e = next;
      }
      // A search that found nothing leaves the user where the search began, not at the end of the document.
      if (!found && FSheet->Focused() != focused) focused->SetFocus(fdForward, place, nullptr, nullptr);
    }
    if (TVisualElement* now = FSheet->Focused(); now && reveal) now->MakeVisible();
    FSheet->ScrollToCaret();
  } catch (...) {
    if (FScheme) FScheme->EndGroup();
    throw;
  }
  if (FScheme) FScheme->EndGroup();
  return found;
}

void TSheetForm::FindAgain(int AMode, TFindData* AData, bool ADown) {
  if (!FindNext(AMode, AData, ADown)) AData->NotFound();
}

bool TSheetForm::ReplaceSelection(const std::u16string& AText, bool ADown) {
  auto* text = FSheet ? dynamic_cast<TTextorElement*>(FSheet->Focused()) : nullptr;
  // A disabled element's text is found, never replaced.
  if (!text || text->IsEffectivelyDisabled()) return false;
  TTextorInteractive* interactive = text->Interactive();
  if (!interactive || !interactive->HasSelection() || !interactive->CanEdit()) return false;
  if (AText.empty()) return interactive->DeleteSelection();
  const TIndexPosition start = interactive->Textor()->PositionToIndex(interactive->GetSelection().Start);
  interactive->Notify(tnReplaceSelection, reinterpret_cast<intptr_t>(&AText), 0);
  // The caret ends after the new text. Searching up from there would meet the new text again whenever it holds
  // what is searched for, so going up the search goes on from before it.
  interactive = text->Interactive();
  TTextPosition before;
  if (!ADown && interactive && interactive->Textor()->IndexToPosition(start, before))
    interactive->SetCaretPosition(before);
  return true;
}

void TSheetForm::Replace(TFindData* AData, const std::u16string& AReplaceText, bool AAll, bool ADown) {
  if (!FSheet) return;
  if (FSheet->ReadOnly()) {
    ElementBeep();
    return;
  }
  bool notFound = false;
  int count = 0;
  {
    TBusyCursor busy;
    if (FScheme) FScheme->BeginGroup(false, {});
    try {
      TSheetUpdate update(FSheet);
      // A match that cannot be replaced (a disabled element's) is passed over: the search goes on beyond it.
      if (!FindNext(2, AData, ADown)) {
        notFound = true;
      } else {
        if (ReplaceSelection(AReplaceText, ADown)) count = 1;
        if (AAll) {
          while (FindNext(1, AData, ADown))
            if (ReplaceSelection(AReplaceText, ADown)) ++count;
        } else if (!FindNext(1, AData, ADown)) {
          notFound = true;
        }
      }
    } catch (...) {
      if (FScheme) FScheme->EndGroup();
      throw;
    }
    if (FScheme) FScheme->EndGroup();
  }
  // Told once every bracket has closed: the box runs a message loop of its own.
  if (notFound)
    AData->NotFound();
  else if (AAll)
    InformationBox(FormatLocStrOr(IdReplacements, u"The program has made %1 replacements", {IntToStr(count)}));
}

void TSheetForm::ExpandCollapseAll(bool AOnlyNonEmpty, bool AExpand) {
  if (!FSheet) return;
  {
    TBusyCursor busy;
    std::vector<TExpandButton*> buttons;
    CollectExpandButtons(FSheet->Root(), buttons);
    TSheetUpdate update(FSheet);
    if (FScheme) FScheme->BeginGroup(false, {});
    try {
      for (TExpandButton* button : buttons) {
        const bool expanded = AOnlyNonEmpty ? !button->IsEmpty() && !button->IsEffectivelyDisabled() : AExpand;
        // A button already so would only add a step that changes nothing.
        if (button->Expanded() != expanded) button->SetExpandedUndoable(expanded);
      }
      FSheet->ScrollToCaret();
    } catch (...) {
      if (FScheme) FScheme->EndGroup();
      throw;
    }
    if (FScheme) FScheme->EndGroup();
  }
  UpdateEditActions();
}

// ---------------------------------------------------------------------------------------------------------------
// Jumps

int TSheetForm::GoToElements(const std::vector<int32_t>& AIds) {
  if (!FSheet || !FScheme) return 0;
  FSheet->ClearMarked();
  FSheet->ClearMarksOnFocus = false;
  int found = 0;
  TVisualElement* first = nullptr;
  std::vector<std::u16string> problems;
  for (int32_t id : AIds) {
    TElement* element = FScheme->FindByID(id);
    auto* visual = dynamic_cast<TVisualElement*>(element);
    if (!element) {
      problems.push_back(FormatLocStrOr(IdElementNotFound, u"Element with identifier %1 not found", {IntToStr(id)}));
    } else if (!visual || visual->Sheet() != FSheet) {
      problems.push_back(FormatLocStrOr(
          IdElementNotShown, u"Element with identifier %1 is found, but it cannot be displayed", {IntToStr(id)}));
    } else {
      FSheet->SetMarked(visual, true);
      if (!first) first = visual;
      ++found;
    }
  }
  if (first) ShowElement(first);
  FSheet->ClearMarksOnFocus = true;
  for (const std::u16string& problem : problems) InformationBox(problem);
  return found;
}

void TSheetForm::ShowElement(TVisualElement* AElement) {
  if (!AElement->IsVisible()) {
    InformationBox(FormatLocStrOr(IdElementNotShown, u"Element with identifier %1 is found, but it cannot be displayed",
                                  {IntToStr(AElement->ID())}));
    return;
  }
  const TVisualPoint origin = AElement->ClientToSheet({0, 0});
  rb1->ScrollRectIntoView({origin.X, origin.Y, origin.X + AElement->Width(), origin.Y + AElement->Height()});
}
