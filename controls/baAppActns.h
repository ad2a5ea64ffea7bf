// Action lists that make their own actions by name when loaded and caption them from the string tables, again
// whenever the interface language changes; TAppActions holds the application's Exit, Help and About.
#pragma once

#include <cstdint>
#include <string_view>

#include "framework/fwActions.h"

class TFixAction : public TAction {
 public:
  using TAction::TAction;
};

class TCustomFixActions : public TActionList {
 public:
  explicit TCustomFixActions(TComponent* AOwner);
  ~TCustomFixActions() override;

 protected:
  virtual void CreateFixActions() = 0;
  virtual void UpdateCaptions() {}

  void Loaded() override;
  // The list's action named AName (case ignored), else a new one owned by the list's owner and put into this
  // list; either way it gets AShortCut.
  TFixAction* GetFixAction(std::u16string_view AName, TShortCut AShortCut);
  // AAction (may be nil) is captioned with string AStringId.
  static void SetActionCaption(TAction* AAction, int AStringId);

 private:
  void LanguageChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
};

class TAppActions : public TCustomFixActions {
 public:
  using TCustomFixActions::TCustomFixActions;

  // Nil until loaded, and again once the action is freed.
  TFixAction* ExitAction() const { return FExitAction; }
  TFixAction* HelpAction() const { return FHelpAction; }
  TFixAction* AboutAction() const { return FAboutAction; }

  // Exit, when nothing else ran it, closes the application's main form.
  bool ExecuteAction(TAction* AAction) override;
  bool HandlesAction(const TAction& AAction) const override;

 protected:
  void CreateFixActions() override;
  void UpdateCaptions() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  TFixAction* FExitAction = nullptr;
  TFixAction* FHelpAction = nullptr;
  TFixAction* FAboutAction = nullptr;
};
