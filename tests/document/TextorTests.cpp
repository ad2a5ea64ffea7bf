#include "TestTextAttributes.h"

#include "document/text/diTextor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A text host laid out with the fixed metrics: every character 7 px, ascent 10, descent 3, tabs every 56 px.
class Textor : public ::testing::Test {
 protected:
  Textor() {
    T.DefaultText = &A;
    T.DefaultParagraph = &PA;
    T.EndFormatUpdate();
  }

  void SetText(std::u16string_view AText) { T.SetText(AText); }
  void Wrap(int32_t AWidth) {
    T.WrapWidth = AWidth;
    T.InvalidateLayout();
  }
  TTextPosition P(int32_t AParagraph, int32_t AChar) {
    TTextPosition p;
    EXPECT_TRUE(T.IndexToPosition({AParagraph, AChar}, p)) << AParagraph << "," << AChar;
    return p;
  }
  TIndexPosition I(const TTextPosition& APosition) { return T.PositionToIndex(APosition); }
  // The portions of a paragraph as kind letters and lengths: "t3 b2 e1" (text, tab stops, element).
  std::string Portions(int32_t AParagraph) {
    std::string s;
    for (TPortion* p = T.ParagraphAt(AParagraph)->FirstPortion(); p; p = p->Next()) {
      if (!s.empty()) s += ' ';
      s += p->Kind() == TPortionKind::pkText ? 't' : p->Kind() == TPortionKind::pkTabStops ? 'b' : 'e';
      s += std::to_string(p->Length());
      EXPECT_EQ(p->Paragraph(), T.ParagraphAt(AParagraph));
      EXPECT_GT(p->Length(), 0);
    }
    return s;
  }
  std::vector<TRow*> Rows() {
    std::vector<TRow*> rows;
    for (TRow* r = T.FirstParagraph()->FirstRow(); r; r = r->GetNextTextRow()) rows.push_back(r);
    return rows;
  }
  // Inserts an element of the given size at the end of the text.
  TTestEmbeddedElement* AddElement(int32_t AWidth, int32_t AHeight, int32_t ADescent = 0) {
    auto* e = new TTestEmbeddedElement(AWidth, AHeight, ADescent);
    e->FreedCount = &Freed;
    TTextRange r;
    T.InsertElement(T.GetEndPosition(), e, nullptr, r);
    return e;
  }

  // Attributes outlive the text that holds them.
  TTestTextAttributes A;
  TTestTextAttributes Bold{u"bold"}, AlsoBold{u"bold"}, Other{u"other"}, Link{u"link"}, Wide;
  TTestParagraphAttributes PA;
  int Freed = 0;
  TTestTextor T{true};
};

// ---------------------------------------------------------------------------------------------------------------
// Measuring and hits

TEST_F(Textor, TabsAdvanceToTheNextStopFromWhereTheyStart) {
  TTextRange r;
  T.InsertTabs(T.GetBeginPosition(), 2, nullptr, r);
  TPortion* tabs = T.GetFirstPortion();
  struct TCase {
    int32_t X, Count, EndX, Advance;
  };
  const TCase cases[] = {{0, 2, 112, 112}, {30, 1, 56, 26}, {56, 1, 112, 56}, {55, 1, 56, 1}, {30, 0, 30, 0}};
  for (const TCase& c : cases) {
    int32_t x = c.X;
    EXPECT_EQ(tabs->MeasureChars(x, 0, c.Count), c.Advance) << c.X;
    EXPECT_EQ(x, c.EndX) << c.X;
  }
}

TEST_F(Textor, TextHitsFindTheCharacterAndRoundToTheNearerEdge) {
  SetText(u"abcdef");
  TPortion* p = T.GetFirstPortion();
  struct TCase {
    int32_t Target;
    bool Round;
    int32_t Index, EndX;
  };
  const TCase cases[] = {{20, false, 2, 0}, {20, true, 3, 0}, {17, true, 2, 0},    {0, false, 0, 0},
                         {41, false, 5, 0}, {41, true, 6, 0}, {42, false, -1, 42}, {-5, true, 0, 0}};
  for (const TCase& c : cases) {
    int32_t x = 0;
    EXPECT_EQ(p->CharIndexAtX(x, c.Target, 0, 6, c.Round, nullptr), c.Index) << c.Target << " " << c.Round;
    EXPECT_EQ(x, c.EndX) << c.Target;
  }
  int32_t x = 0;
  EXPECT_EQ(p->CharIndexAtX(x, 10, 2, 3, false, nullptr), 3);  // from offset 2: "cde", 10 px into "d"
}

TEST_F(Textor, AnElementIsPassedAtItsMiddleByAClickAnd40PixelsIntoItByADrag) {
  AddElement(100, 20);
  TPortion* p = T.GetFirstPortion();
  const TTextDrag still{{0, 0}, {2, 3}};
  const TTextDrag right{{0, 0}, {50, 0}};
  const TTextDrag left{{200, 0}, {60, 0}};
  const TTextDrag down{{0, 0}, {-1, 9}};  // past the threshold in y only, leftwards
  struct TCase {
    int32_t Target;
    const TTextDrag* Drag;
    int32_t Index;
  };
  const TCase cases[] = {{49, nullptr, 0}, {51, nullptr, 1}, {49, &still, 0}, {51, &still, 1}, {39, &right, 0},
                         {41, &right, 1},  {59, &left, 0},   {61, &left, 1},  {61, &down, 1},  {59, &down, 0}};
  for (const TCase& c : cases) {
    int32_t x = 0;
    EXPECT_EQ(p->CharIndexAtX(x, c.Target, 0, 1, true, c.Drag), c.Index) << c.Target;
  }
  int32_t x = 0;
  EXPECT_EQ(p->CharIndexAtX(x, 99, 0, 1, false, &right), 0);  // without rounding always before it
  EXPECT_EQ(p->CharIndexAtX(x, 100, 0, 1, true, nullptr), -1);
  EXPECT_EQ(x, 100);
}

TEST_F(Textor, PortionsSplitOnlyInsideAndKeepTheirKindAndCharacters) {
  SetText(u"ab\t\tc");
  TPortion* first = T.GetFirstPortion();
  EXPECT_EQ(first->SplitAt(0), first);
  EXPECT_EQ(Portions(0), "t2 b2 t1");
  TPortion* tail = first->Next()->SplitAt(1);
  EXPECT_EQ(tail->Kind(), TPortionKind::pkTabStops);
  EXPECT_EQ(T.GetFirstPortion()->SplitAt(1)->GetChar(0), u'b');
  EXPECT_EQ(Portions(0), "t1 t1 b1 b1 t1");
  EXPECT_EQ(T.GetText(), u"ab\t\tc");
}

TEST_F(Textor, EqualButDistinctAttributesStartANewPortion) {
  ASSERT_TRUE(Bold.IsEqual(AlsoBold));
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"ab", &Bold, r);
  T.InsertText(T.GetEndPosition(), u"cd", &Bold, r);
  EXPECT_EQ(Portions(0), "t4");
  T.InsertText(T.GetEndPosition(), u"ef", &AlsoBold, r);
  EXPECT_EQ(Portions(0), "t4 t2");
  EXPECT_EQ(Bold.RefCount(), 1);
  EXPECT_EQ(AlsoBold.RefCount(), 1);
  T.InsertText(P(0, 1), u"x", &AlsoBold, r);  // inside a portion of other attributes: split, new portion
  EXPECT_EQ(Portions(0), "t1 t1 t3 t2");
  EXPECT_EQ(T.GetText(), u"axbcdef");
  EXPECT_EQ(I(r.Start), (TIndexPosition{0, 1}));
  EXPECT_EQ(I(r.End), (TIndexPosition{0, 2}));
}

TEST_F(Textor, GetCharTellsElementsTabsAndEveryCodeUnitApart) {
  AddElement(10, 10);
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"\t\uFFFFa", nullptr, r);
  std::vector<int32_t> chars;
  for (TPortion* p = T.GetFirstPortion(); p; p = p->Next())
    for (int32_t i = 0; i < p->Length(); ++i) chars.push_back(p->GetChar(i));
  EXPECT_EQ(chars, (std::vector<int32_t>{-1, 9, 65535, 'a'}));
  EXPECT_EQ(T.GetText(), u"\t\uFFFFa");  // the element stands for no character of the plain text
}

// ---------------------------------------------------------------------------------------------------------------
// Wrap

struct TRowShape {
  TIndexPosition Start, End;
  int32_t Width, Bottom;
  friend bool operator==(const TRowShape&, const TRowShape&) = default;
};

void PrintTo(const TRowShape& R, std::ostream* O) {
  *O << "(" << R.Start.ParagraphIndex << "," << R.Start.CharIndex << ")-(" << R.End.ParagraphIndex << ","
     << R.End.CharIndex << ") w" << R.Width << " b" << R.Bottom;
}

TEST_F(Textor, RowsBreakAfterWhiteSpaceOrForcedWithinWordsAndPortions) {
  struct TCase {
    const char* Name;
    std::u16string First, Second;  // Second in other attributes
    int32_t Wrap;
    std::vector<TRowShape> Rows;
  };
  const TCase cases[] = {
      {"one portion", u"Hello World", u"", 66, {{{0, 0}, {0, 6}, 42, 13}, {{0, 6}, {0, 11}, 35, 26}}},
      {"two portions", u"Hello ", u"World", 66, {{{0, 0}, {0, 9}, 63, 13}, {{0, 9}, {0, 11}, 14, 26}}},
      {"two portions, W does not fit", u"Hello ", u"World", 45, {{{0, 0}, {0, 6}, 42, 13}, {{0, 6}, {0, 11}, 35, 26}}},
      {"no wrapping", u"Hello World", u"", 0, {{{0, 0}, {0, 11}, 77, 13}}},
      {"characters wider than the row",
       u"abc",
       u"",
       5,
       {{{0, 0}, {0, 1}, 7, 13}, {{0, 1}, {0, 2}, 7, 26}, {{0, 2}, {0, 3}, 7, 39}}},
      {"spaces at the break", u"ab   cd", u"", 30, {{{0, 0}, {0, 4}, 28, 13}, {{0, 4}, {0, 7}, 21, 26}}},
      {"empty", u"", u"", 66, {{{0, 0}, {0, 0}, 0, 13}}},
  };
  for (const TCase& c : cases) {
    T.Clear();
    TTextRange r;
    T.InsertText(T.GetEndPosition(), c.First, nullptr, r);
    T.InsertText(T.GetEndPosition(), c.Second, &Other, r);
    Wrap(c.Wrap);
    std::vector<TRowShape> rows;
    for (TRow* row : Rows())
      rows.push_back({I(row->GetStartPosition()), I(row->GetEndPosition()), row->Width, row->Bottom});
    EXPECT_EQ(rows, c.Rows) << c.Name;
    ASSERT_FALSE(Rows().empty());
    EXPECT_EQ(Rows().front()->GetTop(), 0) << c.Name;
    EXPECT_EQ(Rows().size() == 1 ? TRowKind::rkWholeParagraph : TRowKind::rkWrappedFirst, Rows().front()->Kind());
  }
}

TEST_F(Textor, AWrapBoundaryLiesInBothRowsAndTheCaretPrefersTheNextRow) {
  SetText(u"Hello World");
  Wrap(66);
  const std::vector<TRow*> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  const TTextPosition boundary = P(0, 6);
  EXPECT_EQ(rows[0]->GetEndPosition(), rows[1]->GetStartPosition());
  EXPECT_TRUE(rows[0]->Contains(boundary));
  EXPECT_TRUE(rows[1]->Contains(boundary));
  EXPECT_FALSE(rows[0]->Contains(P(0, 7)));
  EXPECT_EQ(T.FindRow(boundary, false), rows[0]);
  EXPECT_EQ(T.FindRow(boundary, true), rows[1]);
  EXPECT_EQ(T.FindRow(T.GetEndPosition(), true), rows[1]);
  EXPECT_EQ(T.FindRow(P(0, 8), false, rows[1]), rows[1]);
  EXPECT_EQ(T.FindRow(P(0, 2), false, rows[1]), rows[0]);  // a hint past the position
  EXPECT_EQ(rows[1]->Kind(), TRowKind::rkWrappedLast);
  EXPECT_EQ(rows[1]->GetPreviousRow(), rows[0]);
  EXPECT_EQ(rows[1]->PositionToX(P(0, 8)), 14);
  EXPECT_EQ(rows[0]->PositionToX(boundary), 42);
}

TEST_F(Textor, AnElementWiderThanTheRowGetsARowOfItsOwn) {
  SetText(u"ab");
  TTestEmbeddedElement* e = AddElement(120, 20);
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"cd", nullptr, r);
  Wrap(100);
  std::vector<TRowShape> rows;
  for (TRow* row : Rows())
    rows.push_back({I(row->GetStartPosition()), I(row->GetEndPosition()), row->Width, row->Bottom});
  EXPECT_EQ(rows,
            (std::vector<TRowShape>{{{0, 0}, {0, 2}, 14, 13}, {{0, 2}, {0, 3}, 120, 36}, {{0, 3}, {0, 5}, 14, 49}}));
  EXPECT_EQ(e->Bounds, (TRect{0, 13, 120, 33}));  // standing on the second row's baseline, 3 above its bottom
}

TEST_F(Textor, RowsAlignBetweenTheIndents) {
  Wide.CharWidth = 8;
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"abcde", &Wide, r);  // 40 px
  struct TCase {
    uint8_t Alignment;
    int32_t Wrap, Left, First, Right, RowLeft;
  };
  const TCase cases[] = {{paRight, 200, 0, 0, 10, 150},  {paRight, 200, 5, 7, 10, 150},  {paLeft, 200, 5, 7, 0, 12},
                         {paCenter, 200, 10, 0, 30, 70}, {paCenter, 200, 10, 4, 30, 74}, {paRight, 0, 5, 0, 10, 5},
                         {paCenter, 0, 5, 2, 10, 7}};
  for (const TCase& c : cases) {
    PA.SetAlignment(c.Alignment);
    PA.LeftIndent = c.Left;
    PA.FirstLineIndent = c.First;
    PA.RightIndent = c.Right;
    Wrap(c.Wrap);
    EXPECT_EQ(Rows().front()->GetLeft(), c.RowLeft) << int(c.Alignment) << " " << c.Wrap;
    EXPECT_EQ(T.GetWidth(), c.RowLeft + 40 + c.Right);
  }
}

TEST_F(Textor, ALongTextsWidthFollowsItsWidestParagraphThroughEdits) {
  std::u16string text;
  for (int i = 0; i < 100; ++i) text += std::u16string(size_t(10 + i % 37), u'x') + u"\r\n";
  SetText(text);
  // Every character is 7 px wide and the rows start at 0: the width is the longest paragraph's.
  const auto widest = [&] {
    size_t longest = 0, start = 0;
    const std::u16string all = T.GetText();
    for (size_t end; (end = all.find(u"\r\n", start)) != std::u16string::npos; start = end + 2)
      longest = std::max(longest, end - start);
    return int32_t(7 * std::max(longest, all.size() - start));
  };
  TTextRange r;
  TTextPosition at;
  const std::function<void()> edits[] = {
      [&] { T.InsertText(P(40, 0), u"yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy", nullptr, r); },
      [&] { T.DeleteRange({P(40, 0), P(40, 30)}, at); },
      [&] { T.DeleteRange({P(36, 0), P(36, 46)}, at); },
      [&] { T.DeleteRange({P(72, 0), P(73, 0)}, at); },
      [&] { T.SplitParagraph(P(35, 20), nullptr, r); },
      [&] { T.InsertText(P(99, 3), u"zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", nullptr, r); },
      [&] { T.DeleteRange({P(98, 0), T.GetEndPosition()}, at); },
  };
  EXPECT_EQ(T.GetWidth(), widest());
  for (size_t i = 0; i < std::size(edits); ++i) {
    edits[i]();
    EXPECT_EQ(T.GetWidth(), widest()) << "after edit " << i;
  }
}

TEST_F(Textor, TheCaretStandsAcrossThePositionOverTheRowsHeight) {
  SetText(u"abcdef\r\nxy");
  const std::vector<TRow*> rows = Rows();
  struct TCase {
    int32_t Row, Paragraph, Char, CaretWidth;
    TRect Rect;
  };
  const TCase cases[] = {{0, 0, 3, 2, {20, 0, 22, 13}},
                         {0, 0, 3, 1, {21, 0, 22, 13}},
                         {0, 0, 0, 3, {-1, 0, 2, 13}},
                         {1, 1, 2, 2, {13, 13, 15, 26}},
                         {0, 0, 6, 2, {41, 0, 43, 13}}};
  for (const TCase& c : cases)
    EXPECT_EQ(T.GetCaretRect(rows[c.Row], P(c.Paragraph, c.Char), c.CaretWidth), c.Rect) << c.Char;
}

TEST_F(Textor, RowsAtYAreFoundInsideTheTextAndClampedOutsideIt) {
  SetText(u"a\r\nb\r\nc\r\nd\r\ne");
  const std::vector<TRow*> rows = Rows();
  ASSERT_EQ(rows.size(), 5u);
  struct TCase {
    int32_t Y;
    bool Clamp;
    TRow* Row;
  };
  const TCase cases[] = {{-1, false, nullptr}, {-1, true, rows[0]},  {0, false, rows[0]},  {12, false, rows[0]},
                         {13, false, rows[1]}, {38, false, rows[2]}, {39, false, rows[3]}, {64, false, rows[4]},
                         {65, false, nullptr}, {65, true, rows[4]},  {9999, true, rows[4]}};
  for (const TCase& c : cases) EXPECT_EQ(T.FindRowAtY(c.Y, c.Clamp), c.Row) << c.Y << " " << c.Clamp;

  TRow* row;
  TTextPosition p;
  EXPECT_TRUE(T.PositionAtPoint({4, 30}, false, true, nullptr, row, p));
  EXPECT_EQ(row, rows[2]);
  EXPECT_EQ(I(p), (TIndexPosition{2, 1}));
  EXPECT_FALSE(T.PositionAtPoint({4, 80}, false, true, nullptr, row, p));
  EXPECT_FALSE(T.PositionAtPoint({50, 30}, false, true, nullptr, row, p));  // right of the content
  EXPECT_EQ(I(p), (TIndexPosition{2, 1}));
  EXPECT_TRUE(T.PositionAtPoint({50, 80}, true, true, nullptr, row, p));
  EXPECT_EQ(I(p), (TIndexPosition{4, 1}));
}

// Faults: wrapping measured all the rest of a portion at every row, so a long paragraph took quadratic time.
TEST_F(Textor, ALongParagraphIsWrappedInLinearTime) {
  const struct {
    std::u16string_view Unit;
    int Repeats;
    size_t Rows;
  } cases[] = {{u"abcd ", 1000, 500}, {u"a", 5000, 500}};
  for (const auto& c : cases) {
    std::u16string text;
    for (int i = 0; i < c.Repeats; ++i) text += c.Unit;
    SetText(text);
    const int before = A.MeasuredChars;
    Wrap(70);  // ten characters a row
    EXPECT_EQ(Rows().size(), c.Rows);
    EXPECT_EQ(Rows().back()->GetEndPosition(), T.GetEndPosition());
    EXPECT_LE(A.MeasuredChars - before, 20 * int(text.size())) << text.size();
    Wrap(0);
  }
}

// Faults: a tab portion broken at a row start kept the width it had at the old x.
TEST_F(Textor, TabsAfterABreakAreMeasuredFromTheNewRowStart) {
  SetText(u"abcdefghij\txyz");
  Wrap(100);
  const std::vector<TRow*> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->Width, 70);
  EXPECT_EQ(rows[1]->Width, 77);  // the tab ends at the first stop, 56, then "xyz"
  EXPECT_EQ(rows[1]->PositionToX(T.GetEndPosition()), 77);
  EXPECT_EQ(rows[1]->PositionToX(P(0, 12)), 63);
}

// Faults: a paragraph that was only moved recomputed its first row's height by another rule than the layout.
TEST_F(Textor, AMovedParagraphKeepsItsRowHeights) {
  T.Margins = {1, 1, 1, 1};
  SetText(u"x\r\ny\r\nz");
  TTestEmbeddedElement* e = AddElement(20, 20);
  Wrap(0);
  TParagraph* moved = T.LastParagraph();
  ASSERT_EQ(moved->FirstRow()->GetHeight(), 24);  // ascent 20 + 1 beside the text's descent 3
  EXPECT_EQ(moved->FirstRow()->Bottom, 50);
  EXPECT_EQ(e->Bounds.Top, 26 + 21 - 20);
  const int before = T.FormatParagraphCalls;
  T.BeginUpdate();
  delete T.ParagraphAt(1);
  T.EndUpdate();
  EXPECT_FALSE(moved->FirstRow()->GetHeight() != 24);
  EXPECT_EQ(moved->FirstRow()->GetTop(), 13);
  EXPECT_EQ(moved->FirstRow()->Bottom, 37);
  EXPECT_EQ(T.GetHeight(), 37);
  EXPECT_EQ(e->Bounds.Top, 13 + 21 - 20);
  EXPECT_EQ(T.FormatParagraphCalls - before, 1);  // the moved paragraph, not wrapped again
  EXPECT_EQ(T.GetText(), u"x\r\nz");
}

TEST_F(Textor, AParagraphThatGrowsShiftsTheRestWithoutLayingThemOut) {
  SetText(u"aa\r\nbb\r\ncc\r\ndd");
  TTestEmbeddedElement* e = AddElement(10, 10);
  Wrap(30);
  const int formatted = T.FormatParagraphCalls;
  const int measured = A.MeasuredChars;
  TTextRange r;
  T.InsertText(P(1, 2), u"bbb", nullptr, r);  // "bbbbb" no longer fits 30 px: a second row
  EXPECT_EQ(T.FormatParagraphCalls - formatted, 1);
  EXPECT_LE(A.MeasuredChars - measured, 40);  // only the characters of "bbbb", a few times over
  EXPECT_EQ(T.ParagraphAt(2)->FirstRow()->GetTop(), 39);
  EXPECT_EQ(T.GetHeight(), 65);
  EXPECT_EQ(e->Bounds.Top, 52 + 10 - 10);
  T.DeleteRange({P(1, 2), P(1, 5)}, r.Start);
  EXPECT_EQ(T.GetHeight(), 52);
  EXPECT_EQ(e->Bounds.Top, 39);
}

// An element laid out again in the layout that shifts it is placed where its rows are, and moved no further.
TEST_F(Textor, ElementsBelowAShiftStandWhereAFullLayoutPutsThem) {
  SetText(u"aa\r\nbb\r\ncc");
  TTestEmbeddedElement* e = AddElement(10, 10);
  Wrap(30);
  TTextRange r;
  const struct {
    const char* Edit;
    std::function<void()> Make;
  } cases[] = {
      {"a row added above", [&] { T.InsertText(P(0, 2), u"aaa", nullptr, r); }},
      {"a row removed above", [&] { T.DeleteRange({P(0, 2), P(0, 5)}, r.Start); }},
      {"a row added above and the element's paragraph wrapped again",
       [&] {
         T.BeginUpdate();
         T.InsertText(P(0, 2), u"aaa", nullptr, r);
         T.InsertText(P(2, 0), u"c", nullptr, r);
         T.EndUpdate();
       }},
      {"rows added above and below the element's paragraph wrapped again",
       [&] {
         T.BeginUpdate();
         T.InsertText(P(2, 0), u"cccc", nullptr, r);
         T.InsertText(P(1, 0), u"bbbb", nullptr, r);
         T.InsertText(P(0, 0), u"aaaa", nullptr, r);
         T.EndUpdate();
       }},
      {"a paragraph added above", [&] { T.InsertText(P(0, 0), u"\r\n", nullptr, r); }},
  };
  for (const auto& c : cases) {
    const int32_t top = e->Bounds.Top;
    c.Make();
    const TRect incremental = e->Bounds;
    EXPECT_NE(incremental.Top, top) << c.Edit;
    T.InvalidateLayout();
    EXPECT_EQ(incremental, e->Bounds) << c.Edit;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Operations

TEST_F(Textor, InsertedTextCutsLineBreaksAndTabsAsTheHostAllows) {
  struct TCase {
    std::u16string Text;
    bool Breaks, Tabs;
    std::vector<std::string> Paragraphs;
    std::u16string Read;
  };
  const TCase cases[] = {
      {u"a\r\nb", true, true, {"t1", "t1"}, u"a\r\nb"},
      {u"a\r\rb", true, true, {"t1", "", "t1"}, u"a\r\n\r\nb"},
      {u"a\n\rb", true, true, {"t1", "t1"}, u"a\r\nb"},
      {u"a\n\nb", true, true, {"t1", "", "t1"}, u"a\r\n\r\nb"},
      {u"a\r\nb", false, true, {"t4"}, u"a\r\nb"},
      {u"a\t\tb", true, true, {"t1 b2 t1"}, u"a\t\tb"},
      {u"a\t\tb", true, false, {"t4"}, u"a\t\tb"},
      {u"\r\n", true, true, {"", ""}, u"\r\n"},
      {u"\ta\r\n\t", true, true, {"b1 t1", "b1"}, u"\ta\r\n\t"},
      {u"a\tb\r\nc", false, false, {"t6"}, u"a\tb\r\nc"},
  };
  for (const TCase& c : cases) {
    T.LineBreaks = c.Breaks;
    T.Tabs = c.Tabs;
    SetText(c.Text);
    std::vector<std::string> paragraphs;
    for (int32_t i = 0; i < T.ParagraphCount(); ++i) paragraphs.push_back(Portions(i));
    EXPECT_EQ(paragraphs, c.Paragraphs);
    EXPECT_EQ(T.GetText(), c.Read);
  }
}

TEST_F(Textor, InsertionReturnsTheRangeItOccupies) {
  SetText(u"ab\r\ncd");
  TTextRange r;
  T.InsertText(P(0, 1), u"x\r\ny\tz", nullptr, r);
  EXPECT_EQ(T.GetText(), u"ax\r\ny\tzb\r\ncd");
  EXPECT_EQ(I(r.Start), (TIndexPosition{0, 1}));
  EXPECT_EQ(I(r.End), (TIndexPosition{1, 3}));
  EXPECT_EQ(T.GetRangeText(r), u"x\r\ny\tz");
  T.SplitParagraph(P(1, 4), &Bold, r);
  EXPECT_EQ(I(r.Start), (TIndexPosition{1, 4}));
  EXPECT_EQ(I(r.End), (TIndexPosition{2, 0}));
  EXPECT_EQ(T.ParagraphAt(2)->TextAttributes(), &Bold);  // an empty new paragraph takes the given attributes
  T.SplitParagraph(P(0, 1), &Bold, r);
  EXPECT_EQ(T.ParagraphAt(1)->TextAttributes(), nullptr);  // one with moved text takes the old one's
  EXPECT_EQ(T.GetText(), u"a\r\nx\r\ny\tzb\r\n\r\ncd");
}

TEST_F(Textor, RangeTextJoinsParagraphsWithCrLfAndLeavesOutElements) {
  SetText(u"ab\r\ncd");
  EXPECT_EQ(T.GetRangeText({P(0, 1), T.GetEndPosition()}), u"b\r\ncd");
  EXPECT_EQ(T.GetRangeText({P(0, 2), P(1, 0)}), u"\r\n");
  EXPECT_EQ(T.GetRangeText({P(1, 1), P(1, 1)}), u"");
  TTextRange r;
  TTestEmbeddedElement* e = new TTestEmbeddedElement(5, 5);
  T.InsertElement(P(1, 1), e, nullptr, r);
  EXPECT_EQ(T.GetRangeText(T.GetWholeRange()), u"ab\r\ncd");
  EXPECT_EQ(T.ElementAt(P(1, 1), true), e);
  EXPECT_EQ(T.ElementAt(P(1, 2), false), e);
  EXPECT_EQ(T.ElementAt(P(1, 2), true), nullptr);
}

TEST_F(Textor, DeletingJoinsTheRemaindersAndFreesWhatItCovers) {
  struct TCase {
    TIndexPosition Start, End;
    std::u16string Text;
    TIndexPosition Result;
  };
  const TCase cases[] = {
      {{0, 1}, {1, 1}, u"ad\r\nef", {0, 1}},
      {{0, 2}, {1, 0}, u"abcd\r\nef", {0, 2}},
      {{0, 0}, {2, 2}, u"", {0, 0}},
      {{0, 1}, {2, 0}, u"aef", {0, 1}},
      {{1, 0}, {1, 2}, u"ab\r\n\r\nef", {1, 0}},
      {{0, 2}, {2, 2}, u"ab", {0, 2}},
      {{0, 0}, {0, 1}, u"b\r\ncd\r\nef", {0, 0}},
  };
  for (const TCase& c : cases) {
    SetText(u"ab\r\ncd\r\nef");
    TTextRange range;
    ASSERT_TRUE(T.IndexRangeToRange({c.Start, c.End}, range));
    TTextPosition result;
    T.DeleteRange(range, result);
    EXPECT_EQ(T.GetText(), c.Text);
    EXPECT_EQ(I(result), c.Result) << T.GetText().size();
  }
  // Two runs with one attributes object stay two runs when the run between them goes.
  T.Clear();
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"ab", nullptr, r);
  T.InsertText(T.GetEndPosition(), u"cd", &Other, r);
  T.InsertText(T.GetEndPosition(), u"ef", nullptr, r);
  TTextPosition result;
  T.DeleteRange({P(0, 2), P(0, 4)}, result);
  EXPECT_EQ(Portions(0), "t2 t2");
  EXPECT_EQ(I(result), (TIndexPosition{0, 2}));
  EXPECT_EQ(Other.RefCount(), 0);
  // Elements go with their portions.
  AddElement(5, 5);
  AddElement(5, 5);
  T.DeleteRange({P(0, 3), T.GetEndPosition()}, result);
  EXPECT_EQ(Freed, 2);
}

TEST_F(Textor, AttributesOfARangeCutItsPortionsAndReachParagraphEnds) {
  SetText(u"abcd\r\nef");
  TTextRange range;
  T.SetRangeAttributes({P(0, 1), P(0, 3)}, false, &Bold, range);
  EXPECT_EQ(Portions(0), "t1 t2 t1");
  EXPECT_EQ(I(range.Start), (TIndexPosition{0, 1}));
  EXPECT_EQ(range.Start.Portion->Attributes(), &Bold);
  EXPECT_EQ(range.Start.Offset, 0);
  EXPECT_EQ(T.GetAttributesAt(P(0, 2)), &Bold);
  EXPECT_EQ(T.GetAttributesAt(P(0, 3)), &Bold);  // typing after a run continues it
  EXPECT_EQ(T.GetAttributesAt(P(0, 1)), nullptr);
  T.SetRangeAttributes({P(0, 3), T.GetEndPosition()}, false, &Bold, range);
  EXPECT_EQ(T.ParagraphAt(0)->TextAttributes(), &Bold);
  EXPECT_EQ(T.ParagraphAt(1)->TextAttributes(), nullptr);
  T.SetRangeAttributes({P(1, 2), T.GetEndPosition()}, true, &Bold, range);
  EXPECT_EQ(T.ParagraphAt(1)->TextAttributes(), &Bold);
  EXPECT_EQ(T.GetText(), u"abcd\r\nef");
  T.Clear();
  EXPECT_EQ(T.GetAttributesAt(T.GetBeginPosition()), &Bold);  // the first paragraph keeps its own
}

TEST_F(Textor, WordsAreRunsOfWordCharactersOrOfOtherCharactersWithTheirWhiteSpace) {
  SetText(u"foo  bar..,x\r\nжук_1 z");
  struct TCase {
    TIndexPosition From;
    bool Right;
    TIndexPosition To;
    bool Moved;
  };
  const TCase cases[] = {
      {{0, 0}, true, {0, 5}, true},    {{0, 5}, true, {0, 8}, true},     {{0, 8}, true, {0, 11}, true},
      {{0, 12}, true, {0, 12}, false}, {{0, 4}, false, {0, 0}, true},    {{0, 5}, false, {0, 5}, false},
      {{0, 10}, false, {0, 8}, true},  {{0, 11}, false, {0, 11}, false}, {{0, 12}, false, {0, 12}, false},
      {{1, 0}, true, {1, 6}, true},    {{1, 7}, false, {1, 6}, true},    {{1, 5}, false, {1, 0}, true},
  };
  for (const TCase& c : cases) {
    TTextPosition result;
    const TTextPosition from = P(c.From.ParagraphIndex, c.From.CharIndex);
    EXPECT_EQ(c.Right ? T.WordRight(from, result) : T.WordLeft(from, result), c.Moved) << c.From.CharIndex;
    EXPECT_EQ(I(result), c.To) << c.From.ParagraphIndex << "," << c.From.CharIndex << " " << c.Right;
  }
  EXPECT_TRUE(T.IsSameWord('.', ','));
  EXPECT_FALSE(T.IsSameWord('a', '.'));
  EXPECT_TRUE(T.IsSameWord(u'ж', u'1'));
  EXPECT_TRUE(T.IsSameWord('x', ' '));
  EXPECT_FALSE(T.IsSameWord(' ', 'x'));
  EXPECT_FALSE(T.IsSameWord(-1, 'x'));
}

TEST_F(Textor, CharacterAndPortionMovesCrossParagraphsOnlyWhereTheySay) {
  SetText(u"ab\r\n\tc");
  TTextPosition p;
  int32_t c;
  EXPECT_FALSE(T.NextChar(P(0, 2), p, c));
  EXPECT_TRUE(T.PreviousChar(P(1, 1), p, c));
  EXPECT_EQ(c, 9);
  EXPECT_FALSE(T.PreviousChar(P(1, 0), p, c));
  EXPECT_EQ(I(T.NextCharPosition(P(0, 2))), (TIndexPosition{1, 0}));
  EXPECT_EQ(I(T.PreviousCharPosition(P(1, 0))), (TIndexPosition{0, 2}));
  EXPECT_EQ(T.NextCharPosition(T.GetEndPosition()), T.GetEndPosition());
  EXPECT_EQ(T.PreviousCharPosition(T.GetBeginPosition()), T.GetBeginPosition());
  EXPECT_FALSE(T.NextPortionPosition(P(0, 2), p, false));
  EXPECT_TRUE(T.NextPortionPosition(P(0, 2), p, true));
  EXPECT_EQ(I(p), (TIndexPosition{1, 0}));
  EXPECT_TRUE(T.NextPortionPosition(P(1, 0), p, false));
  EXPECT_EQ(I(p), (TIndexPosition{1, 1}));
  EXPECT_TRUE(T.PreviousPortionPosition(P(1, 0), p, true));
  EXPECT_EQ(I(p), (TIndexPosition{0, 2}));
  EXPECT_TRUE(T.IsBefore(P(0, 2), P(1, 0)));
  EXPECT_FALSE(T.IsBefore(P(1, 0), P(0, 2)));
  EXPECT_TRUE(T.IsBefore(P(1, 1), T.GetEndPosition()));
  EXPECT_TRUE(T.IsPositionInRange(P(0, 1), {P(0, 1), P(1, 0)}));
  EXPECT_FALSE(T.IsPositionInRange(P(1, 0), {P(0, 1), P(1, 0)}));
  EXPECT_TRUE(T.IsAtTextEdge(T.GetEndPosition(), true));
  EXPECT_FALSE(T.IsAtTextEdge(P(0, 2), true));
  EXPECT_TRUE(T.IsAtParagraphEdge(P(0, 2), true));
  EXPECT_TRUE(T.IsAtParagraphEdge(P(1, 0), false));
}

TEST_F(Textor, StretchesEndAtElementsAndParagraphEndsAsAsked) {
  SetText(u"ab\r\ncd");
  AddElement(5, 5);
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"ef", nullptr, r);
  struct TCase {
    TIndexPosition From;
    bool Forwards, Cross;
    TIndexPosition Start, End;
  };
  const TCase cases[] = {
      {{0, 1}, true, true, {0, 1}, {1, 2}},  {{0, 1}, true, false, {0, 1}, {0, 2}},
      {{1, 2}, true, true, {1, 3}, {1, 5}},  {{1, 5}, false, true, {1, 3}, {1, 5}},
      {{1, 3}, false, true, {0, 0}, {1, 2}}, {{1, 3}, false, false, {1, 0}, {1, 2}},
      {{1, 5}, true, true, {1, 5}, {1, 5}},
  };
  for (const TCase& c : cases) {
    const TTextRange s = T.GetTextStretch(P(c.From.ParagraphIndex, c.From.CharIndex), c.Forwards, c.Cross);
    EXPECT_EQ(T.RangeToIndexRange(s), (TIndexRange{c.Start, c.End})) << c.From.CharIndex << " " << c.Forwards;
  }
}

// Faults: negative indexes, as focus data from the session file can bring them, were taken as valid.
TEST_F(Textor, IndexPositionsRoundTripAndOutOfRangeOnesAreRefused) {
  SetText(u"ab\t\r\n\r\ncd");
  AddElement(5, 5);
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"e", &A, r);
  int valid = 0;
  for (int32_t p = 0; p < T.ParagraphCount(); ++p) {
    const int32_t length = T.ParagraphAt(p)->CharIndexOf(nullptr, 0);
    for (int32_t c = 0; c <= length; ++c) {
      TTextPosition pos;
      ASSERT_TRUE(T.IndexToPosition({p, c}, pos));
      EXPECT_TRUE(!pos.Portion || pos.Offset < pos.Portion->Length());  // normal form
      EXPECT_EQ(I(pos), (TIndexPosition{p, c}));
      ++valid;
    }
  }
  EXPECT_EQ(valid, 4 + 1 + 5);
  const TIndexPosition invalid[] = {{-1, 0}, {0, -3}, {0, 4}, {3, 0}, {INT32_MIN, 0}, {2, INT32_MAX}};
  for (const TIndexPosition& i : invalid) {
    TTextPosition pos;
    EXPECT_FALSE(T.IndexToPosition(i, pos)) << i.ParagraphIndex << "," << i.CharIndex;
    TTextRange range;
    EXPECT_FALSE(T.IndexRangeToRange({{0, 0}, i}, range));
  }
  TPortion* portion;
  int32_t offset;
  EXPECT_FALSE(T.FirstParagraph()->PositionOfCharIndex(-3, portion, offset));
}

TEST_F(Textor, EditsInOneUpdateCauseOneLayoutAndOneSignal) {
  const int layouts = T.FormatTextCalls, signals = T.ChangedCalls;
  T.BeginUpdate();
  TTextRange r;
  for (int i = 0; i < 10; ++i) T.InsertText(T.GetEndPosition(), u"a\r\nb", nullptr, r);
  EXPECT_EQ(T.FormatTextCalls, layouts);
  T.EndUpdate();
  EXPECT_EQ(T.FormatTextCalls - layouts, 1);
  EXPECT_EQ(T.ChangedCalls - signals, 1);
  EXPECT_TRUE(T.LastFormatChanged);
  EXPECT_EQ(T.ParagraphCount(), 11);
  // A single edit outside an update lays out and signals at once; a new layout alone signals nothing.
  T.InsertText(T.GetEndPosition(), u"c", nullptr, r);
  EXPECT_EQ(T.FormatTextCalls - layouts, 2);
  EXPECT_EQ(T.ChangedCalls - signals, 2);
  T.InvalidateLayout();
  EXPECT_EQ(T.FormatTextCalls - layouts, 3);
  EXPECT_FALSE(T.LastFormatChanged);
  EXPECT_EQ(T.ChangedCalls - signals, 2);
}

TEST_F(Textor, EditsDuringALayoutCauseNoSecondLayoutAndNoSignal) {
  SetText(u"see http://x.y ok\r\nmore");
  T.BeforeFormatParagraph = [&](TParagraph* AParagraph) {
    // What link detection does: reset a stretch, then give a word its attributes.
    TTextRange r;
    T.BeginUpdate();
    T.SetRangeAttributes(AParagraph->GetRange(), false, nullptr, r);
    if (AParagraph == T.FirstParagraph()) T.SetRangeAttributes({P(0, 4), P(0, 14)}, false, &Link, r);
    T.EndUpdate();
  };
  const int layouts = T.FormatTextCalls, signals = T.ChangedCalls;
  Wrap(0);
  EXPECT_EQ(T.FormatTextCalls - layouts, 1);
  EXPECT_EQ(T.ChangedCalls - signals, 0);
  EXPECT_EQ(Portions(0), "t4 t10 t3");
  EXPECT_FALSE(T.LayoutPending());
  EXPECT_TRUE(T.FirstParagraph()->Formatted());
}

TEST_F(Textor, ReinsertingTheTextAppliesNewPermissions) {
  T.LineBreaks = false;
  T.Tabs = false;
  SetText(u"a\r\nb\tc");
  AddElement(5, 5);
  TTextRange r;
  T.InsertText(T.GetEndPosition(), u"d\r\ne", nullptr, r);
  EXPECT_EQ(T.ParagraphCount(), 1);
  T.LineBreaks = true;
  T.Tabs = true;
  T.ReinsertText();
  EXPECT_EQ(T.GetText(), u"a\r\nb\tcd\r\ne");
  EXPECT_EQ(Portions(1), "t1 b1 t1 e1 t1");
  T.LineBreaks = false;
  T.ReinsertText();
  EXPECT_EQ(T.ParagraphCount(), 1);
  EXPECT_EQ(Portions(0), "t4 b1 t1 e1 t4");
  EXPECT_EQ(Freed, 0);
}

TEST_F(Textor, PaintingDrawsRunsOnTheirBaselineWithSymbolsAndTheSelectionTail) {
  T.Padding = {3, 4, 0, 0};
  SetText(u"a b\t\r\nc");
  TTestEmbeddedElement* e = AddElement(10, 20, 2);
  T.PaintRange(TestCanvas(), {}, {P(0, 1), P(1, 1)}, tpSelection | tpWhiteSpace, true);
  struct TCall {
    TTestPaintCall::TKind Kind;
    uint32_t Flags;
    int32_t X, Width, Top;
    std::u16string Text;
    bool operator==(const TCall&) const = default;
  };
  std::vector<TCall> calls;
  for (const TTestPaintCall& c : A.Painted) calls.push_back({c.Kind, c.Flags, c.X, c.Width, c.Rect.Top, c.Text});
  const uint32_t inactive = afSelected | afInactive;
  const std::vector<TCall> expected = {
      {TTestPaintCall::pcText, inactive, 7, 14, 0, u" b"},    {TTestPaintCall::pcText, 0, 7, 7, 0, u"\u00B7"},
      {TTestPaintCall::pcBlank, inactive, 21, 35, 0, u""},    {TTestPaintCall::pcText, 0, 21, 7, 0, u"\u00AC"},
      {TTestPaintCall::pcBlank, inactive, 56, 5, 0, u""},      // the selection tail after the paragraph end
      {TTestPaintCall::pcText, 0, 56, 7, 0, u"\u00B6"},        // the paragraph symbol
      {TTestPaintCall::pcText, inactive, 0, 7, 13 + 8, u"c"},  // the element raises the row's ascent to 18
  };
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(e->Paints, 0);
  A.Painted.clear();
  T.PaintRange(TestCanvas(), osActive, T.GetWholeRange(), tpSelection, false);
  EXPECT_EQ(e->Paints, 1);
  EXPECT_EQ(e->PaintOrigin, (TTextPoint{3, 4}));
  EXPECT_EQ(e->Bounds, (TRect{3 + 7, 4 + 13 + 18 - 20 + 2, 3 + 17, 4 + 13 + 18 + 2}));
  ASSERT_FALSE(A.Painted.empty());
  EXPECT_EQ(A.Painted.back().Kind, TTestPaintCall::pcBlank);  // the element's selection veil, active
  EXPECT_EQ(A.Painted.back().Flags, uint32_t(afSelected));
  EXPECT_EQ(A.Painted.back().X, 7);
  for (const TTestPaintCall& c : A.Painted) EXPECT_NE(c.Text, u"\u00B6");

  PA.Backgrounds.clear();
  Wrap(100);
  T.PaintParagraphBackgrounds(TestCanvas(), {});
  EXPECT_EQ(PA.Backgrounds, (std::vector<TRect>{{0, 0, 100, 13}, {0, 13, 100, 34}}));
}

TEST_F(Textor, AClipAcrossTheSelectionPaintsTheBlocksAfterTheParagraphEndsInsideIt) {
  SetText(u"ab\r\ncd\r\nef");
  // Rows of 13 px: the clip strips of each row, and the whole text.
  const struct {
    int32_t Top, Bottom;
    std::vector<int32_t> Blocks;  // the tops of the selection blocks painted
  } cases[] = {{0, 39, {0, 13}}, {0, 13, {0}}, {13, 26, {13}}, {26, 39, {}}, {5, 20, {0, 13}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Top) + ".." + std::to_string(c.Bottom));
    T.Clip = {0, c.Top, 1000, c.Bottom};
    A.Painted.clear();
    T.PaintRange(TestCanvas(), osActive, T.GetWholeRange(), tpSelection, true);
    std::vector<int32_t> blocks;
    for (const TTestPaintCall& p : A.Painted)
      if (p.Kind == TTestPaintCall::pcBlank && p.Width == 5) blocks.push_back(p.Rect.Top);
    EXPECT_EQ(blocks, c.Blocks);
  }
}

}  // namespace
