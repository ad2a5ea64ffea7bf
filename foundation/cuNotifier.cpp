#include "foundation/cuNotifier.h"

#include "foundation/cuClasses.h"

#include <memory>
#include <typeinfo>

TNotifyMerge TNotify::Merge(TNotify*) { return nmNone; }

void TNotify::Post(std::unique_ptr<TNotify> ANotify) {
  TNotifier* notifier = ANotify->FNotifier;
  if (!notifier) throw EProgrammingError(u"The notification belongs to no notifier");
  notifier->Post(std::move(ANotify));
}

const TClassInfo<TFlagsNotify, TNotifier*> TFlagsNotify::ClassInfo(u"TFlagsNotify", nullptr,
                                                                   &ClassFactory<TFlagsNotify, TFlagsNotify, TNotifier*>);

TNotifyMerge TFlagsNotify::Merge(TNotify* AQueued) {
  if (typeid(*AQueued) != typeid(*this)) return nmNone;
  static_cast<TFlagsNotify*>(AQueued)->AddFlags(FFlags);
  return nmAbsorbed;
}

// One pass over the subscribers from the last to the first. Position is the subscriber being called; the
// next one called is Position - 1. Unsubscribe keeps Position on the same subscriber, so removals never make
// the walk skip or repeat anyone; subscribers added behind the walk are not reached.
struct TNotifier::TWalk {
  int Position;
  bool Destroyed = false;
};

namespace {

// Frees a detached queue from the first to the last, also when a subscriber raised.
struct TQueueOwner {
  TNotify* First;
  ~TQueueOwner() {
    while (First) {
      std::unique_ptr<TNotify> current(First);
      First = current->Next();
    }
  }
};

}  // namespace

TNotifier::~TNotifier() {
  for (TWalk* walk : FWalks) walk->Destroyed = true;
  FWalks.clear();
  TQueueOwner queue{FFirst};
  FFirst = FLast = nullptr;
  try {
    Fire(nullptr);
  } catch (...) {
    // A subscriber must not raise on the farewell call; the notifier goes away regardless.
  }
}

int TNotifier::Subscribe(TNotifierHandler AHandler) {
  FSubscribers.push_back(AHandler);
  return static_cast<int>(FSubscribers.size()) - 1;
}

void TNotifier::Unsubscribe(TNotifierHandler AHandler) {
  int index = IndexOfSubscriber(AHandler);
  if (index < 0) return;
  FSubscribers.erase(FSubscribers.begin() + index);
  for (TWalk* walk : FWalks)
    if (index < walk->Position) --walk->Position;
}

int TNotifier::IndexOfSubscriber(TNotifierHandler AHandler) const {
  for (int i = static_cast<int>(FSubscribers.size()) - 1; i >= 0; --i)
    if (FSubscribers[i] == AHandler) return i;
  return -1;
}

struct TNotifier::TQueueLinks {
  static TNotify* Next(TNotify* ANotify) { return ANotify->FNext; }
  static TNotify* Prev(TNotify* ANotify) { return ANotify->FPrev; }
  static void SetNext(TNotify* ANotify, TNotify* ANext) { ANotify->FNext = ANext; }
  static void SetPrev(TNotify* ANotify, TNotify* APrev) { ANotify->FPrev = APrev; }
};

void TNotifier::Drop(TNotify* ANotify) {
  TBidirectionalList::Remove<TQueueLinks>(FFirst, FLast, ANotify);
  delete ANotify;
}

void TNotifier::Post(std::unique_ptr<TNotify> ANotify) {
  std::unique_ptr<TNotify> added(std::move(ANotify));
  added->FNotifier = this;
  for (TNotify* queued = FLast; queued;) {
    TNotify* older = queued->FPrev;
    switch (added->Merge(queued)) {
      case nmNone:
        break;
      case nmAbsorbed:
        return;
      case nmDropQueued:
        Drop(queued);
        break;
      case nmDropBoth:
        Drop(queued);
        return;
      case nmStop:
        older = nullptr;
        break;
    }
    queued = older;
  }
  TBidirectionalList::InsertBefore<TQueueLinks>(FFirst, FLast, added.release(), static_cast<TNotify*>(nullptr));
  if (FLockCount == 0) Flush();
}

void TNotifier::PostFlags(uint32_t AFlags, TFlagsNotifyClass AClass) {
  if (!AClass) AClass = &TFlagsNotify::ClassInfo;
  std::unique_ptr<TFlagsNotify> notify(AClass->Create(this));
  notify->SetFlags(AFlags);
  Post(std::move(notify));
}

void TNotifier::Flush() {
  if (!FFirst) return;
  // Detached first: posts made by subscribers go into a fresh queue and fire on their own.
  TQueueOwner queue{FFirst};
  FFirst = FLast = nullptr;
  Fire(queue.First);
}

void TNotifier::EndUpdate() {
  if (FLockCount <= 0) throw EProgrammingError(u"TNotifier.EndUpdate without BeginUpdate");
  if (--FLockCount == 0) Flush();
}

void TNotifier::Fire(TNotify* AFirst) {
  TWalk walk{static_cast<int>(FSubscribers.size())};
  FWalks.push_back(&walk);
  struct TWalkScope {
    TNotifier* Owner;
    TWalk* Walk;
    ~TWalkScope() {
      if (!Walk->Destroyed) Owner->FWalks.pop_back();
    }
  } scope{this, &walk};
  while (--walk.Position >= 0) {
    TNotifierHandler handler = FSubscribers[walk.Position];
    handler(this, AFirst);
    if (walk.Destroyed) return;
  }
}
