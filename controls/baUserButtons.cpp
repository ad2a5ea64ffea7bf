#include "controls/baUserButtons.h"

#include "framework/fwMenus.h"
#include "framework/fwThemes.h"

namespace {

// The member of the same kind and group that sent CM_BUTTONPRESSED, nil for any other message.
template <class TButton>
TButton* PressedGroupMember(TButton* AReceiver, const TMessage& AMessage) {
  auto* sender = dynamic_cast<TButton*>(LParamObject<TControl>(AMessage));
  if (!sender || sender == AReceiver) return nullptr;
  if (static_cast<int>(static_cast<intptr_t>(AMessage.WParam)) != AReceiver->GroupIndex()) return nullptr;
  return sender;
}

// A checked member of the group un-checks this one (and its action); every message hands on boAllowAllUp.
template <class TButton>
void GroupMemberPressed(TButton* AReceiver, TButtonPainterClient& AClient, const TButton& ASender) {
  if (ASender.Checked() && AReceiver->Checked()) {
    AClient.Uncheck();
    if (TAction* action = AReceiver->Action(); action && action->Checked()) action->SetChecked(false);
  }
  AClient.TakeAllowAllUp(ASender.Options().Contains(boAllowAllUp));
}

template <class TButton>
POINT DropdownCorner(const TButton& AButton, const TPopupMenu* AMenu) {
  const int width = AButton.Width(), height = AButton.Height();
  if (AButton.SignAt(spRight) == saArrowRight || AButton.SignAt(spCenter) == saArrowRight)
    return AButton.ClientToScreen(POINT{width, 0});
  POINT p = AButton.ClientToScreen(POINT{0, height});
  if (AMenu && AMenu->Alignment() == TPopupAlignment::paRight) p.x += width;
  return p;
}

// Unless the button asked to be transparent, a transparent painter gets the button's colour behind it.
void PaintButton(TButtonPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect) {
  TPainter* painter = AClient.GetPainter();
  if (!AClient.Options().Contains(boTransparent) && painter && painter->IsTransparent(AClient)) {
    ACanvas.Brush().SetColor(AClient.GetColor());
    ACanvas.FillRect(ARect);
  }
  AClient.Paint(ACanvas, ARect);
}

// Hot inside the client rectangle, its bottom row included.
bool InsideForHot(const TControl& AControl, int X, int Y) {
  return X >= 0 && X < AControl.ClientWidth() && Y >= 0 && Y <= AControl.ClientHeight();
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Button painter client

void TButtonPainterClient::PaintParentBackground(TCanvas& ACanvas, const RECT& ARect) {
  // A windowless button's parent has painted beneath it already.
  auto* window = dynamic_cast<TWinControl*>(&FControl);
  if (window && window->HandleAllocated() && ThemeServices)
    ThemeServices->DrawParentBackground(window->Handle(), ACanvas.Handle(), &ARect);
}

void TButtonPainterClient::Changed(TPainterChanges AFlags) {
  if (AFlags.Contains(pcRemeasure)) AdjustControlSize();
  if (AFlags.Contains(pcRepaint)) FControl.Invalidate();
  if (AFlags.Contains(pcTransparency)) {
    TPainter* painter = GetPainter();
    const bool transparent = FOptions.Contains(boTransparent) && painter && painter->IsTransparent(*this);
    if (auto* control = dynamic_cast<TTransparencyControl*>(&FControl)) {
      if (control->Transparent() != transparent) control->SetTransparent(transparent);
    } else {
      FControl.SetControlStyle(FControl.ControlStyle().Set(csOpaque, !transparent));
      FControl.Invalidate();
    }
  }
  if (AFlags.Contains(pcCursor)) {
    TPainter* painter = GetPainter();
    FControl.SetCursor(painter ? painter->GetCursor(*this) : crDefault);
  }
}

void TButtonPainterClient::SetDefault(bool AValue) {
  if (AValue == FDefault) return;
  FDefault = AValue;
  Changed(pcRepaint);
}

void TButtonPainterClient::SetGroupIndex(int AValue) {
  if (AValue == FGroupIndex) return;
  FGroupIndex = AValue;
  BroadcastPressed();
}

void TButtonPainterClient::SetOptions(TButtonOptions AValue) {
  if (AValue == FOptions) return;
  const TButtonOptions changed = (AValue - FOptions) | (FOptions - AValue);
  FOptions = AValue;
  if (changed.ContainsAny(boAutoWidth | boAutoHeight)) AdjustControlSize();
  if (changed.Contains(boAllowAllUp)) BroadcastPressed();
  if (changed.Contains(boTransparent)) Changed(pcTransparency);
}

void TButtonPainterClient::TakeAllowAllUp(bool AValue) { FOptions.Set(boAllowAllUp, AValue); }

void TButtonPainterClient::SetSignAt(TSignPlace APlace, TSignAt AValue) {
  TSignAt& sign = FSigns[static_cast<size_t>(APlace)];
  if (sign == AValue) return;
  sign = AValue;
  Changed(pcRepaint | pcRemeasure);
}

void TButtonPainterClient::SetChecked(bool AValue) {
  if (FGroupIndex == 0) AValue = false;
  if (AValue == GetChecked()) return;
  if (!AValue && !FOptions.Contains(boAllowAllUp)) return;
  TControlPainterClient::SetChecked(AValue);
  if (AValue) BroadcastPressed();
}

void TButtonPainterClient::ForceChecked(bool AValue) {
  if (FGroupIndex == 0) AValue = false;
  if (AValue == GetChecked()) return;
  TControlPainterClient::SetChecked(AValue);
  if (AValue) BroadcastPressed();
}

void TButtonPainterClient::BroadcastPressed() {
  TWinControl* parent = FControl.Parent();
  if (FGroupIndex == 0 || !parent) return;
  TMessage message{parent->HandleIfAllocated(), CM_BUTTONPRESSED,
                   static_cast<WPARAM>(static_cast<intptr_t>(FGroupIndex)), reinterpret_cast<LPARAM>(&FControl)};
  parent->Broadcast(message);
}

void TButtonPainterClient::AdjustControlSize() {
  if (FControl.IsLoading() || FControl.IsDestroying() || !FControl.Parent()) return;
  int width = FControl.Width(), height = FControl.Height();
  TSizeConstraints& limits = FControl.Constraints();
  CalcSize(FCanvas, FOptions.Contains(boAutoWidth), FOptions.Contains(boAutoHeight), limits.MinWidth(),
           limits.MaxWidth(), width, height);
  if (width != FControl.Width() || height != FControl.Height())
    FControl.SetBounds(FControl.Left(), FControl.Top(), width, height);
}

// ---------------------------------------------------------------------------------------------------------------
// Action link

void TUserButtonActionLink::ActionChanged(const TAction& AAction, TActionParts AParts) {
  TControlActionLink::ActionChanged(AAction, AParts);
  const bool linking = AParts == AllActionParts;
  if (linking && FClient.GroupIndex() == 0) FClient.SetGroupIndex(AAction.GroupIndex());
  if (AParts.Contains(apImageIndex)) FClient.SetImageIndex(AAction.ImageIndex());
  if (AParts.Contains(apChecked)) {
    // The button follows the action's checked state only while it showed the action's state before.
    const bool follows = FClient.GroupIndex() != 0 && FClient.Options().Contains(boAllowAllUp) &&
                         (linking || FClient.GetChecked() == FLastChecked);
    if (follows) FClient.SetChecked(AAction.Checked());
    FLastChecked = AAction.Checked();
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Windowless button

TUserButton::TUserButton(TComponent* AOwner)
    : TGraphicControl(AOwner),
      FClient(std::make_unique<TButtonPainterClient>(*this, Canvas())),
      FActionLink(this, *FClient) {
  SetBounds(0, 0, 23, 22);
  SetControlStyle(ControlStyle() | csOpaque);
  SetParentFont(false);
  SetColor(clBtnFace);
  SetParentColor(true);
}

TUserButton::~TUserButton() {
  if (FPartner) FPartner->FPartner = nullptr;
}

void TUserButton::SetPainter(TPainter* AValue) { FClient->SetPainter(AValue); }

void TUserButton::SetDropdownMenu(TPopupMenu* AValue) {
  if (AValue == FDropdownMenu) return;
  if (FDropdownMenu) RemoveFreeNotification(FDropdownMenu);
  FDropdownMenu = AValue;
  if (FDropdownMenu) FreeNotification(FDropdownMenu);
}

void TUserButton::SetPartnerButton(TUserButton* AValue) {
  if (AValue == this) AValue = nullptr;
  if (AValue == FPartner) return;
  if (TUserButton* old = FPartner) {
    FPartner = nullptr;
    old->FPartner = nullptr;
    RemoveFreeNotification(old);
  }
  if (!AValue) return;
  AValue->SetPartnerButton(nullptr);
  FPartner = AValue;
  AValue->FPartner = this;
  FreeNotification(AValue);
}

POINT TUserButton::DropdownPoint() const { return DropdownCorner(*this, FDropdownMenu); }

void TUserButton::Click() {
  if (GroupIndex() != 0) SetChecked(!Checked());
  if (FDropdownMenu) FDropdownMenu->PopupFor(this, DropdownPoint());
  if (OnClick)
    OnClick(this);
  else
    FActionLink.Execute(this);
}

void TUserButton::SetParent(TWinControl* AParent) {
  TGraphicControl::SetParent(AParent);
  FClient->AdjustControlSize();
}

void TUserButton::DoShowHint(bool& ACanShow, THintInfo& AHintInfo) {
  if (OnShowHint) OnShowHint(this, ACanShow, AHintInfo);
}

void TUserButton::Paint() { PaintButton(*FClient, Canvas(), ClientRect()); }

void TUserButton::SetHotWithPartner(bool AValue) {
  FClient->SetHot(AValue);
  if (FPartner) FPartner->FClient->SetHot(AValue);
}

void TUserButton::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CM_BUTTONPRESSED:
      if (TUserButton* sender = PressedGroupMember(this, AMessage)) GroupMemberPressed(this, *FClient, *sender);
      return;
    case CM_CANCELMODE:
      FClient->CancelPress();
      break;
    case CM_ENABLEDCHANGED:
      FClient->SetEnabled(Enabled());
      break;
    case CM_TEXTCHANGED:
      FClient->SetCaption(Text());
      break;
    case CM_MOUSEENTER:
      SetHotWithPartner(true);
      break;
    case CM_MOUSELEAVE:
      SetHotWithPartner(false);
      break;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char16_t>(AMessage.WParam), Caption()) && Enabled() && Visible() && Parent() &&
          Parent()->Showing()) {
        AMessage.Answer(1);
        Click();  // may free the button
        return;
      }
      break;
    case CM_HINTSHOW: {
      bool canShow = true;
      DoShowHint(canShow, *LParamObject<THintInfo>(AMessage));
      AMessage.Answer(canShow ? 0 : 1);
      return;
    }
    default:
      break;
  }
  TGraphicControl::WndProc(AMessage);
}

void TUserButton::MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (AButton == TMouseButton::mbLeft) FClient->Press();
  TGraphicControl::MouseDown(AButton, AShift, X, Y);
}

void TUserButton::MouseMove(TShiftState AShift, int X, int Y) {
  FClient->SetHot(InsideForHot(*this, X, Y));
  TGraphicControl::MouseMove(AShift, X, Y);
}

void TUserButton::MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (AButton == TMouseButton::mbLeft) FClient->Release();
  TGraphicControl::MouseUp(AButton, AShift, X, Y);
}

void TUserButton::DblClick() {
  if (Checked()) TGraphicControl::DblClick();
}

void TUserButton::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TGraphicControl::Notification(AComponent, AOperation);
  if (AOperation != TComponentOperation::opRemove) return;
  if (AComponent == FDropdownMenu) FDropdownMenu = nullptr;
  if (AComponent == FPartner) FPartner = nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Windowed button

TCustomUserWinButton::TCustomUserWinButton(TComponent* AOwner)
    : TTransparencyControl(AOwner),
      FClient(std::make_unique<TButtonPainterClient>(*this, Canvas())),
      FActionLink(this, *FClient) {
  SetControlStyle(ControlStyle() - csDoubleClicks);
  SetBounds(0, 0, 73, 25);
  SetParentColor(true);
  SetTabStop(true);
}

TCustomUserWinButton::~TCustomUserWinButton() = default;

void TCustomUserWinButton::SetPainter(TPainter* AValue) { FClient->SetPainter(AValue); }

void TCustomUserWinButton::SetDefault(bool AValue) {
  if (AValue == FDefault) return;
  FDefault = AValue;
  if (!HandleAllocated()) return;
  if (TCustomForm* form = GetParentForm(this))
    form->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(form->ActiveControl()));
}

void TCustomUserWinButton::SetDropdownMenu(TPopupMenu* AValue) {
  if (AValue == FDropdownMenu) return;
  if (FDropdownMenu) RemoveFreeNotification(FDropdownMenu);
  FDropdownMenu = AValue;
  if (FDropdownMenu) FreeNotification(FDropdownMenu);
}

POINT TCustomUserWinButton::DropdownPoint() const { return DropdownCorner(*this, FDropdownMenu); }

void TCustomUserWinButton::Click() {
  if (GroupIndex() != 0) SetChecked(!Checked());
  if (FDropdownMenu)
    FDropdownMenu->PopupFor(this, DropdownPoint());
  else if (TCustomForm* form = GetParentForm(this))
    form->SetModalResult(FModalResult);
  if (OnClick)
    OnClick(this);
  else
    FActionLink.Execute(this);
}

void TCustomUserWinButton::SetParent(TWinControl* AParent) {
  TTransparencyControl::SetParent(AParent);
  FClient->AdjustControlSize();
}

void TCustomUserWinButton::CreateWnd() {
  TTransparencyControl::CreateWnd();
  FClient->SetDefault(FDefault);
}

void TCustomUserWinButton::Paint() { PaintButton(*FClient, Canvas(), ClientRect()); }

bool TCustomUserWinButton::DialogKey(TMessage& AMessage) {
  const auto key = static_cast<uint16_t>(AMessage.WParam);
  const bool asked = (key == VK_RETURN && FClient->IsDefault()) || (key == VK_ESCAPE && FCancel);
  if (!asked || KeyDataToShiftState(AMessage.LParam).ContainsAny(ssShift | ssCtrl | ssAlt) || !CanFocus()) return false;
  AMessage.Answer(1);
  Click();  // may free the button
  return true;
}

void TCustomUserWinButton::FocusChanged(TWinControl* AFocused) {
  if (dynamic_cast<TCustomUserWinButton*>(AFocused))
    FClient->SetDefault(AFocused == this);
  else
    FClient->SetDefault(FDefault);
  // A focus that came with a click stays unshown until the focus leaves, however often the change is told again.
  if (AFocused != this)
    FFocusShownFromMouse = false;
  else if (FFocusFromMouse)
    FFocusShownFromMouse = true;
  FClient->SetFocused(AFocused == this && !FFocusShownFromMouse);
}

bool TCustomUserWinButton::TakeFocusForPress() {
  if (Focused() || !TabStop()) return true;
  FFocusFromMouse = true;
  if (CanFocus()) SetFocus();
  FFocusFromMouse = false;
  return Focused();
}

void TCustomUserWinButton::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case CM_DIALOGKEY:
      if (DialogKey(AMessage)) return;
      break;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<char16_t>(AMessage.WParam), Caption()) && CanFocus()) {
        AMessage.Answer(1);
        Click();  // may free the button
        return;
      }
      break;
    case CM_FOCUSCHANGED:
      if (!IsDestroying()) FocusChanged(LParamObject<TWinControl>(AMessage));
      break;
    case CM_BUTTONPRESSED:
      if (TCustomUserWinButton* sender = PressedGroupMember(this, AMessage))
        GroupMemberPressed(this, *FClient, *sender);
      return;
    case CM_CANCELMODE:
      FClient->CancelPress();
      break;
    case CM_ENABLEDCHANGED:
      FClient->SetEnabled(Enabled());
      break;
    case CM_TEXTCHANGED:
      FClient->SetCaption(Text());
      break;
    case CM_MOUSEENTER:
      FClient->SetHot(true);
      break;
    case CM_MOUSELEAVE:
      FClient->SetHot(false);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!TakeFocusForPress()) return AMessage.Answer();
      break;
    default:
      break;
  }
  TTransparencyControl::WndProc(AMessage);
}

void TCustomUserWinButton::KeyPress(char16_t& AKey) {
  TTransparencyControl::KeyPress(AKey);
  if (AKey == u'\r' || AKey == u' ') Click();
}

void TCustomUserWinButton::MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (AButton == TMouseButton::mbLeft) FClient->Press();
  TTransparencyControl::MouseDown(AButton, AShift, X, Y);
}

void TCustomUserWinButton::MouseMove(TShiftState AShift, int X, int Y) {
  FClient->SetHot(InsideForHot(*this, X, Y));
  TTransparencyControl::MouseMove(AShift, X, Y);
}

void TCustomUserWinButton::MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (AButton == TMouseButton::mbLeft && !IsDestroying()) FClient->Release();
  TTransparencyControl::MouseUp(AButton, AShift, X, Y);
}

void TCustomUserWinButton::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TTransparencyControl::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FDropdownMenu) FDropdownMenu = nullptr;
}
