#include "document/elements/plElements.h"

#include "document/elements/diCommonElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPanelElements.h"
#include "document/model/diSheet.h"
#include "foundation/cuLocalization.h"

TElementClass PlainRootImageClass = nullptr;

namespace {

// The plain-elements group: the second of the four the engine makes.
constexpr int PlainElementsGroupIndex = 1;

void AddGroup(TElementClassList& AList, int AIndex) {
  if (ClassesGroups && AIndex >= 0 && AIndex < ClassesGroups->Count())
    AddListUnique(AList, ClassesGroups->GetGroup(AIndex));
}

// The element's own message shows only on the sheet's sign; the user reading the log learns of each one too,
// wherever it stands in the tree (a frame's content, a table cell, a description), in document order. A walk, not
// a recursion: a damaged file may nest deeply.
void ReportUnaccepted(TElement* ARoot, TElementMessages* AMessages) {
  for (TElement* e = ARoot->FirstChildElement(); e;) {
    if (auto* unaccepted = dynamic_cast<TElement_Unaccepted*>(e))
      AMessages->AddLinked(mkElementError,
                           FormatLocStrOr(IdUnsupportedElement, u"[Unsupported] element \"%1\" in this editor",
                                          {QuoteMessageValue(unaccepted->KnotName())}),
                           IntToStr(unaccepted->ID()));
    if (TElement* child = e->FirstChildElement()) {
      e = child;
      continue;
    }
    while (e != ARoot && !e->NextSiblingElement()) e = e->ParentElement();
    e = e == ARoot ? nullptr : e->NextSiblingElement();
  }
}

}  // namespace

const TElementClassInfo TPlainRoot::ClassInfo{u"TPlainRoot", &TTextorElement::ClassInfo, &ElementFactory<TPlainRoot>};

TPlainRoot::TPlainRoot(TScheme* AScheme) : TTextorElement(AScheme) {
  SetTextorOptions(TextorOptions() | xoRich | xoLinks | xoFixedFont | xoGrowToScrollLast | xoMinWidthAvailable |
                   xoMinHeightAvailable);
  SetTextOptions(AnyTextOptions);
}

void TPlainRoot::GetChildClasses(TElementClassList& AList) {
  AddGroup(AList, SignsClassesGroup);
  AddGroup(AList, PlainElementsGroupIndex);
  TTextorElement::GetChildClasses(AList);
}

void TPlainRoot::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TTextorElement::LoadFromKnot(ALoader, AKnot);
  TElementMessages* messages = ALoader->Messages();
  if (!messages || !ALoader->MadeUnaccepted()) return;
  ReportUnaccepted(this, messages);
}

bool TPlainRoot::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  if (TTextorElement::HandleMessage(AMsg, AParam1, AParam2)) return true;
  if (AMsg != nmAskDataClass || !PlainRootImageClass) return false;
  *reinterpret_cast<TElementClass*>(AParam1) = PlainRootImageClass;
  return true;
}

void TPlainRoot::GetPadding(TRect& ARect) { ARect = Sheet() ? Sheet()->Canvas()->GetThemePadding(teSheet) : TRect(); }
