#include "document/text/diTextorInteractive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/text/diHyperlinks.h"
#include "tests/document/TestTextAttributes.h"

namespace {

// Does what a text element does with the interactive's notifications, through the textor, and records them.
class TEditHost {
 public:
  TEditHost(TTestTextor& ATextor, TTextorInteractive& AInteractive) : FTextor(ATextor), FInteractive(AInteractive) {
    FInteractive.AddNotifyEvent(MakeMethod<&TEditHost::Notified>(this));
  }

  bool AcceptDrops = true;
  std::vector<intptr_t> Codes;
  std::vector<std::u16string> Replaced;  // an empty text for a deletion
  std::vector<TIndexPosition> Links;
  int Count(intptr_t ACode) const { return static_cast<int>(std::count(Codes.begin(), Codes.end(), ACode)); }

 private:
  void Notified(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
    Codes.push_back(ANotify);
    if (ANotify == tnReplaceSelection) {
      const auto* text = reinterpret_cast<const std::u16string*>(AParam1);
      Replaced.push_back(text ? *text : std::u16string());
      ReplaceSelection(text ? *text : std::u16string());
    } else if (ANotify == tnDrop) {
      Drop(*reinterpret_cast<TTextDrop*>(AParam1));
    } else if (ANotify == tnActivateLink) {
      Links.push_back(FTextor.PositionToIndex(*reinterpret_cast<const TTextPosition*>(AParam1)));
    }
  }

  void ReplaceSelection(const std::u16string& AText) {
    TTextAttributes* attributes = FInteractive.GetTypingAttributes();
    const TTextRange selection = FInteractive.GetSelection();
    FTextor.BeginUpdate();
    TTextPosition at;
    FTextor.DeleteRange(selection, at);
    TTextRange inserted{at, at};
    if (!AText.empty()) FTextor.InsertText(at, AText, attributes, inserted);
    const TIndexPosition caret = FTextor.PositionToIndex(inserted.End);
    FTextor.EndUpdate();
    TTextPosition position;
    FTextor.IndexToPosition(caret, position);
    FInteractive.SetCaretPosition(position);
  }

  // Inserts a copy of the source's selection and, like the element, selects what it inserted.
  void Drop(TTextDrop& ADrop) {
    if (!AcceptDrops) return;
    const std::u16string text = ADrop.Source->GetSelectedText();
    FTextor.BeginUpdate();
    TTextRange inserted;
    FTextor.InsertText(ADrop.Position, text, nullptr, inserted);
    ADrop.InsertedRange = FTextor.RangeToIndexRange(inserted);
    FTextor.EndUpdate();
    ADrop.Inserted = true;
    TTextRange range;
    FTextor.IndexRangeToRange(ADrop.InsertedRange, range);
    FInteractive.SetSelection(range);
  }

  TTestTextor& FTextor;
  TTextorInteractive& FInteractive;
};

constexpr TShiftKeys None{};
constexpr TShiftKeys Shift = skShift;
constexpr TShiftKeys Ctrl = skCtrl;
const TShiftKeys AltGr = skCtrl | skAlt;

enum : uint16_t { kBack = 8, kTab = 9, kReturn = 13, kControl = 17, kEnd = 35, kHome = 36 };
enum : uint16_t { kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kDelete = 46 };

// Every character 7 pixels wide, rows 13 pixels high.
class TextorInteractive : public ::testing::Test {
 protected:
  TextorInteractive() {
    Textor.DefaultText = &Attributes;
    Link.SetLink(1, u"http://x.y");
  }
  // Links get Link while paragraphs are laid out.
  void DetectLinks() {
    Textor.BeforeFormatParagraph = [this](TParagraph* AParagraph) {
      FindLinks(AParagraph, [this](std::u16string_view) { return &Link; });
    };
  }

  void Start(std::u16string_view AText, TInteractiveOptions AOptions = {}) {
    Textor.SetText(AText);
    Interactive = std::make_unique<TTextorInteractive>(&Textor);
    Interactive->SetOptions(AOptions);
    Host = std::make_unique<TEditHost>(Textor, *Interactive);
  }
  TTextPosition At(int32_t AParagraph, int32_t AChar) const {
    TTextPosition position;
    EXPECT_TRUE(Textor.IndexToPosition({AParagraph, AChar}, position));
    return position;
  }
  void Select(int32_t AStart, int32_t AEnd) { Interactive->SetSelection({At(0, AStart), At(0, AEnd)}); }
  bool Key(uint16_t AKey, TShiftKeys AShift = None) {
    Interactive->KeyDown(AKey, AShift);
    return AKey == 0;
  }
  bool Type(char16_t AChar, TShiftKeys AShift = None) {
    Interactive->KeyPress(AChar, AShift);
    return AChar == 0;
  }
  // The middle of character AChar of row ARow.
  static TTextPoint Cell(int32_t AChar, int32_t ARow = 0) { return {AChar * 7 + 3, ARow * 13 + 6}; }
  void Click(TTextPoint APoint, bool AShift = false) {
    Interactive->MouseDown(APoint, true, false, false, AShift);
    Interactive->MouseUp(APoint, true, false);
  }
  TIndexRange Selection() const { return Interactive->SelectionIndex(); }
  static TIndexRange Range(int32_t AStart, int32_t AEnd) { return {{0, AStart}, {0, AEnd}}; }

  // Attributes outlive the textor whose portions hold them.
  TTestTextAttributes Attributes;
  TTestTextAttributes Link{u"link"};
  TTestTextAttributes Bold{u"bold"};
  TTestTextor Textor;
  std::unique_ptr<TTextorInteractive> Interactive;
  std::unique_ptr<TEditHost> Host;
};

TEST_F(TextorInteractive, BackspaceAtTheStartAndDeleteAtTheEndAreLeftToTheSheet) {
  Start(u"ab\r\ncd");
  EXPECT_FALSE(Key(kBack));
  Interactive->SetCaretPosition(Textor.GetEndPosition());
  EXPECT_FALSE(Key(kDelete));
  EXPECT_EQ(Host->Count(tnReplaceSelection), 0);

  EXPECT_TRUE(Key(kBack));  // deletes "d"
  Interactive->SetCaretPosition(At(0, 2));
  EXPECT_TRUE(Key(kDelete));  // joins the paragraphs
  EXPECT_EQ(Textor.GetText(), u"abc");
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 2}));
}

TEST_F(TextorInteractive, NothingIsDeletedWhenTheHostForbidsEditing) {
  Start(u"abc");
  Interactive->SetCanEdit([] { return false; });
  Interactive->SetCaretPosition(At(0, 2));
  EXPECT_FALSE(Key(kBack));
  EXPECT_FALSE(Type(u'x'));
  EXPECT_EQ(Host->Count(tnReplaceSelection), 0);
}

TEST_F(TextorInteractive, ShiftExtendsFromTheAnchorAndShrinksBack) {
  Start(u"abcdef");
  Interactive->SetCaretPosition(At(0, 1));
  EXPECT_TRUE(Key(kRight, Shift));
  EXPECT_TRUE(Key(kRight, Shift));
  EXPECT_EQ(Selection(), Range(1, 3));
  EXPECT_EQ(Interactive->GetSelectedText(), u"bc");
  EXPECT_TRUE(Key(kLeft, Shift));
  EXPECT_EQ(Selection(), Range(1, 2));
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 2}));
  EXPECT_TRUE(Key(kLeft));  // without Shift the selection collapses
  EXPECT_FALSE(Interactive->HasSelection());
}

TEST_F(TextorInteractive, KeysMoveByCharactersWordsRowsAndTheWholeText) {
  struct TCase {
    const char* Name;
    TIndexPosition From;
    uint16_t Key;
    TShiftKeys Shift;
    bool Consumed;
    TIndexPosition To;
  };
  const TCase cases[] = {
      {"right", {0, 0}, kRight, None, true, {0, 1}},
      {"right over a paragraph end", {0, 8}, kRight, None, true, {1, 0}},
      {"right at the end", {1, 2}, kRight, None, false, {1, 2}},
      {"left at the start", {0, 0}, kLeft, None, false, {0, 0}},
      {"word right", {0, 0}, kRight, Ctrl, true, {0, 5}},
      {"word right at a paragraph end", {0, 8}, kRight, Ctrl, true, {1, 0}},
      {"word left from the next word's start", {0, 5}, kLeft, Ctrl, true, {0, 0}},
      {"word left from inside a word", {0, 7}, kLeft, Ctrl, true, {0, 5}},
      {"end of the row", {0, 1}, kEnd, None, true, {0, 8}},
      {"start of the row", {0, 6}, kHome, None, true, {0, 0}},
      {"end of the text", {0, 1}, kEnd, Ctrl, true, {1, 2}},
      {"start of the text", {1, 1}, kHome, Ctrl, true, {0, 0}},
      {"down", {0, 1}, kDown, None, true, {1, 1}},
      {"down in the last row", {1, 1}, kDown, None, false, {1, 1}},
      {"up", {1, 2}, kUp, None, true, {0, 2}},
      {"up in the first row", {0, 3}, kUp, None, false, {0, 3}},
      {"up with Ctrl", {1, 2}, kUp, Ctrl, false, {1, 2}},
  };
  Start(u"foo  bar\r\nxy");
  for (const TCase& c : cases) {
    TTextPosition from;
    ASSERT_TRUE(Textor.IndexToPosition(c.From, from));
    Interactive->SetCaretPosition(from);
    EXPECT_EQ(Key(c.Key, c.Shift), c.Consumed) << c.Name;
    EXPECT_EQ(Interactive->CaretIndex(), c.To) << c.Name;
  }
}

TEST_F(TextorInteractive, ArrowsEnterAFocusableElementBesideTheCaretUnlessShiftIsHeld) {
  struct TCase {
    int32_t From;
    uint16_t Key;
    TShiftKeys Shift;
    bool Focusable;
    int32_t To;  // the caret stays where it was when the element took the focus
  };
  const TCase cases[] = {
      {1, kRight, None, true, 1}, {2, kLeft, None, true, 2},   {1, kRight, None, false, 2},
      {2, kLeft, None, false, 1}, {1, kRight, Shift, true, 2}, {0, kRight, None, true, 1},
  };
  for (const TCase& c : cases) {
    Start(u"ab");
    auto* element = new TTestEmbeddedElement(20, 10);
    element->Focusable = c.Focusable;
    TTextRange range;
    Textor.InsertElement(At(0, 1), element, nullptr, range);  // "a", the element, "b"
    Interactive->SetCaretPosition(At(0, c.From));
    EXPECT_TRUE(Key(c.Key, c.Shift)) << c.From << " " << c.Key;
    EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, c.To})) << c.From << " " << c.Key;
  }
}

TEST_F(TextorInteractive, EndKeepsTheCaretInItsRowAtAWrapBoundary) {
  Textor.WrapWidth = 66;
  Start(u"Hello World");  // "Hello " and "World"
  Interactive->SetCaretPosition(At(0, 2));
  EXPECT_TRUE(Key(kEnd));
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 6}));
  EXPECT_EQ(Interactive->GetCaretRow(), Textor.FirstParagraph()->FirstRow());
  EXPECT_EQ(Interactive->GetCaretRect().Left, 42);
  EXPECT_TRUE(Key(kDown));
  EXPECT_EQ(Interactive->GetCaretRow(), Textor.FirstParagraph()->LastRow());
  Interactive->SetCaretPosition(At(0, 6));  // the same index, shown at the start of the next row
  EXPECT_EQ(Interactive->GetCaretRow(), Textor.FirstParagraph()->LastRow());
  EXPECT_EQ(Interactive->GetCaretRect().Top, 13);
}

TEST_F(TextorInteractive, ClicksSelectWordsRowsAndParagraphs) {
  struct TCase {
    const char* Name;
    TTextPoint Point;
    bool Double, Triple;
    TInteractiveOptions Options;
    TIndexRange Selected;
  };
  const TCase cases[] = {
      {"a word with its white space", Cell(1), true, false, {}, Range(0, 5)},
      {"the word after the white space", Cell(6), true, false, {}, Range(5, 8)},
      {"white space belongs to the word before", Cell(4), true, false, {}, Range(0, 5)},
      {"a paragraph end takes its break", {100, 6}, true, false, {}, {{0, 8}, {1, 0}}},
      {"the row with its break", Cell(1), true, false, ioDoubleClickSelectsRow, {{0, 0}, {1, 0}}},
      {"the paragraph with its break", Cell(2), false, true, {}, {{0, 0}, {1, 0}}},
      {"the last paragraph up to its end", Cell(1, 1), false, true, {}, {{1, 0}, {1, 2}}},
  };
  for (const TCase& c : cases) {
    Start(u"foo  bar\r\nxy", c.Options);
    Interactive->MouseDown(c.Point, true, false, false, false);  // the first click of the series
    Interactive->MouseUp(c.Point, true, false);
    Interactive->MouseDown(c.Point, true, c.Double, c.Triple, false);
    EXPECT_EQ(Selection(), c.Selected) << c.Name;
    EXPECT_EQ(Interactive->CaretIndex(), c.Selected.End) << c.Name;
    Interactive->MouseUp(c.Point, true, false);
    EXPECT_EQ(Interactive->State(), TInteractiveState::isIdle) << c.Name;
  }
}

TEST_F(TextorInteractive, DraggingAPressExtendsAndShiftClickExtendsFromTheAnchor) {
  Start(u"abcdefgh");
  Interactive->MouseDown(Cell(1), true, false, false, false);
  EXPECT_EQ(Interactive->State(), TInteractiveState::isSelecting);
  Interactive->MouseMove({4 * 7 + 5, 6}, false);  // rounded to the nearer edge
  EXPECT_EQ(Selection(), Range(1, 5));
  Interactive->MouseUp({4 * 7 + 5, 6}, true, false);
  Click(Cell(6), true);
  EXPECT_EQ(Selection(), Range(1, 6));
}

TEST_F(TextorInteractive, ThePressLeftOfARowIsTextUntilFivePixelsOut) {
  struct TCase {
    int32_t X;
    TInteractiveState State;
    uint8_t Zone;
    bool RowSelected;
  };
  const TCase cases[] = {
      {-3, TInteractiveState::isSelecting, czFieldBeam, false},
      {-4, TInteractiveState::isSelecting, czFieldBeam, false},
      {-5, TInteractiveState::isRowSelection, czRowSelection, true},
  };
  for (const TCase& c : cases) {
    Start(u"abc\r\ndef", ioLeftZone);
    Interactive->MouseDown({c.X, 6}, true, false, false, false);
    EXPECT_EQ(Interactive->State(), c.State) << c.X;
    EXPECT_EQ(Interactive->CursorZone(), c.Zone) << c.X;
    EXPECT_EQ(Selection(), (c.RowSelected ? TIndexRange{{0, 0}, {1, 0}} : TIndexRange{{0, 0}, {0, 0}})) << c.X;
    Interactive->MouseUp({c.X, 6}, true, false);
  }
  Interactive->MouseMove({-10, 6}, false);
  EXPECT_EQ(Interactive->CursorZone(), czLeftZone);
  EXPECT_EQ(Interactive->Cursor(), crTextorLeftZone);
}

TEST_F(TextorInteractive, RowSelectionRunsWholeRowsFromTheAnchorRowEitherWay) {
  Start(u"ab\r\ncd\r\nef", ioLeftZone);
  Interactive->MouseDown({-6, 13 + 6}, true, false, false, false);
  Interactive->MouseMove({-6, 26 + 6}, false);
  EXPECT_EQ(Selection(), (TIndexRange{{1, 0}, {2, 2}}));
  Interactive->MouseMove({-6, 2}, false);
  EXPECT_EQ(Selection(), (TIndexRange{{0, 0}, {2, 0}}));
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 0}));
  Interactive->MouseUp({-6, 2}, true, false);
  EXPECT_EQ(Interactive->State(), TInteractiveState::isIdle);
}

TEST_F(TextorInteractive, TabTypesSpacesOrATabOrNothing) {
  struct TCase {
    bool Tabs;
    int32_t TabSpaces;
    TShiftKeys Shift;
    TInteractiveOptions Options;
    std::u16string_view Typed;  // empty: nothing
  };
  const TCase cases[] = {
      {true, 4, None, {}, u"    "},    {true, 0, None, {}, u"\t"}, {false, 4, None, {}, u""},
      {false, 0, None, {}, u""},       {true, 0, Ctrl, {}, u""},   {true, 0, Ctrl, ioSwapTab, u"\t"},
      {true, 0, None, ioSwapTab, u""},
  };
  for (const TCase& c : cases) {
    Textor.Tabs = c.Tabs;
    Start(u"", c.Options);
    Interactive->SetTabSpaces(c.TabSpaces);
    EXPECT_EQ(Type(u'\t', c.Shift), !c.Typed.empty());
    EXPECT_EQ(Textor.GetText(), c.Typed);
  }
}

TEST_F(TextorInteractive, EnterBreaksTheLineAsTheSwapOptionSays) {
  struct TCase {
    char16_t Key;
    TShiftKeys Shift;
    TInteractiveOptions Options;
    bool LineBreaks;
    bool Typed;
  };
  const TCase cases[] = {
      {u'\r', None, {}, true, true},           {u'\r', Ctrl, {}, true, false},
      {u'\r', None, ioSwapEnter, true, false}, {u'\r', Ctrl, ioSwapEnter, true, true},
      {u'\n', Ctrl, ioSwapEnter, true, true},  // Ctrl+Enter comes as a line feed
      {u'\r', None, {}, false, false},
  };
  for (const TCase& c : cases) {
    Textor.LineBreaks = c.LineBreaks;
    Start(u"ab", c.Options);
    Interactive->SetCaretPosition(At(0, 1));
    EXPECT_EQ(Type(c.Key, c.Shift), c.Typed);
    EXPECT_EQ(Textor.ParagraphCount(), c.Typed ? 2 : 1);
  }
}

TEST_F(TextorInteractive, CharactersWithAltGrAreTypedAndCtrlShortcutsAreNot) {
  struct TCase {
    char16_t Key;
    TShiftKeys Shift;
    bool Typed;
  };
  const TCase cases[] = {
      {u'a', None, true},  {u'A', Shift, true},      {u'@', AltGr, true},    {u'\u20AC', AltGr, true},
      {u'a', Ctrl, false}, {u'\x01', Ctrl, false},   {u'\x7F', None, false}, {u'\x1B', None, false},
      {u' ', None, true},  {u'\u00E4', skAlt, true},
  };
  Start(u"");
  std::u16string expected;
  for (const TCase& c : cases) {
    EXPECT_EQ(Type(c.Key, c.Shift), c.Typed) << int(c.Key);
    if (c.Typed) expected += c.Key;
  }
  EXPECT_EQ(Textor.GetText(), expected);
  EXPECT_EQ(Host->Replaced.size(), expected.size());
}

TEST_F(TextorInteractive, TypingReplacesTheSelection) {
  Start(u"abcdef");
  Select(1, 4);
  EXPECT_TRUE(Type(u'X'));
  EXPECT_EQ(Textor.GetText(), u"aXef");
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 2}));
  Select(0, 2);
  EXPECT_TRUE(Key(kDelete));
  EXPECT_EQ(Host->Replaced.back(), u"");
  EXPECT_EQ(Textor.GetText(), u"ef");
}

TEST_F(TextorInteractive, APressInTheSelectionAndAReleasePutTheCaretThere) {
  Start(u"abc def", ioDragDrop);
  Select(4, 7);
  Interactive->MouseDown({5 * 7 + 5, 6}, true, false, false, false);
  EXPECT_EQ(Interactive->State(), TInteractiveState::isDragPending);
  EXPECT_EQ(Interactive->CursorZone(), czOverSelection);
  EXPECT_EQ(Selection(), Range(4, 7));  // kept while the press may still start a drag
  Interactive->MouseUp({5 * 7 + 5, 6}, true, false);
  EXPECT_FALSE(Interactive->HasSelection());
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 6}));
}

TEST_F(TextorInteractive, TheSelectionTailAfterAParagraphEndCountsAsSelectedOnlyWithItsOption) {
  struct TCase {
    TInteractiveOptions Options;
    int32_t X;
    uint8_t Zone;
  };
  const TCase cases[] = {
      {ioDragDrop | ioSelectionTail, 14, czOverSelection},
      {ioDragDrop | ioSelectionTail, 18, czOverSelection},
      {ioDragDrop | ioSelectionTail, 19, czFieldBeam},
      {ioDragDrop, 14, czFieldBeam},
      {ioDragDrop, 10, czOverSelection},
  };
  for (const TCase& c : cases) {
    Start(u"ab\r\ncd", c.Options);
    Interactive->SetSelection({At(0, 1), At(1, 1)});
    Interactive->MouseMove({c.X, 6}, false);
    EXPECT_EQ(Interactive->CursorZone(), c.Zone) << c.X;
  }
}

TEST_F(TextorInteractive, MovingPastTheThresholdStartsADrag) {
  Start(u"abc def", ioDragDrop);
  Interactive->SetDragThreshold(4, 4);
  Select(4, 7);
  Interactive->MouseDown(Cell(5), true, false, false, false);
  Interactive->MouseMove({Cell(5).X + 4, 6}, false);
  EXPECT_EQ(Interactive->State(), TInteractiveState::isDragPending);
  Interactive->MouseMove({Cell(5).X + 5, 6}, false);
  EXPECT_EQ(Interactive->State(), TInteractiveState::isDragging);
  EXPECT_EQ(Host->Count(tnDragStarted), 1);
  EXPECT_EQ(Interactive->CursorZone(), czDragMove);
  uint16_t key = kControl;
  Interactive->KeyDown(key, Ctrl);
  EXPECT_EQ(Interactive->CursorZone(), czDragCopy);
  Interactive->KeyUp(key, None);
  EXPECT_EQ(Interactive->CursorZone(), czDragMove);
  Interactive->CancelMode();
  EXPECT_EQ(Interactive->State(), TInteractiveState::isIdle);
}

// Drags the selection 4..7 of "abc def" to APoint and releases it there.
class TextorDrop : public TextorInteractive {
 protected:
  void DragTo(TTextPoint APoint, bool ACopy = false) {
    Start(u"abc def", ioDragDrop);
    Select(4, 7);
    Interactive->MouseDown(Cell(5), true, false, false, false);
    Interactive->MouseMove(APoint, ACopy);
    Interactive->MouseMove(APoint, ACopy);
    ASSERT_EQ(Interactive->State(), TInteractiveState::isDragging);
    Interactive->MouseUp(APoint, true, ACopy);
  }
};

TEST_F(TextorDrop, ADropOnItsOwnEndChangesNothing) {
  DragTo({7 * 7, 6});
  EXPECT_EQ(Textor.GetText(), u"abc def");
  EXPECT_EQ(Selection(), Range(4, 7));
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 7}));
  EXPECT_EQ(Host->Count(tnDrop), 0);
  EXPECT_EQ(Host->Count(tnReplaceSelection), 0);
}

TEST_F(TextorDrop, AMoveDeletesTheSourceOnlyAfterTheHostInsertedTheCopy) {
  DragTo({0, 6});
  EXPECT_EQ(Textor.GetText(), u"defabc ");
  EXPECT_EQ(Selection(), Range(0, 3));  // the moved text, where it went
}

TEST_F(TextorDrop, AMoveThatTheHostIgnoredDeletesNothing) {
  Start(u"abc def", ioDragDrop);
  Host->AcceptDrops = false;
  Select(4, 7);
  Interactive->MouseDown(Cell(5), true, false, false, false);
  Interactive->MouseMove({0, 6}, false);
  Interactive->MouseMove({0, 6}, false);
  Interactive->MouseUp({0, 6}, true, false);
  EXPECT_EQ(Host->Count(tnDrop), 1);
  EXPECT_EQ(Host->Count(tnReplaceSelection), 0);
  EXPECT_EQ(Textor.GetText(), u"abc def");
}

TEST_F(TextorDrop, ACopyKeepsTheSourceAndAMoveLaterInTheTextDeletesTheRightCharacters) {
  DragTo({2 * 7, 6}, true);
  EXPECT_EQ(Textor.GetText(), u"abdefc def");
  EXPECT_EQ(Host->Count(tnReplaceSelection), 0);

  Start(u"abc def", ioDragDrop);
  Select(0, 2);
  Interactive->MouseDown(Cell(1), true, false, false, false);
  Interactive->MouseMove({6 * 7, 6}, false);
  Interactive->MouseMove({6 * 7, 6}, false);
  Interactive->MouseUp({6 * 7, 6}, true, false);
  EXPECT_EQ(Textor.GetText(), u"c deabf");
  EXPECT_EQ(Interactive->GetSelectedText(), u"ab");
}

TEST_F(TextorInteractive, TheBeamFlagsChooseTheCursorOverText) {
  struct TCase {
    uint16_t Options;
    uint8_t Zone;
    TCursor Cursor;
  };
  const TCase cases[] = {
      {0x0000, czFieldBeam, crTextorFieldBeam},
      {0x0200, czFieldBeam, crTextorFieldBeam},
      {0x0400, czFieldElementsBeam, crTextorFieldElementsBeam},
      {0x0800, czFieldDropDownBeam, crTextorFieldDropDownBeam},
      {0x1C00, czFieldDropDownBeam, crTextorFieldDropDownBeam},
      {0x1000, czContainerBeam, crTextorContainerBeam},
      {0x1200, czContainerTextBeam, crTextorContainerTextBeam},
      {0x1600, czContainerTextBeam, crTextorContainerTextBeam},
  };
  Start(u"abc");
  for (const TCase& c : cases) {
    Interactive->SetOptions(TInteractiveOptions::FromBits(c.Options));
    EXPECT_EQ(Interactive->GetCursorZone(), c.Zone) << std::hex << c.Options;
    Interactive->MouseMove(Cell(1), false);
    EXPECT_EQ(Interactive->Cursor(), c.Cursor) << std::hex << c.Options;
  }
}

TEST(TextorZoneCursor, ZonesGiveTheTextCursorsAndTheStandardOnes) {
  struct TCase {
    uint8_t Zone;
    TCursor Cursor;
  };
  const TCase cases[] = {
      {0, 10},        {4, 14},           {5, 15},         {6, 15},    {7, crArrow},        {8, 16},           {9, 17},
      {10, crNoDrop}, {11, crHandPoint}, {12, crDefault}, {0x81, 11}, {0x8B, crHandPoint}, {0xFF, crDefault},
  };
  for (const TCase& c : cases) EXPECT_EQ(TextorZoneCursor(c.Zone), c.Cursor) << int(c.Zone);
}

TEST_F(TextorInteractive, NotificationsComeOncePerChange) {
  Start(u"abc");
  Interactive->SetCaretPosition(At(0, 1));
  Interactive->SetCaretPosition(At(0, 1));
  Interactive->SetCaretWidth(2);
  Interactive->SetCaretWidth(2);
  Select(0, 2);
  Interactive->SelectRange({At(0, 0), At(0, 2)}, true);  // the same selection, the caret on the other side
  EXPECT_EQ(Host->Codes,
            (std::vector<intptr_t>{tnCaretMoved, tnCaretMoved, tnCaretMoved, tnSelectionChanged, tnCaretMoved}));
  EXPECT_EQ(Interactive->GetCaretRect(), (TRect{-1, 0, 1, 13}));
}

TEST_F(TextorInteractive, TypingAttributesLastUntilTheCaretMoves) {
  Start(u"abc");
  Interactive->SetCaretPosition(At(0, 1));
  Interactive->SetTypingAttributes(&Bold);
  EXPECT_EQ(Interactive->GetTypingAttributes(), &Bold);
  Interactive->SetCaretPosition(At(0, 2));
  EXPECT_EQ(Interactive->GetTypingAttributes(), nullptr);  // the default, as at the caret
}

TEST_F(TextorInteractive, LinksActivateByCtrlEnterAndByClicksAsTheOptionsSay) {
  DetectLinks();
  Start(u"go http://x.y", ioCtrlEnterActivatesLink | ioClickActivatesLink | ioDoubleClickActivatesLink);
  Interactive->SetCaretPosition(At(0, 13));  // just after the link
  EXPECT_FALSE(Key(kReturn));
  EXPECT_TRUE(Key(kReturn, Ctrl));
  Interactive->SetCaretPosition(At(0, 1));
  EXPECT_FALSE(Key(kReturn, Ctrl));
  Click(Cell(5));
  Interactive->MouseDown(Cell(6), true, true, false, false);
  Interactive->MouseUp(Cell(6), true, false);
  Click(Cell(1));
  EXPECT_EQ(Host->Links, (std::vector<TIndexPosition>{{0, 12}, {0, 5}, {0, 6}}));
  Interactive->MouseMove(Cell(4), false);
  EXPECT_EQ(Interactive->Cursor(), crHandPoint);
  Interactive->MouseMove(Cell(1), false);
  EXPECT_EQ(Interactive->Cursor(), crTextorFieldBeam);
}

TEST_F(TextorInteractive, TheSelectionOutlivesThePortionsAndRowsItWasMadeIn) {
  DetectLinks();
  Textor.WrapWidth = 70;
  Start(u"see http://x.yz ok then");
  Select(2, 17);
  // An edit re-scans the paragraph for links, which splits and frees its portions and rows.
  Textor.BeginUpdate();
  TTextRange inserted;
  Textor.InsertText(At(0, 20), u"!", nullptr, inserted);
  Textor.EndUpdate();
  EXPECT_EQ(Interactive->GetSelectedText(), u"e http://x.yz o");
  const TRow* row = Interactive->GetCaretRow();
  EXPECT_TRUE(row->Contains(Interactive->GetCaretPosition()));
  // A new wrap width lays every paragraph out again; the caret finds its new row.
  Textor.WrapWidth = 0;
  Textor.InvalidateLayout();
  EXPECT_EQ(Interactive->GetCaretRect(), (TRect{17 * 7, 0, 17 * 7 + 1, 13}));
  // Text cut away below the selection by someone else: the selection is brought back inside the text.
  Textor.SetText(u"see");
  Interactive->TextLaidOut();
  EXPECT_EQ(Selection(), Range(2, 3));
  EXPECT_EQ(Interactive->GetSelectedText(), u"e");
}

TEST_F(TextorInteractive, TheCaretFollowsParagraphsThatALayoutAboveMoved) {
  Textor.WrapWidth = 14;  // two characters a row
  Start(u"a\r\nb\r\nc");
  Interactive->SetCaretPosition(At(2, 1));
  EXPECT_EQ(Interactive->GetCaretRect().Top, 26);
  TTextRange inserted;
  Textor.InsertText(At(0, 1), u"bc", nullptr, inserted);  // the first paragraph takes two rows
  EXPECT_EQ(Interactive->GetCaretRect(), (TRect{7, 39, 8, 52}));
  EXPECT_TRUE(Key(kUp));
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{1, 1}));
  EXPECT_EQ(Interactive->GetCaretRect().Top, 26);
  EXPECT_TRUE(Key(kUp));
  EXPECT_EQ(Interactive->CaretIndex(), (TIndexPosition{0, 3}));
  EXPECT_EQ(Interactive->GetCaretRect().Top, 13);
}

TEST_F(TextorInteractive, PaintingShowsTheSelectionBetweenTwoPlainParts) {
  Start(u"abcdef");
  Select(2, 4);
  Interactive->Paint(TestCanvas(), osActive, tpSelection);
  std::vector<std::pair<std::u16string, uint32_t>> texts;
  for (const TTestPaintCall& call : Attributes.Painted)
    if (call.Kind == TTestPaintCall::pcText) texts.emplace_back(call.Text, call.Flags & afSelected);
  EXPECT_EQ(texts, (std::vector<std::pair<std::u16string, uint32_t>>{{u"ab", 0}, {u"ef", 0}, {u"cd", afSelected}}));

  Attributes.Painted.clear();
  Interactive->Paint(TestCanvas(), osActive, {});
  texts.clear();
  for (const TTestPaintCall& call : Attributes.Painted)
    if (call.Kind == TTestPaintCall::pcText) texts.emplace_back(call.Text, call.Flags & afSelected);
  EXPECT_EQ(texts, (std::vector<std::pair<std::u16string, uint32_t>>{{u"abcdef", 0}}));
}

}  // namespace
