// Components: objects with an owner that frees them, a name, free-notification links, a loading phase after
// construction and a destroying phase before any of their parts go away.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/cuSet.h"
#include "foundation/cuSystem.h"

class TPersistent;
class TComponent;

using TNotifyEvent = TMethod<void(TObject* ASender)>;

// A component or persistent object was used in a way its class does not allow (duplicate name, cannot assign).
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

// ---------------------------------------------------------------------------------------------------------------
// Objects that can copy themselves from others of a kind they know.

class TPersistent : public TObject {
 public:
  // Copies ASource into this object. The default asks ASource to copy itself into this one (AssignTo) and raises
  // EComponentError when neither side knows the other.
  virtual void Assign(const TPersistent* ASource);

 protected:
  // The reverse direction of Assign: the source knows the destination's class. The default raises.
  virtual void AssignTo(TPersistent* ADest) const;
  [[noreturn]] void AssignError(const TPersistent* ASource) const;
};

// ---------------------------------------------------------------------------------------------------------------
// Components

enum class TComponentStateFlag : uint32_t {
  csLoading = 0x01,     // constructed but its Loaded() phase has not run yet
  csDestroying = 0x02,  // Free() has begun; nothing new should be started
};
constexpr bool IsFlagFamily(TComponentStateFlag) { return true; }
using enum TComponentStateFlag;
using TComponentState = TSet<TComponentStateFlag>;

enum class TComponentOperation { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  // AOwner (may be nil) takes the component into its list and frees it with itself. The component starts in
  // the loading state when New<T>() creates it or when its owner is still loading.
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  // The one way to destroy a component: the destroying phase (BeforeDestruction) runs while the object is whole,
  // then it is deleted. Calling `delete` directly skips the overrides of BeforeDestruction.
  void Free();

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int AIndex) const;
  // Position in the owner's list (creation order), -1 without owner.
  int ComponentIndex() const;
  // The owned component with that name (ASCII case ignored), nil when none.
  TComponent* FindComponent(std::u16string_view AName) const;

  const std::u16string& Name() const { return FName; }
  // Names are unique among the components of one owner (ASCII case ignored); a clash raises EComponentError.
  void SetName(std::u16string AName);

  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t AValue) { FTag = AValue; }

  TComponentState ComponentState() const { return FState; }
  bool IsLoading() const { return FState.Contains(csLoading); }
  bool IsDestroying() const { return FState.Contains(csDestroying); }

  // Links this component and AComponent both ways: whichever is freed first, the other receives
  // Notification(freed, opRemove) while the freed one is still whole. Linking twice is harmless.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Moves AComponent into this component's list (out of its old owner's).
  void InsertComponent(TComponent* AComponent);
  // Takes AComponent out of this component's list; it then has no owner.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, last created first.
  void DestroyComponents();

  // Marks this component and everything it owns, depth first, as destroying. Runs once; Free() calls it.
  void Destroying();

  // The loading phase: runs Loaded() on every owned component still loading (creation order, each one's own
  // components first), then on this component. New<T>() calls it; components created while their owner is
  // still loading wait for the owner's phase.
  virtual void AfterConstruction();

 protected:
  // Called once after construction (see AfterConstruction). Overrides call the inherited Loaded first.
  virtual void Loaded();
  // Called by Free() before any destructor runs. The default marks the component destroying and tells every
  // free-notification partner and the owner's components that it goes. Overrides call the inherited one last.
  virtual void BeforeDestruction();
  // AComponent was added to (opInsert) or is leaving (opRemove) this component's owner list, or a
  // free-notification partner is being freed. The default passes it on to every owned component.
  virtual void Notification(TComponent* AComponent, TComponentOperation AOperation);

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void NotifyGoing();
  void LinkOneWay(TComponent* AComponent);
  void UnlinkOneWay(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::u16string FName;
  intptr_t FTag = 0;
  TComponentState FState;
  bool FNotified = false;
};

// Frees the component (nil is allowed) and clears the pointer first, so handlers that run meanwhile see nil.
template <class T>
void FreeAndNil(T*& AComponent) {
  T* c = AComponent;
  AComponent = nullptr;
  if (c) c->Free();
}

// Deleter for std::unique_ptr of components that live outside an owner.
struct TComponentDeleter {
  void operator()(TComponent* AComponent) const {
    if (AComponent) AComponent->Free();
  }
};

namespace fw_detail {
// Marks the next component constructed on this thread as loading: New<T>() wraps the constructor of T in one, and
// the first TComponent constructor that runs inside it is T's own.
class TLoadingScope {
 public:
  TLoadingScope();
  ~TLoadingScope();
  TLoadingScope(const TLoadingScope&) = delete;
  TLoadingScope& operator=(const TLoadingScope&) = delete;

 private:
  bool FPrevious;
};
}  // namespace fw_detail

// Creates a component and runs its loading phase, unless its owner is itself still loading. A constructor that
// raises leaves nothing behind.
template <class T, class... TArgs>
T* New(TComponent* AOwner, TArgs&&... AArgs) {
  T* obj;
  {
    fw_detail::TLoadingScope scope;
    obj = new T(AOwner, std::forward<TArgs>(AArgs)...);
  }
  if (!AOwner || !AOwner->IsLoading()) {
    try {
      obj->AfterConstruction();
    } catch (...) {
      obj->Free();
      throw;
    }
  }
  return obj;
}

// Creates a component into ARef, which is set before the constructor runs (code inside the constructor may
// already reach the object through it) and cleared again when construction or loading raises.
template <class T, class... TArgs>
T* NewInto(T*& ARef, TComponent* AOwner, TArgs&&... AArgs) {
  void* memory = ::operator new(sizeof(T));
  ARef = static_cast<T*>(memory);
  T* obj;
  try {
    fw_detail::TLoadingScope scope;
    obj = ::new (memory) T(AOwner, std::forward<TArgs>(AArgs)...);
  } catch (...) {
    ARef = nullptr;
    ::operator delete(memory);
    throw;
  }
  if (!AOwner || !AOwner->IsLoading()) {
    try {
      obj->AfterConstruction();
    } catch (...) {
      ARef = nullptr;
      obj->Free();
      throw;
    }
  }
  return obj;
}
