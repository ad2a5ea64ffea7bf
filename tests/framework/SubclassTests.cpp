// Window hooks through id-based subclassing: hooks stack (the latest sees a message first), come off in any
// order, stop an exception at the boundary and leave with their window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/fwApplication.h"
#include "framework/fwSubclass.h"
#include "framework/fwUtilityWindow.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

using SubclassTest = FrameworkTest;

constexpr UINT kProbe = WM_APP + 11;

struct THookJournal : public TObject {
  std::vector<std::string> Entries;
  std::vector<std::u16string> Reports;
  std::string Answering;  // the hook that answers kProbe (none: every hook passes it on)
  std::string Throwing;   // the hook that raises on kProbe

  void See(const char* AName, TMessage& AMessage) {
    if (AMessage.Msg != kProbe) return;
    Entries.push_back(AName);
    if (Throwing == AName) throw Exception(u"Broken hook");
    if (Answering == AName) AMessage.Answer(42);
  }
  void First(TMessage& AMessage) { See("first", AMessage); }
  void Second(TMessage& AMessage) { See("second", AMessage); }
  void Third(TMessage& AMessage) { See("third", AMessage); }
  void Window(TMessage& AMessage) {
    if (AMessage.Msg != kProbe) return;
    Entries.push_back("window");
    AMessage.Answer(7);
  }
  void Report(TObject*, const std::u16string& AMessage) { Reports.push_back(AMessage); }
};

using THook = std::unique_ptr<TWindowSubclass>;

THook Hook(HWND AWindow, THookJournal& AJournal, void (THookJournal::*AWhich)(TMessage&)) {
  if (AWhich == &THookJournal::First)
    return std::make_unique<TWindowSubclass>(AWindow, MakeMethod<&THookJournal::First>(&AJournal));
  if (AWhich == &THookJournal::Second)
    return std::make_unique<TWindowSubclass>(AWindow, MakeMethod<&THookJournal::Second>(&AJournal));
  return std::make_unique<TWindowSubclass>(AWindow, MakeMethod<&THookJournal::Third>(&AJournal));
}

TEST_F(SubclassTest, HooksStackLatestFirstAndComeOffInAnyOrder) {
  THookJournal journal;
  TUtilityWindow target(MakeMethod<&THookJournal::Window>(&journal), TUtilityWindow::TKind::ukMessageOnly);
  const HWND window = target.Handle();
  struct TCase {
    int Removed;  // index of the hook taken off first (0: first installed)
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {0, {"third", "second", "window"}},
      {1, {"third", "first", "window"}},
      {2, {"second", "first", "window"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Removed);
    THook hooks[] = {Hook(window, journal, &THookJournal::First), Hook(window, journal, &THookJournal::Second),
                     Hook(window, journal, &THookJournal::Third)};
    journal.Entries.clear();
    EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 7);
    EXPECT_EQ(journal.Entries, (std::vector<std::string>{"third", "second", "first", "window"}));
    hooks[c.Removed].reset();
    journal.Entries.clear();
    EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 7);
    EXPECT_EQ(journal.Entries, c.Expected);
  }
  // All off: the window's own procedure alone.
  journal.Entries.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 7);
  EXPECT_EQ(journal.Entries, (std::vector<std::string>{"window"}));
}

TEST_F(SubclassTest, AnAnsweringHookEndsTheMessageWithItsResult) {
  THookJournal journal;
  TUtilityWindow target(MakeMethod<&THookJournal::Window>(&journal), TUtilityWindow::TKind::ukMessageOnly);
  THook first = Hook(target.Handle(), journal, &THookJournal::First);
  THook second = Hook(target.Handle(), journal, &THookJournal::Second);
  journal.Answering = "second";
  EXPECT_EQ(SendMessageW(target.Handle(), kProbe, 0, 0), 42);
  EXPECT_EQ(journal.Entries, (std::vector<std::string>{"second"}));
}

TEST_F(SubclassTest, AnExceptionStopsAtTheHookAndIsReported) {
  THookJournal journal;
  Application->OnException = MakeMethod<&THookJournal::Report>(&journal);
  TUtilityWindow target(MakeMethod<&THookJournal::Window>(&journal), TUtilityWindow::TKind::ukMessageOnly);
  THook first = Hook(target.Handle(), journal, &THookJournal::First);
  THook second = Hook(target.Handle(), journal, &THookJournal::Second);
  journal.Throwing = "second";
  EXPECT_EQ(SendMessageW(target.Handle(), kProbe, 0, 0), 0);
  EXPECT_EQ(journal.Entries, (std::vector<std::string>{"second"}));
  EXPECT_EQ(journal.Reports, (std::vector<std::u16string>{u"Broken hook"}));
  Application->OnException = TExceptionEvent();
}

TEST_F(SubclassTest, AHookLeavesWithItsWindow) {
  THookJournal journal;
  auto target = std::make_unique<TUtilityWindow>(MakeMethod<&THookJournal::Window>(&journal),
                                                 TUtilityWindow::TKind::ukMessageOnly);
  THook hook = Hook(target->Handle(), journal, &THookJournal::First);
  EXPECT_EQ(hook->Window(), target->Handle());
  target.reset();
  EXPECT_EQ(hook->Window(), nullptr);
}

}  // namespace
