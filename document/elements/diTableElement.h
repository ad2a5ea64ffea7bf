// The table: a grid element embedded in rich text whose cells are hosted text elements. Cells are the table's
// visual children in row-major order; rows and columns can carry attribute objects. Whole rows or columns are
// selected, copied, inserted and deleted through the table controller and undone through one edit operation.
#pragma once

#include "document/elements/diTableInteractive.h"
#include "document/model/diElementPool.h"
#include "document/model/diElementOperations.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuSet.h"

#include <cstdint>
#include <memory>
#include <vector>

class TCustomTableElement;
class TKnot;

// What a table stores beside its cells; the bits are those of the option word.
enum class TTableOption : uint32_t {
  taStoresColumns = 0x01,  // column attributes are written under "Columns"
  taStoresRows = 0x02,     // row attributes are written into each "Row"
};
constexpr bool IsFlagFamily(TTableOption) { return true; }
using enum TTableOption;
using TTableOptions = TSet<TTableOption>;

// String identifiers of the table's palette items.
enum : int {
  IdPaletteSeries = 2480,
  IdPaletteSeriesHint = 2481,
  IdPaletteTable = 2482,
  IdPaletteTableHint = 2483,
};

// The knot names of stored tables.
inline constexpr std::u16string_view TableColumnsKnotName = u"Columns";
inline constexpr std::u16string_view TableColumnKnotName = u"Column";
inline constexpr std::u16string_view TableRowKnotName = u"Row";
inline constexpr std::u16string_view TableCellKnotName = u"Cell";

// Where PerformTableEdit takes the removed range and the insertion point.
enum : uint8_t {
  tmSelection = 0,  // the controller's selection and caret
  tmRange = 1,      // the given range
  tmAppend = 2,     // nothing removed, after the last row or column
};

// One undoable change of a table: whole rows or columns removed and content inserted, kept as indexes and knots.
// Its content is "RavelwrightContent" with "Row" children.
class TTableEditOperation : public TContentEditOperation {
 public:
  TTableEditOperation(TCustomTableElement* ATable, bool ALockMessages);
  ~TTableEditOperation() override;

  TTableKind Kind = tkRows;
  int32_t RangeStart = 0;
  int32_t RangeEnd = 0;
  int32_t InsertIndex = 0;
  bool Select = false;

  int32_t InsertedStart() const { return FInsertedStart; }
  int32_t InsertedEnd() const { return FInsertedEnd; }

 protected:
  void DoElement(TElement* AElement) override;
  void UndoElement(TElement* AElement) override;

 private:
  void DoEdit(TCustomTableElement* ATable);
  void UndoEdit(TCustomTableElement* ATable);

  int32_t FInsertedStart = 0;
  int32_t FInsertedEnd = 0;
};

// The controller bound to a table: it remembers the selection an edit leaves for the end of the update.
class TSchemeTableInteractive : public TTableInteractive {
 public:
  void SetPendingSelection(TTableKind AKind, int32_t AStart, int32_t AEnd);
  // Selects the pending range, clamped to the grid, and clears it.
  void ApplyPendingSelection();

 private:
  bool FPending = false;
  TTableKind FPendingKind = tkRows;
  int32_t FPendingStart = 0;
  int32_t FPendingEnd = 0;
};

class TCustomTableElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }

  explicit TCustomTableElement(TScheme* AScheme);
  ~TCustomTableElement() override;

  TTableOptions TableOptions() const { return FOptions; }
  void SetTableOptions(TTableOptions AValue) { FOptions = AValue; }
  // Nil unless the table is focused on a sheet.
  TSchemeTableInteractive* Interactive() const { return FInteractive.get(); }

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

  int32_t GetColumnCount() const { return static_cast<int32_t>(FColumns.size()); }
  int32_t GetRowCount() const { return static_cast<int32_t>(FRows.size()); }
  int32_t GetCount(TTableKind AKind) const { return AKind == tkRows ? GetRowCount() : GetColumnCount(); }
  // Nil outside the grid.
  TVisualElement* GetCell(int32_t AColumn, int32_t ARow) const;
  // -1 for an element that is not one of the cells.
  int32_t ColumnOfCell(TVisualElement* ACell) const;
  int32_t RowOfCell(TVisualElement* ACell) const;
  // The cell at (column, row) clamped to the grid; nil in a table without cells.
  TVisualElement* GetClampedCell(int32_t AColumn, int32_t ARow) const;
  TObject* Column(int32_t AIndex) const { return FColumns.at(AIndex).get(); }
  TObject* Row(int32_t AIndex) const { return FRows.at(AIndex).get(); }

  // Undoable edits of whole rows or columns of AKind. AMode is tmSelection .. tmAppend; AStart and AEnd are read
  // with tmRange only, where the content goes to AStart, or to AInsert when given (a gap counted before the range
  // is removed). An edit that removes nothing and inserts nothing records no step.
  void PerformTableEdit(uint8_t AMode, TTableKind AKind, int32_t AStart, int32_t AEnd, TKnot* AContent, bool ASelect,
                        TFilerFlags AContentFlags, uint8_t AContentMode, int32_t AInsert = -1);
  // One empty row (ARows) or column: at the caret while edited, else appended.
  void InsertSeries(bool ARows);

  // Storage of rows and columns; the content knot holds "Row" children with "Cell" children.
  void LoadTable(TSchemeLoader* ALoader, TKnot* AKnot);
  void SaveTable(TSchemeSaver* ASaver, TKnot* AKnot);
  void InsertRows(TSchemeLoader* ALoader, TKnot* AKnot, int32_t AIndex, int32_t& ACount);
  void InsertColumns(TSchemeLoader* ALoader, TKnot* AKnot, int32_t AIndex, int32_t& ACount);
  void SaveSeries(TSchemeSaver* ASaver, TKnot* AKnot, TTableKind AKind, int32_t AStart, int32_t AEnd);
  // Frees the rows or columns of the range with their cells; no columns left empties the rows and the other way.
  void DeleteSeries(TTableKind AKind, int32_t AStart, int32_t AEnd);

  // Introduced hooks.
  virtual std::unique_ptr<TObject> CreateColumn(int32_t AIndex) { return nullptr; }
  virtual std::unique_ptr<TObject> CreateRow(int32_t AIndex) { return nullptr; }
  virtual TElementClass GetCellClass() = 0;
  virtual void MeasureCell(TVisualElement* ACell, TVisualSize& ASize) = 0;
  // 0: as wide as the widest cell.
  virtual int32_t GetColumnWidth(int32_t AColumn) { return 0; }
  // 0: as high as the highest cell.
  virtual int32_t GetRowHeight(int32_t ARow) { return 0; }
  virtual void LoadColumn(TObject* AColumn, TSchemeLoader* ALoader, TKnot* AKnot) {}
  virtual void LoadRow(TObject* ARow, TSchemeLoader* ALoader, TKnot* AKnot) {}
  virtual void LayoutCells();
  virtual void SaveColumn(TObject* AColumn, TSchemeSaver* ASaver, TKnot* AKnot) {}
  virtual void SaveRow(TObject* ARow, TSchemeSaver* ASaver, TKnot* AKnot) {}

  // An arrow key (virtual-key code) that the text of ACell left at its edge: the focus goes to the neighbouring
  // cell of the row (Left and Right, on into the next or the previous row) or of the column (Up and Down), and
  // past the grid out of the table, beside it. False when nothing took the focus.
  bool MoveFromCell(TVisualElement* ACell, uint16_t AKey);

  // The controller's hit test in table coordinates.
  bool HitTestSeries(TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex);

  // Element.
  void InitNew(intptr_t AParam) override;
  bool CalcHasValue() override { return !FColumns.empty() || !FRows.empty(); }
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  // A TPartsTextBuilder gets the cells' texts, those of a row joined by TAB, the rows by CR LF.
  void BroadcastToParts(intptr_t AValue) override;

  // Visual element.
  void GetPadding(TRect& ARect) override { ARect = {4, 4, 4, 4}; }
  void BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) override;
  void VisibleChanged() override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  void PaintChildren(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  uint8_t GetCaret(TRect& ARect) override;
  int GetCursor(TVisualPoint APoint) override;
  void GetPaletteItems(TPaletteList& AList) override;
  bool ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) override;
  bool HasSelection() override;
  void DetachFromSheet() override;

  // Interaction.
  bool CanDelete() override { return HasSelection() && !IsReadOnly(); }
  bool CanCopy() override { return HasSelection(); }
  bool CanCopyText() override { return HasSelection(); }
  void DeleteSelection() override;
  void Copy() override;
  void CopyText() override;
  bool Paste() override;
  void SelectAll() override;
  void CancelMode() override;
  void KeyDown(uint16_t& AKey, TShiftKeys AShift) override;
  void KeyUp(uint16_t& AKey, TShiftKeys AShift) override;
  // A character typed on the table goes into the cell at the caret, at the end of its text; without a cell it is
  // refused with a beep.
  void KeyPress(char16_t& AChar) override;
  void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift, bool ACtrl,
                 bool AAlt) override;
  void MouseMove(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) override;
  void MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) override;
  void FocusChanged() override;
  // Entered from the text around it, the table gives the focus to its first cell (AForward) or its last.
  bool FocusEmbedded(bool AForward) override;
  // Up and Down from the lines around the table enter it as Right and Left do.
  bool FocusEmbeddedVertically(bool AForward) override { return FocusEmbedded(AForward); }
  bool Activate() override;
  // Steps cell by cell in the grid's order from the cell the search came out of (from the first, or the last going
  // backward, when it enters the table) to the next cell with a focusable element; past the last, as the base.
  TVisualElement* Find(TFindData* AData, int AOptions, bool& AFound) override;
  void SetFocus(TFocusDirections ADirection, const std::u16string& AFocusData, TVisualElement* AOrigin,
                const TVisualPoint* APoint) override;

 protected:
  // Creates the controller (AValue) or frees it.
  void SetInteractive(bool AValue);

 private:
  void InteractiveNotify(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  // The selected rows or columns moved, or copied, to gap AGap as one step; they stay selected there.
  void DropSelection(int32_t AGap, bool ACopy);
  // A new cell before ABefore (nil: last), loaded from AKnot or, without one, empty.
  void CreateCell(TSchemeLoader* ALoader, TVisualElement* ABefore, TKnot* AKnot);
  void SelectCells();
  // The band of the selected rows or columns, in table coordinates; empty without one.
  TRect SelectionBand();
  // Where the caret of gap AGap stands: half a spacing before the row or column, or after the last one.
  int32_t GapEdge(TTableKind AKind, int32_t AGap);

  std::vector<std::unique_ptr<TObject>> FColumns;
  std::vector<std::unique_ptr<TObject>> FRows;
  TTableOptions FOptions;
  std::unique_ptr<TSchemeTableInteractive> FInteractive;
  int32_t FUpdateCount = 0;
  int32_t FLayoutCount = 0;
  // The extents of the columns and rows at the last layout, in table coordinates; from the scheme's pool, as a
  // layout's own lists are: a document's first layout sizes thousands of tables.
  using TEdgeList = std::vector<int32_t, TPoolAllocator<int32_t>>;
  TEdgeList FColumnStarts;
  TEdgeList FColumnEnds;
  TEdgeList FRowStarts;
  TEdgeList FRowEnds;
  // What the controller referred to when the focus last left the table.
  TTableKind FKind = tkRows;
  int32_t FOtherIndex = 0;
};

// A cell of the palette's table: a hosted text that keeps its natural size.
class TTableCellElement : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }

  explicit TTableCellElement(TScheme* AScheme);

  TVisualSize NaturalSize() const { return FNaturalSize; }

  void UpdateSize() override;
  TElement* GetHostElement() override;
  void GetPadding(TRect& ARect) override;
  int GetCursor(TVisualPoint APoint) override;
  // Arrows the text leaves unused move to the neighbouring cell (TCustomTableElement::MoveFromCell).
  void KeyDown(uint16_t& AKey, TShiftKeys AShift) override;
  void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift, bool ACtrl,
                 bool AAlt) override;

 private:
  // The table when a press on this cell is its own: the cell lies in a selection that the table can drag.
  TCustomTableElement* DraggingTable();

  TVisualSize FNaturalSize;
};

class TElement_Table : public TCustomTableElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }

  using TCustomTableElement::TCustomTableElement;

  TElementClass GetCellClass() override { return &TTableCellElement::ClassInfo; }
  void MeasureCell(TVisualElement* ACell, TVisualSize& ASize) override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
};

// Table rows of a content knot made into a new table inside AText at its selection; false when the text takes no
// tables or the knot holds no "Row".
bool PasteTableIntoText(TTextorElement* AText, TKnot* AContent);

// The table's palette items and image strips, alive between InitializeTableElement and FinalizeTableElement; the
// cursors come with InitializeTableCursors.
extern TSchemePaletteItem* PaletteInsertColumnItem;
extern TSchemePaletteItem* PaletteInsertRowItem;
extern TElementPaletteItem* PaletteTableItem;
extern int TableLargeImagesIndex;
extern int TableSmallImagesIndex;
void InitializeTableElement();
void FinalizeTableElement();
void InitializeTableCursors();
