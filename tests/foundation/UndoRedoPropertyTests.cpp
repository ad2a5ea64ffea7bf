// Random sequences of perform, group, undo and redo over a small document: every undo must bring back exactly the
// state the step started from, every redo exactly the state it left.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/cuUndoRedo.h"

namespace {

struct TDoc {
  std::vector<int> Cells = std::vector<int>(6, 0);
  std::string Text;
  int Compounds = 0;
  bool operator==(const TDoc&) const = default;
};

class TSetCell : public TOperation {
 public:
  TSetCell(TDoc& ADoc, size_t AIndex, int AValue) : FDoc(ADoc), FIndex(AIndex), FValue(AValue) {}
  void DoExecute() override {
    if (State() == osDoing) FOld = FDoc.Cells[FIndex];
    FDoc.Cells[FIndex] = FValue;
  }
  void DoUndo() override { FDoc.Cells[FIndex] = FOld; }

 private:
  TDoc& FDoc;
  size_t FIndex;
  int FValue;
  int FOld = 0;
};

// Typing: consecutive appends merge into one step.
class TAppend : public TOperation {
 public:
  TAppend(TDoc& ADoc, std::string AChars) : FDoc(ADoc), FChars(std::move(AChars)) {}
  void DoExecute() override { FDoc.Text += FChars; }
  void DoUndo() override { FDoc.Text.resize(FDoc.Text.size() - FChars.size()); }
  bool MergeWith(TOperation* APrevious) override {
    auto* previous = dynamic_cast<TAppend*>(APrevious);
    if (!previous || FChars == "!") return false;
    previous->FChars += FChars;
    return true;
  }

 private:
  TDoc& FDoc;
  std::string FChars;
};

// Performs leaf operations while it runs (first run only), optionally failing after them.
class TCompound : public TOperation {
 public:
  TCompound(TDoc& ADoc, TUndoRedo& AHistory, std::mt19937& ARandom, bool AFails)
      : FDoc(ADoc), FHistory(AHistory), FRandom(ARandom), FFails(AFails) {}
  // Its own change comes last, after anything that can fail: a body that raises has changed nothing itself.
  void DoExecute() override {
    if (State() == osDoing) {
      const int count = static_cast<int>(FRandom() % 4);
      for (int i = 0; i < count; ++i) {
        if (FRandom() % 2)
          FHistory.Perform(TNodePtr<TOperation>(new TSetCell(FDoc, FRandom() % 6, int(FRandom() % 100))));
        else
          FHistory.Perform(TNodePtr<TOperation>(new TAppend(FDoc, std::string(1, char('a' + FRandom() % 26)))));
      }
      if (FFails) throw EStreamError(u"compound failed");
    }
    ++FDoc.Compounds;
  }
  void DoUndo() override { --FDoc.Compounds; }

 private:
  TDoc& FDoc;
  TUndoRedo& FHistory;
  std::mt19937& FRandom;
  bool FFails;
};

// Changes the document for good and clears the history.
class TIrreversible : public TOperation {
 public:
  explicit TIrreversible(TDoc& ADoc) : FDoc(ADoc) {}
  void DoExecute() override { FDoc.Text += "#"; }
  int GetFlags() const override { return ofChangesDocument | ofIrreversible; }

 private:
  TDoc& FDoc;
};

class TModel {
 public:
  TModel(TUndoRedo& AHistory, TDoc& ADoc) : FHistory(AHistory), FDoc(ADoc), FStates{ADoc} {}

  // Records the outcome of a step performed at the top level.
  void AfterTopLevelStep(TOperation* ATopBefore, bool ACouldUndoBefore) {
    if (!FHistory.CanRedo()) FStates.resize(FDone + 1);
    if (ACouldUndoBefore && FHistory.GetUndoOperation() == ATopBefore) {
      FStates[FDone] = FDoc;  // merged into the last step
    } else if (FHistory.CanUndo()) {
      FStates.push_back(FDoc);
      ++FDone;
    }
  }
  void AfterClear() {
    FStates = {FDoc};
    FDone = 0;
  }
  void AfterFailure(const TDoc& ABefore) {
    EXPECT_EQ(FDoc, ABefore) << "a failed first run must leave the document as it was";
    if (!FHistory.CanRedo()) FStates.resize(FDone + 1);
  }
  void Undo() {
    if (!FHistory.CanUndo()) return;
    FHistory.Undo();
    --FDone;
    ASSERT_EQ(FDoc, FStates[FDone]);
  }
  void Redo() {
    if (!FHistory.CanRedo()) return;
    FHistory.Redo();
    ++FDone;
    ASSERT_EQ(FDoc, FStates[FDone]);
  }
  size_t Done() const { return FDone; }
  const TDoc& State(size_t AIndex) const { return FStates[AIndex]; }
  size_t StateCount() const { return FStates.size(); }

 private:
  TUndoRedo& FHistory;
  TDoc& FDoc;
  std::vector<TDoc> FStates;  // FStates[i]: the document after i steps
  size_t FDone = 0;
};

TNodePtr<TOperation> RandomLeaf(TDoc& ADoc, std::mt19937& ARandom) {
  if (ARandom() % 2) return TNodePtr<TOperation>(new TSetCell(ADoc, ARandom() % 6, int(ARandom() % 100)));
  return TNodePtr<TOperation>(new TAppend(ADoc, ARandom() % 5 ? std::string(1, char('a' + ARandom() % 26)) : "!"));
}

void RunSequence(uint32_t ASeed) {
  std::mt19937 random(ASeed);
  TDoc doc;
  TUndoRedo history;
  TModel model(history, doc);
  for (int step = 0; step < 120; ++step) {
    const uint32_t action = random() % 12;
    if (action < 4 || action == 8) {
      // One operation at the top level: a leaf, or a compound that nests leaves and may fail.
      const bool compound = action == 8 || action == 3;
      const bool fails = compound && random() % 4 == 0;
      TOperation* top = history.GetUndoOperation();
      const bool couldUndo = history.CanUndo();
      const TDoc before = doc;
      TNodePtr<TOperation> op =
          compound ? TNodePtr<TOperation>(new TCompound(doc, history, random, fails)) : RandomLeaf(doc, random);
      if (fails) {
        EXPECT_THROW(history.Perform(std::move(op)), EStreamError);
        model.AfterFailure(before);
      } else {
        history.Perform(std::move(op));
        model.AfterTopLevelStep(top, couldUndo);
      }
    } else if (action < 6) {
      // A burst in a group, sometimes with a nested group, sometimes empty.
      TOperation* top = history.GetUndoOperation();
      const bool couldUndo = history.CanUndo();
      history.BeginGroup(TNodePtr<TGroupingOperation>(new TGroupingOperation(u"Burst")));
      const int count = static_cast<int>(random() % 4);
      for (int i = 0; i < count; ++i) {
        if (random() % 5 == 0) {
          history.BeginGroup(TNodePtr<TGroupingOperation>(new TGroupingOperation));
          history.Perform(RandomLeaf(doc, random));
          history.EndGroup();
        } else {
          history.Perform(RandomLeaf(doc, random));
        }
      }
      history.EndGroup();
      model.AfterTopLevelStep(top, couldUndo);
    } else if (action < 8) {
      model.Undo();
    } else if (action < 11) {
      model.Redo();
    } else if (random() % 4 == 0) {
      history.Perform(TNodePtr<TOperation>(new TIrreversible(doc)));
      model.AfterClear();
    }
    ASSERT_FALSE(history.IsExecuting());
    if (::testing::Test::HasFatalFailure()) return;
  }
  const TDoc final = model.State(model.StateCount() - 1);
  while (history.CanRedo()) model.Redo();
  EXPECT_EQ(doc, final);
  while (history.CanUndo()) model.Undo();
  EXPECT_EQ(model.Done(), 0u);
  EXPECT_EQ(doc, model.State(0)) << "undoing everything gives the state the history started from";
  while (history.CanRedo()) model.Redo();
  EXPECT_EQ(doc, final) << "redoing everything gives the final state";
}

TEST(UndoRedoProperty, RandomSequencesUndoToTheStartAndRedoToTheEnd) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    RunSequence(seed);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
