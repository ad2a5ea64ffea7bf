#include "foundation/cuClasses.h"

#include <algorithm>

struct TItfObject::THandlers {
  struct TEntry {
    TItfNotifyEvent Handler;
    uint64_t Serial;  // order of adding; entries stay sorted by it
  };
  // One per running Notify of this object, innermost first; marked when the object dies meanwhile.
  struct TFrame {
    bool Destroyed;
    TFrame* Outer;
  };

  std::vector<TEntry> Entries;
  uint64_t NextSerial = 0;
  TFrame* Frames = nullptr;
};

TItfObject::TItfObject() = default;

TItfObject::~TItfObject() {
  if (FHandlers)
    for (THandlers::TFrame* frame = FHandlers->Frames; frame; frame = frame->Outer) frame->Destroyed = true;
}

int TItfObject::NotifyEventCount() const { return FHandlers ? static_cast<int>(FHandlers->Entries.size()) : 0; }

void TItfObject::AddNotifyEvent(const TItfNotifyEvent& AHandler) {
  if (!FHandlers) FHandlers = std::make_unique<THandlers>();
  FHandlers->Entries.push_back({AHandler, FHandlers->NextSerial++});
}

void TItfObject::RemoveNotifyEvent(const TItfNotifyEvent& AHandler) {
  const int i = IndexOfNotifyEvent(AHandler);
  if (i >= 0) FHandlers->Entries.erase(FHandlers->Entries.begin() + i);
}

int TItfObject::IndexOfNotifyEvent(const TItfNotifyEvent& AHandler) const {
  if (!FHandlers) return -1;
  for (int i = static_cast<int>(FHandlers->Entries.size()) - 1; i >= 0; --i)
    if (FHandlers->Entries[static_cast<size_t>(i)].Handler == AHandler) return i;
  return -1;
}

void TItfObject::Notify(intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (!FHandlers || FHandlers->Entries.empty()) return;
  // Entries are sorted by serial, so "the next entry to call" is the last one whose serial lies below the one
  // called before. Entries added meanwhile carry larger serials and are never reached.
  THandlers& list = *FHandlers;
  THandlers::TFrame frame{false, list.Frames};
  list.Frames = &frame;
  uint64_t bound = list.NextSerial;
  for (;;) {
    auto it = std::lower_bound(list.Entries.begin(), list.Entries.end(), bound,
                               [](const THandlers::TEntry& AEntry, uint64_t ASerial) { return AEntry.Serial < ASerial; });
    if (it == list.Entries.begin()) break;
    --it;
    bound = it->Serial;
    const TItfNotifyEvent handler = it->Handler;
    try {
      handler(this, ANotify, AParam1, AParam2);
    } catch (...) {
      if (!frame.Destroyed) list.Frames = frame.Outer;
      throw;
    }
    if (frame.Destroyed) return;
  }
  list.Frames = frame.Outer;
}
