// The graphics start-up the program runs, in its order, once for the whole test executable; ended in reverse.
#include <gtest/gtest.h>

#include "graphics/images/umGDIPlus.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "graphics/pixels/pxTextGDI.h"

namespace {

class TGraphicsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    InitializeTextGDI();
    InitializeGDIBackend();
    InitializeGdiPlus();
  }
  void TearDown() override {
    FinalizeGdiPlus();
    FinalizeGDIBackend();
    FinalizeTextGDI();
  }
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TGraphicsEnvironment);

}  // namespace
