#include "document/text/diHyperlinks.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/document/TestTextAttributes.h"

namespace {

constexpr size_t npos = std::u16string_view::npos;

std::string Narrow(std::u16string_view AText) { return std::string(AText.begin(), AText.end()); }

TEST(LinkWords, SeparatorsAreTabSpaceQuoteAndAngleBrackets) {
  struct TCase {
    std::u16string_view Text;
    size_t Start;
    bool WantSeparator;
    size_t Found;
  };
  const TCase cases[] = {
      {u"ab cd", 0, true, 2},       {u"ab cd", 2, false, 3},  {u"ab cd", 3, true, npos},   {u"a\tb", 0, true, 1},
      {u"a\"b", 0, true, 1},        {u"a<b>", 2, true, 3},    {u"a,b;c'd", 0, true, npos}, {u"a\u00A0b", 0, true, npos},
      {u"a\u3000b", 0, true, npos}, {u"   ", 0, false, npos}, {u"", 0, true, npos},        {u"ab", 5, false, npos},
      {u"\u0120x", 0, false, 0},  // U+0120 carries space in its low byte and is still a word character
  };
  for (const TCase& c : cases)
    EXPECT_EQ(FindSeparator(c.Text, c.Start, c.WantSeparator), c.Found) << Narrow(c.Text) << " from " << c.Start;
}

TEST(LinkWords, NextWordWalksTheWordsBetweenSeparators) {
  struct TCase {
    std::u16string_view Text;
    std::vector<std::u16string_view> Words;
  };
  const TCase cases[] = {
      {u"see <http://x.y>, ok", {u"see", u"http://x.y", u",", u"ok"}},
      {u"  \"a\"\t<b>  ", {u"a", u"b"}},
      {u"one", {u"one"}},
      {u" \t<>\"", {}},
      {u"", {}},
  };
  for (const TCase& c : cases) {
    std::vector<std::u16string_view> words;
    size_t start = 0, finish = 0;
    while (NextWord(c.Text, start, finish)) {
      ASSERT_LT(start, finish);
      words.push_back(c.Text.substr(start, finish - start));
      start = finish;
    }
    EXPECT_EQ(words, c.Words) << Narrow(c.Text);
  }
}

TEST(LinkWords, AFailedSearchLeavesTheBoundsAlone) {
  size_t start = 1, finish = 9;
  EXPECT_FALSE(NextWord(u"a   ", start, finish));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(finish, 9u);
}

TEST(LinkWords, AWordIsALinkWithAKnownSchemeADelimiterAndOneMoreCharacter) {
  struct TCase {
    std::u16string_view Word;
    bool Link;
  };
  const TCase cases[] = {
      {u"http://a", true},        {u"ftp://a", true},        {u"HTTP://A", true},   {u"file:\\\\x", true},
      {u"https://x", true},       {u"url://x", true},        {u"FiLe://x", true},   {u"http:\\\\a", true},
      {u"http://", false},        {u"https://", false},      {u"ftp://", false},    {u"mailto://x", false},
      {u"xhttp://a", false},      {u"http:/a", false},       {u"http:\\a", false},  {u"https:/x/", false},
      {u"news://a", false},       {u"www.x.org", false},     {u"http//:ab", false}, {u"htt://abc", false},
      {u"http\u017F://a", false},  // a long s is no ASCII letter: no Unicode folding makes "https" of it
      {u"\u0127ttp://a", false},  {u"h\uFF34tp://a", false},
  };
  for (const TCase& c : cases) EXPECT_EQ(IsURL(c.Word, 0, c.Word.size()), c.Link) << Narrow(c.Word);
}

TEST(LinkWords, LinksHoldSevenTo2057Characters) {
  for (const size_t length : {6, 7, 2057, 2058}) {
    std::u16string word = u"ftp://" + std::u16string(length > 6 ? length - 6 : 0, u'x');
    word.resize(length, u'x');
    EXPECT_EQ(IsURL(word, 0, word.size()), length >= 7 && length <= 2057) << length;
  }
}

TEST(LinkWords, OnlyTheCharactersInsideTheWordCount) {
  const std::u16string_view text = u"<http://a>http://ftp://x";
  EXPECT_TRUE(IsURL(text, 1, 9));
  EXPECT_FALSE(IsURL(text, 1, 8));    // "http://": the "a" after it is outside the word
  EXPECT_FALSE(IsURL(text, 10, 16));  // "http:/" cut before its second slash
  EXPECT_TRUE(IsURL(text, 17, 24));   // "ftp://x"
  EXPECT_FALSE(IsURL(text, 17, 25));  // a word running past the text is none
  EXPECT_FALSE(IsURL(text, 9, 1));
}

// Links found while paragraphs are laid out get Link, or nothing when LinkAttributes is cleared.
class FindLinksInText : public ::testing::Test {
 protected:
  FindLinksInText() {
    Textor.DefaultText = &Attributes;
    Link.SetLink(1, u"x");
    Textor.BeforeFormatParagraph = [this](TParagraph* AParagraph) {
      if (Detect)
        FindLinks(AParagraph, [this](std::u16string_view AURL) {
          Found.emplace_back(AURL);
          return LinkAttributes;
        });
    };
  }

  // A character per character: "^" a link, "E" an element, "." anything else; "|" between paragraphs.
  std::string Mask() const {
    std::string mask;
    for (const TParagraph* p = Textor.FirstParagraph(); p; p = p->Next()) {
      if (p != Textor.FirstParagraph()) mask += '|';
      for (const TPortion* portion = p->FirstPortion(); portion; portion = portion->Next()) {
        const char c = portion->Kind() == TPortionKind::pkElement ? 'E' : portion->Attributes() == &Link ? '^' : '.';
        mask.append(portion->Length(), c);
      }
    }
    return mask;
  }
  void InsertElement(const TTextPosition& APosition) {
    TTextRange range;
    Textor.InsertElement(APosition, new TTestEmbeddedElement(20, 10), nullptr, range);
  }

  // Attributes outlive the textor whose portions hold them.
  TTestTextAttributes Attributes;
  TTestTextAttributes Link{u"link"};
  TTestTextAttributes Bold{u"bold"};
  TTextAttributes* LinkAttributes = &Link;
  bool Detect = true;
  std::vector<std::u16string> Found;
  TTestTextor Textor;
};

TEST_F(FindLinksInText, AddressesBetweenSeparatorsBecomeLinks) {
  struct TCase {
    std::u16string_view Text;
    std::string Mask;
    std::vector<std::u16string> Found;
  };
  const std::vector<TCase> cases = {
      {u"see <http://x.y>, ok", ".....^^^^^^^^^^.....", {u"http://x.y"}},
      {u"http://x.y, ok", "^^^^^^^^^^^...", {u"http://x.y,"}},
      {u"\"ftp://a\"", ".^^^^^^^.", {u"ftp://a"}},
      {u"HTTP://A url://b", "^^^^^^^^.^^^^^^^", {u"HTTP://A", u"url://b"}},
      {u"a\tfile:\\\\x", "..^^^^^^^^", {u"file:\\\\x"}},
      {u"mailto://x http:// xhttp://y", "............................", {}},
      {u"http://a\r\nb http://c", "^^^^^^^^|..^^^^^^^^", {u"http://a", u"http://c"}},
  };
  for (const TCase& c : cases) {
    Found.clear();
    Textor.SetText(c.Text);
    EXPECT_EQ(Mask(), c.Mask) << Narrow(c.Text);
    EXPECT_EQ(Found, c.Found) << Narrow(c.Text);
  }
}

TEST_F(FindLinksInText, AnElementSplitsTheScan) {
  Textor.SetText(u"ftp://xy z");
  InsertElement(Textor.GetBeginPosition());  // before the address: it stays one
  EXPECT_EQ(Mask(), "E^^^^^^^^..");
  TTextPosition at;
  ASSERT_TRUE(Textor.IndexToPosition({0, 7}, at));
  InsertElement(at);  // "ftp://" and "xy" apart: neither is an address
  EXPECT_EQ(Mask(), "E......E....");
}

TEST_F(FindLinksInText, ALinkThatIsNoneAnyMoreLosesItsLookAtTheNextLayout) {
  Textor.SetText(u"go http://x.y");
  ASSERT_EQ(Mask(), "...^^^^^^^^^^");
  TTextRange range;
  ASSERT_TRUE(Textor.IndexRangeToRange({{0, 7}, {0, 10}}, range));
  TTextPosition at;
  Textor.DeleteRange(range, at);  // "go httpx.y"
  EXPECT_EQ(Mask(), "..........");
  EXPECT_EQ(Textor.GetText(), u"go httpx.y");
}

TEST_F(FindLinksInText, NilAttributesLeaveTheAddressPlain) {
  LinkAttributes = nullptr;
  Textor.SetText(u"a http://b");
  EXPECT_EQ(Mask(), "..........");
  EXPECT_EQ(Found, (std::vector<std::u16string>{u"http://b"}));
}

TEST_F(FindLinksInText, DetectionInsideALayoutCausesNoSecondLayoutAndNoSignal) {
  struct TCounts {
    int FormatText, Changed, FormatParagraph;
    bool operator==(const TCounts&) const = default;
  };
  auto run = [this](bool ADetect) {
    Detect = ADetect;
    Textor.SetText(u"");
    Textor.FormatTextCalls = Textor.ChangedCalls = Textor.FormatParagraphCalls = 0;
    Textor.SetText(u"a http://b c\r\nd\r\nftp://e");
    Textor.InvalidateLayout();  // lays out again: the links are reset and set again without a change
    return TCounts{Textor.FormatTextCalls, Textor.ChangedCalls, Textor.FormatParagraphCalls};
  };
  const TCounts without = run(false);
  const TCounts with = run(true);
  EXPECT_EQ(Mask(), "..^^^^^^^^..|.|^^^^^^^");
  EXPECT_EQ(with, without);
  EXPECT_EQ(with.FormatText, 2);
  EXPECT_EQ(with.Changed, 1);
  EXPECT_EQ(with.FormatParagraph, 6);
}

}  // namespace
