// A list of handlers that may change while it fires, as observers need: during a firing, a handler added is not
// called by it, a handler removed before its turn is not called, no handler is called twice, and a handler may
// destroy the list (the firing then stops without touching it).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

template <class H>
class THandlerList {
 public:
  THandlerList() = default;
  ~THandlerList() {
    for (TFiring* firing = FFirings; firing; firing = firing->Outer) firing->Destroyed = true;
  }
  THandlerList(const THandlerList&) = delete;
  THandlerList& operator=(const THandlerList&) = delete;

  int Count() const { return static_cast<int>(FEntries.size()); }
  bool Empty() const { return FEntries.empty(); }
  const H& operator[](int AIndex) const { return FEntries[static_cast<size_t>(AIndex)].Handler; }

  // The same handler may be added twice and then runs twice. Returns its index.
  int Add(const H& AHandler) {
    FEntries.push_back({AHandler, FNextSerial++});
    return Count() - 1;
  }
  // The occurrence nearest the end; -1 when absent.
  int IndexOf(const H& AHandler) const {
    for (int i = Count() - 1; i >= 0; --i)
      if (FEntries[static_cast<size_t>(i)].Handler == AHandler) return i;
    return -1;
  }
  // Removes the occurrence nearest the end; false when absent.
  bool Remove(const H& AHandler) {
    const int i = IndexOf(AHandler);
    if (i < 0) return false;
    FEntries.erase(FEntries.begin() + i);
    return true;
  }

  // Calls ACall(handler) from the last handler to the first. False when a handler destroyed the list: the caller
  // then touches nothing the list belonged to.
  template <class C>
  bool FireBackward(C&& ACall) {
    return Fire(ACall, [](const std::vector<TEntry>& AEntries, uint64_t ABound, uint64_t ALast) -> const TEntry* {
      // The entry before the one called last (ALast), or the last entry present when the firing began (ABound).
      auto it = std::lower_bound(AEntries.begin(), AEntries.end(), std::min(ABound, ALast), BySerial);
      return it == AEntries.begin() ? nullptr : &*(it - 1);
    });
  }
  // The same from the first handler to the last.
  template <class C>
  bool FireForward(C&& ACall) {
    return Fire(ACall, [](const std::vector<TEntry>& AEntries, uint64_t ABound, uint64_t ALast) -> const TEntry* {
      auto it = std::lower_bound(AEntries.begin(), AEntries.end(), ALast == NoneCalled ? 0 : ALast + 1, BySerial);
      return it == AEntries.end() || it->Serial >= ABound ? nullptr : &*it;
    });
  }

 private:
  // Entries stay sorted by the order of adding, so a firing finds its next entry by the serial of the one it
  // called last, whatever was removed or added meanwhile.
  struct TEntry {
    H Handler;
    uint64_t Serial;
  };
  // One per firing in progress, innermost first.
  struct TFiring {
    bool Destroyed;
    TFiring* Outer;
  };
  static constexpr uint64_t NoneCalled = UINT64_MAX;

  static bool BySerial(const TEntry& AEntry, uint64_t ASerial) { return AEntry.Serial < ASerial; }

  template <class C, class N>
  bool Fire(C& ACall, N ANext) {
    struct TScope {
      THandlerList* List;
      TFiring Firing;
      ~TScope() {
        if (!Firing.Destroyed) List->FFirings = Firing.Outer;
      }
    } scope{this, {false, FFirings}};
    FFirings = &scope.Firing;
    const uint64_t bound = FNextSerial;
    uint64_t last = NoneCalled;
    while (const TEntry* entry = ANext(FEntries, bound, last)) {
      last = entry->Serial;
      const H handler = entry->Handler;
      ACall(handler);
      if (scope.Firing.Destroyed) return false;
    }
    return true;
  }

  std::vector<TEntry> FEntries;
  uint64_t FNextSerial = 0;
  TFiring* FFirings = nullptr;
};
