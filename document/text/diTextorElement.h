// The text element: a visual element whose value is a text held by a text engine bound to it. Plain elements store
// one string; rich ones hold embedded elements as one-character portions and store runs as child knots. Every
// change a user makes runs as one undoable text edit operation over index positions, which survives any number of
// other steps; typing and backspacing merge into one step while keys come less than 800 ms apart.
#pragma once

#include "document/elements/diCustomElements.h"
#include "document/model/diElementOperations.h"
#include "document/text/diTextor.h"
#include "document/text/diTextorInteractive.h"
#include "foundation/cuSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TKnot;
class TPaletteGroup;
class TSchemePaletteItem;
class TTextorElement;

// What a text may hold; the bits are those of the stored option word.
enum class TTextOption : uint32_t {
  toLetters = 0x00001,
  toDigits = 0x00002,
  toUnderscore = 0x00004,
  toSpaces = 0x00008,
  toTabs = 0x00010,        // kept as tab runs
  toLineBreaks = 0x00020,  // several paragraphs
  toOther = 0x00040,
  toStartsWithLetter = 0x00080,  // a letter or "_" first
  toFileNameChars = 0x00100,
  toPathChars = 0x00200,
  toLatinLetters = 0x00400,
  toInteger = 0x00800,
  toFloat = 0x01000,
  toPercentAllowed = 0x02000,   // a trailing "%" is left out of the number checks
  toNoLeadingSpace = 0x04000,   // checked only with toSpaces
  toNoTrailingSpace = 0x08000,  // checked only with toSpaces
  toElementRequired = 0x10000,
  toSingleElement = 0x20000,
};
constexpr bool IsFlagFamily(TTextOption) { return true; }
using enum TTextOption;
using TTextOptions = TSet<TTextOption>;
// Any text: the character checks are skipped.
constexpr TTextOptions AnyTextOptions = TTextOptions::FromBits(127);
// The classes of characters: with none of them a text is not allowed at all.
constexpr TTextOptions CharacterTextOptions = toLetters | toDigits | toUnderscore | toSpaces | toOther;

// How a text is stored, shown and sized; the bits are those of the stored option word.
enum class TTextorOption : uint32_t {
  xoRich = 0x00000001,            // embedded elements, attributes per run, runs stored as child knots
  xoFormatCommands = 0x00000002,  // Bold, Italic, Underline offered while there is a selection
  xoLinks = 0x00000004,
  xoCommitOnExit = 0x00000008,        // while focused a change only marks the value modified
  xoNoNonPrinting = 0x00000010,       // never shows the non-printing characters
  xoIdentifierWords = 0x00000020,     // "_", letters and digits make one word
  xoBlockElements = 0x00000040,       // an inserted element takes a line of its own
  xoHosted = 0x00000080,              // a piece of its host, which answers for it
  xoFollowsHost = 0x00000100,         // takes some options from its host without being hosted
  xoWideLeftPadding = 0x00000200,     // 42 more on the left, scaled by the font size
  xoEmptyKeepsWidth = 0x00000400,     // an empty text is two thirds of its height wide
  xoFieldFrame = 0x00000800,          // framed by the theme's "Field"
  xoContainerFrame = 0x00001000,      // framed by the theme's "Container"
  xoFixedFont = 0x00002000,           // theme font 2
  xoArtFont = 0x00004000,             // theme font 3
  xoCommentFont = 0x00008000,         // theme font 4; without these three the code font
  xoGrowToScrollLast = 0x00010000,    // with "IncreaseWorkspaceHeight" the last row can reach the top
  xoWrap240 = 0x00020000,             // wrap widths: the highest set bit wins
  xoWrap480 = 0x00040000,
  xoWrap720 = 0x00080000,
  xoWrap960 = 0x00100000,
  xoWrapUnbounded = 0x00200000,
  xoMinWidth30 = 0x00400000,          // minimum widths: the highest set bit wins
  xoMinWidth240 = 0x00800000,
  xoMinWidth480 = 0x01000000,
  xoMinWidthAvailable = 0x02000000,   // the larger of the frame and the available width
  xoMinHeight60 = 0x04000000,         // minimum heights: the highest set bit wins
  xoMinHeight120 = 0x08000000,
  xoMinHeight240 = 0x10000000,
  xoMinHeightAvailable = 0x20000000,  // wins over the others
};
constexpr bool IsFlagFamily(TTextorOption) { return true; }
using enum TTextorOption;
using TTextorOptions = TSet<TTextorOption>;
// The options whose change lays the text out again.
constexpr TTextorOptions LayoutTextorOptions = TTextorOptions::FromBits(0x1DFEFE01);

// The knot names of stored text.
inline constexpr std::u16string_view ContentKnotName = u"RavelwrightContent";
inline constexpr std::u16string_view CharsKnotName = u"Chars";
inline constexpr std::u16string_view BreakKnotName = u"Br";
inline constexpr std::u16string_view FloatingKnotName = u"Floating";

// Knot option 1: the children keep their order (runs, breaks, rows and cells are positional).
void MakeOrdered(TKnot* AKnot);
// Names AKnot as a content knot and makes it ordered.
void MakeContentRoot(TKnot* AKnot);

// String identifiers of the text element's messages and commands.
enum : int {
  IdTextNotAllowed = 2384,
  IdTextStartsWithLetter = 2387,
  IdLettersNotAllowed = 2388,
  IdOnlyLatinLetters = 2389,
  IdDigitsNotAllowed = 2390,
  IdUnderscoresNotAllowed = 2391,
  IdTabsNotAllowed = 2392,
  IdLineFeedsNotAllowed = 2393,
  IdSpecialCharsNotAllowed = 2394,
  IdFileNameChars = 2395,
  IdPathChars = 2396,
  IdNotAFloat = 2397,
  IdNotAnInteger = 2398,
  IdSpacesNotAllowed = 2399,
  IdLeadingSpace = 2400,
  IdTrailingSpace = 2401,
  IdElementRequired = 2402,
  IdSingleElement = 2403,
  IdPaletteFormat = 2404,
  IdPaletteBold = 2405,
  IdPaletteBoldHint = 2406,
  IdPaletteItalic = 2407,
  IdPaletteItalicHint = 2408,
  IdPaletteUnderline = 2409,
  IdPaletteUnderlineHint = 2410,
  IdLinkNotOpened = 2952,
  IdLinkNotStarted = 2953,
};

// Node messages of hosted texts beside the engine's: forwarded to the host like 100 and 101.
enum : int { nmHostedQuery = 200, nmHostedNotify = 250 };

// A data element as a text makes it for pasted or dropped data (node message 100 names its class): it fills itself
// from the clipboard or from a file; false when it could not, and it is freed again.
class IDataElementFill {
 public:
  virtual bool FillFromClipboard() = 0;
  virtual bool FillFromFile(const std::u16string& AFileName) = 0;

 protected:
  ~IDataElementFill() = default;
};

// Milliseconds of a clock; edits merge by it. The default is the system's steady clock.
using TEditClock = std::function<int64_t()>;

// The text engine bound to a text element: the element answers what the text may hold and how wide it wraps, and
// hears of every change and layout.
class TSchemeTextor : public TTextor {
 public:
  explicit TSchemeTextor(TTextorElement* AElement);

  // Nil once the element is being destroyed.
  TTextorElement* Element() const { return FElement; }
  void SetElement(TTextorElement* AElement) { FElement = AElement; }

  void Changed() override;
  void FormatText(bool AChanged) override;
  TParagraphAttributes* GetDefaultParagraphAttributes() const override;
  TTextAttributes* GetDefaultTextAttributes() const override;
  void GetElementMargins(TRect& ARect) const override;
  int32_t GetWrapWidth() const override;
  TAttributesClass GetParagraphAttributesClass() const override;
  bool AllowsLineBreaks() const override;
  bool AllowsTabs() const override;
  TAttributesClass GetTextAttributesClass() const override;
  bool IsSameWord(int32_t APrev, int32_t ANext) const override;
  void FormatParagraph(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding,
                       const TRect& AMargins) override;
  void GetPadding(TRect& ARect) const override;
  // The element paints its text with the canvas origin on the text's: the canvas clip is the text's.
  TRect GetClipRect(TCustomSheetCanvas& ACanvas) const override;
  // Its elements are visual ones; those shown in the element move as a batch that the element finishes. On a
  // sheet they owe their places until read.
  void ShiftElement(IEmbeddedElement* AElement, int32_t ADY) override;
  void ElementsShifted() override;
  bool DefersElementShifts() const override;

 private:
  // A row as laid out: its place and a fingerprint of everything its painting reads.
  struct TRowPrint {
    int32_t Top;
    int32_t Bottom;
    uint64_t Print;
    friend bool operator==(const TRowPrint&, const TRowPrint&) = default;
  };
  // The prints of one paragraph's rows. Most paragraphs of a document are a row each, whose print is kept in place:
  // a text's first layout then allocates nothing for it.
  class TRowPrints {
   public:
    size_t Size() const { return FCount; }
    const TRowPrint& operator[](size_t AIndex) const { return AIndex == 0 ? FFirst : (*FMore)[AIndex - 1]; }
    void Clear();
    void Add(const TRowPrint& APrint);

   private:
    TRowPrint FFirst{};
    uint32_t FCount = 0;
    std::unique_ptr<std::vector<TRowPrint>> FMore;
  };
  static void PrintRows(const TParagraph* AParagraph, TRowPrints& APrints);
  // Repaints what the layout changed: the rows laid out again, and everything below the first one whose rows
  // moved what follows them or where the text's height changed; or, when one paragraph's rows moved only what
  // follows it and the text is the sheet's document, has the sheet scroll that band instead.
  void InvalidateLaidOut();
  void AddLaidOut(int32_t ATop, int32_t ABottom);

  TTextorElement* FElement;
  // Read once per layout, which asks for them for every paragraph and portion and changes neither; kept on the
  // layout's stack, so that a text pays one pointer for them.
  struct TLayoutReads {
    TTextAttributes* TextAttributes;
    TRect Padding;
  };
  const TLayoutReads* FLayoutReads = nullptr;
  // The rows of the paragraph laid out last, so that typing into it repaints only the rows a key changed.
  const TParagraph* FPrintedParagraph = nullptr;
  TRowPrints FPrints;
  // In text coordinates, gathered by one layout; a bottom of INT32_MAX reaches the end of the element.
  int32_t FLaidOutTop = INT32_MAX;
  int32_t FLaidOutBottom = INT32_MIN;
  int32_t FLaidOutHeight = 0;
  // Printed when the layout ends: a text's first layout lays out every paragraph and keeps the last one's prints.
  bool FPrintsPending = false;
  // The one paragraph of a layout whose rows end elsewhere, and the rows below it moved as they are: the old end
  // of its rows and the distance; a distance of 0 for none.
  struct TBandShift {
    int32_t Top = 0;
    int32_t Distance = 0;
  } FShift;
  // The elements of the batch that something follows; empty between batches.
  TPoolVector<TVisualElement*> FFollowing;
};

// The interactive of a text element: an edit leaves the selection it makes for the next layout.
class TSchemeTextorInteractive : public TTextorInteractive {
 public:
  using TTextorInteractive::TTextorInteractive;

  // ATrusted: the range is known to convert and is selected without a check.
  void SetPendingSelection(const TIndexRange& ARange, bool ACaretAtStart, bool ATrusted);
  void ClearPendingSelection() { FPending = false; }
  bool HasPendingSelection() const { return FPending; }
  // Selects the pending range (the start of the text when it no longer converts) and clears it.
  void ApplyPendingSelection();

  // The embedded elements that the last selection change selected, in text order, so that the next one looks at
  // them and at those inside its selection only.
  std::vector<TVisualElement*>& SelectedElements() { return FSelectedElements; }
  // An element left the text and may be one of them: the next change takes the selected children instead.
  void ForgetSelectedElements() {
    FSelectedElements.clear();
    FSelectedElementsLost = true;
  }
  bool SelectedElementsLost() const { return FSelectedElementsLost; }
  void SetSelectedElementsLost(bool AValue) { FSelectedElementsLost = AValue; }

 private:
  std::vector<TVisualElement*> FSelectedElements;
  bool FSelectedElementsLost = false;
  bool FPending = false;
  TIndexRange FPendingRange;
  bool FPendingCaretAtStart = false;
  bool FPendingTrusted = false;
};

// One undoable change of a text: a range removed and content inserted, both kept as index positions and knots.
// An edit that replaces part of an element's content with a content knot: what it inserts, kept as a deep copy with
// the loader mode and flags to insert it with, and what it removed, saved at its first run.
class TContentEditOperation : public TElementOperation {
 public:
  using TElementOperation::TElementOperation;

  // A deep copy of AContent (root "RavelwrightContent"), inserted with that loader mode and flags; nil for none.
  void SetNewContent(TKnot* AContent, uint8_t AMode, TFilerFlags AFlags);
  TKnot* NewContent() const { return FNewContent.get(); }
  uint8_t NewContentMode() const { return FNewContentMode; }
  TKnot* RemovedContent() const { return FRemovedContent.get(); }

 protected:
  std::unique_ptr<TKnot> FNewContent;
  uint8_t FNewContentMode = fmRecord;
  TFilerFlags FNewContentFlags;
  std::unique_ptr<TKnot> FRemovedContent;
};

class TTextorEditOperation : public TContentEditOperation {
 public:
  // ALockMessages: the edit inserts content.
  TTextorEditOperation(TTextorElement* AElement, bool ALockMessages);
  ~TTextorEditOperation() override;

  TIndexRange ReplacedRange;
  TIndexPosition InsertPosition;
  bool SelectInserted = false;

  void SetTypingAttributes(TTextAttributes* AAttributes);
  TTextAttributes* TypingAttributes() const { return FTypingAttributes.get(); }
  const TIndexRange& InsertedRange() const { return FInsertedRange; }
  // Milliseconds of the element's clock at the last run or merge.
  int64_t Time() const { return FTime; }

  bool MergeWith(TOperation* APrevious) override;

 protected:
  void DoElement(TElement* AElement) override;
  void UndoElement(TElement* AElement) override;
  // The text's layout repaints the rows it changes; so does each element that moves or leaves.
  bool RepaintsItsChanges() const override { return true; }
  virtual void DoEdit(TTextorElement* AElement);
  virtual void UndoEdit(TTextorElement* AElement);

 private:
  int64_t FTime = 0;
  TAttributesRef<TTextAttributes> FTypingAttributes;
  TIndexRange FInsertedRange;
};

// Where PerformEdit takes the replaced range and the insertion point.
enum : uint8_t {
  emSelection = 0,  // the interactive's selection and caret (the end of the text without an interactive)
  emRange = 1,      // the given range
  emWhole = 2,      // the whole text
  emAppend = 3,     // nothing replaced, the end of the text
};

// The limits of a text element's size.
struct TTextWidthLimits {
  int32_t MinWidth = 0;
  int32_t WrapWidth = 0;
  int32_t MinHeight = 0;
};

class TTextorElement : public TCustomDropDownElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }

  explicit TTextorElement(TScheme* AScheme);
  ~TTextorElement() override;

  TSchemeTextor* Textor() const { return const_cast<TSchemeTextor*>(&FTextor); }
  // Nil unless the element is being edited on a sheet.
  TSchemeTextorInteractive* Interactive() const { return FInteractive.get(); }

  TTextOptions TextOptions() const { return FTextOptions; }
  void SetTextOptions(TTextOptions AValue);
  TTextorOptions TextorOptions() const { return FOptions; }
  bool HasTextorOptions(TTextorOptions AOptions) const { return FOptions.ContainsAny(AOptions); }
  void SetTextorOptions(TTextorOptions AValue);
  bool IsRich() const { return FOptions.Contains(xoRich); }
  bool IsHosted() const { return FOptions.Contains(xoHosted); }
  // The text that counts as no value; a plain element whose knot has no "Value" loads it.
  const std::u16string& DefaultText() const;
  void SetDefaultText(std::u16string AValue);
  int32_t Baseline() const { return FBaseline; }

  // Edits merge by this clock; tests give their own.
  void SetEditClock(TEditClock AClock);
  int64_t EditTime() const;

  // The whole text, paragraphs joined by CR LF. SetText replaces it without undo.
  std::u16string GetText() const;
  void SetText(std::u16string_view AText);
  void SetTextUndoable(std::u16string_view AText);
  // Empties the text without undo.
  void Clear();
  // The run knots of ARange (the whole text for nil) into AKnot.
  virtual void IterateRange(TSchemeSaver* ASaver, TKnot* AKnot, const TTextRange* ARange);
  void SaveRange(TKnot* AKnot, uint8_t AMode, const TTextRange* ARange, TFilerFlags AFlags);
  // Reads the run knots of AKnot in at APosition; ARange receives what they took. Without the scheme's undo: the
  // entry point of the log's own writes and of every edit operation.
  void InsertContent(TKnot* AKnot, uint8_t AMode, TTextRange& ARange, const TTextPosition& APosition,
                     TFilerFlags AFlags);
  // The text of a content knot: "Chars" give their value, "Br" CR LF; false for any other child.
  static bool ContentToPlainText(TKnot* AKnot, std::u16string& AText);

  // Undoable edits. AMode is emSelection .. emAppend; ARange is read with emRange only.
  void PerformEdit(uint8_t AMode, const TTextRange* ARange, TKnot* AContent, uint8_t AContentMode,
                   TFilerFlags AContentFlags, bool ASelect);
  // CR alone is a line break; an empty text deletes.
  void InsertTypedText(uint8_t AMode, const TTextRange* ARange, std::u16string_view AText, bool ASelect);
  // The elements (made outside the tree or under this element) go into the text; the list is emptied and the
  // originals are freed once saved: the text holds copies with the same identifiers.
  void InsertElements(uint8_t AMode, const TTextRange* ARange, std::vector<TVisualElement*>& AElements);

  // The embedded elements counted by the content checks: not effectively disabled, not skipped on request.
  int CountEmbeddedElements(int ALimit);

  // Introduced hooks.
  virtual void ConfigureInteractive(TSchemeTextorInteractive* AInteractive);
  virtual void DetectLinks(TParagraph* AParagraph);
  virtual TNodePtr<TTextorEditOperation> CreateEditOperation(bool ALockMessages);
  // The attributes of a stored "Chars" run; nil gives the default.
  virtual TTextAttributes* GetLinkAttributes(TKnot* AKnot);
  virtual void CheckContent();
  virtual void UpdateSize();
  virtual TTextAttributes* GetTextAttributes();
  virtual TElement* GetHostElement();
  virtual bool GetFrameThemeElement(int& AIndex);
  virtual void GetWidthLimits(TTextWidthLimits& ALimits);
  // The link under APortion was activated.
  virtual void ActivateLink(TPortion* APortion);
  virtual bool ForwardsToHost(int ACode);
  virtual void PaintFrame(TSheetCanvas* ACanvas);
  virtual void TextChanged();
  virtual void NotifyHostTextChanged();

  // Text engine callbacks.
  void AfterLayout(bool AReset);
  void LayoutAgain();

  // Drop-down.
  bool ApplyDropDownItem(TDropDownItem* AItem) override;
  TDropDownItem* FillDropDown(TDropDownItem* ARoot) override;

  // Element.
  bool CalcHasValue() override;
  bool CalcIsEmpty() override;
  void CheckValue() override;
  bool CheckValueMayReport() override;
  void OptionsChanged(TElementOptions AOldOptions) override;
  void HierarchyChanged() override;
  void GetChildClasses(TElementClassList& AList) override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  // A TPartsTextBuilder gets the whole text as a plain copy gives it.
  void BroadcastToParts(intptr_t AValue) override;
  // Node message 10 writes the baseline to the int32_t that parameter 1 points to.
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  bool ChildNotification(TElement* AChild, int ACode, intptr_t AParam1, intptr_t AParam2) override;
  using TPassesNodeMessages = TTextorElement;
  std::u16string_view TranslateNodeName(TSchemeLoader* ALoader, TKnot* AKnot, std::u16string_view AName) override;
  TElementClass GetUnacceptedClass(TSchemeLoader* ALoader) override;

  // Visual element.
  void BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) override;
  void ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) override;
  void ChildEffectivelyDisabledChanged(TVisualElement* AChild) override;
  void InsertVisualChild(TVisualElement* AChild, TVisualElement* ABefore) override;
  void RemoveVisualChild(TVisualElement* AChild) override;
  uint8_t GetCaret(TRect& ARect) override;
  void GetMargins(TRect& ARect) override;
  void GetMouseTransparentMargins(TRect& ARect) override;
  void GetPadding(TRect& ARect) override;
  void GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) override;
  void VisibleChanged() override;
  void PaintChildren(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override {}
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  void CommitValue() override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  void DetachFromSheet() override;
  void UpdateChildrenVisible() override;
  void GetPaletteItems(TPaletteList& AList) override;
  void AdjustPaletteItems(TPaletteList& AList) override;
  void GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) override;
  bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) override;
  void TunePaletteItem(TPaletteItem* AItem, void* ADisplay) override;
  bool HasSelection() override;

  // Interaction.
  void CancelMode() override;
  bool CanDelete() override;
  bool CanCopyText() override { return HasSelection(); }
  bool CanCopy() override { return HasSelection(); }
  void DeleteSelection() override;
  void CopyText() override;
  void Copy() override;
  bool Paste() override;
  // True when the clipboard holds data a data element takes and one was made. The class comes from node message
  // 100 performed on this element: parameter 1 a TElementClass* to set, parameter 2 nil for the clipboard or the
  // const std::u16string* of a dropped file's name.
  bool PasteData();
  bool DropFiles(const std::vector<std::u16string>& AFileNames) override;
  int GetCursor(TVisualPoint APoint) override;
  void FocusChanged() override;
  bool Activate() override;
  // Searches the text from the selection (or beside the element the search came out of), backwards with
  // FindBackward, entering the embedded elements on the way; then goes on as the base does.
  TVisualElement* Find(TFindData* AData, int AOptions, bool& AFound) override;
  void KeyDown(uint16_t& AKey, TShiftKeys AShift) override;
  void KeyPress(char16_t& AChar) override;
  void KeyUp(uint16_t& AKey, TShiftKeys AShift) override;
  void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift, bool ACtrl,
                 bool AAlt) override;
  void MouseMove(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) override;
  void MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) override;
  void GetFocusData(std::u16string& AText) override;
  // "%d,%d,%d,%d" as start paragraph, start character, end paragraph, end character; a missing or bad piece is 0.
  static TIndexRange ParseFocusData(std::u16string_view AText);
  void SelectAll() override;
  void SetFocus(TFocusDirections ADirection, const std::u16string& AFocusData, TVisualElement* AOrigin,
                const TVisualPoint* APoint) override;

 protected:
  // The embedded elements owe their places to the text: a child settles with the paragraphs before it.
  void SettleChildPlaces(const TVisualElement* AChild) override;
  void SettleChildPlacesAbove(int32_t AY) override;
  // Creates or frees the interactive; AValue while focused.
  void SetInteractive(bool AValue);
  // Marks the embedded elements inside AInteractive's selection selected, none when not AShown, and unselects the
  // others that it selected before.
  void SelectEmbeddedElements(TSchemeTextorInteractive& AInteractive, bool AShown);
  // The host when hosted and it is a text element.
  TTextorElement* TextHost();
  // The minimum width and height of GetWidthLimits alone, the wrap width left 0: a size update needs no more, and
  // the wrap width of most texts asks every visual parent up to the sheet for the available size.
  void GetMinimumLimits(TTextWidthLimits& ALimits) { FillWidthLimits(ALimits, false); }

 private:
  // isOffSheet: the engine's format lock taken while the element is off a sheet is held; isReplacedWhole: the
  // text was replaced as a whole since the last layout, so the caret goes to its start.
  enum : uint8_t {
    isSignalsOff = 0x01,
    isApplyingSelection = 0x02,
    isAfterLayout = 0x04,
    isOffSheet = 0x08,
    isReplacedWhole = 0x10,
  };

  // GetWidthLimits, with the wrap width when AWrap.
  void FillWidthLimits(TTextWidthLimits& ALimits, bool AWrap);
  void InteractiveNotify(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void LoadRich(TSchemeLoader* ALoader, TKnot* AKnot, const TTextPosition& APosition, TTextRange& ARange,
                bool AWholeElement);
  void AddContentMessage(int AID, std::u16string_view AValue = {});
  // Makes, fills and inserts one data element; AFileName nil for the clipboard. The new element when one went in.
  TVisualElement* InsertDataElement(const std::u16string* AFileName);
  // A match becomes the selection; otherwise AInner is the focusable element inside the first embedded element on
  // the way, where the search goes on, or nil.
  bool FindInText(TFindData* AData, bool AForward, TVisualElement*& AInner);
  // ARange as plain text: runs as they are, tab runs as TABs, paragraph ends as CR LF, an embedded element as the
  // text it collects through BroadcastToParts.
  void AppendPlainText(const TTextRange& ARange, std::u16string& AText) const;

  // A load makes tens of thousands of texts: the engine lies in the element, and what few elements have is held
  // aside.
  TTextOptions FTextOptions;
  TTextorOptions FOptions;
  int32_t FBaseline = 0;
  uint8_t FInternalState = 0;
  std::unique_ptr<std::u16string> FDefaultText;
  TSchemeTextor FTextor;
  std::unique_ptr<TSchemeTextorInteractive> FInteractive;
  std::unique_ptr<TEditClock> FClock;
};

// The class mark of TTextorElement (TElement::ClassMarks).
constexpr uint8_t cmText = 0x02;

// AElement as a text element; nil for nil and for any other element.
inline TTextorElement* AsTextorElement(TElement* AElement) {
  return AElement && (AElement->ClassMarks() & cmText) ? static_cast<TTextorElement*>(AElement) : nullptr;
}

// The "Format" palette group with Bold, Italic and Underline, and the shared default attributes of texts off a
// sheet; between InitializeTextorElement and FinalizeTextorElement.
extern TPaletteGroup* PaletteFormatGroup;
extern TSchemePaletteItem* PaletteBoldItem;
extern TSchemePaletteItem* PaletteItalicItem;
extern TSchemePaletteItem* PaletteUnderlineItem;
void InitializeTextorElement();
void FinalizeTextorElement();

// Table rows pasted into a text are made into a table by the table unit, which the text does not know: the unit
// installs this at its start-up and removes it at its end. True when the rows became an element of AText.
using TTableRowsPaste = bool (*)(TTextorElement* AText, TKnot* AContent);
extern TTableRowsPaste TableRowsPaste;
