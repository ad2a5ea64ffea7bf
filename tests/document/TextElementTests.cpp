// The text element on the fake sheet host: undo steps and their merging by an injected clock, storage, content
// checks, the clipboard and input.
#include "document/model/diClassesGroups.h"
#include "document/model/diDropDown.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSounds.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwClipboard.h"
#include "tests/document/TestVisualElements.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A text that counts its value changes.
class TCountingText : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTextorElement::TTextorElement;
  void ValueChanged() override {
    ++ValueChanges;
    TTextorElement::ValueChanged();
  }
  int ValueChanges = 0;
};
const TElementClassInfo TCountingText::ClassInfo{u"TElement_CountingText", &TTextorElement::ClassInfo,
                                                 &ElementFactory<TCountingText>};

// A host that records the node messages it hears.
class TRecordingHost : public TTestVisualGroup {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualGroup::TTestVisualGroup;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override {
    Heard.push_back(AMsg);
    return AMsg == nmAskDataClass || TTestVisualGroup::HandleMessage(AMsg, AParam1, AParam2);
  }
  std::vector<int> Heard;
};
const TElementClassInfo TRecordingHost::ClassInfo{u"TElement_RecordingHost", &TTestVisualGroup::ClassInfo,
                                                  &ElementFactory<TRecordingHost>};

// A host that counts how often its children ask it for the size it offers them.
class TSizeAskedHost : public TTestVisualGroup {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualGroup::TTestVisualGroup;
  void GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) override {
    ++Asked;
    TTestVisualGroup::GetAvailableSize(AChild, ASize);
  }
  int Asked = 0;
};
const TElementClassInfo TSizeAskedHost::ClassInfo{u"TElement_SizeAskedHost", &TTestVisualGroup::ClassInfo,
                                                  &ElementFactory<TSizeAskedHost>};

// A data element for pastes and drops: takes files ending in ".png" and whatever the clipboard holds.
class TTestDataLeaf : public TTestVisualLeaf, public IDataElementFill {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualLeaf::TTestVisualLeaf;
  bool FillFromClipboard() override {
    SetText(u"clipboard");
    return true;
  }
  bool FillFromFile(const std::u16string& AFileName) override {
    SetText(AFileName);
    return AFileName.ends_with(u".png");
  }
};
const TElementClassInfo TTestDataLeaf::ClassInfo{u"TElement_DataLeaf", &TTestVisualLeaf::ClassInfo,
                                                 &ElementFactory<TTestDataLeaf>};

// A rich text that names the data class, as the plain root does.
class TDataText : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTextorElement::TTextorElement;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override {
    if (AMsg != nmAskDataClass) return TTextorElement::HandleMessage(AMsg, AParam1, AParam2);
    *reinterpret_cast<TElementClass*>(AParam1) = &TTestDataLeaf::ClassInfo;
    return true;
  }
};
const TElementClassInfo TDataText::ClassInfo{u"TElement_DataText", &TTextorElement::ClassInfo,
                                             &ElementFactory<TDataText>};

constexpr TTextorOptions RichOptions = xoRich;
constexpr TTextOptions PlainRootText = AnyTextOptions;

// The children of a content knot as "Chars(abc) Br VisualLeaf".
std::u16string Describe(TKnot* AKnot) {
  std::u16string r;
  for (TKnot* k = AKnot ? AKnot->FirstKnot() : nullptr; k; k = k->NextKnot()) {
    if (!r.empty()) r += u' ';
    r += k->Name();
    if (k->Name() == CharsKnotName) r += u"(" + k->ReadString(u"Value", u"") + u")";
  }
  return r;
}

class TextElementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializePalette();
    InitializeClassesGroups();
    ClassesGroups->GetGroup(0).push_back(&TTestVisualLeaf::ClassInfo);
    ClassesGroups->GetGroup(0).push_back(&TTestDataLeaf::ClassInfo);
    InitializeTextorElement();
    Host = std::make_unique<TSheetHostFixture>();
  }
  void TearDown() override {
    Host.reset();
    FinalizeTextorElement();
    FinalizeClassesGroups();
    FinalizePalette();
  }

  template <class T = TTextorElement>
  T* AddText(TTextorOptions AOptions, TTextOptions ATextOptions, std::u16string_view AText,
             TVisualElement* AParent = nullptr) {
    if (!AParent) AParent = Host->Root;
    T* text = TElement::CreateIn<T>(&Host->Scheme, AParent);
    text->SetTextorOptions(AOptions);
    text->SetTextOptions(ATextOptions);
    text->SetText(AText);
    text->SetEditClock([this] { return Now; });
    text->SetVisualParent(AParent);
    return text;
  }
  // Focuses AText with the selection of AFocusData.
  void Edit(TTextorElement* AText, const std::u16string& AFocusData) {
    AText->SetFocus(fdForward, AFocusData, nullptr, nullptr);
    ASSERT_NE(AText->Interactive(), nullptr);
  }
  void Type(char16_t AChar) { Host->Sheet->KeyPress(AChar); }
  void Key(uint16_t AKey, TShiftKeys AShift = {}) { Host->Sheet->KeyDown(AKey, AShift); }
  int Steps() const {
    int n = 0;
    for (TNode* s = Host->History.UndoStack().FirstChild(); s; s = s->NextSibling()) ++n;
    return n;
  }
  TTextorEditOperation* LastStep() const {
    return dynamic_cast<TTextorEditOperation*>(Host->History.GetUndoOperation());
  }
  static std::u16string Selected(TTextorElement* AText) { return AText->Interactive()->GetSelectedText(); }

  std::unique_ptr<TSheetHostFixture> Host;
  int64_t Now = 0;
};

// ---------------------------------------------------------------------------------------------------------------
// Merging

TEST_F(TextElementTest, ThreeKeysTypedQuicklyAreOneStepOfOneChars) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
  Edit(text, {});
  for (char16_t c : std::u16string(u"abc")) {
    Type(c);
    Now += 100;
  }
  EXPECT_EQ(text->GetText(), u"abc");
  ASSERT_EQ(Steps(), 1);
  EXPECT_EQ(Describe(LastStep()->NewContent()), u"Chars(abc)");
}

TEST_F(TextElementTest, KeysMergeUnder800MillisecondsOnly) {
  const struct {
    int64_t Gap;
    int Steps;
  } cases[] = {{0, 1}, {799, 1}, {800, 2}, {5000, 2}};
  for (const auto& c : cases) {
    Host->History.Clear();
    TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
    Edit(text, {});
    Now = 0;
    Type(u'a');
    Now = c.Gap;
    Type(u'b');
    EXPECT_EQ(text->GetText(), u"ab") << c.Gap;
    EXPECT_EQ(Steps(), c.Steps) << c.Gap;
    text->Destroy();
  }
}

TEST_F(TextElementTest, AKeyRepaintsOnceAfterTheEdit) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"abc");
  Edit(text, u"0,1,0,1");
  Host->Notes.clear();
  Type(u'x');
  EXPECT_EQ(Host->Count(snRepaint), 1);
  EXPECT_EQ(text->GetText(), u"axbc");
}

TEST_F(TextElementTest, AKeyRepaintsItsRowWithTheElementItMovesAndNothingBelow) {
  // As wide as the sheet, as the document's text is: a key leaves its size alone.
  TTextorElement* text = AddText(RichOptions | xoMinWidthAvailable, PlainRootText, u"ab");
  std::vector<TVisualElement*> list{TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text)};
  TVisualElement* leaf = list.front();
  text->InsertElements(emAppend, nullptr, list);
  Edit(text, u"0,3,0,3");
  for (char16_t c : std::u16string(u"\rcd")) Type(c);
  Edit(text, u"0,1,0,1");
  const TRect before = leaf->GetBoundsRect();
  Host->Notes.clear();
  Type(u'x');
  ASSERT_EQ(text->GetText(), u"axb\r\ncd");
  ASSERT_EQ(Host->Count(snRepaint), 1);
  const TSheetHostFixture::TNote& note = Host->Notes[Host->Notes.size() - 1];
  ASSERT_EQ(note.Code, snRepaint);
  ASSERT_TRUE(note.HasRect);
  TRect padding;
  text->GetPadding(padding);
  const TParagraph* second = text->Textor()->FirstParagraph()->Next();
  const TVisualPoint rowTop = text->ClientToSheet({0, padding.Top});
  const TVisualPoint below = text->ClientToSheet({0, padding.Top + second->Top()});
  const TVisualPoint from = text->ClientToSheet({before.Left, before.Top});
  const TVisualPoint to = text->ClientToSheet({leaf->Left() + leaf->Width(), leaf->Top() + leaf->Height()});
  EXPECT_LT(before.Left, leaf->Left());
  EXPECT_EQ(note.Rect.Top, rowTop.Y);
  EXPECT_EQ(note.Rect.Bottom, below.Y);
  EXPECT_LE(note.Rect.Left, from.X);
  EXPECT_GE(note.Rect.Right, to.X);
}

TEST_F(TextElementTest, AKeyLeavesTheRowsOfItsParagraphThatItDidNotChange) {
  Host->Sheet->SetViewSize({200, 1000});
  TTextorElement* text = AddText(RichOptions | xoMinWidthAvailable, PlainRootText, u"ab");
  // Too wide to share the first row with any text: the element makes a row of its own.
  auto* leaf = TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text);
  std::vector<TVisualElement*> list{leaf};
  text->InsertElements(emAppend, nullptr, list);
  leaf->SetBounds(leaf->Left(), leaf->Top(), 190, 20, 3);
  const TRow* first = text->Textor()->FirstParagraph()->FirstRow();
  ASSERT_NE(first->GetNextRow(), nullptr);
  Edit(text, u"0,1,0,1");
  Host->Notes.clear();
  Type(u'x');
  ASSERT_EQ(text->GetText(), u"axb");
  ASSERT_EQ(Host->Count(snRepaint), 1);
  const TSheetHostFixture::TNote& note = Host->Notes[Host->Notes.size() - 1];
  ASSERT_TRUE(note.HasRect);
  TRect padding;
  text->GetPadding(padding);
  first = text->Textor()->FirstParagraph()->FirstRow();
  EXPECT_EQ(note.Rect.Bottom, text->ClientToSheet({0, padding.Top + first->Bottom}).Y);
}

TEST_F(TextElementTest, ASizeUpdateAsksForTheAvailableSizeOnlyForAMinimumThatFollowsIt) {
  const struct {
    TTextorOptions Options;
    int Asked;
  } cases[] = {{RichOptions, 0}, {RichOptions | xoMinWidthAvailable, 1}, {RichOptions | xoMinHeightAvailable, 1}};
  for (const auto& c : cases) {
    auto* host = TElement::CreateIn<TSizeAskedHost>(&Host->Scheme, Host->Root);
    host->SetVisualParent(Host->Root);
    TTextorElement* text = AddText(c.Options, PlainRootText, u"abc", host);
    host->Asked = 0;
    text->UpdateSize();
    EXPECT_EQ(host->Asked, c.Asked) << (&c - cases);
  }
}

TEST_F(TextElementTest, ACaretMoveBetweenKeysStartsANewStep) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
  Edit(text, {});
  Type(u'a');
  Key(vkLeft);
  Now += 100;
  Type(u'b');
  EXPECT_EQ(text->GetText(), u"ba");
  EXPECT_EQ(Steps(), 2);
}

TEST_F(TextElementTest, BackspacesAreOneStepWhoseUndoSelectsTheCharactersInOrder) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"xyz");
  Edit(text, u"0,3,0,3");
  for (int i = 0; i < 3; ++i) {
    Key(vkBack);
    Now += 100;
  }
  EXPECT_EQ(text->GetText(), u"");
  ASSERT_EQ(Steps(), 1);
  EXPECT_EQ(Describe(LastStep()->RemovedContent()), u"Chars(xyz)");
  Host->History.Undo();
  EXPECT_EQ(text->GetText(), u"xyz");
  EXPECT_EQ(Selected(text), u"xyz");
}

TEST_F(TextElementTest, TypingOverASelectionIsAStepOfItsOwnAndUndoesToTheSelection) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"abcd");
  Edit(text, u"0,1,0,3");
  Type(u'X');
  Now += 100;
  Type(u'Y');
  EXPECT_EQ(text->GetText(), u"aXYd");
  EXPECT_EQ(Steps(), 2);
  Host->History.Undo();
  EXPECT_EQ(text->GetText(), u"aXd");
  Host->History.Undo();
  EXPECT_EQ(text->GetText(), u"abcd");
  EXPECT_EQ(Selected(text), u"bc");
  Host->History.Redo();
  EXPECT_EQ(text->GetText(), u"aXd");
  EXPECT_FALSE(text->Interactive()->HasSelection());
  std::u16string focus;
  text->GetFocusData(focus);
  EXPECT_EQ(focus, u"0,2,0,2");
}

TEST_F(TextElementTest, ALineBreakTypedBetweenKeysTravelsAsOneBrInTheSameStep) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
  Edit(text, {});
  Type(u'a');
  Now += 100;
  Type(u'\r');
  Now += 100;
  Type(u'b');
  EXPECT_EQ(text->GetText(), u"a\r\nb");
  ASSERT_EQ(Steps(), 1);
  EXPECT_EQ(Describe(LastStep()->NewContent()), u"Chars(a) Br Chars(b)");
  Host->History.Undo();
  EXPECT_EQ(text->GetText(), u"");
  Host->History.Redo();
  EXPECT_EQ(text->GetText(), u"a\r\nb");
}

TEST_F(TextElementTest, OtherTypingAttributesOrAnotherElementStartANewStep) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
  TTextorElement* other = AddText(RichOptions, PlainRootText, u"");
  Edit(text, {});
  Type(u'a');
  TRichTextAttributes bold;
  bold.SetStyle(1);
  text->Interactive()->SetTypingAttributes(static_cast<TTextAttributes*>(bold.Acquire()));
  Type(u'b');
  EXPECT_EQ(Steps(), 2);
  Edit(other, {});
  Type(u'c');
  EXPECT_EQ(Steps(), 3);
}

TEST_F(TextElementTest, BackspacedRunsWithOtherDataStayApart) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
  TRichTextAttributes m, k;
  m.SetTag(u"m");
  k.SetTag(u"k");
  TTextRange r;
  text->Textor()->InsertText(text->Textor()->GetEndPosition(), u"xa", static_cast<TTextAttributes*>(m.Acquire()), r);
  text->Textor()->InsertText(text->Textor()->GetEndPosition(), u"bc", static_cast<TTextAttributes*>(k.Acquire()), r);
  Edit(text, u"0,4,0,4");
  for (int i = 0; i < 3; ++i) {
    Key(vkBack);
    Now += 100;
  }
  ASSERT_EQ(Steps(), 1);
  TKnot* removed = LastStep()->RemovedContent();
  EXPECT_EQ(Describe(removed), u"Chars(a) Chars(bc)");
  EXPECT_EQ(removed->FirstKnot()->ReadString(u"Data", u""), u"m");
  EXPECT_EQ(removed->FirstKnot()->NextKnot()->ReadString(u"Data", u""), u"k");
}

TEST_F(TextElementTest, InsertedElementsKeepOneElementPerIdentifierThroughUndoAndRedo) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"ab");
  auto* leaf = TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text);
  const int32_t id = leaf->ID();
  std::vector<TVisualElement*> list{leaf};
  text->InsertElements(emAppend, nullptr, list);
  EXPECT_TRUE(list.empty());
  ASSERT_NE(text->FirstVisualChild(), nullptr);
  EXPECT_EQ(text->FirstVisualChild()->ID(), id);
  EXPECT_EQ(Host->Scheme.FindByID(id), text->FirstVisualChild());
  int leaves = 0;
  for (TElement* c = text->FirstChildElement(); c; c = c->NextSiblingElement()) ++leaves;
  EXPECT_EQ(leaves, 1);
  Host->History.Undo();
  EXPECT_EQ(Host->Scheme.FindByID(id), nullptr);
  Host->History.Redo();
  EXPECT_EQ(Host->Scheme.FindByID(id), text->FirstVisualChild());
}

TEST_F(TextElementTest, TheSelectedElementsAreKeptInDrawingOrderThroughInsertDeleteUndoAndSelection) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"abcdef");
  const auto insertAt = [&](const char16_t* AFocus) {
    Edit(text, AFocus);
    std::vector<TVisualElement*> list{TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text)};
    text->InsertElements(emSelection, nullptr, list);
  };
  const auto expectKept = [&](const char* AStep, bool ASome) {
    SCOPED_TRACE(AStep);
    std::vector<TVisualElement*> walked;
    for (TVisualElement* c = text->FirstVisualChild(); c; c = c->NextVisualSibling())
      if (c->IsSelected()) walked.push_back(c);
    EXPECT_EQ(text->SelectedChildren(), walked);
    EXPECT_EQ(!walked.empty(), ASome);
    TPaletteTargetList targets;
    text->GetSelectedPaletteTargets(targets);
    EXPECT_EQ(targets, TPaletteTargetList(walked.begin(), walked.end()));
  };
  // Drawn in the order they came, which is not the text's: the last one stands first in the text.
  insertAt(u"0,6,0,6");
  insertAt(u"0,3,0,3");
  insertAt(u"0,0,0,0");
  expectKept("inserted", false);
  Edit(text, u"0,0,0,8");
  expectKept("two of three selected", true);
  Key(vkDelete);
  expectKept("deleted", false);
  Host->History.Undo();
  Edit(text, u"0,2,0,9");
  expectKept("undone, then the selection changed", true);
  Edit(text, u"0,9,0,9");
  expectKept("unselected", false);
  Host->History.Redo();
  expectKept("redone", false);
}

TEST_F(TextElementTest, TheSelectedElementsFollowEachSelectionChangeAndOnlyThoseTheTextSelectedAreUnselected) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"ab\r\ncd");
  TTextorElement* other = AddText(RichOptions, PlainRootText, u"x");
  // "a E b E" and "c E d", drawn in the order they came, which is not the text's.
  for (const char16_t* at : {u"1,1,1,1", u"0,2,0,2", u"0,1,0,1"}) {
    Edit(text, at);
    std::vector<TVisualElement*> list{TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text)};
    text->InsertElements(emSelection, nullptr, list);
  }
  TTextor& textor = *text->Textor();
  const auto embedded = [&] {
    std::vector<TVisualElement*> found;
    for (TVisualElement* c = text->FirstVisualChild(); c; c = c->NextVisualSibling())
      if (c->EmbeddingPortion()) found.push_back(c);
    std::sort(found.begin(), found.end(), [&](TVisualElement* A, TVisualElement* B) {
      return textor.IsBefore({A->EmbeddingPortion()->Paragraph(), A->EmbeddingPortion(), 0},
                             {B->EmbeddingPortion()->Paragraph(), B->EmbeddingPortion(), 0});
    });
    return found;
  };
  TVisualElement* mark = nullptr;  // selected by something else, outside the selection
  const auto shift = [&](uint16_t AKey, int ATimes) {
    for (int i = 0; i < ATimes; ++i) Key(AKey, skShift);
  };
  const struct {
    const char* Name;
    std::function<void()> Act;
    size_t Selected;
  } steps[] = {
      {"grown over an element", [&] { Edit(text, u"0,2,0,2"), shift(vkRight, 2); }, 1},
      {"grown into the next paragraph", [&] { shift(vkRight, 3); }, 2},
      {"shrunk", [&] { shift(vkLeft, 2); }, 1},
      {"flipped past the anchor", [&] { shift(vkLeft, 4); }, 1},
      {"collapsed", [&] { Key(vkRight); }, 0},
      {"all", [&] { Edit(text, u"0,0,1,3"); }, 3},
      {"deleted", [&] { Key(vkDelete); }, 0},
      {"undone", [&] { Host->History.Undo(), Edit(text, u"0,0,1,3"); }, 3},
      {"a selected one removed", [&] { embedded().front()->Free(), shift(vkLeft, 1); }, 2},
      {"a click elsewhere", [&] { Edit(other, u"0,0,0,0"); }, 0},
      {"grown beside a marked one",
       [&] {
         Edit(text, u"0,0,0,0");
         mark = embedded().back();
         mark->SetSelected(true);
         shift(vkRight, 1);
       },
       1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Name);
    step.Act();
    TSchemeTextorInteractive* interactive = text->Interactive();
    std::vector<TVisualElement*> walked;
    int child = 0;
    for (TVisualElement* c = text->FirstVisualChild(); c; c = c->NextVisualSibling(), ++child) {
      TElementPortion* portion = c->EmbeddingPortion();
      ASSERT_NE(portion, nullptr);
      const bool inside = interactive && interactive->HasSelection() &&
                          textor.IsPositionInRange({portion->Paragraph(), portion, 0}, interactive->GetSelection());
      EXPECT_EQ(c->IsSelected(), inside || c == mark) << "child " << child;
      if (c->IsSelected()) walked.push_back(c);
    }
    EXPECT_EQ(walked.size(), step.Selected);
    EXPECT_EQ(text->SelectedChildren(), walked);
  }
}

TEST_F(TextElementTest, ASelectionOverManyElementsTellsTheCommandStateOnce) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"ab");
  for (int i = 0; i < 3; ++i) Host->EmbedAtEnd<TTestVisualLeaf>(text);
  Edit(text, u"0,0,0,0");
  Host->Notes.clear();
  Key(vkEnd, skShift);
  EXPECT_EQ(text->SelectedChildren().size(), 3u);
  EXPECT_EQ(Host->Count(snCommandState), 1);
}

TEST_F(TextElementTest, BlockElementsTakeLinesOfTheirOwn) {
  const struct {
    const char16_t* Focus;
    int Elements;
    const char16_t* Content;
  } cases[] = {
      {u"0,1,0,1", 1, u"Br VisualLeaf"},
      {u"0,0,0,0", 1, u"VisualLeaf"},
      {u"0,1,0,1", 2, u"Br VisualLeaf Br VisualLeaf"},
  };
  for (const auto& c : cases) {
    Host->History.Clear();
    TTextorElement* text = AddText(RichOptions | xoBlockElements, PlainRootText, u"ab");
    Edit(text, c.Focus);
    std::vector<TVisualElement*> list;
    for (int i = 0; i < c.Elements; ++i) list.push_back(TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text));
    text->InsertElements(emSelection, nullptr, list);
    ASSERT_NE(LastStep(), nullptr);
    EXPECT_EQ(Describe(LastStep()->NewContent()), c.Content);
    text->Destroy();
  }
}

TEST_F(TextElementTest, EveryForwardDeleteIsAStepOfItsOwn) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"xyz");
  Edit(text, u"0,0,0,0");
  Key(vkDelete);
  Now += 100;
  Key(vkDelete);
  EXPECT_EQ(text->GetText(), u"z");
  EXPECT_EQ(Steps(), 2);
}

TEST_F(TextElementTest, AnEditThatChangesNothingMakesNoStepAndNoModified) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"ab");
  Edit(text, u"0,1,0,1");
  text->InsertTypedText(emSelection, nullptr, u"", false);
  TKnot empty{std::u16string(ContentKnotName)};
  text->PerformEdit(emAppend, nullptr, &empty, fmRecord, {}, false);
  EXPECT_EQ(Steps(), 0);
  EXPECT_FALSE(Host->History.Modified());
}

TEST_F(TextElementTest, AStepWhosePositionsNoLongerConvertChangesNothing) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"abcd");
  Edit(text, u"0,4,0,4");
  Type(u'e');
  TTextorEditOperation* step = LastStep();
  ASSERT_NE(step, nullptr);
  // The text shrinks behind the history's back: the recorded range lies past its end.
  text->SetText(u"a");
  Host->History.Undo();
  EXPECT_EQ(text->GetText(), u"a");
  EXPECT_EQ(text->Textor()->ChangeLock(), 0);
  EXPECT_EQ(Host->Scheme.LoadingCount(), 0);
}

TEST_F(TextElementTest, APaletteRunOnATextNotBeingEditedInsertsAtTheEnd) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"ab");
  text->InsertTypedText(emSelection, nullptr, u"c", false);
  EXPECT_EQ(text->GetText(), u"abc");
}

// Random edits of every kind, with undo and redo between them: undoing everything gives back the first saved
// bytes, redoing everything the last ones.
TEST_F(TextElementTest, RandomEditsUndoToTheFirstBytesAndRedoToTheLast) {
  std::mt19937 random(20261207);
  auto below = [&](int AMax) { return AMax <= 0 ? 0 : static_cast<int>(random() % static_cast<unsigned>(AMax)); };
  int changed = 0, withElements = 0;
  for (int sequence = 0; sequence < 150; ++sequence) {
    Host->History.Clear();
    TTextorElement* text = AddText(RichOptions, PlainRootText, sequence % 3 == 0 ? u"" : u"ab cd\r\nef");
    Edit(text, {});
    const auto save = [&] {
      TKnot knot;
      Host->Scheme.SaveElement(text, fmDocument, &knot, {});
      return knot.SaveToString();
    };
    const auto randomPosition = [&] {
      TSchemeTextor* t = text->Textor();
      const int paragraph = below(t->ParagraphCount());
      const int length = t->ParagraphAt(paragraph)->CharIndexOf(nullptr, 0);
      return IntToStr(paragraph) + u"," + IntToStr(below(length + 1));
    };
    const auto select = [&] { text->SetFocus(fdForward, randomPosition() + u"," + randomPosition(), nullptr, nullptr); };
    const std::u16string first = save();
    for (int step = 0; step < 25; ++step) {
      Now += below(2) ? 100 : 1000;
      switch (below(8)) {
        case 0:
        case 1: {
          select();
          const char16_t keys[] = u"xyz \r";
          Type(keys[below(5)]);
          break;
        }
        case 2:
          select();
          Key(below(2) ? vkBack : vkDelete);
          break;
        case 3: {
          select();
          if (!text->Interactive()->HasSelection()) break;
          TKnot copy;
          const TTextRange selection = text->Interactive()->GetSelection();
          text->SaveRange(&copy, fmCopy, &selection, TFilerFlags::FromBits(0x04));
          copy.SetName(std::u16string(ContentKnotName));
          select();
          text->PerformEdit(emSelection, nullptr, &copy, fmCopy, TFilerFlags::FromBits(0x04), false);
          break;
        }
        case 4: {
          select();
          auto* leaf = TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text);
          leaf->SetText(u"n" + IntToStr(step));
          std::vector<TVisualElement*> list{leaf};
          text->InsertElements(emSelection, nullptr, list);
          break;
        }
        case 5: {
          std::vector<TVisualElement*> leaves;
          for (TVisualElement* c = text->FirstVisualChild(); c; c = c->NextVisualSibling()) leaves.push_back(c);
          if (!leaves.empty()) {
            TVisualElement* leaf = leaves[below(static_cast<int>(leaves.size()))];
            leaf->SetDisabledUndoable(!leaf->IsDisabled());
          }
          break;
        }
        case 6:
          Host->History.Undo();
          break;
        default:
          Host->History.Redo();
          break;
      }
      if (!text->Interactive()) Edit(text, {});
    }
    const std::u16string last = save();
    changed += last != first;
    withElements += last.find(u"VisualLeaf") != std::u16string::npos;
    int undone = 0;
    while (Host->History.CanUndo()) {
      Host->History.Undo();
      ++undone;
    }
    ASSERT_EQ(save(), first) << "sequence " << sequence;
    for (int i = 0; i < undone; ++i) Host->History.Redo();
    ASSERT_EQ(save(), last) << "sequence " << sequence;
    // The saved text loads back into another text as it was.
    auto* copy = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
    copy->SetTextorOptions(RichOptions);
    copy->SetTextOptions(PlainRootText);
    TKnot knot;
    knot.LoadFromString(last);
    Host->Scheme.LoadElement(copy, fmDocument, &knot);
    EXPECT_EQ(copy->GetText(), text->GetText()) << "sequence " << sequence;
    TKnot again;
    Host->Scheme.SaveElement(copy, fmDocument, &again, {});
    EXPECT_EQ(again.SaveToString(), last) << "sequence " << sequence;
    copy->Destroy();
    text->Destroy();
  }
  // The sequences did change the text, elements included.
  EXPECT_GT(changed, 120);
  EXPECT_GT(withElements, 30);
}

// ---------------------------------------------------------------------------------------------------------------
// Storage

class TextStorageTest : public TextElementTest {
 protected:
  void SetUp() override {
    TextElementTest::SetUp();
    Scheme = std::make_unique<TScheme>(&TTextorElement::ClassInfo, u"Quillbox");
    Root = static_cast<TTextorElement*>(Scheme->Root());
    Root->SetTextorOptions(RichOptions);
    Root->SetTextOptions(PlainRootText);
  }
  void TearDown() override {
    Scheme.reset();
    TextElementTest::TearDown();
  }
  std::u16string Save() {
    TKnot knot;
    Scheme->SaveElement(Root, fmDocument, &knot, {});
    return knot.SaveToString();
  }
  void Load(const std::u16string& AText) {
    TKnot knot;
    knot.LoadFromString(AText);
    Scheme->LoadElement(Root, fmDocument, &knot);
  }

  std::unique_ptr<TScheme> Scheme;
  TTextorElement* Root = nullptr;
};

TEST_F(TextStorageTest, EveryParagraphEndIsABrOnItsPredecessorsLine) {
  Root->SetText(u"ab\r\nc");
  EXPECT_EQ(Save(),
            u"<Quillbox FormatVersion=\"1.1\">\r\n"
            u"\t<Chars Value=\"ab\"/><Br/>\r\n"
            u"\t<Chars Value=\"c\"/><Br/>\r\n"
            u"</Quillbox>\r\n");
}

TEST_F(TextStorageTest, SaveLoadSaveIsByteIdenticalAndAddsNoParagraph) {
  const std::u16string texts[] = {u"ab\r\nc", u"", u"one", u"\r\n\r\nx\r\n", u"a\tb"};
  for (const std::u16string& text : texts) {
    Root->SetText(text);
    const std::u16string first = Save();
    Load(first);
    EXPECT_EQ(Root->GetText(), text);
    EXPECT_EQ(Save(), first);
  }
}

TEST_F(TextStorageTest, APlainTextStoresOneValueUnlessItIsEmptyOrTheDefault) {
  Root->SetTextorOptions({});
  Root->SetDefaultText(u"none");
  const struct {
    const char16_t* Text;
    const char16_t* Saved;
  } cases[] = {
      {u"", u"<Quillbox FormatVersion=\"1.1\"/>\r\n"},
      {u"none", u"<Quillbox FormatVersion=\"1.1\"/>\r\n"},
      {u"a b", u"<Quillbox FormatVersion=\"1.1\" Value=\"a b\"/>\r\n"},
      {u"a\r\nb", nullptr},
  };
  for (const auto& c : cases) {
    Root->SetText(c.Text);
    const std::u16string saved = Save();
    if (c.Saved) {
      EXPECT_EQ(saved, c.Saved);
    }
    Root->SetText(u"other");
    Load(saved);
    EXPECT_EQ(Root->GetText(), std::u16string(c.Text).empty() ? u"none" : c.Text);
  }
}

TEST_F(TextStorageTest, RunsWithEqualDataAreOneChars) {
  const struct {
    const char16_t* FirstTag;
    const char16_t* SecondTag;
    const char16_t* Saved;
  } cases[] = {
      {u"k", u"k", u"Chars(ab) Br"},
      {u"k", u"m", u"Chars(a) Chars(b) Br"},
      {u"", u"m", u"Chars(a) Chars(b) Br"},
  };
  for (const auto& c : cases) {
    Root->Clear();
    TRichTextAttributes first, second;
    first.SetTag(c.FirstTag);
    second.SetTag(c.SecondTag);
    auto* a = static_cast<TTextAttributes*>(first.Acquire());
    auto* b = static_cast<TTextAttributes*>(second.Acquire());
    // Two pooled objects for equal data when the tags are equal but the objects differ in another field.
    if (a == b) {
      second.SetColor(0xFF123456);
      b = static_cast<TTextAttributes*>(second.Acquire());
    }
    TTextRange r;
    Root->Textor()->InsertText(Root->Textor()->GetEndPosition(), u"a", a, r);
    Root->Textor()->InsertText(Root->Textor()->GetEndPosition(), u"b", b, r);
    TKnot knot;
    Root->SaveRange(&knot, fmDocument, nullptr, {});
    EXPECT_EQ(Describe(&knot), c.Saved);
  }
}

TEST_F(TextStorageTest, AnElementKnotOfAPlainTextIsLeftUnread) {
  Root->SetTextorOptions({});
  TElementMessages messages;
  Scheme->SetMessages(&messages);
  Load(u"<Quillbox Value=\"v\"><VisualLeaf/></Quillbox>");
  EXPECT_EQ(Root->GetText(), u"v");
  ASSERT_EQ(messages.GetCount(), 1);
  EXPECT_NE(messages.GetItem(0)->GetText().find(u"VisualLeaf"), std::u16string::npos);
  Scheme->SetMessages(nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Checks

class TextCheckTest : public TextStorageTest {
 protected:
  std::vector<std::u16string> Check(uint32_t ATextOptions, std::u16string_view AText, int AElements = 0,
                                    bool ADisabled = false) {
    Root->Clear();
    for (TVisualElement* c; (c = Root->FirstVisualChild());) c->Destroy();
    Root->SetTextOptions(TTextOptions::FromBits(ATextOptions));
    Root->SetText(AText);
    for (int i = 0; i < AElements; ++i) {
      auto* leaf = TElement::CreateIn<TTestVisualLeaf>(Scheme.get(), Root);
      TTextRange r;
      Root->Textor()->InsertElement(Root->Textor()->GetEndPosition(), leaf, nullptr, r);
      leaf->SetVisualParent(Root);
      leaf->SetDisabled(ADisabled);
    }
    Root->UpdateState();
    Root->Check();
    std::vector<std::u16string> r;
    for (int i = 0; Root->Messages() && i < Root->Messages()->GetCount(); ++i)
      r.push_back(Root->Messages()->GetItem(i)->GetText());
    return r;
  }
};

TEST_F(TextCheckTest, ContentMessagesInTheirOrder) {
  using V = std::vector<std::u16string>;
  EXPECT_EQ(Check(0x802, u"1 000"), (V{u"Spaces are not allowed", u"Unable to convert value \"1 000\" to an integer"}));
  EXPECT_EQ(Check(0x307F, u"12.5%"), V{});
  EXPECT_EQ(Check(0x107F, u"12.5%"), V{u"Unable to convert value \"12.5%\" to a float"});
  EXPECT_EQ(Check(0, u"x"), V{u"Text is not allowed in the editor"});
  EXPECT_EQ(Check(0xC009, u" a "), V{u"Text should not begin with a space character"});
  EXPECT_EQ(Check(0x8009, u" a "), V{u"Text should not end with a space character"});
  EXPECT_EQ(Check(127, u"x_1 ?"), V{});
  EXPECT_EQ(Check(0x40B, u"x ж"), V{u"You can use only Latin letters"});
  EXPECT_EQ(Check(0xFF, u"1a"), V{u"Text should begin with a letter or an underscore character"});
  EXPECT_EQ(Check(0x7F | 0x100, u"a:b*c:"),
            V{u"You can use only characters that are allowed in file names, the program has detected the invalid "
              u"character: \":*\""});
  EXPECT_EQ(Check(0x802, u"2147483648"), V{u"Unable to convert value \"2147483648\" to an integer"});
  EXPECT_EQ(Check(0x842, u"-2147483648"), V{});
  EXPECT_EQ(Check(0x802, u"-1"), V{u"Special characters are not allowed"});
}

TEST_F(TextCheckTest, ElementCountsLeaveOutDisabledElements) {
  Root->SetTextorOptions(RichOptions);
  using V = std::vector<std::u16string>;
  EXPECT_EQ(Check(0x1007F, u"x"), V{u"An element is required"});
  EXPECT_EQ(Check(0x1007F, u"x", 1, true), V{u"An element is required"});
  EXPECT_EQ(Check(0x1007F, u"x", 1), V{});
  EXPECT_EQ(Check(0x2007F, u"", 2), V{u"Using more than one element is not allowed"});
  EXPECT_EQ(Check(0x2007F, u"", 1), V{});
}

// ---------------------------------------------------------------------------------------------------------------
// Clipboard

class TextClipboardTest : public TextElementTest {
 protected:
  void SetUp() override {
    TextElementTest::SetUp();
    StartClipboard();
  }
  void TearDown() override {
    EndClipboard();
    TextElementTest::TearDown();
  }
  // A rich text "ab", an embedded leaf, "c".
  TTextorElement* TextWithLeaf(TTestVisualLeaf*& ALeaf) {
    TTextorElement* text = AddText(RichOptions, PlainRootText, u"ab");
    ALeaf = TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text);
    ALeaf->SetText(u"leaf");
    TTextRange r;
    text->Textor()->InsertElement(text->Textor()->GetEndPosition(), ALeaf, nullptr, r);
    ALeaf->SetVisualParent(text);
    text->Textor()->InsertText(text->Textor()->GetEndPosition(), u"c", nullptr, r);
    return text;
  }
};

TEST_F(TextClipboardTest, ASelectionWithoutElementsCopiesPlainLines) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"xab\r\ncy");
  Edit(text, u"0,1,1,1");
  text->Copy();
  EXPECT_EQ(Clipboard->AsText(), u"ab\r\nc");
}

TEST_F(TextClipboardTest, ASelectionWithAnElementCopiesContentKnotTextThatPastesWithANewIdentifier) {
  TTestVisualLeaf* leaf = nullptr;
  TTextorElement* source = TextWithLeaf(leaf);
  Edit(source, u"0,0,0,4");
  source->Copy();
  const std::u16string copied = Clipboard->AsText();
  TKnot knot;
  knot.LoadFromString(copied);
  EXPECT_EQ(knot.Name(), ContentKnotName);
  EXPECT_EQ(knot.ReadString(u"FormatVersion", u""), u"1.1");
  EXPECT_EQ(Describe(&knot), u"Chars(ab) VisualLeaf Chars(c)");

  TTextorElement* rich = AddText(RichOptions, PlainRootText, u"");
  Edit(rich, {});
  ASSERT_TRUE(rich->Paste());
  EXPECT_EQ(rich->GetText(), u"abc");
  auto* pasted = dynamic_cast<TTestVisualLeaf*>(rich->FirstVisualChild());
  ASSERT_NE(pasted, nullptr);
  EXPECT_NE(pasted->ID(), leaf->ID());
  EXPECT_EQ(pasted->Text(), u"leaf");
  const int32_t id = pasted->ID();
  Host->History.Undo();
  EXPECT_EQ(rich->FirstVisualChild(), nullptr);
  Host->History.Redo();
  ASSERT_NE(rich->FirstVisualChild(), nullptr);
  EXPECT_EQ(rich->FirstVisualChild()->ID(), id);
  EXPECT_EQ(Host->Scheme.FindByID(id), rich->FirstVisualChild());

  TTextorElement* plain = AddText({}, PlainRootText, u"");
  Edit(plain, {});
  ASSERT_TRUE(plain->Paste());
  EXPECT_EQ(plain->GetText(), copied);
}

TEST_F(TextClipboardTest, DataPastedOrDroppedBecomesAnElementThatTheDelayedFocusFinds) {
  Host->Settings.FocusNew->SetValue(true);
  auto* text = AddText<TDataText>(RichOptions, PlainRootText, u"ab");
  Edit(text, u"0,1,0,1");
  Clipboard->Clear();
  ASSERT_TRUE(text->Paste());
  auto* pasted = dynamic_cast<TTestDataLeaf*>(text->FirstVisualChild());
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->Text(), u"clipboard");
  EXPECT_EQ(Host->Sheet->DelayedFocusElement(), pasted);
  EXPECT_EQ(Steps(), 1);

  // A second insertion within 800 ms would join the paste's step.
  Now += 1000;
  EXPECT_TRUE(text->DropFiles({u"a.png", u"b.xyz"}));
  int made = 0;
  for (TVisualElement* c = text->FirstVisualChild(); c; c = c->NextVisualSibling()) ++made;
  EXPECT_EQ(made, 2);
  EXPECT_FALSE(text->DropFiles({u"c.xyz"}));
  EXPECT_EQ(Steps(), 2);
}

TEST_F(TextClipboardTest, DamagedKnotTextGoesInAsTextAndRowsAreRefused) {
  TTestVisualLeaf* leaf = nullptr;
  TTextorElement* source = TextWithLeaf(leaf);
  Edit(source, u"0,0,0,4");
  source->Copy();
  const std::u16string truncated = Clipboard->AsText().substr(0, 40);
  Clipboard->SetAsText(truncated);
  TTextorElement* rich = AddText(RichOptions, PlainRootText, u"");
  Edit(rich, {});
  ASSERT_TRUE(rich->Paste());
  EXPECT_EQ(rich->GetText(), truncated);
  EXPECT_EQ(rich->FirstVisualChild(), nullptr);

  Clipboard->SetAsText(u"<RavelwrightContent><Row><Cell/></Row></RavelwrightContent>");
  rich->SelectAll();
  EXPECT_FALSE(rich->Paste());
  EXPECT_EQ(rich->GetText(), truncated);

  TTextorElement* none = AddText({}, {}, u"");
  Edit(none, {});
  Clipboard->SetAsText(u"plain");
  EXPECT_FALSE(none->Paste());
  EXPECT_EQ(none->GetText(), u"");
}

// ---------------------------------------------------------------------------------------------------------------
// Input

TEST_F(TextElementTest, ThePlainRootsInteractiveOptions) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"");
  Edit(text, {});
  EXPECT_EQ(text->Interactive()->Options().Bits(), 0x1668);
}

TEST_F(TextElementTest, FocusDataRestoresTheSelection) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"zero\r\none\r\nthe third one");
  Edit(text, u"2,5,2,9");
  EXPECT_EQ(Selected(text), u"hird");
  std::u16string data;
  text->GetFocusData(data);
  EXPECT_EQ(data, u"2,5,2,9");
  EXPECT_EQ(TTextorElement::ParseFocusData(u"2,5"), (TIndexRange{{2, 5}, {0, 0}}));
  EXPECT_EQ(TTextorElement::ParseFocusData(u"2,x,4,5"), (TIndexRange{{2, 0}, {4, 5}}));
  text->SetFocus(fdForward, u"-1,0,0,0", nullptr, nullptr);
  text->GetFocusData(data);
  EXPECT_EQ(data, u"0,0,0,0");
}

TEST_F(TextElementTest, EnterInASingleLineElementWithAModifiedValueCommits) {
  std::vector<std::u16string> sounds;
  InitializeSoundsSettings();
  SoundsSettings->Enabled->SetValue(true);
  TSoundPlayer previous = SetSoundPlayer([&](std::u16string_view AName) { sounds.emplace_back(AName); });
  auto* text = AddText<TCountingText>(xoCommitOnExit, TTextOptions::FromBits(0x5F), u"");
  Edit(text, {});
  Type(u'a');
  EXPECT_TRUE(text->HasVisualState(vsValueModified));
  const int before = text->ValueChanges;
  sounds.clear();
  Type(u'\r');
  EXPECT_EQ(text->ValueChanges, before + 1);
  EXPECT_EQ(sounds, std::vector<std::u16string>{u"diClassesValueSound"});
  EXPECT_EQ(text->GetText(), u"a");
  EXPECT_FALSE(text->HasVisualState(vsValueModified));
  SetSoundPlayer(previous);
  FinalizeSoundsSettings();
}

TEST_F(TextElementTest, WithoutCharacterClassesLettersAreIgnoredButTabAndEnterReachTheText) {
  TTextorElement* text = AddText(RichOptions, toTabs | toLineBreaks, u"");
  Edit(text, {});
  Type(u'a');
  EXPECT_EQ(text->GetText(), u"");
  Type(u'\t');
  Now += 1000;
  Type(u'\r');
  EXPECT_EQ(text->GetText(), u"\t\r\n");
}

TEST_F(TextElementTest, EnterOpensTheDropDownAndCtrlEnterDoesNot) {
  TTextorElement* text = AddText({}, TTextOptions::FromBits(0x5F), u"");
  text->SetVisualOptions(text->VisualOptions() | voDropDown);
  Edit(text, {});
  Key(vkReturn, skCtrl);
  EXPECT_EQ(Host->Sheet->DropDown(), nullptr);
  Key(vkReturn);
  EXPECT_NE(Host->Sheet->DropDown(), nullptr);
}

TEST_F(TextElementTest, CtrlEnterOpensOnlyWebLinksInTheBrowserAndNamesAnyOtherTarget) {
  // Keeps the message boxes instead of showing them.
  struct TBoxes : IUserInterfaceHost {
    TBoxes() { SetUserInterfaceHost(this); }
    ~TBoxes() { SetUserInterfaceHost(nullptr); }
    void ShowScreenCursor(TCursor) override {}
    HCURSOR CursorHandle(TCursor) override { return nullptr; }
    int MessageBox(const std::u16string& AText, const std::u16string&, UINT) override {
      Shown.push_back(AText);
      return IDOK;
    }
    std::vector<std::u16string> Shown;
  } boxes;
  enum TBrowser { brNotAsked, brOpens, brFails };
  constexpr std::u16string_view NotOpened = u"\" was not opened: only web links (http and https) are opened.";
  constexpr std::u16string_view NotStarted = u"\" could not be opened: no web browser was started.";
  const struct {
    std::u16string_view Target;
    TBrowser Browser;
    std::u16string_view Told;  // the box after the quoted target; empty: none
  } cases[] = {
      {u"file:///C:/qb/evil.exe", brNotAsked, NotOpened},
      {u"file:///C:/qb/evil.bat", brNotAsked, NotOpened},
      {u"FILE:///C:/qb/evil.exe", brNotAsked, NotOpened},
      {uR"(file:\\C:\qb\evil.exe)", brNotAsked, NotOpened},
      {uR"(file://C:\qb\evil.exe)", brNotAsked, NotOpened},
      {u"file://host/share/x.exe", brNotAsked, NotOpened},
      {uR"(file:\\host\share\x.exe)", brNotAsked, NotOpened},
      {u"ftp://host/x.exe", brNotAsked, NotOpened},
      {u"url://C:/qb/evil.exe", brNotAsked, NotOpened},
      {uR"(url:\\host\share\x.exe)", brNotAsked, NotOpened},
      // No scheme: the link finder leaves it plain text, so there is nothing to activate.
      {uR"(\\host\share\x.exe)", brNotAsked, {}},
      {u"http://example.test/a", brOpens, {}},
      {u"https://example.test/b?c=d", brOpens, {}},
      {u"HTTPS://example.test/c", brOpens, {}},
      {u"https://down.test/", brFails, NotStarted},
  };
  std::vector<std::u16string> browsed;
  bool opens = true;
  Host->Sheet->SetBrowser([&](const std::u16string& AURL) {
    browsed.push_back(AURL);
    return opens;
  });
  for (const auto& c : cases) {
    const std::u16string target(c.Target);
    browsed.clear();
    boxes.Shown.clear();
    opens = c.Browser == brOpens;
    TTextorElement* text = AddText(xoRich | xoLinks, PlainRootText, u"see " + target + u" now");
    // The caret inside the target.
    Edit(text, u"0,6,0,6");
    Key(vkReturn, skCtrl);
    std::vector<std::u16string> asked, told;
    if (c.Browser != brNotAsked) asked.push_back(target);
    if (!c.Told.empty()) told.push_back(u"The link \"" + target + std::u16string(c.Told));
    EXPECT_EQ(browsed, asked) << Utf16ToUtf8(target);
    EXPECT_EQ(boxes.Shown, told) << Utf16ToUtf8(target);
    text->Destroy();
  }
}

TEST_F(TextElementTest, TheFormatGroupIsOfferedWithASelectionAndTheDropDownSearchFoldsCase) {
  ASSERT_NE(PaletteFormatGroup, nullptr);
  EXPECT_EQ(PaletteFormatGroup->Weight(), 2000);
  EXPECT_EQ(PaletteFormatGroup->CaptionID(), IdPaletteFormat);
  const TSchemePaletteItem* items[] = {PaletteBoldItem, PaletteItalicItem, PaletteUnderlineItem};
  const int weights[] = {40, 30, 20};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i]->Parent(), PaletteFormatGroup);
    EXPECT_EQ(items[i]->Weight(), weights[i]);
    EXPECT_EQ(items[i]->ItemFlags().Bits(), 0x240);
    EXPECT_EQ(items[i]->CaptionID(), IdPaletteBold + 2 * i);
  }
  TTextorElement* text = AddText(RichOptions | xoFormatCommands, PlainRootText, u"abc");
  Edit(text, u"0,0,0,0");
  TPaletteList list;
  text->GetPaletteItems(list);
  EXPECT_EQ(std::count(list.begin(), list.end(), PaletteBoldItem), 0);
  Edit(text, u"0,0,0,2");
  list.clear();
  text->GetPaletteItems(list);
  EXPECT_EQ(std::count(list.begin(), list.end(), PaletteBoldItem), 1);

  TTextorElement* choice = AddText({}, PlainRootText, u"жу");
  TDropDownList dropDown(nullptr, nullptr);
  auto* first = new TDropDownItem(&dropDown, dropDown.RootItem());
  first->SetCaption(u"Муха");
  auto* second = new TDropDownItem(&dropDown, dropDown.RootItem());
  second->SetCaption(u"Жук");
  EXPECT_EQ(choice->FillDropDown(dropDown.RootItem()), second);
  choice->SetVisualOptions(choice->VisualOptions() | voCaseSensitiveDropDown);
  EXPECT_EQ(choice->FillDropDown(dropDown.RootItem()), nullptr);
}

TEST_F(TextElementTest, FindFoldsCaseBeyondAscii) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"a\r\nx ЖУК y");
  TFindData data;
  data.FindScope = Host->Root;
  data.FindText = u"жук";
  bool found = false;
  EXPECT_EQ(text->Find(&data, 0, found), text);
  EXPECT_TRUE(found);
  EXPECT_EQ(Selected(text), u"ЖУК");
  data.MatchCase = true;
  found = false;
  text->SetFocus(fdForward, u"0,0,0,0", nullptr, nullptr);
  text->Find(&data, 0, found);
  EXPECT_FALSE(found);
}

TEST_F(TextElementTest, DetachedAndAttachedThreeTimesTheTextStillLaysOutAndPaints) {
  TTextorElement* text = AddText(RichOptions, PlainRootText, u"abc");
  for (int i = 0; i < 3; ++i) {
    text->SetVisualParent(nullptr);
    EXPECT_GT(text->Textor()->FormatLock(), 0);
    text->SetVisualParent(Host->Root);
  }
  EXPECT_EQ(text->Textor()->FormatLock(), 0);
  EXPECT_GT(text->Width(), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  Host->Sheet->PaintTo(dc, {0, 0, 200, 100}, {});
  DeleteDC(dc);
  Edit(text, u"0,3,0,3");
  Type(u'd');
  EXPECT_EQ(text->GetText(), u"abcd");
}

TEST_F(TextElementTest, HostedTextsTakeTheirHostsOptions) {
  TTextorElement* host = AddText(xoRich | xoLinks | xoIdentifierWords | xoFixedFont | xoWrap480 | xoMinHeight60,
                                 TTextOptions::FromBits(0x1F), u"");
  auto* hosted = TElement::CreateIn<TTextorElement>(&Host->Scheme, host);
  hosted->SetTextorOptions(xoHosted | xoFieldFrame);
  hosted->HierarchyChanged();
  EXPECT_EQ(hosted->TextorOptions(), xoHosted | xoFieldFrame | xoRich | xoLinks | xoIdentifierWords | xoFixedFont | xoWrap480);
  EXPECT_EQ(hosted->TextOptions().Bits(), 0x1Fu);

  auto* follower = TElement::CreateIn<TTextorElement>(&Host->Scheme, host);
  follower->SetTextorOptions(xoFollowsHost | xoWrap240);
  follower->HierarchyChanged();
  EXPECT_EQ(follower->TextorOptions(), xoFollowsHost | xoWrap240 | xoLinks | xoIdentifierWords | xoFixedFont);

  // Under a host that is no text, the taken bits go and any text is allowed.
  auto* orphan = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
  orphan->SetTextorOptions(xoHosted | xoRich | xoFieldFrame);
  orphan->HierarchyChanged();
  EXPECT_EQ(orphan->TextorOptions(), xoHosted | xoFieldFrame);
  EXPECT_EQ(orphan->TextOptions(), AnyTextOptions);
}

TEST_F(TextElementTest, SizesFollowTheLimitsOfTheOptions) {
  TTextorElement* text = AddText({}, PlainRootText, u"ab");
  const int32_t natural = text->Width();
  EXPECT_GT(natural, 0);
  const struct {
    TTextorOptions Options;
    int32_t MinWidth;
    int32_t MinHeight;
  } cases[] = {
      {xoMinWidth30, 30, 0},
      {xoMinWidth240, 240, 0},
      {xoMinWidth30 | xoMinWidth480, 480, 0},
      {xoMinHeight60, 0, 60},
      {xoMinHeight60 | xoMinHeight240, 0, 240},
  };
  for (const auto& c : cases) {
    text->SetTextorOptions(c.Options);
    EXPECT_EQ(text->Width(), std::max(natural, c.MinWidth)) << c.Options.Bits();
    if (c.MinHeight) {
      EXPECT_EQ(text->Height(), c.MinHeight) << c.Options.Bits();
    }
  }
  // An empty field keeps a width it can be clicked at.
  text->SetTextorOptions(xoEmptyKeepsWidth);
  text->SetText(u"");
  EXPECT_GE(text->Width(), text->Height() * 2 / 3);
  EXPECT_GT(text->Width(), 0);
  // A wrap width folds a long line into rows.
  text->SetTextorOptions(xoWrap240);
  text->SetText(std::u16string(100, u'w') + u" " + std::u16string(100, u'w'));
  EXPECT_LE(text->Width(), 240);
  EXPECT_GT(text->Textor()->GetHeight(), text->Textor()->FirstParagraph()->FirstRow()->GetHeight());
}

TEST_F(TextElementTest, AHostedTextHandsDataQuestionsToItsHost) {
  auto* host = TElement::CreateIn<TRecordingHost>(&Host->Scheme, Host->Root);
  host->SetVisualParent(Host->Root);
  TTextorElement* text = AddText(xoHosted, PlainRootText, u"", host);
  host->Heard.clear();
  EXPECT_TRUE(text->Perform(nmAskDataClass, 0, 0));
  EXPECT_EQ(host->Heard, std::vector<int>{nmAskDataClass});
}

}  // namespace

#ifdef QB_HAVE_STRINGS
TEST(StringTable, CarriesTheTextElementsMessagesAndCommands) {
  TLocalization strings;
  strings.SetDefaultLanguage(LangEnglishUS);
  EXPECT_EQ(strings.GetLocStr(IdTextNotAllowed), u"[Text] is not allowed in the editor");
  EXPECT_EQ(strings.FormatLocStr(IdFileNameChars, {u":"}),
            u"You can use only characters that are allowed in [file names], the program has detected the invalid "
            u"character: \":\"");
  EXPECT_EQ(strings.FormatLocStr(IdNotAnInteger, {u"x"}), u"Unable to convert value \"x\" to an [integer]");
  EXPECT_EQ(strings.GetLocStr(IdSingleElement), u"[Using more than one element] is not allowed");
  EXPECT_EQ(strings.GetLocStr(IdPaletteFormat), u"Format");
  EXPECT_EQ(strings.GetLocStr(IdPaletteBold), u"Bold");
  EXPECT_EQ(strings.GetLocStr(IdPaletteUnderlineHint), u"Underline.");
}
#endif
