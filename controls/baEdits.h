// Number edits: a single-line edit for whole numbers with spin buttons, arrow and page keys, optional
// wrap-around and rounding to the step.
#pragma once

#include <cstdint>

#include "foundation/cuSet.h"
#include "framework/fwStdCtrls.h"

enum class TNumberEditOption : uint8_t {
  eoRoller = 0x01,              // stepping past one end continues at the other
  eoNoButtons = 0x02,           // no spin buttons
  eoButtonsNotReadOnly = 0x04,  // the spin buttons work even when the edit is read-only
  eoButtonsRound = 0x08,        // a stepped value is rounded to a multiple of the increment
};
constexpr bool IsFlagFamily(TNumberEditOption) { return true; }
using enum TNumberEditOption;
using TNumberEditOptions = TSet<TNumberEditOption>;

// The spin buttons are the window's own vertical scroll bar with the range -1 .. 1.
class TCustomNumberEdit : public TCustomEdit {
 public:
  explicit TCustomNumberEdit(TComponent* AOwner);

  TNumberEditOptions Options() const { return FOptions; }
  void SetOptions(TNumberEditOptions AValue);

  // Whether a typed character may go into the text; a refused one is dropped with a beep.
  virtual bool IsValidChar(char16_t& AKey) = 0;
  virtual int32_t GetIntValue() = 0;
  virtual void StepDown(int ACount) = 0;
  virtual void StepUp(int ACount) = 0;

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void WndProc(TMessage& AMessage) override;
  void KeyDown(uint16_t& AKey, TShiftState AShift) override;
  void KeyPress(char16_t& AKey) override;
  void DoExit() override;

 private:
  void UpdateButtons();

  TNumberEditOptions FOptions;
};

// Steps and text conversion saturate at the 64-bit limits: a typed number beyond them reads as the limit.
class TIntegerEdit : public TCustomNumberEdit {
 public:
  explicit TIntegerEdit(TComponent* AOwner);

  // The text as a number (0 when it is none), clamped to the range; the text of an edit without the focus is
  // rewritten when it did not show that number.
  int64_t Value();
  void SetValue(int64_t AValue);
  // MinValue = MaxValue means no range.
  int64_t MinValue() const { return FMinValue; }
  void SetMinValue(int64_t AValue) { FMinValue = AValue; }
  int64_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int64_t AValue) { FMaxValue = AValue; }
  int64_t Increment() const { return FIncrement; }
  void SetIncrement(int64_t AValue) { FIncrement = AValue; }

  bool IsValidChar(char16_t& AKey) override;
  // Value saturated to 32 bits.
  int32_t GetIntValue() override;
  void StepDown(int ACount) override;
  void StepUp(int ACount) override;

 private:
  int64_t Clamp(int64_t AValue) const;
  void Step(int64_t ADelta, int64_t ARollTo);

  int64_t FMinValue = 0;
  int64_t FMaxValue = 2147483647;
  int64_t FIncrement = 1;
};

// The text as a 64-bit number: an optional sign and decimal digits, saturated at the limits; false for anything
// else.
bool ParseInt64Saturated(std::u16string_view AText, int64_t& AValue);
