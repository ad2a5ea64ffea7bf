// Keyboard and mouse control of a table while it has the focus: a caret between rows or between columns, a
// selection of whole rows or whole columns, and the dragging of that selection. It knows nothing of cells and
// changes nothing itself: the table answers its questions through callbacks and hears every request as a
// notification.
#pragma once

#include "document/model/diVisualElement.h"
#include "foundation/cuClasses.h"
#include "foundation/cuUtils.h"

#include <algorithm>
#include <cstdint>
#include <functional>

// The table cursors, registered at start-up from the program's resources of the same names.
constexpr TCursor crTableColumnsBeam = 30;
constexpr TCursor crTableRowsBeam = 31;
constexpr TCursor crTableDragMove = 32;
constexpr TCursor crTableDragCopy = 33;

// What the caret and the selection refer to; the values are those of the stored edit kind.
enum class TTableKind : uint8_t { tkColumns = 0, tkRows = 1 };
using enum TTableKind;

enum class TTableState : uint8_t {
  tsIdle,
  tsSelecting,    // a left press on a beam, until release
  tsDragPending,  // a left press on a draggable selection, until release or a move past the drag threshold
  tsDragging,     // until release, which drops
};

// The zones of the mouse over a table, each with its cursor (TableZoneCursor).
enum : uint8_t {
  tzNone = 0,
  tzColumnsBeam = 1,
  tzRowsBeam = 2,
  tzOverSelection = 3,
  tzSelectingColumns = 4,
  tzSelectingRows = 5,
  tzDragMove = 6,
  tzDragCopy = 7,
  tzNoDrop = 8,
};

TCursor TableZoneCursor(uint8_t AZone);

// Notification codes (TItfObject::Notify); the parameters follow each code.
enum : intptr_t {
  tcCaretMoved = 1,  // 1 asks to scroll to the caret
  tcSelectionChanged = 2,
  tcStateChanged = 3,
  tcCursorZoneChanged = 4,
  tcDragStarted = 5,
  tcDropped = 7,  // the gap the selection was dropped at, and 1 for a copy
  tcDeleteSelection = 8,
};

// How the table's hit test answers for one kind.
enum class TTableHit : uint8_t {
  thIndex,  // the row or column whose cells' extent holds the point; none outside them
  thGap,    // the nearest gap: a point in the second half of a row or column counts for the next one; outside the
            // grid the first or the last gap
  thBeam,   // the gap whose spacing or padding holds the point (the beam of that kind); none over a row or column
};
using enum TTableHit;

class TTableInteractive : public TItfObject {
 public:
  using TCanEditFunc = std::function<bool()>;
  // Asks the cell at (column, row) to take the focus, entered from its start (forward) or its end; false when the
  // cell does not exist or did not take it.
  using TEnterCellFunc = std::function<bool(int32_t AColumn, int32_t ARow, bool AForward)>;
  using TCountFunc = std::function<int32_t(TTableKind AKind)>;
  using THitTestFunc = std::function<bool(TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex)>;

  TTableInteractive() = default;

  void SetCanEdit(TCanEditFunc AValue) { FCanEdit = std::move(AValue); }
  void SetEnterCell(TEnterCellFunc AValue) { FEnterCell = std::move(AValue); }
  void SetCount(TCountFunc AValue) { FCount = std::move(AValue); }
  void SetHitTest(THitTestFunc AValue) { FHitTest = std::move(AValue); }
  // How far the pointer must move from a press before a drag starts; the host gives the system's setting.
  void SetDragThreshold(int32_t AX, int32_t AY) { FDragThreshold = {AX, AY}; }
  // A selection may be dragged: the option is on and the table can be edited, as a drop changes it.
  bool CanDrag() const { return FCanDrag && CanEdit(); }
  void SetCanDrag(bool AValue) { FCanDrag = AValue; }

  TTableKind Kind() const { return FKind; }
  // Switching the kind collapses the selection to a caret at its start, or at its end with AAtEnd.
  void SetKind(TTableKind AKind, bool AAtEnd);
  int32_t Caret() const { return FCaret; }
  void SetCaret(int32_t AIndex);
  int32_t Anchor() const { return FAnchor; }
  int32_t End() const { return FEnd; }
  void SetSelection(int32_t AAnchor, int32_t AEnd);
  // The ordered range: the smaller index first.
  void GetSelection(int32_t& AStart, int32_t& AEnd) const;
  bool HasSelection() const { return FAnchor != FEnd; }
  int32_t CaretWidth() const { return FCaretWidth; }
  void SetCaretWidth(int32_t AValue);
  // The row (column kind) or column (row kind) where keyboard moves enter cells.
  int32_t OtherIndex() const { return FOtherIndex; }
  // The row (row kind) or column the caret stands for: the first of the selection, else the one after the caret's
  // gap; it may be the count, past the last.
  int32_t CaretSeries() const { return HasSelection() ? std::min(FAnchor, FEnd) : FCaret; }
  void SetOtherIndex(int32_t AValue) { FOtherIndex = AValue; }
  TTableState State() const { return FState; }
  uint8_t CursorZone() const { return FCursorZone; }
  TCursor Cursor() const { return TableZoneCursor(FCursorZone); }

  bool CanEdit() const { return !FCanEdit || FCanEdit(); }
  int32_t Count() const { return FCount ? FCount(FKind) : 0; }
  void DeleteSelection() { Notify(tcDeleteSelection, 0, 0); }
  void SelectAll();
  void CancelMode();

  // A consumed key is set to 0 so that the host does not act on it too.
  void KeyDown(uint16_t& AKey, TShiftKeys AShift);
  void KeyUp(uint16_t& AKey, TShiftKeys AShift);
  // Points in table coordinates; ACopy while Ctrl is held.
  void MouseDown(TVisualPoint APoint, bool AShift);
  void MouseMove(TVisualPoint APoint, bool ACopy);
  void MouseUp(TVisualPoint APoint, bool ACopy);
  // The zone of an idle pointer at APoint.
  void UpdateCursorZone(TVisualPoint APoint);
  // The zone again at the last pointer position, after the grid changed under it.
  void RefreshCursorZone() { UpdateCursorZone(FCurrentPoint); }

 private:
  void SetState(TTableState AState);
  void SetCursorZone(uint8_t AZone);
  bool HitTest(TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex) const;
  // The caret at AIndex, clamped to the gaps; AExtend keeps the anchor, else the selection collapses there.
  void MoveCaret(int32_t AIndex, bool AExtend);
  bool IsOverSelection(TVisualPoint APoint) const;
  // Whether the dragged selection may land at gap AIndex: never inside it or at its edges.
  bool CanDropAt(int32_t AIndex) const;
  uint8_t DragZone(TVisualPoint APoint, bool ACopy) const;
  bool KeyMove(uint16_t AKey, TShiftKeys AShift);
  void DeleteStep(bool AForward);

  TVisualPoint FDownPoint;
  TVisualPoint FCurrentPoint;
  TVisualPoint FDragThreshold{4, 4};
  int32_t FCaretWidth = 1;
  TTableKind FKind = tkRows;
  int32_t FCaret = 0;
  int32_t FAnchor = 0;
  int32_t FEnd = 0;
  uint8_t FCursorZone = tzNone;
  TTableState FState = TTableState::tsIdle;
  bool FCanDrag = false;
  int32_t FOtherIndex = 0;
  TCanEditFunc FCanEdit;
  TEnterCellFunc FEnterCell;
  TCountFunc FCount;
  THitTestFunc FHitTest;
};
