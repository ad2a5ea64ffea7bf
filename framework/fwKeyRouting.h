// Key and focus routing of windowed controls: the shortcut walk that runs before dispatch, the stages a key
// message passes (previewing forms, the control, dialog keys and characters, the default procedure) and the tab
// order the focus moves along. Window hooks made with TWindowSubclass need nothing from here.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/cuWin32.h"
#include "framework/fwMessages.h"

class TWinControl;

// The two passes of the shortcut walk: every action list on the way first, then the menus for their items that
// carry no action.
enum class TShortCutPass : uint8_t { spActions, spMenuItems };

// A component that answers shortcuts for the form that owns it (action lists, menus).
class IShortCutHandler {
 public:
  // True when something ran for the key: the key is consumed.
  virtual bool HandleShortCut(uint16_t AKey, TShiftState AShift, TShortCutPass APass) = 0;

 protected:
  ~IShortCutHandler() = default;
};

class TKeyRouting {
 public:
  // Puts the shortcut walk among the application's message hooks (stage 1 of the key routing). Action lists and
  // menus call it when they are made; it is there once however often it is called.
  static void InstallShortCuts();
  // The shortcut walk for a WM_KEYDOWN/WM_SYSKEYDOWN before it is translated: true when a handler took it.
  static bool ShortCut(const MSG& AMessage);

  // WM_KEYDOWN/WM_SYSKEYDOWN and WM_KEYUP/WM_SYSKEYUP reaching AControl's window.
  static void KeyDown(TWinControl& AControl, TKeyMessage& AMessage);
  static void KeyUp(TWinControl& AControl, TKeyMessage& AMessage);
  // WM_CHAR/WM_SYSCHAR reaching AControl's window.
  static void Char(TWinControl& AControl, TCharMessage& AMessage);

  // The windowed descendants of AContainer in tab order, each followed by its own.
  static void TabOrderList(const TWinControl& AContainer, std::vector<TWinControl*>& AList);
  // The next focusable descendant of AContainer after ACurrent in tab order (wrapping), or nil.
  static TWinControl* FindNext(const TWinControl& AContainer, TWinControl* ACurrent, bool AForward, bool ACheckTabStop,
                               bool ACheckParent);

 private:
  // The previewing forms of AControl's parent chain, outermost first.
  static std::vector<TWinControl*> Previewers(const TWinControl& AControl);
  static LRESULT DialogCode(TWinControl& AControl, const TMessage& AMessage);
  // Hands a key or character nobody consumed to the control's default procedure, as it is now.
  static void PassOn(TWinControl& AControl, TMessage& AMessage, WPARAM AValue);
};
