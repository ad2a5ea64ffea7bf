// Comments, logic frames and signs on the fake sheet host: their stored text, the collapsed frame, the signs'
// size and items, the palette the unit adds at start-up, and data dropped into a comment.
#include "document/elements/diCommonElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A data element that takes every dropped file as its text.
class TTestCommentData : public TTestVisualLeaf, public IDataElementFill {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualLeaf::TTestVisualLeaf;
  bool FillFromClipboard() override { return false; }
  bool FillFromFile(const std::u16string& AFileName) override {
    SetText(AFileName);
    return true;
  }
};
const TElementClassInfo TTestCommentData::ClassInfo{u"TElement_CommentData", &TTestVisualLeaf::ClassInfo,
                                                    &ElementFactory<TTestCommentData>};

// A comment whose dropped data become test data elements, as pictures will become image elements.
class TDataComment : public TElement_Comment {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TElement_Comment::TElement_Comment;
  TElementClass GetDataClass() override { return &TTestCommentData::ClassInfo; }
};
const TElementClassInfo TDataComment::ClassInfo{u"TElement_DataComment", &TElement_Comment::ClassInfo,
                                                &ElementFactory<TDataComment>};

class CommonElementsTest : public ::testing::Test {
 public:
  void SetUp() override {
    InitializePalette();
    InitializeTextorElement();
    InitializeSchemeImages();
    InitializeClassesGroups();
    ClassesGroups->GetGroup(0).push_back(&TTestCommentData::ClassInfo);
    InitializeDisableItem(ClassesLargeImagesIndex + 1);
    InitializeTitled();
    InitializeCommonElements();
    Host = std::make_unique<TSheetHostFixture>();
  }
  void TearDown() override {
    Host.reset();
    FinalizeCommonElements();
    FinalizeTitled();
    FinalizeDisableItem();
    FinalizeClassesGroups();
    FinalizeSchemeImages();
    FinalizeTextorElement();
    FinalizePalette();
  }

  template <class T>
  T* Add() {
    T* e = TElement::CreateIn<T>(&Host->Scheme, Host->Root);
    e->SetVisualParent(Host->Root);
    return e;
  }
  // A rich text under the root, as the plain document's root is.
  TTextorElement* AddRichText() {
    auto* text = Add<TTextorElement>();
    text->SetTextorOptions(xoRich);
    text->SetTextOptions(AnyTextOptions);
    return text;
  }
  // A new element at the end of ARich's text.
  template <class T>
  T* Embed(TTextorElement* ARich) {
    return Host->EmbedAtEnd<T>(ARich);
  }
  // A frame with caption "C" and content "D", in ARich's text or, without one, under the root.
  TElement_LogicFrame* AddFrame(TTextorElement* ARich = nullptr) {
    TElement_LogicFrame* frame = ARich ? Embed<TElement_LogicFrame>(ARich) : Add<TElement_LogicFrame>();
    frame->Caption()->SetText(u"C");
    Content(frame)->SetText(u"D");
    return frame;
  }
  static TTextorElement* Content(TElement_LogicFrame* AFrame) {
    return static_cast<TTextorElement*>(AFrame->Content());
  }
  static std::u16string Save(TElement* AElement, TFilerFlags AFlags = {}) {
    TKnot knot;
    AElement->Scheme()->SaveElement(AElement, fmDocument, &knot, AFlags);
    return knot.SaveToString();
  }
  static bool PaletteOffers(TVisualElement* AElement, TPaletteItem* AItem) {
    TPaletteList list;
    AElement->GetPaletteItems(list);
    return std::find(list.begin(), list.end(), AItem) != list.end();
  }

  std::unique_ptr<TSheetHostFixture> Host;
};

TEST_F(CommonElementsTest, ElementsSaveTheirExactText) {
  const struct {
    const char* Name;
    std::function<TElement*(CommonElementsTest&)> Make;  // answers the element to save
    TFilerFlags Flags;
    const char16_t* Saved;
  } cases[] = {
      {"comment",
       [](CommonElementsTest& t) -> TElement* {
         t.Add<TElement_Comment>()->SetText(u"x");
         return t.Host->Root;
       },
       {},
       u"<Quillbox FormatVersion=\"1.1\">\r\n"
       u"\t<Comment>\r\n"
       u"\t\t<Chars Value=\"x\"/><Br/>\r\n"
       u"\t</Comment>\r\n"
       u"</Quillbox>\r\n"},
      {"logic frame in a text",
       [](CommonElementsTest& t) -> TElement* {
         TTextorElement* text = t.AddRichText();
         t.AddFrame(text);
         return text;
       },
       {},
       u"<Quillbox FormatVersion=\"1.1\">\r\n"
       u"\t<LogicFrame>\r\n"
       u"\t\t<Content>\r\n"
       u"\t\t\t<Chars Value=\"D\"/><Br/>\r\n"
       u"\t\t</Content>\r\n"
       u"\t\t<Caption>\r\n"
       u"\t\t\t<Chars Value=\"C\"/><Br/>\r\n"
       u"\t\t</Caption>\r\n"
       u"\t</LogicFrame><Br/>\r\n"
       u"</Quillbox>\r\n"},
      {"logic frame saved without defaults",
       [](CommonElementsTest& t) -> TElement* {
         t.AddFrame();
         return t.Host->Root;
       },
       ffSkipDefaults,
       u"<Quillbox FormatVersion=\"1.1\">\r\n"
       u"\t<Chars Value=\"D\"/><Br/>\r\n"
       u"</Quillbox>\r\n"},
  };
  for (const auto& c : cases) {
    while (TElement* e = Host->Root->FirstChildElement()) e->Destroy();
    EXPECT_EQ(Save(c.Make(*this), c.Flags), c.Saved) << c.Name;
  }
}

TEST_F(CommonElementsTest, ATextWithEveryKindLoadsBackAndSavesTheSameBytes) {
  TTextorElement* text = AddRichText();
  Embed<TElement_Comment>(text)->SetText(u"note");
  AddFrame(text)->ExpandButton()->SetExpanded(false);
  Embed<TElement_Star>(text);
  Embed<TElement_Stop>(text);
  const std::u16string saved = Save(text);
  EXPECT_EQ(saved,
            u"<Quillbox FormatVersion=\"1.1\">\r\n"
            u"\t<Comment>\r\n"
            u"\t\t<Chars Value=\"note\"/><Br/>\r\n"
            u"\t</Comment>\r\n"
            u"\t<LogicFrame Expanded=\"0\">\r\n"
            u"\t\t<Content>\r\n"
            u"\t\t\t<Chars Value=\"D\"/><Br/>\r\n"
            u"\t\t</Content>\r\n"
            u"\t\t<Caption>\r\n"
            u"\t\t\t<Chars Value=\"C\"/><Br/>\r\n"
            u"\t\t</Caption>\r\n"
            u"\t</LogicFrame>\r\n"
            u"\t<Star/>\r\n"
            u"\t<Stop/><Br/>\r\n"
            u"</Quillbox>\r\n");

  TTextorElement* again = AddRichText();
  TKnot knot;
  knot.LoadFromString(saved);
  Host->Scheme.LoadElement(again, fmDocument, &knot);
  EXPECT_EQ(Save(again), saved);
  auto* frame = dynamic_cast<TElement_LogicFrame*>(again->FirstVisualChild()->NextVisualSibling());
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(frame->IsExpanded());
  EXPECT_EQ(frame->Caption()->GetText(), u"C");
  EXPECT_EQ(Content(frame)->GetText(), u"D");
}

TEST_F(CommonElementsTest, AFrameInsertedFromThePaletteAndCaptionedUndoesAndRedoesToTheSameBytes) {
  TTextorElement* text = AddRichText();
  text->SetText(u"ab");
  text->SetFocus(fdForward, u"0,1,0,1", nullptr, nullptr);
  const std::u16string before = Save(text);
  TElementPaletteItem* item = FindPaletteItemOfClass(&TElement_LogicFrame::ClassInfo);
  ASSERT_NE(item, nullptr);
  item->Apply(text, 0);
  auto* frame = dynamic_cast<TElement_LogicFrame*>(text->FirstVisualChild());
  ASSERT_NE(frame, nullptr);
  frame->Caption()->SetTextUndoable(u"Caption");
  const std::u16string after = Save(text);
  EXPECT_NE(after.find(u"<Chars Value=\"Caption\"/>"), std::u16string::npos);

  Host->History.Undo();
  Host->History.Undo();
  EXPECT_EQ(Save(text), before);
  Host->History.Redo();
  Host->History.Redo();
  EXPECT_EQ(Save(text), after);
}

TEST_F(CommonElementsTest, ACollapsedFrameHasNoPaddingAndShowsOnlyItsButtonAndCaption) {
  TElement_LogicFrame* frame = AddFrame(AddRichText());
  TVisualElement* button = frame->ExpandButton();
  const TRect themePadding = Host->Sheet->Canvas()->GetThemePadding(teLogicFrame);
  const struct {
    bool Expanded;
    TRect Padding;
    bool ContentShown;
  } cases[] = {{true, themePadding, true}, {false, TRect(), false}, {true, themePadding, true}};
  for (const auto& c : cases) {
    frame->ExpandButton()->SetExpanded(c.Expanded);
    TRect padding;
    frame->GetPadding(padding);
    EXPECT_EQ(padding, c.Padding) << c.Expanded;
    EXPECT_TRUE(button->IsVisible()) << c.Expanded;
    EXPECT_TRUE(frame->Caption()->IsVisible()) << c.Expanded;
    EXPECT_EQ(frame->Content()->IsVisible(), c.ContentShown) << c.Expanded;
    ASSERT_NE(frame->Title(), nullptr);
    EXPECT_EQ(frame->Title()->Contains(frame->Content()), c.ContentShown) << c.Expanded;
    if (!c.Expanded) {
      // The title row alone: the caption and the button side by side after the 2-pixel gap, no frame around.
      EXPECT_EQ(frame->Height(),
                std::max(button->Top() + button->Height(), frame->Caption()->Top() + frame->Caption()->Height()));
      EXPECT_LT(button->Left(), frame->Caption()->Left());
    }
  }
  EXPECT_NE(themePadding, TRect());
}

// The pixels of ADraw on a fresh white paint of AWidth x AHeight.
template <class F>
std::vector<TColor32> Pixels(TSheetCanvas& ACanvas, int AWidth, int AHeight, F ADraw) {
  TBitmap32 target;
  target.SetSize(AWidth, AHeight);
  ACanvas.BeginPaint(target.Handle(), TRect{0, 0, AWidth, AHeight});
  ACanvas.FillRect(TRect{0, 0, AWidth, AHeight}, 0xFFFFFFFF);
  ADraw();
  ACanvas.EndPaint(target.Handle());
  std::vector<TColor32> pixels;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) pixels.push_back(target.Pixel(x, y));
  return pixels;
}

TEST_F(CommonElementsTest, AFramePaintsItsLookBelowTheCaptionsMiddleWhileExpandedAndTheTabBehindButtonAndCaption) {
  TElement_LogicFrame* frame = AddFrame();
  frame->Caption()->SetText(u"A caption\r\nof two lines");
  TSheetCanvas& canvas = *Host->Sheet->Canvas();
  std::vector<TColor32> expandedPixels;
  for (bool expanded : {true, false}) {
    frame->ExpandButton()->SetExpanded(expanded);
    const TVisualElement* button = frame->ExpandButton();
    const TVisualElement* caption = frame->Caption();
    const int w = frame->Width(), h = frame->Height();
    const TRect look{0, caption->Top() + frame->Caption()->Baseline() / 2, w, h};
    const TRect tab{button->Left(), std::min(button->Top(), caption->Top()), caption->Left() + caption->Width(),
                    std::max(button->Top() + button->Height(), caption->Top() + caption->Height())};
    const std::vector<TColor32> painted = Pixels(canvas, w, h, [&] { frame->Paint(&canvas, {}); });
    const std::vector<TColor32> wanted = Pixels(canvas, w, h, [&] {
      if (expanded) canvas.DrawThemeElement(teLogicFrame, look);
      canvas.DrawThemeElement(teComment, tab);
    });
    EXPECT_EQ(painted, wanted) << expanded;
    if (expanded)
      expandedPixels = painted;
    else
      EXPECT_NE(painted.size(), expandedPixels.size()) << "a collapsed frame is the title row alone";
  }
}

TEST_F(CommonElementsTest, ArrowsGoFromButtonToCaptionToContentToDescriptionAndOnToTheNextSibling) {
  TElement_LogicFrame* frame = AddFrame();
  auto* next = AddVisual<TTestVisualLeaf>(Host->Root, 0, 400, 40, 12);
  auto* description = static_cast<TTextorElement*>(frame->Description());
  ASSERT_NE(dynamic_cast<TElement_Comment*>(description), nullptr);
  description->SetText(u"d");
  frame->ExpandButton()->Focus();
  const TVisualElement* visited[] = {frame->Caption(), frame->Content(), description, next};
  for (int step = 0; step < 4; ++step) {
    Host->Sheet->MoveFocus(false, true);
    EXPECT_TRUE(visited[step]->IsFocused()) << "step " << step;
  }
  Host->Sheet->MoveFocus(false, false);
  EXPECT_TRUE(description->IsFocused());
}

TEST_F(CommonElementsTest, SignsAre16PixelsWithTheirOwnPictureAndNeverOfferDisabled) {
  ASSERT_NE(DisablePaletteItem, nullptr);
  const struct {
    std::function<TCustomSignElement*(CommonElementsTest&)> Make;
    int Offset;
  } cases[] = {
      {[](CommonElementsTest& t) -> TCustomSignElement* { return t.Add<TElement_Star>(); }, 2},
      {[](CommonElementsTest& t) -> TCustomSignElement* { return t.Add<TElement_Information>(); }, 3},
      {[](CommonElementsTest& t) -> TCustomSignElement* { return t.Add<TElement_Question>(); }, 4},
      {[](CommonElementsTest& t) -> TCustomSignElement* { return t.Add<TElement_Important>(); }, 5},
      {[](CommonElementsTest& t) -> TCustomSignElement* { return t.Add<TElement_Ready>(); }, 6},
      {[](CommonElementsTest& t) -> TCustomSignElement* { return t.Add<TElement_Stop>(); }, 7},
  };
  for (const auto& c : cases) {
    TCustomSignElement* sign = c.Make(*this);
    const int name = c.Offset;
    EXPECT_EQ(sign->Width(), 16) << name;
    EXPECT_EQ(sign->Height(), 16) << name;
    EXPECT_EQ(sign->GetImageIndex(), CommonElementsSmallImagesIndex + c.Offset) << name;
    EXPECT_FALSE(PaletteOffers(sign, DisablePaletteItem)) << name;
    EXPECT_FALSE(sign->HasVisualOptions(voCanBeDisabled)) << name;
    // Disabled from code, it is still not stored: the load would not read it back.
    sign->SetDisabled(true);
    EXPECT_EQ(Save(sign).find(u"Disabled"), std::u16string::npos) << name;
  }
  EXPECT_TRUE(PaletteOffers(Add<TElement_Comment>(), DisablePaletteItem));
  EXPECT_EQ(SchemeSmallImages->Count(), CommonElementsSmallImagesIndex + 8);
}

TEST_F(CommonElementsTest, ThePaletteOffersCommentLogicFrameAndTheSignsGroup) {
  // What every item that inserts an element carries.
  const TPaletteItemFlags InsertionFlags = pfNotForSelection | pfNeedsWritable;
  ASSERT_NE(PaletteSignsGroup, nullptr);
  EXPECT_EQ(PaletteSignsGroup->Parent(), Palette.get());
  EXPECT_EQ(PaletteSignsGroup->Weight(), 1500);
  EXPECT_EQ(PaletteSignsGroup->CaptionID(), IdPaletteSigns);
  const std::vector<TElementClass> signs{&TElement_Information::ClassInfo, &TElement_Question::ClassInfo,
                                         &TElement_Star::ClassInfo,        &TElement_Important::ClassInfo,
                                         &TElement_Stop::ClassInfo,        &TElement_Ready::ClassInfo};
  std::vector<TElementClass> listed;
  int32_t previousWeight = 1 << 30;
  for (TNode* n = PaletteSignsGroup->FirstChild(); n; n = n->NextSibling()) {
    auto* item = dynamic_cast<TElementPaletteItem*>(n);
    ASSERT_NE(item, nullptr);
    listed.push_back(item->ElementClass());
    EXPECT_LT(item->Weight(), previousWeight);
    previousWeight = item->Weight();
    EXPECT_EQ(item->ItemFlags() - InsertionFlags, pfNoCaption);
    EXPECT_EQ(item->HintID(), item->CaptionID() + 1);
  }
  EXPECT_EQ(listed, signs);

  const struct {
    TElementClass Class;
    int32_t Weight;
    TPaletteItemFlags Flags;
    int Offset;
    int Caption;
    const char16_t* Key;
  } items[] = {
      {&TElement_Comment::ClassInfo, 1000, {}, 0, IdPaletteComment, u""},
      {&TElement_LogicFrame::ClassInfo, 900, pfBlockInsertion, 1, IdPaletteLogicFrame, u"L"},
      {&TElement_Star::ClassInfo, 32, pfNoCaption, 2, IdPaletteStar, u""},
      {&TElement_Ready::ClassInfo, 10, pfNoCaption, 6, IdPaletteReady, u""},
  };
  for (const auto& c : items) {
    TElementPaletteItem* item = FindPaletteItemOfClass(c.Class);
    ASSERT_NE(item, nullptr) << c.Caption;
    EXPECT_EQ(item->Parent(), c.Caption <= IdPaletteLogicFrame ? PaletteAdditionalGroup : PaletteSignsGroup);
    EXPECT_EQ(item->Weight(), c.Weight) << c.Caption;
    EXPECT_EQ(item->ItemFlags() - InsertionFlags, c.Flags) << c.Caption;
    EXPECT_EQ(item->SmallImage(), CommonElementsSmallImagesIndex + c.Offset) << c.Caption;
    EXPECT_EQ(item->CaptionID(), c.Caption);
    EXPECT_EQ(item->KeyText(), c.Key) << c.Caption;
  }
}

TEST_F(CommonElementsTest, ClassGroupsLetTextsTakeCommentsAndFramesAndCommentsTakeSigns) {
  TTextorElement* text = AddRichText();
  TElement_Comment* comment = Add<TElement_Comment>();
  const struct {
    TElementClass Class;
    bool InText;
    bool InComment;
    bool IsSign;
  } cases[] = {
      {&TElement_Comment::ClassInfo, true, true, false},  // a comment offers what every rich text offers
      {&TElement_LogicFrame::ClassInfo, true, true, false},
      {&TElement_Star::ClassInfo, false, true, true},
      {&TElement_Stop::ClassInfo, false, true, true},
  };
  TElementClassList inText, inComment;
  text->GetAllowedChildClasses(inText);
  comment->GetAllowedChildClasses(inComment);
  const TElementClassList& signs = ClassesGroups->GetGroup(SignsClassesGroup);
  auto has = [](const TElementClassList& AList, TElementClass AClass) {
    return std::find(AList.begin(), AList.end(), AClass) != AList.end();
  };
  for (const auto& c : cases) {
    const std::string name(c.Class->NodeName().begin(), c.Class->NodeName().end());
    EXPECT_EQ(has(inText, c.Class), c.InText) << name;
    EXPECT_EQ(has(inComment, c.Class), c.InComment) << name;
    EXPECT_EQ(has(signs, c.Class), c.IsSign) << name;
  }
  EXPECT_EQ(signs.size(), 6u);
}

TEST_F(CommonElementsTest, AFileDroppedIntoACommentBecomesADataElementInItsText) {
  auto* comment = Add<TDataComment>();
  comment->SetText(u"ab");
  comment->SetFocus(fdForward, u"0,1,0,1", nullptr, nullptr);
  TElementClass named = nullptr;
  EXPECT_TRUE(comment->Perform(nmAskDataClass, reinterpret_cast<intptr_t>(&named), 0));
  EXPECT_EQ(named, &TTestCommentData::ClassInfo);
  ASSERT_TRUE(comment->DropFiles({u"a.png"}));
  auto* data = dynamic_cast<TTestCommentData*>(comment->FirstVisualChild());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Text(), u"a.png");
  EXPECT_NE(data->EmbeddingPortion(), nullptr);
  EXPECT_EQ(comment->GetText(), u"ab");
}

}  // namespace

#ifdef QB_HAVE_STRINGS
TEST(StringTable, CarriesTheCommonElementsCaptionsAndHints) {
  TLocalization strings;
  strings.SetDefaultLanguage(LangEnglishUS);
  EXPECT_EQ(strings.GetLocStr(IdPaletteComment), u"Comment");
  EXPECT_EQ(strings.GetLocStr(IdPaletteCommentHint),
            u"Comments are used for describing elements or inserting notes in the text. You can enter text, insert "
            u"signs, images and tables in the comment.");
  EXPECT_EQ(strings.GetLocStr(IdPaletteLogicFrame), u"Logic Frame");
  EXPECT_EQ(strings.GetLocStr(IdLogicFrameCaptionHint), u"Description of the data included in the Logic Frame.");
  EXPECT_EQ(strings.GetLocStr(IdPaletteSigns), u"Signs");
  const struct {
    int Caption;
    const char16_t* Text;
  } signs[] = {{IdPaletteStar, u"Star"},         {IdPaletteInformation, u"Information"},
               {IdPaletteQuestion, u"Question"}, {IdPaletteImportant, u"Important"},
               {IdPaletteStop, u"Stop"},         {IdPaletteReady, u"Ready"}};
  for (const auto& c : signs) {
    EXPECT_EQ(strings.GetLocStr(c.Caption), c.Text) << c.Caption;
    EXPECT_FALSE(strings.GetLocStr(c.Caption + 1).empty()) << c.Caption + 1;
  }
}
#endif
