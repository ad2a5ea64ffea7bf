#include "tests/document/TestVisualElements.h"

#include "document/model/diCanvas.h"
#include "foundation/cuKnot.h"

#include <algorithm>

const TElementClassInfo TTestVisualGroup::ClassInfo{u"TElement_VisualGroup", &TVisualElement::ClassInfo,
                                                    &ElementFactory<TTestVisualGroup>};
const TElementClassInfo TTestVisualLeaf::ClassInfo{u"TElement_VisualLeaf", &TVisualElement::ClassInfo,
                                                   &ElementFactory<TTestVisualLeaf>};

TTestVisualGroup::TTestVisualGroup(TScheme* AScheme) : TVisualElement(AScheme) {
  SetVisualOptions(voCanBeDisabled | voClickFocus);
}

void TTestVisualGroup::SetCollapsed(bool AValue) {
  if (AValue == FCollapsed) return;
  FCollapsed = AValue;
  UpdateChildrenVisible();
}

void TTestVisualGroup::GetChildClasses(TElementClassList& AList) {
  AList.push_back(&TTestVisualGroup::ClassInfo);
  AList.push_back(&TTestVisualLeaf::ClassInfo);
}

void TTestVisualGroup::RevealChild(TVisualElement* AChild) {
  if (!Locked) SetCollapsed(false);
}

void TTestVisualGroup::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  std::unique_ptr<TElementClassList> classes;
  for (TKnot* k = AKnot->FirstKnot(); k; k = k->NextKnot())
    if (auto* child = dynamic_cast<TVisualElement*>(CreateChildFromKnot(ALoader, k, nullptr, classes)))
      child->SetVisualParent(this);
}

void TTestVisualGroup::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TVisualElement::SaveToKnot(ASaver, AKnot);
  for (TElement* c = FirstChildElement(); c; c = c->NextSiblingElement())
    if (!c->IsPart()) SaveChild(ASaver, c, AKnot);
}

void TTestVisualGroup::MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple,
                                 bool AShift, bool ACtrl, bool AAlt) {
  ++MouseDowns;
  TVisualElement::MouseDown(APoint, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl, AAlt);
}

void TTestVisualGroup::PaintDisabled(TSheetCanvas* ACanvas) {
  if (PaintDisabledCalls) ++*PaintDisabledCalls;
  TVisualElement::PaintDisabled(ACanvas);
}

void TTestVisualGroup::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                       bool AHeightChanged) {
  if (OnSettingsChanged) OnSettingsChanged(AWidthChanged, AHeightChanged);
  TVisualElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
}

TTestVisualLeaf::TTestVisualLeaf(TScheme* AScheme) : TVisualElement(AScheme) {
  SetOptions(Options() | eoValue);
  SetVisualOptions(voCanBeDisabled | voClickFocus | voFocusable | voStoresPosition);
}

void TTestVisualLeaf::SetText(std::u16string AText) {
  if (AText == FText) return;
  FText = std::move(AText);
  ValueChanged();
}

uint8_t TTestVisualLeaf::GetCaret(TRect& ARect) {
  ARect = GetSizeRect();
  return ckButtonFrame;
}

void TTestVisualLeaf::MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple,
                                bool AShift, bool ACtrl, bool AAlt) {
  ++MouseDowns;
  TVisualElement::MouseDown(APoint, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl, AAlt);
}

void TTestVisualLeaf::PaintDisabled(TSheetCanvas* ACanvas) {
  if (PaintDisabledCalls) ++*PaintDisabledCalls;
  TVisualElement::PaintDisabled(ACanvas);
}

bool TTestVisualLeaf::Activate() {
  ++Activations;
  return TVisualElement::Activate();
}

void TTestVisualLeaf::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  FText = AKnot->ReadString(u"Text", u"");
  UpdateState();
}

void TTestVisualLeaf::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TVisualElement::SaveToKnot(ASaver, AKnot);
  if (!FText.empty()) AKnot->WriteString(u"Text", FText);
}

void TTestVisualLeaf::GetPaletteItems(TPaletteList& AList) {
  TVisualElement::GetPaletteItems(AList);
  AList.insert(AList.end(), ExtraPaletteItems.begin(), ExtraPaletteItems.end());
}

void TTestVisualLeaf::GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) {
  TVisualElement::GetPaletteItemState(AItem, AState);
  if (RefusesPaletteItems) AState.Accepted = false;
}

bool TTestVisualLeaf::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (!PaletteRuns || AItem == DisablePaletteItem) return TVisualElement::ExecutePaletteItem(ATarget, AItem, AValue);
  const bool inUpdate = Sheet() && Sheet()->UpdateCount() > 0;
  PaletteRuns->push_back(FText + u":" + char16_t(u'0' + AValue) + (inUpdate ? u" in update" : u""));
  return true;
}

void FillVisualTree(TTestVisualGroup* AGroup, int AElements, int AFanOut) {
  constexpr int32_t gap = 5;
  const int below = AElements - 1;
  const int children = std::min(below, AFanOut);
  int32_t x = gap, y = gap, rowHeight = 0, width = 0;
  for (int i = 0; i < children; ++i) {
    // The elements below are shared out evenly, the first children taking the remainder.
    const int share = below / children + (i < below % children ? 1 : 0);
    TVisualElement* child;
    if (share > 1) {
      auto* g = AddVisual<TTestVisualGroup>(AGroup, x, y, 0, 0);
      FillVisualTree(g, share, AFanOut);
      child = g;
    } else {
      child = AddVisual<TTestVisualLeaf>(AGroup, x, y, 100, 20);
    }
    x += child->Width() + gap;
    rowHeight = std::max(rowHeight, child->Height());
    width = std::max(width, x);
    if (i % 5 == 4) {
      x = gap;
      y += rowHeight + gap;
      rowHeight = 0;
    }
  }
  const int32_t height = rowHeight > 0 ? y + rowHeight + gap : y;
  AGroup->SetBounds(AGroup->Left(), AGroup->Top(), std::max(width, 100), std::max(height, 20), AGroup->Descent());
}

TSheetTimerFactory TManualTimers::Factory() {
  return [this](unsigned, std::function<void()> ATick) -> std::unique_ptr<ISheetTimer> {
    auto entry = std::make_shared<TEntry>();
    entry->Tick = std::move(ATick);
    FEntries.push_back(entry);
    // The timer stops when the sheet frees it.
    struct TTimer : ISheetTimer {
      std::shared_ptr<TEntry> Entry;
      ~TTimer() override { Entry->Alive = false; }
    };
    auto timer = std::make_unique<TTimer>();
    timer->Entry = entry;
    return timer;
  };
}

void TManualTimers::TickAll() {
  const std::vector<std::shared_ptr<TEntry>> entries = FEntries;
  for (const auto& e : entries)
    if (e->Alive) e->Tick();
}

int TManualTimers::Running() const {
  int n = 0;
  for (const auto& e : FEntries) n += e->Alive;
  return n;
}

TSheetHostFixture::TSheetHostFixture() : Settings(nullptr), Scheme(&TTestVisualGroup::ClassInfo, u"Quillbox") {
  Scheme.SetUndoRedo(&History);
  Sheet = std::make_unique<TSheet>(&Settings);
  Sheet->SetTimerFactory(Timers.Factory());
  Sheet->SetLeftButtonQuery([this] { return LeftButton; });
  Root = static_cast<TTestVisualGroup*>(Scheme.Root());
  Root->SetVisualParent(Sheet->Root());
  Root->SetBounds(0, 0, 1000, 1000, Root->Descent());
  Sheet->AddNotifyEvent(MakeMethod<&TSheetHostFixture::Handler>(this));
}

TSheetHostFixture::~TSheetHostFixture() {
  Sheet->RemoveNotifyEvent(MakeMethod<&TSheetHostFixture::Handler>(this));
  Root->SetVisualParent(nullptr);
}

void TSheetHostFixture::Handler(TObject*, intptr_t ANotify, intptr_t AParam1, intptr_t) {
  TNote note{static_cast<int>(ANotify), false, {}, AParam1};
  if (ANotify == snRepaint && AParam1) {
    note.HasRect = true;
    note.Rect = *reinterpret_cast<const TRect*>(AParam1);
  }
  Notes.push_back(note);
  if (OnNote) OnNote(note.Code);
}

std::vector<int> TSheetHostFixture::Codes() const {
  std::vector<int> r;
  for (const TNote& n : Notes) r.push_back(n.Code);
  return r;
}

int TSheetHostFixture::Count(int ACode) const {
  int n = 0;
  for (const TNote& note : Notes) n += note.Code == ACode;
  return n;
}
