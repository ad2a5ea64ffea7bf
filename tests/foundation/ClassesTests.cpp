#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuClasses.h"
#include "foundation/cuHandlerList.h"

namespace {

// A recorder whose handlers log their tag and may run an action on the subject.
struct THandler;
struct TSubject : TItfObject {};

struct THandler {
  std::string Tag;
  std::vector<std::string>* Log;
  std::function<void()> Action;
  void Handle(TObject* ASender, intptr_t ANotify, intptr_t, intptr_t) {
    Log->push_back(Tag);
    if (Action) Action();
  }
  TItfNotifyEvent Event() { return MakeMethod<&THandler::Handle>(this); }
};

struct TNotifyFixture : ::testing::Test {
  TSubject Subject;
  std::vector<std::string> Log;
  std::vector<std::unique_ptr<THandler>> Handlers;
  THandler& Add(const std::string& ATag) {
    Handlers.push_back(std::make_unique<THandler>(THandler{ATag, &Log, {}}));
    Subject.AddNotifyEvent(Handlers.back()->Event());
    return *Handlers.back();
  }
  std::string Run() {
    Log.clear();
    Subject.Notify(1, 0, 0);
    std::string s;
    for (const auto& t : Log) s += t;
    return s;
  }
};

TEST_F(TNotifyFixture, CallsFromTheLastHandlerToTheFirst) {
  Add("a");
  Add("b");
  Add("c");
  EXPECT_EQ(Run(), "cba");
}

TEST_F(TNotifyFixture, HandlerRemovingItselfLetsTheEarlierOnesRun) {
  Add("a");
  THandler& b = Add("b");
  Add("c");
  b.Action = [&] { Subject.RemoveNotifyEvent(b.Event()); };
  EXPECT_EQ(Run(), "cba");
  EXPECT_EQ(Run(), "ca");
}

TEST_F(TNotifyFixture, HandlerRemovingAnEntryNotYetCalledSkipsIt) {
  THandler& a = Add("a");
  Add("b");
  THandler& c = Add("c");
  Add("d");
  c.Action = [&] { Subject.RemoveNotifyEvent(a.Event()); };
  EXPECT_EQ(Run(), "dcb");
}

TEST_F(TNotifyFixture, HandlerRemovingCalledEntriesAndItselfNeverRunsAnyoneTwice) {
  Add("a");
  Add("b");
  THandler& c = Add("c");
  THandler& d = Add("d");
  THandler& e = Add("e");
  c.Action = [&] {
    Subject.RemoveNotifyEvent(e.Event());
    Subject.RemoveNotifyEvent(d.Event());
    Subject.RemoveNotifyEvent(c.Event());
  };
  EXPECT_EQ(Run(), "edcba");
  EXPECT_EQ(Run(), "ba");
}

TEST_F(TNotifyFixture, HandlersAddedDuringANotificationWaitForTheNextOne) {
  Add("a");
  THandler& b = Add("b");
  b.Action = [&] {
    b.Action = nullptr;
    Add("x");
  };
  EXPECT_EQ(Run(), "ba");
  EXPECT_EQ(Run(), "xba");
}

TEST_F(TNotifyFixture, HandlerThatEmptiesTheListEndsTheWalk) {
  THandler& a = Add("a");
  THandler& b = Add("b");
  b.Action = [&] {
    Subject.RemoveNotifyEvent(a.Event());
    Subject.RemoveNotifyEvent(b.Event());
    Add("n");
  };
  EXPECT_EQ(Run(), "b");
  EXPECT_EQ(Run(), "n");
}

TEST_F(TNotifyFixture, DuplicatesRunTwiceAndOneRemovalTakesTheLastOccurrence) {
  THandler& a = Add("a");
  Add("b");
  Subject.AddNotifyEvent(a.Event());
  EXPECT_EQ(Subject.IndexOfNotifyEvent(a.Event()), 2);
  EXPECT_EQ(Run(), "aba");
  Subject.RemoveNotifyEvent(a.Event());
  EXPECT_EQ(Subject.IndexOfNotifyEvent(a.Event()), 0);
  EXPECT_EQ(Run(), "ba");
  THandler stranger{"s", &Log, {}};
  Subject.RemoveNotifyEvent(stranger.Event());
  EXPECT_EQ(Subject.NotifyEventCount(), 2);
}

TEST(Notify, HandlerMayFreeTheNotifyingObject) {
  std::vector<std::string> log;
  auto* subject = new TSubject;
  THandler first{"first", &log, {}};
  THandler killer{"killer", &log, [&] { delete subject; }};
  subject->AddNotifyEvent(first.Event());
  subject->AddNotifyEvent(killer.Event());
  subject->Notify(1, 0, 0);
  EXPECT_EQ(log, std::vector<std::string>{"killer"});
}

TEST(Notify, PassesSenderCodeAndParameters) {
  struct TProbe {
    TObject* Sender = nullptr;
    intptr_t Values[3] = {};
    void Handle(TObject* S, intptr_t N, intptr_t P1, intptr_t P2) {
      Sender = S;
      Values[0] = N;
      Values[1] = P1;
      Values[2] = P2;
    }
  } probe;
  TSubject subject;
  subject.AddNotifyEvent(MakeMethod<&TProbe::Handle>(&probe));
  subject.Notify(4, -1, 7);
  EXPECT_EQ(probe.Sender, &subject);
  EXPECT_EQ(probe.Values[0], 4);
  EXPECT_EQ(probe.Values[1], -1);
  EXPECT_EQ(probe.Values[2], 7);
}

// The forward firing of the shared handler list: each handler is a number, and what it does when called.
TEST(HandlerList, ForwardFiringSkipsRemovedIgnoresAddedAndStopsWhenTheListGoes) {
  auto* list = new THandlerList<int>;
  std::string log;
  for (int handler : {1, 2, 3, 4, 5}) list->Add(handler);
  const bool whole = list->FireForward([&](int AHandler) {
    log += std::to_string(AHandler);
    if (AHandler == 1) list->Remove(3);  // not yet called: skipped
    if (AHandler == 2) list->Add(6);     // added meanwhile: waits for the next firing
    if (AHandler == 4) list->Remove(1);  // already called: nobody runs twice
  });
  EXPECT_TRUE(whole);
  EXPECT_EQ(log, "1245");
  log.clear();
  const bool survived = list->FireForward([&](int AHandler) {
    log += std::to_string(AHandler);
    if (AHandler == 4) delete list;
  });
  EXPECT_FALSE(survived);
  EXPECT_EQ(log, "24");
}

// Intrusive lists over a plain record.
struct TItem {
  int Id;
  TItem* Next = nullptr;
  TItem* Prev = nullptr;
};
struct TLinks {
  static TItem* Next(TItem* I) { return I->Next; }
  static TItem* Prev(TItem* I) { return I->Prev; }
  static void SetNext(TItem* I, TItem* N) { I->Next = N; }
  static void SetPrev(TItem* I, TItem* P) { I->Prev = P; }
};

std::string Ids(TItem* AFirst) {
  std::string s;
  for (TItem* i = AFirst; i; i = i->Next) s += std::to_string(i->Id);
  return s;
}
std::string IdsBackward(TItem* ALast) {
  std::string s;
  for (TItem* i = ALast; i; i = i->Prev) s += std::to_string(i->Id);
  return s;
}

TEST(Lists, DirectionalQueries) {
  TItem a{1}, b{2}, c{3};
  a.Next = &b;
  b.Next = &c;
  EXPECT_EQ(TDirectionalList::ItemAt<TLinks>(&a, 2), &c);
  EXPECT_EQ(TDirectionalList::ItemAt<TLinks>(&a, 3), nullptr);
  EXPECT_EQ(TDirectionalList::IndexOf<TLinks>(&a, 10, &c), 12);
  TItem stranger{9};
  EXPECT_EQ(TDirectionalList::IndexOf<TLinks>(&a, 0, &stranger), -1);
  EXPECT_TRUE(TDirectionalList::Precedes<TLinks>(&a, &c));
  EXPECT_FALSE(TDirectionalList::Precedes<TLinks>(&c, &a));
  EXPECT_FALSE(TDirectionalList::Precedes<TLinks>(&b, &b));
  EXPECT_TRUE(TDirectionalList::Precedes<TLinks>(&b, static_cast<TItem*>(nullptr)));
  EXPECT_EQ(TDirectionalList::GetLast<TLinks>(&a), &c);
  EXPECT_EQ(TDirectionalList::GetLast<TLinks>(static_cast<TItem*>(nullptr)), nullptr);
}

TEST(Lists, UnidirectionalPrependAppendRemove) {
  TItem a{1}, b{2}, c{3};
  TItem* first = nullptr;
  TUnidirectionalList::Append<TLinks>(first, &b);
  TUnidirectionalList::Append<TLinks>(first, &c);
  TUnidirectionalList::Prepend<TLinks>(first, &a);
  EXPECT_EQ(Ids(first), "123");
  TUnidirectionalList::Remove<TLinks>(first, &b);
  EXPECT_EQ(Ids(first), "13");
  EXPECT_EQ(b.Next, nullptr);
  TUnidirectionalList::Remove<TLinks>(first, &a);
  EXPECT_EQ(Ids(first), "3");
}

TEST(Lists, BidirectionalKeepsBothDirectionsAndEnds) {
  TItem a{1}, b{2}, c{3}, d{4};
  TItem *first = nullptr, *last = nullptr;
  TBidirectionalList::InsertBefore<TLinks>(first, last, &b, static_cast<TItem*>(nullptr));
  TBidirectionalList::InsertBefore<TLinks>(first, last, &a, &b);
  TBidirectionalList::InsertBefore<TLinks>(first, last, &d, static_cast<TItem*>(nullptr));
  TBidirectionalList::InsertBefore<TLinks>(first, last, &c, &d);
  EXPECT_EQ(Ids(first), "1234");
  EXPECT_EQ(IdsBackward(last), "4321");
  TBidirectionalList::Move<TLinks>(first, last, &d, &a);
  EXPECT_EQ(Ids(first), "4123");
  EXPECT_EQ(IdsBackward(last), "3214");
  TBidirectionalList::Remove<TLinks>(first, last, &c);
  EXPECT_EQ(IdsBackward(last), "214");
  EXPECT_EQ(c.Next, nullptr);
  EXPECT_EQ(c.Prev, nullptr);
  std::string freed;
  TBidirectionalList::Clear<TLinks>(first, last, [&](TItem* I) { freed += std::to_string(I->Id); });
  EXPECT_EQ(freed, "412");
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(last, nullptr);
}

}  // namespace
