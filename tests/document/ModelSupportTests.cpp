#include "document/model/diClassesGroups.h"
#include "document/model/diNaming.h"
#include "document/model/diSchemeImages.h"
#include "document/model/diSounds.h"
#include "foundation/cuKnot.h"
#include "graphics/pixels/pxBitmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MakeValidFileName, DropsControlAndReservedCharactersAndCutsAt260) {
  EXPECT_EQ(MakeValidFileName(u"a:b/c?.txt"), u"abc.txt");
  EXPECT_EQ(MakeValidFileName(u"\"x*y\\z|<>\t\n"), u"xyz");
  EXPECT_EQ(MakeValidFileName(std::u16string(300, u'n')).size(), 260u);
  EXPECT_EQ(MakeValidFileName(std::u16string(259, u'n') + u"::ab").size(), 259u);  // cut first, then filtered
}

TEST(ClassesGroups, StartWithFourEmptyGroupsAndAddMore) {
  InitializeClassesGroups();
  EXPECT_EQ(ClassesGroups->Count(), 4);
  const int g = ClassesGroups->Add();
  EXPECT_EQ(g, 4);
  ClassesGroups->GetGroup(g).push_back(&TElement::ClassInfo);
  EXPECT_EQ(ClassesGroups->GetGroup(g).size(), 1u);
  EXPECT_THROW(ClassesGroups->GetGroup(5), EProgrammingError);
  FinalizeClassesGroups();
  EXPECT_EQ(ClassesGroups, nullptr);
}

TEST(AddUnique, AppendsOnlyMissingItemsInOrder) {
  std::vector<int> list{1, 2};
  AddUnique(list, 2);
  AddUnique(list, 3);
  AddListUnique(list, std::vector<int>{3, 4, 1, 5});
  EXPECT_EQ(list, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(GreyedPixel, GreysColourAndFadesAlphaWithoutDividing) {
  struct Case {
    TColor32 in, out;
  };
  const Case cases[] = {
      {0xFFFF0000, 0x383C3C3C},  // opaque red: grey 60, alpha 56
      {0x00000000, 0x00000000},  // fully transparent stays transparent
      {0x00FFFFFF, 0x00FFFFFF},  // colour without alpha: no division, still transparent
      {0xFFFFFFFF, 0x38FFFFFF}, {0x8000FF00, 0x1CADADAD},
  };
  for (const Case& c : cases) EXPECT_EQ(GreyedPixel(c.in), c.out) << std::hex << c.in;
}

TEST(BlankImage, IsSixtyByFortyOfRed160Green160Blue164) {
  std::unique_ptr<TCustomBitmap32> image = CreateBlankImage();
  ASSERT_EQ(image->Width(), 60);
  ASSERT_EQ(image->Height(), 40);
  EXPECT_EQ(image->Pixel(0, 0), Color32FromRGBA(160, 160, 164));
  EXPECT_EQ(image->Pixel(59, 39), 0xFFA0A0A4u);
}

TEST(Settings, NamingAndSoundsNodesSaveOnlyWhatDiffersFromTheirDefaults) {
  InitializeNamingSettings();
  InitializeSoundsSettings();
  TNodePtr<TKnot> knot(new TKnot(u"Settings"));
  NamingSettings->Save(*knot);
  SoundsSettings->Save(*knot);
  EXPECT_EQ(knot->SaveToString(), u"<Settings>\r\n\t<Naming/>\r\n\t<Sounds/>\r\n</Settings>\r\n");
  NamingSettings->FillDigits->SetValue(40);
  NamingSettings->FillMode->SetValue(2);
  SoundsSettings->Enabled->SetValue(false);
  TNodePtr<TKnot> changed(new TKnot(u"Settings"));
  NamingSettings->Save(*changed);
  SoundsSettings->Save(*changed);
  EXPECT_EQ(changed->SaveToString(),
            u"<Settings>\r\n\t<Naming>\r\n\t\t<FillMode Value=\"Lower\"/>\r\n\t\t<FillDigits Value=\"12\"/>\r\n"
            u"\t</Naming>\r\n\t<Sounds>\r\n\t\t<Enabled Value=\"0\"/>\r\n\t</Sounds>\r\n</Settings>\r\n");
  FinalizeSoundsSettings();
  FinalizeNamingSettings();
}

}  // namespace
