#include "foundation/cuClasses.h"

#include <algorithm>

TItfObject::~TItfObject() {
  for (TNotifyFrame* frame = FNotifyFrame; frame; frame = frame->Outer) frame->Destroyed = true;
}

void TItfObject::AddNotifyEvent(const TItfNotifyEvent& AHandler) { FHandlers.push_back({AHandler, FNextSerial++}); }

void TItfObject::RemoveNotifyEvent(const TItfNotifyEvent& AHandler) {
  const int i = IndexOfNotifyEvent(AHandler);
  if (i >= 0) FHandlers.erase(FHandlers.begin() + i);
}

int TItfObject::IndexOfNotifyEvent(const TItfNotifyEvent& AHandler) const {
  for (int i = static_cast<int>(FHandlers.size()) - 1; i >= 0; --i)
    if (FHandlers[static_cast<size_t>(i)].Handler == AHandler) return i;
  return -1;
}

void TItfObject::Notify(intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (FHandlers.empty()) return;
  // Entries are sorted by serial, so "the next entry to call" is the last one whose serial lies below the one
  // called before. Entries added meanwhile carry larger serials and are never reached.
  TNotifyFrame frame{false, FNotifyFrame};
  FNotifyFrame = &frame;
  uint64_t bound = FNextSerial;
  for (;;) {
    auto it = std::lower_bound(FHandlers.begin(), FHandlers.end(), bound,
                               [](const TEntry& AEntry, uint64_t ASerial) { return AEntry.Serial < ASerial; });
    if (it == FHandlers.begin()) break;
    --it;
    bound = it->Serial;
    const TItfNotifyEvent handler = it->Handler;
    try {
      handler(this, ANotify, AParam1, AParam2);
    } catch (...) {
      if (!frame.Destroyed) FNotifyFrame = frame.Outer;
      throw;
    }
    if (frame.Destroyed) return;
  }
  FNotifyFrame = frame.Outer;
}
