// The expand button and titled elements on the fake sheet host: the stored expand state and size, collapse and
// undo outside Modified, the button's pictures, keys, hint and cursor, which children a title shows, and the
// Collapsed and Description items.
#include "document/elements/diTitled.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSounds.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "tests/document/TestVisualElements.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// A rich description that navigates back to the element it describes.
class TTestDescription : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestDescription(TScheme* AScheme) : TTextorElement(AScheme) {
    SetTextOptions(AnyTextOptions);
    SetTextorOptions(xoRich);
  }
  TVisualElement* GetNavigationParent() override {
    if (TVisualElement* described = GetDescribedElement(this)) return described;
    return TTextorElement::GetNavigationParent();
  }
  bool ComputeEffectivelyDisabled() override {
    TVisualElement* described = GetDescribedElement(this);
    return TTextorElement::ComputeEffectivelyDisabled() || (described && described->IsEffectivelyDisabled());
  }
};
const TElementClassInfo TTestDescription::ClassInfo{u"TElement_TestDescription", &TTextorElement::ClassInfo,
                                                    &ElementFactory<TTestDescription>};

// A frame with a caption text in its title, a description and a content; it stores its size.
class TTestFrame : public TTitledElementWithContent {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestFrame(TScheme* AScheme) : TTitledElementWithContent(AScheme, &TTestDescription::ClassInfo) {
    SetVisualOptions(VisualOptions() | voStoresPosition);
  }
  void WriteTitle(TTitleWriter& AWriter) override {
    ++Writes;
    TTitledElement::WriteTitle(AWriter);
    AWriter.AddText(u"Frame");
    WriteContent(AWriter);
  }
  TTitledTextContainer* Text() const { return static_cast<TTitledTextContainer*>(Content()); }
  int Writes = 0;
};
const TElementClassInfo TTestFrame::ClassInfo{u"TElement_TestFrame", &TTitledElementWithContent::ClassInfo,
                                              &ElementFactory<TTestFrame>};

// A titled element without a button whose title places only the children listed.
class TTestTitled : public TTitledElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestTitled(TScheme* AScheme) : TTitledElement(AScheme) { SetVisualOptions(voStoresPosition); }
  void WriteTitle(TTitleWriter& AWriter) override {
    AWriter.AddText(u"Titled");
    for (TVisualElement* e : Placed) AWriter.AddElement(e, taTop);
  }
  std::vector<TVisualElement*> Placed;
};
const TElementClassInfo TTestTitled::ClassInfo{u"TElement_TestTitled", &TTitledElement::ClassInfo,
                                               &ElementFactory<TTestTitled>};

// A leaf with the margins a test gives it.
class TMarginLeaf : public TTestVisualLeaf {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualLeaf::TTestVisualLeaf;
  void GetMargins(TRect& ARect) override { ARect = Margins; }
  TRect Margins;
};
const TElementClassInfo TMarginLeaf::ClassInfo{u"TElement_TestMarginLeaf", &TTestVisualLeaf::ClassInfo,
                                               &ElementFactory<TMarginLeaf>};

class TitledTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializePalette();
    InitializeClassesGroups();
    InitializeTextorElement();
    InitializeTitled();
    InitializeSoundsSettings();
    FPreviousSounds = SetSoundPlayer([this](std::u16string_view AName) { Sounds.emplace_back(AName); });
    Host = std::make_unique<TSheetHostFixture>();
  }
  void TearDown() override {
    Host.reset();
    SetSoundPlayer(std::move(FPreviousSounds));
    FinalizeSoundsSettings();
    FinalizeTitled();
    FinalizeTextorElement();
    FinalizeClassesGroups();
    FinalizePalette();
  }

  template <class T>
  T* Add() {
    T* e = TElement::CreateIn<T>(&Host->Scheme, Host->Root);
    e->SetVisualParent(Host->Root);
    return e;
  }
  int Steps() const {
    int n = 0;
    for (TNode* s = Host->History.UndoStack().FirstChild(); s; s = s->NextSibling()) ++n;
    return n;
  }
  static TNodePtr<TKnot> Saved(TElement* AElement, TFilerFlags AFlags = {}) {
    TNodePtr<TKnot> knot(new TKnot);
    AElement->SaveTo(knot.get(), fmDocument, AFlags);
    return knot;
  }
  void Load(TElement* AElement, std::u16string_view AAttributes) {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(u"<Frame " + std::u16string(AAttributes) + u"/>");
    Host->Scheme.LoadElement(AElement, fmDocument, knot.get());
  }
  static bool PaletteOffers(TVisualElement* AElement, TPaletteItem* AItem) {
    TPaletteList list;
    AElement->GetPaletteItems(list);
    return std::find(list.begin(), list.end(), AItem) != list.end();
  }
  static bool Ticked(TVisualElement* AElement, TPaletteItem* AItem) {
    TPaletteItemState state;
    AElement->QueryPaletteItemState(AItem, state);
    return state.Ticked;
  }

  std::unique_ptr<TSheetHostFixture> Host;
  std::vector<std::u16string> Sounds;

 private:
  TSoundPlayer FPreviousSounds;
};

// ---------------------------------------------------------------------------------------------------------------
// Expand button

TEST_F(TitledTest, TheExpandStateIsTheOwnersExpandedAttributeWrittenOnlyWhenCollapsed) {
  struct TCase {
    bool Collapse;
    TFilerFlags Flags;
    const char16_t* Expected;  // nil: no attribute
  } cases[] = {
      {false, {}, nullptr},
      {true, {}, u"0"},
      {true, ffNoPositions, nullptr},
      {false, ffNoPositions, nullptr},
  };
  for (const TCase& c : cases) {
    TTestFrame* frame = Add<TTestFrame>();
    frame->ExpandButton()->SetExpanded(!c.Collapse);
    TNodePtr<TKnot> knot = Saved(frame, c.Flags);
    TKnotParam* expanded = knot->FindParam(u"Expanded");
    if (c.Expected) {
      ASSERT_NE(expanded, nullptr) << c.Collapse;
      EXPECT_EQ(expanded->GetAsString(), c.Expected);
    } else {
      EXPECT_EQ(expanded, nullptr) << c.Collapse << " " << int(c.Flags.Bits());
    }
    EXPECT_EQ(knot->FindKnot(u"Expanded"), nullptr);
    frame->Destroy();
  }
}

TEST_F(TitledTest, ACollapsedFrameLoadsBackCollapsedAndAnExpandedOneExpanded) {
  for (bool expanded : {false, true}) {
    TTestFrame* frame = Add<TTestFrame>();
    frame->ExpandButton()->SetExpanded(expanded);
    TNodePtr<TKnot> knot = Saved(frame);
    TTestFrame* copy = Add<TTestFrame>();
    Host->Scheme.LoadElement(copy, fmDocument, knot.get());
    EXPECT_EQ(copy->IsExpanded(), expanded);
    EXPECT_EQ(Saved(copy)->SaveToString(), knot->SaveToString());
  }
}

TEST_F(TitledTest, CollapseAndUndoRestoreTheStateAndLeaveModifiedAsItWas) {
  for (bool modified : {false, true}) {
    TTestFrame* frame = Add<TTestFrame>();
    Host->History.SetModified(modified);
    const int steps = Steps();
    frame->ExpandButton()->Click();
    EXPECT_FALSE(frame->IsExpanded());
    EXPECT_EQ(Steps(), steps + 1);
    EXPECT_EQ(Host->History.Modified(), modified);
    Host->History.Undo();
    EXPECT_TRUE(frame->IsExpanded());
    EXPECT_EQ(Host->History.Modified(), modified);
    Host->History.Redo();
    EXPECT_FALSE(frame->IsExpanded());
    EXPECT_EQ(Host->History.Modified(), modified);
  }
}

TEST_F(TitledTest, TheButtonPaintsCollapsedWhenEmptyAndExpandedDataOnceTypedInto) {
  TTestFrame* frame = Add<TTestFrame>();
  TExpandButton* button = frame->ExpandButton();
  button->SetExpandedUndoable(false);
  EXPECT_EQ(button->GetThemeElement(), teCollapsed);
  EXPECT_FALSE(frame->Text()->IsVisible());

  button->SetExpandedUndoable(true);
  EXPECT_EQ(button->GetThemeElement(), teExpanded);
  ASSERT_TRUE(frame->Text()->IsVisible());
  frame->Text()->SetFocus(fdForward, {}, nullptr, nullptr);
  char16_t x = u'x';
  Host->Sheet->KeyPress(x);
  EXPECT_EQ(frame->Text()->GetText(), u"x");
  EXPECT_EQ(button->GetThemeElement(), teExpandedData);
  button->SetExpanded(false);
  EXPECT_EQ(button->GetThemeElement(), teCollapsedData);
}

// The pixels of ADraw on a fresh white 40 x 40 paint.
template <class F>
std::vector<TColor32> Pixels(TSheetCanvas& ACanvas, F ADraw) {
  TBitmap32 target;
  target.SetSize(40, 40);
  ACanvas.BeginPaint(target.Handle(), TRect{0, 0, 40, 40});
  ACanvas.FillRect(TRect{0, 0, 40, 40}, 0xFFFFFFFF);
  ADraw();
  ACanvas.EndPaint(target.Handle());
  std::vector<TColor32> pixels;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) pixels.push_back(target.Pixel(x, y));
  return pixels;
}

TEST_F(TitledTest, TheButtonPaintsTheThemePictureOfItsStateAndTheSheetPaintsFrames) {
  TTestFrame* frame = Add<TTestFrame>();
  TExpandButton* button = frame->ExpandButton();
  TSheetCanvas& canvas = *Host->Sheet->Canvas();
  struct TCase {
    bool Expanded;
    const char16_t* Text;
    int Element;
  } cases[] = {
      {false, u"", teCollapsed},
      {false, u"x", teCollapsedData},
      {true, u"", teExpanded},
      {true, u"x", teExpandedData},
  };
  for (const TCase& c : cases) {
    frame->Text()->SetText(c.Text);
    frame->Text()->UpdateState();
    button->SetExpanded(c.Expanded);
    const std::vector<TColor32> painted = Pixels(canvas, [&] { button->Paint(&canvas, {}); });
    const std::vector<TColor32> expected = Pixels(canvas, [&] { canvas.DrawThemeIcon(c.Element, 0, 0); });
    EXPECT_EQ(painted, expected) << c.Element;
    for (const TCase& other : cases)
      if (other.Element != c.Element) {
        const std::vector<TColor32> picture = Pixels(canvas, [&] { canvas.DrawThemeIcon(other.Element, 0, 0); });
        if (picture != expected) {
          EXPECT_NE(painted, picture) << c.Element << " " << other.Element;
        }
      }
  }
  static_cast<TTextorElement*>(frame->Description())->SetText(u"d");
  for (bool expanded : {true, false}) {
    button->SetExpanded(expanded);
    HDC dc = CreateCompatibleDC(nullptr);
    Host->Sheet->PaintTo(dc, {0, 0, 400, 300}, {});
    DeleteDC(dc);
  }
}

TEST_F(TitledTest, EnterAndSpaceClickTheFocusedButtonWithItsSound) {
  TTestFrame* frame = Add<TTestFrame>();
  TExpandButton* button = frame->ExpandButton();
  button->Focus();
  ASSERT_TRUE(button->IsFocused());
  struct TCase {
    uint16_t Key;
    bool Expanded;
    const char16_t* Sound;
  } cases[] = {
      {vkReturn, false, u"diExpandButtonCollapseSound"},
      {vkSpace, true, u"diExpandButtonExpandSound"},
  };
  for (const TCase& c : cases) {
    Sounds.clear();
    uint16_t key = c.Key;
    Host->Sheet->KeyDown(key, {});
    EXPECT_EQ(key, 0);
    EXPECT_EQ(frame->IsExpanded(), c.Expanded);
    EXPECT_EQ(Sounds, (std::vector<std::u16string>{c.Sound}));
    char16_t ch = c.Key == vkReturn ? u'\r' : u' ';
    Host->Sheet->KeyPress(ch);
    EXPECT_EQ(frame->IsExpanded(), c.Expanded) << "a key press clicks nothing";
  }
}

TEST_F(TitledTest, TheButtonHintsCollapseExpandWithCursor2AndSizesToTheTheme) {
  TTestFrame* frame = Add<TTestFrame>();
  TExpandButton* button = frame->ExpandButton();
  std::u16string hint;
  button->GetHint(hint);
  EXPECT_EQ(hint, u"Collapse/Expand");
  EXPECT_EQ(button->GetCursor({1, 1}), 2);
  const SIZE size = Host->Sheet->Canvas()->GetThemeImageSize(teCollapsed);
  EXPECT_EQ(button->Width(), size.cx);
  EXPECT_EQ(button->Height(), size.cy);
}

// ---------------------------------------------------------------------------------------------------------------
// Titled elements

TEST_F(TitledTest, WithoutAButtonAnElementCountsAsExpandedAndOffersNoCollapsed) {
  TTestTitled* titled = Add<TTestTitled>();
  EXPECT_EQ(titled->ExpandButton(), nullptr);
  EXPECT_TRUE(titled->IsExpanded());
  EXPECT_FALSE(PaletteOffers(titled, PaletteCollapsedItem));
  EXPECT_TRUE(PaletteOffers(Add<TTestFrame>(), PaletteCollapsedItem));
}

TEST_F(TitledTest, TheStoredWidthIsWrittenWhenSetAndIsAMinimumWhileExpanded) {
  TTestFrame* plain = Add<TTestFrame>();
  const int32_t natural = plain->Width();
  ASSERT_GT(natural, 0);
  ASSERT_LT(natural, 300);
  struct TCase {
    const char16_t* Attributes;
    int32_t Stored;
    bool Collapse;
    int32_t MinWidth;  // 0: the width without a stored one
  } cases[] = {
      {u"", 0, false, 0},
      {u"Width=\"0\"", 0, false, 0},
      {u"Width=\"-5\"", 0, false, 0},
      {u"Width=\"x\"", 0, false, 0},
      {u"Width=\"300\" Height=\"200\"", 300, false, 300},
      {u"Width=\"300\"", 300, true, 0},
  };
  for (const TCase& c : cases) {
    TTestFrame* frame = Add<TTestFrame>();
    Load(frame, c.Attributes);
    EXPECT_EQ(frame->StoredWidth(), c.Stored) << (&c - cases);
    if (c.Collapse) frame->ExpandButton()->SetExpanded(false);
    if (c.MinWidth)
      EXPECT_GE(frame->Width(), c.MinWidth) << (&c - cases);
    else if (!c.Collapse)
      EXPECT_EQ(frame->Width(), natural) << (&c - cases);
    else
      EXPECT_LT(frame->Width(), 300) << (&c - cases);
    TNodePtr<TKnot> knot = Saved(frame);
    EXPECT_EQ(knot->FindParam(u"Width") != nullptr, c.Stored != 0) << (&c - cases);
    EXPECT_EQ(Saved(frame, ffNoPositions)->FindParam(u"Width"), nullptr);
  }
}

TEST_F(TitledTest, AChildTheTitleDoesNotPlaceIsNeverShown) {
  TTestTitled* titled = Add<TTestTitled>();
  auto* leaf = AddVisual<TTestVisualLeaf>(titled, 0, 0, 40, 12);
  EXPECT_FALSE(leaf->IsVisible());
  titled->Placed.push_back(leaf);
  titled->RelayoutTitle();
  EXPECT_TRUE(leaf->IsVisible());
  const int32_t withLeaf = titled->Width();
  titled->Placed.clear();
  titled->RelayoutTitle();
  EXPECT_FALSE(leaf->IsVisible());
  EXPECT_LT(titled->Width(), withLeaf);
}

TEST_F(TitledTest, AFrameJoiningASheetWritesItsTitleOnceForItsPartsAndItsLayout) {
  TTestFrame* frame = Add<TTestFrame>();
  // Counted, then written.
  EXPECT_EQ(frame->Writes, 2);
  ASSERT_NE(frame->Title(), nullptr);
  EXPECT_EQ(frame->Title()->Count(), 4);
  EXPECT_TRUE(frame->Text()->IsVisible());
  frame->ExpandButton()->SetExpanded(false);
  EXPECT_EQ(frame->Writes, 4);
  EXPECT_EQ(frame->Title()->Count(), 2);
}

TEST_F(TitledTest, ALayoutWritesTheTitleOverTheLastOneWithTheItemsItPlacesNow) {
  TTestFrame* frame = Add<TTestFrame>();
  const TTitleWriter* title = frame->Title();
  ASSERT_NE(title, nullptr);
  ASSERT_EQ(title->Count(), 4);
  frame->ExpandButton()->SetExpanded(false);
  ASSERT_EQ(frame->Title(), title);
  EXPECT_EQ(title->Count(), 2);
  EXPECT_EQ(title->RowCount(), 1);
}

TEST_F(TitledTest, TitleRowsCentreOddDifferencesTowardTheTopAndTheContentFollowsTheGap) {
  TTestFrame* frame = Add<TTestFrame>();
  const TTitleWriter* title = frame->Title();
  ASSERT_NE(title, nullptr);
  ASSERT_EQ(title->Count(), 4);  // button, caption, gap, content
  const TTitleItem& button = title->Item(0);
  const TTitleItem& caption = title->Item(1);
  const int32_t rowHeight = std::max(button.Height, caption.Height);
  const TTitleItem& lower = button.Height < caption.Height ? button : caption;
  EXPECT_EQ(lower.Bounds.Top - std::min(button.Bounds.Top, caption.Bounds.Top), (rowHeight - lower.Height) / 2);
  const TTitleItem& gap = title->Item(2);
  const TTitleItem& content = title->Item(3);
  EXPECT_EQ(gap.Kind, tkGap);
  EXPECT_EQ(gap.Width, TTitledElementWithContent::ContentGap);
  EXPECT_EQ(content.Element, frame->Content());
  EXPECT_GE(content.Bounds.Left, gap.Bounds.Left + TTitledElementWithContent::ContentGap);
  EXPECT_GT(content.Bounds.Top, caption.Bounds.Top);
  EXPECT_EQ(frame->Content()->Left(), content.Bounds.Left);

  frame->ExpandButton()->SetExpanded(false);
  EXPECT_EQ(frame->Title()->Count(), 2);
  EXPECT_FALSE(frame->Content()->IsVisible());
}

TEST_F(TitledTest, TheButtonAndTheCaptionOfATitleRowShareItsBaselineTheLargestOfTheirs) {
  TTestFrame* frame = Add<TTestFrame>();
  frame->Text()->SetText(u"content");
  const TTitleWriter* title = frame->Title();
  ASSERT_NE(title, nullptr);
  ASSERT_EQ(title->RowCount(), 2);
  const TTitleItem& button = title->Item(0);
  const TTitleItem& caption = title->Item(1);
  ASSERT_NE(button.Height, caption.Height);
  EXPECT_EQ(button.Baseline, 0) << "a picture stands on its bottom";
  EXPECT_GT(caption.Baseline, 0);
  EXPECT_LT(caption.Baseline, caption.Height);
  const TTitleRow& first = title->Row(0);
  EXPECT_EQ(first.First, 0);
  EXPECT_EQ(first.Last, 1);
  EXPECT_EQ(first.Height, std::max(button.Height, caption.Height));
  EXPECT_EQ(first.Baseline, std::max(button.Height, caption.Baseline));
  // The content's row (a gap, then the text) takes the text's own baseline, asked of it.
  const TTitleRow& second = title->Row(1);
  EXPECT_EQ(second.First, 2);
  EXPECT_EQ(second.Top, frame->Content()->Top());
  EXPECT_EQ(second.Baseline, frame->Text()->Baseline());
  EXPECT_GT(second.Baseline, 0);
}

TEST_F(TitledTest, ANegativeMarginIsMadePositiveAndTakenOffTheItemsPosition) {
  const TRect negative{-3, -2, -4, -5};
  TRect placed[2];
  for (int i = 0; i < 2; ++i) {
    TTestTitled* titled = Add<TTestTitled>();
    auto* leaf = AddVisual<TMarginLeaf>(titled, 0, 0, 40, 30);
    leaf->Margins = i ? negative : TRect{3, 2, 4, 5};
    titled->Placed.push_back(leaf);
    titled->RelayoutTitle();
    const TTitleItem& item = titled->Title()->Item(1);
    EXPECT_EQ(item.Margins, (TRect{3, 2, 4, 5}));
    EXPECT_EQ(leaf->Left(), item.Bounds.Left);
    EXPECT_EQ(leaf->Top(), item.Bounds.Top);
    placed[i] = item.Bounds;
  }
  EXPECT_EQ(placed[1].Left, placed[0].Left - 3);
  EXPECT_EQ(placed[1].Top, placed[0].Top - 2);
  EXPECT_EQ(placed[1].Right - placed[1].Left, placed[0].Right - placed[0].Left);
}

TEST_F(TitledTest, ATextSizedByTheAvailableSpaceMakesTheTitleSizeDependentAndFollowsTheView) {
  TTestFrame* frame = Add<TTestFrame>();
  EXPECT_FALSE(frame->TitleFlags().Contains(tlSizeDependent));
  frame->Text()->SetTextorOptions(frame->Text()->TextorOptions() | xoMinWidthAvailable);
  frame->RelayoutTitle();
  EXPECT_TRUE(frame->TitleFlags().Contains(tlSizeDependent));
  EXPECT_EQ(frame->GetThemeElement(), teElement) << "bit 3 picks no frame";
  Host->Sheet->SetViewSize({600, 400});
  const int32_t wide = frame->Width();
  Host->Sheet->SetViewSize({300, 400});
  EXPECT_LT(frame->Width(), wide);
  EXPECT_LE(frame->Width(), 300);
}

TEST_F(TitledTest, CollapsedIsOneUndoStepAndThenTicked) {
  TTestFrame* frame = Add<TTestFrame>();
  EXPECT_FALSE(Ticked(frame, PaletteCollapsedItem));
  const int steps = Steps();
  PaletteCollapsedItem->Apply(frame, 1);
  EXPECT_EQ(Steps(), steps + 1);
  EXPECT_TRUE(Ticked(frame, PaletteCollapsedItem));
  EXPECT_EQ(Sounds.back(), u"diExpandButtonCollapseSound");
  PaletteCollapsedItem->Apply(frame, 1);
  EXPECT_EQ(Steps(), steps + 1) << "collapsing a collapsed element records nothing";
  Host->History.Undo();
  EXPECT_FALSE(Ticked(frame, PaletteCollapsedItem));
}

TEST_F(TitledTest, DescriptionFocusesTheDescriptionAndSelectsItsText) {
  for (const char16_t* text : {u"", u"about it"}) {
    TTestFrame* frame = Add<TTestFrame>();
    auto* description = static_cast<TTextorElement*>(frame->Description());
    ASSERT_NE(description, nullptr);
    description->SetText(text);
    EXPECT_EQ(description->IsVisible(), *text != 0);
    EXPECT_TRUE(PaletteOffers(frame, PaletteDescriptionItem));
    frame->RunPaletteItem(PaletteDescriptionItem, 0);
    EXPECT_TRUE(description->IsFocused());
    EXPECT_TRUE(description->IsVisible());
    ASSERT_NE(description->Interactive(), nullptr);
    EXPECT_EQ(description->Interactive()->GetSelectedText(), text);
    EXPECT_EQ(description->VisualParent(), Host->Sheet->Root());
    EXPECT_GE(description->ClientToSheet({0, 0}).X, frame->ClientToSheet({frame->Width(), 0}).X);
    EXPECT_EQ(description->ClientToSheet({0, 0}).Y, frame->ClientToSheet({0, 0}).Y);
    Host->Sheet->SetFocused(nullptr);
    EXPECT_EQ(description->IsVisible(), *text != 0) << "an empty description hides again";
    frame->Destroy();
  }
}

TEST_F(TitledTest, ArrowsVisitTheDescriptionAfterTheChildrenAndGoOnToTheNextSibling) {
  TTestFrame* frame = Add<TTestFrame>();
  frame->SetBounds(0, 0, frame->Width(), frame->Height(), frame->Descent());
  auto* next = AddVisual<TTestVisualLeaf>(Host->Root, 0, 400, 40, 12);
  auto* description = static_cast<TTextorElement*>(frame->Description());
  description->SetText(u"d");
  frame->Content()->Focus();
  ASSERT_TRUE(frame->Content()->IsFocused());
  Host->Sheet->MoveFocus(false, true);
  EXPECT_TRUE(description->IsFocused());
  Host->Sheet->MoveFocus(false, true);
  EXPECT_TRUE(next->IsFocused());
  Host->Sheet->MoveFocus(false, false);
  EXPECT_TRUE(description->IsFocused());
}

TEST_F(TitledTest, RevealingTheContentOfACollapsedFrameExpandsItInOneStep) {
  TTestFrame* frame = Add<TTestFrame>();
  frame->ExpandButton()->SetExpanded(false);
  ASSERT_FALSE(frame->Content()->IsVisible());
  const int steps = Steps();
  frame->Content()->MakeVisible();
  EXPECT_TRUE(frame->IsExpanded());
  EXPECT_TRUE(frame->Content()->IsVisible());
  EXPECT_EQ(Steps(), steps + 1);
  Host->History.Undo();
  EXPECT_FALSE(frame->IsExpanded());
}

TEST_F(TitledTest, ADisabledFrameDisablesItsDescriptionWithoutStoringIt) {
  TTestFrame* frame = Add<TTestFrame>();
  auto* description = static_cast<TTextorElement*>(frame->Description());
  description->SetText(u"d");
  frame->SetDisabled(true);
  EXPECT_TRUE(description->IsEffectivelyDisabled());
  EXPECT_FALSE(description->IsDisabled());
  frame->SetDisabled(false);
  EXPECT_FALSE(description->IsEffectivelyDisabled());
}

TEST_F(TitledTest, AnEmptyDescriptionWritesNothingAndAFilledOneItsRuns) {
  TTestFrame* frame = Add<TTestFrame>();
  EXPECT_EQ(Saved(frame)->FindKnot(u"Description"), nullptr);
  static_cast<TTextorElement*>(frame->Description())->SetText(u"d");
  TNodePtr<TKnot> knot = Saved(frame);
  TKnot* description = knot->FindKnot(u"Description");
  ASSERT_NE(description, nullptr);
  EXPECT_NE(description->FindKnot(u"Chars"), nullptr);
}

}  // namespace
