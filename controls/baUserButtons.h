// The owner-drawn buttons: a windowless push or toggle button (the palette's) and a windowed, focusable one with
// default, cancel and modal result (the dialogs'). A painter measures and paints both; their state lives in a
// button painter client, which also keeps radio-style groups, signs at the sides and automatic sizing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "controls/baPainters.h"
#include "controls/baUtils.h"
#include "foundation/cuSet.h"
#include "framework/fwActions.h"
#include "framework/fwControls.h"
#include "framework/fwForms.h"
#include "framework/fwWinControls.h"

class TPopupMenu;

enum class TButtonOption : uint8_t { boAutoWidth = 1, boAutoHeight = 2, boAllowAllUp = 4, boTransparent = 8 };
constexpr bool IsFlagFamily(TButtonOption) { return true; }
using enum TButtonOption;
using TButtonOptions = TSet<TButtonOption>;

// The client of a button: the state bits and caption of TControlPainterClient plus the default look, the group,
// the options and the five signs. Its control and the canvas it measures on outlive it.
class TButtonPainterClient : public TControlPainterClient {
 public:
  TButtonPainterClient(TControl& AControl, TCanvas& ACanvas) : FControl(AControl), FCanvas(ACanvas) {}

  TControl& Control() const { return FControl; }

  bool IsDefault() const override { return FDefault; }
  TColor GetColor() const override { return FControl.Color(); }
  TSignAt GetSignAt(TSignPlace APlace) const override { return FSigns[static_cast<size_t>(APlace)]; }
  void PaintParentBackground(TCanvas& ACanvas, const RECT& ARect) override;

  // In this order: pcRemeasure fits the size, pcRepaint invalidates, pcTransparency makes the control transparent
  // when boTransparent is set and the painter is transparent, pcCursor takes the painter's cursor.
  void Changed(TPainterChanges AFlags) override;

  // Drawn as the default button.
  void SetDefault(bool AValue);
  // 0: no group. Checking a member of a group un-checks the others on the same parent.
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int AValue);
  TButtonOptions Options() const { return FOptions; }
  void SetOptions(TButtonOptions AValue);
  void SetSignAt(TSignPlace APlace, TSignAt AValue);

  // The user's and the Checked property's rule: never checked outside a group, and a checked button is not
  // un-checked unless boAllowAllUp. Checking tells the group.
  void SetChecked(bool AValue);
  // Code that mirrors an outside state (the palette's item states): the same without the refusal, so a checked
  // radio button can be cleared. Still never checked outside a group.
  void ForceChecked(bool AValue);
  // Clears the checked bit without telling the group (the group told this button).
  void Uncheck() { TControlPainterClient::SetChecked(false); }
  // Takes boAllowAllUp from another member of the group, again without telling the group.
  void TakeAllowAllUp(bool AValue);
  // Sends CM_BUTTONPRESSED (group index, control) to every control of the parent.
  void BroadcastPressed();
  // Measures the control through the painter when boAutoWidth or boAutoHeight asks for it and takes the size.
  void AdjustControlSize();

 private:
  TControl& FControl;
  TCanvas& FCanvas;
  bool FDefault = false;
  int FGroupIndex = 0;
  TButtonOptions FOptions;
  std::array<TSignAt, SignPlaceCount> FSigns{};
};

// Mirrors an action on a button: the control's parts, the image index always, and the checked state only while
// the button is in a group with boAllowAllUp and showed the action's state before the change. The group index is
// taken when the action is linked, unless the button has its own.
class TUserButtonActionLink : public TControlActionLink {
 public:
  TUserButtonActionLink(TControl* AControl, TButtonPainterClient& AClient)
      : TControlActionLink(AControl), FClient(AClient) {}

 protected:
  void ActionChanged(const TAction& AAction, TActionParts AParts) override;

 private:
  TButtonPainterClient& FClient;
  bool FLastChecked = false;
};

// ---------------------------------------------------------------------------------------------------------------
// A windowless push or toggle button. Partners light up together (a palette item shown as two buttons).

class TUserButton : public TGraphicControl {
 public:
  explicit TUserButton(TComponent* AOwner);
  ~TUserButton() override;

  TButtonPainterClient& Client() { return *FClient; }

  TPainter* Painter() const { return FClient->GetPainter(); }
  void SetPainter(TPainter* AValue);
  bool Checked() const { return FClient->GetChecked(); }
  void SetChecked(bool AValue) { FClient->SetChecked(AValue); }
  void ForceChecked(bool AValue) { FClient->ForceChecked(AValue); }
  int GroupIndex() const { return FClient->GroupIndex(); }
  void SetGroupIndex(int AValue) { FClient->SetGroupIndex(AValue); }
  int ImageIndex() const { return FClient->GetImageIndex(); }
  void SetImageIndex(int AValue) { FClient->SetImageIndex(AValue); }
  TButtonOptions Options() const { return FClient->Options(); }
  void SetOptions(TButtonOptions AValue) { FClient->SetOptions(AValue); }
  TSignAt SignAt(TSignPlace APlace) const { return FClient->GetSignAt(APlace); }
  void SetSignAt(TSignPlace APlace, TSignAt AValue) { FClient->SetSignAt(APlace, AValue); }

  // Pops up on a click, hanging from the button's corner (DropdownPoint).
  TPopupMenu* DropdownMenu() const { return FDropdownMenu; }
  void SetDropdownMenu(TPopupMenu* AValue);
  // Partners are mutual; a button is not its own partner.
  TUserButton* PartnerButton() const { return FPartner; }
  void SetPartnerButton(TUserButton* AValue);
  TAction* Action() const { return FActionLink.Action(); }
  void SetAction(TAction* AValue) { FActionLink.SetAction(AValue); }

  // The screen point the drop-down menu hangs from: the top-right corner when the right or the centre sign points
  // right, else the bottom-left corner (bottom-right for a right-aligned menu).
  POINT DropdownPoint() const;

  void Click() override;
  void SetParent(TWinControl* AParent) override;

  TShowHintEvent OnShowHint;

 protected:
  virtual void DoShowHint(bool& ACanShow, THintInfo& AHintInfo);
  void Paint() override;
  void WndProc(TMessage& AMessage) override;
  void MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void MouseMove(TShiftState AShift, int X, int Y) override;
  void MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void DblClick() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  void SetHotWithPartner(bool AValue);

  std::unique_ptr<TButtonPainterClient> FClient;
  TPopupMenu* FDropdownMenu = nullptr;
  TUserButton* FPartner = nullptr;
  TUserButtonActionLink FActionLink;
};

// ---------------------------------------------------------------------------------------------------------------
// A windowed, focusable button. Focus shows it as the default button (or, when the focus is on another kind of
// control, the button whose Default is set); Enter clicks the button drawn as default, Esc the Cancel button. A
// click sets the parent form's ModalResult to the button's.

class TCustomUserWinButton : public TTransparencyControl {
 public:
  explicit TCustomUserWinButton(TComponent* AOwner);
  ~TCustomUserWinButton() override;

  TButtonPainterClient& Client() { return *FClient; }

  TPainter* Painter() const { return FClient->GetPainter(); }
  void SetPainter(TPainter* AValue);
  bool Checked() const { return FClient->GetChecked(); }
  void SetChecked(bool AValue) { FClient->SetChecked(AValue); }
  void ForceChecked(bool AValue) { FClient->ForceChecked(AValue); }
  int GroupIndex() const { return FClient->GroupIndex(); }
  void SetGroupIndex(int AValue) { FClient->SetGroupIndex(AValue); }
  int ImageIndex() const { return FClient->GetImageIndex(); }
  void SetImageIndex(int AValue) { FClient->SetImageIndex(AValue); }
  TButtonOptions Options() const { return FClient->Options(); }
  void SetOptions(TButtonOptions AValue) { FClient->SetOptions(AValue); }
  TSignAt SignAt(TSignPlace APlace) const { return FClient->GetSignAt(APlace); }
  void SetSignAt(TSignPlace APlace, TSignAt AValue) { FClient->SetSignAt(APlace, AValue); }

  bool Cancel() const { return FCancel; }
  void SetCancel(bool AValue) { FCancel = AValue; }
  bool Default() const { return FDefault; }
  // Every button of the form works out its default look again.
  void SetDefault(bool AValue);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult AValue) { FModalResult = AValue; }
  TPopupMenu* DropdownMenu() const { return FDropdownMenu; }
  void SetDropdownMenu(TPopupMenu* AValue);
  TAction* Action() const { return FActionLink.Action(); }
  void SetAction(TAction* AValue) { FActionLink.SetAction(AValue); }

  // As TUserButton's.
  POINT DropdownPoint() const;

  void Click() override;
  void SetParent(TWinControl* AParent) override;

 protected:
  void CreateWnd() override;
  void Paint() override;
  void WndProc(TMessage& AMessage) override;
  void KeyPress(char16_t& AKey) override;
  void MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void MouseMove(TShiftState AShift, int X, int Y) override;
  void MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  bool DialogKey(TMessage& AMessage);
  void FocusChanged(TWinControl* AFocused);
  // A press on a button without the focus takes it first, marked as coming from the mouse; false when the focus
  // did not come (the press is dropped).
  bool TakeFocusForPress();

  std::unique_ptr<TButtonPainterClient> FClient;
  bool FCancel = false;
  bool FDefault = false;
  TPopupMenu* FDropdownMenu = nullptr;
  bool FFocusFromMouse = false;       // while a press takes the focus
  bool FFocusShownFromMouse = false;  // the focus this button holds came with a press
  TModalResult FModalResult = mrNone;
  TUserButtonActionLink FActionLink;
};

class TUserWinButton : public TCustomUserWinButton {
 public:
  using TCustomUserWinButton::TCustomUserWinButton;
};
