// The layout follows an edit incrementally: typing into one paragraph of a long text measures that paragraph alone
// and wraps no other, whether the rest keeps its place or moves down. Counted through the test attributes and the
// counting host, never timed.
#include "document/text/diTextor.h"
#include "tests/document/TestTextAttributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int32_t Paragraphs = 10000;
constexpr int32_t Typed = 4321;

// Ten thousand paragraphs of 78 characters that wrap into two rows each; paragraph Typed alone has its own
// attributes object, so its measuring is counted apart from everyone else's.
class TextorIncremental : public ::testing::Test {
 protected:
  void SetUp() override {
    Textor.DefaultText = &Others;
    Textor.WrapWidth = 350;
    Textor.EndFormatUpdate();
    std::u16string text;
    for (int32_t i = 0; i < Paragraphs; ++i) {
      if (i > 0) text += u"\r\n";
      text += u"abc def\tghi jkl mno pqr stu vwx yz0 123 456 789 abc def ghi jkl mno pqr stu vw";
    }
    Textor.BeginUpdate();
    Textor.SetText(text);
    TTextRange range;
    Textor.SetRangeAttributes(Textor.ParagraphAt(Typed)->GetRange(), false, &Own, range);
    Textor.EndUpdate();
    Textor.BeforeFormatParagraph = [this](TParagraph* AParagraph) { Wrapped.push_back(AParagraph); };
  }
  void TearDown() override { Textor.Clear(); }

  // Types one character at AIndex of paragraph Typed as the interactive layer does, inside an update, and
  // counts what the layout asked.
  void Type(int32_t AIndex) {
    Others.WidthCalls = Own.WidthCalls = 0;
    Textor.FormatTextCalls = Textor.FormatParagraphCalls = 0;
    Wrapped.clear();
    TTextPosition at;
    ASSERT_TRUE(Textor.IndexToPosition({Typed, AIndex}, at));
    TTextRange range;
    Textor.BeginUpdate();
    Textor.InsertText(at, u"x", Textor.GetAttributesAt(at), range);
    Textor.EndUpdate();
  }

  TTestTextAttributes Others, Own{u"own"};
  TTestTextor Textor{true};
  std::vector<TParagraph*> Wrapped;
};

TEST_F(TextorIncremental, TypingMeasuresAndWrapsOnlyTheTypedParagraph) {
  ASSERT_EQ(Textor.ParagraphCount(), Paragraphs);
  const int32_t height = Textor.GetHeight();
  ASSERT_EQ(height, Paragraphs * 2 * 13);
  Type(10);
  EXPECT_EQ(Textor.GetHeight(), height);
  EXPECT_EQ(Textor.FormatTextCalls, 1);
  EXPECT_EQ(Textor.FormatParagraphCalls, 1);
  EXPECT_EQ(Wrapped, std::vector<TParagraph*>{Textor.ParagraphAt(Typed)});
  EXPECT_EQ(Others.WidthCalls, 0);
  EXPECT_GT(Own.WidthCalls, 0);
}

TEST_F(TextorIncremental, ARowAddedMovesTheRestWithoutMeasuringIt) {
  // The 78 characters wrap after 48 (336 px) and hold 30 on the second row: 20 more fill it to exactly 350 px,
  // and the 21st starts a third row.
  const int32_t height = Textor.GetHeight();
  for (int32_t i = 0; i < 20; ++i) Type(78);
  ASSERT_EQ(Textor.GetHeight(), height);
  const TRow* last = Textor.LastParagraph()->LastRow();
  const int32_t lastBottom = last->Bottom;
  Type(78);
  EXPECT_EQ(Textor.GetHeight(), height + 13);
  EXPECT_EQ(Textor.LastParagraph()->LastRow()->Bottom, lastBottom + 13);
  EXPECT_EQ(Textor.FormatParagraphCalls, 1);
  EXPECT_EQ(Wrapped, std::vector<TParagraph*>{Textor.ParagraphAt(Typed)});
  EXPECT_EQ(Others.WidthCalls, 0);
  EXPECT_GT(Own.WidthCalls, 0);
  EXPECT_EQ(Textor.ParagraphAt(Typed + 1)->FirstRow()->GetTop(), Textor.ParagraphAt(Typed)->LastRow()->Bottom);
}

}  // namespace

// Paragraphs removed just above one made in the same update move what lies below up by their height.
TEST(TextorLayout, ParagraphsRemovedAboveANewOneMoveTheRestUp) {
  TTestTextAttributes attributes;
  TTestTextor textor(true);
  textor.DefaultText = &attributes;
  textor.LineBreaks = true;
  textor.EndFormatUpdate();
  textor.SetText(u"\r\r");  // rows at 0, 13, 26
  TTextPosition at, from, to, result;
  TTextRange range;
  textor.BeginUpdate();
  ASSERT_TRUE(textor.IndexToPosition({1, 0}, at));
  textor.SplitParagraph(at, nullptr, range);
  ASSERT_TRUE(textor.IndexToPosition({0, 0}, from));
  ASSERT_TRUE(textor.IndexToPosition({1, 0}, to));
  textor.DeleteRange({from, to}, result);
  textor.EndUpdate();
  EXPECT_EQ(textor.LastParagraph()->FirstRow()->GetTop(), 26);
  EXPECT_EQ(textor.GetHeight(), 39);
}

// A host whose answers hold from its own construction on; it releases the format lock as its constructor ends.
class TAnsweringTextor : public TTextor {
 public:
  explicit TAnsweringTextor(TTextAttributes* AAttributes) : FAttributes(AAttributes) { EndFormatUpdate(); }
  TTextAttributes* GetDefaultTextAttributes() const override { return FAttributes; }
  bool AllowsLineBreaks() const override { return true; }

 private:
  TTextAttributes* FAttributes;
};

TEST(TextorLayout, AHostsFirstParagraphIsLaidOutWithItsOwnAnswersAsAFullLayoutWouldBe) {
  TTestTextAttributes attributes;
  TAnsweringTextor textor(&attributes);
  ASSERT_NE(textor.FirstParagraph()->FirstRow(), nullptr);
  EXPECT_EQ(textor.FirstParagraph()->FirstRow()->GetHeight(), 13) << "ascent + descent of an empty paragraph";
  TTextRange range;
  textor.InsertText(textor.GetEndPosition(), u"\r\nb", nullptr, range);
  const int32_t incremental = textor.GetHeight();
  textor.InvalidateLayout();
  EXPECT_EQ(textor.GetHeight(), incremental);
  EXPECT_EQ(incremental, 26);
}
