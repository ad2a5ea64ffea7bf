// Shared pieces of the framework tests: the framework started around a test, pumping messages until a condition
// holds, and finding the message boxes this thread shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "foundation/cuWin32.h"
#include "framework/fwThemes.h"

// The application, screen, theme services and clipboard, started and ended in the program's order.
void StartFramework();
void EndFramework();

// Starts the framework for one test and ends it after it.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Real key presses through SendInput, so the key state is set as the shortcut walk reads it: the modifiers go down,
// each key is pressed and let go, then the modifiers are let go, last first. True when every event was queued.
bool SendKeys(std::initializer_list<uint16_t> AKeys, std::initializer_list<uint16_t> AModifiers = {});

// How long a test waits for an event before it takes the wait for a hang: far longer than a busy machine needs, so
// that it never decides a pass.
constexpr unsigned HangMs = 60000;

// Handles messages until ACondition holds or ATimeoutMs pass; returns whether it held.
bool PumpUntil(const std::function<bool()>& ACondition, unsigned ATimeoutMs = HangMs);

// Waits for AObject while handling this thread's messages (a clipboard owner must answer other processes
// meanwhile); true when it was signalled.
bool WaitPumping(HANDLE AObject, unsigned ATimeoutMs);

// A message box (dialog class "#32770") shown by this thread, nullptr when none.
HWND FindThreadMessageBox();
// The caption and text of a message box.
std::u16string WindowCaption(HWND AWindow);
std::u16string MessageBoxText(HWND ABox);

// Theme services that say visual styles are on and draw nothing: tests override what they watch.
class TStubThemeServices : public IThemeServices {
 public:
  bool Available() override { return true; }
  bool Enabled() override { return true; }
  void DrawElement(HDC, const TThemedElementDetails&, const RECT&, const RECT*) override {}
  RECT ContentRect(HDC, const TThemedElementDetails&, const RECT& ABounds) override { return ABounds; }
  bool HasTransparentParts(const TThemedElementDetails&) override { return false; }
  void DrawParentBackground(HWND, HDC, const RECT*) override {}
  void PaintBorder(HWND, bool) override {}
  void ThemeChanged() override {}
};
