#include "document/text/diTextorInteractive.h"

#include "foundation/cuKeys.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

bool operator<(const TIndexPosition& A, const TIndexPosition& B) {
  return A.ParagraphIndex != B.ParagraphIndex ? A.ParagraphIndex < B.ParagraphIndex : A.CharIndex < B.CharIndex;
}

// Where AIndex lies once AInserted was inserted at its start; what lies before stays.
TIndexPosition AfterInsertion(const TIndexPosition& AIndex, const TIndexRange& AInserted) {
  if (AIndex < AInserted.Start) return AIndex;
  const int32_t paragraphs = AInserted.End.ParagraphIndex - AInserted.Start.ParagraphIndex;
  if (AIndex.ParagraphIndex != AInserted.Start.ParagraphIndex)
    return {AIndex.ParagraphIndex + paragraphs, AIndex.CharIndex};
  return {AInserted.End.ParagraphIndex, AInserted.End.CharIndex + AIndex.CharIndex - AInserted.Start.CharIndex};
}

// Where AIndex lies once ADeleted is gone; inside it, at its start.
TIndexPosition AfterDeletion(const TIndexPosition& AIndex, const TIndexRange& ADeleted) {
  if (!(ADeleted.Start < AIndex)) return AIndex;
  if (AIndex < ADeleted.End) return ADeleted.Start;
  const int32_t paragraphs = ADeleted.End.ParagraphIndex - ADeleted.Start.ParagraphIndex;
  if (AIndex.ParagraphIndex != ADeleted.End.ParagraphIndex)
    return {AIndex.ParagraphIndex - paragraphs, AIndex.CharIndex};
  return {ADeleted.Start.ParagraphIndex, ADeleted.Start.CharIndex + AIndex.CharIndex - ADeleted.End.CharIndex};
}

bool IsLink(const TPortion* APortion) {
  const TTextAttributes* attributes = APortion ? APortion->GetAttributes() : nullptr;
  return attributes && attributes->LinkFlag() != 0;
}

}  // namespace

TCursor TextorZoneCursor(uint8_t AZone) {
  static constexpr TCursor cursors[] = {
      crTextorFieldBeam,
      crTextorFieldElementsBeam,
      crTextorFieldDropDownBeam,
      crTextorContainerBeam,
      crTextorContainerTextBeam,
      crTextorLeftZone,
      crTextorLeftZone,
      crArrow,
      crTextorDragMove,
      crTextorDragCopy,
      crNoDrop,
      crHandPoint,
  };
  const uint8_t zone = AZone & 0x7F;
  return zone < std::size(cursors) ? cursors[zone] : crDefault;
}

TTextorInteractive::TTextorInteractive(TTextor* ATextor) : FTextor(ATextor) {}

void TTextorInteractive::SetDragThreshold(int32_t AX, int32_t AY) { FDragThreshold = {AX, AY}; }

uint8_t TTextorInteractive::GetCursorZone() const {
  if (FOptions.Contains(ioBeamDropDown)) return czFieldDropDownBeam;
  if (FOptions.Contains(ioBeamContainer)) return FOptions.Contains(ioBeamText) ? czContainerTextBeam : czContainerBeam;
  return FOptions.Contains(ioBeamElements) ? czFieldElementsBeam : czFieldBeam;
}

// ---------------------------------------------------------------------------------------------------------------
// Caret and selection

TIndexPosition TTextorInteractive::Clamped(const TIndexPosition& AIndex) const {
  const int32_t paragraph = std::clamp(AIndex.ParagraphIndex, 0, FTextor->ParagraphCount() - 1);
  const int32_t length = FTextor->ParagraphAt(paragraph)->CharIndexOf(nullptr, 0);
  return {paragraph, std::clamp(AIndex.CharIndex, 0, length)};
}

TTextPosition TTextorInteractive::ToPosition(const TIndexPosition& AIndex) const {
  TTextPosition position;
  if (!FTextor->IndexToPosition(AIndex, position)) FTextor->IndexToPosition(Clamped(AIndex), position);
  return position;
}

TTextPosition TTextorInteractive::GetCaretPosition() const { return ToPosition(FCaret); }

TRow* TTextorInteractive::GetCaretRow() const { return FTextor->FindRow(GetCaretPosition(), FCaretOnNextRow); }

TRect TTextorInteractive::GetCaretRect() const {
  const TTextPosition caret = GetCaretPosition();
  return FTextor->GetCaretRect(FTextor->FindRow(caret, FCaretOnNextRow), caret, FCaretWidth);
}

void TTextorInteractive::SetCaretWidth(int32_t AWidth) {
  if (AWidth == FCaretWidth) return;
  FCaretWidth = AWidth;
  Notify(tnCaretMoved, 0, 0);
}

TIndexRange TTextorInteractive::SelectionIndex() const {
  return FEnd < FAnchor ? TIndexRange{FEnd, FAnchor} : TIndexRange{FAnchor, FEnd};
}

TTextRange TTextorInteractive::GetSelection() const {
  const TIndexRange selection = SelectionIndex();
  return {ToPosition(selection.Start), ToPosition(selection.End)};
}

std::u16string TTextorInteractive::GetSelectedText() const { return FTextor->GetRangeText(GetSelection()); }

bool TTextorInteractive::SetCaretAndSelection(const TRow* ARow, const TTextPosition& ACaret, const TTextPosition& AEnd,
                                              const TTextPosition& AAnchor) {
  const TIndexPosition caret = FTextor->PositionToIndex(ACaret);
  const TIndexPosition end = FTextor->PositionToIndex(AEnd);
  const TIndexPosition anchor = FTextor->PositionToIndex(AAnchor);
  const TRow* row = ARow ? ARow : FTextor->FindRow(ACaret, true);
  const bool moved = !(caret == FCaret) || row != GetCaretRow();
  const bool selectionChanged =
      !((anchor == FAnchor && end == FEnd) || (anchor == FEnd && end == FAnchor) || (anchor == end && !HasSelection()));
  FCaret = caret;
  FEnd = end;
  FAnchor = anchor;
  // A row that starts where the one before it ends shows a caret at that boundary.
  FCaretOnNextRow = row && row->GetPreviousRow() && row->GetStartPosition() == ACaret;
  FTypingAttributes = {};
  if (moved) Notify(tnCaretMoved, 1, 0);
  if (selectionChanged) Notify(tnSelectionChanged, 0, 0);
  return moved || selectionChanged;
}

void TTextorInteractive::MoveCaret(const TRow* ARow, const TTextPosition& APosition, bool AExtend,
                                   bool AKeepSelection) {
  if (AKeepSelection) {
    SetCaretAndSelection(ARow, APosition, ToPosition(FEnd), ToPosition(FAnchor));
  } else if (AExtend) {
    SetCaretAndSelection(ARow, APosition, APosition, ToPosition(HasSelection() ? FAnchor : FCaret));
  } else {
    SetCaretAndSelection(ARow, APosition, APosition, APosition);
  }
}

TTextDrag TTextorInteractive::Drag() const { return {FDownPoint, FCurrentPoint, FDragThreshold.X, FDragThreshold.Y}; }

bool TTextorInteractive::MoveCaretToPoint(TTextPoint APoint, bool AKeepSelection, bool AExtend) {
  const TTextDrag drag = Drag();
  TRow* row = nullptr;
  TTextPosition position;
  FTextor->PositionAtPoint(APoint, true, true, AExtend ? &drag : nullptr, row, position);
  if (!row) return false;
  MoveCaret(row, position, AExtend, AKeepSelection);
  return true;
}

void TTextorInteractive::SelectAll() { SelectRange(FTextor->GetWholeRange(), false); }

void TTextorInteractive::SetSelection(const TTextRange& ARange) { SelectRange(ARange, false); }

void TTextorInteractive::SelectRange(const TTextRange& ARange, bool ACaretAtStart) {
  const TTextPosition& caret = ACaretAtStart ? ARange.Start : ARange.End;
  const TTextPosition& anchor = ACaretAtStart ? ARange.End : ARange.Start;
  SetCaretAndSelection(FTextor->FindRow(caret, false), caret, caret, anchor);
}

void TTextorInteractive::SetCaretPosition(const TTextPosition& APosition) {
  SetCaretAndSelection(FTextor->FindRow(APosition, true), APosition, APosition, APosition);
}

void TTextorInteractive::CollapseSelection() {
  const TTextPosition caret = GetCaretPosition();
  SetCaretAndSelection(GetCaretRow(), caret, caret, caret);
}

TTextAttributes* TTextorInteractive::GetTypingAttributes() const {
  return FTypingAttributes ? FTypingAttributes.get() : FTextor->GetAttributesAt(GetCaretPosition());
}

void TTextorInteractive::SetTypingAttributes(TTextAttributes* AAttributes) {
  FTypingAttributes = TAttributesRef<TTextAttributes>(AAttributes);
}

void TTextorInteractive::TextLaidOut() {
  const TIndexPosition caret = Clamped(FCaret), end = Clamped(FEnd), anchor = Clamped(FAnchor);
  FAnchorRowStart = Clamped(FAnchorRowStart);
  if (caret == FCaret && end == FEnd && anchor == FAnchor) return;
  SetCaretAndSelection(nullptr, ToPosition(caret), ToPosition(end), ToPosition(anchor));
}

TTextRange TTextorInteractive::WholeRows(const TRow* AFirst, const TRow* ALast) const {
  const TRow* next = ALast->GetNextTextRow();
  return {AFirst->GetStartPosition(), next ? next->GetStartPosition() : ALast->GetEndPosition()};
}

void TTextorInteractive::SelectRows(const TRow* AFirst, const TRow* ALast) {
  SelectRange(WholeRows(AFirst, ALast), false);
}

// ---------------------------------------------------------------------------------------------------------------
// States and cursors

void TTextorInteractive::SetState(TInteractiveState AState) {
  if (AState == FState) return;
  FState = AState;
  Notify(tnStateChanged, 0, 0);
}

void TTextorInteractive::SetCursorZone(uint8_t AZone) {
  if (AZone == FCursorZone) return;
  FCursorZone = AZone;
  Notify(tnCursorZoneChanged, 0, 0);
}

uint8_t TTextorInteractive::DragZone(bool ACopy) { return !CanEdit() ? czNoDrop : ACopy ? czDragCopy : czDragMove; }

bool TTextorInteractive::LinkAtPoint(TTextPoint APoint, bool AClamp, TTextPosition& APosition) const {
  TRow* row = nullptr;
  return FTextor->PositionAtPoint(APoint, AClamp, false, nullptr, row, APosition) && IsLink(APosition.Portion);
}

bool TTextorInteractive::IsPointInSelection(TTextPoint APoint) const {
  const TRow* row = FTextor->FindRowAtY(APoint.Y, false);
  if (!row) return false;
  const TTextRange selection = GetSelection();
  TTextPosition position;
  if (row->PositionAtX(APoint.X, false, nullptr, position)) return FTextor->IsPositionInRange(position, selection);
  // The 5-pixel block after a selected paragraph end belongs to the selection too.
  if (!FOptions.Contains(ioSelectionTail) || row != row->GetParagraph()->LastRow()) return false;
  const int32_t right = row->GetLeft() + row->Width;
  return APoint.X >= right && APoint.X < right + 5 &&
         FTextor->IsPositionInRange(row->GetParagraph()->GetEndPosition(), selection);
}

void TTextorInteractive::UpdateHoverCursor() {
  const TRow* row = FTextor->FindRowAtY(FCurrentPoint.Y, false);
  TTextPosition link;
  if (FOptions.Contains(ioLeftZone) && row && FCurrentPoint.X < row->GetLeft() - 4) {
    SetCursorZone(czLeftZone);
  } else if (FOptions.Contains(ioDragDrop) && HasSelection() && IsPointInSelection(FCurrentPoint)) {
    SetCursorZone(czOverSelection);
  } else if (FOptions.ContainsAny(ioClickActivatesLink | ioDoubleClickActivatesLink) &&
             LinkAtPoint(FCurrentPoint, false, link)) {
    SetCursorZone(czLink);
  } else {
    SetCursorZone(GetCursorZone());
  }
}

void TTextorInteractive::CancelMode() { SetState(TInteractiveState::isIdle); }

bool TTextorInteractive::CanEdit() { return !FCanEdit || FCanEdit(); }

// ---------------------------------------------------------------------------------------------------------------
// Keys

bool TTextorInteractive::DeleteSelection() {
  if (!HasSelection() || !CanEdit()) return false;
  Notify(tnReplaceSelection, 0, 0);
  return true;
}

bool TTextorInteractive::DeleteChar(bool AForwards) {
  if (!CanEdit()) return false;
  if (HasSelection()) return DeleteSelection();
  const TTextPosition caret = GetCaretPosition();
  const TTextPosition other = AForwards ? FTextor->NextCharPosition(caret) : FTextor->PreviousCharPosition(caret);
  if (other == caret) return false;
  SetCaretAndSelection(GetCaretRow(), caret, caret, other);
  return DeleteSelection();
}

bool TTextorInteractive::EnterElement(bool AForwards) {
  IEmbeddedElement* element = FTextor->ElementAt(GetCaretPosition(), AForwards);
  return element && element->FocusEmbedded(AForwards);
}

bool TTextorInteractive::EnterElementVertically(const TRow* ARow, int32_t AX, bool AForwards) {
  TTextPosition under;
  if (!ARow->PositionAtX(AX, false, nullptr, under)) return false;
  IEmbeddedElement* element = FTextor->ElementAt(under, true);
  return element && element->FocusEmbeddedVertically(AForwards);
}

bool TTextorInteractive::GetLinkAtCaret(TTextPosition& APosition) const {
  const TTextPosition caret = GetCaretPosition();
  if (IsLink(caret.Portion)) {
    APosition = caret;
    return true;
  }
  TTextPosition previous;
  int32_t c = 0;
  if (!FTextor->PreviousChar(caret, previous, c) || !IsLink(previous.Portion)) return false;
  APosition = previous;
  return true;
}

bool TTextorInteractive::KeyMove(uint16_t AKey, TShiftKeys AShift) {
  const bool ctrl = AShift.Contains(skCtrl), shift = AShift.Contains(skShift);
  const TTextPosition caret = GetCaretPosition();
  TRow* row = FTextor->FindRow(caret, FCaretOnNextRow);
  TTextPosition position = caret;
  switch (AKey) {
    case vkEnd:
    case vkHome:
      if (ctrl) {
        position = AKey == vkEnd ? FTextor->GetEndPosition() : FTextor->GetBeginPosition();
        row = nullptr;
      } else {
        position = AKey == vkEnd ? row->GetEndPosition() : row->GetStartPosition();
      }
      break;
    case vkLeft:
      if (ctrl) {
        const TTextPosition previous = FTextor->PreviousCharPosition(caret);
        position = previous;
        FTextor->WordLeft(previous, position);
      } else {
        // Focusing the element may end the editing and free this object: nothing is touched after it.
        if (!shift && EnterElement(false)) return true;
        position = FTextor->PreviousCharPosition(caret);
      }
      row = nullptr;
      break;
    case vkRight:
      if (ctrl) {
        if (!FTextor->WordRight(caret, position) || position == caret) position = FTextor->NextCharPosition(caret);
      } else {
        if (!shift && EnterElement(true)) return true;
        position = FTextor->NextCharPosition(caret);
      }
      row = nullptr;
      break;
    case vkUp:
    case vkDown: {
      const TRow* next = AKey == vkUp ? row->GetPreviousTextRow() : row->GetNextTextRow();
      if (ctrl || !next) return false;
      const TRect rect = FTextor->GetCaretRect(row, caret, FCaretWidth);
      const TTextPoint point{rect.Left + (rect.Right - rect.Left) / 2, AKey == vkUp ? rect.Top - 1 : rect.Bottom};
      if (!FTextor->PositionAtPoint(point, true, true, nullptr, row, position)) return false;
      // As with Left and Right, nothing is touched once an element took the focus.
      if (!shift && EnterElementVertically(row, point.X, AKey == vkDown)) return true;
      break;
    }
    default:
      return false;
  }
  const TIndexPosition caretBefore = FCaret, anchorBefore = FAnchor, endBefore = FEnd;
  const TRow* rowBefore = GetCaretRow();
  MoveCaret(row, position, shift, false);
  return !(FCaret == caretBefore && FAnchor == anchorBefore && FEnd == endBefore) || GetCaretRow() != rowBefore;
}

void TTextorInteractive::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (FState != TInteractiveState::isIdle) {
    if (FState == TInteractiveState::isDragging && AKey == vkControl) SetCursorZone(DragZone(AShift.Contains(skCtrl)));
    return;
  }
  if (AKey < vkBack || AKey > vkDelete) return;
  bool consumed = false;
  TTextPosition link;
  switch (AKey) {
    case vkBack:
    case vkDelete:
      consumed = DeleteChar(AKey == vkDelete);
      break;
    case vkReturn:
      if (FOptions.Contains(ioCtrlEnterActivatesLink) && AShift.Contains(skCtrl) && GetLinkAtCaret(link)) {
        Notify(tnActivateLink, reinterpret_cast<intptr_t>(&link), 0);
        consumed = true;
      }
      break;
    default:
      consumed = KeyMove(AKey, AShift);
      break;
  }
  if (consumed) AKey = 0;
}

void TTextorInteractive::KeyUp(uint16_t& AKey, TShiftKeys AShift) {
  if (FState == TInteractiveState::isDragging && AKey == vkControl) SetCursorZone(DragZone(AShift.Contains(skCtrl)));
}

void TTextorInteractive::KeyPress(char16_t& AKey, TShiftKeys AShift) {
  if (FState != TInteractiveState::isIdle || !CanEdit()) return;
  const bool ctrl = AShift.Contains(skCtrl);
  std::u16string text;
  // Ctrl+Enter comes as a line feed.
  if (AKey == vkReturn || (AKey == vkLineFeed && ctrl)) {
    if (FTextor->AllowsLineBreaks() && ctrl == FOptions.Contains(ioSwapEnter)) text = u"\r\n";
  } else if (AKey == vkTab) {
    if (FTextor->AllowsTabs() && ctrl == FOptions.Contains(ioSwapTab))
      text = FTabSpaces >= 1 ? std::u16string(FTabSpaces, u' ') : std::u16string(1, u'\t');
  } else if (AKey >= 32 && AKey != 127 && (!ctrl || AShift.Contains(skAlt))) {
    // AltGr arrives as Ctrl+Alt: only Ctrl without Alt makes a character a shortcut.
    text.assign(1, AKey);
  }
  if (text.empty()) return;
  AKey = 0;
  Notify(tnReplaceSelection, reinterpret_cast<intptr_t>(&text), 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

void TTextorInteractive::MouseDown(TTextPoint APoint, bool ALeft, bool ADoubleClick, bool ATripleClick, bool AShift) {
  FDownPoint = APoint;
  FCurrentPoint = APoint;
  SetState(TInteractiveState::isIdle);
  if (!ALeft) return;
  TRow* row = nullptr;
  TTextPosition position;
  if (ADoubleClick) {
    if (FOptions.Contains(ioDoubleClickActivatesLink) && LinkAtPoint(APoint, false, position)) {
      Notify(tnActivateLink, reinterpret_cast<intptr_t>(&position), 0);
    } else if (FOptions.Contains(ioDoubleClickSelectsRow)) {
      const TRow* caretRow = GetCaretRow();
      SelectRows(caretRow, caretRow);
    } else if (FTextor->PositionAtPoint(APoint, true, false, nullptr, row, position)) {
      TTextPosition start = position, end = position;
      FTextor->WordLeft(position, start);
      FTextor->WordRight(position, end);
      if (start == end) end = FTextor->NextCharPosition(end);
      SelectRange({start, end}, false);
    }
    return;
  }
  if (ATripleClick) {
    if (FTextor->PositionAtPoint(APoint, true, false, nullptr, row, position)) {
      const TParagraph* paragraph = position.Paragraph;
      SelectRange({paragraph->GetBeginPosition(),
                   paragraph->Next() ? paragraph->Next()->GetBeginPosition() : paragraph->GetEndPosition()},
                  false);
    }
    return;
  }
  row = FTextor->FindRowAtY(APoint.Y, false);
  if (FOptions.Contains(ioLeftZone) && row && APoint.X < row->GetLeft() - 4) {
    FAnchorRowStart = FTextor->PositionToIndex(row->GetStartPosition());
    SelectRows(row, row);
    SetState(TInteractiveState::isRowSelection);
    SetCursorZone(czRowSelection);
  } else if (FOptions.Contains(ioDragDrop) && row && HasSelection() && IsPointInSelection(APoint)) {
    MoveCaretToPoint(APoint, true, false);
    SetState(TInteractiveState::isDragPending);
    SetCursorZone(czOverSelection);
  } else {
    MoveCaretToPoint(APoint, false, AShift);
    SetState(TInteractiveState::isSelecting);
    SetCursorZone(GetCursorZone());
  }
}

void TTextorInteractive::MouseMove(TTextPoint APoint, bool ACopy) {
  FCurrentPoint = APoint;
  switch (FState) {
    case TInteractiveState::isIdle:
      UpdateHoverCursor();
      break;
    case TInteractiveState::isSelecting:
      // With the drag points, so that a dragged selection passes embedded elements by the 40-pixel rule.
      MoveCaretToPoint(APoint, false, true);
      break;
    case TInteractiveState::isRowSelection: {
      const TRow* row = FTextor->FindRowAtY(APoint.Y, true);
      const TRow* anchor = FTextor->FindRow(ToPosition(FAnchorRowStart), true);
      if (FTextor->IsBefore(row->GetStartPosition(), anchor->GetStartPosition())) {
        SelectRange(WholeRows(row, anchor), true);
      } else {
        SelectRows(anchor, row);
      }
      break;
    }
    case TInteractiveState::isDragPending:
      if (std::abs(APoint.X - FDownPoint.X) > FDragThreshold.X ||
          std::abs(APoint.Y - FDownPoint.Y) > FDragThreshold.Y) {
        SetState(TInteractiveState::isDragging);
        SetCursorZone(ACopy ? czDragCopy : czDragMove);
        Notify(tnDragStarted, 0, 0);
      }
      break;
    case TInteractiveState::isDragging:
      DragOver(APoint, ACopy);
      break;
  }
}

void TTextorInteractive::MouseUp(TTextPoint APoint, bool ALeft, bool ACopy) {
  FCurrentPoint = APoint;
  if (!ALeft || FState == TInteractiveState::isIdle) return;
  TTextPosition link;
  switch (FState) {
    case TInteractiveState::isSelecting:
      if (FOptions.Contains(ioClickActivatesLink) && !HasSelection() && LinkAtPoint(APoint, true, link))
        Notify(tnActivateLink, reinterpret_cast<intptr_t>(&link), 0);
      break;
    case TInteractiveState::isDragPending:
      CollapseSelection();
      break;
    case TInteractiveState::isDragging:
      DropFrom(this, ACopy);
      break;
    default:
      break;
  }
  SetState(TInteractiveState::isIdle);
  UpdateHoverCursor();
}

// ---------------------------------------------------------------------------------------------------------------
// Dragging and dropping

void TTextorInteractive::DragOver(TTextPoint APoint, bool ACopy) {
  FCurrentPoint = APoint;
  MoveCaretToPoint(APoint, true, false);
  SetCursorZone(DragZone(ACopy));
}

bool TTextorInteractive::DropFrom(TTextorInteractive* ASource, bool ACopy) {
  if (!CanEdit()) return false;
  const TIndexRange source = ASource->SelectionIndex();
  const bool sameText = ASource->FTextor == FTextor;
  if (sameText && !(FCaret < source.Start) && !(source.End < FCaret)) {
    // Dropped onto itself: the selection comes back with the caret on its side.
    ASource->SetCaretAndSelection(nullptr, ASource->ToPosition(ASource->FEnd), ASource->ToPosition(ASource->FEnd),
                                  ASource->ToPosition(ASource->FAnchor));
    return false;
  }
  TTextDrop drop;
  drop.Source = ASource;
  drop.Position = GetCaretPosition();
  Notify(tnDrop, reinterpret_cast<intptr_t>(&drop), 0);
  // A host that ignored the drop inserted nothing, and a move must then not delete the source either.
  if (!drop.Inserted || ACopy || !ASource->CanEdit()) return drop.Inserted;
  TIndexRange moved = source;
  if (sameText)
    moved = {AfterInsertion(source.Start, drop.InsertedRange), AfterInsertion(source.End, drop.InsertedRange)};
  ASource->SetCaretAndSelection(nullptr, ASource->ToPosition(moved.End), ASource->ToPosition(moved.End),
                                ASource->ToPosition(moved.Start));
  ASource->DeleteSelection();
  if (ASource == this) {
    // The moved text stays selected where it went.
    const TIndexPosition start = AfterDeletion(drop.InsertedRange.Start, moved);
    const TIndexPosition end = AfterDeletion(drop.InsertedRange.End, moved);
    SetCaretAndSelection(nullptr, ToPosition(end), ToPosition(end), ToPosition(start));
  }
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Painting

void TTextorInteractive::Paint(TCustomSheetCanvas& ACanvas, TTextOwnerStates AState, TTextPaintFlags AFlags) {
  FTextor->PaintParagraphBackgrounds(ACanvas, AState);
  const TTextPaintFlags plain = AFlags - tpSelection;
  if (!AFlags.Contains(tpSelection) || !HasSelection()) {
    FTextor->PaintRange(ACanvas, AState, FTextor->GetWholeRange(), plain, false);
    return;
  }
  const TTextRange selection = GetSelection();
  FTextor->PaintRange(ACanvas, AState, {FTextor->GetBeginPosition(), selection.Start}, plain, false);
  FTextor->PaintRange(ACanvas, AState, {selection.End, FTextor->GetEndPosition()}, plain, false);
  FTextor->PaintRange(ACanvas, AState, selection, AFlags, FOptions.Contains(ioSelectionTail));
}
