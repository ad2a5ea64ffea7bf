// Keyboard and mouse control of one text while it is edited: caret, selection, the mouse's zones and cursors,
// dragging and dropping text. It never changes the text; every edit goes to its host as a notification.
//
// The caret and the selection are kept as index positions, never as text positions or rows: edits and layouts
// (link detection among them) free and split the portions and rows such records would point into. They are turned
// into text positions and rows when asked, so the text must be laid out whenever the interactive is called.
#pragma once

#include "document/model/diTextorAttributes.h"
#include "document/model/diVisualElement.h"
#include "document/text/diTextor.h"
#include "foundation/cuClasses.h"
#include "foundation/cuSet.h"
#include "foundation/cuUtils.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

// The text cursors, registered at start-up from the program's resources of the same names.
constexpr TCursor crTextorFieldBeam = 10;
constexpr TCursor crTextorFieldElementsBeam = 11;
constexpr TCursor crTextorFieldDropDownBeam = 12;
constexpr TCursor crTextorContainerBeam = 13;
constexpr TCursor crTextorContainerTextBeam = 14;
constexpr TCursor crTextorLeftZone = 15;
constexpr TCursor crTextorDragMove = 16;
constexpr TCursor crTextorDragCopy = 17;

// The zones of the mouse over a text, each with its cursor (TextorZoneCursor).
enum : uint8_t {
  czFieldBeam = 0,
  czFieldElementsBeam = 1,
  czFieldDropDownBeam = 2,
  czContainerBeam = 3,
  czContainerTextBeam = 4,
  czLeftZone = 5,
  czRowSelection = 6,
  czOverSelection = 7,
  czDragMove = 8,
  czDragCopy = 9,
  czNoDrop = 10,
  czLink = 11,
};

// The cursor of AZone; only its low seven bits count, and zones past the table show the default cursor.
TCursor TextorZoneCursor(uint8_t AZone);

// What the host lets the interactive do; the bits are those of the host's option word.
enum class TInteractiveOption : uint16_t {
  ioLeftZone = 0x0001,               // a press left of a row's start - 4 selects whole rows
  ioDoubleClickSelectsRow = 0x0002,  // instead of a word
  ioDragDrop = 0x0004,               // the selection can be dragged
  ioSelectionTail = 0x0008,          // a selected paragraph end shows a 5-pixel block that hit tests see
  ioClickActivatesLink = 0x0010,
  ioDoubleClickActivatesLink = 0x0020,
  ioCtrlEnterActivatesLink = 0x0040,
  ioSwapEnter = 0x0080,  // Ctrl+Enter breaks the line, plain Enter does not
  ioSwapTab = 0x0100,    // Ctrl+Tab types a tab, plain Tab does not
  ioBeamText = 0x0200,   // the beam flags choose the cursor over text (GetCursorZone)
  ioBeamElements = 0x0400,
  ioBeamDropDown = 0x0800,
  ioBeamContainer = 0x1000,
};
constexpr bool IsFlagFamily(TInteractiveOption) { return true; }
using enum TInteractiveOption;
using TInteractiveOptions = TSet<TInteractiveOption>;

enum class TInteractiveState : uint8_t {
  isIdle,
  isSelecting,     // left press on text until release
  isRowSelection,  // left press in the left zone until release
  isDragPending,   // left press inside the selection, until release or a move past the drag threshold
  isDragging,      // until release, which drops
};

class TTextorInteractive;

// Notification codes (TItfObject::Notify); the parameters follow each code.
enum : intptr_t {
  tnCaretMoved = 1,  // 1 when the caret's position or row changed, 0 when only its width did
  tnSelectionChanged = 2,
  tnStateChanged = 3,
  tnCursorZoneChanged = 4,
  tnDragStarted = 5,
  tnDrop = 6,              // a TTextDrop*: insert a copy of the source's selection at the position
  tnActivateLink = 7,      // a const TTextPosition* of a link character, valid for the call only
  tnReplaceSelection = 8,  // a const std::u16string* to type over the selection; nil deletes the selection
};

// A drop of another interactive's selection (or this one's) at this caret. The host inserts a copy at Position
// and, when it did, sets Inserted and the range the copy took; only then does a move delete the source's text.
struct TTextDrop {
  TTextorInteractive* Source = nullptr;
  TTextPosition Position;
  bool Inserted = false;
  TIndexRange InsertedRange;
};

class TTextorInteractive : public TItfObject {
 public:
  // The textor must be laid out. The caret goes to the start of the text.
  explicit TTextorInteractive(TTextor* ATextor);

  TTextor* Textor() const { return FTextor; }
  TInteractiveOptions Options() const { return FOptions; }
  void SetOptions(TInteractiveOptions AValue) { FOptions = AValue; }
  // When 1 or more, Tab types that many spaces.
  int32_t TabSpaces() const { return FTabSpaces; }
  void SetTabSpaces(int32_t AValue) { FTabSpaces = AValue; }
  // How far the pointer must move from a press before a drag starts; the host gives the system's setting.
  void SetDragThreshold(int32_t AX, int32_t AY);
  // Whether the host lets the text be edited now; unassigned, it always does.
  void SetCanEdit(std::function<bool()> AValue) { FCanEdit = std::move(AValue); }

  TInteractiveState State() const { return FState; }
  uint8_t CursorZone() const { return FCursorZone; }
  TCursor Cursor() const { return TextorZoneCursor(FCursorZone); }
  // The zone over text that the beam options choose.
  uint8_t GetCursorZone() const;

  // Keys: a consumed key is set to 0 so that the host does not act on it too.
  void KeyDown(uint16_t& AKey, TShiftKeys AShift);
  // AShift as the key came: a character typed with Ctrl is a shortcut unless Alt is down too (AltGr).
  void KeyPress(char16_t& AKey, TShiftKeys AShift);
  void KeyUp(uint16_t& AKey, TShiftKeys AShift);
  // Points in text coordinates; ACopy while Ctrl is held.
  void MouseDown(TTextPoint APoint, bool ALeft, bool ADoubleClick, bool ATripleClick, bool AShift);
  void MouseMove(TTextPoint APoint, bool ACopy);
  void MouseUp(TTextPoint APoint, bool ALeft, bool ACopy);
  // AFlags: tpSelection shows the selection, tpWhiteSpace the white-space symbols.
  void Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, TTextPaintFlags AFlags);

  // Caret and selection.
  TIndexPosition CaretIndex() const { return FCaret; }
  TIndexRange SelectionIndex() const;
  TTextPosition GetCaretPosition() const;
  TRow* GetCaretRow() const;
  TRect GetCaretRect() const;
  int32_t CaretWidth() const { return FCaretWidth; }
  void SetCaretWidth(int32_t AWidth);
  bool HasSelection() const { return !(FAnchor == FEnd); }
  // Ordered.
  TTextRange GetSelection() const;
  std::u16string GetSelectedText() const;
  void SelectAll();
  // The caret goes to ARange's end.
  void SetSelection(const TTextRange& ARange);
  void SelectRange(const TTextRange& ARange, bool ACaretAtStart);
  // Collapses the selection there; at a wrap boundary the caret shows at the start of the next row.
  void SetCaretPosition(const TTextPosition& APosition);
  void CollapseSelection();
  // The attributes typed text takes: those set since the caret last moved, else those at the caret.
  TTextAttributes* GetTypingAttributes() const;
  void SetTypingAttributes(TTextAttributes* AAttributes);

  // Host support.
  bool CanEdit();
  // Asks the host to delete the selection (tnReplaceSelection without text); false when nothing was asked.
  bool DeleteSelection();
  // The caret follows the pointer while another interactive's or this one's selection is dragged over the text.
  void DragOver(TTextPoint APoint, bool ACopy = false);
  // Drops ASource's selection at this caret; false when nothing changed.
  bool DropFrom(TTextorInteractive* ASource, bool ACopy);
  void CancelMode();
  // After the host laid the text out again: the caret and the selection are brought inside the text.
  void TextLaidOut();

 private:
  // The one setter of caret and selection; ARow tells a caret at a wrap boundary which row it shows in.
  bool SetCaretAndSelection(const TRow* ARow, const TTextPosition& ACaret, const TTextPosition& AEnd,
                            const TTextPosition& AAnchor);
  void MoveCaret(const TRow* ARow, const TTextPosition& APosition, bool AExtend, bool AKeepSelection);
  bool MoveCaretToPoint(TTextPoint APoint, bool AKeepSelection, bool AExtend);
  void SetState(TInteractiveState AState);
  void SetCursorZone(uint8_t AZone);
  void UpdateHoverCursor();
  uint8_t DragZone(bool ACopy);
  bool KeyMove(uint16_t AKey, TShiftKeys AShift);
  bool DeleteChar(bool AForwards);
  bool EnterElement(bool AForwards);
  // The element under AX in ARow, when it takes Up or Down.
  bool EnterElementVertically(const TRow* ARow, int32_t AX, bool AForwards);
  bool GetLinkAtCaret(TTextPosition& APosition) const;
  bool LinkAtPoint(TTextPoint APoint, bool AClamp, TTextPosition& APosition) const;
  bool IsPointInSelection(TTextPoint APoint) const;
  // The row from its start to the next row's start in the text (the paragraph break included), else its end.
  TTextRange WholeRows(const TRow* AFirst, const TRow* ALast) const;
  void SelectRows(const TRow* AFirst, const TRow* ALast);
  TTextDrag Drag() const;
  TTextPosition ToPosition(const TIndexPosition& AIndex) const;
  TIndexPosition Clamped(const TIndexPosition& AIndex) const;

  TTextor* FTextor;
  TTextPoint FDownPoint;
  TTextPoint FCurrentPoint;
  TTextPoint FDragThreshold{4, 4};
  TAttributesRef<TTextAttributes> FTypingAttributes;
  int32_t FCaretWidth = 1;
  TIndexPosition FCaret;
  TIndexPosition FAnchor;
  TIndexPosition FEnd;
  // At a wrap boundary the caret shows at the start of the next row rather than at the end of its own.
  bool FCaretOnNextRow = false;
  // The start of the row where a left-zone row selection started.
  TIndexPosition FAnchorRowStart;
  uint8_t FCursorZone = czFieldBeam;
  int32_t FTabSpaces = 0;
  TInteractiveState FState = TInteractiveState::isIdle;
  TInteractiveOptions FOptions;
  std::function<bool()> FCanEdit;
};
