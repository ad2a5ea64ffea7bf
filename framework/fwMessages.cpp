#include "framework/fwMessages.h"

TShiftState KeyDataToShiftState(LPARAM AKeyData) {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  if (AKeyData & (KF_ALTDOWN << 16)) shift |= ssAlt;
  return shift;
}

TShiftState KeysToShiftState(WPARAM AKeys) {
  TShiftState shift;
  if (AKeys & MK_SHIFT) shift |= ssShift;
  if (AKeys & MK_CONTROL) shift |= ssCtrl;
  if (AKeys & MK_LBUTTON) shift |= ssLeft;
  if (AKeys & MK_RBUTTON) shift |= ssRight;
  if (AKeys & MK_MBUTTON) shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}

TShiftState KeyboardShiftState() {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}
