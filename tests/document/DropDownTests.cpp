// The drop-down list: the accordion, the list width, the change signals of an open list and the Enter rule.
#include "document/model/diDropDown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#ifdef _WIN32
#include "document/model/diCanvas.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "graphics/pixels/pxBitmap.h"
#endif

namespace {

// Measures every character 7 pixels wide and 10 high, and counts the changes it hears.
class TFakeDropDownHost : public IDropDownHost {
 public:
  TTextSize MeasureDropDownText(const std::u16string& AText) override {
    return {static_cast<int>(AText.size()) * 7, 10};
  }
  void DropDownChanged(TDropDownList* AList) override { ++Changes; }
  int Changes = 0;
};

TDropDownItem* AddRow(TDropDownList& AList, TDropDownItem* AParent, std::u16string ACaption) {
  auto* item = new TDropDownItem(&AList, AParent ? AParent : AList.RootItem());
  item->SetCaption(std::move(ACaption));
  return item;
}

int TextWidth(const std::u16string& AText) { return static_cast<int>(AText.size()) * 7; }

// Root rows "Alpha" (with a long "Alpha one, the widest row" holding "Deep", and "a2"), "Beta" (with "b1"), "C".
class DropDownListTest : public ::testing::Test {
 protected:
  DropDownListTest() : List(&Host, [this](TDropDownList* AList) { Applied.push_back(AList->Selected()); }) {
    Alpha = AddRow(List, nullptr, u"Alpha");
    AlphaOne = AddRow(List, Alpha, u"Alpha one, the widest row");
    Deep = AddRow(List, AlphaOne, u"Deep");
    AddRow(List, Alpha, u"a2");
    Beta = AddRow(List, nullptr, u"Beta");
    BetaOne = AddRow(List, Beta, u"b1");
    AddRow(List, nullptr, u"C");
  }

  std::vector<std::u16string> VisibleCaptions() const {
    std::vector<TDropDownItem*> rows;
    List.GetVisibleRows(rows);
    std::vector<std::u16string> captions;
    for (TDropDownItem* row : rows) captions.push_back(row->Caption());
    return captions;
  }

  TFakeDropDownHost Host;
  TDropDownList List;
  std::vector<TDropDownItem*> Applied;
  TDropDownItem *Alpha, *AlphaOne, *Deep, *Beta, *BetaOne;
};

TEST_F(DropDownListTest, ExpandingABranchCollapsesItsSiblingsAndTheWidthShrinksToTheRowsLeft) {
  List.SetOpen(true);
  EXPECT_EQ(List.ListWidth(), 20 + TextWidth(u"Alpha") + 12);  // the first-level rows only
  Alpha->SetExpanded(true);
  const int alphaOpen = 20 + 20 + TextWidth(u"Alpha one, the widest row") + 12;
  EXPECT_EQ(List.ListWidth(), alphaOpen);
  EXPECT_EQ(Host.Changes, 1);
  Beta->SetExpanded(true);
  EXPECT_FALSE(Alpha->Expanded());
  EXPECT_EQ(List.ListWidth(), 20 + TextWidth(u"Alpha") + 12);
  EXPECT_EQ(Host.Changes, 2);  // the sibling's collapse is part of the one change
  EXPECT_EQ(VisibleCaptions(), (std::vector<std::u16string>{u"Alpha", u"Beta", u"b1", u"C"}));
  List.ToggleSelected();  // nothing selected: nothing to toggle
  EXPECT_TRUE(Beta->Expanded());
}

TEST_F(DropDownListTest, SelectingADeepRowExpandsEveryAncestorInOneChange) {
  Beta->SetExpanded(true);
  List.SetOpen(true);
  const int before = Host.Changes;
  List.SetSelected(Deep);
  EXPECT_TRUE(Alpha->Expanded());
  EXPECT_TRUE(AlphaOne->Expanded());
  EXPECT_FALSE(Beta->Expanded());
  EXPECT_EQ(Host.Changes, before + 1);
  EXPECT_EQ(VisibleCaptions(),
            (std::vector<std::u16string>{u"Alpha", u"Alpha one, the widest row", u"Deep", u"a2", u"Beta", u"C"}));
  EXPECT_EQ(Deep->GetIndent(), 40);
  List.SetSelected(Deep);
  EXPECT_EQ(Host.Changes, before + 1);  // no change, no signal
}

TEST_F(DropDownListTest, AClosedListSignalsNothing) {
  Alpha->SetExpanded(true);
  List.SetSelected(BetaOne);
  List.SetRowHeight(List.MeasureRowHeight());
  List.SetBounds(TRect{1, 2, 3, 4});
  EXPECT_EQ(Host.Changes, 0);
  EXPECT_EQ(List.RowHeight(), 16);  // text 10 + 6 over the 12-pixel images
  List.SetOpen(true);
  EXPECT_EQ(Host.Changes, 0);  // the opening is the sheet's own notification
  List.SetBounds(TRect{});
  EXPECT_EQ(Host.Changes, 1);
  List.SetOpen(false);
  List.SetListWidth(5);
  EXPECT_EQ(Host.Changes, 1);
}

TEST_F(DropDownListTest, ARowIsItsIndentGlyphTextEndAndImageWide) {
  BetaOne->SetImageIndex(2);
  EXPECT_EQ(BetaOne->GetRowWidth(), 20 + 20 + TextWidth(u"b1") + 12 + 16);
  Beta->SetCaption(u"");
  Beta->SetAltCaption(u"(none)");
  EXPECT_EQ(Beta->GetRowWidth(), 0 + 20 + TextWidth(u"(none)") + 12);
  List.SetSelected(BetaOne);
  List.UpdateListWidth();
  EXPECT_EQ(List.ListWidth(), 20 + 20 + TextWidth(u"b1") + 12 + 16);
}

TEST_F(DropDownListTest, EnterAppliesOnlyASelectedSelectableRow) {
  List.SetOpen(true);
  EXPECT_EQ(List.EnterAction(), TDropDownEnter::deClose);  // nothing selected: closes, applies nothing
  EXPECT_FALSE(List.Apply());
  EXPECT_TRUE(Applied.empty());
  Beta->SetSelectable(false);
  List.SetSelected(Beta);
  EXPECT_EQ(List.EnterAction(), TDropDownEnter::deStayOpen);
  EXPECT_TRUE(List.ToggleSelected());  // space still opens its branch
  EXPECT_TRUE(Beta->Expanded());
  List.SetSelected(BetaOne);
  EXPECT_EQ(List.EnterAction(), TDropDownEnter::deApply);
  EXPECT_TRUE(List.Apply());
  EXPECT_EQ(Applied, (std::vector<TDropDownItem*>{BetaOne}));
}

TEST_F(DropDownListTest, AFreedSelectedRowIsNoLongerSelected) {
  List.SetSelected(Deep);
  Deep->Free();
  EXPECT_EQ(List.Selected(), nullptr);
  EXPECT_FALSE(List.Apply());
}

}  // namespace

#ifdef _WIN32
namespace {

// Rows measured by a real sheet canvas, as the sheet measures them.
class TCanvasHost : public IDropDownHost {
 public:
  explicit TCanvasHost(TCustomSheetCanvas& ACanvas) : Canvas(ACanvas) {}
  TTextSize MeasureDropDownText(const std::u16string& AText) override {
    const SIZE size = Canvas.TextExtent(ckCode, AText);
    return {size.cx, size.cy};
  }
  void DropDownChanged(TDropDownList* AList) override {}
  TCustomSheetCanvas& Canvas;
};

TColor32 RowPixel(TSheetCanvas& ACanvas, TDropDownItem& AItem, bool ASelected, int X, int Y) {
  TBitmap32 target;
  target.SetSize(300, 20);
  ACanvas.BeginPaint(target.Handle(), TRect{0, 0, 300, 20});
  AItem.PaintRow(ACanvas, TRect{0, 0, 300, 20}, ASelected);
  ACanvas.EndPaint(target.Handle());
  return target.Pixel(X, Y) & 0xFFFFFF;
}

TEST(DropDownRows, AreMeasuredInTheCodeFontAndHighlightedOnlyWhereTheyCanBeChosen) {
  TSheetSettings settings(nullptr);
  TSheetCanvas canvas(&settings);
  TCanvasHost host(canvas);
  TDropDownList list(&host, nullptr);
  EXPECT_EQ(list.MeasureRowHeight(), std::max(12, static_cast<int>(canvas.TextExtent(ckCode, u"0").cy) + 6));
  TDropDownItem* branch = AddRow(list, nullptr, u"Branch");
  AddRow(list, branch, u"Leaf");
  EXPECT_EQ(branch->GetRowWidth(), 20 + canvas.TextExtent(ckCode, u"Branch").cx + 12);

  const TColor32 highlight = Color32(GetSysColor(COLOR_HIGHLIGHT)) & 0xFFFFFF;
  const TColor32 window = Color32(GetSysColor(COLOR_WINDOW)) & 0xFFFFFF;
  branch->SetSelectable(false);
  EXPECT_EQ(RowPixel(canvas, *branch, true, 1, 1), highlight);  // the glyph column shows where the keyboard is
  EXPECT_EQ(RowPixel(canvas, *branch, true, 290, 1), window);
  branch->SetSelectable(true);
  EXPECT_EQ(RowPixel(canvas, *branch, true, 290, 1), highlight);
  EXPECT_EQ(RowPixel(canvas, *branch, false, 1, 1), window);
}

}  // namespace
#endif
