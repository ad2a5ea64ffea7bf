// The rich-text engine: a text of paragraphs, each a list of portions (runs of characters with one attributes
// object, runs of tab stops, single embedded elements), laid out into rows for hit tests, the caret and painting.
// The engine needs no window: it measures and paints only through the text and paragraph attributes, and reaches
// an embedded element only through IEmbeddedElement. What a text may hold and how wide it wraps is asked of the
// host through the virtual operations of TTextor.
#pragma once

#include "document/model/diElementPool.h"
#include "document/model/diTextorAttributes.h"
#include "foundation/cuSet.h"
#include "graphics/pixels/pxTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TCustomSheetCanvas;
class TElementPortion;
class TParagraph;
class TPortion;
class TRow;
class TTextor;

struct TTextPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TTextPoint&, const TTextPoint&) = default;
};

// Where a drag started and where the pointer is now, with the system's drag threshold; hit tests of embedded
// elements let a dragged selection pass an element once the pointer is 40 pixels into it.
struct TTextDrag {
  TTextPoint Start;
  TTextPoint Point;
  int32_t ThresholdX = 4;
  int32_t ThresholdY = 4;
};

// The gap before a character: Portion is nil at the paragraph's end. In normal form Offset < Portion's length,
// so two positions denote one gap exactly when they are equal.
struct TTextPosition {
  TParagraph* Paragraph = nullptr;
  TPortion* Portion = nullptr;
  int32_t Offset = 0;
  friend bool operator==(const TTextPosition&, const TTextPosition&) = default;
};

// Start not after end.
struct TTextRange {
  TTextPosition Start;
  TTextPosition End;
  friend bool operator==(const TTextRange&, const TTextRange&) = default;
};

// A position that survives edits which free and make portions: the paragraph's place in the text and the number
// of characters before the position in its paragraph (an embedded element counts 1).
struct TIndexPosition {
  int32_t ParagraphIndex = 0;
  int32_t CharIndex = 0;
  friend bool operator==(const TIndexPosition&, const TIndexPosition&) = default;
};

struct TIndexRange {
  TIndexPosition Start;
  TIndexPosition End;
  friend bool operator==(const TIndexRange&, const TIndexRange&) = default;
};

// One piece of a walk over a range: Count characters of Portion from Offset, or, with Portion nil, the end of
// Paragraph.
struct TTextPiece {
  TParagraph* Paragraph = nullptr;
  TPortion* Portion = nullptr;
  int32_t Offset = 0;
  int32_t Count = 0;
};
// Answers false to stop the walk.
using TTextPieceCallback = std::function<bool(const TTextPiece& APiece)>;

// How the engine paints a range.
enum class TTextPaintFlag : uint32_t {
  tpSelection = 1,   // paint as selected
  tpWhiteSpace = 4,  // show the symbols of spaces, tabs and paragraph ends
};
constexpr bool IsFlagFamily(TTextPaintFlag) { return true; }
using enum TTextPaintFlag;
using TTextPaintFlags = TSet<TTextPaintFlag>;

// The owner's state as painting sees it.
enum class TTextOwnerState : uint8_t {
  osActive = 1,  // focused on an active sheet: the selection shows in its active colour
};
constexpr bool IsFlagFamily(TTextOwnerState) { return true; }
using enum TTextOwnerState;
using TTextOwnerStates = TSet<TTextOwnerState>;

// What the engine needs of an element embedded in the text as one character. The element keeps its portion as a
// back reference; the portion owns the element and frees it with itself.
class IEmbeddedElement {
 public:
  // Left, top, right, bottom in the owner element's coordinates.
  virtual TRect GetEmbeddedBounds() const = 0;
  // How far the element reaches below the baseline it stands on.
  virtual int32_t GetEmbeddedDescent() const = 0;
  virtual void SetEmbeddedBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, int32_t ADescent) = 0;
  // Moves the element by (ADX, ADY), keeping its size and descent.
  virtual void MoveEmbedded(int32_t ADX, int32_t ADY) = 0;
  // Paints at the element's own bounds with the canvas origin moved by (-AOriginX, -AOriginY) for the call: the
  // canvas stands at the text's origin, the bounds count from the owner's.
  virtual void PaintEmbedded(TCustomSheetCanvas& ACanvas, int32_t AOriginX, int32_t AOriginY) = 0;
  virtual void SetEmbeddingPortion(TElementPortion* APortion) = 0;
  // Leaves the owner's visual tree.
  virtual void DetachEmbedded() = 0;
  virtual void FreeEmbedded() = 0;
  // Focuses the first focusable part found in the direction; false when there is none.
  virtual bool FocusEmbedded(bool AForward) = 0;
  // Up (AForward false) or Down onto the element from a row beside it: entered as FocusEmbedded does, by an element
  // that wants it (a grid of cells); false leaves the caret in the text.
  virtual bool FocusEmbeddedVertically(bool AForward) { return false; }

 protected:
  ~IEmbeddedElement() = default;
};

enum class TPortionKind : uint8_t { pkText, pkTabStops, pkElement };

// A run of a paragraph. Created linked into its paragraph before ABefore (nil: at the end), leaving the paragraph
// unformatted; whoever makes one signals the change once it is complete. Freed unlinked.
class TPortion {
 public:
  TPortion(const TPortion&) = delete;
  TPortion& operator=(const TPortion&) = delete;
  virtual ~TPortion();

  // Portions and paragraphs come from their textor's pool, when it has one.
  static void* operator new(size_t ASize, TElementPool* APool);
  static void operator delete(void* APortion, TElementPool* APool) noexcept;
  static void operator delete(void* APortion) noexcept;

  virtual TPortionKind Kind() const = 0;
  TParagraph* Paragraph() const { return FParagraph; }
  int32_t Length() const { return FLength; }
  // The own attributes; nil means the textor's default text attributes.
  TTextAttributes* Attributes() const { return FAttributes; }
  TPortion* Next() const { return FNext; }
  TPortion* Previous() const { return FPrevious; }
  TTextor* Textor() const;

  // Adds the width of ACount characters from AOffset, drawn from X, to X and returns it. X counts from the row's
  // content start: tab stops depend on it.
  virtual int32_t MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const = 0;
  // May new characters with AAttributes go into this portion: the very object it holds, nil included.
  virtual bool CanMergeWith(const TTextAttributes* AAttributes) const;
  virtual void DeleteChars(int32_t AIndex, int32_t ACount) {}
  // Moves everything from AIndex on into ATarget, an empty portion of the same kind.
  virtual void SplitTo(TPortion* ATarget, int32_t AIndex) {}
  // Appends the content of AOther, a portion of the same kind.
  virtual void AppendPortion(const TPortion* AOther) {}
  // The character 0..65535; -1 for an embedded element.
  virtual int32_t GetChar(int32_t AIndex) const { return 0; }
  // The portion-relative index of the character that ATargetX hits among ACount characters from AOffset drawn
  // from X; -1 when they all lie left of ATargetX, and then X has moved past them. ARound picks the nearer edge.
  virtual int32_t CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                               const TTextDrag* ADrag) const;
  // Takes ACount characters at AIndex (the text portion copies AText, tab stops count them); returns how many.
  virtual int32_t InsertChars(int32_t AIndex, const char16_t* AText, int32_t ACount) { return 0; }
  // Moves what the portion shows on the sheet.
  virtual void MoveTo(int32_t AOffset, int32_t ADX, int32_t ADY) {}
  // Paints ACount characters from AOffset at X on ABaseline inside the row's rectangle and advances X.
  virtual void Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X,
                     int32_t ABaseline, int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const {}
  // Copies ACount characters from AIndex into ADest when given; returns how many it stands for in plain text.
  virtual int32_t CopyChars(int32_t AIndex, int32_t ACount, char16_t* ADest) const { return 0; }
  // Gives an embedded element its place once the row is known: AX is the portion's x in text coordinates, AOrigin
  // where the text's origin lies in the owner.
  virtual void PlaceInRow(int32_t AX, int32_t ABaseline, const TRect& AMargins, TTextPoint AOrigin) {}
  virtual void GetAscentDescent(int32_t& AAscent, int32_t& ADescent) const;

  // The effective attributes: the own ones, else the textor's default text attributes.
  TTextAttributes* GetAttributes() const;
  // The content changed: the paragraph is laid out again and the textor signals a change.
  void Changed();
  void Delete(int32_t AIndex, int32_t ACount);
  // A new layout of the paragraph without a change of the text (an embedded element changed size).
  void InvalidateLayout();
  // At 0 the portion itself; else a new portion of the same kind and attributes right after it holding the tail.
  TPortion* SplitAt(int32_t AOffset);
  // True when the attributes changed.
  bool SetAttributes(TTextAttributes* AAttributes);
  TPortion* GetNextInText() const;
  TPortion* GetPreviousInText() const;

 protected:
  TPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore, int32_t ALength = 0);

  // Leaves the paragraph, which is then laid out again.
  void Unlink();

  int32_t FLength = 0;

 private:
  friend class TParagraph;
  friend class TTextor;
  void Link(TParagraph* AParagraph, TPortion* ABefore, bool ASignal);

  TParagraph* FParagraph = nullptr;
  TTextAttributes* FAttributes = nullptr;
  TPortion* FNext = nullptr;
  TPortion* FPrevious = nullptr;
};

// Characters sharing one attributes object, in a buffer of exactly the portion's length.
class TTextPortion : public TPortion {
 public:
  TTextPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore);
  ~TTextPortion() override;

  TPortionKind Kind() const override { return TPortionKind::pkText; }
  const char16_t* Chars() const { return FChars; }
  std::u16string_view Text() const { return {FChars, static_cast<size_t>(FLength)}; }

  int32_t MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const override;
  void DeleteChars(int32_t AIndex, int32_t ACount) override;
  void SplitTo(TPortion* ATarget, int32_t AIndex) override;
  void AppendPortion(const TPortion* AOther) override;
  int32_t GetChar(int32_t AIndex) const override { return FChars[AIndex]; }
  int32_t CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                       const TTextDrag* ADrag) const override;
  int32_t InsertChars(int32_t AIndex, const char16_t* AText, int32_t ACount) override;
  void Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X, int32_t ABaseline,
             int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const override;
  int32_t CopyChars(int32_t AIndex, int32_t ACount, char16_t* ADest) const override;

 private:
  char16_t* FChars = nullptr;
};

// A run of tab characters measured against uniform stops counted from the row's content start.
class TTabStopsPortion : public TPortion {
 public:
  TTabStopsPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore);

  TPortionKind Kind() const override { return TPortionKind::pkTabStops; }
  int32_t MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const override;
  void DeleteChars(int32_t AIndex, int32_t ACount) override { FLength -= ACount; }
  void SplitTo(TPortion* ATarget, int32_t AIndex) override;
  void AppendPortion(const TPortion* AOther) override { FLength += AOther->Length(); }
  int32_t GetChar(int32_t AIndex) const override { return 9; }
  int32_t CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                       const TTextDrag* ADrag) const override;
  int32_t InsertChars(int32_t AIndex, const char16_t* AText, int32_t ACount) override;
  void Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X, int32_t ABaseline,
             int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const override;
  int32_t CopyChars(int32_t AIndex, int32_t ACount, char16_t* ADest) const override;
};

// One embedded element standing as a single character; owns the element.
class TElementPortion : public TPortion {
 public:
  TElementPortion(TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore, IEmbeddedElement* AElement);
  ~TElementPortion() override;

  TPortionKind Kind() const override { return TPortionKind::pkElement; }
  IEmbeddedElement* Element() const { return FElement; }
  // Forgets the element without freeing it (its owner frees it).
  void ClearElement();

  int32_t MeasureChars(int32_t& X, int32_t AOffset, int32_t ACount) const override;
  bool CanMergeWith(const TTextAttributes* AAttributes) const override { return false; }
  int32_t GetChar(int32_t AIndex) const override { return -1; }
  int32_t CharIndexAtX(int32_t& X, int32_t ATargetX, int32_t AOffset, int32_t ACount, bool ARound,
                       const TTextDrag* ADrag) const override;
  void MoveTo(int32_t AOffset, int32_t ADX, int32_t ADY) override;
  void Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TRect& ARowRect, int32_t& X, int32_t ABaseline,
             int32_t AOffset, int32_t ACount, TTextPaintFlags AFlags) const override;
  void PlaceInRow(int32_t AX, int32_t ABaseline, const TRect& AMargins, TTextPoint AOrigin) override;
  void GetAscentDescent(int32_t& AAscent, int32_t& ADescent) const override;

 private:
  // Width plus the left and right margins.
  int32_t OuterWidth() const;

  IEmbeddedElement* FElement = nullptr;
};

// The kinds of rows: a paragraph that fits on one line has one whole row; a wrapped one has a first row, any
// number of inner rows and a last row.
enum class TRowKind : uint8_t { rkWholeParagraph, rkWrappedFirst, rkWrappedInner, rkWrappedLast };

// One line of a laid-out paragraph. Its top is the bottom of the row before it in the text (0 for the first).
// A row's end is the next row's start: the position right after the character at which the row was broken.
// A row reached through its paragraph or the textor stands at its current place; one kept across a layout is
// found again, as the layout may have freed it or left its move to the next look-up.
class TRow {
 public:
  TRow(const TRow&) = delete;
  TRow& operator=(const TRow&) = delete;

  // From the textor's pool, as its paragraphs and portions: a layout makes a row for every line.
  static void* operator new(size_t ASize, TElementPool* APool);
  static void operator delete(void* ARow, TElementPool* APool) noexcept;
  static void operator delete(void* ARow) noexcept;

  int32_t Descent = 0;  // the largest descent of the row's content
  int32_t Bottom = 0;   // in text coordinates
  int32_t Width = 0;    // of the content

  TRowKind Kind() const { return FKind; }
  // Neighbours in the same paragraph.
  TRow* GetNextRow() const { return FNext; }
  TRow* GetPreviousRow() const { return FPrevious; }
  // Neighbours across paragraph borders.
  TRow* GetNextTextRow() const;
  TRow* GetPreviousTextRow() const;
  TParagraph* GetParagraph() const { return FParagraph; }
  TTextPosition GetStartPosition() const;
  TTextPosition GetEndPosition() const;

  int32_t GetTop() const;
  int32_t GetBaseline() const { return Bottom - Descent; }
  int32_t GetHeight() const { return Bottom - GetTop(); }
  // The content's left edge, from the alignment and indents of the last layout.
  int32_t GetLeft() const { return FLeft; }
  TRect GetRect() const;

  // X of a position of the row, from the row's left.
  int32_t PositionToX(const TTextPosition& APosition) const;
  // The position under AX (text coordinates); true when AX fell inside the row's content.
  bool PositionAtX(int32_t AX, bool ARound, const TTextDrag* ADrag, TTextPosition& APosition) const;
  // Both ends count: a position at a wrap boundary lies in both rows.
  bool Contains(const TTextPosition& APosition) const;
  // Walks the row's pieces from its start to its end; false when the callback stopped the walk.
  bool IteratePieces(const TTextPieceCallback& ACallback) const;

 private:
  friend class TParagraph;
  TRow(TParagraph* AParagraph, TRowKind AKind) : FParagraph(AParagraph), FKind(AKind) {}

  TParagraph* FParagraph;
  TRow* FNext = nullptr;
  TRow* FPrevious = nullptr;
  TTextPosition FStart;  // follow rows
  TTextPosition FEnd;    // first and inner rows
  int32_t FLeft = 0;
  TRowKind FKind;
};

class TParagraph {
 public:
  // Linked into ATextor's list before ABefore (nil: at the end), flagged as changed.
  TParagraph(TTextor* ATextor, TParagraph* ABefore);
  TParagraph(const TParagraph&) = delete;
  TParagraph& operator=(const TParagraph&) = delete;
  // Frees the rows, unlinks itself (the paragraph after it must be positioned again), frees the portions.
  ~TParagraph();

  static void* operator new(size_t ASize, TElementPool* APool);
  static void operator delete(void* AParagraph, TElementPool* APool) noexcept;
  static void operator delete(void* AParagraph) noexcept;

  TTextor* Textor() const { return FTextor; }
  TParagraph* Next() const { return FNext; }
  TParagraph* Previous() const { return FPrevious; }
  TPortion* FirstPortion() const { return FFirstPortion; }
  TPortion* LastPortion() const { return FLastPortion; }
  // The rows of the last layout, at their current places.
  TRow* FirstRow() const;
  TRow* LastRow() const;
  bool Formatted() const { return FFormatted; }
  bool Positioned() const { return FPositioned; }
  // Own attributes; nil means the textor's defaults.
  TParagraphAttributes* ParagraphAttributes() const { return FParagraphAttributes; }
  TTextAttributes* TextAttributes() const { return FTextAttributes; }
  // Effective attributes.
  TParagraphAttributes* GetParagraphAttributes() const;
  TTextAttributes* GetTextAttributes() const;

  TTextPosition GetBeginPosition() const { return {const_cast<TParagraph*>(this), FFirstPortion, 0}; }
  TTextPosition GetEndPosition() const { return {const_cast<TParagraph*>(this), nullptr, 0}; }
  TTextRange GetRange() const { return {GetBeginPosition(), GetEndPosition()}; }
  bool IsEmpty() const { return !FFirstPortion; }
  // Characters in the portions before APortion (all of them for nil) plus AOffset.
  int32_t CharIndexOf(const TPortion* APortion, int32_t AOffset) const;
  // The position of character index AIndex in normal form; false for a negative index or one past the end.
  bool PositionOfCharIndex(int32_t AIndex, TPortion*& APortion, int32_t& AOffset) const;
  // APortion's previous portion, or the last one for nil; false when there is none.
  bool PortionBefore(TPortion* APortion, TPortion*& AResult) const;
  bool SetParagraphAttributes(TParagraphAttributes* AAttributes);
  bool SetTextAttributes(TTextAttributes* AAttributes);
  // The pieces from the start to the end position in portion order; with AIncludeEnd and a nil end portion a
  // last piece for the paragraph's end. False when the callback stopped the walk.
  bool IteratePortions(TPortion* AStartPortion, int32_t AStartOffset, TPortion* AEndPortion, int32_t AEndOffset,
                       bool AIncludeEnd, const TTextPieceCallback& ACallback) const;

  // The content changed: laid out again, and the textor signals a change.
  void Changed();
  // Laid out again without a change signal.
  void InvalidateLayout();
  // Moved again (the paragraph above changed its extent).
  void InvalidatePosition();
  // Frees every portion inside a textor update.
  void Clear();
  void ClearRows();

  // A full layout when not formatted, else a vertical move to follow the paragraph above when not positioned.
  void Format(int32_t AWrapWidth, const TRect& APadding, const TRect& AMargins);
  // The formatter proper: the row chain from the portions.
  void Wrap(int32_t AWrapWidth, const TRect& APadding, const TRect& AMargins);
  // Adds ADY to every row's bottom and moves the embedded elements with them.
  void MoveVertically(int32_t ADY);
  // The top of the first row.
  int32_t Top() const;

 private:
  friend class TPortion;
  friend class TRow;
  friend class TTextor;
  struct TWrapState;
  void WrapPortion(TWrapState& AState, TPortion* APortion);
  // Where the portion's characters from AStart, at AX0, break the row; true when they all fit it, AEndX then the x
  // after them.
  bool FitPortion(TWrapState& AState, TPortion* APortion, int32_t AX0, int32_t AStart, int& AKind, int32_t& AIndex,
                  int32_t& AEndX) const;
  bool CanBreakAfter(const TPortion* APortion, int32_t AIndex) const;
  TRow* AddRow(TRowKind AKind, const TTextPosition& AStart, const TTextPosition& AEnd, int32_t ADescent,
               int32_t ABottom, int32_t AWidth);
  int32_t RowLeft(int32_t AWrapWidth, int32_t AWidth, bool AFirstRow) const;
  void PlaceElements(const TRect& APadding, const TRect& AMargins);
  // Applies to the rows the vertical shift that layouts of paragraphs above left pending for this one.
  void Sync() const;
  void SyncShift() const;
  void MoveRows(int32_t ADY);
  void MoveElements(int32_t ADY);
  // Needs a layout: in the textor's list of paragraphs to lay out.
  void MarkDirty();

  TTextor* FTextor;
  TParagraphAttributes* FParagraphAttributes = nullptr;
  TTextAttributes* FTextAttributes = nullptr;
  TParagraph* FNext = nullptr;
  TParagraph* FPrevious = nullptr;
  TPortion* FFirstPortion = nullptr;
  TPortion* FLastPortion = nullptr;
  TRow* FFirstRow = nullptr;
  TRow* FLastRow = nullptr;
  int32_t FTop = 0;
  int32_t FExtent = 0;        // the widest row with its left edge and the right indent
  int32_t FIndex = 0;         // place in the text while the textor's indexes are valid
  int32_t FAppliedShift = 0;  // the pending shifts up to this place already applied to the rows
  int32_t FDirtySlot = -1;    // in the textor's list of paragraphs to lay out
  int32_t FElementSlot = -1;  // in the textor's list of paragraphs that hold elements
  bool FFormatted = false;
  bool FPositioned = false;
  bool FHasElements = false;
};

// The text: the paragraphs, the locks that make layout and the change signal happen once per batch, and the
// operations on the text. The virtual operations are the host's answers.
class TTextor : public TObject {
 public:
  // Starts with the format lock held: nothing is laid out until the owner, its answers in force, calls
  // EndFormatUpdate. (A layout inside this constructor would ask the base's answers, not the host's.) With APool
  // the paragraphs, portions and characters come from that pool, as the elements of the text's scheme do.
  explicit TTextor(TElementPool* APool = nullptr);
  TTextor(const TTextor&) = delete;
  TTextor& operator=(const TTextor&) = delete;
  ~TTextor() override;

  // Position records.
  static TTextPosition MakePosition(TParagraph* AParagraph, TPortion* APortion, int32_t AOffset) {
    return {AParagraph, APortion, AOffset};
  }
  static bool SamePosition(const TTextPosition& A, const TTextPosition& B) { return A == B; }
  static bool IsRangeEmpty(const TTextRange& ARange) { return ARange.Start == ARange.End; }
  static bool IsIndexRangeEmpty(const TIndexRange& ARange) { return ARange.Start == ARange.End; }
  // (P, P's length) becomes (P's next, 0), the paragraph end after the last portion.
  static void NormalizePosition(TTextPosition& APosition);

  TParagraph* FirstParagraph() const { return FFirstParagraph; }
  TParagraph* LastParagraph() const { return FLastParagraph; }
  int32_t ParagraphCount() const;
  TElementPool* Pool() const { return FPool; }

  // Locks and signals: inside BeginUpdate ... EndUpdate any number of edits cause one layout, when the format
  // lock drops, and one Changed, when the change lock drops.
  void BeginUpdate();
  void EndUpdate();
  void BeginFormatUpdate();
  void EndFormatUpdate();
  int32_t ChangeLock() const { return FChangeLock; }
  int32_t FormatLock() const { return FFormatLock; }
  bool Formatting() const { return FFormatting; }
  bool LayoutPending() const { return FLayoutPending; }
  // Every paragraph is laid out, at AWrapWidth and with APadding, and no layout waits: one now would make the same
  // rows.
  bool LaidOutAt(int32_t AWrapWidth, const TRect& APadding) const;
  // Every paragraph laid out again (settings changed the measuring).
  void InvalidateLayout();
  void RequestLayout(bool AChanged);
  // Every content change ends here.
  void Invalidate();

  // Whole text.
  void Clear();
  void SetText(std::u16string_view AText);
  // Paragraphs joined by CR LF, tabs as TAB, embedded elements left out.
  std::u16string GetText() const;
  bool IsEmpty() const;
  TTextPosition GetBeginPosition() const { return FFirstParagraph->GetBeginPosition(); }
  TTextPosition GetEndPosition() const { return FLastParagraph->GetEndPosition(); }
  TTextRange GetWholeRange() const { return {GetBeginPosition(), GetEndPosition()}; }
  // The first paragraph's first portion.
  TPortion* GetFirstPortion() const { return FFirstParagraph->FirstPortion(); }
  // The bottom of the last row.
  int32_t GetHeight() const;
  // The widest row with its left edge and the paragraph's right indent.
  int32_t GetWidth() const;

  // Insertion; ARange receives what the new content occupies. CR, LF and TAB are cut out of InsertText as the
  // host allows line breaks and tabs.
  void InsertText(const TTextPosition& APosition, std::u16string_view AText, TTextAttributes* AAttributes,
                  TTextRange& ARange);
  // One run of characters, control characters included.
  void InsertChars(const TTextPosition& APosition, std::u16string_view AText, TTextAttributes* AAttributes,
                   TTextRange& ARange);
  void InsertTabs(const TTextPosition& APosition, int32_t ACount, TTextAttributes* AAttributes, TTextRange& ARange);
  // The portion takes over AElement.
  void InsertElement(const TTextPosition& APosition, IEmbeddedElement* AElement, TTextAttributes* AAttributes,
                     TTextRange& ARange);
  // ARange runs from the old paragraph's end to the new paragraph's start.
  void SplitParagraph(const TTextPosition& APosition, TTextAttributes* AAttributes, TTextRange& ARange);
  TParagraph* AddParagraph(TParagraph* ABefore);

  // APosition receives where the range was.
  void DeleteRange(const TTextRange& ARange, TTextPosition& APosition);

  // Portions cut at the range's ends take AAttributes; with AIncludeLastEnd the last paragraph's own text
  // attributes too. ANewRange is the range over the cut portions.
  void SetRangeAttributes(const TTextRange& ARange, bool AIncludeLastEnd, TTextAttributes* AAttributes,
                          TTextRange& ANewRange);
  // The raw attributes for text typed at APosition (nil: the default).
  TTextAttributes* GetAttributesAt(const TTextPosition& APosition) const;

  // CR LF for each paragraph end inside the range, tabs as TAB, embedded elements left out.
  std::u16string GetRangeText(const TTextRange& ARange) const;
  // The pieces of each paragraph of the range; paragraph ends for every paragraph but the last, and for the last
  // with AIncludeLastEnd. False when the callback stopped the walk.
  bool IterateRange(const TTextRange& ARange, bool AIncludeLastEnd, const TTextPieceCallback& ACallback) const;

  // Character and portion moves; every result is in normal form.
  // False at a paragraph end; else the character at APosition and the position after it.
  bool NextChar(const TTextPosition& APosition, TTextPosition& ANext, int32_t& AChar) const;
  // False at a paragraph start; else the character before APosition and the position before it.
  bool PreviousChar(const TTextPosition& APosition, TTextPosition& APrevious, int32_t& AChar) const;
  // Across paragraph ends; unchanged at the text's end (start).
  TTextPosition NextCharPosition(const TTextPosition& APosition) const;
  TTextPosition PreviousCharPosition(const TTextPosition& APosition) const;
  // The start of the next portion (the nearest portion start before the position); across a paragraph end when
  // asked; false when there is none.
  bool NextPortionPosition(const TTextPosition& APosition, TTextPosition& AResult, bool ACrossParagraphs) const;
  bool PreviousPortionPosition(const TTextPosition& APosition, TTextPosition& AResult, bool ACrossParagraphs) const;
  // The stretch free of embedded elements from APosition, skipping elements at APosition.
  TTextRange GetTextStretch(const TTextPosition& APosition, bool AForwards, bool ACrossParagraphs) const;
  // After the word and the white space that follows it; false at a paragraph end.
  bool WordRight(const TTextPosition& APosition, TTextPosition& AResult) const;
  // To the start of the word; at a paragraph end that is not the text's end it stays. False when it did not move.
  bool WordLeft(const TTextPosition& APosition, TTextPosition& AResult) const;
  bool IsBefore(const TTextPosition& A, const TTextPosition& B) const;
  // Start <= P < end.
  bool IsPositionInRange(const TTextPosition& APosition, const TTextRange& ARange) const;
  bool IsAtParagraphEdge(const TTextPosition& APosition, bool AForwards) const;
  bool IsAtTextEdge(const TTextPosition& APosition, bool AForwards) const;
  // Forwards the element whose portion starts at APosition, backwards the one just before it; nil when none.
  IEmbeddedElement* ElementAt(const TTextPosition& APosition, bool AForwards) const;

  // Index conversions; the way back answers false for an index out of range, negative ones included.
  int32_t IndexOfParagraph(const TParagraph* AParagraph) const;
  TParagraph* ParagraphAt(int32_t AIndex) const;
  TIndexPosition PositionToIndex(const TTextPosition& APosition) const;
  TIndexRange RangeToIndexRange(const TTextRange& ARange) const;
  bool IndexToPosition(const TIndexPosition& AIndex, TTextPosition& APosition) const;
  bool IndexRangeToRange(const TIndexRange& AIndex, TTextRange& ARange) const;

  // Host support. Inserts every stretch free of elements again so that CR, LF and TAB follow new permissions.
  void ReinsertText();
  // Unlinks a paragraph that is being freed; the paragraph after it must be positioned again.
  void UnlinkParagraph(TParagraph* AParagraph);
  // Moves AFirst and every portion after it to the end of ADest.
  void MoveParagraphPortions(TPortion* AFirst, TParagraph* ADest);

  // Rows; valid only when no layout is pending.
  // A position at its paragraph's end lies in the last row; with APreferNext a wrap boundary gives the next row.
  TRow* FindRow(const TTextPosition& APosition, bool APreferNext, TRow* AHint = nullptr) const;
  // The row at AY, searched from the nearer end of the text; above or below the text the first or last row with
  // AClamp, else nil.
  TRow* FindRowAtY(int32_t AY, bool AClamp) const;
  bool PositionAtPoint(TTextPoint APoint, bool AClamp, bool ARound, const TTextDrag* ADrag, TRow*& ARow,
                       TTextPosition& APosition) const;
  void FindRowsOfRange(const TTextRange& ARange, TRow*& AFirst, TRow*& ALast) const;
  TRect GetCaretRect(const TRow* ARow, const TTextPosition& APosition, int32_t ACaretWidth) const;

  // Painting at the text's origin.
  void PaintParagraphBackgrounds(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState);
  // APaintSelection: a range that ends in a later paragraph shows a 5-pixel block after a selected paragraph end.
  void PaintRange(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, const TTextRange& ARange,
                  TTextPaintFlags AFlags, bool APaintSelection);

  // The host's answers.
  // Whether a row may end between two characters (-1 an embedded element).
  virtual bool CanBreakBetween(int32_t APrev, int32_t ANext) const;
  // A batch of changes ended.
  virtual void Changed() {}
  // Lays out what is flagged; AChanged says whether the text changed.
  virtual void FormatText(bool AChanged);
  virtual TParagraphAttributes* GetDefaultParagraphAttributes() const { return nullptr; }
  virtual TTextAttributes* GetDefaultTextAttributes() const { return nullptr; }
  // Space around each embedded element.
  virtual void GetElementMargins(TRect& ARect) const { ARect = TRect(); }
  // 0 or less: no wrapping.
  virtual int32_t GetWrapWidth() const { return 0; }
  virtual TAttributesClass GetParagraphAttributesClass() const { return &TParagraphAttributes::ClassInfo; }
  virtual bool AllowsLineBreaks() const { return false; }
  virtual bool AllowsTabs() const { return false; }
  virtual TAttributesClass GetTextAttributesClass() const { return &TTextAttributes::ClassInfo; }
  // Do two adjacent characters (-1 none or an element) belong to one word.
  virtual bool IsSameWord(int32_t APrev, int32_t ANext) const;
  virtual void FormatParagraph(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding,
                               const TRect& AMargins);
  // The owner element's padding when it is on a sheet: where the text's origin lies in the owner.
  virtual void GetPadding(TRect& ARect) const { ARect = TRect(); }
  // The canvas's clip rectangle in text coordinates; everything in the base.
  virtual TRect GetClipRect(TCustomSheetCanvas& ACanvas) const;
  // The embedded elements below a changed paragraph follow their text as one batch: ShiftElement for each, then
  // ElementsShifted once. A plain move of each in the base.
  virtual void ShiftElement(IEmbeddedElement* AElement, int32_t ADY) { AElement->MoveEmbedded(0, ADY); }
  virtual void ElementsShifted() {}
  // Whether a layout leaves the embedded elements below a change owing their shifts until they are settled (the
  // Settle members); they follow at the end of every layout in the base.
  virtual bool DefersElementShifts() const { return false; }
  // Whether embedded elements still owe shifts with their text.
  bool OwesElementShifts() const { return FBook && !FBook->ElementShifts.empty(); }
  // Settles what the elements of AParagraph and of the paragraphs before it owe. The Settle members do nothing
  // while a layout runs, which places elements as they stand, or while a settling moves them.
  void SettleElementsThrough(const TParagraph* AParagraph);
  // Settles the elements from the first that owes on, until those of a paragraph and of every one after it lie at
  // or below AY (text coordinates) both where they stand and where they belong.
  void SettleElementsAbove(int32_t AY);
  void SettleElements();

 private:
  friend class TElementPortion;
  friend class TParagraph;
  // Lowers both locks without a layout or a signal: an exception left the update.
  void DropUpdate();
  // Runs AWork inside an update; an exception leaves the update through DropUpdate.
  template <class F>
  void Updating(F&& AWork) {
    BeginUpdate();
    try {
      AWork();
    } catch (...) {
      DropUpdate();
      throw;
    }
    EndUpdate();
  }
  void InsertPortionChars(const TTextPosition& APosition, TPortionKind AKind, TTextAttributes* AAttributes,
                          const char16_t* AText, IEmbeddedElement* AElement, int32_t ACount, TTextRange& ARange);
  TPortion* CreatePortion(TPortionKind AKind, TParagraph* AParagraph, TTextAttributes* AAttributes, TPortion* ABefore,
                          IEmbeddedElement* AElement);
  void LinkParagraph(TParagraph* AParagraph, TParagraph* ABefore);
  // Splits the portions at the range's ends so that the range covers whole portions.
  // Splits APortion so that characters AOffset..AEnd stand alone, keeping ARange's ends on their characters.
  TPortion* SplitPortionForRange(TTextRange& ARange, TPortion* APortion, int32_t AOffset, int32_t AEnd);
  // Narrows ARange to the rows that meet AClip; false when none do.
  bool ClipRange(const TRect& AClip, TTextRange& ARange, TRow*& AFirst, TRow*& ALast) const;
  // Whether row A comes before row B in the text.
  bool RowBefore(const TRow* A, const TRow* B) const;
  // The last paragraph whose top is at or above AY; the first one when none is.
  TParagraph* ParagraphAtY(int32_t AY) const;
  // Lays out one flagged paragraph; a change of its bottom shifts every paragraph after it.
  void FormatOne(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding, const TRect& AMargins);

  // A layout shifts the paragraphs below a changed one by recording the shift in a Fenwick tree over paragraph
  // places; each paragraph applies what it still owes to its rows when they are asked for. The embedded elements
  // follow at the end of the layout, or later when the host defers them, each by the shifts recorded above it since
  // it last followed: an element owes exactly those, for an element placed meanwhile is placed back by what it will
  // be moved. Elements settle as a prefix in text order, and the shifts above the settled ones fold into one below
  // them. So a keystroke costs the changed paragraph and the elements it moves, not the text, and moving an element
  // touches the element alone.
  void EnsureIndexes() const {
    if (!FIndexesValid) MakeIndexes();
  }
  void MakeIndexes() const;
  // Whether AParagraph stands in this text at the place its index says.
  bool HoldsAtIndex(const TParagraph* AParagraph) const;
  void InvalidateIndexes();
  // Whether the width is kept in the book's ExtentTree; then the tree is made when out of date.
  bool UsesExtentTree() const;
  // A paragraph's width changed: its leaf and the nodes above it.
  void ExtentChanged(const TParagraph* AParagraph);
  // AElementsOwe: whether placed elements at and after AFrom owe the shift; none are placed where every paragraph
  // from there on was never laid out, and those a layout places stand where the shift put their paragraph.
  void AddShift(int32_t AFrom, int32_t ADelta, bool AElementsOwe);
  int32_t ShiftAt(int32_t AIndex) const;
  void FlushShifts();
  // The shifts recorded at or above AIndex that its embedded elements still owe.
  int32_t ElementShiftAt(int32_t AIndex) const;
  // Moves the embedded elements of the paragraphs up to AThrough by what they owe; what those after it owe stays.
  void SyncElements(int32_t AThrough = INT32_MAX);
  // Paragraphs the textor keeps track of, in its pool.
  using TParagraphList = TPoolVector<TParagraph*>;
  void AddToList(TParagraphList& AList, TParagraph* AParagraph, int32_t TParagraph::*ASlot);
  static void RemoveFromList(TParagraphList& AList, TParagraph* AParagraph, int32_t TParagraph::*ASlot);

  // Ordered so that a text, of which a document holds thousands, takes no padding between its fields.
  TElementPool* FPool;
  TParagraph* FFirstParagraph = nullptr;
  TParagraph* FLastParagraph = nullptr;
  int32_t FChangeLock = 0;
  int32_t FFormatLock = 0;
  int32_t FFreshFrom = 0;  // during a layout: from this paragraph on, none had been laid out
  // The most that a layout placed an element above its paragraph's top (a row's baseline need not leave room for
  // every element in it); it only grows.
  int32_t FElementRise = 0;
  // What the last layout was made with.
  int32_t FLaidOutWrap = -1;
  mutable int32_t FWidth = 0;
  TRect FLaidOutPadding;
  bool FChangePending = false;
  bool FLayoutPending = false;
  bool FLayoutChanged = false;  // the pending layout follows a change of the text
  bool FFormatting = false;
  bool FLayoutBegun = false;  // until the first layout no paragraph is laid out, and every one waits for it
  bool FShiftPending = false;
  bool FSettling = false;  // elements move by what they owe
  bool FEmbeddedValid = true;  // the book's Embedded lists the elements of its ElementParagraphs
  mutable bool FWidthValid = false;
  mutable bool FExtentTreeValid = false;
  mutable bool FIndexesValid = false;
  // From the pool: every text's first layout makes the first, thousands in a document.
  mutable TParagraphList FParagraphs;  // in text order while the indexes are valid
  TParagraphList FDirty;
  struct TElementEntry {
    int32_t Index;
    IEmbeddedElement* Element;
  };
  struct TElementShift {
    int32_t From;
    int32_t Sum;
  };
  // What only some texts need. Most texts of a document are one paragraph without elements, and go without it; it
  // comes from the pool when first needed.
  struct TBook {
    // The pending shifts by place, for a text of several paragraphs.
    TPoolVector<int32_t> ShiftTree;
    // A long text's width from the paragraphs' widths by place, each node the largest of its two: a keystroke that
    // narrows the widest paragraph finds the next widest without reading every paragraph. Made with the indexes.
    TPoolVector<int32_t> ExtentTree;
    TParagraphList ElementParagraphs;
    // The embedded elements in text order with their paragraphs' places, so that the elements below a shift are
    // moved without reading their paragraphs or portions; made again from ElementParagraphs when an element comes,
    // goes or moves, or the places change.
    TPoolVector<TElementEntry> Embedded;
    // The shifts recorded since the elements last followed, by place, each with the sum of those up to its place;
    // none while no paragraph holds elements.
    TPoolVector<TElementShift> ElementShifts;
  };
  struct TBookFree {
    void operator()(TBook* ABook) const noexcept;
  };
  TBook& Book() const;
  mutable std::unique_ptr<TBook, TBookFree> FBook;
};

inline void TParagraph::Sync() const {
  if (FTextor->FShiftPending) SyncShift();
}

// A word character: a letter, a digit or "_".
bool IsWordChar(int32_t AChar);
