#include "app/diPaletteForm.h"
#include "app/diPaletteHintWindow.h"
#include "controls/baSaper.h"
#include "controls/baStyledPainter.h"
#include "controls/baUserButtons.h"
#include "document/model/diSchemeImagesWin.h"
#include "framework/fwApplication.h"
#include "framework/fwMenus.h"
#include "framework/fwScreen.h"
#include "tests/app/AppFixture.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(PaletteHint, TheTitleIsTheFirstLineUpToTheBracketAndTheDescriptionFollows) {
  const TPaletteHintParts parts = SplitPaletteHint(u"Insert (Ctrl+L)\r\nOther elements.\r\nMore");
  EXPECT_EQ(parts.Title, u"Insert ");
  EXPECT_EQ(parts.Shortcut, u"(Ctrl+L)");
  EXPECT_EQ(parts.Lines, (std::vector<std::u16string>{u"Other elements.", u"More"}));
  const TPaletteHintParts bare = SplitPaletteHint(u"Insert");
  EXPECT_EQ(bare.Title, u"Insert");
  EXPECT_EQ(bare.Shortcut, u"");
  EXPECT_TRUE(bare.Lines.empty());
}

TEST(PaletteTyping, OnlyTheBlankDigitsAndCapitalsExtendThePrefix) {
  for (int key = 0; key < 256; ++key) {
    const bool expected = key == 32 || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
    EXPECT_EQ(ExtendsTypedPrefix(static_cast<uint16_t>(key)), expected) << key;
  }
}

// A bounded pump: a run that waits posts itself again, so "until the queue is empty" would never end.
void Pump(int ARounds = 20) {
  MSG message;
  for (int i = 0; i < ARounds; ++i) {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(1);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void PumpFor(DWORD AMilliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < AMilliseconds) Pump(1);
}

// Offers two sub-commands and records the parameters it runs with.
class TTestSubCommandItem : public TSubExecutablePaletteItem {
 public:
  using TSubExecutablePaletteItem::TSubExecutablePaletteItem;
  void GetSubCommands(IPaletteTarget*, std::vector<TPaletteSubCommand>& AList) override { AList = {{u"One", u"p1"}, {u"Two", u"p2"}}; }
  void ExecuteSub(IPaletteTarget*, const std::u16string& AParameter) override { Parameters.push_back(AParameter); }
  std::vector<std::u16string> Parameters;
};

class PaletteFormTest : public TStartedUnitsTest {
 protected:
  void SetUp() override {
    TStartedUnitsTest::SetUp();
    FHost = std::make_unique<TSheetHostFixture>();
    // Two groups of items with shortcuts; "N" starts "NA", "D" is always disabled.
    FActions = new TPaletteGroup(Palette.get(), 900, IdPaletteActions);
    FOptions = new TPaletteGroup(Palette.get(), 800, IdPaletteAdditional);
    Small.push_back(Item(FActions, 50, u"L"));
    Small.push_back(Item(FActions, 49, u"N"));
    Small.push_back(Item(FActions, 48, u"NA"));
    Small.push_back(Item(FActions, 47, u"D", pfAlwaysDisabled));
    // A caption wider than the large image, so dropping it gains room.
    Large = Item(FActions, 40, u"", pfLargeImage, IdPaletteAdditional);
    TwoPart = Item(FOptions, 30, u"", pfLargeImage | pfTwoPart);
    Leaf = AddVisual<TTestVisualLeaf>(FHost->Root, 0, 0, 50, 20);
    Leaf->SetText(u"x");
    Leaf->PaletteRuns = &Runs;
    for (TPaletteItem* item : Small) Leaf->ExtraPaletteItems.push_back(item);
    Leaf->ExtraPaletteItems.push_back(Large);
    Leaf->ExtraPaletteItems.push_back(TwoPart);
    FHost->Sheet->SetFocused(Leaf);
    Form = New<TPaletteForm>(nullptr);
    Form->SetBounds(0, 0, 1200, 100);
    Form->Show();
    Form->SetSheet(FHost->Sheet.get());
    Form->CtrlHeld = [this] { return CtrlHeld; };
    FHost->Sheet->SetActive(true);
  }
  void TearDown() override {
    if (Form) Form->Free();
    FHost.reset();
    FOptions->Free();
    FActions->Free();
    TStartedUnitsTest::TearDown();
  }

  static TSchemePaletteItem* Item(TPaletteGroup* AGroup, int AWeight, const std::u16string& AKey,
                                  TPaletteItemFlags AFlags = {}, int ACaption = IdPaletteInsert) {
    auto* item = new TSchemePaletteItem(AGroup, AWeight, ACaption, IdPaletteOtherHint, 0, AFlags);
    item->SetKeyText(AKey);
    return item;
  }

  // Presses a key with Ctrl held as the key hooks would pass it; true when the palette took it.
  // Presses or releases Ctrl as the form's 10 ms poll sees it.
  void SendCtrl(bool ADown) { CtrlHeld = ADown; }
  bool Type(uint16_t AKey) {
    uint16_t key = AKey;
    Form->KeyDown(key, {});
    return key == 0;
  }
  void CtrlDown() {
    uint16_t key = VK_CONTROL;
    Form->KeyDown(key, {});
  }
  void CtrlUp() {
    uint16_t key = VK_CONTROL;
    Form->KeyUp(key, {});
  }

  std::unique_ptr<TSheetHostFixture> FHost;
  TPaletteGroup* FActions = nullptr;
  TPaletteGroup* FOptions = nullptr;
  std::vector<TSchemePaletteItem*> Small;
  TSchemePaletteItem* Large = nullptr;
  TSchemePaletteItem* TwoPart = nullptr;
  TTestVisualLeaf* Leaf = nullptr;
  bool CtrlHeld = false;
  std::vector<std::u16string> Runs;
  TPaletteForm* Form = nullptr;
};

TEST_F(PaletteFormTest, WithTheSheetUnfocusedThePaletteShowsNoGroups) {
  EXPECT_EQ(Form->Groups().size(), 2u);
  FHost->Sheet->SetActive(false);
  EXPECT_TRUE(Form->Groups().empty());
  EXPECT_TRUE(Form->Buttons().empty());
  FHost->Sheet->SetActive(true);
  EXPECT_EQ(Form->Groups().size(), 2u);
}

TEST_F(PaletteFormTest, AClickRunsAfterTheButtonIsUpAndARebuildInBetweenDropsIt) {
  TUserButton* button = Form->ButtonOf(Small[0]);
  ASSERT_NE(button, nullptr);
  // The real mouse: nothing runs while the button is down.
  const POINT centre = button->ClientToScreen(POINT{button->Width() / 2, button->Height() / 2});
  SetCursorPos(centre.x, centre.y);
  Pump();
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &input, sizeof(input));
  PumpFor(50);
  EXPECT_TRUE(Runs.empty());
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof(input));
  PumpFor(50);
  EXPECT_EQ(Runs, (std::vector<std::u16string>{u"x:0 in update"}));

  Runs.clear();
  Form->ButtonOf(Small[0])->Click();
  Form->Rebuild(Form->CurrentElement());
  Pump();
  EXPECT_TRUE(Runs.empty());
}

TEST_F(PaletteFormTest, APostedRunWaitsForAnOpenUpdateOrUndoGroupAndIsDroppedWithTheForm) {
  struct Bracket {
    const char* Name;
    std::function<void()> Open;
    std::function<void()> Close;
  } brackets[] = {
      {"sheet update", [this] { FHost->Sheet->BeginUpdate(); }, [this] { FHost->Sheet->EndUpdate(); }},
      {"undo group", [this] { FHost->Scheme.BeginGroup(false, u"group"); }, [this] { FHost->Scheme.EndGroup(); }},
  };
  for (const Bracket& bracket : brackets) {
    Runs.clear();
    bracket.Open();
    Form->ButtonOf(Small[0])->Click();
    Pump();
    EXPECT_TRUE(Runs.empty()) << bracket.Name;
    bracket.Close();
    Pump();
    EXPECT_EQ(Runs.size(), 1u) << bracket.Name;
  }

  Runs.clear();
  Form->ButtonOf(Small[0])->Click();
  Form->Free();
  Form = nullptr;
  Pump();
  EXPECT_TRUE(Runs.empty());
}

TEST_F(PaletteFormTest, AMenuItemGetsItsSubCommandsAsDropDownAndContextMenuAndAnEntryRunsWithItsParameter) {
  auto* item = new TTestSubCommandItem(FOptions, 10, IdPaletteOther, IdPaletteOtherHint, 0, pfOpensMenu);
  Leaf->ExtraPaletteItems.push_back(item);
  Form->Rebuild(Form->CurrentElement());
  TUserButton* button = Form->ButtonOf(item);
  ASSERT_NE(button, nullptr);
  ASSERT_NE(button->DropdownMenu(), nullptr);
  EXPECT_EQ(button->PopupMenu(), button->DropdownMenu());
  EXPECT_EQ(button->SignAt(spRight), saArrowDown);
  TMenuItem* second = button->DropdownMenu()->Items()->Items(1);
  EXPECT_EQ(second->Caption(), u"Two");
  second->Click();
  EXPECT_TRUE(item->Parameters.empty());
  Pump();
  EXPECT_EQ(item->Parameters, (std::vector<std::u16string>{u"p2"}));
}

TEST_F(PaletteFormTest, WithSelectedChildrenAnItemRunsOnEachOfThemInOrder) {
  auto* box = AddVisual<TTestVisualGroup>(FHost->Root, 0, 100, 300, 100);
  box->SetVisualOptions(box->VisualOptions() | voSelectionContainer);
  for (const char16_t* text : {u"a", u"b"}) {
    auto* child = AddVisual<TTestVisualLeaf>(box, 0, text[0] == u'a' ? 0 : 30, 50, 20);
    child->SetText(text);
    child->PaletteRuns = &Runs;
    child->ExtraPaletteItems = {Small[0]};
    child->SetSelected(true);
  }
  FHost->Sheet->SetFocused(box);
  ASSERT_EQ(FHost->Sheet->Focused(), box);
  TUserButton* button = Form->ButtonOf(Small[0]);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(Form->ButtonOf(Small[1]), nullptr);
  button->Click();
  Pump();
  EXPECT_EQ(Runs, (std::vector<std::u16string>{u"a:0 in update", u"b:0 in update"}));
}

TEST_F(PaletteFormTest, CtrlTyping) {
  struct Case {
    const char* Name;
    std::vector<uint16_t> Keys;
    std::vector<bool> Taken;
    bool Release;  // release Ctrl through the key hook afterwards
    size_t RunsAfter;
  } cases[] = {
      {"a unique letter runs at once", {'L'}, {true}, false, 1},
      {"a prefix runs when Ctrl is released", {'N'}, {true}, true, 1},
      {"a prefix alone does not run", {'N'}, {true}, false, 0},
      {"two letters of a unique shortcut", {'N', 'A'}, {true, true}, false, 1},
      {"a prefix matching nothing lets the key go", {'Q'}, {false}, true, 0},
      {"a disabled complete shortcut beeps", {'D'}, {true}, false, 0},
      {"numpad and F keys never extend", {VK_NUMPAD1, 'l', VK_F1, 'z'}, {false, false, false, false}, true, 0},
  };
  // Ctrl held, so the 10 ms poll leaves Ctrl mode to the keys.
  SendCtrl(true);
  PumpFor(30);
  for (const Case& c : cases) {
    Runs.clear();
    CtrlDown();
    for (size_t i = 0; i < c.Keys.size(); ++i) EXPECT_EQ(Type(c.Keys[i]), c.Taken[i]) << c.Name << " key " << i;
    if (c.Release) CtrlUp();
    Pump();
    EXPECT_EQ(Runs.size(), c.RunsAfter) << c.Name;
    // Leave Ctrl mode for the next case without running what is left.
    uint16_t left = VK_LEFT;
    Form->KeyDown(left, {});
    EXPECT_FALSE(Form->InCtrlMode()) << c.Name;
  }
  SendCtrl(false);
  Pump();
}

TEST_F(PaletteFormTest, TheTenMillisecondPollRunsATypedPrefixOnceCtrlIsUp) {
  CtrlDown();
  EXPECT_TRUE(Type('N'));
  PumpFor(60);
  EXPECT_FALSE(Form->InCtrlMode());
  EXPECT_EQ(Runs.size(), 1u);
  EXPECT_EQ(Form->TypedPrefix(), u"");
}

TEST_F(PaletteFormTest, LabelsShowAfter550MillisecondsAndNarrowAsKeysAreTyped) {
  SendCtrl(true);
  CtrlDown();
  PumpFor(300);
  EXPECT_TRUE(Form->ShownShortcutLabels().empty());
  // The labels come with the 550 ms timer, however late a busy machine delivers it.
  for (const DWORD start = GetTickCount(); Form->ShownShortcutLabels().empty() && GetTickCount() - start < 60000;)
    Pump(1);
  EXPECT_EQ(Form->ShownShortcutLabels(), (std::vector<std::u16string>{u"D", u"L", u"N", u"NA"}));
  EXPECT_TRUE(Type('N'));
  EXPECT_EQ(Form->ShownShortcutLabels(), (std::vector<std::u16string>{u"N", u"NA"}));
  SendCtrl(false);
  CtrlUp();
  EXPECT_TRUE(Form->ShownShortcutLabels().empty());
  Pump();
  EXPECT_EQ(Runs.size(), 1u);
}

TEST_F(PaletteFormTest, CtrlTypingWorksWhileHiddenWithoutLabels) {
  Form->Hide();
  SendCtrl(true);
  CtrlDown();
  PumpFor(700);
  EXPECT_TRUE(Form->ShownShortcutLabels().empty());
  EXPECT_TRUE(Type('L'));
  SendCtrl(false);
  Pump();
  EXPECT_EQ(Runs.size(), 1u);
}

TEST_F(PaletteFormTest, HeightsFollowFromTheMeasuredZeroAndThePaddings) {
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, Screen->MessageFont().Handle());
  SIZE zero{};
  GetTextExtentPoint32W(dc, L"0", 1, &zero);
  DeleteDC(dc);
  const int row = std::max(SchemeSmallImages->Height(), static_cast<int>(zero.cy)) + 2 + 2;
  const int large = zero.cy + 4 + SchemeLargeImages->Height() + Form->ptrLargePaletteButton->Spacing() + 4;
  const TMargins& caption = Form->ptrPaletteGroupCaption->Padding();
  EXPECT_EQ(Form->FontHeight(), zero.cy);
  EXPECT_EQ(Form->RowHeight(), row);
  EXPECT_EQ(Form->GroupHeight(), std::max(large, 3 * row));
  EXPECT_EQ(Form->Height(), Form->GroupHeight() + 4 + zero.cy + caption.Top() + caption.Bottom() + 5);
}

TEST_F(PaletteFormTest, TheHintNamesTheShortcutAndTheDescription) {
  const TPaletteItemTune tune = GetItemTune(Small[0]);
  EXPECT_EQ(GetItemHint(tune), u"Insert (Ctrl+L)\r\nOther elements.");
  EXPECT_EQ(ShortcutKeyText(u" "), u"Space");
  EXPECT_EQ(Form->ButtonOf(Small[0])->Hint(), u"Insert (Ctrl+L)\r\nOther elements.");
}

TEST_F(PaletteFormTest, AButtonHintIsAnOwnedUntitledToolWindowThatHidesWithTheHint) {
  TUserButton* button = Form->ButtonOf(Small[0]);
  const POINT centre = button->ClientToScreen(POINT{button->Width() / 2, button->Height() / 2});
  SetCursorPos(centre.x, centre.y);
  Pump();
  Application->ActivateHint(centre);
  THintWindow* hint = Application->HintWindow();
  ASSERT_NE(dynamic_cast<TPaletteHintWindow*>(hint), nullptr);
  EXPECT_EQ(hint->Caption(), u"Insert (Ctrl+L)\r\nOther elements.");
  const HWND window = hint->Handle();
  ASSERT_TRUE(IsWindowVisible(window));
  // A taskbar lists the unowned top-level windows, by their titles.
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_NE(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(GetWindowTextLengthW(window), 0);
  Application->CancelHint();
  EXPECT_FALSE(IsWindow(window) && IsWindowVisible(window));
}

TEST_F(PaletteFormTest, UpdateButtonsEnablesFromTheItemStates) {
  EXPECT_TRUE(Form->ButtonOf(Small[0])->Enabled());
  EXPECT_FALSE(Form->ButtonOf(Small[3])->Enabled());
  Leaf->RefusesPaletteItems = true;
  Form->UpdateButtons();
  EXPECT_FALSE(Form->ButtonOf(Small[0])->Enabled());
}

// The pixels of ARect (client coordinates) as the form's window shows them, one 0x00RRGGBB value a pixel, row by
// row.
std::vector<uint32_t> ShownPixels(TPaletteForm& AForm, const RECT& ARect) {
  const int width = ARect.right - ARect.left, height = ARect.bottom - ARect.top;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HDC window = GetDC(AForm.Handle());
  BitBlt(memory, 0, 0, width, height, window, ARect.left, ARect.top, SRCCOPY);
  ReleaseDC(AForm.Handle(), window);
  GdiFlush();
  const auto* first = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> pixels(first, first + static_cast<size_t>(width) * static_cast<size_t>(height));
  for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  return pixels;
}

TEST_F(PaletteFormTest, WhenTheGroupsShrinkWhatLiesRightOfTheLastGroupShowsOnlyTheBackground) {
  Pump(200);
  const int before = Form->Groups().back().Panel->BoundsRect().right;
  // The focused element now offers one small item: one narrow group is left, in the first group's panel.
  Leaf->ExtraPaletteItems.clear();
  Leaf->ExtraPaletteItems.push_back(Small[0]);
  Form->Rebuild(Form->CurrentElement());
  ASSERT_EQ(Form->Groups().size(), 1u);
  const TPanelEx* panel = Form->Groups().front().Panel;
  const TUserButton* button = Form->ButtonOf(Small[0]);
  const RECT right{panel->Left() + button->BoundsRect().right, 0, before, Form->ClientHeight()};
  ASSERT_LT(right.left, right.right);
  Pump(200);
  const std::vector<uint32_t> shown = ShownPixels(*Form, right);
  // The background as a full repaint of the form and its panels draws it.
  RedrawWindow(Form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const std::vector<uint32_t> background = ShownPixels(*Form, right);
  ASSERT_EQ(shown.size(), background.size());
  size_t stale = 0;
  for (size_t i = 0; i < shown.size(); ++i) stale += shown[i] != background[i];
  EXPECT_EQ(stale, 0u) << "of " << shown.size() << " pixels right of x = " << right.left;
}

// What a narrowing window took from the palette so far, in the order the rule gives it up.
struct TSqueeze {
  int TrimmedPanels = 0;
  int SmallCaptionsLost = 0;
  int LargeCaptionsLost = 0;
  int SecondPartsHidden = 0;
};

TEST_F(PaletteFormTest, ANarrowingWindowTrimsPanelsThenSmallThenLargeCaptionsThenSecondParts) {
  ASSERT_FALSE(Form->Compacted());
  const TPanelEx* last = Form->Groups().back().Panel;
  const int full = last->Left() + last->Width();
  std::vector<TSqueeze> stages;
  for (int width = full; width > 40; width -= 4) {
    Form->SetBounds(0, 0, width, Form->Height());
    Form->Rebuild(Form->CurrentElement());
    TSqueeze s;
    for (const auto& group : Form->Groups())
      if (group.CaptionWidth == 0) ++s.TrimmedPanels;
    for (const auto& entry : Form->Buttons()) {
      const bool large = entry.Tune.Flags.Contains(ptLarge) && !entry.Tune.Flags.Contains(ptTwoPart);
      const bool small = !entry.Tune.Flags.Contains(ptLarge) && !entry.Tune.Flags.Contains(ptTwoPart);
      if (small && entry.Button->Caption().empty()) ++s.SmallCaptionsLost;
      if (large && entry.Button->Caption().empty()) ++s.LargeCaptionsLost;
      if (entry.SecondPart && !entry.Button->Visible()) ++s.SecondPartsHidden;
    }
    EXPECT_EQ(Form->Compacted(), width < full) << width;
    stages.push_back(s);
  }
  // Each stage starts only once the earlier ones are spent.
  for (const TSqueeze& s : stages) {
    if (s.SmallCaptionsLost) {
      EXPECT_EQ(s.TrimmedPanels, 2);
    }
    if (s.LargeCaptionsLost || s.SecondPartsHidden) {
      EXPECT_EQ(s.SmallCaptionsLost, 4);
    }
  }
  EXPECT_EQ(stages.back().LargeCaptionsLost, 1);
  EXPECT_EQ(stages.back().SecondPartsHidden, 1);
  // Small captions go column by column from the right: the last column (one button) first.
  bool sawOne = false;
  for (const TSqueeze& s : stages) sawOne = sawOne || s.SmallCaptionsLost == 1;
  EXPECT_TRUE(sawOne);
}

TEST(PaletteModel, NoItemShortcutStartsWithAnActionKeyOrAnEditKey) {
  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  std::vector<TNode*> pending{Palette.get()};
  while (!pending.empty()) {
    TNode* node = pending.back();
    pending.pop_back();
    for (TNode* child = node->FirstChild(); child; child = child->NextSibling()) pending.push_back(child);
    if (auto* item = dynamic_cast<TPaletteItem*>(node); item && !item->KeyText().empty()) {
      const char16_t first = item->KeyText().front();
      EXPECT_EQ(std::u16string(u"FHPRACSVXYZfhpracsvxyz").find(first), std::u16string::npos)
          << "caption id " << item->CaptionID();
    }
  }
  units.EndAll();
}

}  // namespace
