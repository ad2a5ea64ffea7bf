// The palette model: the engine's start-up content, the image rule, running items on elements with their sounds,
// and which items an element or a selection is offered.
#include "document/model/diPalette.h"
#include "document/model/diSounds.h"
#include "TestElements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// An element as the palette sees it; runs are written to a shared log as "name:value".
class TFakeTarget : public IPaletteTarget {
 public:
  TFakeTarget(std::string AName, std::vector<std::string>& ALog) : Name(std::move(AName)), Log(ALog) {}

  void GetPaletteItems(TPaletteList& AList) override { AList.insert(AList.end(), Items.begin(), Items.end()); }
  void GetSelectedPaletteTargets(TPaletteTargetList& AList) override {
    AList.insert(AList.end(), Selected.begin(), Selected.end());
  }
  void AdjustPaletteItems(TPaletteList& AList) override { ++Adjusted; }
  void QueryPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) override {
    if (Refuses) AState.Accepted = false;
  }
  void RunPaletteItem(TSchemePaletteItem* AItem, intptr_t AValue) override {
    Log.push_back(Name + ":" + std::to_string(AValue));
  }
  // What a sheet does with the sound.
  void PlayPaletteSound(std::u16string_view AName) override { PlaySchemeSound(AName); }

  std::string Name;
  std::vector<std::string>& Log;
  TPaletteList Items;
  TPaletteTargetList Selected;
  bool Refuses = false;
  int Adjusted = 0;
};

class PaletteTest : public ::testing::Test {
 protected:
  PaletteTest() {
    InitializePalette();
    InitializeSoundsSettings();
    FPrevious = SetSoundPlayer([this](std::u16string_view AName) { Sounds.emplace_back(AName); });
  }
  ~PaletteTest() override {
    SetSoundPlayer(std::move(FPrevious));
    FinalizeSoundsSettings();
    FinalizeDisableItem();
    FinalizePalette();
  }

  std::vector<std::string> Log;
  std::vector<std::u16string> Sounds;

 private:
  TSoundPlayer FPrevious;
};

TEST_F(PaletteTest, TheEngineGroupsComeInWeightOrderWithTheOtherAndDisabledItems) {
  InitializeDisableItem(1);
  std::vector<TPaletteGroup*> groups;
  Palette->CollectNodes(groups, false);
  std::stable_sort(groups.begin(), groups.end(),
                   [](TPaletteGroup* A, TPaletteGroup* B) { return A->Weight() > B->Weight(); });
  std::vector<int> captions;
  for (TPaletteGroup* g : groups) captions.push_back(g->CaptionID());
  EXPECT_EQ(captions, (std::vector<int>{2320, 2321, 2322, 2324, 2323}));  // Actions, Options, Insert, State, Additional

  for (TPaletteGroup* group : {PaletteInsertGroup, PaletteAdditionalGroup}) {
    auto* other = dynamic_cast<TPaletteItem*>(group->FirstChild());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(dynamic_cast<TSchemePaletteItem*>(other), nullptr);  // a plain item: its image stays none
    EXPECT_EQ(other->ItemFlags().Bits(), 0x3100);
    EXPECT_EQ(other->LargeImage(), -1);
    EXPECT_EQ(other->SmallImage(), -1);
    EXPECT_EQ(other->CaptionID(), 2325);
    EXPECT_EQ(other->HintID(), 2326);
  }
  ASSERT_NE(DisablePaletteItem, nullptr);
  EXPECT_EQ(DisablePaletteItem->Parent(), PaletteStateGroup);
  EXPECT_EQ(DisablePaletteItem->ItemFlags().Bits(), 0x0341);
  EXPECT_EQ(DisablePaletteItem->KeyText(), u"D");
  EXPECT_EQ(DisablePaletteItem->LargeImage(), 1);
  EXPECT_EQ(DisablePaletteItem->CaptionID(), 2335);
  EXPECT_FALSE(DisablePaletteItem->Toggle());
}

TEST_F(PaletteTest, TheLargeImageFlagChoosesWhichImageTheIndexGoesTo) {
  struct TCase {
    bool Scheme;
    int Image;
    TPaletteItemFlags Flags;
    int Large, Small;
  };
  const TCase cases[] = {
      {false, 5, pfLargeImage, 5, -1}, {false, 5, {}, -1, 5},
      {true, -1, pfLargeImage, 0, -1},  // an acting item without an image takes the first of its list
      {true, -1, {}, -1, 0},           {true, 7, pfToggle, -1, 7},
  };
  for (const TCase& c : cases) {
    TPaletteItem* item = c.Scheme ? new TSchemePaletteItem(PaletteActionsGroup, 1, 0, 0, c.Image, c.Flags)
                                  : new TPaletteItem(PaletteActionsGroup, 1, 0, 0, c.Image, c.Flags);
    EXPECT_EQ(item->LargeImage(), c.Large) << c.Image << " " << c.Flags.Bits();
    EXPECT_EQ(item->SmallImage(), c.Small) << c.Image << " " << c.Flags.Bits();
    EXPECT_EQ(item->Toggle(), c.Flags.Contains(pfToggle));
  }
}

TEST_F(PaletteTest, ExecuteForSkipsRefusingElementsAndRunsTheRestInOrder) {
  auto* item = new TSchemePaletteItem(PaletteActionsGroup, 1, 0, 0, -1, {});
  TFakeTarget a("a", Log), b("b", Log), c("c", Log);
  b.Refuses = true;
  item->ExecuteFor({&c, &b, &a}, 3);
  EXPECT_EQ(Log, (std::vector<std::string>{"c:3", "a:3"}));
  Log.clear();
  item->Execute(&b, 1);  // a single element is not asked
  EXPECT_EQ(Log, (std::vector<std::string>{"b:1"}));
}

TEST_F(PaletteTest, ApplyingPlaysTheItemsSoundOnlyWhenSoundsAreEnabled) {
  InitializeDisableItem(1);
  auto* action = new TSchemePaletteItem(PaletteActionsGroup, 1, 0, 0, -1, {});
  auto* insert = new TElementPaletteItem(PaletteInsertGroup, 1, &TElement_TestNote::ClassInfo, 0, 0, -1, {});
  EXPECT_EQ(insert->ItemFlags().Bits(), 0x42);
  TFakeTarget a("a", Log), b("b", Log);
  action->Apply(&a, 1);
  insert->ApplyToList({&b, &a}, 0);
  DisablePaletteItem->ApplyToList({}, 1);  // no element: no sound, no run
  EXPECT_EQ(Sounds, (std::vector<std::u16string>{u"diClassesItemSound", u"diClassesElementSound"}));
  EXPECT_EQ(Log, (std::vector<std::string>{"a:1", "b:0", "a:0"}));
  SoundsSettings->Enabled->SetValue(false);
  DisablePaletteItem->Apply(&a, 1);
  EXPECT_EQ(Sounds.size(), 2u);
  SoundsSettings->Enabled->SetValue(true);
  DisablePaletteItem->Apply(&a, 1);
  EXPECT_EQ(Sounds.back(), u"diClassesDisableSound");
  FinalizeSoundsSettings();
  action->Apply(&a, 1);  // before the settings exist nothing plays
  EXPECT_EQ(Sounds.size(), 3u);
  InitializeSoundsSettings();
}

TEST_F(PaletteTest, ASelectionIsOfferedTheItemsAllItsChildrenShareLessInsertionsAndSingleChildItems) {
  auto* both = new TSchemePaletteItem(PaletteActionsGroup, 1, 0, 0, -1, {});
  auto* single = new TSchemePaletteItem(PaletteActionsGroup, 2, 0, 0, -1, pfSingleChild);
  auto* onlyFirst = new TSchemePaletteItem(PaletteOptionsGroup, 1, 0, 0, -1, {});
  auto* childrenOnly = new TSchemePaletteItem(PaletteStateGroup, 1, 0, 0, -1, pfNotForElement);
  auto* insert = new TElementPaletteItem(PaletteInsertGroup, 1, &TElement_TestNote::ClassInfo, 0, 0, -1, {});
  TFakeTarget container("container", Log), first("first", Log), second("second", Log);
  first.Items = {PaletteActionsGroup, both,  single, PaletteOptionsGroup, onlyFirst, PaletteStateGroup, childrenOnly,
                 PaletteInsertGroup,  insert};
  second.Items = {PaletteActionsGroup, both, single, PaletteStateGroup, childrenOnly, PaletteInsertGroup, insert};

  TPaletteList list;
  container.Selected = {&first};
  EXPECT_TRUE(CollectPaletteItems(&container, list));
  EXPECT_EQ(list, (TPaletteList{PaletteActionsGroup, both, single, PaletteOptionsGroup, onlyFirst, PaletteStateGroup,
                                childrenOnly}));  // insertions never for a selection, and their group goes too
  container.Selected = {&first, &second};
  EXPECT_TRUE(CollectPaletteItems(&container, list));
  EXPECT_EQ(list, (TPaletteList{PaletteActionsGroup, both, PaletteStateGroup, childrenOnly}));
  EXPECT_EQ(container.Adjusted, 2);

  // Without a selection the element's own items, less those only for selected children.
  EXPECT_FALSE(CollectPaletteItems(&first, list));
  EXPECT_EQ(list, (TPaletteList{PaletteActionsGroup, both, single, PaletteOptionsGroup, onlyFirst, PaletteStateGroup,
                                PaletteInsertGroup, insert}));
  EXPECT_EQ(first.Adjusted, 0);
}

TEST_F(PaletteTest, InsertingItemsAreFoundByClassWithTheirGroups) {
  auto* note = new TElementPaletteItem(PaletteInsertGroup, 5, &TElement_TestNote::ClassInfo, 0, 0, -1, {});
  auto* nested = new TPaletteGroup(PaletteAdditionalGroup, 1, 0);
  auto* group = new TElementPaletteItem(nested, 5, &TElement_TestGroup::ClassInfo, 0, 0, -1, {});
  new TElementPaletteItem(PaletteActionsGroup, 5, &TElement_TestRequired::ClassInfo, 0, 0, -1, {});
  EXPECT_EQ(FindPaletteItemOfClass(&TElement_TestGroup::ClassInfo), group);
  EXPECT_EQ(FindPaletteItemOfClass(&TElement_TestNote::ClassInfo), note);
  EXPECT_EQ(FindPaletteItemOfClass(&TElement_TestRoot::ClassInfo), nullptr);
  TPaletteList list;
  AddInsertionItems({&TElement_TestGroup::ClassInfo, &TElement_TestNote::ClassInfo}, list);
  EXPECT_EQ(list, (TPaletteList{PaletteInsertGroup, note, PaletteAdditionalGroup, nested, group}));
}

}  // namespace
