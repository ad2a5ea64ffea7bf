#include "controls/baAppActns.h"

#include <string>

#include "foundation/cuLocalization.h"
#include "foundation/cuWin32.h"
#include "framework/fwApplication.h"
#include "framework/fwForms.h"

namespace {

constexpr int IdExitCaption = 2034;
constexpr int IdHelpCaption = 2049;
constexpr int IdAboutCaption = 2058;

}  // namespace

TCustomFixActions::TCustomFixActions(TComponent* AOwner) : TActionList(AOwner) {
  if (Localization) Localization->AddNotifyEvent(MakeMethod<&TCustomFixActions::LanguageChanged>(this));
}

TCustomFixActions::~TCustomFixActions() {
  if (Localization) Localization->RemoveNotifyEvent(MakeMethod<&TCustomFixActions::LanguageChanged>(this));
}

void TCustomFixActions::Loaded() {
  TActionList::Loaded();
  CreateFixActions();
  UpdateCaptions();
}

void TCustomFixActions::LanguageChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == 1) UpdateCaptions();
}

TFixAction* TCustomFixActions::GetFixAction(std::u16string_view AName, TShortCut AShortCut) {
  TFixAction* action = dynamic_cast<TFixAction*>(FindAction(AName));
  if (!action) {
    action = new TFixAction(Owner());
    action->SetName(std::u16string(AName));
    action->SetActionList(this);
  }
  action->SetShortCut(AShortCut);
  return action;
}

void TCustomFixActions::SetActionCaption(TAction* AAction, int AStringId) {
  if (AAction && Localization) AAction->SetCaption(Localization->GetLocStr(AStringId));
}

// ---------------------------------------------------------------------------------------------------------------

void TAppActions::CreateFixActions() {
  auto take = [this](TFixAction*& AField, std::u16string_view AName, TShortCut AShortCut) {
    if (AField) return;
    AField = GetFixAction(AName, AShortCut);
    AField->FreeNotification(this);
  };
  take(FExitAction, u"FileExit", TShortCut());
  take(FHelpAction, u"HelpHelp", MakeShortCut(VK_F1));
  take(FAboutAction, u"HelpAbout", TShortCut());
}

void TAppActions::UpdateCaptions() {
  SetActionCaption(FExitAction, IdExitCaption);
  SetActionCaption(FHelpAction, IdHelpCaption);
  SetActionCaption(FAboutAction, IdAboutCaption);
}

void TAppActions::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TCustomFixActions::Notification(AComponent, AOperation);
  if (AOperation != TComponentOperation::opRemove) return;
  for (TFixAction** field : {&FExitAction, &FHelpAction, &FAboutAction})
    if (*field == AComponent) *field = nullptr;
}

bool TAppActions::ExecuteAction(TAction* AAction) {
  if (TCustomFixActions::ExecuteAction(AAction)) return true;
  if (!AAction || AAction != FExitAction) return false;
  if (Application)
    if (auto* form = dynamic_cast<TCustomForm*>(Application->MainForm())) form->Close();
  return true;
}

bool TAppActions::HandlesAction(const TAction& AAction) const {
  return &AAction == FExitAction || TCustomFixActions::HandlesAction(AAction);
}
