// The table on the fake sheet host: the grid and its storage, malformed grids, undoable edits of whole rows and
// columns, the clipboard, tables pasted into text, and its controller's keys, beams and cursors.
#include "document/elements/diTableElement.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diThemes.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "framework/fwClipboard.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializePalette();
    InitializeClassesGroups();
    InitializeTextorElement();
    InitializeTableElement();
    StartClipboard();
    Host = std::make_unique<TSheetHostFixture>();
  }
  void TearDown() override {
    Host.reset();
    EndClipboard();
    FinalizeTableElement();
    FinalizeTextorElement();
    FinalizeClassesGroups();
    FinalizePalette();
  }

  // A new table on the sheet whose cell (c, r) holds "rc" (row first), so texts show where a cell went.
  TElement_Table* AddTable(bool ANamed = true) {
    auto* table = TElement::CreateIn<TElement_Table>(&Host->Scheme, Host->Root);
    table->NotifyInitNew(0);
    table->SetVisualParent(Host->Root);
    if (ANamed)
      for (int32_t r = 0; r < table->GetRowCount(); ++r)
        for (int32_t c = 0; c < table->GetColumnCount(); ++c)
          Cell(table, c, r)->SetText(std::u16string{char16_t(u'0' + r), char16_t(u'0' + c)});
    return table;
  }
  static TTextorElement* Cell(TCustomTableElement* ATable, int32_t AColumn, int32_t ARow) {
    return dynamic_cast<TTextorElement*>(ATable->GetCell(AColumn, ARow));
  }
  // The texts of the grid, rows separated by "|", cells by ",".
  static std::u16string Grid(TCustomTableElement* ATable) {
    std::u16string r;
    for (int32_t row = 0; row < ATable->GetRowCount(); ++row) {
      if (row) r += u'|';
      for (int32_t c = 0; c < ATable->GetColumnCount(); ++c) {
        if (c) r += u',';
        TTextorElement* cell = Cell(ATable, c, row);
        r += cell ? cell->GetText() : u"?";
      }
    }
    return r;
  }
  static int VisualChildren(TVisualElement* AElement) {
    int n = 0;
    for (TVisualElement* c = AElement->FirstVisualChild(); c; c = c->NextVisualSibling()) ++n;
    return n;
  }
  // Focuses ATable with a caret of AKind at AGap.
  void Edit(TCustomTableElement* ATable, TTableKind AKind, int32_t AGap) {
    ATable->SetFocus(fdForward, {}, nullptr, nullptr);
    ASSERT_NE(ATable->Interactive(), nullptr);
    ATable->Interactive()->SetKind(AKind, false);
    ATable->Interactive()->SetSelection(AGap, AGap);
    ATable->Interactive()->SetCaret(AGap);
  }
  int Steps() const {
    int n = 0;
    for (TNode* s = Host->History.UndoStack().FirstChild(); s; s = s->NextSibling()) ++n;
    return n;
  }
  // A point of the table in sheet coordinates.
  static TVisualPoint AtTable(TCustomTableElement* ATable, int32_t AX, int32_t AY) {
    return ATable->ClientToSheet({AX, AY});
  }

  std::unique_ptr<TSheetHostFixture> Host;
};

const std::u16string NewGrid = u"00,01,02,03|10,11,12,13|20,21,22,23";

// ---------------------------------------------------------------------------------------------------------------
// Grid and storage

TEST_F(TableTest, ANewTableHasThreeRowsOfFourCellsInRowMajorOrder) {
  TElement_Table* table = AddTable();
  ASSERT_EQ(table->GetColumnCount(), 4);
  ASSERT_EQ(table->GetRowCount(), 3);
  EXPECT_EQ(VisualChildren(table), 12);
  for (int32_t r = 0; r < 3; ++r)
    for (int32_t c = 0; c < 4; ++c) {
      TVisualElement* cell = table->GetCell(c, r);
      EXPECT_EQ(cell, table->GetVisualChild(r * 4 + c)) << c << "," << r;
      EXPECT_EQ(table->ColumnOfCell(cell), c);
      EXPECT_EQ(table->RowOfCell(cell), r);
    }
  EXPECT_EQ(table->GetCell(4, 0), nullptr);
  EXPECT_EQ(table->GetCell(0, 3), nullptr);
  EXPECT_EQ(table->GetCell(-1, 0), nullptr);
  EXPECT_EQ(Grid(table), NewGrid);
  EXPECT_TRUE(table->HasValue());
}

TEST_F(TableTest, ATableSavesRowsOfCellsWithoutColumnsAndLoadsBackTheSameGrid) {
  TElement_Table* table = AddTable();
  TKnot knot(u"Table");
  table->SaveTo(&knot, fmDocument, {});
  EXPECT_EQ(knot.FindKnot(TableColumnsKnotName), nullptr);
  int rows = 0;
  for (TKnot* row = knot.FirstKnot(); row; row = row->NextKnot(), ++rows) {
    EXPECT_EQ(row->Name(), TableRowKnotName);
    int cells = 0;
    for (TKnot* cell = row->FirstKnot(); cell; cell = cell->NextKnot(), ++cells) {
      EXPECT_EQ(cell->Name(), TableCellKnotName);
      EXPECT_EQ(cell->ReadString(u"Value", u""), (std::u16string{char16_t(u'0' + rows), char16_t(u'0' + cells)}));
    }
    EXPECT_EQ(cells, 4);
  }
  EXPECT_EQ(rows, 3);

  auto* copy = TElement::CreateIn<TElement_Table>(&Host->Scheme, Host->Root);
  Host->Scheme.LoadElement(copy, fmDocument, &knot);
  EXPECT_EQ(Grid(copy), NewGrid);
  TKnot again(u"Table");
  copy->SaveTo(&again, fmDocument, {});
  EXPECT_EQ(again.SaveToString(), knot.SaveToString());
}

// A stored table of these rows of cell values.
void StoredGrid(TKnot& AKnot, const std::vector<std::vector<std::u16string>>& ARows) {
  for (const auto& row : ARows) {
    TKnot* r = AKnot.AddKnot(u"Row");
    for (const auto& value : row) r->AddKnot(u"Cell")->WriteString(u"Value", value);
  }
}

TEST_F(TableTest, MalformedGridsLoadAsWholeRowsOfTheFirstRowsCells) {
  const struct {
    const char* Name;
    std::vector<std::vector<std::u16string>> Rows;
    std::u16string Grid;
    int Columns;
    int RowCount;
  } cases[] = {
      {"a first row without cells gives no grid at all", {{}, {u"a"}, {u"b"}}, u"", 0, 0},
      {"missing cells load empty", {{u"a", u"b"}, {u"c"}}, u"a,b|c,", 2, 2},
      {"extra cells stay unread", {{u"a"}, {u"b", u"x", u"y"}}, u"a|b", 1, 2},
      {"no rows", {}, u"", 0, 0},
  };
  for (const auto& c : cases) {
    TKnot knot(u"Table");
    StoredGrid(knot, c.Rows);
    auto* table = TElement::CreateIn<TElement_Table>(&Host->Scheme, Host->Root);
    Host->Scheme.LoadElement(table, fmDocument, &knot);
    EXPECT_EQ(table->GetColumnCount(), c.Columns) << c.Name;
    EXPECT_EQ(table->GetRowCount(), c.RowCount) << c.Name;
    EXPECT_EQ(VisualChildren(table), c.Columns * c.RowCount) << c.Name;
    EXPECT_TRUE(Grid(table) == c.Grid) << c.Name;
    table->Destroy();
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Edits

TEST_F(TableTest, DeletingAllColumnsLeavesAnEmptyTableThatUndoRestoresWithItsTexts) {
  TElement_Table* table = AddTable();
  table->PerformTableEdit(tmRange, tkColumns, 0, 4, nullptr, false, {}, fmRecord);
  EXPECT_EQ(table->GetColumnCount(), 0);
  EXPECT_EQ(table->GetRowCount(), 0);
  EXPECT_EQ(VisualChildren(table), 0);
  EXPECT_EQ(table->Width(), 20);
  EXPECT_EQ(table->Height(), 20);
  EXPECT_FALSE(table->HasValue());
  ASSERT_EQ(Steps(), 1);
  Host->History.Undo();
  EXPECT_EQ(table->GetColumnCount(), 4);
  EXPECT_EQ(table->GetRowCount(), 3);
  EXPECT_EQ(Grid(table), NewGrid);
  Host->History.Redo();
  EXPECT_EQ(VisualChildren(table), 0);
  Host->History.Undo();
  EXPECT_EQ(Grid(table), NewGrid);
}

TEST_F(TableTest, DeleteAndBackspaceRemoveTheSeriesBesideTheCaretAsOneStep) {
  const struct {
    TTableKind Kind;
    int32_t Caret;
    uint16_t Key;
    std::u16string Grid;
    int Steps;
  } cases[] = {
      {tkRows, 1, vkDelete, u"00,01,02,03|20,21,22,23", 1},
      {tkRows, 1, vkBack, u"10,11,12,13|20,21,22,23", 1},
      // Nothing before the first gap or after the last: nothing happens and nothing is recorded.
      {tkRows, 0, vkBack, NewGrid, 0},
      {tkRows, 3, vkDelete, NewGrid, 0},
      {tkColumns, 3, vkDelete, u"00,01,02|10,11,12|20,21,22", 1},
      {tkColumns, 1, vkBack, u"01,02,03|11,12,13|21,22,23", 1},
  };
  for (const auto& c : cases) {
    Host->History.Clear();
    TElement_Table* table = AddTable();
    Edit(table, c.Kind, c.Caret);
    uint16_t key = c.Key;
    Host->Sheet->KeyDown(key, {});
    EXPECT_EQ(Grid(table), c.Grid) << c.Key << " at " << c.Caret;
    EXPECT_EQ(Steps(), c.Steps) << c.Key << " at " << c.Caret;
    if (c.Steps) {
      Host->History.Undo();
      EXPECT_EQ(Grid(table), NewGrid);
    }
    table->Destroy();
  }
}

TEST_F(TableTest, TheDeleteCommandRemovesTheSelectedRows) {
  TElement_Table* table = AddTable();
  Edit(table, tkRows, 0);
  table->Interactive()->SetSelection(0, 2);
  EXPECT_TRUE(table->CanDelete());
  table->DeleteSelection();
  EXPECT_EQ(Grid(table), u"20,21,22,23");
}

TEST_F(TableTest, InsertSeriesPutsAnEmptyRowAtTheCaretOrAppendsWhileNotEdited) {
  TElement_Table* table = AddTable();
  Edit(table, tkRows, 1);
  table->InsertSeries(true);
  EXPECT_EQ(Grid(table), u"00,01,02,03|,,,|10,11,12,13|20,21,22,23");
  Host->History.Undo();
  EXPECT_EQ(Grid(table), NewGrid);

  TElement_Table* other = AddTable();
  ASSERT_EQ(other->Interactive(), nullptr);
  other->InsertSeries(false);
  EXPECT_EQ(Grid(other), u"00,01,02,03,|10,11,12,13,|20,21,22,23,");
  Host->History.Undo();
  EXPECT_EQ(Grid(other), NewGrid);
}

TEST_F(TableTest, ARowPutIntoATableWithoutColumnsMakesOneCell) {
  TElement_Table* table = AddTable();
  table->PerformTableEdit(tmRange, tkRows, 0, 3, nullptr, false, {}, fmRecord);
  ASSERT_EQ(table->GetColumnCount(), 0);
  table->InsertSeries(true);
  EXPECT_EQ(table->GetColumnCount(), 1);
  EXPECT_EQ(table->GetRowCount(), 1);
  EXPECT_EQ(VisualChildren(table), 1);
}

TEST_F(TableTest, TheSeriesItemOfTheCaretsKindIsOfferedAndInserts) {
  TElement_Table* table = AddTable();
  const auto offered = [table](TPaletteItem* AItem) {
    TPaletteList items;
    table->GetPaletteItems(items);
    return std::find(items.begin(), items.end(), AItem) != items.end();
  };
  EXPECT_FALSE(offered(PaletteInsertRowItem));
  Edit(table, tkRows, 3);
  EXPECT_TRUE(offered(PaletteInsertRowItem));
  EXPECT_FALSE(offered(PaletteInsertColumnItem));
  ASSERT_TRUE(table->ExecutePaletteItem(table, PaletteInsertRowItem, 0));
  EXPECT_EQ(Grid(table), NewGrid + u"|,,,");
  table->Interactive()->SetKind(tkColumns, false);
  EXPECT_TRUE(offered(PaletteInsertColumnItem));
  ASSERT_TRUE(table->ExecutePaletteItem(table, PaletteInsertColumnItem, 0));
  EXPECT_EQ(table->GetColumnCount(), 5);
  EXPECT_EQ(Steps(), 2);
}

TEST_F(TableTest, ContentWithoutRowsIsRefused) {
  TElement_Table* table = AddTable();
  TKnot content{std::u16string(ContentKnotName)};
  content.AddKnot(u"Chars")->WriteString(u"Value", u"x");
  table->PerformTableEdit(tmAppend, tkRows, 0, 0, &content, false, {}, fmCopy);
  EXPECT_EQ(Steps(), 0);
  Clipboard->SetAsText(content.SaveToString());
  EXPECT_FALSE(table->Paste());
  EXPECT_EQ(Grid(table), NewGrid);
}

// ---------------------------------------------------------------------------------------------------------------
// Clipboard

TEST_F(TableTest, CopiedRowsAreContentKnotTextThatPastesAtTheCaret) {
  TElement_Table* table = AddTable();
  Edit(table, tkRows, 0);
  table->Interactive()->SetSelection(0, 2);
  table->Copy();
  TKnot knot;
  knot.LoadFromString(Clipboard->AsText());
  EXPECT_EQ(knot.Name(), ContentKnotName);
  EXPECT_EQ(knot.ReadString(u"FormatVersion", u""), u"1.1");
  int rows = 0;
  for (TKnot* row = knot.FirstKnot(); row; row = row->NextKnot(), ++rows) {
    EXPECT_EQ(row->Name(), TableRowKnotName);
    int cells = 0;
    for (TKnot* cell = row->FirstKnot(); cell; cell = cell->NextKnot()) cells += cell->Name() == TableCellKnotName;
    EXPECT_EQ(cells, 4);
  }
  EXPECT_EQ(rows, 2);

  table->Interactive()->SetSelection(3, 3);
  table->Interactive()->SetCaret(3);
  ASSERT_TRUE(table->Paste());
  EXPECT_EQ(Grid(table), NewGrid + u"|00,01,02,03|10,11,12,13");
  EXPECT_EQ(table->Interactive()->Caret(), 5);
  Host->History.Undo();
  EXPECT_EQ(Grid(table), NewGrid);

  table->Interactive()->SetSelection(0, 2);
  table->CopyText();
  EXPECT_EQ(Clipboard->AsText(), u"00\t01\t02\t03\r\n10\t11\t12\t13");
}

TEST_F(TableTest, ATextsPlainCopyGivesATablesCellsTabbedAndItsRowsOnLinesOfTheirOwn) {
  auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
  text->SetTextorOptions(xoRich);
  text->SetTextOptions(AnyTextOptions);
  text->SetVisualParent(Host->Root);
  TKnot knot(u"Text");
  knot.LoadFromString(
      u"<Text><Chars Value=\"before\"/><Br/><Table>"
      u"<Row><Cell><Chars Value=\"aa\"/></Cell><Cell><Chars Value=\"a2\"/></Cell></Row>"
      u"<Row><Cell><Chars Value=\"bb\"/></Cell><Cell><Chars Value=\"b2\"/></Cell></Row>"
      u"</Table><Br/><Chars Value=\"after\"/></Text>");
  Host->Scheme.LoadElement(text, fmDocument, &knot);
  ASSERT_NE(dynamic_cast<TElement_Table*>(text->FirstVisualChild()), nullptr);
  text->SetFocus(fdForward, {}, nullptr, nullptr);
  text->SelectAll();
  text->CopyText();
  EXPECT_EQ(Clipboard->AsText(), u"before\r\naa\ta2\r\nbb\tb2\r\nafter");
}

TEST_F(TableTest, PastedRowsReplaceTheSelection) {
  TElement_Table* table = AddTable();
  TKnot content{std::u16string(ContentKnotName)};
  content.AddKnot(u"Row")->AddKnot(u"Cell")->WriteString(u"Value", u"x");
  Clipboard->SetAsText(content.SaveToString());
  Edit(table, tkRows, 0);
  table->Interactive()->SetSelection(1, 3);
  ASSERT_TRUE(table->Paste());
  EXPECT_EQ(Grid(table), u"00,01,02,03|x,,,");
  EXPECT_EQ(Steps(), 1);
}

TEST_F(TableTest, TableRowsPastedIntoATextThatTakesTablesBecomeANewTable) {
  // The table's start-up put it in class group 2, which a rich text with letters takes.
  auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
  text->SetTextorOptions(xoRich);
  text->SetTextOptions(AnyTextOptions);
  text->SetVisualParent(Host->Root);
  // Cells in a rich text are rich: a "Cell" holds runs.
  TKnot content{std::u16string(ContentKnotName)};
  for (const char16_t* value : {u"a", u"b"})
    content.AddKnot(u"Row")->AddKnot(u"Cell")->AddKnot(u"Chars")->WriteString(u"Value", value);
  ASSERT_TRUE(PasteTableIntoText(text, &content));
  auto* table = dynamic_cast<TElement_Table*>(text->FirstVisualChild());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Grid(table), u"a|b");
  TKnot saved(u"Text");
  text->SaveTo(&saved, fmDocument, {});
  TKnot* cell = saved.FindKnotByPath(u"Table.Row.Cell", false);
  ASSERT_NE(cell, nullptr);
  ASSERT_NE(cell->FirstKnot(), nullptr);
  EXPECT_EQ(cell->FirstKnot()->Name(), CharsKnotName);
  EXPECT_EQ(cell->FirstKnot()->ReadString(u"Value", u""), u"a");
  Host->History.Undo();
  EXPECT_EQ(text->FirstVisualChild(), nullptr);

  TKnot runs{std::u16string(ContentKnotName)};
  runs.AddKnot(u"Chars")->WriteString(u"Value", u"x");
  EXPECT_FALSE(PasteTableIntoText(text, &runs));
  auto* plain = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
  plain->SetTextOptions(AnyTextOptions);
  EXPECT_FALSE(PasteTableIntoText(plain, &content));
}

TEST_F(TableTest, RowsCopiedFromATablePasteIntoATextAsOneNewTableOrNotAtAll) {
  const auto addText = [this](TTextorOptions AOptions, TTextOptions ATextOptions) {
    auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
    text->SetTextorOptions(AOptions);
    text->SetTextOptions(ATextOptions);
    text->SetVisualParent(Host->Root);
    return text;
  };
  // The source table lives in a rich text, so its cells hold runs as the target's will.
  TTextorElement* source = addText(xoRich, AnyTextOptions);
  TKnot content{std::u16string(ContentKnotName)};
  for (const char16_t* value : {u"a", u"b", u"c"})
    content.AddKnot(u"Row")->AddKnot(u"Cell")->AddKnot(u"Chars")->WriteString(u"Value", value);
  Clipboard->SetAsText(content.SaveToString());
  ASSERT_TRUE(source->Paste());
  auto* table = dynamic_cast<TElement_Table*>(source->FirstVisualChild());
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(Grid(table), u"a|b|c");
  Edit(table, tkRows, 0);
  table->Interactive()->SetSelection(1, 3);
  table->Copy();
  const std::u16string copied = Clipboard->AsText();

  TTextorElement* target = addText(xoRich, AnyTextOptions);
  const int before = Steps();
  ASSERT_TRUE(target->Paste());
  EXPECT_EQ(Steps(), before + 1);
  auto* pasted = dynamic_cast<TElement_Table*>(target->FirstVisualChild());
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->NextVisualSibling(), nullptr);
  EXPECT_EQ(Grid(pasted), u"b|c");
  Host->History.Undo();
  EXPECT_EQ(target->FirstVisualChild(), nullptr);
  EXPECT_EQ(Grid(table), u"a|b|c");

  // A plain text, and a rich one that takes no letters, take no tables: the rows are refused and nothing changes.
  TTextorElement* plain = addText({}, AnyTextOptions);
  plain->SetText(u"z");
  TTextorElement* bare = addText(xoRich, {});
  const int undone = Steps();
  for (TTextorElement* text : {plain, bare}) {
    Clipboard->SetAsText(copied);
    EXPECT_FALSE(text->Paste());
    EXPECT_EQ(text->FirstVisualChild(), nullptr);
  }
  EXPECT_EQ(plain->GetText(), u"z");
  EXPECT_EQ(Steps(), undone);
}

// ---------------------------------------------------------------------------------------------------------------
// The controller on the table

TEST_F(TableTest, APressOnTheRowBeamCollapsesAColumnSelection) {
  TElement_Table* table = AddTable();
  Edit(table, tkColumns, 0);
  table->Interactive()->SetSelection(1, 3);
  TVisualElement* above = table->GetCell(0, 0);
  TVisualElement* below = table->GetCell(0, 1);
  ASSERT_LT(above->Top() + above->Height(), below->Top());
  const int32_t y = (above->Top() + above->Height() + below->Top()) / 2;
  Host->Sheet->MouseDown(AtTable(table, above->Left() + 1, y), true, {});
  Host->Sheet->MouseUp(AtTable(table, above->Left() + 1, y), true, {});
  EXPECT_EQ(table->Interactive()->Kind(), tkRows);
  EXPECT_FALSE(table->Interactive()->HasSelection());
  EXPECT_EQ(table->Interactive()->Caret(), 1);
}

TEST_F(TableTest, ThePointerOverTheBeamsShowsTheColumnAndRowCursors) {
  TElement_Table* table = AddTable();
  TVisualElement* cell = table->GetCell(0, 0);
  TVisualElement* right = table->GetCell(1, 0);
  TVisualElement* below = table->GetCell(0, 1);
  const TVisualPoint betweenColumns{(cell->Left() + cell->Width() + right->Left()) / 2, cell->Top() + 1};
  const TVisualPoint betweenRows{cell->Left() + 1, (cell->Top() + cell->Height() + below->Top()) / 2};
  // Without the focus the beams answer; with it the controller's zones.
  EXPECT_EQ(table->GetCursor(betweenColumns), crTableColumnsBeam);
  EXPECT_EQ(table->GetCursor(betweenRows), crTableRowsBeam);
  Edit(table, tkRows, 0);
  Host->Sheet->MouseMove(AtTable(table, betweenColumns.X, betweenColumns.Y), {});
  EXPECT_EQ(table->Interactive()->CursorZone(), tzColumnsBeam);
  EXPECT_EQ(table->GetCursor(betweenColumns), 30);
  Host->Sheet->MouseMove(AtTable(table, betweenRows.X, betweenRows.Y), {});
  EXPECT_EQ(table->GetCursor(betweenRows), 31);
}

TEST_F(TableTest, DraggedRowsOrColumnsMoveOrCopyAsOneStepUnlessDroppedOnThemselvesOrReadOnly) {
  enum TDrop { dpBelowLastRow, dpLeftOfFirstColumn, dpRightOfLastColumn, dpOnSecondRow };
  const struct {
    const char* Name;
    TTableKind Kind;
    int32_t Start, End;  // the selection, pressed on its first cell
    TDrop Drop;
    bool Copy;
    bool ReadOnly;
    std::u16string Grid;
    uint8_t Zone;  // over the drop point while dragging; tzNone: no drag at all
    int32_t SelectedStart, SelectedEnd;
  } cases[] = {
      {"a row moved below the last row", tkRows, 0, 1, dpBelowLastRow, false, false,
       u"10,11,12,13|20,21,22,23|00,01,02,03", tzDragMove, 2, 3},
      {"two columns moved before the first", tkColumns, 2, 4, dpLeftOfFirstColumn, false, false,
       u"02,03,00,01|12,13,10,11|22,23,20,21", tzDragMove, 0, 2},
      {"a column copied with Ctrl", tkColumns, 1, 2, dpRightOfLastColumn, true, false,
       u"00,01,02,03,01|10,11,12,13,11|20,21,22,23,21", tzDragCopy, 4, 5},
      {"a drop inside the dragged rows is refused", tkRows, 0, 2, dpOnSecondRow, false, false, NewGrid, tzNoDrop, 0,
       2},
      {"a read-only table does not drag", tkRows, 0, 1, dpBelowLastRow, false, true, NewGrid, tzNone, 0, 0},
  };
  const auto saved = [](TCustomTableElement* ATable) {
    TKnot knot(u"Table");
    ATable->SaveTo(&knot, fmDocument, {});
    return knot.SaveToString();
  };
  for (const auto& c : cases) {
    Host->History.Clear();
    TElement_Table* table = AddTable();
    const std::u16string before = saved(table);
    Edit(table, c.Kind, 0);
    table->Interactive()->SetSelection(c.Start, c.End);
    Host->Scheme.SetReadOnly(c.ReadOnly);
    const bool rows = c.Kind == tkRows;
    TVisualElement* pressed = table->GetCell(rows ? 0 : c.Start, rows ? c.Start : 0);
    TVisualElement* second = table->GetCell(0, 1);
    const TVisualPoint press{pressed->Left() + pressed->Width() / 2, pressed->Top() + pressed->Height() / 2};
    const TVisualPoint drop = c.Drop == dpBelowLastRow        ? TVisualPoint{press.X, table->Height() - 1}
                              : c.Drop == dpLeftOfFirstColumn ? TVisualPoint{1, press.Y}
                              : c.Drop == dpRightOfLastColumn ? TVisualPoint{table->Width() - 1, press.Y}
                                                              : TVisualPoint{press.X, second->Top() + 1};
    const TShiftKeys ctrl = c.Copy ? TShiftKeys(skCtrl) : TShiftKeys();
    Host->Sheet->MouseMove(AtTable(table, press.X, press.Y), {});
    EXPECT_EQ(Host->Sheet->Cursor() == crArrow, !c.ReadOnly) << c.Name;
    Host->Sheet->MouseDown(AtTable(table, press.X, press.Y), true, {});
    for (int i = 0; i < 2; ++i) Host->Sheet->MouseMove(AtTable(table, drop.X, drop.Y), ctrl | skLeft);
    const bool dragging = table->Interactive() && table->Interactive()->State() == TTableState::tsDragging;
    EXPECT_EQ(dragging, c.Zone != tzNone) << c.Name;
    if (dragging) {
      EXPECT_EQ(table->Interactive()->CursorZone(), c.Zone) << c.Name;
    }
    Host->Sheet->MouseUp(AtTable(table, drop.X, drop.Y), true, ctrl);
    Host->Scheme.SetReadOnly(false);
    EXPECT_EQ(Grid(table), c.Grid) << c.Name;
    const bool changed = c.Grid != NewGrid;
    EXPECT_EQ(Steps(), changed ? 1 : 0) << c.Name;
    if (c.Zone != tzNone) {
      ASSERT_NE(table->Interactive(), nullptr) << c.Name;
      int32_t start = 0, end = 0;
      table->Interactive()->GetSelection(start, end);
      EXPECT_EQ(table->Interactive()->Kind(), c.Kind) << c.Name;
      EXPECT_EQ(start, c.SelectedStart) << c.Name;
      EXPECT_EQ(end, c.SelectedEnd) << c.Name;
    }
    if (changed) {
      Host->History.Undo();
      EXPECT_EQ(saved(table), before) << c.Name;
      Host->History.Redo();
      EXPECT_EQ(Grid(table), c.Grid) << c.Name;
      Host->History.Undo();
      EXPECT_EQ(saved(table), before) << c.Name;
    }
    table->Destroy();
  }
}

TEST_F(TableTest, ArrowsEnterTheCellsOfTheOtherIndexWhichFollowsTheLastCellLeft) {
  TElement_Table* table = AddTable();
  Edit(table, tkRows, 1);
  uint16_t key = vkDown;
  Host->Sheet->KeyDown(key, {});
  EXPECT_EQ(Host->Sheet->Focused(), table->GetCell(0, 1));
  table->SetFocus({}, {}, table->GetCell(2, 1), nullptr);
  ASSERT_NE(table->Interactive(), nullptr);
  EXPECT_EQ(table->Interactive()->OtherIndex(), 2);
  int32_t start = 0, end = 0;
  table->Interactive()->GetSelection(start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 2);
  key = vkUp;
  Host->Sheet->KeyDown(key, {});
  EXPECT_EQ(Host->Sheet->Focused(), table->GetCell(2, 1));
}

// Where the caret stands: in cell (Column, Row), or in the text around the table with Column -1, and the focus
// data of its place there.
struct TCaretPlace {
  int32_t Column;
  int32_t Row;
  const char16_t* Data;
};

TEST_F(TableTest, ArrowsWalkTheCellsRowByRowAndOutOfTheTableAndTypingLandsInTheCellsReached) {
  // Lines "ab", the table alone, "yz".
  auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
  text->SetTextorOptions(xoRich);
  text->SetTextOptions(AnyTextOptions);
  text->SetVisualParent(Host->Root);
  text->SetText(u"ab\r\n\r\nyz");
  auto* table = TElement::CreateIn<TElement_Table>(&Host->Scheme, text);
  table->NotifyInitNew(0);
  TTextPosition at;
  ASSERT_TRUE(text->Textor()->IndexToPosition({1, 0}, at));
  TTextRange range;
  text->Textor()->InsertElement(at, table, nullptr, range);
  table->SetVisualParent(text);
  for (int32_t r = 0; r < table->GetRowCount(); ++r)
    for (int32_t c = 0; c < table->GetColumnCount(); ++c)
      Cell(table, c, r)->SetText(std::u16string{char16_t(u'0' + r), char16_t(u'0' + c)});
  const auto element = [&](const TCaretPlace& APlace) -> TVisualElement* {
    return APlace.Column < 0 ? static_cast<TVisualElement*>(text) : table->GetCell(APlace.Column, APlace.Row);
  };
  const char16_t *start = u"0,0,0,0", *end = u"0,2,0,2", *before = u"1,0,1,0", *after = u"1,1,1,1";
  const struct {
    const char* Name;
    TCaretPlace From;
    uint16_t Key;
    TCaretPlace To;
  } cases[] = {
      {"Right at a cell's end", {0, 0, end}, vkRight, {1, 0, start}},
      {"Right at a row's last cell's end", {3, 0, end}, vkRight, {0, 1, start}},
      {"Right at the last cell's end", {3, 2, end}, vkRight, {-1, 0, after}},
      {"Right inside a cell's text", {1, 1, start}, vkRight, {1, 1, u"0,1,0,1"}},
      {"Left at a cell's start", {1, 1, start}, vkLeft, {0, 1, end}},
      {"Left at a row's first cell's start", {0, 1, start}, vkLeft, {3, 0, end}},
      {"Left at the first cell's start", {0, 0, start}, vkLeft, {-1, 0, before}},
      {"Down in the first row", {2, 0, start}, vkDown, {2, 1, start}},
      {"Down in the last row", {2, 2, start}, vkDown, {-1, 0, after}},
      {"Up in a middle row", {1, 1, end}, vkUp, {1, 0, end}},
      {"Up in the top row", {1, 0, end}, vkUp, {-1, 0, before}},
      {"Right before the table", {-1, 0, before}, vkRight, {0, 0, start}},
      {"Left after the table", {-1, 0, after}, vkLeft, {3, 2, end}},
      {"Down from the line above", {-1, 0, start}, vkDown, {0, 0, start}},
      {"Up from the line below", {-1, 0, u"2,0,2,0"}, vkUp, {3, 2, end}},
  };
  for (const auto& c : cases) {
    element(c.From)->SetFocus(fdForward, c.From.Data, nullptr, nullptr);
    uint16_t key = c.Key;
    Host->Sheet->KeyDown(key, {});
    TVisualElement* focused = Host->Sheet->Focused();
    EXPECT_EQ(focused, element(c.To)) << c.Name;
    std::u16string data;
    if (focused) focused->GetFocusData(data);
    EXPECT_EQ(data, c.To.Data) << c.Name;
  }

  // From a row caret the mouse placed, Right enters the cell of the caret's row in the column last used.
  Edit(table, tkRows, 1);
  table->Interactive()->SetOtherIndex(2);
  uint16_t right = vkRight;
  Host->Sheet->KeyDown(right, {});
  EXPECT_EQ(Host->Sheet->Focused(), table->GetCell(2, 1));

  // Typing with Right between the words fills a row and the next; on the table itself a letter goes into the cell
  // at its caret. Each cell's typing undoes and redoes as a whole.
  for (int32_t r = 0; r < table->GetRowCount(); ++r)
    for (int32_t c = 0; c < table->GetColumnCount(); ++c) Cell(table, c, r)->SetText({});
  const std::u16string around = text->GetText();
  const int steps = Steps();
  table->GetCell(0, 0)->SetFocus(fdForward, {}, nullptr, nullptr);
  for (const char16_t* word : {u"Item", u"Qty", u"Shop", u"Note", u"Milk", u"2"}) {
    if (word[0] != u'I') {
      uint16_t key = vkRight;
      Host->Sheet->KeyDown(key, {});
    }
    for (const char16_t* p = word; *p; ++p) {
      char16_t ch = *p;
      Host->Sheet->KeyPress(ch);
    }
  }
  Edit(table, tkRows, 2);
  table->Interactive()->SetOtherIndex(0);
  char16_t ch = u'x';
  Host->Sheet->KeyPress(ch);
  const std::u16string typed = u"Item,Qty,Shop,Note|Milk,2,,|x,,,";
  EXPECT_EQ(Grid(table), typed);
  EXPECT_EQ(text->GetText(), around);
  EXPECT_GE(Steps(), steps + 7);
  while (Steps() > steps) Host->History.Undo();
  EXPECT_EQ(Grid(table), u",,,|,,,|,,,");
  while (Host->History.CanRedo()) Host->History.Redo();
  EXPECT_EQ(Grid(table), typed);
}

// The colour at two points of the table painted through the sheet with AFlags.
std::vector<TColor32> PaintedAt(TSheet* ASheet, TCustomTableElement* ATable, TSheetPaintFlags AFlags,
                                std::initializer_list<TVisualPoint> APoints) {
  TBitmap32 target;
  target.SetSize(400, 200);
  ASheet->PaintTo(target.Handle(), {0, 0, 400, 200}, AFlags);
  std::vector<TColor32> colours;
  for (TVisualPoint p : APoints) {
    const TVisualPoint at = ATable->ClientToSheet(p);
    colours.push_back(target.Pixel(at.X, at.Y) & 0xFFFFFF);
  }
  return colours;
}

TEST_F(TableTest, TheSelectedRowsAreCoveredByABandThatReachesIntoTheSpacing) {
  TElement_Table* table = AddTable();
  TVisualElement* first = table->GetCell(0, 0);
  TVisualElement* second = table->GetCell(0, 1);
  // In the spacing right of the first column: outside every cell, in row 0 and in row 1.
  const int32_t x = first->Left() + first->Width() + 1;
  const TVisualPoint row0{x, first->Top() + 2}, row1{x, second->Top() + 2};
  Edit(table, tkRows, 0);
  const std::vector<TColor32> plain = PaintedAt(Host->Sheet.get(), table, {}, {row0, row1});
  table->Interactive()->SetSelection(1, 3);
  const std::vector<TColor32> selected = PaintedAt(Host->Sheet.get(), table, {}, {row0, row1});
  EXPECT_EQ(selected[0], plain[0]);
  EXPECT_NE(selected[1], plain[1]);
  EXPECT_EQ(PaintedAt(Host->Sheet.get(), table, spNoSelection, {row0, row1}), plain);
}

TEST_F(TableTest, ShiftHomeAndEndExtendTheSelection) {
  TElement_Table* table = AddTable();
  Edit(table, tkRows, 1);
  uint16_t key = vkEnd;
  Host->Sheet->KeyDown(key, skShift);
  int32_t start = 0, end = 0;
  table->Interactive()->GetSelection(start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 3);
  key = vkHome;
  Host->Sheet->KeyDown(key, {});
  EXPECT_FALSE(table->Interactive()->HasSelection());
  EXPECT_EQ(table->Interactive()->Caret(), 0);
}

}  // namespace

#ifdef QB_HAVE_STRINGS
TEST(StringTable, CarriesTheTablesPaletteItems) {
  TLocalization strings;
  strings.SetDefaultLanguage(LangEnglishUS);
  EXPECT_EQ(strings.GetLocStr(IdPaletteSeries), u"Series");
  EXPECT_EQ(strings.GetLocStr(IdPaletteSeriesHint), u"Insert column or row.");
  EXPECT_EQ(strings.GetLocStr(IdPaletteTable), u"Table");
  EXPECT_EQ(strings.GetLocStr(IdPaletteTableHint), u"Table.");
}
#endif
