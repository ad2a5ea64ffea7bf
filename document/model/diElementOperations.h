// Undoable changes of one element. An operation finds its element again by identifier at every run, so an undo
// record never holds a pointer to an element that may have been destroyed and made again in between; each run is
// bracketed by an update of the element's sheet.
#pragma once

#include "document/model/diClasses.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TVisualElement;

// Element identifiers with one datum each, whose changes follow an operation's.
class TElementOperationDependents : public TObject {
 public:
  void Add(int32_t AID, intptr_t ADatum) { FItems.emplace_back(AID, ADatum); }
  int Count() const { return static_cast<int>(FItems.size()); }
  int32_t ID(int AIndex) const { return FItems.at(AIndex).first; }
  intptr_t Datum(int AIndex) const { return FItems.at(AIndex).second; }
  // Appends every entry to ATarget and empties this list.
  void MoveTo(TElementOperationDependents& ATarget);

 private:
  std::vector<std::pair<int32_t, intptr_t>> FItems;
};

class TElementOperation : public TSchemeOperation {
 public:
  // Remembers AElement's identifier and whether it is focused now; works in its scheme.
  TElementOperation(TElement* AElement, bool ALockMessages);

  int32_t ElementID() const { return FElementID; }
  bool WasFocused() const { return FWasFocused; }
  // Made on first use.
  TElementOperationDependents& RedoDependents();
  TElementOperationDependents& UndoDependents();
  // Hands both lists of dependents to ATarget (an operation merged into its predecessor).
  void MoveDependentsTo(TElementOperation* ATarget);

  void DoExecute() override;
  void DoUndo() override;

 protected:
  // The change itself; the base gives the focus back to the element when it had it.
  virtual void DoElement(TElement* AElement);
  virtual void UndoElement(TElement* AElement);
  // Whether the change repaints each place it changes, old and new, as a layout does: its sheet update then
  // gathers the repaint requests into one rectangle rather than repainting everything.
  virtual bool RepaintsItsChanges() const { return false; }

 private:
  void Run(bool AUndo);

  int32_t FElementID;
  bool FWasFocused;
  std::unique_ptr<TElementOperationDependents> FRedoDependents;
  std::unique_ptr<TElementOperationDependents> FUndoDependents;
};

// The undoable Disabled switch of a visual element.
class TVisualElementDisableOperation : public TElementOperation {
 public:
  using TElementOperation::TElementOperation;

  bool NewDisabled = false;
  bool OldDisabled = false;

 protected:
  void DoElement(TElement* AElement) override;
  void UndoElement(TElement* AElement) override;
};
