// The drop-down element base: when its list opens, which keys it spends, and the beep of a refused choice.
#include "document/elements/diCustomElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diSheet.h"
#include "document/model/diSounds.h"
#include "foundation/cuKeys.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// A focusable element with choices "Yes" and "No"; it takes only "Yes".
class TTestChoice : public TCustomDropDownElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TTestChoice(TScheme* AScheme) : TCustomDropDownElement(AScheme) {
    SetVisualOptions(voClickFocus | voFocusable | voDropDown);
  }

  bool ApplyDropDownItem(TDropDownItem* AItem) override {
    Applied.push_back(AItem->Caption());
    return AItem->Caption() == u"Yes";
  }
  TDropDownItem* FillDropDown(TDropDownItem* ARoot) override {
    auto* yes = new TDropDownItem(ARoot->OwnerList(), ARoot);
    yes->SetCaption(u"Yes");
    auto* no = new TDropDownItem(ARoot->OwnerList(), ARoot);
    no->SetCaption(u"No");
    return Preselect == u"Yes" ? yes : Preselect == u"No" ? no : nullptr;
  }

  std::u16string Preselect;
  std::vector<std::u16string> Applied;
};

const TElementClassInfo TTestChoice::ClassInfo{u"TElement_TestChoice", &TCustomDropDownElement::ClassInfo,
                                               &ElementFactory<TTestChoice>};

struct TDropDownElementTest : TSheetHostFixture, ::testing::Test {
  TDropDownElementTest() {
    InitializeSoundsSettings();
    FPreviousSounds = SetSoundPlayer([](std::u16string_view) {});
    FPreviousBeeper = SetElementBeeper([this] { ++Beeps; });
    Choice = AddVisual<TTestChoice>(Root, 10, 20, 80, 16);
  }
  ~TDropDownElementTest() override {
    SetElementBeeper(std::move(FPreviousBeeper));
    SetSoundPlayer(std::move(FPreviousSounds));
    FinalizeSoundsSettings();
  }

  TTestChoice* Choice;
  int Beeps = 0;

 private:
  TSoundPlayer FPreviousSounds;
  TElementBeeper FPreviousBeeper;
};

TEST_F(TDropDownElementTest, EnterWithoutCtrlOpensTheListOverTheElementAndIsSpent) {
  Choice->Focus();
  Choice->Preselect = u"No";
  uint16_t key = vkReturn;
  Sheet->KeyDown(key, {skCtrl});
  EXPECT_EQ(Sheet->DropDown(), nullptr);
  EXPECT_EQ(key, vkReturn);

  key = vkReturn;
  Sheet->KeyDown(key, {});
  EXPECT_EQ(key, 0);
  ASSERT_NE(Sheet->DropDown(), nullptr);
  EXPECT_EQ(Sheet->DropDown()->Bounds(), (TRect{10, 20, 90, 36}));
  ASSERT_NE(Sheet->DropDown()->Selected(), nullptr);
  EXPECT_EQ(Sheet->DropDown()->Selected()->Caption(), u"No");

  char16_t ch = u'\r';
  Sheet->KeyPress(ch);
  EXPECT_EQ(ch, 0);
  ch = u'a';
  Choice->KeyPress(ch);
  EXPECT_EQ(ch, u'a');
}

TEST_F(TDropDownElementTest, WithoutAListEnterIsLeftToOthers) {
  Choice->SetVisualOptions(voClickFocus | voFocusable);
  Choice->Focus();
  uint16_t key = vkReturn;
  Sheet->KeyDown(key, {});
  EXPECT_EQ(key, vkReturn);
  char16_t ch = u'\r';
  Choice->KeyPress(ch);
  EXPECT_EQ(ch, u'\r');
  Choice->DblClick();
  EXPECT_EQ(Sheet->DropDown(), nullptr);
}

TEST_F(TDropDownElementTest, ARefusedChoiceBeepsAndATakenOneDoesNot) {
  struct Case {
    const char16_t* Row;
    int Beeps;
  } cases[] = {{u"Yes", 0}, {u"No", 1}};
  for (const Case& c : cases) {
    Beeps = 0;
    Choice->Applied.clear();
    Choice->Preselect = c.Row;
    Choice->DblClick();
    ASSERT_NE(Sheet->DropDown(), nullptr);
    Sheet->CloseDropDown(true);
    EXPECT_EQ(Choice->Applied, std::vector<std::u16string>{c.Row});
    EXPECT_EQ(Beeps, c.Beeps) << "row " << (c.Beeps ? "No" : "Yes");
  }
}

TEST_F(TDropDownElementTest, AListWhoseElementIsGoneBeepsInsteadOfApplying) {
  Choice->Preselect = u"Yes";
  Choice->OpenDropDown();
  ASSERT_NE(Sheet->DropDown(), nullptr);
  Choice->Destroy();
  Sheet->CloseDropDown(true);
  EXPECT_EQ(Beeps, 1);
}

TEST_F(TDropDownElementTest, ActivationOpensTheListOnlyWithTheSettingAndWithoutOptionBit9) {
  struct Case {
    bool Setting;
    bool NoDropDownOnActivation;
    bool Opens;
  } cases[] = {{true, false, true}, {false, false, false}, {true, true, false}};
  for (const Case& c : cases) {
    Sheet->SetFocused(nullptr);
    Sheet->CloseDropDown(false);
    Settings.DropDownOnFocusNew->SetValue(c.Setting);
    TVisualOptions options = voClickFocus | voFocusable | voDropDown;
    if (c.NoDropDownOnActivation) options.Include(voNoDropDownOnActivation);
    Choice->SetVisualOptions(options);
    EXPECT_TRUE(Choice->Activate());
    EXPECT_TRUE(Choice->IsFocused());
    EXPECT_EQ(Sheet->DropDown() != nullptr, c.Opens) << c.Setting << c.NoDropDownOnActivation;
  }
}

}  // namespace
