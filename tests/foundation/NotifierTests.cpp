#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuNotifier.h"

namespace {

// Records every firing: which subscriber, and the flags of the fired chain (or "nil").
struct TLog {
  std::vector<std::string> Entries;
};

std::string ChainText(TNotify* AFirst) {
  if (!AFirst) return "nil";
  std::string text;
  for (TNotify* n = AFirst; n; n = n->Next()) {
    if (!text.empty()) text += ",";
    auto* flags = dynamic_cast<TFlagsNotify*>(n);
    text += flags ? std::to_string(flags->Flags()) : "?";
  }
  return text;
}

class TSubscriber {
 public:
  TSubscriber(TLog& ALog, std::string AName) : FLog(ALog), FName(std::move(AName)) {}
  TNotifierHandler Handler() { return MakeMethod<&TSubscriber::Handle>(this); }

  void Handle(TNotifier* ASender, TNotify* AFirst) {
    FLog.Entries.push_back(FName + ":" + ChainText(AFirst));
    if (OnCall) OnCall(ASender, AFirst);
  }
  std::function<void(TNotifier*, TNotify*)> OnCall;

 private:
  TLog& FLog;
  std::string FName;
};

// Counts its own destructions so tests see that the notifier frees what it was given.
class TCountedNotify : public TFlagsNotify {
 public:
  TCountedNotify(TNotifier* ANotifier, int& ALive) : TFlagsNotify(ANotifier), FLive(ALive) { ++FLive; }
  ~TCountedNotify() override { --FLive; }

 private:
  int& FLive;
};

// Merges by a fixed result code, so each code's handling of the queue can be checked.
class TScriptedNotify : public TFlagsNotify {
 public:
  TScriptedNotify(TNotifier* ANotifier, uint32_t AFlags, TNotifyMerge AAnswer)
      : TFlagsNotify(ANotifier), FAnswer(AAnswer) {
    SetFlags(AFlags);
  }
  TNotifyMerge Merge(TNotify* AQueued) override {
    if (FAnswer == nmAbsorbed) static_cast<TFlagsNotify*>(AQueued)->AddFlags(Flags());
    return FAnswer;
  }

 private:
  TNotifyMerge FAnswer;
};

class TOtherFlagsNotify : public TFlagsNotify {
 public:
  using TFlagsNotify::TFlagsNotify;
  static const TClassInfo<TFlagsNotify, TNotifier*> ClassInfo;
};
const TClassInfo<TFlagsNotify, TNotifier*> TOtherFlagsNotify::ClassInfo(
    u"TOtherFlagsNotify", &TFlagsNotify::ClassInfo, &ClassFactory<TOtherFlagsNotify, TFlagsNotify, TNotifier*>);

TEST(Notifier, PostFiresOnceWithAChainOfOneAndFreesIt) {
  TLog log;
  TSubscriber a(log, "a");
  int live = 0;
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  auto notify = std::make_unique<TCountedNotify>(&notifier, live);
  notify->SetFlags(1);
  TNotify::Post(std::move(notify));
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"a:1"}));
  EXPECT_EQ(live, 0);
  EXPECT_EQ(notifier.First(), nullptr);
}

TEST(Notifier, SubscribersAreCalledFromTheLastToTheFirst) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b"), c(log, "c");
  TNotifier notifier;
  EXPECT_EQ(notifier.Subscribe(a.Handler()), 0);
  EXPECT_EQ(notifier.Subscribe(b.Handler()), 1);
  EXPECT_EQ(notifier.Subscribe(c.Handler()), 2);
  notifier.PostFlags(5);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"c:5", "b:5", "a:5"}));
}

TEST(Notifier, UnsubscribeRemovesTheOccurrenceNearestTheEnd) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  notifier.Subscribe(b.Handler());
  notifier.Subscribe(a.Handler());
  EXPECT_EQ(notifier.IndexOfSubscriber(a.Handler()), 2);
  notifier.Unsubscribe(a.Handler());
  EXPECT_EQ(notifier.IndexOfSubscriber(a.Handler()), 0);
  notifier.Unsubscribe(TSubscriber(log, "x").Handler());  // never added: nothing happens
  EXPECT_EQ(notifier.SubscriberCount(), 2);
  notifier.PostFlags(1);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"b:1", "a:1"}));
}

TEST(Notifier, ASubscriberThatUnsubscribesItselfDoesNotStopTheOthers) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b"), c(log, "c");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  notifier.Subscribe(b.Handler());
  notifier.Subscribe(c.Handler());
  b.OnCall = [&](TNotifier* ASender, TNotify*) { ASender->Unsubscribe(b.Handler()); };
  notifier.PostFlags(1);
  notifier.PostFlags(2);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"c:1", "b:1", "a:1", "c:2", "a:2"}));
}

TEST(Notifier, RemovingAnEarlierSubscriberDuringFiringCallsNobodyTwiceAndSkipsTheRemoved) {
  // Called from the last: e removes b (not yet called), then d removes e (already called); each remaining
  // subscriber runs exactly once.
  TLog log;
  TSubscriber a(log, "a"), b(log, "b"), c(log, "c"), d(log, "d"), e(log, "e");
  TNotifier notifier;
  for (TSubscriber* s : {&a, &b, &c, &d, &e}) notifier.Subscribe(s->Handler());
  e.OnCall = [&](TNotifier* ASender, TNotify*) { ASender->Unsubscribe(b.Handler()); };
  d.OnCall = [&](TNotifier* ASender, TNotify*) { ASender->Unsubscribe(e.Handler()); };
  notifier.PostFlags(1);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"e:1", "d:1", "c:1", "a:1"}));
}

TEST(Notifier, ASubscriberAddedDuringFiringIsNotCalledByThatFiring) {
  TLog log;
  TSubscriber a(log, "a"), late(log, "late");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  a.OnCall = [&](TNotifier* ASender, TNotify*) {
    if (ASender->IndexOfSubscriber(late.Handler()) < 0) ASender->Subscribe(late.Handler());
  };
  notifier.PostFlags(1);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"a:1"}));
  notifier.PostFlags(2);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"a:1", "late:2", "a:2"}));
}

TEST(Notifier, APostFromASubscriberFiresOnItsOwnAfterwardsInsideTheFirst) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  notifier.Subscribe(b.Handler());
  b.OnCall = [&](TNotifier* ASender, TNotify* AFirst) {
    if (AFirst && static_cast<TFlagsNotify*>(AFirst)->Flags() == 1) ASender->PostFlags(2);
  };
  notifier.PostFlags(1);
  // The nested firing runs completely inside b's call, then the outer walk goes on with a.
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"b:1", "b:2", "a:2", "a:1"}));
}

TEST(Notifier, UnsubscribingDuringANestedFiringKeepsTheOuterWalkRight) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b"), c(log, "c");
  TNotifier notifier;
  for (TSubscriber* s : {&a, &b, &c}) notifier.Subscribe(s->Handler());
  c.OnCall = [&](TNotifier* ASender, TNotify* AFirst) {
    if (AFirst && static_cast<TFlagsNotify*>(AFirst)->Flags() == 1) ASender->PostFlags(2);
  };
  b.OnCall = [&](TNotifier* ASender, TNotify*) { ASender->Unsubscribe(b.Handler()); };
  notifier.PostFlags(1);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"c:1", "c:2", "b:2", "a:2", "a:1"}));
}

TEST(Notifier, DestroyingTheNotifierCallsEachSubscriberWithNil) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b");
  {
    TNotifier notifier;
    notifier.Subscribe(a.Handler());
    notifier.Subscribe(b.Handler());
  }
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"b:nil", "a:nil"}));
}

TEST(Notifier, ASubscriberMayFreeTheNotifierWhileItFires) {
  TLog log;
  TSubscriber a(log, "a"), b(log, "b");
  int live = 0;
  auto notifier = std::make_unique<TNotifier>();
  notifier->Subscribe(a.Handler());
  notifier->Subscribe(b.Handler());
  b.OnCall = [&](TNotifier*, TNotify* AFirst) {
    if (AFirst) notifier.reset();
  };
  auto notify = std::make_unique<TCountedNotify>(notifier.get(), live);
  notifier->Post(std::move(notify));
  // b frees it: the farewell reaches both, the interrupted walk stops, the fired chain is still freed.
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"b:0", "b:nil", "a:nil"}));
  EXPECT_EQ(live, 0);
}

TEST(Notifier, FlushOnAnEmptyQueueCallsNobody) {
  TLog log;
  TSubscriber a(log, "a");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  notifier.Flush();
  EXPECT_TRUE(log.Entries.empty());
}

TEST(Notifier, FlagsOfTheSameClassMergeWhileHeldAndOtherClassesQueueSeparately) {
  TLog log;
  TSubscriber a(log, "a");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  notifier.BeginUpdate();
  notifier.PostFlags(1);
  notifier.PostFlags(2, &TOtherFlagsNotify::ClassInfo);
  notifier.PostFlags(4);
  notifier.PostFlags(8, &TOtherFlagsNotify::ClassInfo);
  EXPECT_TRUE(log.Entries.empty());
  notifier.EndUpdate();
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"a:5,10"}));
}

struct TMergeCase {
  TNotifyMerge Answer;
  const char* Fired;  // queue of 1, 2 held, then 4 posted with the answer
};

class NotifierMerge : public ::testing::TestWithParam<TMergeCase> {};

TEST_P(NotifierMerge, EachResultCodeActsOnTheQueueAsDefined) {
  TLog log;
  TSubscriber a(log, "a");
  TNotifier notifier;
  notifier.Subscribe(a.Handler());
  notifier.BeginUpdate();
  notifier.Post(std::make_unique<TScriptedNotify>(&notifier, 1, nmStop));
  notifier.Post(std::make_unique<TScriptedNotify>(&notifier, 2, nmStop));
  notifier.Post(std::make_unique<TScriptedNotify>(&notifier, 4, GetParam().Answer));
  notifier.EndUpdate();
  ASSERT_EQ(log.Entries.size(), 1u);
  EXPECT_EQ(log.Entries[0], std::string("a:") + GetParam().Fired);
}

INSTANTIATE_TEST_SUITE_P(Codes, NotifierMerge,
                         ::testing::Values(TMergeCase{nmNone, "1,2,4"},    // offered to both, appended
                                           TMergeCase{nmAbsorbed, "1,6"},  // taken in by the newest
                                           TMergeCase{nmDropQueued, "4"},  // every queued one dropped
                                           TMergeCase{nmDropBoth, "1"},    // newest dropped with it
                                           TMergeCase{nmStop, "1,2,4"}));  // search ends, appended

TEST(Notifier, NotificationsHeldAtDestructionAreFreed) {
  int live = 0;
  {
    TNotifier notifier;
    notifier.BeginUpdate();
    notifier.Post(std::make_unique<TCountedNotify>(&notifier, live));
    EXPECT_EQ(live, 1);
  }
  EXPECT_EQ(live, 0);
}

}  // namespace
