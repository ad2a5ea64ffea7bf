#include "document/elements/diTableElement.h"

#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "document/model/diThemes.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwClipboard.h"

#include <windows.h>

#include <algorithm>

TSchemePaletteItem* PaletteInsertColumnItem = nullptr;
TSchemePaletteItem* PaletteInsertRowItem = nullptr;
TElementPaletteItem* PaletteTableItem = nullptr;
int TableLargeImagesIndex = -1;
int TableSmallImagesIndex = -1;

namespace {

// A new table's grid.
constexpr int32_t NewColumns = 4;
constexpr int32_t NewRows = 3;
// The size of a table without rows or columns.
constexpr int32_t EmptyTableSize = 20;

// The children of AKnot named AName, in order.
std::vector<TKnot*> ChildKnots(TKnot* AKnot, std::u16string_view AName) {
  std::vector<TKnot*> list;
  for (TKnot* k = AKnot ? AKnot->FirstKnot() : nullptr; k; k = k->NextKnot())
    if (k->Name() == AName) list.push_back(k);
  return list;
}

// The first knot from AFrom on named AName; a load walks rows and cells this way, without a list of them.
TKnot* NamedFrom(TKnot* AFrom, std::u16string_view AName) {
  while (AFrom && AFrom->Name() != AName) AFrom = AFrom->NextKnot();
  return AFrom;
}

int32_t CountNamed(TKnot* AKnot, std::u16string_view AName) {
  int32_t count = 0;
  for (TKnot* k = NamedFrom(AKnot->FirstKnot(), AName); k; k = NamedFrom(k->NextKnot(), AName)) ++count;
  return count;
}

// A content knot of ARows rows of AColumns empty cells.
void MakeEmptyGrid(TKnot* AKnot, int32_t AColumns, int32_t ARows) {
  MakeContentRoot(AKnot);
  for (int32_t r = 0; r < ARows; ++r) {
    TKnot* row = AKnot->AddKnot(std::u16string(TableRowKnotName));
    MakeOrdered(row);
    for (int32_t c = 0; c < AColumns; ++c) MakeOrdered(row->AddKnot(std::u16string(TableCellKnotName)));
  }
}

// Holds the grid's layout for a scope when AHeld (a layout running, or cells that size one by one).
class TLayoutCount {
 public:
  TLayoutCount(int32_t& ACount, bool AHeld) : FCount(AHeld ? &ACount : nullptr) {
    if (FCount) ++*FCount;
  }
  ~TLayoutCount() {
    if (FCount) --*FCount;
  }
  TLayoutCount(const TLayoutCount&) = delete;
  TLayoutCount& operator=(const TLayoutCount&) = delete;

 private:
  int32_t* FCount;
};

class TTableUpdate {
 public:
  explicit TTableUpdate(TCustomTableElement* ATable) : FTable(ATable) { FTable->BeginUpdate(); }
  ~TTableUpdate() { FTable->EndUpdate(); }
  TTableUpdate(const TTableUpdate&) = delete;
  TTableUpdate& operator=(const TTableUpdate&) = delete;

 private:
  TCustomTableElement* FTable;
};

// Runs one load of AKnot into the table; the end-of-load work runs only when the load went through.
template <class F>
void LoadWith(TCustomTableElement* ATable, uint8_t AMode, TFilerFlags AFlags, TKnot* AKnot, F ALoad) {
  TScheme* scheme = ATable->Scheme();
  TSchemeLoader loader(scheme, AMode, AFlags, AKnot, scheme ? scheme->Messages() : nullptr);
  try {
    ALoad(&loader);
  } catch (...) {
    loader.Abort();
    throw;
  }
  loader.Finish();
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Edit operation

TTableEditOperation::TTableEditOperation(TCustomTableElement* ATable, bool ALockMessages)
    : TContentEditOperation(ATable, ALockMessages) {}

TTableEditOperation::~TTableEditOperation() = default;

void TTableEditOperation::DoElement(TElement* AElement) {
  TElementOperation::DoElement(AElement);
  if (auto* table = dynamic_cast<TCustomTableElement*>(AElement)) DoEdit(table);
}

void TTableEditOperation::UndoElement(TElement* AElement) {
  TElementOperation::UndoElement(AElement);
  if (auto* table = dynamic_cast<TCustomTableElement*>(AElement)) UndoEdit(table);
}

void TTableEditOperation::DoEdit(TCustomTableElement* ATable) {
  TTableUpdate update(ATable);
  int32_t insert = InsertIndex;
  const int32_t count = ATable->GetCount(Kind);
  const int32_t start = std::clamp(RangeStart, 0, count);
  const int32_t end = std::clamp(RangeEnd, start, count);
  if (start < end) {
    if (State() == osDoing) {
      FRemovedContent = std::make_unique<TKnot>();
      MakeContentRoot(FRemovedContent.get());
      TSchemeSaver saver(fmRecord, FRemovedContent.get(), {});
      ATable->SaveSeries(&saver, FRemovedContent.get(), Kind, start, end);
    }
    ATable->DeleteSeries(Kind, start, end);
    if (insert >= end)
      insert -= end - start;
    else if (insert > start)
      insert = start;
  }
  insert = std::clamp(insert, 0, ATable->GetCount(Kind));
  FInsertedStart = FInsertedEnd = insert;
  if (FNewContent) {
    int32_t inserted = 0;
    LoadWith(ATable, FNewContentMode, FNewContentFlags, FNewContent.get(), [&](TSchemeLoader* ALoader) {
      if (Kind == tkRows)
        ATable->InsertRows(ALoader, FNewContent.get(), insert, inserted);
      else
        ATable->InsertColumns(ALoader, FNewContent.get(), insert, inserted);
    });
    FInsertedEnd = insert + inserted;
    if (FNewContentMode != fmRecord) {
      // From now on every redo makes exactly these cells, identifiers included.
      FNewContent->Clear();
      MakeContentRoot(FNewContent.get());
      TSchemeSaver saver(fmRecord, FNewContent.get(), {});
      ATable->SaveSeries(&saver, FNewContent.get(), Kind, FInsertedStart, FInsertedEnd);
      FNewContentMode = fmRecord;
      FNewContentFlags = {};
    }
  }
  if (TSchemeTableInteractive* interactive = ATable->Interactive())
    interactive->SetPendingSelection(Kind, Select ? FInsertedStart : FInsertedEnd, FInsertedEnd);
}

void TTableEditOperation::UndoEdit(TCustomTableElement* ATable) {
  TTableUpdate update(ATable);
  if (FInsertedStart < FInsertedEnd) ATable->DeleteSeries(Kind, FInsertedStart, FInsertedEnd);
  int32_t restored = 0;
  const int32_t at = std::clamp(RangeStart, 0, ATable->GetCount(Kind));
  if (FRemovedContent)
    LoadWith(ATable, fmRecord, {}, FRemovedContent.get(), [&](TSchemeLoader* ALoader) {
      if (Kind == tkRows)
        ATable->InsertRows(ALoader, FRemovedContent.get(), at, restored);
      else
        ATable->InsertColumns(ALoader, FRemovedContent.get(), at, restored);
    });
  if (TSchemeTableInteractive* interactive = ATable->Interactive())
    interactive->SetPendingSelection(Kind, FRemovedContent ? at : FInsertedStart,
                                     FRemovedContent ? at + restored : FInsertedStart);
}

// ---------------------------------------------------------------------------------------------------------------
// Controller

void TSchemeTableInteractive::SetPendingSelection(TTableKind AKind, int32_t AStart, int32_t AEnd) {
  FPending = true;
  FPendingKind = AKind;
  FPendingStart = AStart;
  FPendingEnd = AEnd;
}

void TSchemeTableInteractive::ApplyPendingSelection() {
  if (!FPending) return;
  FPending = false;
  SetKind(FPendingKind, false);
  const int32_t count = Count();
  const int32_t start = std::clamp(FPendingStart, 0, count);
  const int32_t end = std::clamp(FPendingEnd, 0, count);
  SetSelection(start, end);
  SetCaret(end);
}

// ---------------------------------------------------------------------------------------------------------------
// The table: grid and storage

const TElementClassInfo TCustomTableElement::ClassInfo{u"TCustomTableElement", &TVisualElement::ClassInfo, nullptr};

TCustomTableElement::TCustomTableElement(TScheme* AScheme)
    : TVisualElement(AScheme),
      FColumnStarts(TPoolAllocator<int32_t>(AScheme ? AScheme->Pool() : nullptr)),
      FColumnEnds(FColumnStarts.get_allocator()),
      FRowStarts(FColumnStarts.get_allocator()),
      FRowEnds(FColumnStarts.get_allocator()) {
  SetVisualOptions(VisualOptions() | voClickFocus | voFocusable | voTakesPastes | voSelectAll | voSelectionContainer);
}

TCustomTableElement::~TCustomTableElement() { SetInteractive(false); }

void TCustomTableElement::EndUpdate() {
  if (--FUpdateCount > 0) return;
  FUpdateCount = 0;
  if (FInteractive) FInteractive->ApplyPendingSelection();
  ValueChanged();
  LayoutCells();
  if (FInteractive) FInteractive->RefreshCursorZone();
}

TVisualElement* TCustomTableElement::GetCell(int32_t AColumn, int32_t ARow) const {
  if (AColumn < 0 || ARow < 0 || AColumn >= GetColumnCount() || ARow >= GetRowCount()) return nullptr;
  return GetVisualChild(ARow * GetColumnCount() + AColumn);
}

TVisualElement* TCustomTableElement::GetClampedCell(int32_t AColumn, int32_t ARow) const {
  if (GetColumnCount() == 0 || GetRowCount() == 0) return nullptr;
  return GetCell(std::clamp(AColumn, 0, GetColumnCount() - 1), std::clamp(ARow, 0, GetRowCount() - 1));
}

int32_t TCustomTableElement::ColumnOfCell(TVisualElement* ACell) const {
  int32_t index = 0;
  for (TVisualElement* c = FirstVisualChild(); c; c = c->NextVisualSibling(), ++index)
    if (c == ACell) return FColumns.empty() ? -1 : index % GetColumnCount();
  return -1;
}

int32_t TCustomTableElement::RowOfCell(TVisualElement* ACell) const {
  int32_t index = 0;
  for (TVisualElement* c = FirstVisualChild(); c; c = c->NextVisualSibling(), ++index)
    if (c == ACell) return FColumns.empty() ? -1 : index / GetColumnCount();
  return -1;
}

void TCustomTableElement::CreateCell(TSchemeLoader* ALoader, TVisualElement* ABefore, TKnot* AKnot) {
  TVisualElement* cell = AsVisualElement(TElement::CreateIn(GetCellClass(), Scheme(), this, ABefore));
  if (!cell) return;
  try {
    if (AKnot) {
      cell->LoadFromKnot(ALoader, AKnot);
    } else {
      TKnot empty;
      cell->LoadFromKnot(ALoader, &empty);
    }
  } catch (...) {
    cell->Destroy();
    throw;
  }
  cell->ChangeVisualParent(this, ABefore);
}

void TCustomTableElement::InsertRows(TSchemeLoader* ALoader, TKnot* AKnot, int32_t AIndex, int32_t& ACount) {
  TKnot* firstRow = NamedFrom(AKnot->FirstKnot(), TableRowKnotName);
  ACount = 0;
  if (!firstRow) return;
  AIndex = std::clamp(AIndex, 0, GetRowCount());
  if (FColumns.empty()) {
    // A table without columns has no rows either: the first row brings the columns, at least one.
    FRows.clear();
    const int32_t columns = std::max<int32_t>(1, CountNamed(firstRow, TableCellKnotName));
    FColumns.reserve(static_cast<size_t>(columns));
    for (int32_t c = 0; c < columns; ++c) FColumns.push_back(CreateColumn(c));
  }
  const int32_t columns = GetColumnCount();
  if (FRows.empty()) FRows.reserve(static_cast<size_t>(CountNamed(AKnot, TableRowKnotName)));
  // Every new cell goes before the first cell of the row that stood at AIndex.
  TVisualElement* before = GetVisualChild(AIndex * columns);
  for (TKnot* rowKnot = firstRow; rowKnot; rowKnot = NamedFrom(rowKnot->NextKnot(), TableRowKnotName)) {
    rowKnot->SetUsed(true);
    const int32_t r = AIndex + ACount;
    FRows.insert(FRows.begin() + r, CreateRow(r));
    if (FOptions.Contains(taStoresRows)) LoadRow(FRows[r].get(), ALoader, rowKnot);
    ++ACount;
    // Missing cells load empty; extra ones stay unread and are reported.
    TKnot* cellKnot = NamedFrom(rowKnot->FirstKnot(), TableCellKnotName);
    for (int32_t c = 0; c < columns; ++c) {
      if (cellKnot) cellKnot->SetUsed(true);
      CreateCell(ALoader, before, cellKnot);
      if (cellKnot) cellKnot = NamedFrom(cellKnot->NextKnot(), TableCellKnotName);
    }
  }
}

void TCustomTableElement::InsertColumns(TSchemeLoader* ALoader, TKnot* AKnot, int32_t AIndex, int32_t& ACount) {
  const std::vector<TKnot*> rows = ChildKnots(AKnot, TableRowKnotName);
  ACount = 0;
  if (rows.empty()) return;
  AIndex = std::clamp(AIndex, 0, GetColumnCount());
  const std::vector<TKnot*> columnKnots = ChildKnots(AKnot->FindKnot(TableColumnsKnotName), TableColumnKnotName);
  if (TKnot* columns = AKnot->FindKnot(TableColumnsKnotName)) columns->SetUsed(true);
  const int32_t added =
      std::max<int32_t>(1, static_cast<int32_t>(columnKnots.empty() ? ChildKnots(rows.front(), TableCellKnotName).size()
                                                                    : columnKnots.size()));
  if (FRows.empty()) {
    // A table without rows has no columns either: every stored row brings a row.
    FColumns.clear();
    for (TKnot* rowKnot : rows) {
      const int32_t r = GetRowCount();
      FRows.push_back(CreateRow(r));
      if (FOptions.Contains(taStoresRows)) LoadRow(FRows[r].get(), ALoader, rowKnot);
    }
  }
  for (int32_t c = 0; c < added; ++c) {
    FColumns.insert(FColumns.begin() + AIndex + c, CreateColumn(AIndex + c));
    if (c < static_cast<int32_t>(columnKnots.size())) {
      columnKnots[c]->SetUsed(true);
      if (FOptions.Contains(taStoresColumns)) LoadColumn(FColumns[AIndex + c].get(), ALoader, columnKnots[c]);
    }
  }
  ACount = added;
  const int32_t columns = GetColumnCount();
  for (int32_t r = 0; r < GetRowCount(); ++r) {
    TKnot* rowKnot = r < static_cast<int32_t>(rows.size()) ? rows[r] : nullptr;
    if (rowKnot) rowKnot->SetUsed(true);
    const std::vector<TKnot*> cells = ChildKnots(rowKnot, TableCellKnotName);
    for (int32_t c = 0; c < added; ++c) {
      TKnot* cellKnot = c < static_cast<int32_t>(cells.size()) ? cells[c] : nullptr;
      if (cellKnot) cellKnot->SetUsed(true);
      CreateCell(ALoader, GetVisualChild(r * columns + AIndex + c), cellKnot);
    }
  }
}

void TCustomTableElement::DeleteSeries(TTableKind AKind, int32_t AStart, int32_t AEnd) {
  AStart = std::clamp(AStart, 0, GetCount(AKind));
  AEnd = std::clamp(AEnd, AStart, GetCount(AKind));
  if (AStart == AEnd) return;
  const int32_t columns = GetColumnCount();
  if (AKind == tkRows) {
    for (int32_t i = AStart * columns; i < AEnd * columns; ++i)
      if (TVisualElement* cell = GetVisualChild(AStart * columns)) cell->Destroy();
    FRows.erase(FRows.begin() + AStart, FRows.begin() + AEnd);
  } else {
    for (int32_t r = GetRowCount() - 1; r >= 0; --r)
      for (int32_t c = AEnd - 1; c >= AStart; --c)
        if (TVisualElement* cell = GetVisualChild(r * columns + c)) cell->Destroy();
    FColumns.erase(FColumns.begin() + AStart, FColumns.begin() + AEnd);
  }
  if (FColumns.empty()) FRows.clear();
  if (FRows.empty()) FColumns.clear();
}

void TCustomTableElement::SaveSeries(TSchemeSaver* ASaver, TKnot* AKnot, TTableKind AKind, int32_t AStart,
                                     int32_t AEnd) {
  const int32_t columns = GetColumnCount();
  const int32_t firstColumn = AKind == tkColumns ? AStart : 0;
  const int32_t lastColumn = AKind == tkColumns ? AEnd : columns;
  const int32_t firstRow = AKind == tkRows ? AStart : 0;
  const int32_t lastRow = AKind == tkRows ? AEnd : GetRowCount();
  if (AKind == tkColumns && FOptions.Contains(taStoresColumns)) {
    TKnot* list = AKnot->AddKnot(std::u16string(TableColumnsKnotName));
    MakeOrdered(list);
    for (int32_t c = firstColumn; c < lastColumn; ++c) {
      TKnot* column = list->AddKnot(std::u16string(TableColumnKnotName));
      MakeOrdered(column);
      SaveColumn(FColumns[c].get(), ASaver, column);
    }
  }
  for (int32_t r = firstRow; r < lastRow; ++r) {
    TKnot* row = AKnot->AddKnot(std::u16string(TableRowKnotName));
    MakeOrdered(row);
    if (FOptions.Contains(taStoresRows)) SaveRow(FRows[r].get(), ASaver, row);
    for (int32_t c = firstColumn; c < lastColumn; ++c) {
      TKnot* cellKnot = row->AddKnot(std::u16string(TableCellKnotName));
      MakeOrdered(cellKnot);
      if (TVisualElement* cell = GetCell(c, r)) cell->SaveToKnot(ASaver, cellKnot);
    }
  }
}

void TCustomTableElement::SaveTable(TSchemeSaver* ASaver, TKnot* AKnot) {
  MakeOrdered(AKnot);
  if (FOptions.Contains(taStoresColumns)) {
    TKnot* list = AKnot->AddKnot(std::u16string(TableColumnsKnotName));
    MakeOrdered(list);
    for (const auto& column : FColumns) {
      TKnot* knot = list->AddKnot(std::u16string(TableColumnKnotName));
      MakeOrdered(knot);
      SaveColumn(column.get(), ASaver, knot);
    }
  }
  SaveSeries(ASaver, AKnot, tkRows, 0, GetRowCount());
}

void TCustomTableElement::LoadTable(TSchemeLoader* ALoader, TKnot* AKnot) {
  TTableUpdate update(this);
  DeleteSeries(tkRows, 0, GetRowCount());
  TKnot* firstRow = NamedFrom(AKnot->FirstKnot(), TableRowKnotName);
  std::vector<TKnot*> columnKnots;
  TKnot* columnList = AKnot->FindKnot(TableColumnsKnotName);
  if (columnList) {
    columnList->SetUsed(true);
    columnKnots = ChildKnots(columnList, TableColumnKnotName);
  }
  const size_t columns = columnList ? columnKnots.size() : firstRow ? CountNamed(firstRow, TableCellKnotName) : 0;
  // Without columns there is no grid: the rows stay unread and are reported.
  if (columns == 0 || !firstRow) return;
  FColumns.reserve(columns);
  for (size_t c = 0; c < columns; ++c) {
    FColumns.push_back(CreateColumn(static_cast<int32_t>(c)));
    if (c < columnKnots.size()) {
      columnKnots[c]->SetUsed(true);
      if (FOptions.Contains(taStoresColumns)) LoadColumn(FColumns.back().get(), ALoader, columnKnots[c]);
    }
  }
  int32_t count = 0;
  InsertRows(ALoader, AKnot, 0, count);
}

void TCustomTableElement::InitNew(intptr_t AParam) {
  TVisualElement::InitNew(AParam);
  if (!FColumns.empty() || !FRows.empty()) return;
  TKnot content;
  MakeEmptyGrid(&content, NewColumns, NewRows);
  TTableUpdate update(this);
  LoadWith(this, fmCopy, {}, &content, [&](TSchemeLoader* ALoader) {
    int32_t count = 0;
    InsertRows(ALoader, &content, 0, count);
  });
}

void TCustomTableElement::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  TKnot* source = AKnot;
  if (ALoader->Mode() == fmRecord) {
    source = AKnot->FindKnot(FloatingKnotName);
    if (source) source->SetUsed(true);
  }
  TTableUpdate update(this);
  if (source)
    LoadTable(ALoader, source);
  else
    DeleteSeries(tkRows, 0, GetRowCount());
}

void TCustomTableElement::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TVisualElement::SaveToKnot(ASaver, AKnot);
  TKnot* target = AKnot;
  // Records keep the grid apart from what the element itself writes.
  if (ASaver->Mode() == fmRecord) target = AKnot->AddKnot(std::u16string(FloatingKnotName));
  SaveTable(ASaver, target);
}

// ---------------------------------------------------------------------------------------------------------------
// Edits

void TCustomTableElement::PerformTableEdit(uint8_t AMode, TTableKind AKind, int32_t AStart, int32_t AEnd,
                                           TKnot* AContent, bool ASelect, TFilerFlags AContentFlags,
                                           uint8_t AContentMode, int32_t AInsert) {
  // A table takes rows only.
  if (AContent && !AContent->FindKnot(TableRowKnotName)) AContent = nullptr;
  const int32_t count = GetCount(AKind);
  int32_t start = 0, end = 0, insert = count;
  switch (AMode) {
    case tmSelection:
      if (FInteractive) {
        FInteractive->GetSelection(start, end);
        insert = FInteractive->HasSelection() ? start : FInteractive->Caret();
      }
      break;
    case tmRange:
      start = AStart;
      end = AEnd;
      insert = AInsert < 0 ? AStart : AInsert;
      break;
    default:
      break;
  }
  start = std::clamp(start, 0, count);
  end = std::clamp(end, start, count);
  // Nothing removed and nothing inserted: no step, no Modified.
  if (start == end && !AContent) return;
  TNodePtr<TTableEditOperation> operation(new TTableEditOperation(this, true));
  operation->Kind = AKind;
  operation->RangeStart = start;
  operation->RangeEnd = end;
  operation->InsertIndex = std::clamp(insert, 0, count);
  operation->Select = ASelect;
  operation->SetNewContent(AContent, AContentMode, AContentFlags);
  TSchemeOperation::Perform(std::move(operation));
}

void TCustomTableElement::InsertSeries(bool ARows) {
  TKnot content;
  if (ARows)
    MakeEmptyGrid(&content, std::max(1, GetColumnCount()), 1);
  else
    MakeEmptyGrid(&content, 1, std::max(1, GetRowCount()));
  const TTableKind kind = ARows ? tkRows : tkColumns;
  if (FInteractive && FInteractive->Kind() == kind) {
    int32_t start = 0, end = 0;
    FInteractive->GetSelection(start, end);
    const int32_t at = FInteractive->HasSelection() ? start : FInteractive->Caret();
    PerformTableEdit(tmRange, kind, at, at, &content, false, {}, fmCopy);
  } else {
    PerformTableEdit(tmAppend, kind, 0, 0, &content, false, {}, fmCopy);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Layout and painting

void TCustomTableElement::LayoutCells() {
  if (!Sheet() || !IsVisible() || FUpdateCount > 0 || FLayoutCount > 0) return;
  TLayoutCount running(FLayoutCount, true);
  TRect padding;
  GetPadding(padding);
  const int32_t columns = GetColumnCount();
  const int32_t rows = GetRowCount();
  FColumnStarts.clear();
  FColumnEnds.clear();
  FRowStarts.clear();
  FRowEnds.clear();
  if (columns == 0 || rows == 0) {
    SetBounds(Left(), Top(), EmptyTableSize, EmptyTableSize, padding.Bottom);
    return;
  }
  const TSheetTheme& theme = Sheet()->Canvas()->Theme();
  const int32_t spacingX = theme.SpacingX();
  const int32_t spacingY = theme.SpacingY();
  const TPoolAllocator<int32_t> pool = FColumnStarts.get_allocator();
  std::vector<TVisualElement*, TPoolAllocator<TVisualElement*>> cells{TPoolAllocator<TVisualElement*>(pool)};
  cells.reserve(static_cast<size_t>(columns) * rows);
  for (TVisualElement* c = FirstVisualChild(); c && static_cast<int32_t>(cells.size()) < columns * rows;
       c = c->NextVisualSibling())
    cells.push_back(c);
  cells.resize(static_cast<size_t>(columns) * rows, nullptr);
  TEdgeList widths(columns, 0, pool), heights(rows, 0, pool);
  for (int32_t c = 0; c < columns; ++c) widths[c] = GetColumnWidth(c);
  for (int32_t r = 0; r < rows; ++r) heights[r] = GetRowHeight(r);
  for (int32_t r = 0; r < rows; ++r)
    for (int32_t c = 0; c < columns; ++c) {
      TVisualElement* cell = cells[r * columns + c];
      if (!cell) continue;
      TVisualSize size;
      MeasureCell(cell, size);
      if (GetColumnWidth(c) == 0) widths[c] = std::max(widths[c], size.Width);
      if (GetRowHeight(r) == 0) heights[r] = std::max(heights[r], size.Height);
    }
  // Grown once, not push by push: a document's first layout sizes thousands of tables.
  FColumnStarts.reserve(static_cast<size_t>(columns));
  FColumnEnds.reserve(static_cast<size_t>(columns));
  FRowStarts.reserve(static_cast<size_t>(rows));
  FRowEnds.reserve(static_cast<size_t>(rows));
  int32_t x = padding.Left;
  for (int32_t c = 0; c < columns; ++c) {
    FColumnStarts.push_back(x);
    FColumnEnds.push_back(x + widths[c]);
    x += widths[c] + (c + 1 < columns ? spacingX : 0);
  }
  int32_t y = padding.Top;
  for (int32_t r = 0; r < rows; ++r) {
    FRowStarts.push_back(y);
    FRowEnds.push_back(y + heights[r]);
    y += heights[r] + (r + 1 < rows ? spacingY : 0);
  }
  for (int32_t r = 0; r < rows; ++r)
    for (int32_t c = 0; c < columns; ++c)
      if (TVisualElement* cell = cells[r * columns + c])
        cell->SetBounds(FColumnStarts[c], FRowStarts[r], widths[c], heights[r], cell->Descent());
  int32_t descent = padding.Bottom;
  if (HasValue())
    if (TVisualElement* last = LastVisualChild()) descent += last->Descent();
  SetBounds(Left(), Top(), x + padding.Right, y + padding.Bottom, descent);
}

bool TCustomTableElement::HitTestSeries(TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex) {
  const TEdgeList& starts = AKind == tkColumns ? FColumnStarts : FRowStarts;
  const TEdgeList& ends = AKind == tkColumns ? FColumnEnds : FRowEnds;
  const int32_t v = AKind == tkColumns ? APoint.X : APoint.Y;
  const int32_t count = static_cast<int32_t>(starts.size());
  AIndex = -1;
  for (int32_t i = 0; i < count; ++i) {
    if (v < starts[i]) {
      if (AHit == thIndex) return false;
      AIndex = i;
      return true;
    }
    if (v < ends[i]) {
      if (AHit == thBeam) return false;
      AIndex = AHit == thGap && v >= (starts[i] + ends[i]) / 2 ? i + 1 : i;
      return true;
    }
  }
  if (AHit == thIndex) return false;
  AIndex = count;
  return true;
}

void TCustomTableElement::PaintChildren(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  TVisualElement::PaintChildren(ACanvas, AFlags);
  if (!FInteractive || !FInteractive->HasSelection() || AFlags.Contains(spNoSelection)) return;
  const TRect band = SelectionBand();
  if (band.Right > band.Left && band.Bottom > band.Top) ACanvas->FillSelection(band, !AFlags.Contains(spInactive));
}

int32_t TCustomTableElement::GapEdge(TTableKind AKind, int32_t AGap) {
  TRect padding;
  GetPadding(padding);
  const bool columns = AKind == tkColumns;
  const TEdgeList& starts = columns ? FColumnStarts : FRowStarts;
  const int32_t half =
      Sheet() ? (columns ? Sheet()->Canvas()->Theme().SpacingX() : Sheet()->Canvas()->Theme().SpacingY()) / 2 : 0;
  if (AGap < static_cast<int32_t>(starts.size())) return (AGap >= 0 ? starts[AGap] : 0) - half;
  return (columns ? Width() - padding.Right : Height() - padding.Bottom) + half;
}

TRect TCustomTableElement::SelectionBand() {
  if (!FInteractive || FColumnStarts.empty()) return TRect();
  TRect band{GapEdge(tkColumns, 0), GapEdge(tkRows, 0), GapEdge(tkColumns, GetColumnCount()),
             GapEdge(tkRows, GetRowCount())};
  int32_t start = 0, end = 0;
  FInteractive->GetSelection(start, end);
  if (FInteractive->Kind() == tkColumns) {
    band.Left = GapEdge(tkColumns, start);
    band.Right = GapEdge(tkColumns, end);
  } else {
    band.Top = GapEdge(tkRows, start);
    band.Bottom = GapEdge(tkRows, end);
  }
  return band;
}

uint8_t TCustomTableElement::GetCaret(TRect& ARect) {
  if (!FInteractive) return TVisualElement::GetCaret(ARect);
  const int32_t width = FInteractive->CaretWidth();
  if (FInteractive->Kind() == tkColumns) {
    const int32_t x = FColumnStarts.empty() ? Width() / 2 : GapEdge(tkColumns, FInteractive->Caret());
    ARect = {x, FRowStarts.empty() ? 0 : GapEdge(tkRows, 0), x + width,
             FRowStarts.empty() ? Height() : GapEdge(tkRows, GetRowCount())};
  } else {
    const int32_t y = FRowStarts.empty() ? Height() / 2 : GapEdge(tkRows, FInteractive->Caret());
    ARect = {FColumnStarts.empty() ? 0 : GapEdge(tkColumns, 0), y,
             FColumnStarts.empty() ? Width() : GapEdge(tkColumns, GetColumnCount()), y + width};
  }
  return ckTextCaret;
}

int TCustomTableElement::GetCursor(TVisualPoint APoint) {
  if (FInteractive) return FInteractive->Cursor();
  int32_t index = -1;
  if (HitTestSeries(APoint, tkColumns, thBeam, index)) return crTableColumnsBeam;
  if (HitTestSeries(APoint, tkRows, thBeam, index)) return crTableRowsBeam;
  return TVisualElement::GetCursor(APoint);
}

void TCustomTableElement::BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) {
  TVisualElement::BoundsChanged(AOldRect, AOldDescent);
  CaretChanged();
}

void TCustomTableElement::VisibleChanged() {
  TVisualElement::VisibleChanged();
  LayoutCells();
}

void TCustomTableElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                          bool AHeightChanged) {
  const bool all = ASheetChanged || ASettingsChanged;
  {
    // The cells size one by one; the grid is laid out once, after them.
    TLayoutCount held(FLayoutCount, all);
    TVisualElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  }
  if (all) LayoutCells();
}

void TCustomTableElement::DetachFromSheet() {
  SetInteractive(false);
  TVisualElement::DetachFromSheet();
}

// ---------------------------------------------------------------------------------------------------------------
// Palette

void TCustomTableElement::GetPaletteItems(TPaletteList& AList) {
  TVisualElement::GetPaletteItems(AList);
  if (!FInteractive || IsReadOnly() || !PaletteInsertGroup) return;
  TSchemePaletteItem* item = FInteractive->Kind() == tkColumns ? PaletteInsertColumnItem : PaletteInsertRowItem;
  if (!item) return;
  AList.push_back(PaletteInsertGroup);
  AList.push_back(item);
}

bool TCustomTableElement::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (AItem && (AItem == PaletteInsertColumnItem || AItem == PaletteInsertRowItem)) {
    InsertSeries(AItem == PaletteInsertRowItem);
    return true;
  }
  return TVisualElement::ExecutePaletteItem(ATarget, AItem, AValue);
}

// ---------------------------------------------------------------------------------------------------------------
// Clipboard and selection

bool TCustomTableElement::HasSelection() { return FInteractive && FInteractive->HasSelection(); }

void TCustomTableElement::DeleteSelection() {
  if (FInteractive) FInteractive->DeleteSelection();
}

void TCustomTableElement::Copy() {
  if (!HasSelection() || !Clipboard) return;
  TSchemeSaver saver(fmCopy, nullptr, TFilerFlags::FromBits(0x04));
  TKnot* content = saver.Knot();
  MakeContentRoot(content);
  int32_t start = 0, end = 0;
  FInteractive->GetSelection(start, end);
  SaveSeries(&saver, content, FInteractive->Kind(), start, end);
  TSchemeSaver::WriteFormatVersion(content);
  Clipboard->SetAsText(content->SaveToString());
}

void TCustomTableElement::BroadcastToParts(intptr_t AValue) {
  auto* builder = dynamic_cast<TPartsTextBuilder*>(reinterpret_cast<TObject*>(AValue));
  if (!builder) {
    TVisualElement::BroadcastToParts(AValue);
    return;
  }
  for (int32_t r = 0; r < GetRowCount(); ++r) {
    if (r) builder->Text += u"\r\n";
    for (int32_t c = 0; c < GetColumnCount(); ++c) {
      if (c) builder->Text += u'\t';
      if (TVisualElement* cell = GetCell(c, r)) cell->BroadcastToParts(AValue);
    }
  }
}

void TCustomTableElement::CopyText() {
  if (!HasSelection() || !Clipboard) return;
  int32_t start = 0, end = 0;
  FInteractive->GetSelection(start, end);
  const bool rows = FInteractive->Kind() == tkRows;
  std::u16string text;
  for (int32_t r = rows ? start : 0; r < (rows ? end : GetRowCount()); ++r) {
    if (!text.empty()) text += u"\r\n";
    for (int32_t c = rows ? 0 : start; c < (rows ? GetColumnCount() : end); ++c) {
      if (c != (rows ? 0 : start)) text += u'\t';
      if (auto* cell = dynamic_cast<TTextorElement*>(GetCell(c, r))) text += cell->GetText();
    }
  }
  Clipboard->SetAsText(text);
}

bool TCustomTableElement::Paste() {
  if (!Clipboard || IsReadOnly()) return false;
  TKnot knot;
  knot.LoadFromString(Clipboard->AsText());
  if (knot.HasParseError() || knot.Name() != ContentKnotName || !knot.FindKnot(TableRowKnotName)) return false;
  const TTableKind kind = FInteractive ? FInteractive->Kind() : tkRows;
  PerformTableEdit(FInteractive ? tmSelection : tmAppend, kind, 0, 0, &knot, false, TFilerFlags::FromBits(0x04),
                   fmCopy);
  return true;
}

void TCustomTableElement::SelectAll() {
  TVisualElement::SelectAll();
  if (FInteractive) FInteractive->SelectAll();
}

void TCustomTableElement::SelectCells() {
  int32_t start = 0, end = 0;
  const bool selecting = FInteractive && FInteractive->HasSelection();
  if (selecting) FInteractive->GetSelection(start, end);
  const bool rows = FInteractive && FInteractive->Kind() == tkRows;
  const int32_t columns = GetColumnCount();
  int32_t index = 0;
  for (TVisualElement* c = FirstVisualChild(); c; c = c->NextVisualSibling(), ++index) {
    if (columns == 0) break;
    const int32_t at = rows ? index / columns : index % columns;
    c->SetSelected(selecting && at >= start && at < end);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Input and focus

void TCustomTableElement::SetInteractive(bool AValue) {
  if (AValue == (FInteractive != nullptr)) return;
  if (!AValue) {
    std::unique_ptr<TSchemeTableInteractive> interactive = std::move(FInteractive);
    FKind = interactive->Kind();
    FOtherIndex = interactive->OtherIndex();
    interactive->CancelMode();
    interactive->RemoveNotifyEvent(MakeMethod<&TCustomTableElement::InteractiveNotify>(this));
    SelectCells();
    return;
  }
  FInteractive = std::make_unique<TSchemeTableInteractive>();
  FInteractive->SetCanEdit([this] { return !IsReadOnly(); });
  FInteractive->SetCount([this](TTableKind AKind) { return GetCount(AKind); });
  FInteractive->SetHitTest([this](TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex) {
    return HitTestSeries(APoint, AKind, AHit, AIndex);
  });
  FInteractive->SetEnterCell([this](int32_t AColumn, int32_t ARow, bool AForward) {
    TVisualElement* cell = GetClampedCell(AColumn, ARow);
    if (!cell) return false;
    cell->SetFocus(AForward ? TFocusDirections(fdForward) : TFocusDirections(), {}, nullptr, nullptr);
    return cell->IsFocused();
  });
  FInteractive->SetDragThreshold(GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG));
  FInteractive->SetCanDrag(true);
  if (TSheet* sheet = Sheet(); sheet && sheet->Settings())
    FInteractive->SetCaretWidth(sheet->Settings()->CaretSize->Value());
  FInteractive->SetKind(FKind, false);
  FInteractive->SetOtherIndex(FOtherIndex);
  FInteractive->AddNotifyEvent(MakeMethod<&TCustomTableElement::InteractiveNotify>(this));
}

void TCustomTableElement::InteractiveNotify(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  switch (ANotify) {
    case tcCaretMoved:
      CaretChanged();
      if (AParam1) RequestScrollToCaret();
      break;
    case tcDropped:
      DropSelection(static_cast<int32_t>(AParam1), AParam2 != 0);
      // The dropped series are new cells even where the selected range stays the same.
      [[fallthrough]];
    case tcSelectionChanged:
      SelectCells();
      EditStateChanged();
      ReportCommandState();
      Invalidate();
      break;
    case tcStateChanged:
      if (FInteractive) SetCapture(FInteractive->State() != TTableState::tsIdle);
      break;
    case tcCursorZoneChanged:
      CursorChanged();
      break;
    case tcDeleteSelection:
      if (FInteractive) PerformTableEdit(tmSelection, FInteractive->Kind(), 0, 0, nullptr, false, {}, fmRecord);
      break;
    default:
      break;
  }
}

void TCustomTableElement::DropSelection(int32_t AGap, bool ACopy) {
  if (!FInteractive || !FInteractive->HasSelection()) return;
  int32_t start = 0, end = 0;
  FInteractive->GetSelection(start, end);
  const TTableKind kind = FInteractive->Kind();
  // A copy gets cells of its own, as a paste does; moved cells keep their identifiers, so that the edits made in
  // them before still find them.
  const uint8_t mode = ACopy ? fmCopy : fmRecord;
  const TFilerFlags flags = ACopy ? TFilerFlags::FromBits(0x04) : TFilerFlags();
  TKnot content;
  MakeContentRoot(&content);
  TSchemeSaver saver(mode, &content, flags);
  SaveSeries(&saver, &content, kind, start, end);
  if (ACopy) {
    TSchemeSaver::WriteFormatVersion(&content);
    PerformTableEdit(tmRange, kind, AGap, AGap, &content, true, flags, mode);
  } else {
    PerformTableEdit(tmRange, kind, start, end, &content, true, flags, mode, AGap);
  }
}

void TCustomTableElement::CancelMode() {
  TVisualElement::CancelMode();
  if (FInteractive) FInteractive->CancelMode();
}

void TCustomTableElement::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (FInteractive) FInteractive->KeyDown(AKey, AShift);
  if (AKey) TVisualElement::KeyDown(AKey, AShift);
}

void TCustomTableElement::KeyUp(uint16_t& AKey, TShiftKeys AShift) {
  if (FInteractive) FInteractive->KeyUp(AKey, AShift);
  if (AKey) TVisualElement::KeyUp(AKey, AShift);
}

void TCustomTableElement::KeyPress(char16_t& AChar) {
  if (!FInteractive || AChar < u' ') return;
  const bool rows = FInteractive->Kind() == tkRows;
  const int32_t series = FInteractive->CaretSeries();
  const int32_t other = FInteractive->OtherIndex();
  TVisualElement* cell = rows ? GetClampedCell(other, series) : GetClampedCell(series, other);
  // Focusing the cell ends the table's editing and frees its controller: nothing of it is touched after this.
  if (cell) cell->SetFocus({}, {}, nullptr, nullptr);
  if (!cell || !cell->IsFocused()) {
    MessageBeep(MB_OK);
    AChar = 0;
    return;
  }
  cell->KeyPress(AChar);
}

bool TCustomTableElement::MoveFromCell(TVisualElement* ACell, uint16_t AKey) {
  int32_t column = ColumnOfCell(ACell);
  int32_t row = RowOfCell(ACell);
  if (column < 0 || row < 0) return false;
  switch (AKey) {
    case VK_LEFT:
      if (--column < 0) {
        column = GetColumnCount() - 1;
        --row;
      }
      break;
    case VK_RIGHT:
      if (++column >= GetColumnCount()) {
        column = 0;
        ++row;
      }
      break;
    case VK_UP:
      --row;
      break;
    case VK_DOWN:
      ++row;
      break;
    default:
      return false;
  }
  TFocusDirections direction;
  if (AKey == VK_LEFT || AKey == VK_RIGHT) direction.Include(fdHorizontal);
  if (AKey == VK_RIGHT || AKey == VK_DOWN) direction.Include(fdForward);
  // A cell entered forward puts the caret at its start, one entered backward at its end.
  if (TVisualElement* cell = GetCell(column, row)) {
    cell->SetFocus(direction, {}, nullptr, nullptr);
    return cell->IsFocused();
  }
  // Past the grid: the next place from the table itself, in the text beside it.
  TVisualElement* origin = nullptr;
  TVisualElement* next = FindNextFocusable(direction, origin, false, true);
  if (!next) return false;
  next->SetFocus(direction, {}, origin, nullptr);
  return true;
}

void TCustomTableElement::MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple,
                                    bool AShift, bool ACtrl, bool AAlt) {
  if (!ALeft || ADouble) {
    TVisualElement::MouseDown(APoint, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl, AAlt);
    return;
  }
  if (!IsFocused()) SetFocus(fdForward, {}, nullptr, nullptr);
  if (FInteractive) FInteractive->MouseDown(APoint, AShift);
}

void TCustomTableElement::MouseMove(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {
  if (FInteractive) FInteractive->MouseMove(APoint, AShift.Contains(skCtrl));
}

void TCustomTableElement::MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {
  if (!FInteractive) return TVisualElement::MouseUp(APoint, ALeft, AShift);
  if (ALeft) FInteractive->MouseUp(APoint, AShift.Contains(skCtrl));
}

void TCustomTableElement::FocusChanged() {
  TVisualElement::FocusChanged();
  SetInteractive(IsFocused());
}

bool TCustomTableElement::FocusEmbedded(bool AForward) {
  TVisualElement* cell = AForward ? GetCell(0, 0) : GetCell(GetColumnCount() - 1, GetRowCount() - 1);
  if (cell && cell->FocusEmbedded(AForward)) return true;
  return TVisualElement::FocusEmbedded(AForward);
}

bool TCustomTableElement::Activate() {
  if (TVisualElement* cell = GetCell(0, 0); cell && cell->Activate()) return true;
  return TVisualElement::Activate();
}

TVisualElement* TCustomTableElement::Find(TFindData* AData, int AOptions, bool& AFound) {
  const bool forward = (AOptions & FindBackward) == 0;
  TVisualElement* from = AData->Origin && AData->Origin->VisualParent() == this ? AData->Origin : nullptr;
  for (TVisualElement* cell = GetNextChild(from, forward); cell; cell = GetNextChild(cell, forward)) {
    TVisualElement* inner = nullptr;
    if (cell->FindFocusable(forward, inner, AData->OnlyEnabled, AData->OnlyVisible)) {
      AData->Origin = nullptr;
      return inner;
    }
  }
  return TVisualElement::Find(AData, AOptions, AFound);
}

void TCustomTableElement::SetFocus(TFocusDirections ADirection, const std::u16string& AFocusData,
                                   TVisualElement* AOrigin, const TVisualPoint* APoint) {
  TVisualElement::SetFocus(ADirection, AFocusData, AOrigin, APoint);
  if (!FInteractive || !AOrigin || AOrigin == this) return;
  // Coming back out of a cell: its row or column is selected and the other index follows it.
  for (TVisualElement* e = AOrigin; e; e = e->VisualParent())
    if (e->VisualParent() == this) {
      const int32_t column = ColumnOfCell(e);
      const int32_t row = RowOfCell(e);
      if (column < 0) return;
      const bool rows = FInteractive->Kind() == tkRows;
      const int32_t at = rows ? row : column;
      FInteractive->SetOtherIndex(rows ? column : row);
      FInteractive->SetSelection(at, at + 1);
      FInteractive->SetCaret(at + 1);
      return;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// The palette's table and its cells

const TElementClassInfo TTableCellElement::ClassInfo{u"TTableCellElement", &TTextorElement::ClassInfo,
                                                     &ElementFactory<TTableCellElement>};

TTableCellElement::TTableCellElement(TScheme* AScheme) : TTextorElement(AScheme) {
  SetTextorOptions(TextorOptions() | xoHosted | xoEmptyKeepsWidth);
}

void TTableCellElement::UpdateSize() {
  TSheet* sheet = Sheet();
  if (!sheet || !IsVisible() || Textor()->FormatLock() > 0 || Textor()->LayoutPending()) return;
  TRect padding;
  GetPadding(padding);
  TTextWidthLimits limits;
  GetMinimumLimits(limits);
  int32_t width = Textor()->GetWidth();
  const int32_t height = Textor()->GetHeight();
  if (Textor()->IsEmpty()) width = std::max(width, height * 2 / 3);
  const TVisualSize size{std::max(width + padding.Left + padding.Right, limits.MinWidth),
                         std::max(height + padding.Top + padding.Bottom, limits.MinHeight)};
  if (size.Width == FNaturalSize.Width && size.Height == FNaturalSize.Height) {
    Invalidate();
    return;
  }
  FNaturalSize = size;
  if (auto* table = AsElementOfClass<TCustomTableElement>(VisualParent())) table->LayoutCells();
}

TElement* TTableCellElement::GetHostElement() {
  TElement* table = ParentElement();
  return table ? table->ParentElement() : nullptr;
}

void TTableCellElement::GetPadding(TRect& ARect) {
  ARect = TRect();
  if (TSheet* sheet = Sheet()) ARect = sheet->Canvas()->GetThemePadding(teContainer);
}

TCustomTableElement* TTableCellElement::DraggingTable() {
  auto* table = dynamic_cast<TCustomTableElement*>(VisualParent());
  if (!table || !IsSelected()) return nullptr;
  const TTableInteractive* interactive = table->Interactive();
  return interactive && interactive->HasSelection() && interactive->CanDrag() ? table : nullptr;
}

int TTableCellElement::GetCursor(TVisualPoint APoint) {
  if (DraggingTable()) return TableZoneCursor(tzOverSelection);
  return TTextorElement::GetCursor(APoint);
}

void TTableCellElement::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  TTextorElement::KeyDown(AKey, AShift);
  // An arrow the text did not use stands at its edge.
  if (AKey < VK_LEFT || AKey > VK_DOWN || AShift.Contains(skShift)) return;
  if (auto* table = dynamic_cast<TCustomTableElement*>(VisualParent()); table && table->MoveFromCell(this, AKey))
    AKey = 0;
}

void TTableCellElement::MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple,
                                  bool AShift, bool ACtrl, bool AAlt) {
  // The selection is painted over its cells: a press there grabs it rather than entering the cell.
  if (ALeft && !ADouble && !AShift)
    if (TCustomTableElement* table = DraggingTable()) {
      table->MouseDown({APoint.X + Left(), APoint.Y + Top()}, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl,
                       AAlt);
      return;
    }
  TTextorElement::MouseDown(APoint, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl, AAlt);
}

const TElementClassInfo TElement_Table::ClassInfo{u"TElement_Table", &TCustomTableElement::ClassInfo,
                                                  &ElementFactory<TElement_Table>};

void TElement_Table::MeasureCell(TVisualElement* ACell, TVisualSize& ASize) {
  if (auto* cell = AsElementOfClass<TTableCellElement>(ACell))
    ASize = cell->NaturalSize();
  else
    ASize = {ACell->Width(), ACell->Height()};
}

void TElement_Table::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  ACanvas->DrawThemeElement(teFrameSingle, GetSizeRect());
  TCustomTableElement::Paint(ACanvas, AFlags);
}

// ---------------------------------------------------------------------------------------------------------------
// Tables in text

bool PasteTableIntoText(TTextorElement* AText, TKnot* AContent) {
  if (!AText || !AContent || !AContent->FindKnot(TableRowKnotName)) return false;
  TElementClassList allowed;
  AText->GetAllowedChildClasses(allowed);
  if (std::find(allowed.begin(), allowed.end(), &TElement_Table::ClassInfo) == allowed.end()) return false;
  auto* table = TElement::CreateIn<TElement_Table>(AText->Scheme(), AText);
  try {
    TTableUpdate update(table);
    LoadWith(table, fmCopy, TFilerFlags::FromBits(0x04), AContent, [&](TSchemeLoader* ALoader) {
      int32_t count = 0;
      table->InsertRows(ALoader, AContent, 0, count);
    });
  } catch (...) {
    table->Destroy();
    throw;
  }
  std::vector<TVisualElement*> list{table};
  AText->InsertElements(emSelection, nullptr, list);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Start-up

void InitializeTableElement() {
  TableRowsPaste = &PasteTableIntoText;
  if (SchemeLargeImages) TableLargeImagesIndex = SchemeLargeImages->AddFromResource(u"diTableElementLargeImages");
  if (SchemeSmallImages) TableSmallImagesIndex = SchemeSmallImages->AddFromResource(u"diTableElementSmallImages");
  if (ClassesGroups && ClassesGroups->Count() > 2)
    AddUnique<TElementClass>(ClassesGroups->GetGroup(2), &TElement_Table::ClassInfo);
  if (!PaletteInsertGroup) return;
  const int large = TableLargeImagesIndex < 0 ? GetNoImageIndex() : TableLargeImagesIndex;
  const auto image = [large](int AOffset) { return large < 0 ? large : large + AOffset; };
  PaletteInsertColumnItem = new TSchemePaletteItem(PaletteInsertGroup, 20, IdPaletteSeries, IdPaletteSeriesHint,
                                                   image(0), pfNeedsWritable | pfLargeImage);
  PaletteInsertRowItem = new TSchemePaletteItem(PaletteInsertGroup, 10, IdPaletteSeries, IdPaletteSeriesHint, image(1),
                                                pfNeedsWritable | pfLargeImage);
  PaletteTableItem = new TElementPaletteItem(PaletteInsertGroup, 110, &TElement_Table::ClassInfo, IdPaletteTable,
                                             IdPaletteTableHint, image(2), pfLargeImage);
}

void FinalizeTableElement() {
  TableRowsPaste = nullptr;
  for (TPaletteItem* item :
       {static_cast<TPaletteItem*>(PaletteTableItem), static_cast<TPaletteItem*>(PaletteInsertRowItem),
        static_cast<TPaletteItem*>(PaletteInsertColumnItem)})
    if (item) item->Free();
  PaletteTableItem = nullptr;
  PaletteInsertRowItem = nullptr;
  PaletteInsertColumnItem = nullptr;
  if (ClassesGroups && ClassesGroups->Count() > 2) {
    TElementClassList& group = ClassesGroups->GetGroup(2);
    group.erase(std::remove(group.begin(), group.end(), &TElement_Table::ClassInfo), group.end());
  }
  TableLargeImagesIndex = -1;
  TableSmallImagesIndex = -1;
}

void InitializeTableCursors() {
  LoadResourceCursor(crTableColumnsBeam, L"crTableColumnsBeam");
  LoadResourceCursor(crTableRowsBeam, L"crTableRowsBeam");
  LoadResourceCursor(crTableDragMove, L"crTableDragMove");
  LoadResourceCursor(crTableDragCopy, L"crTableDragCopy");
}
