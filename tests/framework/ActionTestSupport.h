// Shared pieces of the action and menu tests: keys typed through SendInput (so Ctrl, Shift and Alt are really
// held) and the application's own loop pumped until they arrived, idle rounds, and handlers that write down who
// ran.
#pragma once

#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "framework/fwActions.h"
#include "tests/framework/FormTestSupport.h"
#include "tests/framework/FrameworkTestSupport.h"

inline std::string Utf8(const std::u16string& AText) { return std::string(AText.begin(), AText.end()); }

// Handles messages through the application (its message hooks included) until ACondition holds or the time is up.
inline bool PumpApplication(const std::function<bool()>& ACondition, unsigned ATimeoutMs = HangMs) {
  const ULONGLONG end = GetTickCount64() + ATimeoutMs;
  for (;;) {
    Application->ProcessMessages();
    if (ACondition()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Handles messages until no input waits for this thread. Wine queues input before SendInput returns, and what the
// loop posts while it handles the input it handles in the same round.
inline void HandleInput() {
  PumpApplication([] { return HIWORD(GetQueueStatus(QS_INPUT)) == 0; });
}

// Presses the modifiers, the key, then lets everything go (last modifier first), and handles messages until the
// messages this causes are handled.
inline bool TypeKeys(uint16_t AKey, std::initializer_list<uint16_t> AModifiers = {}) {
  if (!SendKeys({AKey}, AModifiers)) return false;
  HandleInput();
  return true;
}

// One idle round of the application: the idle handlers run, then a timer ends the wait that follows.
inline void RunIdle() {
  Application->ProcessMessages();
  const UINT_PTR timer = SetTimer(nullptr, 0, 1, nullptr);
  Application->HandleMessage();
  KillTimer(nullptr, timer);
  Application->ProcessMessages();
}

// An action handler that writes down the sender's name ("nil" without one).
struct TRunJournal : public TObject {
  explicit TRunJournal(TJournal* AJournal) : Journal(AJournal) {}
  void Executed(TObject* ASender) {
    auto* component = dynamic_cast<TComponent*>(ASender);
    Journal->push_back(component ? Utf8(component->Name()) : "nil");
  }
  TJournal* Journal;
};
