#include "controls/baEdits.h"

#include <limits>
#include <string>

#include "foundation/cuWin32.h"

namespace {

constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();

int64_t Saturate(__int128 AValue) {
  if (AValue > Int64Max) return Int64Max;
  if (AValue < Int64Min) return Int64Min;
  return static_cast<int64_t>(AValue);
}

std::u16string DecimalText(int64_t AValue) {
  std::string s = std::to_string(AValue);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

bool ParseInt64Saturated(std::u16string_view AText, int64_t& AValue) {
  size_t i = 0;
  bool negative = false;
  if (i < AText.size() && (AText[i] == u'+' || AText[i] == u'-')) negative = AText[i++] == u'-';
  if (i == AText.size()) return false;
  __int128 v = 0;
  for (; i < AText.size(); ++i) {
    char16_t c = AText[i];
    if (c < u'0' || c > u'9') return false;
    // Past the limits the digits still have to be digits, but the value stays saturated.
    if (v <= Int64Max) v = v * 10 + (c - u'0');
  }
  AValue = Saturate(negative ? -v : v);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------

TCustomNumberEdit::TCustomNumberEdit(TComponent* AOwner) : TCustomEdit(AOwner) { SetText(u"0"); }

void TCustomNumberEdit::SetOptions(TNumberEditOptions AValue) {
  bool buttons = FOptions.Contains(eoNoButtons) != AValue.Contains(eoNoButtons);
  FOptions = AValue;
  if (buttons) UpdateButtons();
}

void TCustomNumberEdit::UpdateButtons() {
  HWND window = HandleIfAllocated();
  if (!window) return;
  if (FOptions.Contains(eoNoButtons))
    SetScrollRange(window, SB_VERT, 0, 0, TRUE);
  else
    SetScrollRange(window, SB_VERT, -1, 1, TRUE);
}

void TCustomNumberEdit::CreateParams(TCreateParams& AParams) {
  TCustomEdit::CreateParams(AParams);
  if (!FOptions.Contains(eoNoButtons)) AParams.Style |= WS_VSCROLL;
}

void TCustomNumberEdit::CreateWnd() {
  TCustomEdit::CreateWnd();
  UpdateButtons();
}

void TCustomNumberEdit::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == WM_VSCROLL) {
    AMessage.Answer();
    if (ReadOnly() && !FOptions.Contains(eoButtonsNotReadOnly)) return;
    switch (LOWORD(AMessage.WParam)) {
      case SB_LINEUP:
        StepUp(1);
        break;
      case SB_LINEDOWN:
        StepDown(1);
        break;
      default:
        break;
    }
    if (CanFocus()) SetFocus();
    return;
  }
  TCustomEdit::WndProc(AMessage);
}

void TCustomNumberEdit::KeyDown(uint16_t& AKey, TShiftState AShift) {
  TCustomEdit::KeyDown(AKey, AShift);
  switch (AKey) {
    case VK_PRIOR:
      StepUp(10);
      break;
    case VK_NEXT:
      StepDown(10);
      break;
    case VK_UP:
      StepUp(1);
      break;
    case VK_DOWN:
      StepDown(1);
      break;
    default:
      return;
  }
  AKey = 0;
}

void TCustomNumberEdit::KeyPress(char16_t& AKey) {
  TCustomEdit::KeyPress(AKey);
  if (AKey != 0 && !IsValidChar(AKey)) {
    AKey = 0;
    MessageBeep(0);
  }
}

void TCustomNumberEdit::DoExit() {
  GetIntValue();
  TCustomEdit::DoExit();
}

// ---------------------------------------------------------------------------------------------------------------

TIntegerEdit::TIntegerEdit(TComponent* AOwner) : TCustomNumberEdit(AOwner) {}

int64_t TIntegerEdit::Clamp(int64_t AValue) const {
  if (FMinValue == FMaxValue) return AValue;
  if (AValue < FMinValue) return FMinValue;
  if (AValue > FMaxValue) return FMaxValue;
  return AValue;
}

int64_t TIntegerEdit::Value() {
  std::u16string text = Text();
  int64_t parsed = 0;
  bool number = ParseInt64Saturated(text, parsed);
  int64_t result = Clamp(number ? parsed : 0);
  if ((!number || result != parsed) && !Focused()) SetText(DecimalText(result));
  return result;
}

void TIntegerEdit::SetValue(int64_t AValue) { SetText(DecimalText(Clamp(AValue))); }

bool TIntegerEdit::IsValidChar(char16_t& AKey) {
  if (AKey >= u'0' && AKey <= u'9') return true;
  if (AKey == u'+' || AKey == u'-') return true;
  return AKey < 32 && AKey != u'\r';
}

int32_t TIntegerEdit::GetIntValue() {
  int64_t v = Value();
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

void TIntegerEdit::Step(int64_t ADelta, int64_t ARollTo) {
  __int128 target = static_cast<__int128>(Value()) + ADelta;
  // Wrapping needs a range: without one there is no other end to continue at.
  if (Options().Contains(eoRoller) && FMinValue != FMaxValue &&
      (ADelta > 0 ? target > FMaxValue : target < FMinValue)) {
    SetValue(ARollTo);
    return;
  }
  int64_t v = Saturate(target);
  // An increment of 0 has no multiples to round to.
  if (Options().Contains(eoButtonsRound) && FIncrement != 0) v = v / FIncrement * FIncrement;
  SetValue(v);
}

void TIntegerEdit::StepUp(int ACount) { Step(Saturate(static_cast<__int128>(FIncrement) * ACount), FMinValue); }

void TIntegerEdit::StepDown(int ACount) { Step(Saturate(-static_cast<__int128>(FIncrement) * ACount), FMaxValue); }
