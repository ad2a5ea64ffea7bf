#include "foundation/cuUndoRedo.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------------------------
// TOperation

void TOperation::PerformOn(TNodePtr<TOperation> AOperation, TUndoRedo* AHistory) {
  if (AHistory) {
    AHistory->Perform(std::move(AOperation));
    return;
  }
  TUndoRedo::Execute(AOperation.get(), osDoing, nullptr);
}

std::u16string TGroupingOperation::GetCaption() const {
  if (!FCaption.empty()) return FCaption;
  return FirstOperation() ? FirstOperation()->GetCaption() : std::u16string();
}

int TGroupingOperation::GetFlags() const {
  int flags = 0;
  for (TOperation* child = FirstOperation(); child; child = child->NextOperation()) flags |= child->GetFlags();
  return flags;
}

// ---------------------------------------------------------------------------------------------------------------
// TUndoRedo

TUndoRedo::TUndoRedo() : FUndoStack(new TNode), FRedoStack(new TNode) {}

TUndoRedo::~TUndoRedo() {
  FRedoStack->FreeChildren();
  FUndoStack->FreeChildren();
  Notify(urCleared, 0, 0);
}

namespace {

// Keeps the executing list and the operation's state right however the run ends.
class TExecutingScope {
 public:
  TExecutingScope(TOperation* AOperation, std::vector<TOperation*>* AExecuting)
      : FOperation(AOperation), FExecuting(AExecuting) {
    if (FExecuting) FExecuting->push_back(FOperation);
  }
  ~TExecutingScope() {
    if (!FExecuting) return;
    const auto found = std::find(FExecuting->rbegin(), FExecuting->rend(), FOperation);
    if (found != FExecuting->rend()) FExecuting->erase(std::next(found).base());
  }
  TExecutingScope(const TExecutingScope&) = delete;
  TExecutingScope& operator=(const TExecutingScope&) = delete;

 private:
  TOperation* FOperation;
  std::vector<TOperation*>* FExecuting;
};

}  // namespace

void TUndoRedo::Execute(TOperation* AOperation, TOperationState AMode, TUndoRedo* AHistory) {
  {
    TExecutingScope scope(AOperation, AHistory ? &AHistory->FExecuting : nullptr);
    struct TStateReset {
      TOperation* Operation;
      ~TStateReset() { Operation->FState = osIdle; }
    } reset{AOperation};
    AOperation->FState = AMode;
    AOperation->BeginExecute();
    if (AMode == osUndoing) {
      AOperation->DoUndo();
      for (TOperation* child = AOperation->LastOperation(); child;) {
        TOperation* previous = child->PrevOperation();
        Execute(child, osUndoing, AHistory);
        child = previous;
      }
      AOperation->EndExecute();
    } else {
      for (TOperation* child = AOperation->FirstOperation(); child; child = child->NextOperation()) {
        try {
          Execute(child, AMode, AHistory);
        } catch (...) {
          if (AMode == osDoing) {
            TOperation* ran = child->PrevOperation();
            child->Free();
            RollBack(ran, AHistory);
          }
          throw;
        }
      }
      try {
        AOperation->DoExecute();
        AOperation->EndExecute();
      } catch (...) {
        if (AMode == osDoing) RollBack(AOperation->LastOperation(), AHistory);
        throw;
      }
    }
  }
  if (AHistory && (AOperation->GetFlags() & ofChangesDocument)) AHistory->SetModified(true);
}

// Undoes ALast and its earlier siblings after a failed first run. When that fails too, the document is in a
// state no recorded step was made for, so the history is cleared; the first error goes on regardless.
void TUndoRedo::RollBack(TOperation* ALast, TUndoRedo* AHistory) {
  try {
    for (TOperation* child = ALast; child;) {
      TOperation* previous = child->PrevOperation();
      Execute(child, osUndoing, AHistory);
      child = previous;
    }
  } catch (...) {
    if (AHistory && !AHistory->IsReplaying()) {
      try {
        AHistory->Clear();
      } catch (...) {
        // The failure being reported is the original one.
      }
    }
  }
}

bool TUndoRedo::IsReplaying() const {
  return std::any_of(FExecuting.begin(), FExecuting.end(), [](const TOperation* AOperation) {
    return AOperation->State() == osUndoing || AOperation->State() == osRedoing;
  });
}

void TUndoRedo::RefuseWhile(bool ACondition, const char16_t* AWhat) const {
  if (ACondition) throw EProgrammingError(AWhat);
}

void TUndoRedo::Perform(TNodePtr<TOperation> AOperation) {
  RefuseWhile(IsReplaying(), u"An operation cannot be performed while the history undoes or redoes");
  Execute(AOperation.get(), osDoing, this);
  const int flags = AOperation->GetFlags();
  if (flags & ofIrreversible) {
    // The history is cleared while the step that made it obsolete still exists, and only then is the step freed.
    if (flags & ofChangesDocument) Clear();
    AOperation.reset();
  } else {
    FRedoStack->FreeChildren();
    TNode* parent = FExecuting.empty() ? FUndoStack.get() : FExecuting.back();
    TOperation* operation = AOperation.release();
    operation->SetParent(parent);
    if (TOperation* previous = operation->PrevOperation(); previous && operation->MergeWith(previous))
      operation->Free();
  }
  Notify(urPerformed, 0, 0);
}

void TUndoRedo::Replay(bool AUndo) {
  TOperation* top = AUndo ? GetUndoOperation() : GetRedoOperation();
  if (!top) return;
  RefuseWhile(IsExecuting(), AUndo ? u"Undo while an operation runs" : u"Redo while an operation runs");
  // Off its stack while it runs: nothing the run triggers can free it.
  TNodePtr<TOperation> operation(top);
  operation->SetParent(nullptr);
  try {
    Execute(operation.get(), AUndo ? osUndoing : osRedoing, this);
  } catch (...) {
    const bool changes = operation->GetFlags() & ofChangesDocument;
    operation.reset();
    if (changes) SetModified(true);
    Clear();
    throw;
  }
  if (AUndo) {
    operation.release()->MoveTo(FRedoStack.get(), FRedoStack->FirstChild());
    Notify(urUndone, 0, 0);
  } else {
    operation.release()->SetParent(FUndoStack.get());
    Notify(urRedone, 0, 0);
  }
}

void TUndoRedo::Undo() { Replay(true); }

void TUndoRedo::Redo() { Replay(false); }

void TUndoRedo::BeginGroup(TNodePtr<TGroupingOperation> AGroup) {
  ++FGroupCount;
  if (FGroupCount != 1 || IsExecuting()) return;  // AGroup is freed; the work lands in what encloses it
  FGroup = std::move(AGroup);
  FExecuting.push_back(FGroup.get());
  FGroup->FState = osDoing;
  try {
    FGroup->BeginExecute();
  } catch (...) {
    FExecuting.pop_back();
    FGroup.reset();
    --FGroupCount;
    throw;
  }
}

void TUndoRedo::EndGroup() {
  RefuseWhile(FGroupCount <= 0, u"EndGroup without BeginGroup");
  if (--FGroupCount > 0 || !FGroup) return;
  TNodePtr<TGroupingOperation> group = std::move(FGroup);
  try {
    group->EndExecute();
  } catch (...) {
    group->FState = osIdle;
    FExecuting.erase(std::remove(FExecuting.begin(), FExecuting.end(), group.get()), FExecuting.end());
    RollBack(group->LastOperation(), this);
    throw;
  }
  group->FState = osIdle;
  FExecuting.erase(std::remove(FExecuting.begin(), FExecuting.end(), group.get()), FExecuting.end());
  if (!group->FirstChild()) return;
  group.release()->SetParent(FUndoStack.get());
  Notify(urPerformed, 0, 0);
}

void TUndoRedo::SetModified(bool AValue) {
  if (AValue == FModified) return;
  FModified = AValue;
  Notify(urModifiedChanged, 0, 0);
}

void TUndoRedo::Clear() {
  RefuseWhile(IsReplaying(), u"The history cannot be cleared while it undoes or redoes");
  FRedoStack->FreeChildren();
  FUndoStack->FreeChildren();
  Notify(urCleared, 0, 0);
}
