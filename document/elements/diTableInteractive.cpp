#include "document/elements/diTableInteractive.h"

#include "foundation/cuKeys.h"

#include <algorithm>
#include <cstdlib>

namespace {

TTableKind OtherKind(TTableKind AKind) { return AKind == tkRows ? tkColumns : tkRows; }

}  // namespace

TCursor TableZoneCursor(uint8_t AZone) {
  switch (AZone) {
    case tzColumnsBeam:
    case tzSelectingColumns:
      return crTableColumnsBeam;
    case tzRowsBeam:
    case tzSelectingRows:
      return crTableRowsBeam;
    case tzOverSelection:
      return crArrow;
    case tzDragMove:
      return crTableDragMove;
    case tzDragCopy:
      return crTableDragCopy;
    case tzNoDrop:
      return crNoDrop;
    default:
      return crDefault;
  }
}

void TTableInteractive::SetKind(TTableKind AKind, bool AAtEnd) {
  if (AKind == FKind) return;
  int32_t start = 0, end = 0;
  GetSelection(start, end);
  const int32_t at = HasSelection() ? (AAtEnd ? end : start) : FCaret;
  FKind = AKind;
  // Gaps of the old kind mean nothing in the new one: the caret keeps the number, clamped to the new count.
  const int32_t caret = std::clamp(at, 0, std::max(0, Count()));
  SetSelection(caret, caret);
  // The caret turns from a bar between columns to one between rows even where its index stays.
  FCaret = caret;
  Notify(tcCaretMoved, 1, 0);
}

void TTableInteractive::SetCaret(int32_t AIndex) {
  if (AIndex == FCaret) return;
  FCaret = AIndex;
  Notify(tcCaretMoved, 1, 0);
}

void TTableInteractive::SetSelection(int32_t AAnchor, int32_t AEnd) {
  const bool same = (AAnchor == FAnchor && AEnd == FEnd) || (AAnchor == FEnd && AEnd == FAnchor);
  FAnchor = AAnchor;
  FEnd = AEnd;
  if (!same) Notify(tcSelectionChanged, 0, 0);
}

void TTableInteractive::GetSelection(int32_t& AStart, int32_t& AEnd) const {
  AStart = std::min(FAnchor, FEnd);
  AEnd = std::max(FAnchor, FEnd);
}

void TTableInteractive::SetCaretWidth(int32_t AValue) {
  if (AValue == FCaretWidth) return;
  FCaretWidth = AValue;
  Notify(tcCaretMoved, 0, 0);
}

void TTableInteractive::SelectAll() {
  const int32_t count = Count();
  SetSelection(0, count);
  SetCaret(count);
}

void TTableInteractive::CancelMode() {
  SetState(TTableState::tsIdle);
  UpdateCursorZone(FCurrentPoint);
}

void TTableInteractive::SetState(TTableState AState) {
  if (AState == FState) return;
  FState = AState;
  Notify(tcStateChanged, 0, 0);
}

void TTableInteractive::SetCursorZone(uint8_t AZone) {
  if (AZone == FCursorZone) return;
  FCursorZone = AZone;
  Notify(tcCursorZoneChanged, 0, 0);
}

bool TTableInteractive::HitTest(TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex) const {
  AIndex = -1;
  return FHitTest && FHitTest(APoint, AKind, AHit, AIndex);
}

void TTableInteractive::MoveCaret(int32_t AIndex, bool AExtend) {
  const int32_t caret = std::clamp(AIndex, 0, std::max(0, Count()));
  SetSelection(AExtend ? FAnchor : caret, caret);
  SetCaret(caret);
}

bool TTableInteractive::IsOverSelection(TVisualPoint APoint) const {
  if (!HasSelection()) return false;
  int32_t index = -1, start = 0, end = 0;
  GetSelection(start, end);
  return HitTest(APoint, FKind, thIndex, index) && index >= start && index < end;
}

bool TTableInteractive::CanDropAt(int32_t AIndex) const {
  int32_t start = 0, end = 0;
  GetSelection(start, end);
  // Inside the selection the drop would land in what a move deletes; at its edges it would change nothing.
  return AIndex < start || AIndex > end;
}

uint8_t TTableInteractive::DragZone(TVisualPoint APoint, bool ACopy) const {
  int32_t gap = -1;
  if (!CanEdit() || !HitTest(APoint, FKind, thGap, gap) || !CanDropAt(gap)) return tzNoDrop;
  return ACopy ? tzDragCopy : tzDragMove;
}

void TTableInteractive::UpdateCursorZone(TVisualPoint APoint) {
  FCurrentPoint = APoint;
  if (FState != TTableState::tsIdle) return;
  int32_t index = -1;
  if (CanDrag() && IsOverSelection(APoint))
    SetCursorZone(tzOverSelection);
  else if (HitTest(APoint, tkColumns, thBeam, index))
    SetCursorZone(tzColumnsBeam);
  else if (HitTest(APoint, tkRows, thBeam, index))
    SetCursorZone(tzRowsBeam);
  else
    SetCursorZone(tzNone);
}

// ---------------------------------------------------------------------------------------------------------------
// Keys

void TTableInteractive::DeleteStep(bool AForward) {
  if (!HasSelection()) {
    const int32_t count = Count();
    const int32_t from = std::clamp(AForward ? FCaret : FCaret - 1, 0, count);
    const int32_t to = std::clamp(AForward ? FCaret + 1 : FCaret, 0, count);
    // Backspace at the first gap or Delete at the last: nothing to delete.
    if (from == to) return;
    SetSelection(from, to);
  }
  Notify(tcDeleteSelection, 0, 0);
}

bool TTableInteractive::KeyMove(uint16_t AKey, TShiftKeys AShift) {
  const bool extend = AShift.Contains(skShift);
  switch (AKey) {
    case vkHome:
      MoveCaret(0, extend);
      return true;
    case vkEnd:
      MoveCaret(Count(), extend);
      return true;
    default:
      break;
  }
  const bool back = FKind == tkColumns ? AKey == vkLeft : AKey == vkUp;
  const bool forward = FKind == tkColumns ? AKey == vkRight : AKey == vkDown;
  if (!back && !forward) {
    // The arrows across the caret lead into the cell it stands for, Right and Down to its start: the table keeps
    // them, so that none leaves it from a caret the mouse placed.
    const bool across = AKey == vkLeft || AKey == vkRight || AKey == vkUp || AKey == vkDown;
    if (!across || !AShift.Empty() || !FEnterCell) return false;
    const int32_t column = FKind == tkColumns ? CaretSeries() : FOtherIndex;
    const int32_t row = FKind == tkColumns ? FOtherIndex : CaretSeries();
    return FEnterCell(column, row, AKey == vkRight || AKey == vkDown);
  }
  const int32_t count = Count();
  const int32_t cell = back ? FCaret - 1 : FCaret;
  if (AShift.Empty() && cell >= 0 && cell < count && FEnterCell) {
    const int32_t column = FKind == tkColumns ? cell : FOtherIndex;
    const int32_t row = FKind == tkColumns ? FOtherIndex : cell;
    if (FEnterCell(column, row, forward)) return true;
  }
  const int32_t target = back ? FCaret - 1 : FCaret + 1;
  // Past the first or the last gap the key is the host's, which moves the focus on.
  if (target < 0 || target > count) return false;
  MoveCaret(target, extend);
  return true;
}

void TTableInteractive::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (FState == TTableState::tsDragging) {
    if (AKey == vkControl) {
      SetCursorZone(DragZone(FCurrentPoint, true));
      AKey = 0;
    } else if (AKey == vkEscape) {
      CancelMode();
      AKey = 0;
    }
    return;
  }
  if (FState != TTableState::tsIdle) return;
  if (AKey == vkBack || AKey == vkDelete) {
    if (!CanEdit()) return;
    DeleteStep(AKey == vkDelete);
    AKey = 0;
    return;
  }
  if (KeyMove(AKey, AShift)) AKey = 0;
}

void TTableInteractive::KeyUp(uint16_t& AKey, TShiftKeys AShift) {
  if (FState == TTableState::tsDragging && AKey == vkControl) {
    SetCursorZone(DragZone(FCurrentPoint, false));
    AKey = 0;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

void TTableInteractive::MouseDown(TVisualPoint APoint, bool AShift) {
  FDownPoint = APoint;
  FCurrentPoint = APoint;
  if (CanDrag() && !AShift && IsOverSelection(APoint)) {
    SetState(TTableState::tsDragPending);
    return;
  }
  TTableKind kind = FKind;
  int32_t gap = -1;
  if (!HitTest(APoint, kind, thBeam, gap)) {
    kind = OtherKind(FKind);
    if (!HitTest(APoint, kind, thBeam, gap)) {
      kind = FKind;
      if (!HitTest(APoint, kind, thGap, gap)) return;
    }
  }
  const bool extend = AShift && kind == FKind;
  SetKind(kind, false);
  MoveCaret(gap, extend);
  SetState(TTableState::tsSelecting);
  SetCursorZone(FKind == tkColumns ? tzSelectingColumns : tzSelectingRows);
}

void TTableInteractive::MouseMove(TVisualPoint APoint, bool ACopy) {
  FCurrentPoint = APoint;
  int32_t gap = -1;
  switch (FState) {
    case TTableState::tsSelecting:
      if (HitTest(APoint, FKind, thGap, gap)) MoveCaret(gap, true);
      break;
    case TTableState::tsDragPending:
      if (std::abs(APoint.X - FDownPoint.X) > FDragThreshold.X ||
          std::abs(APoint.Y - FDownPoint.Y) > FDragThreshold.Y) {
        SetState(TTableState::tsDragging);
        Notify(tcDragStarted, 0, 0);
        SetCursorZone(DragZone(APoint, ACopy));
      }
      break;
    case TTableState::tsDragging:
      SetCursorZone(DragZone(APoint, ACopy));
      break;
    default:
      UpdateCursorZone(APoint);
      break;
  }
}

void TTableInteractive::MouseUp(TVisualPoint APoint, bool ACopy) {
  FCurrentPoint = APoint;
  int32_t gap = -1;
  switch (FState) {
    case TTableState::tsDragPending:
      // A press that never became a drag is a click: the caret goes where it was.
      if (HitTest(APoint, FKind, thGap, gap)) MoveCaret(gap, false);
      break;
    case TTableState::tsDragging:
      if (CanEdit() && HitTest(APoint, FKind, thGap, gap) && CanDropAt(gap)) Notify(tcDropped, gap, ACopy ? 1 : 0);
      break;
    default:
      break;
  }
  SetState(TTableState::tsIdle);
  UpdateCursorZone(APoint);
}
