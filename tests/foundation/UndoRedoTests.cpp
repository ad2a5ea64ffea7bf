#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuUndoRedo.h"

namespace {

struct TTrace {
  std::vector<std::string> Log;
  int Live = 0;
};

class TTraceOp : public TOperation {
 public:
  TTraceOp(TTrace& ATrace, std::string AName, int AFlags = ofChangesDocument)
      : FTrace(ATrace), FName(std::move(AName)), FFlags(AFlags) {
    ++FTrace.Live;
  }
  ~TTraceOp() override { --FTrace.Live; }

  std::function<void()> OnFirstRun;  // nested performs, or a failure
  std::function<void()> OnUndo;
  std::function<void()> OnRedo;
  std::u16string CaptionText;
  bool Absorbs = false;  // MergeWith answer

  void BeginExecute() override { Add(".begin"); }
  void EndExecute() override { Add(".end"); }
  void DoExecute() override {
    Add(State() == osDoing ? ".do" : ".redo");
    if (State() == osDoing && OnFirstRun) OnFirstRun();
    if (State() == osRedoing && OnRedo) OnRedo();
  }
  void DoUndo() override {
    Add(".undo");
    if (OnUndo) OnUndo();
  }
  std::u16string GetCaption() const override { return CaptionText; }
  int GetFlags() const override { return FFlags; }
  bool MergeWith(TOperation*) override { return Absorbs; }

 private:
  void Add(const char* AWhat) { FTrace.Log.push_back(FName + AWhat); }

  TTrace& FTrace;
  std::string FName;
  int FFlags;
};

class TCountedGroup : public TGroupingOperation {
 public:
  TCountedGroup(TTrace& ATrace, std::u16string ACaption = {})
      : TGroupingOperation(std::move(ACaption)), FTrace(ATrace) {
    ++FTrace.Live;
  }
  ~TCountedGroup() override { --FTrace.Live; }

 private:
  TTrace& FTrace;
};

class TCodes {
 public:
  explicit TCodes(TUndoRedo& AHistory) { AHistory.AddNotifyEvent(MakeMethod<&TCodes::Handle>(this)); }
  std::vector<intptr_t> Take() { return std::exchange(FCodes, {}); }

 private:
  void Handle(TObject*, intptr_t ANotify, intptr_t, intptr_t) { FCodes.push_back(ANotify); }
  std::vector<intptr_t> FCodes;
};

using Codes = std::vector<intptr_t>;

template <class T, class... A>
TNodePtr<T> New(A&&... AArgs) {
  return TNodePtr<T>(new T(std::forward<A>(AArgs)...));
}

int CountChildren(const TNode& ANode) {
  int count = 0;
  for (TNode* n = ANode.FirstChild(); n; n = n->NextSibling()) ++count;
  return count;
}

class UndoRedo : public ::testing::Test {
 protected:
  TTrace Trace;
  std::unique_ptr<TUndoRedo> History = std::make_unique<TUndoRedo>();
  TCodes CodeLog{*History};

  // The history reports its end to CodeLog, so it goes first.
  void TearDown() override { History.reset(); }

  TTraceOp* PerformTrace(std::string AName, int AFlags = ofChangesDocument) {
    auto op = New<TTraceOp>(Trace, std::move(AName), AFlags);
    TTraceOp* raw = op.get();
    History->Perform(std::move(op));
    return raw;
  }
};

TEST_F(UndoRedo, TheFirstPerformSendsModifiedThenPerformedAndLaterOnesOnlyPerformed) {
  PerformTrace("A");
  EXPECT_EQ(CodeLog.Take(), (Codes{urModifiedChanged, urPerformed}));
  EXPECT_TRUE(History->Modified());
  PerformTrace("B");
  EXPECT_EQ(CodeLog.Take(), (Codes{urPerformed}));
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"A.begin", "A.do", "A.end", "B.begin", "B.do", "B.end"}));
}

TEST_F(UndoRedo, AGroupSendsModifiedPerformedAndPerformedAgainWhenItCloses) {
  History->BeginGroup(New<TCountedGroup>(Trace));
  PerformTrace("A");
  History->EndGroup();
  EXPECT_EQ(CodeLog.Take(), (Codes{urModifiedChanged, urPerformed, urPerformed}));
  ASSERT_EQ(CountChildren(History->UndoStack()), 1);
  TOperation* group = History->GetUndoOperation();
  EXPECT_NE(dynamic_cast<TGroupingOperation*>(group), nullptr);
  EXPECT_EQ(CountChildren(*group), 1);
}

TEST_F(UndoRedo, AnIrreversibleChangeClearsTheHistoryAndIsNotKept) {
  PerformTrace("A");
  History->Undo();
  PerformTrace("B");
  CodeLog.Take();
  History->SetModified(false);
  CodeLog.Take();
  PerformTrace("X", ofChangesDocument | ofIrreversible);
  EXPECT_EQ(CodeLog.Take(), (Codes{urModifiedChanged, urCleared, urPerformed}));
  EXPECT_FALSE(History->CanUndo());
  EXPECT_FALSE(History->CanRedo());
  EXPECT_EQ(Trace.Live, 0);
}

TEST_F(UndoRedo, AnIrreversibleChangeIsStillAliveWhenTheHistoryIsClearedAndFreedAfter) {
  PerformTrace("A");
  struct TLiveAtClear {
    TTrace* Trace;
    std::vector<int> Live;
    void Handle(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
      if (ANotify == urCleared) Live.push_back(Trace->Live);
    }
  } watch{&Trace, {}};
  History->AddNotifyEvent(MakeMethod<&TLiveAtClear::Handle>(&watch));
  PerformTrace("X", ofChangesDocument | ofIrreversible);
  EXPECT_EQ(watch.Live, (std::vector<int>{1}));  // A is gone with the stack, X is not freed yet
  EXPECT_EQ(Trace.Live, 0);
  History->RemoveNotifyEvent(MakeMethod<&TLiveAtClear::Handle>(&watch));
}

TEST_F(UndoRedo, AnIrreversibleStepThatChangesNoDocumentKeepsTheHistory) {
  PerformTrace("A");
  CodeLog.Take();
  PerformTrace("X", ofIrreversible);
  EXPECT_EQ(CodeLog.Take(), (Codes{urPerformed}));
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
  EXPECT_EQ(Trace.Live, 1);
}

TEST_F(UndoRedo, NewWorkAfterUndoEmptiesTheRedoStack) {
  TTraceOp* a = PerformTrace("A");
  PerformTrace("B");
  History->Undo();
  EXPECT_TRUE(History->CanRedo());
  TTraceOp* c = PerformTrace("C");
  EXPECT_FALSE(History->CanRedo());
  EXPECT_EQ(History->UndoStack().FirstChild(), a);
  EXPECT_EQ(History->UndoStack().LastChild(), c);
  EXPECT_EQ(Trace.Live, 2);
}

TEST_F(UndoRedo, UndoAndRedoMoveStepsBetweenTheStacksWithTheirCodes) {
  TTraceOp* a = PerformTrace("A");
  TTraceOp* b = PerformTrace("B");
  CodeLog.Take();
  Trace.Log.clear();
  History->Undo();
  History->Undo();
  EXPECT_EQ(History->GetRedoOperation(), a);
  EXPECT_EQ(History->RedoStack().LastChild(), b);
  History->Redo();
  EXPECT_EQ(History->GetUndoOperation(), a);
  EXPECT_EQ(History->GetRedoOperation(), b);
  EXPECT_EQ(CodeLog.Take(), (Codes{urUndone, urUndone, urRedone}));
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"B.begin", "B.undo", "B.end", "A.begin", "A.undo", "A.end", "A.begin",
                                                 "A.redo", "A.end"}));
}

TEST_F(UndoRedo, UndoAndRedoOnEmptyStacksDoNothing) {
  History->Undo();
  History->Redo();
  EXPECT_TRUE(CodeLog.Take().empty());
}

TEST_F(UndoRedo, AMergedOperationIsFreedAndStillReportsPerformed) {
  TTraceOp* a = PerformTrace("A");
  CodeLog.Take();
  auto b = New<TTraceOp>(Trace, "B");
  b->Absorbs = true;
  History->Perform(std::move(b));
  EXPECT_EQ(CodeLog.Take(), (Codes{urPerformed}));
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
  EXPECT_EQ(History->GetUndoOperation(), a);
  EXPECT_EQ(Trace.Live, 1);
}

TEST_F(UndoRedo, TheFirstOperationNeverMergesForWantOfAPreviousStep) {
  auto a = New<TTraceOp>(Trace, "A");
  a->Absorbs = true;
  History->Perform(std::move(a));
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
}

TEST_F(UndoRedo, ANestedGroupIsFreedAtOnceAndTheWorkLandsInTheOuterOne) {
  auto outer = New<TCountedGroup>(Trace, u"Outer");
  TCountedGroup* outerRaw = outer.get();
  History->BeginGroup(std::move(outer));
  History->BeginGroup(New<TCountedGroup>(Trace, u"Inner"));
  EXPECT_EQ(Trace.Live, 1);
  TTraceOp* a = PerformTrace("A");
  History->EndGroup();
  EXPECT_FALSE(History->CanUndo());
  History->EndGroup();
  ASSERT_EQ(History->GetUndoOperation(), outerRaw);
  EXPECT_EQ(outerRaw->FirstChild(), a);
  EXPECT_EQ(outerRaw->GetCaption(), u"Outer");
}

TEST_F(UndoRedo, AnEmptyGroupLeavesTheHistoryAsItWasAndSendsNothing) {
  PerformTrace("A");
  CodeLog.Take();
  History->BeginGroup(New<TCountedGroup>(Trace));
  History->EndGroup();
  EXPECT_TRUE(CodeLog.Take().empty());
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
  EXPECT_EQ(Trace.Live, 1);
}

TEST_F(UndoRedo, EndGroupWithoutBeginGroupIsAProgrammingError) { EXPECT_THROW(History->EndGroup(), EProgrammingError); }

TEST_F(UndoRedo, UndoRunsTheStepsOwnBodyFirstThenItsChildrenLastToFirstAndRedoTheReverse) {
  auto outer = New<TTraceOp>(Trace, "O");
  outer->OnFirstRun = [this] {
    PerformTrace("A");
    PerformTrace("B");
  };
  History->Perform(std::move(outer));
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"O.begin", "O.do", "A.begin", "A.do", "A.end", "B.begin", "B.do",
                                                 "B.end", "O.end"}));
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
  Trace.Log.clear();
  History->Undo();
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"O.begin", "O.undo", "B.begin", "B.undo", "B.end", "A.begin", "A.undo",
                                                 "A.end", "O.end"}));
  Trace.Log.clear();
  History->Redo();
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"O.begin", "A.begin", "A.redo", "A.end", "B.begin", "B.redo", "B.end",
                                                 "O.redo", "O.end"}));
}

TEST_F(UndoRedo, AGroupUndoesItsChildrenLastToFirst) {
  History->BeginGroup(New<TCountedGroup>(Trace));
  PerformTrace("A");
  PerformTrace("B");
  History->EndGroup();
  Trace.Log.clear();
  History->Undo();
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"B.begin", "B.undo", "B.end", "A.begin", "A.undo", "A.end"}));
}

TEST_F(UndoRedo, AFailedFirstRunUndoesTheChildrenThatRanAndIsNotRecorded) {
  PerformTrace("Z");
  CodeLog.Take();
  Trace.Log.clear();
  auto outer = New<TTraceOp>(Trace, "O");
  outer->OnFirstRun = [this] {
    PerformTrace("A");
    PerformTrace("B");
    throw EStreamError(u"disk full");
  };
  EXPECT_THROW(History->Perform(std::move(outer)), EStreamError);
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"O.begin", "O.do", "A.begin", "A.do", "A.end", "B.begin", "B.do",
                                                 "B.end", "B.begin", "B.undo", "B.end", "A.begin", "A.undo", "A.end"}));
  EXPECT_EQ(CodeLog.Take(), (Codes{urPerformed, urPerformed}));  // the nested ones only
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
  EXPECT_EQ(Trace.Live, 1);
  EXPECT_FALSE(History->IsExecuting());
}

TEST_F(UndoRedo, AChildThatFailsOnItsFirstRunRollsBackOnlyTheSiblingsBeforeIt) {
  auto outer = New<TTraceOp>(Trace, "O");
  auto a = new TTraceOp(Trace, "A");
  auto b = new TTraceOp(Trace, "B");
  auto c = new TTraceOp(Trace, "C");
  a->SetParent(outer.get());
  b->SetParent(outer.get());
  c->SetParent(outer.get());
  b->OnFirstRun = [] { throw EStreamError(u"fails"); };
  EXPECT_THROW(History->Perform(std::move(outer)), EStreamError);
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"O.begin", "A.begin", "A.do", "A.end", "B.begin", "B.do", "A.begin",
                                                 "A.undo", "A.end"}));
  EXPECT_EQ(Trace.Live, 0);
  EXPECT_FALSE(History->CanUndo());
}

TEST_F(UndoRedo, AFailedUndoFreesTheStepAndClearsTheHistory) {
  PerformTrace("A");
  TTraceOp* b = PerformTrace("B");
  PerformTrace("C");
  History->Undo();
  b->OnUndo = [] { throw EStreamError(u"fails"); };
  History->SetModified(false);
  CodeLog.Take();
  EXPECT_THROW(History->Undo(), EStreamError);
  EXPECT_EQ(CodeLog.Take(), (Codes{urModifiedChanged, urCleared}));
  EXPECT_FALSE(History->CanUndo());
  EXPECT_FALSE(History->CanRedo());
  EXPECT_EQ(Trace.Live, 0);
}

TEST_F(UndoRedo, AFailedRedoFreesTheStepAndClearsTheHistory) {
  TTraceOp* a = PerformTrace("A");
  PerformTrace("B");
  History->Undo();
  History->Undo();
  a->OnRedo = [] { throw EStreamError(u"fails"); };
  CodeLog.Take();
  EXPECT_THROW(History->Redo(), EStreamError);
  EXPECT_EQ(CodeLog.Take(), (Codes{urCleared}));
  EXPECT_EQ(Trace.Live, 0);
}

TEST_F(UndoRedo, PerformingOrClearingWhileUndoingIsRefusedAndNeverFreesTheRunningStep) {
  for (bool clear : {false, true}) {
    TTraceOp* a = PerformTrace("A");
    a->OnUndo = [this, clear] {
      if (clear)
        History->Clear();
      else
        PerformTrace("N");
    };
    EXPECT_THROW(History->Undo(), EProgrammingError);
    EXPECT_FALSE(History->CanUndo());
    EXPECT_EQ(Trace.Live, 0);
  }
}

TEST_F(UndoRedo, UndoFromInsideARunningOperationOrAnOpenGroupIsRefused) {
  PerformTrace("A");
  auto b = New<TTraceOp>(Trace, "B");
  b->OnFirstRun = [this] { History->Undo(); };
  EXPECT_THROW(History->Perform(std::move(b)), EProgrammingError);
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
  History->Undo();
  History->BeginGroup(New<TCountedGroup>(Trace));
  EXPECT_THROW(History->Redo(), EProgrammingError);
  History->EndGroup();
  EXPECT_TRUE(History->CanRedo());
}

TEST_F(UndoRedo, ClearFreesBothStacksAndSendsCleared) {
  PerformTrace("A");
  PerformTrace("B");
  History->Undo();
  CodeLog.Take();
  History->Clear();
  EXPECT_EQ(CodeLog.Take(), (Codes{urCleared}));
  EXPECT_FALSE(History->CanUndo());
  EXPECT_FALSE(History->CanRedo());
  EXPECT_EQ(Trace.Live, 0);
}

TEST_F(UndoRedo, DestroyingTheHistorySendsClearedAndFreesEverything) {
  PerformTrace("A");
  CodeLog.Take();
  std::vector<intptr_t> codes;
  struct TSink {
    std::vector<intptr_t>* Codes;
    void Handle(TObject*, intptr_t ANotify, intptr_t, intptr_t) { Codes->push_back(ANotify); }
  } sink{&codes};
  History->AddNotifyEvent(MakeMethod<&TSink::Handle>(&sink));
  History.reset();
  EXPECT_EQ(codes, (Codes{urCleared}));
  EXPECT_EQ(Trace.Live, 0);
}

TEST_F(UndoRedo, ModifiedIsSetByUndoAndRedoOfADocumentChangeAndOnlyReportsChanges) {
  PerformTrace("A");
  PerformTrace("V", 0);  // changes nothing in the document
  History->SetModified(false);
  History->SetModified(false);
  CodeLog.Take();
  History->Undo();
  EXPECT_FALSE(History->Modified());
  History->Undo();
  EXPECT_TRUE(History->Modified());
  EXPECT_EQ(CodeLog.Take(), (Codes{urUndone, urModifiedChanged, urUndone}));
}

TEST_F(UndoRedo, PerformOnWithoutAHistoryRunsOnceAndFrees) {
  auto op = New<TTraceOp>(Trace, "A");
  TOperation::PerformOn(std::move(op), nullptr);
  EXPECT_EQ(Trace.Log, (std::vector<std::string>{"A.begin", "A.do", "A.end"}));
  EXPECT_EQ(Trace.Live, 0);
  TOperation::PerformOn(New<TTraceOp>(Trace, "B"), History.get());
  EXPECT_EQ(CountChildren(History->UndoStack()), 1);
}

TEST(GroupingOperation, CaptionIsItsOwnElseTheFirstChildsAndFlagsAreTheChildrens) {
  TTrace trace;
  TNodePtr<TGroupingOperation> group(new TGroupingOperation);
  EXPECT_EQ(group->GetCaption(), u"");
  EXPECT_EQ(group->GetFlags(), 0);
  auto a = new TTraceOp(trace, "A", 0);
  a->CaptionText = u"Typing";
  a->SetParent(group.get());
  (new TTraceOp(trace, "B", ofIrreversible))->SetParent(group.get());
  EXPECT_EQ(group->GetCaption(), u"Typing");
  EXPECT_EQ(group->GetFlags(), ofIrreversible);
  TGroupingOperation named(u"Paste");
  EXPECT_EQ(named.GetCaption(), u"Paste");
}

}  // namespace
