#include "framework/fwComponents.h"

#include <algorithm>
#include <cxxabi.h>
#include <cstdlib>
#include <typeinfo>

namespace {

std::u16string ClassNameOf(const TObject* AObject) {
  if (!AObject) return u"nil";
  const char* mangled = typeid(*AObject).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::u16string result = AsciiToString(status == 0 && demangled ? demangled : mangled);
  std::free(demangled);
  return result;
}

// Set by TLoadingScope, taken by the first TComponent constructor that runs after it.
thread_local bool gNextIsLoading = false;

}  // namespace

// ---------------------------------------------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent* ASource) {
  if (ASource) {
    ASource->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* ADest) const { ADest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* ASource) const {
  throw EComponentError(Format(u"Cannot assign a %s to a %s", {ClassNameOf(ASource), ClassNameOf(this)}));
}

// ---------------------------------------------------------------------------------------------------------------

fw_detail::TLoadingScope::TLoadingScope() : FPrevious(gNextIsLoading) { gNextIsLoading = true; }

fw_detail::TLoadingScope::~TLoadingScope() { gNextIsLoading = FPrevious; }

TComponent::TComponent(TComponent* AOwner) {
  if (gNextIsLoading) {
    gNextIsLoading = false;
    FState |= csLoading;
  } else if (AOwner && AOwner->IsLoading()) {
    FState |= csLoading;
  }
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  NotifyGoing();
  DestroyComponents();
  if (FOwner) FOwner->Remove(this);
}

void TComponent::Free() {
  if (!FNotified) BeforeDestruction();
  delete this;
}

void TComponent::BeforeDestruction() {
  Destroying();
  NotifyGoing();
}

void TComponent::Destroying() {
  if (IsDestroying()) return;
  FState |= csDestroying;
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::NotifyGoing() {
  if (FNotified) return;
  FNotified = true;
  while (!FFreeNotifies.empty()) {
    TComponent* partner = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    partner->UnlinkOneWay(this);
    partner->Notification(this, TComponentOperation::opRemove);
  }
  if (FOwner) FOwner->Notification(this, TComponentOperation::opRemove);
}

TComponent* TComponent::Components(int AIndex) const {
  if (AIndex < 0 || AIndex >= ComponentCount())
    throw EProgrammingError(Format(u"Component index out of range (%d)", {AIndex}));
  return FComponents[AIndex];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto it = std::find(FOwner->FComponents.begin(), FOwner->FComponents.end(), this);
  return it == FOwner->FComponents.end() ? -1 : static_cast<int>(it - FOwner->FComponents.begin());
}

TComponent* TComponent::FindComponent(std::u16string_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameTextAscii(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::SetName(std::u16string AName) {
  if (AName == FName) return;
  if (FOwner && !AName.empty()) {
    TComponent* other = FOwner->FindComponent(AName);
    if (other && other != this) throw EComponentError(Format(u"A component named %s already exists", {AName}));
  }
  FName = std::move(AName);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  LinkOneWay(AComponent);
  AComponent->LinkOneWay(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  UnlinkOneWay(AComponent);
  AComponent->UnlinkOneWay(this);
}

void TComponent::LinkOneWay(TComponent* AComponent) {
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
}

void TComponent::UnlinkOneWay(TComponent* AComponent) {
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent);
  if (it != FFreeNotifies.end()) FFreeNotifies.erase(it);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
    throw EComponentError(Format(u"A component named %s already exists", {AComponent->FName}));
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  Notification(AComponent, TComponentOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  Notification(AComponent, TComponentOperation::opRemove);
  Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it != FComponents.end()) FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    last->Free();  // its destructor takes it out of the list
  }
}

void TComponent::AfterConstruction() {
  if (!IsLoading()) return;
  // Loaded() may add components (they join the list while the owner still loads): index, not iterators.
  for (size_t i = 0; i < FComponents.size(); ++i) {
    TComponent* c = FComponents[i];
    if (c->IsLoading()) c->AfterConstruction();
  }
  Loaded();
  FState -= csLoading;
}

void TComponent::Loaded() { FState -= csLoading; }

void TComponent::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  // Handlers may free or move components: walk a copy and skip those that left meanwhile.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned) {
    if (c == AComponent) continue;
    if (std::find(FComponents.begin(), FComponents.end(), c) == FComponents.end()) continue;
    c->Notification(AComponent, AOperation);
  }
}
