// The table controller alone, over ten columns of cells ten pixels wide: selection notifications, clicks that
// never became drags, refused drops and the zones' cursors.
#include "document/elements/diTableInteractive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class TableControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Controller.SetKind(tkColumns, false);
    Controller.SetCount([](TTableKind) { return 10; });
    Controller.SetHitTest([](TVisualPoint APoint, TTableKind AKind, TTableHit AHit, int32_t& AIndex) {
      if (AKind != tkColumns || AHit == thBeam) return false;
      const int32_t column = std::clamp(APoint.X / 10, 0, 9);
      AIndex = AHit == thGap && APoint.X % 10 >= 5 ? column + 1 : column;
      return true;
    });
    Controller.SetCanDrag(true);
    Controller.AddNotifyEvent(MakeMethod<&TableControllerTest::Heard>(this));
  }
  void Heard(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
    Codes.push_back(static_cast<int>(ANotify));
    if (ANotify == tcDropped) Drops.push_back(static_cast<int>(AParam1));
  }
  int Count(int ACode) const { return static_cast<int>(std::count(Codes.begin(), Codes.end(), ACode)); }

  TTableInteractive Controller;
  std::vector<int> Codes;
  std::vector<int> Drops;
};

TEST_F(TableControllerTest, TheSameRangeReversedIsNoSelectionChange) {
  Controller.SetSelection(1, 3);
  Codes.clear();
  Controller.SetSelection(3, 1);
  EXPECT_EQ(Count(tcSelectionChanged), 0);
  int32_t start = 0, end = 0;
  Controller.GetSelection(start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 3);
  Controller.SetSelection(3, 2);
  EXPECT_EQ(Count(tcSelectionChanged), 1);
}

TEST_F(TableControllerTest, APressAndReleaseUnderTheDragThresholdCollapseToACaret) {
  Controller.SetSelection(1, 3);
  Controller.MouseDown({15, 5}, false);
  EXPECT_EQ(Controller.State(), TTableState::tsDragPending);
  Controller.MouseMove({18, 5}, false);
  EXPECT_EQ(Controller.State(), TTableState::tsDragPending);
  Controller.MouseUp({18, 5}, false);
  EXPECT_EQ(Controller.State(), TTableState::tsIdle);
  EXPECT_FALSE(Controller.HasSelection());
  EXPECT_EQ(Controller.Caret(), 2);
  EXPECT_EQ(Count(tcDragStarted), 0);
}

TEST_F(TableControllerTest, ADropInsideOrAtTheEdgesOfTheDraggedSelectionIsRefused) {
  // Columns 1 and 2 are dragged; a point in the second half of a column stands for the next gap.
  const struct {
    int32_t X;
    int Gap;  // -1: refused
  } cases[] = {{22, -1}, {15, -1}, {5, -1}, {25, -1}, {2, 0}, {35, 4}, {45, 5}};
  for (const auto& c : cases) {
    Controller.SetSelection(1, 3);
    Drops.clear();
    Controller.MouseDown({15, 5}, false);
    Controller.MouseMove({60, 5}, false);
    ASSERT_EQ(Controller.State(), TTableState::tsDragging);
    Controller.MouseMove({c.X, 5}, false);
    EXPECT_EQ(Controller.CursorZone(), c.Gap < 0 ? tzNoDrop : tzDragMove) << c.X;
    Controller.MouseUp({c.X, 5}, false);
    EXPECT_EQ(Drops, c.Gap < 0 ? std::vector<int>{} : std::vector<int>{c.Gap}) << c.X;
    EXPECT_EQ(Controller.State(), TTableState::tsIdle);
  }
}

TEST_F(TableControllerTest, EveryZoneHasItsCursor) {
  const struct {
    uint8_t Zone;
    TCursor Cursor;
  } cases[] = {
      {tzNone, crDefault},        {tzColumnsBeam, 30},      {tzRowsBeam, 31},
      {tzOverSelection, crArrow}, {tzSelectingColumns, 30}, {tzSelectingRows, 31},
      {tzDragMove, 32},           {tzDragCopy, 33},         {tzNoDrop, crNoDrop},
  };
  for (const auto& c : cases) EXPECT_EQ(TableZoneCursor(c.Zone), c.Cursor) << int(c.Zone);
}

}  // namespace
