#include "document/model/diPalette.h"

#include "foundation/cuLocalization.h"

#include <algorithm>

std::unique_ptr<TPalette, TNodeDeleter> Palette;
TPaletteGroup* PaletteActionsGroup = nullptr;
TPaletteGroup* PaletteOptionsGroup = nullptr;
TPaletteGroup* PaletteInsertGroup = nullptr;
TPaletteGroup* PaletteStateGroup = nullptr;
TPaletteGroup* PaletteAdditionalGroup = nullptr;
TDisablePaletteItem* DisablePaletteItem = nullptr;

namespace {

std::u16string LocalizedText(int AID) {
  if (AID == 0) return {};
  return Localization ? Localization->GetLocStr(AID) : std::u16string();
}

bool Contains(const TPaletteList& AList, const TPaletteNode* ANode) {
  return std::find(AList.begin(), AList.end(), ANode) != AList.end();
}

// Items whose flags meet AFlags leave the list.
void RemoveItemsWith(TPaletteList& AList, TPaletteItemFlags AFlags) {
  std::erase_if(AList, [AFlags](TPaletteNode* ANode) {
    auto* item = dynamic_cast<TPaletteItem*>(ANode);
    return item && item->ItemFlags().ContainsAny(AFlags);
  });
}

// Groups none of whose items stayed in the list leave it.
void DropEmptyGroups(TPaletteList& AList) {
  const TPaletteList before = AList;
  std::erase_if(AList, [&before](TPaletteNode* ANode) {
    if (!dynamic_cast<TPaletteGroup*>(ANode)) return false;
    return std::none_of(before.begin(), before.end(), [ANode](TPaletteNode* AOther) {
      return AOther != ANode && dynamic_cast<TPaletteItem*>(AOther) && ANode->IsSelfOrAncestorOf(AOther);
    });
  });
}

// Adds the inserting items under ANode and then, when anything beneath it is in the list, ANode's group before
// them; answers whether anything beneath ANode is in the list.
bool AddInsertionItemsUnder(TNode* ANode, const TElementClassList& AClasses, TPaletteList& AList) {
  const size_t place = AList.size();
  bool found = false;
  for (TNode* child = ANode->FirstChild(); child; child = child->NextSibling()) {
    if (auto* item = dynamic_cast<TElementPaletteItem*>(child)) {
      if (std::find(AClasses.begin(), AClasses.end(), item->ElementClass()) != AClasses.end() && !Contains(AList, item))
        AList.push_back(item);
    }
    if (AddInsertionItemsUnder(child, AClasses, AList)) found = true;
    if (auto* item = dynamic_cast<TPaletteItem*>(child); item && Contains(AList, item)) found = true;
  }
  if (found)
    if (auto* group = dynamic_cast<TPaletteGroup*>(ANode); group && !Contains(AList, group))
      AList.insert(AList.begin() + static_cast<std::ptrdiff_t>(place), group);
  return found;
}

TElementPaletteItem* FindItemOfClassUnder(TNode* ANode, TElementClass AClass) {
  for (TNode* child = ANode->FirstChild(); child; child = child->NextSibling()) {
    if (auto* item = dynamic_cast<TElementPaletteItem*>(child); item && item->ElementClass() == AClass) return item;
    if (TElementPaletteItem* found = FindItemOfClassUnder(child, AClass)) return found;
  }
  return nullptr;
}

bool Accepts(IPaletteTarget* AElement, TPaletteItem* AItem) {
  TPaletteItemState state;
  AElement->QueryPaletteItemState(AItem, state);
  return state.Accepted;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Nodes

TPaletteNode::TPaletteNode(TNode* AParent, int32_t AWeight, int ACaptionID) : FWeight(AWeight), FCaptionID(ACaptionID) {
  if (AParent) SetParent(AParent);
}

std::u16string TPaletteNode::GetCaption() const { return LocalizedText(FCaptionID); }

TPaletteItem::TPaletteItem(TNode* AParent, int32_t AWeight, int ACaptionID, int AHintID, int AImageIndex,
                           TPaletteItemFlags AFlags)
    : TPaletteNode(AParent, AWeight, ACaptionID),
      FHintID(AHintID),
      FSmallImage(AFlags.Contains(pfLargeImage) ? GetNoImageIndex() : AImageIndex),
      FLargeImage(AFlags.Contains(pfLargeImage) ? AImageIndex : GetNoImageIndex()),
      FItemFlags(AFlags),
      FToggle(AFlags.Contains(pfToggle)) {}

std::u16string TPaletteItem::GetHint() const { return LocalizedText(FHintID); }

// ---------------------------------------------------------------------------------------------------------------
// Items that act on elements

TSchemePaletteItem::TSchemePaletteItem(TNode* AParent, int32_t AWeight, int ACaptionID, int AHintID, int AImageIndex,
                                       TPaletteItemFlags AFlags)
    : TPaletteItem(AParent, AWeight, ACaptionID, AHintID, AImageIndex < 0 ? 0 : AImageIndex, AFlags) {}

void TSchemePaletteItem::Apply(IPaletteTarget* AElement, intptr_t AValue) {
  AElement->PlayPaletteSound(GetSoundName());
  Execute(AElement, AValue);
}

void TSchemePaletteItem::ApplyToList(const TPaletteTargetList& AList, intptr_t AValue) {
  if (!AList.empty()) AList.front()->PlayPaletteSound(GetSoundName());
  ExecuteFor(AList, AValue);
}

void TSchemePaletteItem::Execute(IPaletteTarget* AElement, intptr_t AValue) { AElement->RunPaletteItem(this, AValue); }

void TSchemePaletteItem::ExecuteFor(const TPaletteTargetList& AList, intptr_t AValue) {
  for (IPaletteTarget* element : AList)
    if (Accepts(element, this)) Execute(element, AValue);
}

TElementPaletteItem::TElementPaletteItem(TNode* AParent, int32_t AWeight, TElementClass AElementClass, int ACaptionID,
                                         int AHintID, int AImageIndex, TPaletteItemFlags AFlags)
    : TSchemePaletteItem(AParent, AWeight, ACaptionID, AHintID, AImageIndex,
                         AFlags | pfNotForSelection | pfNeedsWritable),
      FElementClass(AElementClass) {}

void TSubExecutablePaletteItem::ExecuteSubFor(const TPaletteTargetList& AList, const std::u16string& AParameter) {
  for (IPaletteTarget* element : AList)
    if (Accepts(element, this)) ExecuteSub(element, AParameter);
}

// ---------------------------------------------------------------------------------------------------------------
// Offering items

bool CollectPaletteItems(IPaletteTarget* ATarget, TPaletteList& AList) {
  AList.clear();
  TPaletteTargetList selected;
  ATarget->GetSelectedPaletteTargets(selected);
  if (selected.empty()) {
    ATarget->GetPaletteItems(AList);
    RemoveItemsWith(AList, pfNotForElement);
    return false;
  }
  selected.front()->GetPaletteItems(AList);
  RemoveItemsWith(AList, pfNotForSelection);
  DropEmptyGroups(AList);
  for (size_t i = 1; i < selected.size() && !AList.empty(); ++i) {
    TPaletteList other;
    selected[i]->GetPaletteItems(other);
    std::erase_if(AList, [&other](TPaletteNode* ANode) { return !Contains(other, ANode); });
    RemoveItemsWith(AList, pfSingleChild);
    DropEmptyGroups(AList);
  }
  ATarget->AdjustPaletteItems(AList);
  return true;
}

void AddInsertionItems(const TElementClassList& AClasses, TPaletteList& AList) {
  if (Palette && !AClasses.empty()) AddInsertionItemsUnder(Palette.get(), AClasses, AList);
}

TElementPaletteItem* FindPaletteItemOfClass(TElementClass AClass) {
  return Palette ? FindItemOfClassUnder(Palette.get(), AClass) : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Start-up content

void InitializePalette() {
  Palette.reset(new TPalette);
  PaletteActionsGroup = new TPaletteGroup(Palette.get(), 1000, IdPaletteActions);
  PaletteOptionsGroup = new TPaletteGroup(Palette.get(), 800, IdPaletteOptions);
  PaletteInsertGroup = new TPaletteGroup(Palette.get(), 700, IdPaletteInsert);
  PaletteStateGroup = new TPaletteGroup(Palette.get(), 150, IdPaletteState);
  PaletteAdditionalGroup = new TPaletteGroup(Palette.get(), 100, IdPaletteAdditional);
  const TPaletteItemFlags other = pfLargeImage | pfNoCaption | pfOpensMenu;
  new TPaletteItem(PaletteInsertGroup, 10, IdPaletteOther, IdPaletteOtherHint, GetNoImageIndex(), other);
  new TPaletteItem(PaletteAdditionalGroup, 10, IdPaletteOther, IdPaletteOtherHint, GetNoImageIndex(), other);
}

void FinalizePalette() {
  Palette.reset();
  PaletteActionsGroup = PaletteOptionsGroup = PaletteInsertGroup = PaletteStateGroup = PaletteAdditionalGroup = nullptr;
  DisablePaletteItem = nullptr;
}

void InitializeDisableItem(int ALargeImage) {
  DisablePaletteItem =
      new TDisablePaletteItem(PaletteStateGroup, 10, IdPaletteDisabled, IdPaletteDisabledHint, ALargeImage,
                              pfNotForElement | pfNeedsWritable | pfLargeImage | pfToggleButton);
  DisablePaletteItem->SetKeyText(u"D");
}

void FinalizeDisableItem() {
  if (DisablePaletteItem) DisablePaletteItem->Free();
  DisablePaletteItem = nullptr;
}
