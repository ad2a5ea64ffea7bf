#pragma once
// The program's start-up and shut-down as one explicit ordered list: each unit's start runs in list order before
// the message loop, each end in reverse order after it. No unit relies on static initialisation order.

#include <functional>
#include <string>
#include <vector>

struct TStartupStep {
  const char* Name;
  std::function<void()> Start;
  std::function<void()> End;  // may be empty
};

class TStartupList {
 public:
  explicit TStartupList(std::vector<TStartupStep> steps);
  ~TStartupList();  // ends whatever was started
  TStartupList(const TStartupList&) = delete;
  TStartupList& operator=(const TStartupList&) = delete;

  // Starts every step in order. A step that raises ends the steps already started (in reverse) and re-raises.
  void StartAll();
  // Ends the started steps in reverse order; an end that raises does not stop the others, the first error is re-raised.
  void EndAll();
  int StartedCount() const { return started_; }

 private:
  std::vector<TStartupStep> steps_;
  int started_ = 0;
};

// The steps of Quillbox.exe, in order.
std::vector<TStartupStep> ProgramStartupSteps();
