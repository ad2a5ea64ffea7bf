#include "app/unStartup.h"
#include "document/elements/diCommonElements.h"
#include "document/elements/diDataElement.h"
#include "document/elements/diDataElementUtils.h"
#include "document/elements/plElements.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/text/diTextorInteractive.h"
#include "foundation/cuUtilsWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Recorder {
  std::vector<std::string> events;
  TStartupStep Step(const char* name, bool failStart = false, bool failEnd = false) {
    return {name,
            [this, name, failStart] {
              events.push_back(std::string("start ") + name);
              if (failStart) throw std::runtime_error(name);
            },
            [this, name, failEnd] {
              events.push_back(std::string("end ") + name);
              if (failEnd) throw std::runtime_error(name);
            }};
  }
};

TEST(StartupList, EndsInReverseOrderOfStart) {
  Recorder r;
  {
    TStartupList list({r.Step("a"), r.Step("b"), r.Step("c")});
    list.StartAll();
    EXPECT_EQ(list.StartedCount(), 3);
    list.EndAll();
    EXPECT_EQ(list.StartedCount(), 0);
  }
  EXPECT_EQ(r.events, (std::vector<std::string>{"start a", "start b", "start c", "end c", "end b", "end a"}));
}

TEST(StartupList, FailedStartEndsWhatWasStartedAndRethrows) {
  Recorder r;
  TStartupList list({r.Step("a"), r.Step("b"), r.Step("c", true), r.Step("d")});
  EXPECT_THROW(list.StartAll(), std::runtime_error);
  EXPECT_EQ(r.events, (std::vector<std::string>{"start a", "start b", "start c", "end b", "end a"}));
}

TEST(StartupList, FailingEndDoesNotStopTheOthers) {
  Recorder r;
  TStartupList list({r.Step("a"), r.Step("b", false, true), r.Step("c")});
  list.StartAll();
  EXPECT_THROW(list.EndAll(), std::runtime_error);
  EXPECT_EQ(r.events, (std::vector<std::string>{"start a", "start b", "start c", "end c", "end b", "end a"}));
}

TEST(StartupList, DestructionEndsStartedSteps) {
  Recorder r;
  {
    TStartupList list({r.Step("a"), r.Step("b")});
    list.StartAll();
  }
  EXPECT_EQ(r.events.back(), "end a");
}

}  // namespace

namespace {

TEST(ProgramStartup, EveryUnitStartsAndEndsInOrder) {
  TStartupList units(ProgramStartupSteps());
  ASSERT_NO_THROW(units.StartAll());
  EXPECT_EQ(units.StartedCount(), static_cast<int>(ProgramStartupSteps().size()));
  ASSERT_NO_THROW(units.EndAll());
  EXPECT_EQ(units.StartedCount(), 0);
}

TEST(ProgramStartup, UnitsStartAgainAfterAnEnd) {
  // Session end ends the units while the process lives on; nothing may stay half-ended.
  for (int round = 0; round < 2; ++round) {
    TStartupList units(ProgramStartupSteps());
    ASSERT_NO_THROW(units.StartAll());
    ASSERT_NO_THROW(units.EndAll());
  }
}

TEST(ProgramStartup, TheTextCursorsComeFromTheProgramsResourcesOnceTheScreenStands) {
  std::vector<std::string> names;
  for (const TStartupStep& step : ProgramStartupSteps()) names.emplace_back(step.Name);
  auto at = [&names](const char* AName) { return std::find(names.begin(), names.end(), AName) - names.begin(); };
  EXPECT_LT(at("screen and cursors"), at("text cursors"));
  EXPECT_LT(at("text cursors"), static_cast<std::ptrdiff_t>(names.size()));

  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  const HCURSOR arrow = GetCursorHandle(crArrow);
  std::set<HCURSOR> cursors;
  for (TCursor c = crTextorFieldBeam; c <= crTextorDragCopy; ++c) {
    EXPECT_NE(GetCursorHandle(c), arrow) << c;
    cursors.insert(GetCursorHandle(c));
  }
  EXPECT_EQ(cursors.size(), 8u);
  units.EndAll();
}

TEST(ProgramStartup, ThePaletteComesBeforeTheImagesAndItsDisabledItemTakesTheSecondLargeImage) {
  std::vector<std::string> names;
  for (const TStartupStep& step : ProgramStartupSteps()) names.emplace_back(step.Name);
  auto at = [&names](const char* AName) { return std::find(names.begin(), names.end(), AName) - names.begin(); };
  EXPECT_LT(at("palette"), at("element images"));
  EXPECT_GT(at("Disabled palette item"), at("sounds settings"));
  EXPECT_LT(at("Disabled palette item"), static_cast<std::ptrdiff_t>(names.size()));

  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  ASSERT_NE(DisablePaletteItem, nullptr);
  EXPECT_EQ(DisablePaletteItem->LargeImage(), ClassesLargeImagesIndex + 1);
  EXPECT_EQ(DisablePaletteItem->Parent(), PaletteStateGroup);
  EXPECT_EQ(PaletteInsertGroup->GetCaption(), u"Insert");
  units.EndAll();
  EXPECT_EQ(Palette, nullptr);
  EXPECT_EQ(DisablePaletteItem, nullptr);
}

TEST(ProgramStartup, CommonElementsJoinAfterThePaletteTheImagesAndTheClassGroupsWithTheirStripAndItems) {
  std::vector<std::string> names;
  for (const TStartupStep& step : ProgramStartupSteps()) names.emplace_back(step.Name);
  auto at = [&names](const char* AName) { return std::find(names.begin(), names.end(), AName) - names.begin(); };
  for (const char* before : {"palette", "element images", "class groups"})
    EXPECT_LT(at(before), at("common elements")) << before;
  EXPECT_LT(at("common elements"), static_cast<std::ptrdiff_t>(names.size()));

  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  EXPECT_EQ(SchemeSmallImages->Count(), CommonElementsSmallImagesIndex + 8);
  ASSERT_NE(PaletteSignsGroup, nullptr);
  EXPECT_EQ(PaletteSignsGroup->GetCaption(), u"Signs");
  TElementPaletteItem* frame = FindPaletteItemOfClass(&TElement_LogicFrame::ClassInfo);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->GetCaption(), u"Logic Frame");
  EXPECT_EQ(frame->KeyText(), u"L");
  units.EndAll();
  EXPECT_EQ(PaletteSignsGroup, nullptr);
}

TEST(ProgramStartup, TheDataElementJoinsAfterTheClipboardAndThePaletteWithItsStripsGroupsAndFormats) {
  std::vector<std::string> names;
  for (const TStartupStep& step : ProgramStartupSteps()) names.emplace_back(step.Name);
  auto at = [&names](const char* AName) { return std::find(names.begin(), names.end(), AName) - names.begin(); };
  for (const char* before : {"clipboard", "palette", "element images", "class groups"})
    EXPECT_LT(at(before), at("data element")) << before;
  EXPECT_LT(at("data element"), static_cast<std::ptrdiff_t>(names.size()));

  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  EXPECT_GE(DataElementLargeImagesIndex, 0);
  EXPECT_GE(DataElementSmallImagesIndex, 0);
  EXPECT_GE(SchemeLargeImages->Count(), DataElementLargeImagesIndex + 8);
  ASSERT_NE(PaletteDataEditGroup, nullptr);
  EXPECT_EQ(PaletteDataEditGroup->GetCaption(), u"Edit");
  ASSERT_NE(PaletteDataFormatGroup, nullptr);
  EXPECT_EQ(PaletteDataFormatGroup->GetCaption(), u"Format");
  TElementPaletteItem* image = FindPaletteItemOfClass(&TElement_Image::ClassInfo);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetCaption(), u"Image");
  EXPECT_EQ(image->LargeImage(), DataElementLargeImagesIndex + 7);
  const TElementClassList& group = ClassesGroups->GetGroup(1);
  EXPECT_NE(std::find(group.begin(), group.end(), &TElement_Image::ClassInfo), group.end());
  EXPECT_EQ(PlainRootImageClass, &TElement_Image::ClassInfo);
  EXPECT_NE(DataClipboardFormat, 0u);
  EXPECT_NE(DataTypeClipboardFormat, 0u);
  units.EndAll();
  EXPECT_EQ(PaletteDataEditGroup, nullptr);
  EXPECT_EQ(PlainRootImageClass, nullptr);
  EXPECT_EQ(DataClipboardFormat, 0u);
}

TEST(ProgramStartup, ExternalEditingIsInstalledAfterTheDataElementAndRemovedAtTheEnd) {
  std::vector<std::string> names;
  for (const TStartupStep& step : ProgramStartupSteps()) names.emplace_back(step.Name);
  auto at = [&names](const char* AName) { return std::find(names.begin(), names.end(), AName) - names.begin(); };
  EXPECT_LT(at("data element"), at("data element settings"));
  EXPECT_LT(at("data element settings"), static_cast<std::ptrdiff_t>(names.size()));

  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  ASSERT_NE(DataElementSettings, nullptr);
  EXPECT_EQ(DataElementSettings->Name(), u"Data");
  EXPECT_NE(DataExternalEditing, nullptr);
  units.EndAll();
  EXPECT_EQ(DataElementSettings, nullptr);
  EXPECT_EQ(DataExternalEditing, nullptr);
}

}  // namespace
