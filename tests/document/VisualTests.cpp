// The visual tree, the sheet, the engine's own visual elements and element operations, seen through a headless
// host that records the sheet's notifications.
#include "document/model/diCanvas.h"
#include "document/model/diElementOperations.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diPanelElements.h"
#include "document/model/diSheet.h"
#include "document/model/diSounds.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"
#include "tests/document/TestElements.h"
#include "tests/document/TestTextAttributes.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A leaf that sits in every test: (10, 2) inside the root, 50 x 20.
struct TVisualTest : TSheetHostFixture, ::testing::Test {
  TTestVisualLeaf* AddLeaf(TVisualElement* AParent, int32_t ALeft, int32_t ATop) {
    return AddVisual<TTestVisualLeaf>(AParent, ALeft, ATop, 50, 20);
  }
  std::u16string SaveText(uint8_t AMode, TFilerFlags AFlags = {}) {
    TNodePtr<TKnot> knot(new TKnot);
    Scheme.SaveElement(Root, AMode, knot.get(), AFlags);
    return knot->SaveToString();
  }
  void LoadText(std::u16string_view AText, uint8_t AMode = fmDocument) {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(AText);
    Scheme.LoadElement(Root, AMode, knot.get());
  }
  void Paint() {
    HDC screen = GetDC(nullptr);
    Sheet->PaintTo(screen, TRect{0, 0, 300, 300}, {});
    ReleaseDC(nullptr, screen);
  }
};

// ---------------------------------------------------------------------------------------------------------------
// Embedded in a text

TEST_F(TVisualTest, AnEmbeddedElementStandsOnItsRowTakesTheFocusAndLeavesTheTreeWithItsPortion) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);  // 50 x 20, reaching 3 below its baseline
  TTestTextAttributes attributes;
  TTestTextor text(true);
  text.DefaultText = &attributes;
  text.Padding = {5, 6, 0, 0};
  text.EndFormatUpdate();
  TTextRange r;
  text.InsertText(text.GetEndPosition(), u"ab", nullptr, r);
  text.InsertElement(text.GetEndPosition(), leaf, nullptr, r);
  EXPECT_EQ(leaf->EmbeddingPortion(), text.LastParagraph()->LastPortion());
  // The row's ascent is 17 (20 less the descent): the leaf's top lies at the padding's top.
  EXPECT_EQ(leaf->GetBoundsRect(), (TRect{5 + 14, 6, 5 + 14 + 50, 26}));
  text.PaintRange(TestCanvas(), {}, text.GetWholeRange(), {}, false);  // not a sheet canvas: nothing drawn
  ASSERT_TRUE(text.ElementAt(r.Start, true) == leaf);
  EXPECT_TRUE(leaf->FocusEmbedded(true));
  EXPECT_EQ(Sheet->Focused(), leaf);
  const int count = Scheme.ElementCount();
  TTextPosition at;
  text.DeleteRange(r, at);
  EXPECT_EQ(Scheme.ElementCount(), count - 1);
  EXPECT_EQ(Root->FirstVisualChild(), nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Sheet

TEST_F(TVisualTest, TenInvalidationsInOneUpdateGiveOneRepaintOfEverything) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 10, 2);
  Notes.clear();
  Sheet->BeginUpdate();
  for (int i = 0; i < 10; ++i) leaf->Invalidate();
  EXPECT_TRUE(Notes.empty());
  Sheet->EndUpdate();
  ASSERT_EQ(Codes(), std::vector<int>{snRepaint});
  EXPECT_FALSE(Notes[0].HasRect);

  Notes.clear();
  const TRect outside{60, 0, 80, 10};
  leaf->InvalidateRect(&outside);
  EXPECT_TRUE(Notes.empty());
  const TRect inside{5, 5, 100, 8};
  leaf->InvalidateRect(&inside);
  ASSERT_EQ(Codes(), std::vector<int>{snRepaint});
  ASSERT_TRUE(Notes[0].HasRect);
  EXPECT_EQ(Notes[0].Rect, (TRect{15, 7, 60, 10}));  // clipped to the leaf, moved to sheet coordinates
}

TEST_F(TVisualTest, AViewSizeAndAFocusChangeInOneUpdateAreToldOnceInTheFixedOrder) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 10, 2);
  // The layout learns of the new view size before the host hears anything.
  struct TLayoutCall {
    size_t NotesBefore;
    bool Width, Height;
  };
  std::vector<TLayoutCall> layout;
  Root->OnSettingsChanged = [&](bool AWidth, bool AHeight) { layout.push_back({Notes.size(), AWidth, AHeight}); };
  Notes.clear();
  Sheet->BeginUpdate();
  Sheet->SetViewSize({640, 480});
  Root->SetBounds(0, 0, 900, 900, Root->Descent());
  leaf->Focus();
  leaf->EditStateChanged();
  leaf->AvailabilityChanged();
  leaf->ReportCommandState();
  EXPECT_TRUE(Notes.empty());
  EXPECT_EQ(Sheet->ViewSize().Width, 640);
  EXPECT_TRUE(layout.empty());
  Sheet->EndUpdate();
  ASSERT_EQ(layout.size(), 1u);
  EXPECT_EQ(layout[0].NotesBefore, 0u);
  EXPECT_TRUE(layout[0].Width && layout[0].Height);
  EXPECT_EQ(Codes(), (std::vector<int>{snWorkspaceSize, snFocusChanged, snCaret, snRepaint}));
  EXPECT_EQ(Sheet->CaretKind(), ckButtonFrame);
  EXPECT_EQ(Sheet->CaretRect(), (TRect{10, 2, 60, 22}));
  EXPECT_TRUE(Sheet->Pending().Empty());
}

TEST_F(TVisualTest, ArrowsMoveTheFocusOnlyWithoutShift) {
  TTestVisualLeaf* a = AddLeaf(Root, 0, 0);
  TTestVisualLeaf* b = AddLeaf(Root, 0, 30);
  a->Focus();
  struct Case {
    uint16_t Key;
    TShiftKeys Shift;
    TVisualElement* Before;
    TVisualElement* After;
  } cases[] = {
      {vkDown, skShift, a, a}, {vkRight, skShift, a, a}, {vkDown, {}, a, b},
      {vkUp, skShift, b, b},   {vkLeft, {}, b, a},       {vkRight, skCtrl, a, b},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Sheet->Focused(), c.Before);
    uint16_t key = c.Key;
    Sheet->KeyDown(key, c.Shift);
    EXPECT_EQ(Sheet->Focused(), c.After) << c.Key << " " << int(c.Shift.Bits());
    EXPECT_EQ(key, c.Shift.Contains(skShift) ? c.Key : 0);
  }
}

TEST_F(TVisualTest, ControlCharactersAreSwallowedExceptTabAndReturn) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  leaf->Focus();
  for (char16_t c : {char16_t(7), char16_t(9), char16_t(13), char16_t(27), u'x'}) {
    char16_t key = c;
    Sheet->KeyPress(key);
    EXPECT_EQ(key, c == 7 || c == 27 ? 0 : c);
  }
  EXPECT_EQ(leaf->Typed, std::u16string(u"\t\rx"));
}

TEST_F(TVisualTest, TwoDelayedFocusRequestsActivateTheFirstElementOnce) {
  TTestVisualLeaf* a = AddLeaf(Root, 0, 0);
  TTestVisualLeaf* b = AddLeaf(Root, 0, 30);
  Sheet->DelayFocus(a);
  Sheet->DelayFocus(b);
  EXPECT_EQ(Timers.Running(), 1);
  Timers.TickAll();
  EXPECT_EQ(a->Activations, 1);
  EXPECT_EQ(b->Activations, 0);
  EXPECT_EQ(Sheet->Focused(), a);
  EXPECT_EQ(Sheet->DelayedFocusElement(), nullptr);
  EXPECT_EQ(Timers.Running(), 1);  // the new focus's own timer
  Timers.TickAll();
  EXPECT_EQ(a->Activations, 1);
}

TEST_F(TVisualTest, AHeldLeftButtonPostponesTheScrollToTheCaretUntilItIsReleased) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  LeftButton = true;
  leaf->Focus();
  Notes.clear();
  for (int i = 0; i < 3; ++i) Timers.TickAll();
  EXPECT_EQ(Count(snScrollToCaret), 0);
  LeftButton = false;
  Timers.TickAll();
  ASSERT_EQ(Codes(), std::vector<int>{snScrollToCaret});
  EXPECT_EQ(Notes[0].Param, 1);
  Timers.TickAll();
  EXPECT_EQ(Count(snScrollToCaret), 1);
}

TEST_F(TVisualTest, FocusMovedManyTimesInOneUpdateStartsOneWaitForTheScroll) {
  std::vector<TTestVisualLeaf*> leaves;
  for (int i = 0; i < 5; ++i) leaves.push_back(AddLeaf(Root, 0, 30 * i));
  const int made = Timers.Made();
  {
    TSheetUpdate update(Sheet.get());
    for (TTestVisualLeaf* leaf : leaves) leaf->Focus();
  }
  EXPECT_EQ(Timers.Made() - made, 1);
  Notes.clear();
  Timers.TickAll();
  EXPECT_EQ(Count(snScrollToCaret), 1);
  EXPECT_EQ(Sheet->Focused(), leaves.back());
}

TEST_F(TVisualTest, TheViewStateRestoresTheFocusOnlyForAMatchingElementAndAlwaysTheScrollPosition) {
  AddLeaf(Root, 0, 0);
  TTestVisualLeaf* second = AddLeaf(Root, 0, 30);
  second->Focus();
  Sheet->SetScreenPos({3, 40});
  TNodePtr<TKnot> saved(new TKnot(u"SheetData"));
  Sheet->SaveState(saved.get());
  EXPECT_EQ(saved->SaveToString(),
            u"<SheetData FocusedElement=\"2\" FocusedElementType=\"TElement_VisualLeaf\" FocusData=\"\" "
            u"ScreenPosX=\"3\" ScreenPosY=\"40\"/>\r\n");

  struct Case {
    const char16_t* Text;
    bool Focuses;
  } cases[] = {
      {u"<S FocusedElement=\"2\" FocusedElementType=\"TElement_VisualLeaf\" ScreenPosX=\"7\" ScreenPosY=\"9\"/>", true},
      {u"<S FocusedElement=\"-3\" FocusedElementType=\"TElement_VisualLeaf\" ScreenPosX=\"7\" ScreenPosY=\"9\"/>",
       false},
      {u"<S FocusedElement=\"99\" FocusedElementType=\"TElement_VisualLeaf\" ScreenPosX=\"7\" ScreenPosY=\"9\"/>",
       false},
      {u"<S FocusedElement=\"two\" FocusedElementType=\"TElement_VisualLeaf\" ScreenPosX=\"7\" ScreenPosY=\"9\"/>",
       false},
      {u"<S FocusedElement=\"0\" FocusedElementType=\"TElement_VisualGroup\" ScreenPosX=\"7\" ScreenPosY=\"9\"/>",
       false},
      {u"<S FocusedElement=\"2\" FocusedElementType=\"TElement_VisualGroup\" ScreenPosX=\"7\" ScreenPosY=\"9\"/>",
       false},
  };
  for (const Case& c : cases) {
    Sheet->SetFocused(nullptr);
    Sheet->SetScreenPos({0, 0});
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(c.Text);
    Sheet->LoadState(knot.get());
    EXPECT_EQ(Sheet->Focused(), c.Focuses ? second : nullptr) << std::string(c.Text, c.Text + 30);
    EXPECT_EQ(Sheet->ScreenPos(), (TVisualPoint{7, 9}));
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Drop-down list on the sheet

// A sheet that records the sounds it plays; its list has rows "Branch" (holding "Leaf") and "Plain".
struct TSheetDropDownTest : TVisualTest {
  TSheetDropDownTest() {
    InitializeSoundsSettings();
    FPrevious = SetSoundPlayer([this](std::u16string_view AName) { Sounds.emplace_back(AName); });
  }
  ~TSheetDropDownTest() override {
    SetSoundPlayer(std::move(FPrevious));
    FinalizeSoundsSettings();
  }
  // Opens a new list; Applied records the row each apply hands over.
  TDropDownList* Open() {
    auto list = std::make_unique<TDropDownList>(
        Sheet.get(), [this](TDropDownList* AList) { Applied.push_back(AList->Selected()->Caption()); });
    Branch = new TDropDownItem(list.get(), list->RootItem());
    Branch->SetCaption(u"Branch");
    Leaf = new TDropDownItem(list.get(), Branch);
    Leaf->SetCaption(u"Leaf");
    Plain = new TDropDownItem(list.get(), list->RootItem());
    Plain->SetCaption(u"Plain");
    TDropDownList* raw = list.get();
    Sheet->OpenDropDown(std::move(list));
    return raw;
  }
  uint16_t PressKey(uint16_t AKey) {
    Sheet->KeyDown(AKey, {});
    return AKey;
  }

  std::vector<std::u16string> Sounds;
  std::vector<std::u16string> Applied;
  TDropDownItem *Branch = nullptr, *Leaf = nullptr, *Plain = nullptr;

 private:
  TSoundPlayer FPrevious;
};

TEST_F(TSheetDropDownTest, OpeningAndClosingAreToldInOrderWithTheirSounds) {
  Notes.clear();
  TDropDownList* first = Open();
  EXPECT_TRUE(first->IsOpen());
  EXPECT_EQ(Sheet->DropDown(), first);
  first->SetSelected(Leaf);  // expands Branch: one change of the open list
  Open();                    // the first list goes without applying
  Sheet->DropDown()->SetSelected(Plain);
  EXPECT_EQ(PressKey(vkReturn), 0);
  EXPECT_EQ(Codes(), (std::vector<int>{snDropDownOpened, snDropDownChanged, snDropDownClosed, snDropDownOpened,
                                       snDropDownChanged, snDropDownClosed}));
  EXPECT_EQ(Sounds, (std::vector<std::u16string>{u"diClassesDropDownSound", u"diClassesDropDownSound",
                                                 u"diClassesValueSound"}));
  EXPECT_EQ(Applied, std::vector<std::u16string>{u"Plain"});
  EXPECT_EQ(Sheet->DropDown(), nullptr);
}

TEST_F(TSheetDropDownTest, EnterAppliesOnlyASelectedSelectableRowAndIsAlwaysConsumed) {
  struct Case {
    const char* Name;
    bool Select, Selectable;
    bool StaysOpen;
    std::vector<std::u16string> Applied;
  } cases[] = {
      {"selectable row", true, true, false, {u"Plain"}},
      {"row that cannot be chosen", true, false, true, {}},
      {"no selection", false, true, false, {}},
  };
  for (const Case& c : cases) {
    Applied.clear();
    TDropDownList* list = Open();
    Sounds.clear();
    Plain->SetSelectable(c.Selectable);
    if (c.Select) list->SetSelected(Plain);
    Notes.clear();
    EXPECT_EQ(PressKey(vkReturn), 0) << c.Name;
    EXPECT_EQ(Sheet->DropDown() != nullptr, c.StaysOpen) << c.Name;
    EXPECT_EQ(Applied, c.Applied) << c.Name;
    EXPECT_EQ(Count(snDropDownClosed), c.StaysOpen ? 0 : 1) << c.Name;
    EXPECT_EQ(Sounds.size(), c.Applied.size()) << c.Name;  // the value sound only with a value
    Sheet->CloseDropDown(false);
  }
}

TEST_F(TSheetDropDownTest, ClosingWithApplyAndNoSelectionAppliesNothing) {
  Open();
  Notes.clear();
  Sheet->CloseDropDown(true);
  EXPECT_TRUE(Applied.empty());
  EXPECT_EQ(Codes(), std::vector<int>{snDropDownClosed});
  EXPECT_EQ(Sounds, std::vector<std::u16string>{u"diClassesDropDownSound"});
}

TEST_F(TSheetDropDownTest, EscapeFocusChangesAndCancelModeCloseWithoutApplying) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  enum class TCloser { Escape, Focus, CancelMode };
  for (TCloser closer : {TCloser::Escape, TCloser::Focus, TCloser::CancelMode}) {
    Sheet->SetFocused(nullptr);
    Open()->SetSelected(Plain);
    Notes.clear();
    switch (closer) {
      case TCloser::Escape:
        EXPECT_EQ(PressKey(vkEscape), 0);
        break;
      case TCloser::Focus:
        leaf->Focus();
        break;
      case TCloser::CancelMode:
        Sheet->CancelMode();
        break;
    }
    EXPECT_EQ(Sheet->DropDown(), nullptr) << int(closer);
    EXPECT_EQ(Count(snDropDownClosed), 1) << int(closer);
  }
  EXPECT_TRUE(Applied.empty());
}

TEST_F(TSheetDropDownTest, SpaceTogglesTheSelectedBranchAndIsConsumed) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  leaf->Focus();
  TDropDownList* list = Open();
  list->SetSelected(Branch);
  for (bool expanded : {true, false}) {
    char16_t key = u' ';
    Sheet->KeyPress(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(Branch->Expanded(), expanded);
  }
  EXPECT_TRUE(leaf->Typed.empty());
  // Rows measure in the sheet canvas's code font.
  EXPECT_EQ(Plain->GetRowWidth(), 20 + Sheet->Canvas()->TextExtent(ckCode, u"Plain").cx + 12);
}

// ---------------------------------------------------------------------------------------------------------------
// Visual element

TEST_F(TVisualTest, SetBoundsWithTheCurrentValuesRepaintsButCallsNoHook) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 10, 2);
  leaf->BoundsHooks = 0;
  Notes.clear();
  EXPECT_FALSE(leaf->SetBounds(10, 2, 50, 20, 3));
  EXPECT_EQ(leaf->BoundsHooks, 0);
  EXPECT_EQ(Codes(), std::vector<int>{snRepaint});
  EXPECT_TRUE(leaf->SetBounds(10, 2, 50, 21, 3));
  EXPECT_EQ(leaf->BoundsHooks, 1);
}

TEST_F(TVisualTest, ADisabledBranchGetsOneVeilPerPaint) {
  auto* group = AddVisual<TTestVisualGroup>(Root, 0, 0, 200, 100);
  TTestVisualLeaf* leaf = AddLeaf(group, 10, 10);
  int veils = 0;
  group->PaintDisabledCalls = leaf->PaintDisabledCalls = &veils;
  group->SetDisabled(true);
  leaf->SetDisabled(true);
  EXPECT_TRUE(leaf->IsEffectivelyDisabled());
  Paint();
  EXPECT_EQ(veils, 1);
  leaf->SetDisabled(false);
  EXPECT_TRUE(leaf->IsEffectivelyDisabled());
  Paint();
  EXPECT_EQ(veils, 2);
  group->SetDisabled(false);
  EXPECT_FALSE(leaf->IsEffectivelyDisabled());
  Paint();
  EXPECT_EQ(veils, 2);
}

TEST_F(TVisualTest, AShownOnDemandElementWithoutValueIsVisibleOnlyWhileFocused) {
  TTestVisualLeaf* other = AddLeaf(Root, 0, 40);
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  leaf->SetVisualOptions(leaf->VisualOptions() | voShownOnDemand);
  EXPECT_FALSE(leaf->IsVisible());
  leaf->Focus();
  EXPECT_TRUE(leaf->IsVisible());
  EXPECT_EQ(Sheet->Focused(), leaf);
  other->Focus();
  EXPECT_FALSE(leaf->IsVisible());
  leaf->SetText(u"value");
  EXPECT_TRUE(leaf->IsVisible());
}

TEST_F(TVisualTest, HitTestsSkipSelectedAndTransparentElementsUnlessAskedFor) {
  auto* group = AddVisual<TTestVisualGroup>(Root, 0, 0, 200, 100);
  TTestVisualLeaf* selected = AddLeaf(group, 0, 0);
  TTestVisualLeaf* transparent = AddLeaf(group, 100, 0);
  selected->SetSelected(true);
  transparent->SetVisualOptions(transparent->VisualOptions() | voHitTransparent);
  struct Case {
    TVisualPoint Point;
    bool AllowSelected, SkipTransparent;
    TVisualElement* Expected;
  } cases[] = {
      {{5, 5}, false, true, group},         {{5, 5}, true, true, selected},  {{105, 5}, true, true, group},
      {{105, 5}, true, false, transparent}, {{150, 50}, true, false, group}, {{5, 500}, true, true, Root},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Sheet->ElementAt(c.Point, c.AllowSelected, c.SkipTransparent), c.Expected)
        << c.Point.X << "," << c.Point.Y << " " << c.AllowSelected << c.SkipTransparent;
}

TEST_F(TVisualTest, AMoveTellsTheChildrenOnlyOnASheetWhereTheirPlaceFollows) {
  auto* group = AddVisual<TTestVisualGroup>(Root, 0, 0, 200, 100);
  TTestVisualLeaf* inner = AddLeaf(group, 10, 10);
  const int placed = inner->MovedHooks;
  group->SetBounds(5, 0, 200, 100, group->Descent());
  EXPECT_EQ(inner->MovedHooks, placed + 1);
  group->SetVisualParent(nullptr);
  group->SetBounds(0, 0, 200, 100, group->Descent());
  EXPECT_EQ(inner->MovedHooks, placed + 1);
  group->SetVisualParent(Root);
  group->SetBounds(5, 5, 200, 100, group->Descent());
  EXPECT_EQ(inner->MovedHooks, placed + 2);
}

TEST_F(TVisualTest, APointerMovedOrRestingIsHitTestedOnceUntilTheSheetChanges) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  Sheet->MouseMove({5, 5}, {});
  EXPECT_EQ(Sheet->Hovered(), leaf);
  const int once = leaf->HitTests;
  // The hint asks at the same place, and again and again while the pointer rests there.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Sheet->ElementAt({5, 5}, true, true), leaf);
  EXPECT_EQ(leaf->HitTests, once);
  leaf->SetBounds(0, 40, leaf->Width(), leaf->Height(), leaf->Descent());
  EXPECT_EQ(Sheet->ElementAt({5, 5}, true, true), Root);
  EXPECT_EQ(Sheet->ElementAt({5, 45}, true, true), leaf);
}

TEST_F(TVisualTest, TheSignOfAnElementAtTheTopIsClampedToAQuarterAboveTheRoot) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 10, 2);
  leaf->SetOptions(leaf->Options() | eoValueRequired);
  TMessagesSignElement* sign = leaf->MessagesSign();
  ASSERT_NE(sign, nullptr);
  EXPECT_EQ(sign->SignedElement(), leaf);
  EXPECT_EQ(sign->VisualParent(), Sheet->Root());
  sign->SetBounds(sign->Left(), sign->Top(), 16, 16, sign->Descent());
  leaf->SetBounds(10, 3, 50, 20, 3);
  leaf->SetBounds(10, 2, 50, 20, 3);
  EXPECT_EQ((TVisualPoint{sign->Left(), sign->Top()}), (TVisualPoint{10, -4}));
  leaf->SetBounds(10, 40, 50, 20, 3);
  EXPECT_EQ((TVisualPoint{sign->Left(), sign->Top()}), (TVisualPoint{10, 31}));
  EXPECT_EQ(Sheet->ElementAt({12, 33}, true, false), sign);
  EXPECT_NE(Sheet->ElementAt({12, 33}, true, true), sign);
  leaf->SetText(u"set");
  EXPECT_EQ(leaf->MessagesSign(), nullptr);
}

TEST_F(TVisualTest, FocusingInsideACollapsedBranchRevealsItAndAnUnrevealableElementLeavesNoFocus) {
  auto* group = AddVisual<TTestVisualGroup>(Root, 0, 0, 200, 100);
  TTestVisualLeaf* inner = AddLeaf(group, 0, 0);
  TTestVisualLeaf* outside = AddLeaf(Root, 0, 200);
  group->SetCollapsed(true);
  EXPECT_FALSE(inner->IsVisible());
  inner->Focus();
  EXPECT_FALSE(group->Collapsed());
  EXPECT_EQ(Sheet->Focused(), inner);
  EXPECT_FALSE(History.CanUndo());  // revealing is no change of the document

  outside->Focus();
  group->SetCollapsed(true);
  group->Locked = true;
  inner->Focus();
  EXPECT_EQ(Sheet->Focused(), nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Unaccepted and panel elements

TEST_F(TVisualTest, AnUnacceptedNodeRoundTripsWholeAndIsReportedOnce) {
  TElementMessages log;
  Scheme.SetMessages(&log);
  const std::u16string text =
      u"<Quillbox FormatVersion=\"1.1\">\r\n"
      u"\t<Widget Size=\"3\" Colour=\"red\">\r\n"
      u"\t\t<Part Name=\"a\"/>\r\n"
      u"\t\t<Part Name=\"b\">\r\n"
      u"\t\t\t<Deep/>\r\n"
      u"\t\t</Part>\r\n"
      u"\t</Widget>\r\n"
      u"\t<VisualLeaf Left=\"0\" Top=\"0\" Text=\"x\"/>\r\n"
      u"</Quillbox>\r\n";
  LoadText(text);
  auto* u = dynamic_cast<TElement_Unaccepted*>(Root->FirstChildElement());
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->KnotName(), u"Widget");
  EXPECT_EQ(log.GetCount(), 0);  // no 2329 or 2330: the whole knot was taken
  ASSERT_NE(u->Messages(), nullptr);
  ASSERT_EQ(u->Messages()->GetCount(), 1);
  EXPECT_EQ(u->Messages()->GetItem(0)->Kind(), mkElementError);
  EXPECT_EQ(u->Messages()->GetItem(0)->GetText(), u"Unsupported element \"Widget\" in this editor");
  EXPECT_EQ(u->Messages()->GetItem(0)->Parts()[0].Target, IntToStr(u->ID()));
  EXPECT_EQ(SaveText(fmDocument), text);
  EXPECT_EQ(SaveText(fmDocument, ffSkipUnaccepted),
            u"<Quillbox FormatVersion=\"1.1\">\r\n\t<VisualLeaf Left=\"0\" Top=\"0\" Text=\"x\"/>\r\n</Quillbox>\r\n");

  const std::u16string record = SaveText(fmRecord);
  EXPECT_NE(record.find(u"<Unaccepted ID="), std::u16string::npos);
  EXPECT_NE(record.find(u"<Widget Size=\"3\""), std::u16string::npos);
  Root->FreeChildren();
  LoadText(record, fmRecord);
  auto* back = dynamic_cast<TElement_Unaccepted*>(Root->FirstChildElement());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->KnotName(), u"Widget");
  EXPECT_EQ(SaveText(fmDocument), text);
  Scheme.SetMessages(nullptr);
}

TEST(SchemeLoad, UnacceptedKnotsGoToTheUnacceptedClassAndAreNotReported) {
  TElementMessages log;
  TScheme scheme(&TElement_TestRoot::ClassInfo, u"Quillbox");
  scheme.SetMessages(&log);
  static_cast<TElement_TestRoot*>(scheme.Root())->Unaccepted = &TElement_Unaccepted::ClassInfo;
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromString(u"<Quillbox><Mystery A=\"1\"><Deep/></Mystery></Quillbox>");
  scheme.LoadElement(scheme.Root(), fmDocument, knot.get());
  EXPECT_EQ(log.GetCount(), 0);
  auto* u = dynamic_cast<TElement_Unaccepted*>(scheme.Root()->FirstChildElement());
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->KnotName(), u"Mystery");
  TNodePtr<TKnot> saved(new TKnot);
  scheme.SaveElement(scheme.Root(), fmDocument, saved.get(), ffSkipUnaccepted);
  EXPECT_EQ(saved->SaveToString(), u"<Quillbox FormatVersion=\"1.1\"/>\r\n");
}

TEST(UnacceptedElement, LongLinesAreCutAndTabsBecomeEightSpaces) {
  const std::u16string line(150, u'w');
  EXPECT_EQ(TElement_Unaccepted::DisplayLine(line), std::u16string(97, u'w') + u"...");
  EXPECT_EQ(TElement_Unaccepted::DisplayLine(std::u16string(100, u'w')), std::u16string(100, u'w'));
  EXPECT_EQ(TElement_Unaccepted::DisplayLine(u"\tx"), u"        x");
}

TEST_F(TVisualTest, APanelWhoseChildrenAreAllHiddenKeepsItsSize) {
  auto* panel = TElement::CreateIn<TPanelElement>(&Scheme, Root);
  panel->SetVisualParent(Root);
  AddVisual<TTestVisualGroup>(panel, 0, 0, 80, 30);
  AddVisual<TTestVisualGroup>(panel, 20, 40, 100, 10);
  EXPECT_EQ(panel->Width(), 120);
  EXPECT_EQ(panel->Height(), 50);
  auto* collapsing = AddVisual<TTestVisualGroup>(Root, 300, 0, 10, 10);
  panel->SetVisualParent(collapsing);
  EXPECT_EQ(panel->Width(), 120);
  collapsing->SetCollapsed(true);
  EXPECT_FALSE(panel->IsVisible());
  EXPECT_EQ(panel->Width(), 120);
  EXPECT_EQ(panel->Height(), 50);
}

// A panel counting its layouts: each one asks for the padding once.
class TCountingPanel : public TPanelElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TPanelElement::TPanelElement;
  void GetPadding(TRect& ARect) override {
    ++Layouts;
    TPanelElement::GetPadding(ARect);
  }
  int Layouts = 0;
};

const TElementClassInfo TCountingPanel::ClassInfo{u"TCountingPanel", &TPanelElement::ClassInfo,
                                                  &ElementFactory<TCountingPanel>};

TEST_F(TVisualTest, APanelLaysOutOnceAtTheEndOfAnUpdateAndAtOnceOutsideOne) {
  auto* panel = TElement::CreateIn<TCountingPanel>(&Scheme, Root);
  panel->SetVisualParent(Root);
  panel->Layouts = 0;
  {
    TSheetUpdate update(Sheet.get());
    for (int i = 0; i < 50; ++i) AddVisual<TTestVisualGroup>(panel, i * 10, i * 5, 10, 5);
    EXPECT_EQ(panel->Layouts, 0);
  }
  EXPECT_EQ(panel->Layouts, 1);
  EXPECT_EQ(panel->Width(), 500);
  EXPECT_EQ(panel->Height(), 250);
  auto* last = AddVisual<TTestVisualGroup>(panel, 600, 0, 10, 400);
  EXPECT_EQ(panel->Width(), 610);
  EXPECT_EQ(panel->Height(), 400);
  last->SetBounds(600, 0, 10, 20, last->Descent());
  EXPECT_EQ(panel->Height(), 250);
  last->SetVisualParent(nullptr);
  EXPECT_EQ(panel->Width(), 500);
  // Hidden while its layout waits: laid out with the children it had while shown.
  auto* collapsing = AddVisual<TTestVisualGroup>(Root, 900, 0, 10, 10);
  panel->SetVisualParent(collapsing);
  {
    TSheetUpdate update(Sheet.get());
    AddVisual<TTestVisualGroup>(panel, 700, 0, 10, 5);
    collapsing->SetCollapsed(true);
  }
  EXPECT_FALSE(panel->IsVisible());
  EXPECT_EQ(panel->Width(), 710);
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

TEST_F(TVisualTest, AClickReachesTheNearestAncestorThatTakesClicks) {
  auto* group = AddVisual<TTestVisualGroup>(Root, 0, 0, 200, 100);
  TTestVisualLeaf* leaf = AddLeaf(group, 10, 10);
  leaf->SetVisualOptions(leaf->VisualOptions() - voClickFocus);
  Sheet->MouseDown({15, 15}, true, {});
  EXPECT_EQ(leaf->MouseDowns, 1);
  EXPECT_EQ(group->MouseDowns, 1);
  EXPECT_EQ(Sheet->Captured(), group);
  Sheet->MouseUp({15, 15}, true, {});
  EXPECT_EQ(group->Clicks, 1);
  EXPECT_EQ(leaf->Clicks, 0);
  EXPECT_EQ(Sheet->Captured(), nullptr);
}

TEST_F(TVisualTest, AReleaseOutsideTheCapturingElementReleasesWithoutAClick) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 10, 10);
  Sheet->MouseDown({15, 15}, true, {});
  EXPECT_EQ(Sheet->Captured(), leaf);
  EXPECT_EQ(Sheet->Focused(), leaf);
  Sheet->MouseMove({300, 300}, skLeft);
  Sheet->MouseUp({300, 300}, true, {});
  EXPECT_EQ(Sheet->Captured(), nullptr);
  EXPECT_EQ(leaf->Clicks, 0);
}

TEST_F(TVisualTest, APressWhileAnUnfocusedElementHoldsTheCaptureReachesTheHolder) {
  TTestVisualLeaf* focused = AddLeaf(Root, 0, 100);
  auto* holder = AddVisual<TTestVisualGroup>(Root, 0, 0, 100, 50);
  focused->Focus();
  Sheet->MouseDown({5, 5}, true, {});
  ASSERT_EQ(Sheet->Captured(), holder);
  Sheet->MouseDown({5, 105}, false, {});
  EXPECT_EQ(holder->MouseDowns, 2);
  EXPECT_EQ(focused->MouseDowns, 0);
  Sheet->SetFocused(nullptr);
  Sheet->MouseDown({5, 105}, false, {});
  EXPECT_EQ(holder->MouseDowns, 3);
}

// ---------------------------------------------------------------------------------------------------------------
// Operations and find

TEST_F(TVisualTest, DisableUndoAndRedoRestoreTheStateAndTheSavedAttribute) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  const int32_t id = leaf->ID();
  auto saved = [&] { return SaveText(fmDocument).find(u"Disabled=\"1\"") != std::u16string::npos; };
  leaf->SetDisabledUndoable(true);
  EXPECT_TRUE(leaf->IsDisabled());
  EXPECT_TRUE(saved());
  History.Undo();
  EXPECT_FALSE(leaf->IsDisabled());
  EXPECT_FALSE(saved());
  History.Redo();
  EXPECT_TRUE(leaf->IsDisabled());
  EXPECT_TRUE(saved());
  EXPECT_EQ(Scheme.FindByID(id), leaf);
}

// ---------------------------------------------------------------------------------------------------------------
// Palette commands on elements

// The engine's palette with its Disabled item, and an item inserting leaves.
struct TVisualPaletteTest : TVisualTest {
  TVisualPaletteTest() {
    InitializePalette();
    InitializeDisableItem(1);
    InsertLeaf = new TElementPaletteItem(PaletteInsertGroup, 1, &TTestVisualLeaf::ClassInfo, 0, 0, -1, {});
  }
  ~TVisualPaletteTest() override {
    FinalizeDisableItem();
    FinalizePalette();
  }
  bool SavedDisabled() { return SaveText(fmDocument).find(u"Disabled=\"1\"") != std::u16string::npos; }

  TElementPaletteItem* InsertLeaf;
};

TEST_F(TVisualPaletteTest, DisableUndoAndRedoThroughTheItemRestoreTheStateAndTheSavedAttribute) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  DisablePaletteItem->Execute(leaf, 1);
  TPaletteItemState state;
  leaf->QueryPaletteItemState(DisablePaletteItem, state);
  EXPECT_TRUE(state.Ticked);
  struct Step {
    void (TUndoRedo::*Act)();
    bool Disabled;
  } steps[] = {{nullptr, true}, {&TUndoRedo::Undo, false}, {&TUndoRedo::Redo, true}, {&TUndoRedo::Undo, false}};
  for (const Step& step : steps) {
    if (step.Act) (History.*step.Act)();
    EXPECT_EQ(leaf->IsDisabled(), step.Disabled);
    EXPECT_EQ(SavedDisabled(), step.Disabled);
  }
  EXPECT_FALSE(History.CanUndo());
}

TEST_F(TVisualPaletteTest, DisabledOnAnElementInThatStateAddsNoUndoStep) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  for (bool disabled : {true, false}) {
    leaf->SetDisabled(disabled);
    DisablePaletteItem->Execute(leaf, disabled ? 1 : 0);
    EXPECT_EQ(leaf->IsDisabled(), disabled);
    EXPECT_FALSE(History.CanUndo()) << disabled;
  }
}

TEST_F(TVisualPaletteTest, ExecuteForSkipsRefusingElementsAndRunsTheRestInOrderInsideAnUpdate) {
  std::vector<std::u16string> runs;
  TTestVisualLeaf* a = AddLeaf(Root, 0, 0);
  TTestVisualLeaf* b = AddLeaf(Root, 0, 30);
  TTestVisualLeaf* c = AddLeaf(Root, 0, 60);
  for (TTestVisualLeaf* e : {a, b, c}) e->PaletteRuns = &runs;
  a->SetText(u"a");
  b->SetText(u"b");
  c->SetText(u"c");
  b->RefusesPaletteItems = true;
  struct Case {
    TPaletteItemFlags Flags;
    std::vector<std::u16string> Runs;
  } cases[] = {
      {{}, {u"c:3 in update", u"a:3 in update"}},
      {pfNoUpdate, {u"c:3", u"a:3"}},
  };
  for (const Case& k : cases) {
    runs.clear();
    auto* item = new TSchemePaletteItem(PaletteActionsGroup, 1, 0, 0, -1, k.Flags);
    item->ExecuteFor({c, b, a}, 3);
    EXPECT_EQ(runs, k.Runs) << k.Flags.Bits();
  }
}

TEST_F(TVisualPaletteTest, ASelectionIsOfferedWhatAllSelectedChildrenShareAndTheElementItsOwnItems) {
  auto* onlyA = new TSchemePaletteItem(PaletteActionsGroup, 1, 0, 0, -1, {});
  auto* box = AddVisual<TTestVisualGroup>(Root, 0, 0, 500, 500);
  box->SetVisualOptions(box->VisualOptions() | voSelectionContainer);
  TTestVisualLeaf* a = AddLeaf(box, 0, 0);
  TTestVisualLeaf* b = AddLeaf(box, 0, 30);
  auto* g = AddVisual<TTestVisualGroup>(box, 0, 60, 100, 100);
  a->ExtraPaletteItems = {PaletteActionsGroup, onlyA};
  struct Case {
    const char* Name;
    std::vector<TVisualElement*> Selected;
    bool FromSelection;
    TPaletteList Expected;
  } cases[] = {
      // Disabled is only for selected children, insertions only for the element itself.
      {"the element itself", {}, false, {PaletteStateGroup, PaletteInsertGroup, InsertLeaf}},
      {"one leaf", {a}, true, {PaletteStateGroup, DisablePaletteItem, PaletteActionsGroup, onlyA}},
      {"two leaves", {a, b}, true, {PaletteStateGroup, DisablePaletteItem}},
      {"a group that takes leaves", {g}, true, {PaletteStateGroup, DisablePaletteItem}},
  };
  for (const Case& c : cases) {
    for (TVisualElement* e :
         {static_cast<TVisualElement*>(a), static_cast<TVisualElement*>(b), static_cast<TVisualElement*>(g)})
      e->SetSelected(std::find(c.Selected.begin(), c.Selected.end(), e) != c.Selected.end());
    TPaletteList list;
    EXPECT_EQ(CollectPaletteItems(box, list), c.FromSelection) << c.Name;
    EXPECT_EQ(list, c.Expected) << c.Name;
  }
}

TEST_F(TVisualTest, AnOperationWhoseElementIsGoneDoesNothingAndFindsItAgainByIdentifier) {
  TTestVisualLeaf* leaf = AddLeaf(Root, 0, 0);
  const int32_t id = leaf->ID();
  leaf->SetDisabledUndoable(true);
  // A later step deletes the element; undoing it makes it again under the same identifier.
  struct TDelete : TSchemeOperation {
    TDelete(TScheme* AScheme, int32_t AID) : TSchemeOperation(AScheme), ID(AID) {}
    void DoExecute() override {
      TElement* e = Scheme()->FindByID(ID);
      Record.reset(new TKnot);
      e->SaveTo(Record.get(), fmRecord, {});
      e->Destroy();
    }
    void DoUndo() override {
      auto* group = static_cast<TVisualElement*>(Scheme()->Root());
      auto* e = TElement::CreateIn<TTestVisualLeaf>(Scheme(), group);
      Scheme()->LoadElement(e, fmRecord, Record.get());
      e->SetVisualParent(group);
    }
    int32_t ID;
    TNodePtr<TKnot> Record;
  };
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TDelete(&Scheme, id)));
  EXPECT_EQ(Scheme.FindByID(id), nullptr);
  Notes.clear();
  History.Undo();  // the deletion: the element is back, disabled
  auto* back = dynamic_cast<TTestVisualLeaf*>(Scheme.FindByID(id));
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->IsDisabled());
  History.Undo();  // the disable finds it by identifier
  EXPECT_FALSE(back->IsDisabled());
  History.Redo();
  EXPECT_TRUE(back->IsDisabled());
  back->Destroy();
  EXPECT_NO_THROW(History.Undo());
  EXPECT_NO_THROW(History.Redo());
}

TEST_F(TVisualTest, ManyOperationsInOneUpdateGiveOneSetOfNotifications) {
  std::vector<TTestVisualLeaf*> leaves;
  for (int i = 0; i < 5; ++i) leaves.push_back(AddLeaf(Root, 0, i * 30));
  leaves[0]->Focus();
  Notes.clear();
  Sheet->BeginUpdate();
  for (TTestVisualLeaf* l : leaves) l->SetDisabledUndoable(true);
  for (TTestVisualLeaf* l : leaves) l->SetDisabledUndoable(false);
  Sheet->EndUpdate();
  EXPECT_EQ(Codes(), (std::vector<int>{snScrollToCaret, snAvailability, snRepaint}));
}

TEST_F(TVisualTest, TheFindStepNeverLeavesItsScope) {
  auto* scope = AddVisual<TTestVisualGroup>(Root, 0, 0, 200, 100);
  TTestVisualLeaf* a = AddLeaf(scope, 0, 0);
  TTestVisualLeaf* b = AddLeaf(scope, 0, 30);
  TTestVisualLeaf* after = AddLeaf(Root, 0, 200);
  TFindData data;
  data.FindScope = scope;
  bool found = false;
  EXPECT_EQ(a->Find(&data, 0, found), b);
  EXPECT_EQ(b->Find(&data, 0, found), nullptr);
  data.FindScope = Root;
  EXPECT_EQ(b->Find(&data, 0, found), after);
  EXPECT_EQ(after->Find(&data, 0, found), nullptr);
  EXPECT_FALSE(found);
}

// Leaves, a visual parent and a parent that log the hierarchy, value and emptiness messages the hook they override
// hears; made through their classes' factories, as a load makes elements.
struct THeardLog {
  std::vector<int> Heard;
  void Hear(int ACode) {
    if (ACode == nmHierarchyChanged || (ACode >= nmHasValueChanged && ACode <= nmValueChanged)) Heard.push_back(ACode);
  }
};
struct TMovedLeaf : TTestVisualLeaf, THeardLog {
  using TTestVisualLeaf::TTestVisualLeaf;
  void HierarchyChanged() override { Hear(nmHierarchyChanged); }
};
struct THearingLeaf : TTestVisualLeaf, THeardLog {
  using TTestVisualLeaf::TTestVisualLeaf;
  bool HandleMessage(int AMsg, intptr_t A1, intptr_t A2) override {
    Hear(AMsg);
    return TTestVisualLeaf::HandleMessage(AMsg, A1, A2);
  }
};
struct THearingVisualParent : TTestVisualGroup, THeardLog {
  using TTestVisualGroup::TTestVisualGroup;
  bool VisualChildNotify(TVisualElement* AChild, int ACode, intptr_t A1, intptr_t A2) override {
    Hear(ACode);
    return TTestVisualGroup::VisualChildNotify(AChild, ACode, A1, A2);
  }
};
struct THearingParent : TTestVisualGroup, THeardLog {
  using TTestVisualGroup::TTestVisualGroup;
  bool ChildNotification(TElement* AChild, int ACode, intptr_t A1, intptr_t A2) override {
    Hear(ACode);
    return TTestVisualGroup::ChildNotification(AChild, ACode, A1, A2);
  }
};
const TElementClassInfo HearingLeafClass{u"TElement_HearingLeaf", &TTestVisualLeaf::ClassInfo,
                                         &ElementFactory<THearingLeaf>};
const TElementClassInfo MovedLeafClass{u"TElement_MovedLeaf", &TTestVisualLeaf::ClassInfo, &ElementFactory<TMovedLeaf>};
const TElementClassInfo HearingVisualParentClass{u"TElement_HearingVisualParent", &TTestVisualGroup::ClassInfo,
                                                 &ElementFactory<THearingVisualParent>};
const TElementClassInfo HearingParentClass{u"TElement_HearingParent", &TTestVisualGroup::ClassInfo,
                                           &ElementFactory<THearingParent>};

TEST_F(TVisualTest, HierarchyAndValueMessagesReachEveryHookAVisualClassOverrides) {
  struct TRow {
    TElementClass Parent;
    TElementClass Leaf;
    bool VisualChild;
    bool LeafListens;
    std::vector<int> Heard;
  };
  const TRow rows[] = {
      {&TTestVisualGroup::ClassInfo, &HearingLeafClass, false, true, {2, 5, 6, 7}},
      {&TTestVisualGroup::ClassInfo, &MovedLeafClass, false, true, {2}},
      {&HearingVisualParentClass, &TTestVisualLeaf::ClassInfo, true, false, {5, 6, 7}},
      {&HearingParentClass, &TTestVisualLeaf::ClassInfo, false, false, {2, 5, 6, 7}},
  };
  for (const TRow& row : rows) {
    TElement* parent = TElement::CreateIn(row.Parent, &Scheme, Root, nullptr);
    auto* leaf = static_cast<TTestVisualLeaf*>(TElement::CreateIn(row.Leaf, &Scheme, parent, nullptr));
    if (row.VisualChild) leaf->SetVisualParent(static_cast<TVisualElement*>(parent));
    leaf->SetText(u"x");
    auto* log = dynamic_cast<THeardLog*>(row.LeafListens ? static_cast<TElement*>(leaf) : parent);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->Heard, row.Heard) << "row " << (&row - rows);
  }
}

TEST(FindData, IgnoringCaseFoldsEveryAlphabetAndMatchCaseComparesExactly) {
  struct Case {
    const char16_t* Find;
    const char16_t* Text;
    bool IgnoringCase, WithCase;
  } cases[] = {
      {u"жук", u"ЖУК", true, false}, {u"жук", u"жук", true, true}, {u"Straße", u"STRASSE", false, false},
      {u"abc", u"ABC", true, false}, {u"ÀÉ", u"àé", true, false},  {u"abc", u"abcd", false, false},
      {u"ЁЖ", u"ёж", true, false},   {u"Σ", u"σ", true, false},
  };
  for (const Case& c : cases) {
    TFindData data;
    data.FindText = c.Find;
    EXPECT_EQ(data.Matches(c.Text), c.IgnoringCase);
    data.MatchCase = true;
    EXPECT_EQ(data.Matches(c.Text), c.WithCase);
  }
}

}  // namespace
