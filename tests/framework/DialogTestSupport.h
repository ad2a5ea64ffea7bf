// A second thread that plays the user of a system dialog: it waits until the test's thread shows a dialog
// window, then acts on it (fills it in, confirms it) while the test's thread runs the dialog's modal loop.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "foundation/cuWin32.h"

class TDialogDriver {
 public:
  TDialogDriver(DWORD AThread, std::function<void(HWND ADialog)> AAction, unsigned ATimeoutMs = 10000)
      : FThread([=, this] {
          const ULONGLONG end = GetTickCount64() + ATimeoutMs;
          while (GetTickCount64() < end && !FStop) {
            HWND dialog = nullptr;
            EnumThreadWindows(AThread, &TDialogDriver::FindDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog) {
              // The dialog fills its controls after it shows; give it a moment.
              Sleep(200);
              FFound = true;
              AAction(dialog);
              return;
            }
            Sleep(20);
          }
        }) {}
  ~TDialogDriver() {
    FStop = true;
    FThread.join();
  }
  TDialogDriver(const TDialogDriver&) = delete;
  TDialogDriver& operator=(const TDialogDriver&) = delete;

  bool Found() const { return FFound; }

 private:
  static BOOL CALLBACK FindDialog(HWND AWindow, LPARAM AParam) {
    wchar_t name[16];
    if (GetClassNameW(AWindow, name, 16) && std::wstring(name) == L"#32770" && IsWindowVisible(AWindow)) {
      *reinterpret_cast<HWND*>(AParam) = AWindow;
      return FALSE;
    }
    return TRUE;
  }

  std::atomic<bool> FStop{false};
  std::atomic<bool> FFound{false};
  std::thread FThread;
};
