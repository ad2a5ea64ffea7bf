// Undoable operations and the history that performs, nests, groups, merges, undoes and redoes them.
#pragma once

#include "foundation/cuNode.h"
#include "foundation/cuSystem.h"

#include <cstdint>
#include <string>
#include <vector>

class TUndoRedo;

enum TOperationState : uint8_t { osIdle = 0, osDoing = 1, osUndoing = 2, osRedoing = 3 };

// GetFlags bits.
constexpr int ofChangesDocument = 1;
constexpr int ofIrreversible = 2;

// Change codes the history sends through Notify(code, 0, 0).
constexpr intptr_t urPerformed = 1;
constexpr intptr_t urUndone = 2;
constexpr intptr_t urRedone = 3;
constexpr intptr_t urModifiedChanged = 4;
constexpr intptr_t urCleared = 6;

// A change of the document. Its children are the operations performed while it ran, in order.
class TOperation : public TNode {
 public:
  TOperationState State() const { return FState; }

  TOperation* FirstOperation() const { return static_cast<TOperation*>(FirstChild()); }
  TOperation* LastOperation() const { return static_cast<TOperation*>(LastChild()); }
  TOperation* NextOperation() const { return static_cast<TOperation*>(NextSibling()); }
  TOperation* PrevOperation() const { return static_cast<TOperation*>(PrevSibling()); }

  // Around the body in every direction.
  virtual void BeginExecute() {}
  virtual void EndExecute() {}
  // The forward body (first run and redo) and the backward one.
  virtual void DoExecute() {}
  virtual void DoUndo() {}
  virtual std::u16string GetCaption() const { return {}; }
  // ofChangesDocument, ofIrreversible.
  virtual int GetFlags() const { return ofChangesDocument; }
  // True when this new operation was absorbed by APrevious, the step before it, and is to be freed.
  virtual bool MergeWith(TOperation* APrevious) { return false; }

  // With a history, AHistory->Perform; without one the operation runs forward once and is freed.
  static void PerformOn(TNodePtr<TOperation> AOperation, TUndoRedo* AHistory);

 private:
  friend class TUndoRedo;
  TOperationState FState = osIdle;
};

// A burst of operations that undoes and redoes as one step.
class TGroupingOperation : public TOperation {
 public:
  explicit TGroupingOperation(std::u16string ACaption = {}) : FCaption(std::move(ACaption)) {}

  const std::u16string& Caption() const { return FCaption; }
  // Its own caption, else the first child's.
  std::u16string GetCaption() const override;
  // The children's flags together; 0 without children.
  int GetFlags() const override;

 private:
  std::u16string FCaption;
};

// The history. Perform and Clear are refused (EProgrammingError) from inside an undo or a redo, Undo and Redo from
// inside any running operation or open group: no running operation is ever freed under its own feet. (A first run
// or an open group is on no stack yet, so an irreversible step inside it may clear the history.)
class TUndoRedo : public TItfObject {
 public:
  TUndoRedo();
  // Clears the history (code 6), then frees it.
  ~TUndoRedo() override;

  // Runs and records a new operation: nested under the running operation or open group, else as a new step.
  // An operation that raises on its first run undoes its children that had run, last to first, and is freed.
  // An irreversible one is not kept: when it changes the document the history is cleared (code 6), then it is freed.
  void Perform(TNodePtr<TOperation> AOperation);
  // Nothing when the stack is empty. A step that raises is freed and the history is cleared (code 6), since the
  // remaining steps no longer fit the document.
  void Undo();
  void Redo();
  bool CanUndo() const { return FUndoStack->LastChild() != nullptr; }
  bool CanRedo() const { return FRedoStack->FirstChild() != nullptr; }
  // The step Undo or Redo would run, for captions; nil when none.
  TOperation* GetUndoOperation() const { return static_cast<TOperation*>(FUndoStack->LastChild()); }
  TOperation* GetRedoOperation() const { return static_cast<TOperation*>(FRedoStack->FirstChild()); }
  // Done steps, the last child being the top; undone steps, the first child being the top.
  const TNode& UndoStack() const { return *FUndoStack; }
  const TNode& RedoStack() const { return *FRedoStack; }

  // Counted: the outermost group, begun while nothing runs, collects what is performed until the matching
  // EndGroup; any other group object is freed at once.
  void BeginGroup(TNodePtr<TGroupingOperation> AGroup);
  void EndGroup();

  bool Modified() const { return FModified; }
  // Sends code 4 on a change.
  void SetModified(bool AValue);
  // Frees both stacks and sends code 6.
  void Clear();
  // True while an operation runs or a group is open.
  bool IsExecuting() const { return !FExecuting.empty(); }

 private:
  friend class TOperation;
  // AHistory may be nil (an operation run on its own).
  static void Execute(TOperation* AOperation, TOperationState AMode, TUndoRedo* AHistory);
  static void RollBack(TOperation* ALast, TUndoRedo* AHistory);
  bool IsReplaying() const;
  void RefuseWhile(bool ACondition, const char16_t* AWhat) const;
  void Replay(bool AUndo);

  TNodePtr<TNode> FUndoStack;
  TNodePtr<TNode> FRedoStack;
  bool FModified = false;
  int FGroupCount = 0;
  TNodePtr<TGroupingOperation> FGroup;
  // The running operations and the open group, innermost last.
  std::vector<TOperation*> FExecuting;
};
