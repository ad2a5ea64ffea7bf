#include <gtest/gtest.h>

#include <vector>

#include "framework/fwApplication.h"
#include "framework/fwTimer.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

class TTickLog : public TObject {
 public:
  std::vector<ULONGLONG> Ticks;
  ULONGLONG Start = GetTickCount64();
  void Tick(TObject*) { Ticks.push_back(GetTickCount64() - Start); }
};

using TimerTest = FrameworkTest;

TEST_F(TimerTest, RunsOnlyWhileEnabledWithIntervalAndHandler) {
  TTickLog log;
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  EXPECT_FALSE(PumpUntil([&] { return !log.Ticks.empty(); }, 150));  // no handler yet
  timer->SetOnTimer(MakeMethod<&TTickLog::Tick>(&log));
  EXPECT_TRUE(PumpUntil([&] { return log.Ticks.size() >= 3; }));
  timer->SetEnabled(false);
  size_t count = log.Ticks.size();
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(log.Ticks.size(), count);
  timer->SetEnabled(true);
  timer->SetInterval(0);
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(log.Ticks.size(), count);
}

TEST_F(TimerTest, RestartPutsTheNextTickOneFullIntervalAway) {
  TTickLog log;
  auto* timer = new TTimer(Application);
  timer->SetInterval(400);
  timer->SetOnTimer(MakeMethod<&TTickLog::Tick>(&log));
  // No message is handled meanwhile, so no tick comes before the restart however long a busy machine sleeps.
  Sleep(250);
  ULONGLONG restartedAt = GetTickCount64() - log.Start;
  timer->Restart();
  ASSERT_TRUE(PumpUntil([&] { return !log.Ticks.empty(); }));
  // Without the restart the tick would have come at 400 ms; it comes a full interval after the restart.
  EXPECT_GE(log.Ticks[0], restartedAt + 380);
}

TEST_F(TimerTest, NewIntervalRestartsTheTimer) {
  TTickLog log;
  auto* timer = new TTimer(Application);
  timer->SetInterval(10 * HangMs);
  timer->SetOnTimer(MakeMethod<&TTickLog::Tick>(&log));
  timer->SetInterval(30);
  EXPECT_TRUE(PumpUntil([&] { return !log.Ticks.empty(); }));
}

class TSelfFreeing : public TObject {
 public:
  TTimer* Timer = nullptr;
  int Ticks = 0;
  void Tick(TObject* ASender) {
    ++Ticks;
    FreeAndNil(Timer);  // freed inside its own tick
  }
};

TEST_F(TimerTest, TimerMayBeFreedInItsOwnTick) {
  TSelfFreeing probe;
  probe.Timer = new TTimer(Application);
  probe.Timer->SetInterval(10);
  probe.Timer->SetOnTimer(MakeMethod<&TSelfFreeing::Tick>(&probe));
  ASSERT_TRUE(PumpUntil([&] { return probe.Timer == nullptr; }));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(probe.Ticks, 1);
  EXPECT_EQ(Application->ComponentCount(), 0);
}

class TModalProbe : public TObject {
 public:
  int TicksInBox = 0;
  void Tick(TObject*) {
    if (HWND box = FindThreadMessageBox()) {
      if (++TicksInBox == 3) PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
};

TEST_F(TimerTest, TicksArriveInsideModalLoops) {
  TModalProbe probe;
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  timer->SetOnTimer(MakeMethod<&TModalProbe::Tick>(&probe));
  EXPECT_EQ(Application->MessageBox(u"Waiting", u"", MB_OK), IDOK);
  EXPECT_EQ(probe.TicksInBox, 3);
}

}  // namespace
