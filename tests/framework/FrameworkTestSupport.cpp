#include "tests/framework/FrameworkTestSupport.h"

#include "framework/fwApplication.h"
#include "framework/fwClipboard.h"
#include "framework/fwScreen.h"
#include "framework/fwThemes.h"

#include <iterator>
#include <vector>

void StartFramework() {
  StartApplication();
  StartScreen();
  StartThemeServices();
  StartClipboard();
}

void EndFramework() {
  EndClipboard();
  EndThemeServices();
  EndScreen();
  EndApplication();
}

void FrameworkTest::SetUp() { StartFramework(); }

void FrameworkTest::TearDown() { EndFramework(); }

bool SendKeys(std::initializer_list<uint16_t> AKeys, std::initializer_list<uint16_t> AModifiers) {
  std::vector<INPUT> inputs;
  auto add = [&](uint16_t AVirtualKey, bool AUp) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = AVirtualKey;
    input.ki.dwFlags = AUp ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  for (uint16_t modifier : AModifiers) add(modifier, false);
  for (uint16_t key : AKeys) {
    add(key, false);
    add(key, true);
  }
  for (auto it = std::rbegin(AModifiers); it != std::rend(AModifiers); ++it) add(*it, true);
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool PumpUntil(const std::function<bool()>& ACondition, unsigned ATimeoutMs) {
  ULONGLONG end = GetTickCount64() + ATimeoutMs;
  while (!ACondition()) {
    if (GetTickCount64() >= end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

bool WaitPumping(HANDLE AObject, unsigned ATimeoutMs) {
  ULONGLONG end = GetTickCount64() + ATimeoutMs;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    DWORD result = MsgWaitForMultipleObjects(1, &AObject, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

namespace {
BOOL CALLBACK FindBox(HWND AWindow, LPARAM AParam) {
  wchar_t name[16];
  if (GetClassNameW(AWindow, name, 16) && std::wstring(name) == L"#32770" && IsWindowVisible(AWindow)) {
    *reinterpret_cast<HWND*>(AParam) = AWindow;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindThreadMessageBox() {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

std::u16string WindowCaption(HWND AWindow) {
  wchar_t buffer[512];
  int n = GetWindowTextW(AWindow, buffer, 512);
  return FromWide(buffer, n);
}

std::u16string MessageBoxText(HWND ABox) {
  wchar_t buffer[1024];
  UINT n = GetDlgItemTextW(ABox, 0xFFFF, buffer, 1024);  // the static that holds a message box's text
  return FromWide(buffer, n);
}
