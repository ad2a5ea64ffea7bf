#include "document/model/diElementOperations.h"

#include "document/model/diSheet.h"
#include "document/model/diVisualElement.h"

namespace {

TSheet* SheetOf(TElement* AElement) {
  auto* visual = dynamic_cast<TVisualElement*>(AElement);
  return visual ? visual->Sheet() : nullptr;
}

}  // namespace

void TElementOperationDependents::MoveTo(TElementOperationDependents& ATarget) {
  ATarget.FItems.insert(ATarget.FItems.end(), FItems.begin(), FItems.end());
  FItems.clear();
}

TElementOperation::TElementOperation(TElement* AElement, bool ALockMessages)
    : TSchemeOperation(AElement->Scheme()), FElementID(AElement->ID()) {
  auto* visual = dynamic_cast<TVisualElement*>(AElement);
  FWasFocused = visual && visual->IsFocused();
  SetLockMessages(ALockMessages);
}

TElementOperationDependents& TElementOperation::RedoDependents() {
  if (!FRedoDependents) FRedoDependents = std::make_unique<TElementOperationDependents>();
  return *FRedoDependents;
}

TElementOperationDependents& TElementOperation::UndoDependents() {
  if (!FUndoDependents) FUndoDependents = std::make_unique<TElementOperationDependents>();
  return *FUndoDependents;
}

void TElementOperation::MoveDependentsTo(TElementOperation* ATarget) {
  if (FRedoDependents) FRedoDependents->MoveTo(ATarget->RedoDependents());
  if (FUndoDependents) FUndoDependents->MoveTo(ATarget->UndoDependents());
}

void TElementOperation::DoElement(TElement* AElement) {
  if (FWasFocused)
    if (auto* visual = dynamic_cast<TVisualElement*>(AElement)) visual->Focus();
}

void TElementOperation::UndoElement(TElement* AElement) {
  if (FWasFocused)
    if (auto* visual = dynamic_cast<TVisualElement*>(AElement)) visual->Focus();
}

void TElementOperation::DoExecute() {
  TSchemeOperation::DoExecute();
  Run(false);
}

void TElementOperation::DoUndo() {
  TSchemeOperation::DoUndo();
  Run(true);
}

void TElementOperation::Run(bool AUndo) {
  TScheme* scheme = Scheme();
  TElement* element = scheme ? scheme->FindByID(FElementID) : nullptr;
  if (!element) return;
  TSheet* sheet = SheetOf(element);
  // The first run has no dependents to replay: they were made by it.
  TElementOperationDependents* dependents =
      AUndo ? FUndoDependents.get() : (State() == osRedoing ? FRedoDependents.get() : nullptr);
  // What dependents do is theirs to say: with them the update repaints everything.
  const bool layout = RepaintsItsChanges() && !(dependents && dependents->Count() > 0);
  const auto end = [sheet, layout] {
    if (!sheet) return;
    if (layout)
      sheet->EndLayoutUpdate();
    else
      sheet->EndUpdate();
  };
  if (sheet) {
    if (layout)
      sheet->BeginLayoutUpdate();
    else
      sheet->BeginUpdate();
  }
  try {
    if (AUndo)
      UndoElement(element);
    else
      DoElement(element);
    for (int i = 0; dependents && i < dependents->Count(); ++i)
      if (TElement* e = scheme->FindByID(dependents->ID(i))) {
        if (AUndo)
          e->UndoDependent(this, dependents->Datum(i));
        else
          e->RedoDependent(this, dependents->Datum(i));
      }
  } catch (...) {
    end();
    throw;
  }
  end();
}

void TVisualElementDisableOperation::DoElement(TElement* AElement) {
  TElementOperation::DoElement(AElement);
  auto* visual = static_cast<TVisualElement*>(AElement);
  OldDisabled = visual->IsDisabled();
  visual->SetDisabled(NewDisabled);
  visual->RequestScrollToCaret();
}

void TVisualElementDisableOperation::UndoElement(TElement* AElement) {
  TElementOperation::UndoElement(AElement);
  auto* visual = static_cast<TVisualElement*>(AElement);
  visual->SetDisabled(OldDisabled);
  visual->RequestScrollToCaret();
}
