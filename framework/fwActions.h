// Actions: commands with caption, shortcuts, state and handlers, kept in action lists; the links that mirror an
// action on a menu item or a control; the idle update of the actions of shown forms; shortcut values and their
// fixed English texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/cuSet.h"
#include "framework/fwComponents.h"
#include "framework/fwKeyRouting.h"
#include "framework/fwMessages.h"

class TAction;
class TActionList;
class TControl;
class TImageList;

// A key with the modifiers held (only Shift, Ctrl and Alt count); key 0 is no shortcut.
struct TShortCut {
  uint16_t Key = 0;
  TShiftState Shift;

  bool None() const { return Key == 0; }
  friend bool operator==(const TShortCut&, const TShortCut&) = default;
};

// A shortcut of a virtual key; shift members other than Shift, Ctrl and Alt are dropped.
TShortCut MakeShortCut(uint16_t AKey, TShiftState AShift = {});
// "Ctrl+Shift+Alt+" in that order, then the key's fixed English name ("Ctrl+F5", "Shift+Del", "F1", "Ctrl+Num +").
// Empty for no shortcut or a key without a name.
std::u16string ShortCutToText(TShortCut AShortCut);
// The inverse: modifiers in any order and letters in any case; no shortcut for text it cannot read.
TShortCut TextToShortCut(std::u16string_view AText);

// The parts of an action its links mirror.
enum class TActionPart : uint8_t {
  apCaption = 0x01,
  apShortCut = 0x02,
  apEnabled = 0x04,
  apChecked = 0x08,
  apVisible = 0x10,
  apImageIndex = 0x20,
  apHint = 0x40,
};
constexpr bool IsFlagFamily(TActionPart) { return true; }
using enum TActionPart;
using TActionParts = TSet<TActionPart>;
constexpr TActionParts AllActionParts =
    apCaption | apShortCut | apEnabled | apChecked | apVisible | apImageIndex | apHint;

// What ties a client (menu item, control) to an action: set, it mirrors every part at once and then each change.
// The client clicks through Execute. Freeing the action clears the link's Action.
class TActionLink : public TObject {
 public:
  ~TActionLink() override;

  TAction* Action() const { return FAction; }
  void SetAction(TAction* AAction);
  // Runs the action for the client (ASender); false without an action or when nothing ran.
  bool Execute(TObject* ASender);

 protected:
  // The parts of the action that changed; the client takes their values.
  virtual void ActionChanged(const TAction& AAction, TActionParts AParts) = 0;

 private:
  friend class TAction;
  TAction* FAction = nullptr;
};

// The link of a control: caption, enabled, visible and hint go to the control; controls with a checked state or
// an image extend it.
class TControlActionLink : public TActionLink {
 public:
  explicit TControlActionLink(TControl* AClient) : FClient(AClient) {}

 protected:
  void ActionChanged(const TAction& AAction, TActionParts AParts) override;
  TControl* Client() const { return FClient; }

 private:
  TControl* FClient;
};

// The list-wide handlers of an action list: AHandled set keeps the action's own handler from running.
using TActionEvent = TMethod<void(TAction* AAction, bool& AHandled)>;

class TAction : public TComponent {
 public:
  explicit TAction(TComponent* AOwner);
  ~TAction() override;

  TActionList* ActionList() const { return FActionList; }
  // Moves the action into AList (at its end) or out of any list (nil).
  void SetActionList(TActionList* AList);
  int Index() const;

  // With "&" before the accelerator.
  const std::u16string& Caption() const { return FCaption; }
  void SetCaption(std::u16string AValue);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut AValue);
  // Further keys that run the action; menus show only ShortCut.
  const std::vector<TShortCut>& SecondaryShortCuts() const { return FSecondaryShortCuts; }
  void SetSecondaryShortCuts(std::vector<TShortCut> AValue) { FSecondaryShortCuts = std::move(AValue); }
  bool HasShortCut(TShortCut AShortCut) const;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  bool Visible() const { return FVisible; }
  void SetVisible(bool AValue);
  // Checking an action of a group (GroupIndex > 0) clears the others of its list with that group.
  bool Checked() const { return FChecked; }
  void SetChecked(bool AValue);
  // Execute toggles Checked before the handlers run (in a group it only checks).
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool AValue) { FAutoCheck = AValue; }
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int AValue) { FGroupIndex = AValue; }
  // In the list's Images; -1 none.
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int AValue);
  const std::u16string& Hint() const { return FHint; }
  void SetHint(std::u16string AValue);

  // Updates the state first and runs nothing while disabled; then AutoCheck, then the list (its OnExecute and
  // ExecuteAction) and, unless the list handled it, OnExecute with ASender as given (a run from code may pass
  // nil; menus pass their item, shortcuts the action). True when a handler ran.
  virtual bool Execute(TObject* ASender);
  // The list's OnUpdate, else OnUpdate; with neither, an enabled action that nothing executes (no OnExecute, no
  // list handler, no list that handles it) is disabled. True when a handler decided.
  virtual bool Update();
  // Whether something executes this action: OnExecute, or its list.
  bool HasExecuteHandler() const;

  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;

 protected:
  void BeforeDestruction() override;

 private:
  friend class TActionLink;
  friend class TActionList;
  void Changed(TActionParts AParts);

  TActionList* FActionList = nullptr;
  std::u16string FCaption;
  TShortCut FShortCut;
  std::vector<TShortCut> FSecondaryShortCuts;
  bool FEnabled = true;
  bool FVisible = true;
  bool FChecked = false;
  bool FAutoCheck = false;
  int FGroupIndex = 0;
  int FImageIndex = -1;
  std::u16string FHint;
  std::vector<TActionLink*> FLinks;
};

// An ordered list of actions of its owner (usually a form). While the owning form is shown the list updates its
// actions whenever the application is idle; the shortcut walk asks it for keys (see the key routing).
class TActionList : public TComponent, public IShortCutHandler {
 public:
  explicit TActionList(TComponent* AOwner);
  ~TActionList() override;

  int ActionCount() const { return static_cast<int>(FActions.size()); }
  TAction* Actions(int AIndex) const { return FActions.at(static_cast<size_t>(AIndex)); }
  // The list's action of that name (ASCII case ignored), nil when none.
  TAction* FindAction(std::u16string_view AName) const;

  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* AValue);

  // Runs before an action's own OnExecute; a handler that sets AHandled keeps it from running.
  TActionEvent OnExecute;
  TActionEvent OnUpdate;

  // The list's part of running AAction: OnExecute. Subclasses that run some actions themselves extend it and
  // name those actions in HandlesAction. True when handled.
  virtual bool ExecuteAction(TAction* AAction);
  // Whether the list executes AAction (its OnExecute, or an ExecuteAction of a subclass): such an action is not
  // disabled by the idle update for want of a handler of its own.
  virtual bool HandlesAction(const TAction& AAction) const;
  // OnUpdate; true when handled.
  virtual bool UpdateAction(TAction* AAction);
  // Updates every action of the list.
  void UpdateActions();

  bool HandleShortCut(uint16_t AKey, TShiftState AShift, TShortCutPass APass) override;

 protected:
  void BeforeDestruction() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  friend class TAction;
  void Idle(TObject* ASender, bool& ADone);
  // Whether the control that owns the list is shown (a list owned by anything else never updates by itself).
  bool OwnerShowing() const;

  std::vector<TAction*> FActions;
  TImageList* FImages = nullptr;
  bool FIdleHooked = false;
};
