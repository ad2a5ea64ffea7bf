#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "foundation/cuUnicode.h"

namespace {

constexpr size_t npos = std::u16string_view::npos;

TEST(CaseFolding, FoldsOneCodePointToOneAndKeepsTheRestAsTheyAre) {
  struct TCase {
    char32_t From, To;
  };
  const TCase cases[] = {
      {U'A', U'a'},       {U'z', U'z'},     {U'@', U'@'},         {U'Ж', U'ж'},
      {U'ж', U'ж'},       {U'Σ', U'σ'},     {U'ς', U'σ'},         {U'σ', U'σ'},
      {0xB5, 0x3BC},      {0x17F, U's'},    {0x1E9E, 0xDF},       {0xDF, 0xDF},  // sharp s folds only in full
      {0x130, 0x130},     {0x131, 0x131},   {0x212A, U'k'},       {0x13A0, 0x13A0},
      {0xAB70, 0x13A0},   {0xFF21, 0xFF41}, {0x10400, 0x10428},   {0x10428, 0x10428},
      {0x1E900, 0x1E922}, {0xD800, 0xD800}, {0x110000, 0x110000},
  };
  for (const TCase& c : cases) EXPECT_EQ(FoldCase(c.From), c.To) << std::hex << uint32_t(c.From);
}

TEST(CaseFolding, TheTableFoldsOnceKeepsEveryLengthAndCoversTheBasicPlaneAndBeyond) {
  int folded = 0;
  for (char32_t c = 0; c < 0x110000; ++c) {
    const char32_t f = FoldCase(c);
    if (f == c) continue;
    ++folded;
    ASSERT_EQ(FoldCase(f), f) << std::hex << uint32_t(c);  // a folded code point is already folded
    ASSERT_EQ(c > 0xFFFF, f > 0xFFFF) << std::hex << uint32_t(c);
    ASSERT_FALSE(f >= 0xD800 && f <= 0xDFFF);
  }
  EXPECT_GT(folded, 1400);  // Unicode 14 has 1454 simple foldings
  EXPECT_EQ(std::string(UnicodeDataVersion()).substr(0, 3), "14.");
}

TEST(Letters, LettersAndDecimalDigitsOfEveryScriptAndNothingElse) {
  const char32_t yes[] = {U'a', U'Z', U'0', U'9', U'ж', U'Ж', 0xAA, 0x663, 0x4E00, 0xFF10, 0x10400, 0x20000};
  const char32_t no[] = {U' ', U'_', U'.', U'\t', 0xB2, 0xBD, 0x2160, 0x300, 0xD800, 0xFFFF, 0x1F600, 0x110000};
  for (char32_t c : yes) EXPECT_TRUE(IsLetterOrDigit(c)) << std::hex << uint32_t(c);
  for (char32_t c : no) EXPECT_FALSE(IsLetterOrDigit(c)) << std::hex << uint32_t(c);
  int members = 0;
  for (char32_t c = 0; c < 0x110000; ++c) members += IsLetterOrDigit(c);
  EXPECT_EQ(members, 132416);  // Unicode 14
}

TEST(CaseFolding, SameTextComparesFoldedCodePoints) {
  EXPECT_TRUE(SameTextFolded(u"жук", u"ЖУК"));
  EXPECT_TRUE(SameTextFolded(u"ΟΔΟΣ", u"οδος"));  // final sigma and capital sigma
  EXPECT_TRUE(SameTextFolded(u"Quill Box", u"qUILL bOX"));
  EXPECT_TRUE(SameTextFolded(u"\U00010400x", u"\U00010428X"));  // Deseret as surrogate pairs
  EXPECT_FALSE(SameTextFolded(u"жук", u"жуки"));
  EXPECT_FALSE(SameTextFolded(u"straße", u"STRASSE"));  // full folding would change the length
  EXPECT_FALSE(SameTextFolded(u"\U00010400", u"\U00010401"));
  EXPECT_TRUE(SameTextFolded(std::u16string(1, char16_t(0xD801)), std::u16string(1, char16_t(0xD801))));
}

TEST(CaseFolding, FindReportsPositionsInTheOriginalText) {
  struct TCase {
    std::u16string_view Text, Pattern;
    size_t From, Found;
  };
  const TCase cases[] = {
      {u"Большой ЖУК сидит", u"жук", 0, 8},
      {u"жук и ЖУК", u"Жук", 1, 6},
      {u"abc", u"", 2, 2},
      {u"abc", u"", 4, npos},
      {u"abc", u"abcd", 0, npos},
      {u"ΟΔΟΣ", u"ος", 0, 2},
      {u"a\U00010400b", u"\U00010428B", 0, 1},
      {u"a\U00010400b", u"\U00010428B", 2, npos},  // from inside the pair: no match starts on its second half
      {u"\U00010400\U00010400", u"\U00010428", 1, 2},
      {u"xyz", u"Y", 0, 1},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(FindFolded(c.Text, c.Pattern, c.From), c.Found) << std::u16string(c.Pattern).size() << " from " << c.From;
}

}  // namespace
