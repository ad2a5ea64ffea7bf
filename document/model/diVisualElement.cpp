#include "document/model/diVisualElement.h"

#include "document/model/diCanvas.h"
#include "document/model/diElementOperations.h"
#include "document/model/diMessages.h"
#include "document/model/diPanelElements.h"
#include "document/model/diSheet.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUnicode.h"
#include "foundation/cuUtilsWin.h"
#include "graphics/pixels/pxBitmap.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

bool Intersect(const TRect& A, const TRect& B, TRect& AResult) {
  AResult = {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
             std::min(A.Bottom, B.Bottom)};
  return AResult.Left < AResult.Right && AResult.Top < AResult.Bottom;
}

// The element whose sheet place AChild of a sheet's root follows: the signed one of a sign, the owner of a part (a
// description); nil for any other child.
TVisualElement* FollowedElement(const TVisualElement* AChild) {
  if (auto* sign = AsElementOfClass<TMessagesSignElement>(const_cast<TVisualElement*>(AChild)))
    return sign->SignedElement();
  return AChild->IsPart() ? AsVisualElement(AChild->ParentElement()) : nullptr;
}

// The top of a navigation chain has no navigation parent because it stands right under the sheet's root, so the
// root as a scope holds it too.
bool LiesInScope(TVisualElement* AElement, TVisualElement* AScope) {
  if (!AScope) return false;
  for (TVisualElement* e = AElement; e; e = e->GetNavigationParent())
    if (e == AScope || (e->VisualParent() == AScope && !e->GetNavigationParent())) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Find data

bool TFindData::Matches(std::u16string_view AText) const {
  return MatchCase ? AText == FindText : SameTextFolded(AText, FindText);
}

void TFindData::NotFound() const {
  ShowMessageBox(FormatLocStrOr(IdCouldNotFind, u"Could not find \"%1\"", {FindText}), {}, MB_OK | MB_ICONINFORMATION);
}

// ---------------------------------------------------------------------------------------------------------------
// Index by place

namespace {

template <class TEntry>
bool PlacedBefore(const TEntry& A, const TEntry& B) {
  return A.Top < B.Top || (A.Top == B.Top && A.Rank < B.Rank);
}

}  // namespace

void TPlaceIndex::Build(const TVisualElement& AParent) {
  FEntries.clear();
  FMovedFrom = SIZE_MAX;
  uint32_t rank = 0;
  for (TVisualElement* c = AParent.FirstVisualChild(); c; c = c->NextVisualSibling(), ++rank)
    if (c->IsVisible()) {
      c->FPlaceSlot = static_cast<uint32_t>(FEntries.size());
      FEntries.push_back({c->FTop, c->FTop + c->FHeight, 0, rank, c});
    }
  // Children mostly come in place order (a text's elements as loaded, descriptions beside them). Sorted in place,
  // the drawing order breaking ties: a stable sort would take and free a buffer of the size of the children.
  if (!std::is_sorted(FEntries.begin(), FEntries.end(), PlacedBefore<TEntry>)) {
    std::sort(FEntries.begin(), FEntries.end(), PlacedBefore<TEntry>);
    for (size_t i = 0; i < FEntries.size(); ++i) FEntries[i].Element->FPlaceSlot = static_cast<uint32_t>(i);
  }
  int32_t bottom = INT32_MIN;
  for (TEntry& e : FEntries) e.MaxBottom = bottom = std::max(bottom, e.Bottom);
  FValid = true;
}

void TPlaceIndex::ChildMoved(const TVisualElement& AChild) {
  if (!FValid) return;
  const size_t slot = AChild.FPlaceSlot;
  // A child the last build did not enter where it says is one this index does not know.
  if (slot >= FEntries.size() || FEntries[slot].Element != &AChild) {
    FValid = false;
    return;
  }
  FEntries[slot].Top = AChild.FTop;
  FEntries[slot].Bottom = AChild.FTop + AChild.FHeight;
  FMovedFrom = std::min(FMovedFrom, slot);
}

void TPlaceIndex::Repair() {
  size_t from = std::exchange(FMovedFrom, SIZE_MAX);
  // Moved entries keep their order among themselves (a text shifts everything below a change alike) or step past
  // a few neighbours (an element wrapped to the next row): sorting by insertion costs those steps. Many steps tell
  // of a larger change, which a build handles.
  size_t steps = FEntries.size() / 8 + 64;
  for (size_t i = std::max<size_t>(from, 1); i < FEntries.size(); ++i) {
    if (!PlacedBefore(FEntries[i], FEntries[i - 1])) continue;
    const TEntry e = FEntries[i];
    size_t j = i;
    for (; j > 0 && PlacedBefore(e, FEntries[j - 1]); --j) {
      if (steps-- == 0) {
        FValid = false;
        return;
      }
      FEntries[j] = FEntries[j - 1];
      FEntries[j].Element->FPlaceSlot = static_cast<uint32_t>(j);
    }
    FEntries[j] = e;
    e.Element->FPlaceSlot = static_cast<uint32_t>(j);
    from = std::min(from, j);
  }
  int32_t bottom = from > 0 ? FEntries[from - 1].MaxBottom : INT32_MIN;
  for (size_t i = from; i < FEntries.size(); ++i) FEntries[i].MaxBottom = bottom = std::max(bottom, FEntries[i].Bottom);
}

void TPlaceIndex::Find(const TVisualElement& AParent, int32_t ATop, int32_t ABottom,
                       std::vector<TVisualElement*>& AFound) {
  if (FValid && FMovedFrom != SIZE_MAX) Repair();
  if (!FValid) Build(AParent);
  // Every entry that reaches into the band starts above its end and lies after the last whose largest bottom stays
  // above its start.
  auto end = std::partition_point(FEntries.begin(), FEntries.end(), [&](const TEntry& e) { return e.Top < ABottom; });
  auto begin = std::partition_point(FEntries.begin(), end, [&](const TEntry& e) { return e.MaxBottom <= ATop; });
  FRanked.clear();
  for (auto e = begin; e != end; ++e)
    if (e->Bottom > ATop) FRanked.emplace_back(e->Rank, e->Element);
  // Back to the drawing order, which decides what lies on top.
  std::sort(FRanked.begin(), FRanked.end());
  for (const auto& r : FRanked) AFound.push_back(r.second);
}

// ---------------------------------------------------------------------------------------------------------------
// Visual tree

const TElementClassInfo TVisualElement::ClassInfo{u"TVisualElement", &TElement::ClassInfo,
                                                  &ElementFactory<TVisualElement>};

TVisualElement::TVisualElement(TScheme* AScheme) : TElement(AScheme) { SetClassMark(cmVisual, true); }

TVisualElement::~TVisualElement() {
  SetClassMark(cmVisual, false);
  // Content children have left by now, each through its own destructor; what remains are parts placed here.
  if (FVisualParent)
    FVisualParent->RemoveVisualChild(this);
  else if (FSheet)
    DetachFromSheet();
  while (FLastVisualChild) {
    TVisualElement* child = FLastVisualChild;
    UnlinkVisualChild(child);
    child->FVisualParent = nullptr;
    child->SetSheet(nullptr);
  }
  FreeMessagesSign();
}

TVisualElement* TVisualElement::CreatePartAt(TElementClass AClass, TElement* AParent, TElement* ABefore,
                                             TVisualElement* AVisualParent, TVisualElement* AVisualBefore) {
  auto* e = static_cast<TVisualElement*>(CreatePart(AClass, AParent, ABefore));
  e->ChangeVisualParent(AVisualParent, AVisualBefore);
  return e;
}

TVisualElement* TVisualElement::GetVisualChild(int AIndex) const {
  TVisualElement* c = AIndex >= 0 ? FFirstVisualChild : nullptr;
  for (; c && AIndex > 0; --AIndex) c = c->FNextVisualSibling;
  return c;
}

TVisualElement* TVisualElement::FirstVisibleChild() const {
  TVisualElement* c = FFirstVisualChild;
  while (c && !c->IsVisible()) c = c->FNextVisualSibling;
  return c;
}

TVisualElement* TVisualElement::LastVisibleChild() const {
  TVisualElement* c = FLastVisualChild;
  while (c && !c->IsVisible()) c = c->FPrevVisualSibling;
  return c;
}

TVisualElement* TVisualElement::NextVisibleSibling() const {
  TVisualElement* c = FNextVisualSibling;
  while (c && !c->IsVisible()) c = c->FNextVisualSibling;
  return c;
}

void TVisualElement::LinkVisualChild(TVisualElement* AChild, TVisualElement* ABefore) {
  PlaceIndexChanged();
  AChild->FVisualParent = this;
  AChild->FNextVisualSibling = ABefore;
  AChild->FPrevVisualSibling = ABefore ? ABefore->FPrevVisualSibling : FLastVisualChild;
  if (AChild->FPrevVisualSibling)
    AChild->FPrevVisualSibling->FNextVisualSibling = AChild;
  else
    FFirstVisualChild = AChild;
  if (ABefore)
    ABefore->FPrevVisualSibling = AChild;
  else
    FLastVisualChild = AChild;
  if (AChild->IsSelected()) AddSelectedChild(AChild);
}

void TVisualElement::UnlinkVisualChild(TVisualElement* AChild) {
  PlaceIndexChanged();
  if (AChild->IsSelected()) RemoveSelectedChild(AChild);
  if (AChild->FPrevVisualSibling)
    AChild->FPrevVisualSibling->FNextVisualSibling = AChild->FNextVisualSibling;
  else
    FFirstVisualChild = AChild->FNextVisualSibling;
  if (AChild->FNextVisualSibling)
    AChild->FNextVisualSibling->FPrevVisualSibling = AChild->FPrevVisualSibling;
  else
    FLastVisualChild = AChild->FPrevVisualSibling;
  AChild->FNextVisualSibling = AChild->FPrevVisualSibling = nullptr;
}

void TVisualElement::InsertVisualChild(TVisualElement* AChild, TVisualElement* ABefore) {
  LinkVisualChild(AChild, ABefore);
  AChild->SetSheet(FSheet);
}

void TVisualElement::RemoveVisualChild(TVisualElement* AChild) {
  // An update that gathers repaint areas repaints no more than it is asked to, and a child that is freed asks for
  // nothing: where it was is asked for here.
  const bool repaint = AChild->IsVisible() && FSheet && FSheet->UpdateCount() > 0 && FSheet->RepaintsByArea();
  const TRect area = repaint ? AChild->GetBoundsRect() : TRect();
  AChild->SetSheet(nullptr);
  UnlinkVisualChild(AChild);
  AChild->FVisualParent = nullptr;
  if (repaint) InvalidateRect(&area);
  if (HasVisualOptions(voSelectionContainer) && AChild->IsSelected()) ReportCommandState();
}

void TVisualElement::MoveVisualChild(TVisualElement* AChild, TVisualElement* ABefore) {
  if (AChild == ABefore || AChild->FNextVisualSibling == ABefore) return;
  UnlinkVisualChild(AChild);
  LinkVisualChild(AChild, ABefore);
}

void TVisualElement::ChangeVisualParent(TVisualElement* AParent, TVisualElement* ABefore) {
  if (AParent == FVisualParent && (!AParent || FNextVisualSibling == ABefore)) return;
  if (AParent == FVisualParent) {
    AParent->MoveVisualChild(this, ABefore);
    Invalidate();
    return;
  }
  if (TVisualElement* old = FVisualParent) {
    const TRect area = GetBoundsRect();
    old->RemoveVisualChild(this);
    old->InvalidateRect(&area);
  }
  if (AParent) AParent->InsertVisualChild(this, ABefore);
  Invalidate();
  VisualParentChanged();
}

void TVisualElement::SetSheetDeep(TSheet* ASheet) {
  FSheet = ASheet;
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->SetSheetDeep(ASheet);
}

void TVisualElement::TakeJoiningSheet() {
  if (!FSheet && FVisualParent) FSheet = FVisualParent->FSheet;
}

void TVisualElement::SetSheet(TSheet* ASheet) {
  if (ASheet == FSheet) return;
  if (FSheet) {
    DetachFromSheet();
    SetSheetDeep(nullptr);
  }
  if (!ASheet) return;
  // The subtree takes the sheet as the walk of the settings reaches each element, and no walk goes before it.
  FSheet = ASheet;
  TSheetUpdate update(ASheet);
  if (FVisualParent != ASheet->Root() || IsPart()) {
    SettingsChanged(true, true, true, true);
    return;
  }
  // A tree right under the sheet's root, a document's: its layouts inside the walk move what they hold again and
  // again, and its sheet places are final only when the walk ends. Signs and descriptions there are parts of its
  // elements and follow with them.
  {
    TSheetJoin join(ASheet, true);
    SettingsChanged(true, true, true, true);
  }
  TSheetJoin settled(ASheet, false);
  FollowJoinedPlaces();
}

void TVisualElement::FollowJoinedPlaces() {
  // What follows a sheet place is a sign or a description of an element of this subtree, or of one inside such a
  // description, joined after it: right under the sheet's root too. Each such element and its follower are placed,
  // in the order they joined; the rest of the subtree has nothing that follows its place, and is not walked.
  TSheetElement* root = FSheet->Root();
  // The child of the sheet's root that AElement lies in.
  const auto topOf = [root](TVisualElement* AElement) {
    while (AElement && AElement->FVisualParent != root) AElement = AElement->FVisualParent;
    return AElement;
  };
  TVisualElement* focusTop = topOf(FSheet->Focused());
  bool caret = focusTop == this;
  // Only a follower that holds elements can be where a later one's element lies.
  std::unordered_set<TVisualElement*> holders;
  std::vector<std::pair<TVisualElement*, TVisualElement*>> moving;
  for (TVisualElement* c = root->FirstVisualChild(); c; c = c->FNextVisualSibling) {
    TVisualElement* owner = FollowedElement(c);
    TVisualElement* top = topOf(owner);
    if (!top || (top != this && !holders.count(top))) continue;
    if (c->FFirstVisualChild) holders.insert(c);
    caret = caret || c == focusTop;
    moving.emplace_back(owner, c);
  }
  for (const auto& [owner, placed] : moving) {
    owner->FollowPlace();
    placed->FollowPlace();
  }
  if (caret) FSheet->Focused()->CaretChanged();
}

void TVisualElement::DetachFromSheet() {
  FreeMessagesSign();
  if (FSheet) FSheet->ElementLeaving(this);
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->DetachFromSheet();
}

// ---------------------------------------------------------------------------------------------------------------
// Geometry and layout

bool TVisualElement::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, int32_t ADescent) {
  SettlePlace();
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight && ADescent == FDescent) {
    Invalidate();
    return false;
  }
  const TRect oldRect = GetBoundsRect();
  // A move that the sheet's scrolled band explains has its picture moved already.
  bool scrolled = false;
  if (FSheet && FSheet->Pending().Contains(spScrollBand)) {
    const TVisualPoint origin = FVisualParent ? FVisualParent->ClientToSheet({0, 0}) : TVisualPoint{0, 0};
    scrolled = FSheet->ScrollExplains(this, OffsetRect(oldRect, origin.X, origin.Y),
                                      OffsetRect({ALeft, ATop, ALeft + AWidth, ATop + AHeight}, origin.X, origin.Y));
  }
  if (!scrolled) Invalidate();
  const int32_t oldDescent = FDescent;
  const bool moved = ALeft != FLeft || ATop != FTop;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  FDescent = ADescent;
  // The index holds rows only: a child moved along its row, as typing moves the rest of the row, keeps it.
  if (oldRect.Top != ATop || oldRect.Bottom != ATop + AHeight) PlaceInIndexChanged();
  if (!scrolled) Invalidate();
  if (moved) Moved();
  if (FVisualParent) FVisualParent->ChildBoundsChanged(this, oldRect, oldDescent);
  if (FSheet && FSheet->Root() == this) FSheet->WorkspaceSizeChanged();
  BoundsChanged(oldRect, oldDescent);
  return true;
}

bool TVisualElement::ShiftWithText(int32_t ADY) {
  FTop += ADY;
  PlaceInIndexChanged();
  return FSheet && (FFollowedInside || FFollowed);
}

void TVisualElement::FollowShift() {
  // Only what was marked as followed hears of the move: the children as Moved tells them, then the element.
  if (FFollowedInside)
    for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->Moved();
  if (FFollowed) FollowPlace();
}

void TVisualElement::ChildrenShifted() {
  // The caret follows the focused element, which marks nothing, wherever it lies inside a child.
  if (!FSheet || !FSheet->Focused()) return;
  for (TVisualElement* e = FSheet->Focused(); e->FVisualParent; e = e->FVisualParent)
    if (e->FVisualParent == this) {
      FSheet->Focused()->CaretChanged();
      return;
    }
}

void TVisualElement::ChildPlacesOwed() {
  FOwesPlaces = true;
  if (!FSheet || !FSheet->Root()) return;
  TVisualElement* root = FSheet->Root();
  root->FOwesPlaces = true;
  root->SettleShownFollowers();
  // The caret: reading the focused element's place settles the child it lies in, and the batch places the caret.
  if (TVisualElement* focused = FSheet->Focused())
    for (TVisualElement* e = focused; e->FVisualParent; e = e->FVisualParent)
      if (e->FVisualParent == this) {
        focused->ClientToSheet({0, 0});
        return;
      }
}

void TVisualElement::SettleChildPlaces(const TVisualElement* AChild) {
  if (!AChild) return;
  if (TVisualElement* followed = FollowedElement(AChild)) followed->ClientToSheet({0, 0});
}

void TVisualElement::SettleShownFollowers() {
  // Settling may move the followers, and with them their entries: the elements are gathered first.
  std::vector<TVisualElement*> followed;
  const auto gather = [&followed](TVisualElement* c) {
    if (TVisualElement* e = FollowedElement(c)) followed.push_back(e);
  };
  ForEachVisibleChildAsPlaced(gather);
  for (TVisualElement* e : followed) e->ClientToSheet({0, 0});
}

void TVisualElement::PlaceInIndexChanged() {
  // A hidden child has no entry.
  if (FVisualParent && FVisualParent->FPlaceIndex && IsVisible()) FVisualParent->FPlaceIndex->ChildMoved(*this);
}

TVisualPoint TVisualElement::ClientToSheet(TVisualPoint APoint) const {
  for (const TVisualElement* e = this; e; e = e->FVisualParent) {
    e->SettlePlace();
    APoint.X += e->FLeft;
    APoint.Y += e->FTop;
  }
  return APoint;
}

TVisualPoint TVisualElement::SheetToClient(TVisualPoint APoint) const {
  for (const TVisualElement* e = this; e; e = e->FVisualParent) {
    e->SettlePlace();
    APoint.X -= e->FLeft;
    APoint.Y -= e->FTop;
  }
  return APoint;
}

void TVisualElement::GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) {
  if (FVisualParent)
    FVisualParent->GetAvailableSize(this, ASize);
  else if (FSheet && FSheet->Root() == this)
    ASize = FSheet->ViewSize();
  else
    ASize = {INT32_MAX, INT32_MAX};
}

void TVisualElement::Moved() {
  TakeJoiningSheet();
  // Off a sheet there is no sheet place to follow: a document's root placed before it joins does not walk its
  // tree for nothing, and a subtree joining one follows them once, when its walk ends.
  if (!FSheet || FSheet->Joining()) return;
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->Moved();
  FollowPlace();
}

void TVisualElement::FollowPlace() {
  PlaceMessagesSign();
  if (IsFocused()) CaretChanged();
}

void TVisualElement::PlaceFollowed() {
  FFollowed = true;
  // The whole chain: a branch that was marked under another parent came here unmarked above.
  for (TVisualElement* e = FVisualParent; e; e = e->FVisualParent) e->FFollowedInside = true;
}

void TVisualElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                     bool AHeightChanged) {
  const bool all = ASheetChanged || ASettingsChanged;
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) {
    if (ASheetChanged) c->FSheet = FSheet;
    if (all || c->IsVisible()) c->SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  }
  if (all && HasOptions(eoValue) && Messages()) Check();
  UpdateMessagesSign();
}

void TVisualElement::GetMargins(TRect& ARect) { ARect = FSheet ? FSheet->Canvas()->GetThemeMargins(teField) : TRect(); }

bool TVisualElement::ContainsPoint(TVisualPoint APoint) {
  TRect m;
  GetMouseTransparentMargins(m);
  return APoint.X >= m.Left && APoint.Y >= m.Top && APoint.X < FWidth - m.Right && APoint.Y < FHeight - m.Bottom;
}

// ---------------------------------------------------------------------------------------------------------------
// States

void TVisualElement::SetVisualOptions(TVisualOptions AValue) {
  if (AValue == FVisualOptions) return;
  const bool onDemand = AValue.Contains(voShownOnDemand) != FVisualOptions.Contains(voShownOnDemand);
  const bool transparency = AValue.Contains(voHitTransparent) != FVisualOptions.Contains(voHitTransparent);
  FVisualOptions = AValue;
  if (onDemand) UpdateVisible();
  // What a hit test finds here changed: the sheet forgets its last answer as it does on a repaint.
  if (transparency) Invalidate();
}

bool TVisualElement::ComputeEffectivelyDisabled() {
  return IsDisabled() || (FVisualParent && FVisualParent->IsEffectivelyDisabled());
}

bool TVisualElement::ComputeEffectivelySelected() {
  return IsSelected() || (FVisualParent && FVisualParent->IsEffectivelySelected());
}

bool TVisualElement::ComputeVisible() {
  if (!FVisualParent) return true;
  if (!FVisualParent->IsVisible() || !FVisualParent->IsChildShown(this)) return false;
  if (!HasVisualOptions(voShownOnDemand)) return true;
  return HasOptions(eoValue) && (HasValue() || HasVisualState(vsBeingFocused) || IsFocused());
}

void TVisualElement::UpdateEffectivelyDisabled() {
  if (IsDestroying()) return;
  const bool value = ComputeEffectivelyDisabled();
  if (value == IsEffectivelyDisabled()) return;
  FVisualState.Set(vsEffectivelyDisabled, value);
  EffectivelyDisabledChanged();
  Invalidate();
}

void TVisualElement::UpdateEffectivelySelected() {
  if (IsDestroying()) return;
  const bool value = ComputeEffectivelySelected();
  if (value == IsEffectivelySelected()) return;
  FVisualState.Set(vsEffectivelySelected, value);
  EffectivelySelectedChanged();
}

void TVisualElement::UpdateVisible() {
  if (IsDestroying()) return;
  TakeJoiningSheet();
  const bool value = ComputeVisible();
  if (value == IsVisible()) return;
  if (!value) Invalidate();
  // What a shown element's place reaches (the parent's index and extent) takes it where it belongs: a follower
  // moved by settling while hidden leaves them alone.
  if (value) SettlePlace();
  FVisualState.Set(vsVisible, value);
  if (FVisualParent) FVisualParent->PlaceIndexChanged();
  VisibleChanged();
  if (value) Invalidate();
}

void TVisualElement::SetDisabled(bool AValue) {
  if (AValue == IsDisabled()) return;
  FVisualState.Set(vsDisabled, AValue);
  DisabledChanged();
  AvailabilityChanged();
}

void TVisualElement::SetSelected(bool AValue) {
  if (AValue == IsSelected()) return;
  FVisualState.Set(vsSelected, AValue);
  if (FVisualParent) {
    if (AValue)
      FVisualParent->AddSelectedChild(this);
    else
      FVisualParent->RemoveSelectedChild(this);
  }
  SelectedChanged();
  if (FVisualParent) FVisualParent->StateChanged(this);
}

void TVisualElement::SetMarked(bool AValue) {
  if (AValue == IsMarked()) return;
  SetState(esMarked, AValue);
  Invalidate();
}

void TVisualElement::SetExternalEditing(bool AValue) {
  if (AValue == HasVisualState(vsExternalEditing)) return;
  FVisualState.Set(vsExternalEditing, AValue);
  ExternalEditingChanged();
  Invalidate();
}

void TVisualElement::EndStateUpdate() {
  const bool pending = HasVisualState(vsStateChangePending);
  FVisualState.Exclude(vsStateBracket | vsStateChangePending);
  if (pending) StateChanged(nullptr);
}

void TVisualElement::StateChanged(TVisualElement* AChild) {
  if (HasVisualState(vsStateBracket)) {
    FVisualState.Include(vsStateChangePending);
    return;
  }
  if (HasVisualOptions(voSelectionContainer)) ReportCommandState();
}

void TVisualElement::EffectivelyDisabledChanged() {
  if (FVisualParent) FVisualParent->ChildEffectivelyDisabledChanged(this);
  UpdateChildrenEffectivelyDisabled();
  if (HasOptions(eoValue)) UpdateState();
}

void TVisualElement::VisibleChanged() {
  if (FVisualParent) FVisualParent->ChildVisibleChanged(this);
  UpdateChildrenVisible();
  UpdateMessagesSign();
  if (!IsVisible() && FSheet) {
    if (FSheet->Hovered() == this) FSheet->SetHovered(nullptr);
    if (FSheet->Focused() == this) FSheet->SetFocused(nullptr);
    if (TVisualElement* waiting = FSheet->DelayedFocusElement())
      for (TVisualElement* e = waiting; e; e = e->FVisualParent)
        if (e == this) {
          FSheet->CancelDelayedFocus();
          break;
        }
  }
}

void TVisualElement::UpdateChildrenEffectivelyDisabled() {
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->UpdateEffectivelyDisabled();
}

void TVisualElement::UpdateChildrenEffectivelySelected() {
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->UpdateEffectivelySelected();
}

void TVisualElement::UpdateChildrenVisible() {
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling) c->UpdateVisible();
}

void TVisualElement::VisualParentChanged() {
  UpdateEffectivelyDisabled();
  UpdateEffectivelySelected();
  UpdateVisible();
}

bool TVisualElement::IsReadOnly() const {
  return HasVisualOptions(voReadOnly) || (FSheet && FSheet->ReadOnly()) || (Scheme() && Scheme()->ReadOnly());
}

// ---------------------------------------------------------------------------------------------------------------
// Invalidation and painting

void TVisualElement::InvalidateRect(const TRect* ARect) {
  if (IsDestroying() || !FSheet || !IsVisible()) return;
  if (!FSheet->RepaintsByArea()) {
    FSheet->InvalidateRect(nullptr);
    return;
  }
  TRect client;
  GetClientRect(client);
  TRect r = client;
  if (ARect && !Intersect(*ARect, client, r)) return;
  SettlePlace();
  r = OffsetRect(r, FLeft, FTop);
  if (FVisualParent)
    FVisualParent->InvalidateRect(&r);
  else if (FSheet->Root() == this)
    FSheet->InvalidateRect(&r);
}

void TVisualElement::InvalidateAcross(int32_t ALine, int32_t ADistance, const TVisualElement* AExcept) {
  if (!FSheet) return;
  std::vector<TVisualElement*> across;
  if (TPlaceIndex* index = PlaceIndex()) {
    if (FOwesPlaces) SettleChildPlacesAbove(ALine + 1);
    index->Find(*this, ALine, ALine + 1, across);
  } else {
    for (TVisualElement* c = FirstVisibleChild(); c; c = c->NextVisibleSibling()) across.push_back(c);
  }
  const TVisualPoint origin = ClientToSheet({0, 0});
  for (const TVisualElement* c : across) {
    const TRect r = c->GetBoundsRect();
    if (c == AExcept || r.Top >= ALine || r.Bottom <= ALine) continue;
    const TRect both =
        OffsetRect(UnionRect(r, {r.Left, ALine + ADistance, r.Right, r.Bottom + ADistance}), origin.X, origin.Y);
    FSheet->InvalidateRect(&both);
  }
}

void TVisualElement::PaintElement(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  SettlePlace();
  ACanvas->MoveOrigin(FLeft, FTop);
  Paint(ACanvas, AFlags);
  PaintChildren(ACanvas, AFlags);
  if (IsEffectivelyDisabled() && (!FVisualParent || !FVisualParent->IsEffectivelyDisabled())) PaintDisabled(ACanvas);
  if (HasVisualState(vsExternalEditing)) PaintExternalEditing(ACanvas);
  if (!AFlags.Contains(spNoMarks) && IsMarked()) PaintMark(ACanvas);
  ACanvas->MoveOrigin(-FLeft, -FTop);
}

void TVisualElement::PaintEmbedded(TCustomSheetCanvas& ACanvas, int32_t AOriginX, int32_t AOriginY) {
  // The text paints at its own origin; the element's bounds count from its owner's.
  auto* canvas = dynamic_cast<TSheetCanvas*>(&ACanvas);
  if (!canvas) return;
  canvas->MoveOrigin(-AOriginX, -AOriginY);
  PaintElement(canvas, {});
  canvas->MoveOrigin(AOriginX, AOriginY);
}

bool TVisualElement::FocusEmbedded(bool AForward) {
  TVisualElement* found = nullptr;
  if (!FindFocusable(AForward, found, true, true)) return false;
  found->SetFocus(AForward ? TFocusDirections(fdForward) : TFocusDirections(), {}, nullptr, nullptr);
  return true;
}

void TVisualElement::PaintChild(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags, TVisualElement* AChild) {
  AChild->PaintElement(ACanvas, AFlags);
}

TPlaceIndex* TVisualElement::PlaceIndex() {
  if (!HasVisualOptions(voPlaceIndexed)) return nullptr;
  if (!FPlaceIndex) FPlaceIndex = std::make_unique<TPlaceIndex>();
  return FPlaceIndex.get();
}

void TVisualElement::PaintChildren(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  if (TPlaceIndex* index = PlaceIndex()) {
    const TRect clip = ACanvas->ClipRect();
    if (FOwesPlaces) SettleChildPlacesAbove(clip.Bottom);
    std::vector<TVisualElement*> found;
    index->Find(*this, clip.Top, clip.Bottom, found);
    for (TVisualElement* c : found)
      if (ACanvas->MeetsClip(c->GetBoundsRect())) PaintChild(ACanvas, AFlags, c);
    return;
  }
  for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling)
    if (c->IsVisible() && ACanvas->MeetsClip(c->GetBoundsRect())) PaintChild(ACanvas, AFlags, c);
}

void TVisualElement::PaintDisabled(TSheetCanvas* ACanvas) {
  TRect r;
  GetClientRect(r);
  ACanvas->PaintDisabledVeil(r);
}

void TVisualElement::PaintExternalEditing(TSheetCanvas* ACanvas) {
  ACanvas->DrawThemeElement(teExternalEditingMode, GetSizeRect());
}

void TVisualElement::PaintMark(TSheetCanvas* ACanvas) { ACanvas->DrawThemeElement(teMark, GetSizeRect()); }

TVisualElement* TVisualElement::HitTest(TVisualPoint APoint, THitTestFlags AFlags) {
  if (!AFlags.Contains(htSelected) && IsEffectivelySelected()) return nullptr;
  if (!AFlags.Contains(htTransparent) && HasVisualOptions(voHitTransparent)) return nullptr;
  if (!ContainsPoint(APoint)) return nullptr;
  if (AFlags.Contains(htChildren)) {
    THitTestFlags inner = AFlags | htSelf;
    if (!AFlags.Contains(htDeep)) inner.Exclude(htChildren);
    if (TPlaceIndex* index = PlaceIndex()) {
      // A child is hit only inside its bounds: the theme's mouse-transparent margins are never negative.
      if (FOwesPlaces) SettleChildPlacesAbove(APoint.Y + 1);
      std::vector<TVisualElement*> found;
      index->Find(*this, APoint.Y, APoint.Y + 1, found);
      for (auto c = found.rbegin(); c != found.rend(); ++c)
        if (TVisualElement* hit = (*c)->HitTest((*c)->ParentToClient(APoint), inner)) return hit;
    } else {
      for (TVisualElement* c = FLastVisualChild; c; c = c->FPrevVisualSibling)
        if (c->IsVisible())
          if (TVisualElement* hit = c->HitTest(c->ParentToClient(APoint), inner)) return hit;
    }
  }
  return AFlags.Contains(htSelf) ? this : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Messages sign

void TVisualElement::UpdateMessagesSign() {
  if (IsDestroying()) return;
  const bool wanted = HasOptions(eoValue) && IsVisible() && FSheet && FSheet->Root() && !HasNoProblems();
  if (!wanted) {
    FreeMessagesSign();
    return;
  }
  if (!FMessagesSign) {
    TSheetElement* root = FSheet->Root();
    auto* sign = static_cast<TMessagesSignElement*>(
        CreatePartAt(&TMessagesSignElement::ClassInfo, root, nullptr, root, nullptr));
    sign->SetSignedElement(this);
    FMessagesSign = sign;
    PlaceFollowed();
  }
  PlaceMessagesSign();
}

void TVisualElement::PlaceMessagesSign() {
  if (!FMessagesSign || !FSheet) return;
  const TSheetElement* root = FSheet->Root();
  const TVisualPoint p = ClientToSheet({0, 0});
  const int32_t h = FMessagesSign->Height();
  const int32_t left = p.X - root->Left();
  const int32_t top = std::max(p.Y - root->Top() - h / 2 - 1, -(h / 4));
  FMessagesSign->SetBounds(left, top, FMessagesSign->Width(), h, FMessagesSign->Descent());
}

void TVisualElement::FreeMessagesSign() {
  if (TMessagesSignElement* sign = std::exchange(FMessagesSign, nullptr)) {
    sign->SetSignedElement(nullptr);
    sign->Destroy();
  }
}

void TVisualElement::HasValueChanged() {
  TElement::HasValueChanged();
  UpdateMessagesSign();
  if (HasVisualOptions(voShownOnDemand)) UpdateVisible();
}

void TVisualElement::MessagesChanged() {
  TElement::MessagesChanged();
  UpdateMessagesSign();
  if (HasVisualOptions(voShownOnDemand)) UpdateVisible();
}

void TVisualElement::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (APart == FMessagesSign)
    AName = u"MessagesSign";
  else
    TElement::GetPartNodeName(APart, AFiler, AName);
}

bool TVisualElement::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  if (FVisualParent && FVisualParent->VisualChildNotify(this, AMsg, AParam1, AParam2)) return true;
  return TElement::HandleMessage(AMsg, AParam1, AParam2);
}

// ---------------------------------------------------------------------------------------------------------------
// Persistence

void TVisualElement::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TElement::LoadFromKnot(ALoader, AKnot);
  if (HasVisualOptions(voCanBeDisabled)) SetDisabled(AKnot->ReadBool(u"Disabled", false));
  if (HasVisualOptions(voStoresPosition) && !ALoader->HasFlags(ffNoPositions))
    SetBounds(AKnot->ReadInteger(u"Left", 0, 0, 0), AKnot->ReadInteger(u"Top", 0, 0, 0), FWidth, FHeight, FDescent);
}

void TVisualElement::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TElement::SaveToKnot(ASaver, AKnot);
  // Stored only where it is read back: an element that cannot be disabled would lose it at the next load.
  if (IsDisabled() && HasVisualOptions(voCanBeDisabled)) AKnot->WriteString(u"Disabled", u"1");
  if (HasVisualOptions(voStoresPosition) && !ASaver->HasFlags(ffNoPositions)) {
    SettlePlace();
    AKnot->WriteInteger(u"Left", FLeft);
    AKnot->WriteInteger(u"Top", FTop);
  }
}

bool TVisualElement::CanSaveVisualChild(TSchemeSaver* ASaver, TElement* AChild) {
  auto* visual = dynamic_cast<TVisualElement*>(AChild);
  if (visual && visual->IsDisabled() && ASaver->HasFlags(ffSkipDisabled)) return false;
  if (AChild->HasOptions(eoSkippedOnRequest) && ASaver->HasFlags(ffSkipOnRequest)) return false;
  if (AChild->HasOptions(eoUnaccepted) && ASaver->HasFlags(ffSkipUnaccepted)) return false;
  return true;
}

TKnot* TVisualElement::SaveChild(TSchemeSaver* ASaver, TElement* AChild, TKnot* AKnot) {
  if (!CanSaveVisualChild(ASaver, AChild)) return nullptr;
  if (ASaver->HasFlags(ffSkipDefaults) && AChild->IsDefault(ASaver, AKnot)) return nullptr;
  TKnot* sub = AKnot->AddKnot(std::u16string(AChild->GetNodeName()));
  AChild->SaveToKnot(ASaver, sub);
  return sub;
}

TElementClass TVisualElement::GetUnacceptedClass(TSchemeLoader* ALoader) { return &TElement_Unaccepted::ClassInfo; }

// ---------------------------------------------------------------------------------------------------------------
// Focus and navigation

bool TVisualElement::IsFocused() const { return FSheet && FSheet->Focused() == this; }

void TVisualElement::Focus() {
  if (!IsFocused()) SetFocus(fdForward, {}, nullptr, nullptr);
}

void TVisualElement::SetFocus(TFocusDirections ADirection, const std::u16string& AFocusData, TVisualElement* AOrigin,
                              const TVisualPoint* APoint) {
  if (FSheet) FSheet->SetFocused(this);
}

void TVisualElement::FocusChanging() {
  if (HasVisualState(vsValueModified)) CommitValue();
}

void TVisualElement::FocusChanged() {
  if (HasVisualOptions(voShownOnDemand)) UpdateVisible();
}

uint8_t TVisualElement::GetCaret(TRect& ARect) {
  ARect = TRect();
  return ckNoCaret;
}

TVisualElement* TVisualElement::GetNextChild(TVisualElement* AChild, bool AForward) {
  if (!AChild) return AForward ? FFirstVisualChild : FLastVisualChild;
  return AForward ? AChild->FNextVisualSibling : AChild->FPrevVisualSibling;
}

TVisualElement* TVisualElement::GetNavigationParent() {
  if (!FVisualParent || (FSheet && FSheet->Root() == FVisualParent)) return nullptr;
  return FVisualParent;
}

bool TVisualElement::FindFocusable(bool AForward, TVisualElement*& AFound, bool AOnlyEnabled, bool AOnlyVisible) {
  if (HasVisualOptions(voFocusable) && (!AOnlyVisible || IsVisible()) && (!AOnlyEnabled || !IsEffectivelyDisabled())) {
    AFound = this;
    return true;
  }
  for (TVisualElement* c = GetNextChild(nullptr, AForward); c; c = GetNextChild(c, AForward))
    if (c->FindFocusable(AForward, AFound, AOnlyEnabled, AOnlyVisible)) return true;
  return false;
}

TVisualElement* TVisualElement::FindNextFocusable(TFocusDirections ADirection, TVisualElement*& AOrigin,
                                                  bool AOnlyEnabled, bool AOnlyVisible) {
  const bool forward = ADirection.Contains(fdForward);
  TVisualElement* e = this;
  while (TVisualElement* p = e->GetNavigationParent()) {
    if (p->HasVisualOptions(voFocusable) && (!AOnlyVisible || p->IsVisible()) &&
        (!AOnlyEnabled || !p->IsEffectivelyDisabled())) {
      // The child of P on the path from here, so that a container can move inside itself from it. It is taken
      // along the navigation chain: a description is drawn under the sheet's root, away from what it describes.
      AOrigin = e;
      return p;
    }
    for (TVisualElement* c = p->GetNextChild(e, forward); c; c = p->GetNextChild(c, forward)) {
      TVisualElement* found = nullptr;
      if (c->FindFocusable(forward, found, AOnlyEnabled, AOnlyVisible)) {
        AOrigin = nullptr;
        return found;
      }
    }
    e = p;
  }
  return nullptr;
}

bool TVisualElement::Activate() {
  TVisualElement* found = nullptr;
  if (!FindFocusable(true, found, false, true)) return false;
  if (found != this) return found->Activate();
  Focus();
  return true;
}

void TVisualElement::MakeVisible() {
  TSheetUpdate update(FSheet);
  TScheme* scheme = Scheme();
  if (scheme) scheme->BeginGroup(false, {});
  try {
    for (TVisualElement* e = this; e; e = e->GetNavigationParent())
      if (!e->IsVisible())
        if (TVisualElement* p = e->GetNavigationParent()) p->RevealChild(e);
  } catch (...) {
    if (scheme) scheme->EndGroup();
    throw;
  }
  if (scheme) scheme->EndGroup();
}

void TVisualElement::GetHint(std::u16string& AText) {
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->GetPartHint(this, AText);
}

TVisualElement* TVisualElement::Find(TFindData* AData, int AOptions, bool& AFound) {
  TFocusDirections direction;
  if ((AOptions & FindBackward) == 0) direction.Include(fdForward);
  TVisualElement* origin = nullptr;
  TVisualElement* next = FindNextFocusable(direction, origin, AData->OnlyEnabled, AData->OnlyVisible);
  if (!next || !LiesInScope(next, AData->FindScope)) return nullptr;
  AData->Origin = origin;
  return next;
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

void TVisualElement::MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple,
                               bool AShift, bool ACtrl, bool AAlt) {
  if (ADouble) {
    DblClick();
    return;
  }
  if (ALeft && HasVisualOptions(voClickFocus)) {
    if (HasVisualOptions(voFocusable) && !IsFocused()) SetFocus(fdForward, {}, nullptr, &APoint);
    SetCapture(true);
    return;
  }
  SettlePlace();
  if (FVisualParent)
    FVisualParent->MouseDown({APoint.X + FLeft, APoint.Y + FTop}, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl,
                             AAlt);
}

void TVisualElement::MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {
  if (!ALeft || !FSheet || FSheet->Captured() != this) return;
  SetCapture(false);
  if (ContainsPoint(APoint)) MouseClick();
}

void TVisualElement::SetCapture(bool AValue) {
  if (!FSheet) return;
  if (AValue)
    FSheet->SetCaptured(this);
  else if (FSheet->Captured() == this)
    FSheet->SetCaptured(nullptr);
}

bool TVisualElement::RunPaste() {
  TBusyCursor busy;
  return Paste();
}

// ---------------------------------------------------------------------------------------------------------------
// Reports to the sheet

void TVisualElement::CaretChanged() {
  if (IsFocused()) FSheet->UpdateCaret();
}

void TVisualElement::RequestScrollToCaret() {
  if (IsFocused()) FSheet->ScrollToCaret();
}

void TVisualElement::EditStateChanged() {
  if (IsFocused()) FSheet->FocusedEditStateChanged();
}

void TVisualElement::AvailabilityChanged() {
  if (IsFocused())
    FSheet->FocusedAvailabilityChanged();
  else if (IsSelected() && FVisualParent && FVisualParent->HasVisualOptions(voSelectionContainer))
    FVisualParent->AvailabilityChanged();
}

void TVisualElement::ReportCommandState() {
  if (IsFocused())
    FSheet->FocusedCommandStateChanged();
  else if (IsSelected() && FVisualParent && FVisualParent->HasVisualOptions(voSelectionContainer) &&
           FVisualParent->IsFocused())
    FSheet->FocusedCommandStateChanged();
}

void TVisualElement::CursorChanged() {
  if (FSheet && (FSheet->Hovered() == this || FSheet->Captured() == this)) FSheet->UpdateCursor();
}

// ---------------------------------------------------------------------------------------------------------------
// Palette commands

bool TVisualElement::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (!dynamic_cast<TDisablePaletteItem*>(AItem) || !HasVisualOptions(voCanBeDisabled)) return false;
  // The same state again would leave an undo step that changes nothing.
  if ((AValue != 0) != IsDisabled()) SetDisabledUndoable(AValue != 0);
  return true;
}

void TVisualElement::GetPaletteItems(TPaletteList& AList) {
  if (HasVisualOptions(voCanBeDisabled) && DisablePaletteItem) {
    if (auto* group = dynamic_cast<TPaletteNode*>(DisablePaletteItem->Parent());
        group && std::find(AList.begin(), AList.end(), group) == AList.end())
      AList.push_back(group);
    AList.push_back(DisablePaletteItem);
  }
  TElementClassList classes;
  GetAllowedChildClasses(classes);
  AddInsertionItems(classes, AList);
  if (IsPart())
    if (TElement* owner = ParentElement()) owner->GetPartPaletteItems(this, AList);
}

void TVisualElement::GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) {
  if (dynamic_cast<TDisablePaletteItem*>(AItem)) AState.Ticked = IsDisabled();
}

const std::vector<TVisualElement*>& TVisualElement::SelectedChildren() {
  if (!FSelectedChildren) {
    FSelectedChildren = std::make_unique<TSelectedChildren>();
    // The palette asks a document's root as it starts: none of its thousands of children was ever selected.
    if (!FChildSelected) {
      FSelectedChildren->Credit = 64;
      FSelectedChildren->Valid = true;
    }
  }
  if (!FSelectedChildren->Valid) {
    FSelectedChildren->List.clear();
    size_t children = 0;
    for (TVisualElement* c = FFirstVisualChild; c; c = c->FNextVisualSibling, ++children)
      if (c->IsSelected()) FSelectedChildren->List.push_back(c);
    FSelectedChildren->Credit = 4 * children + 64;
    FSelectedChildren->Valid = true;
  }
  return FSelectedChildren->List;
}

bool TVisualElement::TSelectedChildren::Spend(size_t ASteps) {
  if (ASteps > Credit) {
    Valid = false;
    return false;
  }
  Credit -= ASteps;
  return true;
}

size_t TVisualElement::TSelectedChildren::Find(const TVisualElement* AChild) {
  for (size_t front = 0, back = List.size(); front < back; ++front) {
    if (!Spend(1)) return SIZE_MAX;
    if (List[front] == AChild) return front;
    if (List[--back] == AChild) return back;
  }
  // Not kept although selected: the list is wrong, and the next read makes it again.
  Valid = false;
  return SIZE_MAX;
}

void TVisualElement::AddSelectedChild(TVisualElement* AChild) {
  FChildSelected = true;
  TSelectedChildren* kept = FSelectedChildren.get();
  if (!kept || !kept->Valid) return;
  std::vector<TVisualElement*>& list = kept->List;
  // After the nearest selected sibling before it or before the nearest one after it, looked for both ways at once:
  // a selection in a text grows beside a selected element, and an end of the children reached first places it too.
  size_t at = 0;
  if (!list.empty()) {
    TVisualElement* before = AChild->FPrevVisualSibling;
    TVisualElement* after = AChild->FNextVisualSibling;
    for (;;) {
      if (!kept->Spend(1)) return;
      if (!before) break;
      if (before->IsSelected()) {
        at = kept->Find(before);
        if (at == SIZE_MAX) return;
        ++at;
        break;
      }
      if (!after) {
        at = list.size();
        break;
      }
      if (after->IsSelected()) {
        at = kept->Find(after);
        if (at == SIZE_MAX) return;
        break;
      }
      before = before->FPrevVisualSibling;
      after = after->FNextVisualSibling;
    }
  }
  if (!kept->Spend(list.size() - at)) return;
  list.insert(list.begin() + static_cast<ptrdiff_t>(at), AChild);
}

void TVisualElement::RemoveSelectedChild(TVisualElement* AChild) {
  TSelectedChildren* kept = FSelectedChildren.get();
  if (!kept || !kept->Valid) return;
  const size_t at = kept->Find(AChild);
  if (at == SIZE_MAX || !kept->Spend(kept->List.size() - at)) return;
  kept->List.erase(kept->List.begin() + static_cast<ptrdiff_t>(at));
}

void TVisualElement::GetSelectedPaletteTargets(TPaletteTargetList& AList) {
  if (!HasVisualOptions(voSelectionContainer)) return;
  // Asked on every focus and command-state notice: a text of 200,000 elements is not walked for each.
  const std::vector<TVisualElement*>& selected = SelectedChildren();
  AList.insert(AList.end(), selected.begin(), selected.end());
}

void TVisualElement::QueryPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) {
  AState = TPaletteItemState();
  GetPaletteItemState(AItem, AState);
}

void TVisualElement::RunPaletteItem(TSchemePaletteItem* AItem, intptr_t AValue) {
  if (AItem->HasFlag(pfNoUpdate)) {
    ExecutePaletteItem(this, AItem, AValue);
    return;
  }
  TSheetUpdate update(FSheet);
  ExecutePaletteItem(this, AItem, AValue);
}

void TVisualElement::PlayPaletteSound(std::u16string_view AName) {
  if (FSheet) FSheet->PlaySound(AName);
}

void TVisualElement::TunePaletteItem(TPaletteItem* AItem, void* ADisplay) {
  if (IsPart())
    if (TElement* owner = ParentElement())
      owner->PartRequest(this, reinterpret_cast<intptr_t>(AItem), reinterpret_cast<intptr_t>(ADisplay));
}

void TVisualElement::SetDisabledUndoable(bool AValue) {
  auto* op = new TVisualElementDisableOperation(this, false);
  op->NewDisabled = AValue;
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(op));
}
