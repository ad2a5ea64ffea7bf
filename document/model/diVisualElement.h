// The visual element: the base of every element shown on a sheet. Beside the element tree it keeps the visual
// tree that says where an element is drawn and which element contains which on the screen; it lays out, paints,
// hit-tests, takes the focus and the mouse, and answers edit, find and palette commands with neutral defaults.
#pragma once

#include "document/model/diClasses.h"
#include "document/model/diPalette.h"
#include "document/text/diTextor.h"
#include "foundation/cuSet.h"
#include "graphics/pixels/pxTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TMessagesSignElement;
class TSheet;
class TSheetCanvas;
class TVisualElement;

// What a visual element is going through.
enum class TVisualState : uint16_t {
  vsVisible = 0x0001,
  vsDisabled = 0x0002,             // set on the element itself
  vsEffectivelyDisabled = 0x0004,  // itself or a visual ancestor
  vsSelected = 0x0008,             // inside its selection container
  vsEffectivelySelected = 0x0010,  // itself or a visual ancestor
  vsStateBracket = 0x0020,         // StateChanged only notes the change
  vsStateChangePending = 0x0040,   // a change was noted inside the bracket
  vsExternalEditing = 0x0080,
  vsBeingFocused = 0x0100,   // while the sheet moves the focus to it
  vsValueModified = 0x0200,  // an edited value not yet committed
};
constexpr bool IsFlagFamily(TVisualState) { return true; }
using enum TVisualState;
using TVisualStates = TSet<TVisualState>;

// What a visual element is, set by its class.
enum class TVisualOption : uint16_t {
  voCanBeDisabled = 0x0001,  // the Disabled command applies and "Disabled" is stored
  voClickFocus = 0x0002,     // takes the focus and the mouse capture on a click
  voFocusable = 0x0004,
  voTakesPastes = 0x0008,
  voSelectAll = 0x0010,
  voStoresPosition = 0x0020,  // "Left" and "Top" are stored
  voHitTransparent = 0x0040,  // skipped by the hit test unless asked for
  voReadOnly = 0x0080,
  voDropDown = 0x0100,                // has a drop-down list
  voNoDropDownOnActivation = 0x0200,  // its list does not open when it is activated
  voCaseSensitiveDropDown = 0x0400,   // its list is searched with case
  voSelectionContainer = 0x0800,      // its children can be selected; palette commands go to them
  voNotInCopies = 0x1000,             // left out of copies that leave the tree
  voShownOnDemand = 0x2000,           // visible only with a value or while focused
  voPlaceIndexed = 0x4000,            // its children are painted and hit-tested through a TPlaceIndex
};
constexpr bool IsFlagFamily(TVisualOption) { return true; }
using enum TVisualOption;
using TVisualOptions = TSet<TVisualOption>;

// How a hit test walks.
enum class THitTestFlag : uint8_t {
  htSelf = 0x01,         // the element itself may be the answer
  htChildren = 0x02,     // the visible children are tried, topmost first
  htDeep = 0x04,         // the children try their own children too
  htSelected = 0x08,     // effectively selected elements may be hit
  htTransparent = 0x10,  // elements with voHitTransparent may be hit
};
constexpr bool IsFlagFamily(THitTestFlag) { return true; }
using enum THitTestFlag;
using THitTestFlags = TSet<THitTestFlag>;

// How a sheet paints.
enum class TSheetPaintFlag : uint8_t {
  spInactive = 0x01,  // the host window has no focus: selections are drawn inactive
  spNoMarks = 0x04,
  spNoSelection = 0x08,
  spNoFocusFrames = 0x10,
  spPrinting = 0x20,
  spNoDirectPaint = 0x40,  // the focused element's direct GDI drawing is left out
};
constexpr bool IsFlagFamily(TSheetPaintFlag) { return true; }
using enum TSheetPaintFlag;
using TSheetPaintFlags = TSet<TSheetPaintFlag>;

// Caret kinds an element gives.
enum : uint8_t {
  ckNoCaret = 0,
  ckButtonFrame = 1,  // a frame around a button-like element
  ckDataFrame = 2,    // a frame around a data element
  ckTextCaret = 3,    // the text caret, drawn by the host
};

// "Could not find "%1"": the message box of a search that found nothing.
constexpr int IdCouldNotFind = 2334;
// Bit 0 of a search step's options: the search goes backward.
constexpr int FindBackward = 1;

// Directions of focus moves.
enum class TFocusDirection : uint8_t {
  fdHorizontal = 0x01,
  fdForward = 0x02,
};
constexpr bool IsFlagFamily(TFocusDirection) { return true; }
using enum TFocusDirection;
using TFocusDirections = TSet<TFocusDirection>;

struct TVisualPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TVisualPoint&, const TVisualPoint&) = default;
};

struct TVisualSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// Shift keys as the host gives them.
enum class TShiftKey : uint8_t {
  skShift = 0x01,
  skAlt = 0x02,
  skCtrl = 0x04,
  skLeft = 0x08,
  skRight = 0x10,
  skMiddle = 0x20,
  skDouble = 0x40,
};
constexpr bool IsFlagFamily(TShiftKey) { return true; }
using enum TShiftKey;
using TShiftKeys = TSet<TShiftKey>;

// The parameters of a search: the element that bounds it, the text and how it compares.
class TFindData : public TObject {
 public:
  TVisualElement* FindScope = nullptr;
  std::u16string FindText;
  bool MatchCase = false;
  // A search reaches disabled elements and hidden ones too: it reveals where it stops, and a replace leaves the
  // text of a disabled element as it is.
  bool OnlyEnabled = false;
  bool OnlyVisible = false;
  // Set by each step with the element it hands back: that element's child the search came out of, where the next
  // step goes on beside it; nil when the search enters the element afresh.
  TVisualElement* Origin = nullptr;

  // Whole-text equality: ordinal with MatchCase, else by Unicode simple case folding.
  virtual bool Matches(std::u16string_view AText) const;
  // Tells the user that FindText was not found.
  virtual void NotFound() const;
};

// The visible children of a container by place: sorted by their tops, each with its place in the drawing order
// and the largest bottom up to it, so that those meeting a band of rows are found by two binary searches. An element
// that overflows downwards (a tall description, a frame grown below its row) raises the largest bottom after it and
// so is still found wherever it shows. Made again on the first query after a child came, went or changed its
// visibility; a child that moved keeps its entry, which follows it, and the next query puts the entries from the
// first moved one in order again.
class TPlaceIndex {
 public:
  void Invalidate() { FValid = false; }
  // The visible children of AParent whose bounds reach into the rows ATop .. ABottom - 1 of AParent, in drawing
  // order.
  void Find(const TVisualElement& AParent, int32_t ATop, int32_t ABottom, std::vector<TVisualElement*>& AFound);
  // AChild, visible, changed its top or its bottom.
  void ChildMoved(const TVisualElement& AChild);
  // Calls AVisit with each visible child of AParent, in no set order.
  template <class F>
  void ForEachVisible(const TVisualElement& AParent, F&& AVisit) {
    if (FValid && FMovedFrom != SIZE_MAX) Repair();
    if (!FValid) Build(AParent);
    for (const TEntry& e : FEntries) AVisit(e.Element);
  }

 private:
  struct TEntry {
    int32_t Top;
    int32_t Bottom;
    int32_t MaxBottom;  // the largest bottom of this entry and those before it
    uint32_t Rank;      // the place in the drawing order
    TVisualElement* Element;
  };
  void Build(const TVisualElement& AParent);
  // Sorts the entries from the first moved one again and counts their largest bottoms; invalid when that took
  // longer than a build.
  void Repair();

  // Kept between builds and queries: a document's children fill blocks that fresh ones would fault in anew.
  std::vector<TEntry> FEntries;
  std::vector<std::pair<uint32_t, TVisualElement*>> FRanked;
  size_t FMovedFrom = SIZE_MAX;  // the first entry moved since the order was last put right
  bool FValid = false;
};

class TVisualElement : public TElement, public IPaletteTarget, public IEmbeddedElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }

  explicit TVisualElement(TScheme* AScheme);
  ~TVisualElement() override;

  // A part of AParent placed under AVisualParent before AVisualBefore.
  static TVisualElement* CreatePartAt(TElementClass AClass, TElement* AParent, TElement* ABefore,
                                      TVisualElement* AVisualParent, TVisualElement* AVisualBefore);

  // The visual tree.
  TSheet* Sheet() const { return FSheet; }
  TVisualElement* VisualParent() const { return FVisualParent; }
  TVisualElement* FirstVisualChild() const { return FFirstVisualChild; }
  TVisualElement* LastVisualChild() const { return FLastVisualChild; }
  TVisualElement* NextVisualSibling() const { return FNextVisualSibling; }
  TVisualElement* PrevVisualSibling() const { return FPrevVisualSibling; }
  TVisualElement* GetVisualChild(int AIndex) const;
  TVisualElement* FirstVisibleChild() const;
  TVisualElement* LastVisibleChild() const;
  TVisualElement* NextVisibleSibling() const;
  // Calls AVisit with each visible child, in drawing order unless the class keeps an index by place, which lists
  // them without walking the hidden ones.
  template <class F>
  void ForEachVisibleChild(F&& AVisit) {
    if (FOwesPlaces) SettleChildPlaces(nullptr);
    ForEachVisibleChildAsPlaced(AVisit);
  }
  void SetVisualParent(TVisualElement* AParent) { ChangeVisualParent(AParent, nullptr); }
  virtual void ChangeVisualParent(TVisualElement* AParent, TVisualElement* ABefore);
  void SetSheet(TSheet* ASheet);

  // Geometry.
  int32_t Left() const { return FLeft; }
  int32_t Top() const {
    SettlePlace();
    return FTop;
  }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t Descent() const { return FDescent; }
  // Repaints; the hooks run only when one of the five values changed. True when one did.
  bool SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, int32_t ADescent);
  TRect GetBoundsRect() const {
    SettlePlace();
    return {FLeft, FTop, FLeft + FWidth, FTop + FHeight};
  }
  TRect GetSizeRect() const { return {0, 0, FWidth, FHeight}; }
  // One of a batch that moves children of one parent with the rest of its text, below a paragraph that grew or
  // shrank: the place and the parent's index follow; no hook runs. True when something was marked as following a
  // place inside the child or the child itself (PlaceFollowed): FollowShift moves that once every child of the
  // batch stands where it belongs, and the parent's ChildrenShifted finishes the batch. The layout that recorded
  // the shift repainted everything below its change.
  bool ShiftWithText(int32_t ADY);
  void FollowShift();
  // Ends a batch of ShiftWithText on the children: places the caret again when the focused element lies inside a
  // child.
  void ChildrenShifted();
  // A layout of this element's text left children below its change owing their places. Every read of such a
  // child's place, of a place inside it or of what follows it settles what it needs first; a query of the index by
  // place settles through its band. What the sheet root's index and extent count (shown followers) and the caret
  // are settled now.
  void ChildPlacesOwed();
  TVisualPoint ClientToSheet(TVisualPoint APoint) const;
  TVisualPoint SheetToClient(TVisualPoint APoint) const;
  TVisualPoint ParentToClient(TVisualPoint APoint) const {
    SettlePlace();
    return {APoint.X - FLeft, APoint.Y - FTop};
  }
  // The size this element offers AChild: what its own visual parent offers it; the view size at the sheet's
  // root; else the largest integer.
  virtual void GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize);

  // States and options.
  TVisualStates VisualState() const { return FVisualState; }
  bool HasVisualState(TVisualState AState) const { return FVisualState.Contains(AState); }
  TVisualOptions VisualOptions() const { return FVisualOptions; }
  bool HasVisualOptions(TVisualOptions AOptions) const { return FVisualOptions.ContainsAny(AOptions); }
  void SetVisualOptions(TVisualOptions AValue);
  bool IsVisible() const { return HasVisualState(vsVisible); }
  bool IsDisabled() const { return HasVisualState(vsDisabled); }
  bool IsEffectivelyDisabled() const { return HasVisualState(vsEffectivelyDisabled); }
  bool IsSelected() const { return HasVisualState(vsSelected); }
  bool IsEffectivelySelected() const { return HasVisualState(vsEffectivelySelected); }
  bool IsMarked() const { return HasState(esMarked); }
  void SetDisabled(bool AValue);
  void SetSelected(bool AValue);
  // Only the sheet marks (TSheet::SetMarked keeps its list).
  void SetMarked(bool AValue);
  void SetExternalEditing(bool AValue);
  void SetValueModified(bool AValue) { FVisualState.Set(vsValueModified, AValue); }
  void SetBeingFocused(bool AValue) { FVisualState.Set(vsBeingFocused, AValue); }
  // The state update bracket: StateChanged inside it runs once when it closes.
  void BeginStateUpdate() { FVisualState.Include(vsStateBracket); }
  void EndStateUpdate();
  bool IsReadOnly() const;

  // Recompute one derived state and act on a change.
  void UpdateEffectivelyDisabled();
  void UpdateEffectivelySelected();
  void UpdateVisible();

  void Invalidate() { InvalidateRect(nullptr); }
  // ARect in element coordinates, nil for the whole element.
  void InvalidateRect(const TRect* ARect);
  // The sheet's band from row ALine of this element down moved ADistance: children other than AExcept that reach
  // across that row from above stay, and are repainted where they stand and where the band took their picture.
  void InvalidateAcross(int32_t ALine, int32_t ADistance, const TVisualElement* AExcept);
  // The steps of painting one element: origin, own look, children, veil, overlays.
  void PaintElement(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags);
  TVisualElement* HitTest(TVisualPoint APoint, THitTestFlags AFlags);

  TMessagesSignElement* MessagesSign() const { return FMessagesSign; }
  // Creates, places or frees the sign after a change of the problems, the visibility or the position.
  void UpdateMessagesSign();
  // Something beside the visual tree now follows this element's sheet place (a sign, a description): the element
  // and its visual ancestors remember that a shift with their text must reach it.
  void PlaceFollowed();

  // Writes AChild into a new sub-knot of AKnot when CanSaveVisualChild agrees; nil when nothing was written.
  TKnot* SaveChild(TSchemeSaver* ASaver, TElement* AChild, TKnot* AKnot);

  // Interaction.
  bool IsFocused() const;
  // SetFocus forward without data, unless already focused.
  void Focus();
  // Reveals every hidden element from here up, in one sheet update and one undo group.
  void MakeVisible();
  void SetCapture(bool AValue);
  bool CanSelectAll() const { return HasVisualOptions(voSelectAll); }
  bool RunPaste();
  void CaretChanged();
  void RequestScrollToCaret();
  void EditStateChanged();
  void AvailabilityChanged();
  void ReportCommandState();
  void CursorChanged();
  void SetDisabledUndoable(bool AValue);

  // The selected children of a selection container in drawing order, kept between changes: a child that is
  // selected, unselected, comes or goes updates them; a walk of the children makes them again when those updates
  // have cost as much.
  const std::vector<TVisualElement*>& SelectedChildren();

  // The element as a palette target.
  void GetSelectedPaletteTargets(TPaletteTargetList& AList) override;
  void QueryPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) override;
  void RunPaletteItem(TSchemePaletteItem* AItem, intptr_t AValue) override;
  void PlayPaletteSound(std::u16string_view AName) override;

  // Hooks of the visual tree, layout and painting.
  virtual void BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) {}
  virtual bool IsChildShown(TVisualElement* AChild) { return true; }
  virtual bool ComputeEffectivelyDisabled();
  virtual bool ComputeEffectivelySelected();
  virtual bool ComputeVisible();
  virtual void CaptureChanged() {}
  virtual void ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) {}
  virtual void ChildEffectivelyDisabledChanged(TVisualElement* AChild) {}
  virtual void ChildVisibleChanged(TVisualElement* AChild) {}
  virtual void StateChanged(TVisualElement* AChild);
  virtual void DisabledChanged() { UpdateEffectivelyDisabled(); }
  // The Disabled item on an element that can be disabled; other items are left to the element kinds.
  virtual bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue);
  // The Disabled item when the element can be disabled, the items inserting its allowed children and, for a
  // part, what its owner adds; overrides add theirs after these.
  void GetPaletteItems(TPaletteList& AList) override;
  // The Disabled item is ticked on a disabled element; the accepted state is left as the caller set it.
  virtual void GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState);
  virtual bool ContainsPoint(TVisualPoint APoint);
  virtual bool Paste() { return false; }
  virtual void ExternalEditingChanged() {}
  virtual void FocusChanged();
  virtual void FocusChanging();
  virtual uint8_t GetCaret(TRect& ARect);
  virtual bool HasSelection() { return false; }
  virtual void GetMargins(TRect& ARect);
  virtual void GetMouseTransparentMargins(TRect& ARect) { ARect = TRect(); }
  virtual void GetPadding(TRect& ARect) { ARect = TRect(); }
  virtual void GetClientRect(TRect& ARect) { ARect = GetSizeRect(); }
  virtual TVisualElement* GetNextChild(TVisualElement* AChild, bool AForward);
  virtual TVisualElement* GetNavigationParent();
  virtual void InsertVisualChild(TVisualElement* AChild, TVisualElement* ABefore);
  virtual void EffectivelyDisabledChanged();
  virtual void EffectivelySelectedChanged() { UpdateChildrenEffectivelySelected(); }
  virtual void VisibleChanged();
  virtual void RevealChild(TVisualElement* AChild) {}
  virtual void MoveVisualChild(TVisualElement* AChild, TVisualElement* ABefore);
  virtual bool CanSaveVisualChild(TSchemeSaver* ASaver, TElement* AChild);
  virtual void PaintChild(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags, TVisualElement* AChild);
  virtual void PaintChildren(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags);
  virtual void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {}
  virtual void PaintDisabled(TSheetCanvas* ACanvas);
  virtual void PaintExternalEditing(TSheetCanvas* ACanvas);
  virtual void PaintMark(TSheetCanvas* ACanvas);
  virtual void Moved();
  // What follows this element's own sheet place goes with it: the messages sign and the caret here; kinds with
  // more (a description) add theirs. Moved calls it after the children.
  virtual void FollowPlace();
  virtual void CommitValue() {}
  virtual bool VisualChildNotify(TVisualElement* AChild, int ACode, intptr_t AParam1, intptr_t AParam2) {
    return false;
  }
  virtual void RemoveVisualChild(TVisualElement* AChild);
  virtual void SelectedChanged() { UpdateEffectivelySelected(); }
  virtual void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged);
  virtual void DetachFromSheet();
  void AdjustPaletteItems(TPaletteList& AList) override {}
  virtual void UpdateChildrenEffectivelyDisabled();
  virtual void UpdateChildrenEffectivelySelected();
  virtual void UpdateChildrenVisible();
  virtual void VisualParentChanged();

  // Hooks of interaction.
  virtual void CancelMode() {}
  virtual bool CanDelete() { return false; }
  virtual bool CanCopyText() { return false; }
  virtual bool CanCopy() { return false; }
  virtual bool CanPaste() { return HasVisualOptions(voTakesPastes) && !IsReadOnly(); }
  virtual void DeleteSelection() {}
  virtual bool ContextPopup(TVisualPoint APoint) { return false; }
  virtual void CopyText() {}
  virtual void Copy() {}
  virtual int GetCursor(TVisualPoint APoint) { return 0; }
  virtual bool DropFiles(const std::vector<std::u16string>& AFileNames) { return false; }
  // One search step: the element where the search goes on, nil when it left the scope.
  virtual TVisualElement* Find(TFindData* AData, int AOptions, bool& AFound);
  // Focuses the first focusable visible element from here; false when there is none.
  virtual bool Activate();
  virtual bool FindFocusable(bool AForward, TVisualElement*& AFound, bool AOnlyEnabled, bool AOnlyVisible);
  virtual void GetHint(std::u16string& AText);
  virtual TVisualElement* FindNextFocusable(TFocusDirections ADirection, TVisualElement*& AOrigin, bool AOnlyEnabled,
                                            bool AOnlyVisible);
  virtual void KeyDown(uint16_t& AKey, TShiftKeys AShift) {}
  virtual void KeyPress(char16_t& AChar) {}
  virtual void KeyUp(uint16_t& AKey, TShiftKeys AShift) {}
  virtual void MouseClick() {}
  virtual void DblClick() {}
  virtual void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift,
                         bool ACtrl, bool AAlt);
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  virtual void MouseMove(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {}
  virtual void MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift);
  // Plain GDI drawing of the focused element on a prepared device context (origin at the element).
  virtual void PaintDirect(void* ADC) {}
  virtual void GetFocusData(std::u16string& AText) {}
  virtual void SelectAll() {}
  virtual void SetFocus(TFocusDirections ADirection, const std::u16string& AFocusData, TVisualElement* AOrigin,
                        const TVisualPoint* APoint);
  virtual void TunePaletteItem(TPaletteItem* AItem, void* ADisplay);

  // Overrides of the element.
  bool IsActive() override { return !IsEffectivelyDisabled(); }
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  // Besides telling the visual parent, which HeardBeyondParent answers for.
  using TPassesNodeMessages = TVisualElement;
  void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) override;
  void HasValueChanged() override;
  void MessagesChanged() override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  TElementClass GetUnacceptedClass(TSchemeLoader* ALoader) override;

  // Embedded in a text as one character: the portion that holds the element, nil when none does.
  TElementPortion* EmbeddingPortion() const { return FEmbeddingPortion; }
  TRect GetEmbeddedBounds() const override { return GetBoundsRect(); }
  int32_t GetEmbeddedDescent() const override { return FDescent; }
  // A layout places every element of the rows it makes; one left where it was needs no repaint for that.
  void SetEmbeddedBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, int32_t ADescent) override {
    if (ALeft != FLeft || ATop != FTop || AWidth != FWidth || AHeight != FHeight || ADescent != FDescent)
      SetBounds(ALeft, ATop, AWidth, AHeight, ADescent);
  }
  void MoveEmbedded(int32_t ADX, int32_t ADY) override {
    SetBounds(FLeft + ADX, FTop + ADY, FWidth, FHeight, FDescent);
  }
  void PaintEmbedded(TCustomSheetCanvas& ACanvas, int32_t AOriginX, int32_t AOriginY) override;
  void SetEmbeddingPortion(TElementPortion* APortion) override { FEmbeddingPortion = APortion; }
  void DetachEmbedded() override { SetVisualParent(nullptr); }
  void FreeEmbedded() override { Destroy(); }
  bool FocusEmbedded(bool AForward) override;

 protected:
  // Settles the place of AChild, of every child when nil, while FOwesPlaces says some are owed. In the base the
  // children owed are the followers of a sheet's root: each settles with the element it follows, and the shown ones
  // never wait (ChildPlacesOwed).
  virtual void SettleChildPlaces(const TVisualElement* AChild);
  // Settles the children whose places reach above AY, where they stand or where they belong.
  virtual void SettleChildPlacesAbove(int32_t AY) {}
  void ChildPlacesSettled() { FOwesPlaces = false; }

 private:
  friend class TMessagesSignElement;
  friend class TPlaceIndex;
  bool HeardBeyondParent() const override { return FVisualParent != nullptr; }
  void UnlinkVisualChild(TVisualElement* AChild);
  void LinkVisualChild(TVisualElement* AChild, TVisualElement* ABefore);
  void SetSheetDeep(TSheet* ASheet);
  // A subtree joining a sheet takes it as the walk of the settings reaches each element. An element reached
  // earlier, by a parent showing or moving it before that walk got there, takes it then: only a joining element
  // lacks the sheet of its visual parent, and it sees the sheet as it did when the whole subtree took it first.
  void TakeJoiningSheet();
  // Once the walk of a subtree that joined right under the sheet's root ended, what follows sheet places follows.
  void FollowJoinedPlaces();
  // Reads of the place settle it first while the visual parent owes it.
  void SettlePlace() const {
    if (FVisualParent && FVisualParent->FOwesPlaces) FVisualParent->SettleChildPlaces(this);
  }
  // The shown followers of this sheet's root stand where the elements they follow are.
  void SettleShownFollowers();
  // ForEachVisibleChild without settling what the children owe.
  template <class F>
  void ForEachVisibleChildAsPlaced(F&& AVisit) {
    if (TPlaceIndex* index = PlaceIndex()) {
      index->ForEachVisible(*this, AVisit);
      return;
    }
    for (TVisualElement* c = FirstVisibleChild(); c; c = c->NextVisibleSibling()) AVisit(c);
  }
  // A child came, went or changed its visibility: the index by place is out of date.
  void PlaceIndexChanged() {
    if (FPlaceIndex) FPlaceIndex->Invalidate();
  }
  // This element's top or bottom changed: its entry in the visual parent's index follows.
  void PlaceInIndexChanged();
  // The index by place when the class asks for one; made on first use.
  TPlaceIndex* PlaceIndex();
  // AChild, now selected and linked, joins the kept selected children at its place in the drawing order.
  void AddSelectedChild(TVisualElement* AChild);
  // AChild, selected until now or still linked, leaves the kept selected children.
  void RemoveSelectedChild(TVisualElement* AChild);
  void PlaceMessagesSign();
  void FreeMessagesSign();

  // What a shift with the text reads and writes comes first, together right after the embedded interface that the
  // text holds: the elements below a change are fetched a line or two each.
  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FDescent = 3;
  uint32_t FPlaceSlot = 0;  // the entry in the visual parent's index by place, as its last build made it
  TVisualStates FVisualState = vsVisible;
  TVisualOptions FVisualOptions;
  // Something follows its own sheet place, or did once (a sign, a description): a shift places it too.
  bool FFollowed = false;
  // The same for something inside: a shift moves the inside too.
  bool FFollowedInside = false;
  // Some children's places are owed (SettleChildPlaces).
  bool FOwesPlaces = false;
  // A child was selected once: until then the selected children are none, known without a walk.
  bool FChildSelected = false;
  TSheet* FSheet = nullptr;
  TVisualElement* FVisualParent = nullptr;
  TVisualElement* FFirstVisualChild = nullptr;
  TVisualElement* FLastVisualChild = nullptr;
  TVisualElement* FNextVisualSibling = nullptr;
  TVisualElement* FPrevVisualSibling = nullptr;
  TMessagesSignElement* FMessagesSign = nullptr;
  TElementPortion* FEmbeddingPortion = nullptr;
  std::unique_ptr<TPlaceIndex> FPlaceIndex;
  struct TSelectedChildren {
    std::vector<TVisualElement*> List;
    // The steps left to the updates before a walk of the children is as cheap: a selection grown at the front of
    // thousands of selected children moves them all with every key.
    size_t Credit = 0;
    bool Valid = false;
    // Takes ASteps from the credit; false, and no longer valid, when it has not as many.
    bool Spend(size_t ASteps);
    // The place of AChild, which is in the list, searched from both ends; SIZE_MAX when the credit ran out.
    size_t Find(const TVisualElement* AChild);
  };
  std::unique_ptr<TSelectedChildren> FSelectedChildren;
};

// The class mark of TVisualElement (TElement::ClassMarks).
constexpr uint8_t cmVisual = 0x01;

// AElement as a visual element; nil for nil and for any other element.
inline TVisualElement* AsVisualElement(TElement* AElement) {
  return AElement && (AElement->ClassMarks() & cmVisual) ? static_cast<TVisualElement*>(AElement) : nullptr;
}

// AElement as a T, told by its element class; nil for nil and for any other class. For hot paths: MinGW's
// dynamic_cast compares type names.
template <class T>
T* AsElementOfClass(TElement* AElement) {
  return AElement && AElement->ClassRef()->InheritsFrom(&T::ClassInfo) ? static_cast<T*>(AElement) : nullptr;
}
