#include "framework/fwActions.h"

#include <algorithm>
#include <array>

#include "foundation/cuWin32.h"
#include "framework/fwApplication.h"
#include "framework/fwControls.h"
#include "framework/fwImageList.h"

namespace {

struct TKeyName {
  uint16_t Key;
  std::u16string_view Name;
};

// Fixed English names, whatever the keyboard layout or the interface language: the texts are also read back
// from settings. Letters, digits and F1..F24 are made by rule.
constexpr std::array<TKeyName, 45> KeyNames{{
    {VK_BACK, u"BkSp"},        {VK_TAB, u"Tab"},        {VK_RETURN, u"Enter"},  {VK_ESCAPE, u"Esc"},
    {VK_SPACE, u"Space"},      {VK_PRIOR, u"PgUp"},     {VK_NEXT, u"PgDn"},     {VK_END, u"End"},
    {VK_HOME, u"Home"},        {VK_LEFT, u"Left"},      {VK_UP, u"Up"},         {VK_RIGHT, u"Right"},
    {VK_DOWN, u"Down"},        {VK_INSERT, u"Ins"},     {VK_DELETE, u"Del"},    {VK_PAUSE, u"Pause"},
    {VK_APPS, u"Menu"},        {VK_NUMPAD0, u"Num 0"},  {VK_NUMPAD1, u"Num 1"}, {VK_NUMPAD2, u"Num 2"},
    {VK_NUMPAD3, u"Num 3"},    {VK_NUMPAD4, u"Num 4"},  {VK_NUMPAD5, u"Num 5"}, {VK_NUMPAD6, u"Num 6"},
    {VK_NUMPAD7, u"Num 7"},    {VK_NUMPAD8, u"Num 8"},  {VK_NUMPAD9, u"Num 9"}, {VK_MULTIPLY, u"Num *"},
    {VK_ADD, u"Num +"},        {VK_SUBTRACT, u"Num -"}, {VK_DECIMAL, u"Num ."}, {VK_DIVIDE, u"Num /"},
    {VK_OEM_1, u";"},          {VK_OEM_PLUS, u"="},     {VK_OEM_COMMA, u","},   {VK_OEM_MINUS, u"-"},
    {VK_OEM_PERIOD, u"."},     {VK_OEM_2, u"/"},        {VK_OEM_3, u"`"},       {VK_OEM_4, u"["},
    {VK_OEM_5, u"\\"},         {VK_OEM_6, u"]"},        {VK_OEM_7, u"'"},       {VK_SCROLL, u"Scroll Lock"},
    {VK_NUMLOCK, u"Num Lock"},
}};

struct TModifierName {
  TShiftFlag Flag;
  std::u16string_view Prefix;
};
constexpr std::array<TModifierName, 3> ModifierNames{{{ssCtrl, u"Ctrl+"}, {ssShift, u"Shift+"}, {ssAlt, u"Alt+"}}};

constexpr TShiftState ShortCutShifts = ssShift | ssCtrl | ssAlt;

std::u16string KeyName(uint16_t AKey) {
  if ((AKey >= '0' && AKey <= '9') || (AKey >= 'A' && AKey <= 'Z')) return std::u16string(1, char16_t(AKey));
  if (AKey >= VK_F1 && AKey <= VK_F24) return u"F" + AsciiToString(std::to_string(AKey - VK_F1 + 1));
  for (const TKeyName& name : KeyNames)
    if (name.Key == AKey) return std::u16string(name.Name);
  return {};
}

uint16_t KeyOfName(std::u16string_view AName) {
  if (AName.size() == 1) {
    const char16_t c = AName[0];
    if (c >= '0' && c <= '9') return c;
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= 'a' && c <= 'z') return static_cast<uint16_t>(c - 'a' + 'A');
  }
  if (AName.size() >= 2 && AName.size() <= 3 && (AName[0] == 'F' || AName[0] == 'f')) {
    int number = 0;
    bool digits = true;
    for (char16_t c : AName.substr(1)) {
      digits = digits && c >= '0' && c <= '9';
      number = number * 10 + (c - '0');
    }
    if (digits && AName[1] != '0' && number >= 1 && number <= 24) return static_cast<uint16_t>(VK_F1 + number - 1);
  }
  for (const TKeyName& name : KeyNames)
    if (SameTextAscii(name.Name, AName)) return name.Key;
  return 0;
}

}  // namespace

TShortCut MakeShortCut(uint16_t AKey, TShiftState AShift) { return TShortCut{AKey, AShift & ShortCutShifts}; }

std::u16string ShortCutToText(TShortCut AShortCut) {
  std::u16string key = KeyName(AShortCut.Key);
  if (key.empty()) return {};
  std::u16string text;
  for (const TModifierName& modifier : ModifierNames)
    if (AShortCut.Shift.Contains(modifier.Flag)) text += modifier.Prefix;
  return text + key;
}

TShortCut TextToShortCut(std::u16string_view AText) {
  TShiftState shift;
  // A prefix counts as a modifier only while a key name follows it ("Ctrl+Num +" ends in a name with "+").
  for (bool found = true; found;) {
    found = false;
    for (const TModifierName& modifier : ModifierNames) {
      const size_t length = modifier.Prefix.size();
      if (AText.size() > length && SameTextAscii(AText.substr(0, length), modifier.Prefix)) {
        shift |= modifier.Flag;
        AText.remove_prefix(length);
        found = true;
      }
    }
  }
  const uint16_t key = KeyOfName(AText);
  return key ? TShortCut{key, shift} : TShortCut{};
}

// ---------------------------------------------------------------------------------------------------------------
// Links

TActionLink::~TActionLink() { SetAction(nullptr); }

void TActionLink::SetAction(TAction* AAction) {
  if (AAction == FAction) return;
  if (FAction) std::erase(FAction->FLinks, this);
  FAction = AAction;
  if (!FAction) return;
  FAction->FLinks.push_back(this);
  ActionChanged(*FAction, AllActionParts);
}

bool TActionLink::Execute(TObject* ASender) { return FAction && FAction->Execute(ASender); }

void TControlActionLink::ActionChanged(const TAction& AAction, TActionParts AParts) {
  if (AParts.Contains(apCaption)) FClient->SetCaption(AAction.Caption());
  if (AParts.Contains(apEnabled)) FClient->SetEnabled(AAction.Enabled());
  if (AParts.Contains(apVisible)) FClient->SetVisible(AAction.Visible());
  if (AParts.Contains(apHint)) FClient->SetHint(AAction.Hint());
}

// ---------------------------------------------------------------------------------------------------------------
// Actions

TAction::TAction(TComponent* AOwner) : TComponent(AOwner) {}

TAction::~TAction() {
  SetActionList(nullptr);
  for (TActionLink* link : FLinks) link->FAction = nullptr;
}

void TAction::BeforeDestruction() {
  SetActionList(nullptr);
  // The clients keep what they show; they only lose the action.
  for (TActionLink* link : FLinks) link->FAction = nullptr;
  FLinks.clear();
  TComponent::BeforeDestruction();
}

void TAction::SetActionList(TActionList* AList) {
  if (AList == FActionList) return;
  if (FActionList) std::erase(FActionList->FActions, this);
  FActionList = AList;
  if (FActionList) FActionList->FActions.push_back(this);
}

int TAction::Index() const {
  if (!FActionList) return -1;
  auto it = std::find(FActionList->FActions.begin(), FActionList->FActions.end(), this);
  return static_cast<int>(it - FActionList->FActions.begin());
}

void TAction::Changed(TActionParts AParts) {
  // A client may drop its link while it is told.
  const std::vector<TActionLink*> links = FLinks;
  for (TActionLink* link : links)
    if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end()) link->ActionChanged(*this, AParts);
}

void TAction::SetCaption(std::u16string AValue) {
  if (AValue == FCaption) return;
  FCaption = std::move(AValue);
  Changed(apCaption);
}

void TAction::SetShortCut(TShortCut AValue) {
  if (AValue == FShortCut) return;
  FShortCut = AValue;
  Changed(apShortCut);
}

bool TAction::HasShortCut(TShortCut AShortCut) const {
  if (AShortCut.None()) return false;
  return FShortCut == AShortCut ||
         std::find(FSecondaryShortCuts.begin(), FSecondaryShortCuts.end(), AShortCut) != FSecondaryShortCuts.end();
}

void TAction::SetEnabled(bool AValue) {
  if (AValue == FEnabled) return;
  FEnabled = AValue;
  Changed(apEnabled);
}

void TAction::SetVisible(bool AValue) {
  if (AValue == FVisible) return;
  FVisible = AValue;
  Changed(apVisible);
}

void TAction::SetChecked(bool AValue) {
  if (AValue == FChecked) return;
  FChecked = AValue;
  if (AValue && FGroupIndex > 0 && FActionList)
    for (TAction* other : std::vector<TAction*>(FActionList->FActions))
      if (other != this && other->FGroupIndex == FGroupIndex) other->SetChecked(false);
  Changed(apChecked);
}

void TAction::SetImageIndex(int AValue) {
  if (AValue == FImageIndex) return;
  FImageIndex = AValue;
  Changed(apImageIndex);
}

void TAction::SetHint(std::u16string AValue) {
  if (AValue == FHint) return;
  FHint = std::move(AValue);
  Changed(apHint);
}

bool TAction::HasExecuteHandler() const { return OnExecute || (FActionList && FActionList->HandlesAction(*this)); }

bool TAction::Update() {
  if (FActionList && FActionList->UpdateAction(this)) return true;
  if (OnUpdate) {
    OnUpdate(this);
    return true;
  }
  if (FEnabled && !HasExecuteHandler()) SetEnabled(false);
  return false;
}

bool TAction::Execute(TObject* ASender) {
  Update();
  if (!FEnabled) return false;
  if (FAutoCheck && !(FChecked && FGroupIndex > 0)) SetChecked(!FChecked);
  if (FActionList && FActionList->ExecuteAction(this)) return true;
  if (!OnExecute) return false;
  OnExecute(ASender);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Action lists

TActionList::TActionList(TComponent* AOwner) : TComponent(AOwner) {
  if (Application) {
    Application->AddIdleHandler(MakeMethod<&TActionList::Idle>(this));
    FIdleHooked = true;
  }
  TKeyRouting::InstallShortCuts();
}

TActionList::~TActionList() {
  for (TAction* action : FActions) action->FActionList = nullptr;
}

void TActionList::BeforeDestruction() {
  if (FIdleHooked && Application) Application->RemoveIdleHandler(MakeMethod<&TActionList::Idle>(this));
  FIdleHooked = false;
  for (TAction* action : FActions) action->FActionList = nullptr;
  FActions.clear();
  TComponent::BeforeDestruction();
}

void TActionList::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FImages) FImages = nullptr;
}

TAction* TActionList::FindAction(std::u16string_view AName) const {
  for (TAction* action : FActions)
    if (SameTextAscii(action->Name(), AName)) return action;
  return nullptr;
}

void TActionList::SetImages(TImageList* AValue) {
  if (AValue == FImages) return;
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = AValue;
  if (FImages) FImages->FreeNotification(this);
}

bool TActionList::ExecuteAction(TAction* AAction) {
  bool handled = false;
  if (OnExecute) OnExecute(AAction, handled);
  return handled;
}

bool TActionList::HandlesAction(const TAction&) const { return static_cast<bool>(OnExecute); }

bool TActionList::UpdateAction(TAction* AAction) {
  bool handled = false;
  if (OnUpdate) OnUpdate(AAction, handled);
  return handled;
}

void TActionList::UpdateActions() {
  // An update may add or remove actions.
  for (TAction* action : std::vector<TAction*>(FActions))
    if (std::find(FActions.begin(), FActions.end(), action) != FActions.end()) action->Update();
}

bool TActionList::OwnerShowing() const {
  auto* control = dynamic_cast<TControl*>(Owner());
  return control && control->Showing();
}

void TActionList::Idle(TObject*, bool&) {
  if (!IsDestroying() && OwnerShowing()) UpdateActions();
}

bool TActionList::HandleShortCut(uint16_t AKey, TShiftState AShift, TShortCutPass APass) {
  if (APass != TShortCutPass::spActions) return false;
  const TShortCut shortCut = MakeShortCut(AKey, AShift);
  for (TAction* action : std::vector<TAction*>(FActions)) {
    if (!action->HasShortCut(shortCut)) continue;
    // A disabled one lets the walk go on; a hidden one still answers.
    action->Update();
    if (!action->Enabled()) continue;
    action->Execute(action);
    return true;
  }
  return false;
}
