// Queued, mergeable change notifications: a poster creates a notification object, the notifier lets it merge
// with like ones still queued and hands the queue to every subscriber.
#pragma once

#include "foundation/cuHandlerList.h"
#include "foundation/cuSystem.h"

#include <cstdint>
#include <memory>

class TNotifier;

// What Merge tells the notifier about the queued notification it was offered.
enum TNotifyMerge : int {
  nmNone = 0,        // no merge; offer the next older queued one
  nmAbsorbed = 1,    // the new notification was taken into the queued one: free it, stop
  nmDropQueued = 2,  // the queued one is obsolete: take it out and free it, go on
  nmDropBoth = 3,    // both are obsolete: free both, stop
  nmStop = 4,        // stop searching; queue the new one
};

class TNotify : public TObject {
 public:
  explicit TNotify(TNotifier* ANotifier = nullptr) : FNotifier(ANotifier) {}

  TNotifier* Notifier() const { return FNotifier; }
  TNotify* Next() const { return FNext; }
  TNotify* Prev() const { return FPrev; }

  // Offered the queued notifications from the newest to the oldest.
  virtual TNotifyMerge Merge(TNotify* AQueued);
  // Posts ANotify to its own notifier, which takes it over.
  static void Post(std::unique_ptr<TNotify> ANotify);

 private:
  friend class TNotifier;
  TNotifier* FNotifier;
  TNotify* FNext = nullptr;
  TNotify* FPrev = nullptr;
};

// A word of flags; a queued notification of exactly the same class takes the new flags in.
class TFlagsNotify : public TNotify {
 public:
  using TNotify::TNotify;
  static const TClassInfo<TFlagsNotify, TNotifier*> ClassInfo;

  uint32_t Flags() const { return FFlags; }
  void SetFlags(uint32_t AFlags) { FFlags = AFlags; }
  void AddFlags(uint32_t AFlags) { FFlags |= AFlags; }

  TNotifyMerge Merge(TNotify* AQueued) override;

 private:
  uint32_t FFlags = 0;
};

using TFlagsNotifyClass = TClassRef<TFlagsNotify, TNotifier*>;

// ASender is the notifier; AFirst the first notification of the fired queue, or nil when the notifier goes away.
using TNotifierHandler = TMethod<void(TNotifier* ASender, TNotify* AFirst)>;

class TNotifier : public TObject {
 public:
  TNotifier() = default;
  // Calls every subscriber once with nil: no more notifications follow.
  ~TNotifier() override;

  int Subscribe(TNotifierHandler AHandler);
  // Removes the occurrence nearest the end; nothing when absent.
  void Unsubscribe(TNotifierHandler AHandler);
  int IndexOfSubscriber(TNotifierHandler AHandler) const;
  int SubscriberCount() const { return FSubscribers.Count(); }

  // Merges ANotify with the queue or appends it, and fires at once unless updates are held.
  void Post(std::unique_ptr<TNotify> ANotify);
  // A notification of AClass (TFlagsNotify when nil) carrying AFlags.
  void PostFlags(uint32_t AFlags, TFlagsNotifyClass AClass = nullptr);
  // Fires the queue to the subscribers and frees it; nothing when the queue is empty.
  void Flush();

  // Holds notifications in the queue (where they merge) until the outermost EndUpdate, which flushes.
  void BeginUpdate() { ++FLockCount; }
  void EndUpdate();

  TNotify* First() const { return FFirst; }
  TNotify* Last() const { return FLast; }

 private:
  struct TQueueLinks;
  void Fire(TNotify* AFirst);
  // Takes a queued notification out of the queue and frees it.
  void Drop(TNotify* ANotify);

  THandlerList<TNotifierHandler> FSubscribers;
  TNotify* FFirst = nullptr;
  TNotify* FLast = nullptr;
  int FLockCount = 0;
};
