#include "app/unStartup.h"

#include <exception>
#include <utility>

TStartupList::TStartupList(std::vector<TStartupStep> steps) : steps_(std::move(steps)) {}

TStartupList::~TStartupList() {
  try {
    EndAll();
  } catch (...) {
    // Destruction runs while an exception may already be unwinding; the explicit EndAll reports errors.
  }
}

void TStartupList::StartAll() {
  while (started_ < static_cast<int>(steps_.size())) {
    const TStartupStep& step = steps_[started_];
    try {
      if (step.Start) step.Start();
    } catch (...) {
      EndAll();
      throw;
    }
    ++started_;
  }
}

void TStartupList::EndAll() {
  std::exception_ptr first;
  while (started_ > 0) {
    const TStartupStep& step = steps_[--started_];
    try {
      if (step.End) step.End();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

std::vector<TStartupStep> ProgramStartupSteps() {
  return {};
}
