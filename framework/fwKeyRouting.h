// Key and focus routing of windowed controls: the stages a key message passes (previewing forms, the control,
// dialog keys and characters, the default procedure) and the tab order the focus moves along. The stages before
// dispatch (the application's message hooks, window hooks made with TWindowSubclass) need nothing from here.
#pragma once

#include <vector>

#include "framework/fwMessages.h"

class TWinControl;

class TKeyRouting {
public:
  // WM_KEYDOWN/WM_SYSKEYDOWN and WM_KEYUP/WM_SYSKEYUP reaching AControl's window.
  static void KeyDown(TWinControl& AControl, TKeyMessage& AMessage);
  static void KeyUp(TWinControl& AControl, TKeyMessage& AMessage);
  // WM_CHAR/WM_SYSCHAR reaching AControl's window.
  static void Char(TWinControl& AControl, TCharMessage& AMessage);

  // The windowed descendants of AContainer in tab order, each followed by its own.
  static void TabOrderList(const TWinControl& AContainer, std::vector<TWinControl*>& AList);
  // The next focusable descendant of AContainer after ACurrent in tab order (wrapping), or nil.
  static TWinControl* FindNext(const TWinControl& AContainer, TWinControl* ACurrent, bool AForward,
                               bool ACheckTabStop, bool ACheckParent);

private:
  // The previewing forms of AControl's parent chain, outermost first.
  static std::vector<TWinControl*> Previewers(const TWinControl& AControl);
  static LRESULT DialogCode(TWinControl& AControl, const TMessage& AMessage);
  // Hands a key or character nobody consumed to the control's default procedure, as it is now.
  static void PassOn(TWinControl& AControl, TMessage& AMessage, WPARAM AValue);
};
