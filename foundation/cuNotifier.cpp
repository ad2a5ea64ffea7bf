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

const TClassInfo<TFlagsNotify, TNotifier*> TFlagsNotify::ClassInfo(
    u"TFlagsNotify", nullptr, &ClassFactory<TFlagsNotify, TFlagsNotify, TNotifier*>);

TNotifyMerge TFlagsNotify::Merge(TNotify* AQueued) {
  if (typeid(*AQueued) != typeid(*this)) return nmNone;
  static_cast<TFlagsNotify*>(AQueued)->AddFlags(FFlags);
  return nmAbsorbed;
}

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
  TQueueOwner queue{FFirst};
  FFirst = FLast = nullptr;
  try {
    Fire(nullptr);
  } catch (...) {
    // A subscriber must not raise on the farewell call; the notifier goes away regardless.
  }
}

int TNotifier::Subscribe(TNotifierHandler AHandler) { return FSubscribers.Add(AHandler); }

void TNotifier::Unsubscribe(TNotifierHandler AHandler) { FSubscribers.Remove(AHandler); }

int TNotifier::IndexOfSubscriber(TNotifierHandler AHandler) const { return FSubscribers.IndexOf(AHandler); }

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
  FSubscribers.FireBackward([&](const TNotifierHandler& AHandler) { AHandler(this, AFirst); });
}
