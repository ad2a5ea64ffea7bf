// The graphics start-up the program runs, once for the whole test executable.
#include <gtest/gtest.h>

#include "graphics/images/umGDIPlus.h"

namespace {

class TGraphicsEnvironment : public ::testing::Environment {
public:
  void SetUp() override { InitializeGdiPlus(); }
  void TearDown() override { FinalizeGdiPlus(); }
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TGraphicsEnvironment);

}  // namespace
