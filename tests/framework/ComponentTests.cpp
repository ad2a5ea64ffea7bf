#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/fwComponents.h"

namespace {

// Records what happens to components, in order.
struct TJournal {
  std::vector<std::u16string> Lines;
  void Add(std::u16string ALine) { Lines.push_back(std::move(ALine)); }
};

class TProbe : public TComponent {
 public:
  TProbe(TComponent* AOwner, TJournal* AJournal, std::u16string AName) : TComponent(AOwner), FJournal(AJournal) {
    SetName(std::move(AName));
    WasLoadingInConstructor = IsLoading();
  }
  ~TProbe() override { FJournal->Add(u"free " + Name() + (IsDestroying() ? u" destroying" : u" live")); }

  TProbe* Partner = nullptr;  // a reference kept safe by free-notification
  bool WasLoadingInConstructor = false;
  int LoadedCalls = 0;

  void SetPartner(TProbe* AValue) {
    if (Partner) Partner->RemoveFreeNotification(this);
    Partner = AValue;
    if (Partner) Partner->FreeNotification(this);
  }

 protected:
  void Loaded() override {
    TComponent::Loaded();
    ++LoadedCalls;
    FJournal->Add(u"loaded " + Name());
  }
  void BeforeDestruction() override {
    FJournal->Add(u"before " + Name());
    TComponent::BeforeDestruction();
  }
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override {
    TComponent::Notification(AComponent, AOperation);
    if (AOperation == TComponentOperation::opRemove && AComponent == Partner) {
      FJournal->Add(Name() + u" drops " + Partner->Name());
      Partner = nullptr;
    }
  }

 private:
  TJournal* FJournal;
};

// A composite built in its constructor, the way a form builds its children.
class TComposite : public TProbe {
 public:
  TComposite(TComponent* AOwner, TJournal* AJournal) : TProbe(AOwner, AJournal, u"composite") {
    First = new TProbe(this, AJournal, u"first");
    Second = new TProbe(this, AJournal, u"second");
  }
  TProbe* First;
  TProbe* Second;
};

TEST(Components, OwnerFreesOwnedComponentsLastCreatedFirst) {
  TJournal journal;
  auto* owner = new TProbe(nullptr, &journal, u"owner");
  new TProbe(owner, &journal, u"a");
  new TProbe(owner, &journal, u"b");
  new TProbe(owner, &journal, u"c");
  owner->Free();
  std::vector<std::u16string> expected{u"before owner", u"free owner destroying", u"before c", u"free c destroying",
                                       u"before b",     u"free b destroying",     u"before a", u"free a destroying"};
  EXPECT_EQ(journal.Lines, expected);
}

TEST(Components, DestroyingReachesEveryOwnedComponentBeforeAnyIsFreed) {
  TJournal journal;
  auto* owner = new TProbe(nullptr, &journal, u"owner");
  auto* child = new TProbe(owner, &journal, u"child");
  auto* grandchild = new TProbe(child, &journal, u"grandchild");
  owner->Destroying();
  EXPECT_TRUE(child->IsDestroying());
  EXPECT_TRUE(grandchild->IsDestroying());
  owner->Free();
}

TEST(Components, FreeNotificationClearsReferenceWhicheverSideGoesFirst) {
  for (bool freeTargetFirst : {true, false}) {
    TJournal journal;
    auto* a = new TProbe(nullptr, &journal, u"a");
    auto* b = new TProbe(nullptr, &journal, u"b");
    a->SetPartner(b);
    if (freeTargetFirst) {
      b->Free();
      EXPECT_EQ(a->Partner, nullptr);
      EXPECT_EQ(journal.Lines.front(), u"before b");
      EXPECT_EQ(journal.Lines[1], u"a drops b");
      a->Free();
    } else {
      a->Free();
      b->Free();  // b must not call back into the freed a
      EXPECT_EQ(journal.Lines.back(), u"free b destroying");
    }
  }
}

TEST(Components, PartnerOnOtherOwnerIsDroppedWhenItsOwnerGoes) {
  TJournal journal;
  auto* module = new TProbe(nullptr, &journal, u"module");
  auto* images = new TProbe(module, &journal, u"images");
  auto* user = new TProbe(nullptr, &journal, u"user");
  user->SetPartner(images);
  module->Free();
  EXPECT_EQ(user->Partner, nullptr);
  user->Free();
}

TEST(Components, SiblingsHearOfInsertionAndRemoval) {
  TJournal journal;
  auto* owner = new TProbe(nullptr, &journal, u"owner");
  auto* a = new TProbe(owner, &journal, u"a");
  auto* b = new TProbe(owner, &journal, u"b");
  // Without an explicit link, the owner's broadcast still lets a sibling drop its reference.
  a->Partner = b;
  b->Free();
  EXPECT_EQ(a->Partner, nullptr);
  owner->Free();
}

TEST(Components, NamesAreUniqueWithinOneOwnerIgnoringCase) {
  TJournal journal;
  auto* owner = new TProbe(nullptr, &journal, u"owner");
  auto* a = new TProbe(owner, &journal, u"Timer1");
  EXPECT_THROW(new TProbe(owner, &journal, u"timer1"), EComponentError);
  EXPECT_EQ(owner->FindComponent(u"TIMER1"), a);
  EXPECT_EQ(owner->FindComponent(u"other"), nullptr);
  EXPECT_EQ(a->ComponentIndex(), 0);
  owner->Free();
}

TEST(Components, InsertComponentMovesBetweenOwners) {
  TJournal journal;
  auto* first = new TProbe(nullptr, &journal, u"first");
  auto* second = new TProbe(nullptr, &journal, u"second");
  auto* moved = new TProbe(first, &journal, u"moved");
  second->InsertComponent(moved);
  EXPECT_EQ(moved->Owner(), second);
  EXPECT_EQ(first->ComponentCount(), 0);
  first->Free();
  EXPECT_EQ(journal.Lines.size(), 2u);  // "before first", "free first ..." only
  second->Free();
}

TEST(Components, NewRunsLoadedAfterConstructionChildrenFirst) {
  TJournal journal;
  TComposite* composite = New<TComposite>(nullptr, &journal);
  EXPECT_TRUE(composite->WasLoadingInConstructor);
  EXPECT_TRUE(composite->First->WasLoadingInConstructor);
  EXPECT_FALSE(composite->IsLoading());
  EXPECT_FALSE(composite->First->IsLoading());
  std::vector<std::u16string> expected{u"loaded first", u"loaded second", u"loaded composite"};
  EXPECT_EQ(journal.Lines, expected);
  EXPECT_EQ(composite->LoadedCalls, 1);
  composite->Free();
}

TEST(Components, ComponentCreatedAtRunTimeIsNotLoading) {
  TJournal journal;
  TComposite* composite = New<TComposite>(nullptr, &journal);
  auto* late = new TProbe(composite, &journal, u"late");
  EXPECT_FALSE(late->WasLoadingInConstructor);
  auto* alone = new TProbe(nullptr, &journal, u"alone");
  EXPECT_FALSE(alone->IsLoading());
  alone->Free();
  composite->Free();
}

class TFailing : public TComponent {
 public:
  TFailing(TComponent* AOwner, TFailing*& ASeen, TFailing** AReference) : TComponent(AOwner) {
    ASeen = *AReference;  // the reference is already set while constructing
    throw EComponentError(u"cannot create");
  }
};

TEST(Components, NewIntoSetsReferenceBeforeConstructionAndClearsItOnFailure) {
  TJournal journal;
  auto* owner = new TProbe(nullptr, &journal, u"owner");
  TFailing* ref = nullptr;
  TFailing* seen = nullptr;
  EXPECT_THROW(NewInto(ref, owner, seen, &ref), EComponentError);
  EXPECT_NE(seen, nullptr);
  EXPECT_EQ(ref, nullptr);
  EXPECT_EQ(owner->ComponentCount(), 0);
  owner->Free();
}

class TPoint2 : public TPersistent {
 public:
  int X = 0, Y = 0;
  void Assign(const TPersistent* ASource) override {
    if (auto* p = dynamic_cast<const TPoint2*>(ASource)) {
      X = p->X;
      Y = p->Y;
      return;
    }
    TPersistent::Assign(ASource);
  }
};

class TPoint3 : public TPersistent {
 public:
  int X = 0, Y = 0, Z = 0;

 protected:
  // Only the richer class knows how to copy itself into the simpler one.
  void AssignTo(TPersistent* ADest) const override {
    if (auto* p = dynamic_cast<TPoint2*>(ADest)) {
      p->X = X;
      p->Y = Y;
      return;
    }
    TPersistent::AssignTo(ADest);
  }
};

TEST(Persistent, AssignFallsBackToAssignToAndRaisesWhenNeitherKnows) {
  TPoint3 source;
  source.X = 4;
  source.Y = 5;
  TPoint2 dest;
  dest.Assign(&source);
  EXPECT_EQ(dest.X, 4);
  EXPECT_EQ(dest.Y, 5);
  TPoint3 other;
  EXPECT_THROW(other.Assign(&dest), EComponentError);
}

}  // namespace
