// Shared pieces of the control and form tests: a journal of what happened, keys posted through the loop, forms
// shown and activated, and forms owned by a test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/fwApplication.h"
#include "framework/fwForms.h"
#include "tests/framework/FrameworkTestSupport.h"

using TJournal = std::vector<std::string>;

// A form freed at the end of a test (its window with it).
template <class T>
using TFormPtr = std::unique_ptr<T, TComponentDeleter>;

template <class T, class... TArgs>
TFormPtr<T> MakeForm(TArgs&&... AArgs) {
  T* form = nullptr;
  NewInto(form, nullptr, std::forward<TArgs>(AArgs)...);
  return TFormPtr<T>(form);
}

// The key data of a key message: repeat count 1, the key's scan code, Alt held or not.
inline LPARAM KeyData(UINT AKey, bool AAlt = false) {
  LPARAM data = 1 | (static_cast<LPARAM>(MapVirtualKeyW(AKey, MAPVK_VK_TO_VSC)) << 16);
  if (AAlt) data |= LPARAM(1) << 29;
  return data;
}

// Posts a key press to AWindow and lets the application's loop handle it (translation into characters
// included), then the release.
inline void PressKey(HWND AWindow, UINT AKey, bool AAlt = false) {
  PostMessageW(AWindow, AAlt ? WM_SYSKEYDOWN : WM_KEYDOWN, AKey, KeyData(AKey, AAlt));
  Application->ProcessMessages();
  PostMessageW(AWindow, AAlt ? WM_SYSKEYUP : WM_KEYUP, AKey, KeyData(AKey, AAlt) | (LPARAM(3) << 30));
  Application->ProcessMessages();
}

// Shows a form and waits until its window is active. (Under Wine without a window manager, hiding or destroying a
// shown top-level window waits about 2 s for the withdrawal: keep the number of shown forms per test small.)
inline bool ShowActive(TCustomForm& AForm) {
  AForm.Show();
  SetForegroundWindow(AForm.Handle());
  return PumpUntil([&] { return AForm.Active(); });
}

// A suite whose tests share one shown form, so its window is put away once per suite rather than once per test.
// The framework runs for the whole suite. Before every test the form rebuilds what it holds for the journal
// (TFormClass(owner, journal) and Rebuild(journal)), is shown and active, the pointer is parked away from it and
// the messages this caused are handled. Tests that need a form of their own make one as usual.
template <class TFormClass>
class SharedFormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartFramework(); }
  static void TearDownTestSuite() {
    FreeAndNil(FShared);
    EndFramework();
  }
  void SetUp() override {
    if (!FShared) NewInto(FShared, nullptr, &journal);
    FShared->Rebuild(&journal);
    form = FShared;
    ASSERT_TRUE(ShowActive(*form));
    SetCursorPos(0, 0);
    Application->ProcessMessages();
    journal.clear();
  }

  // Lives as long as the shared form: what one test put on it still writes here while the next test's Rebuild
  // or the suite's end frees it (a focused control that goes hears the focus move), after that test's fixture
  // is gone.
  static inline TJournal journal;
  TFormClass* form = nullptr;

 private:
  static inline TFormClass* FShared = nullptr;
};
