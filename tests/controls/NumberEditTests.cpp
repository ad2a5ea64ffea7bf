// The integer edit on a shown form, driven by posted keys and scroll messages: stepping with and without
// wrap-around and rounding, text that is no number, refused characters, the spin buttons' range, read-only
// spinning and steps at the 64-bit limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "controls/baEdits.h"
#include "framework/fwStdCtrls.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class TEditForm : public TForm {
 public:
  TEditForm(TComponent* AOwner, TJournal*) : TForm(AOwner) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 240, 120);
  }
  void Rebuild(TJournal*) {
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
    NewInto(Edit, this);
    Edit->SetParent(this);
    NewInto(Other, this);
    Other->SetTop(40);
    Other->SetParent(this);
  }
  TIntegerEdit* Edit = nullptr;
  TEdit* Other = nullptr;
};

using NumberEditTest = SharedFormTest<TEditForm>;

constexpr int64_t Max64 = std::numeric_limits<int64_t>::max();
constexpr int64_t Min64 = std::numeric_limits<int64_t>::min();

std::pair<int, int> ScrollRange(HWND AWindow) {
  int low = 99, high = 99;
  GetScrollRange(AWindow, SB_VERT, &low, &high);
  return {low, high};
}

void Scroll(HWND AWindow, WORD ACode) {
  PostMessageW(AWindow, WM_VSCROLL, ACode, 0);
  Application->ProcessMessages();
}

}  // namespace

TEST_F(NumberEditTest, KeysStepWithinTheRangeWrapWithTheRollerAndRoundToTheIncrement) {
  struct Case {
    int64_t Min, Max, Increment;
    TNumberEditOptions Options;
    int64_t Start;
    UINT Key;
    int64_t Expected;
  };
  const Case cases[] = {
      {1, 20, 1, {}, 20, VK_UP, 20},
      {1, 20, 1, eoRoller, 20, VK_UP, 1},
      {1, 20, 1, eoRoller, 1, VK_DOWN, 20},
      {1, 20, 1, {}, 1, VK_DOWN, 1},
      {1, 500, 10, eoButtonsRound, 47, VK_UP, 50},
      {1, 500, 10, eoButtonsRound, 47, VK_DOWN, 30},
      {1, 500, 10, {}, 47, VK_UP, 57},
      {0, 2147483647, 1, {}, 3, VK_PRIOR, 13},
      {0, 2147483647, 1, {}, 13, VK_NEXT, 3},
      // An increment of 0 has nothing to round to.
      {0, 100, 0, eoButtonsRound, 7, VK_UP, 7},
  };
  TIntegerEdit* edit = form->Edit;
  edit->SetFocus();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Min << ".." << c.Max << " by " << c.Increment << " from " << c.Start);
    edit->SetMinValue(c.Min);
    edit->SetMaxValue(c.Max);
    edit->SetIncrement(c.Increment);
    edit->SetOptions(c.Options);
    edit->SetValue(c.Start);
    PressKey(edit->Handle(), c.Key);
    EXPECT_EQ(edit->Value(), c.Expected);
  }
}

TEST_F(NumberEditTest, TextThatIsNoNumberReadsAsTheClampedZeroAndLettersAreRefused) {
  TIntegerEdit* edit = form->Edit;
  EXPECT_EQ(edit->Text(), u"0");
  edit->SetMinValue(5);
  edit->SetMaxValue(10);
  edit->SetText(u"abc");
  EXPECT_EQ(edit->Value(), 5);
  EXPECT_EQ(edit->Text(), u"5");

  edit->SetFocus();
  SendMessageW(edit->Handle(), EM_SETSEL, 1, 1);
  PressKey(edit->Handle(), 'A');
  EXPECT_EQ(edit->Text(), u"5");
  PressKey(edit->Handle(), '7');
  EXPECT_EQ(edit->Text(), u"57");

  // Focused, the text is left as typed; leaving the edit normalises it once the focus has moved.
  EXPECT_EQ(edit->Value(), 10);
  EXPECT_EQ(edit->Text(), u"57");
  form->Other->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return form->Other->Focused(); }, 2000));
  EXPECT_EQ(edit->Text(), u"10");
}

TEST_F(NumberEditTest, TheSpinButtonsStepUnlessReadOnlyAndHideWithNoButtons) {
  TIntegerEdit* edit = form->Edit;
  edit->SetMaxValue(100);
  edit->SetValue(10);
  EXPECT_EQ(ScrollRange(edit->Handle()), std::make_pair(-1, 1));
  Scroll(edit->Handle(), SB_LINEUP);
  EXPECT_EQ(edit->Value(), 11);
  EXPECT_TRUE(edit->Focused());
  Scroll(edit->Handle(), SB_LINEDOWN);
  EXPECT_EQ(edit->Value(), 10);

  edit->SetReadOnly(true);
  Scroll(edit->Handle(), SB_LINEUP);
  EXPECT_EQ(edit->Value(), 10);
  edit->SetOptions(eoButtonsNotReadOnly);
  Scroll(edit->Handle(), SB_LINEUP);
  EXPECT_EQ(edit->Value(), 11);

  edit->SetOptions(eoNoButtons);
  EXPECT_EQ(ScrollRange(edit->Handle()), std::make_pair(0, 0));
  edit->SetOptions({});
  EXPECT_EQ(ScrollRange(edit->Handle()), std::make_pair(-1, 1));
}

TEST_F(NumberEditTest, StepsAndTextSaturateAtTheLimits) {
  struct Case {
    const char16_t* Text;
    bool Number;
    int64_t Value;
  };
  const Case texts[] = {
      {u"42", true, 42},
      {u"+7", true, 7},
      {u"-0", true, 0},
      {u"9223372036854775807", true, Max64},
      {u"99999999999999999999999", true, Max64},
      {u"-9223372036854775808", true, Min64},
      {u"-99999999999999999999999", true, Min64},
      {u"", false, 0},
      {u"-", false, 0},
      {u"1 2", false, 0},
      {u"0x10", false, 0},
  };
  for (const Case& c : texts) {
    int64_t value = -1;
    EXPECT_EQ(ParseInt64Saturated(c.Text, value), c.Number) << std::string(c.Text, c.Text + std::char_traits<char16_t>::length(c.Text));
    if (c.Number) {
      EXPECT_EQ(value, c.Value);
    }
  }

  TIntegerEdit* edit = form->Edit;
  edit->SetMinValue(Min64);
  edit->SetMaxValue(Max64);
  edit->SetIncrement(Max64 / 2);
  edit->SetValue(Max64 - 5);
  edit->StepUp(10);
  EXPECT_EQ(edit->Value(), Max64);
  edit->SetValue(Min64 + 5);
  edit->StepDown(10);
  EXPECT_EQ(edit->Value(), Min64);
  edit->SetOptions(eoRoller);
  edit->StepDown(1);
  EXPECT_EQ(edit->Value(), Max64);

  edit->SetValue(5000000000);
  EXPECT_EQ(edit->GetIntValue(), 2147483647);
  edit->SetValue(-5000000000);
  EXPECT_EQ(edit->GetIntValue(), -2147483647 - 1);
}
