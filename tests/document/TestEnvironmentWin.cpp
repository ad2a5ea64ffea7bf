// What the program's start-up provides before the document engine runs: GDI+ and the device-context manager.
#include "document/model/diTextorAttributes.h"
#include "foundation/cuDeviceContextManager.h"
#include "graphics/images/umGDIPlus.h"

#include <gtest/gtest.h>

namespace {

class TModelEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    InitializeGdiPlus();
    InitializeDeviceContextManager();
  }
  void TearDown() override {
    TAttributes::FreePool();
    FinalizeDeviceContextManager();
    FinalizeGdiPlus();
  }
};

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new TModelEnvironment);

}  // namespace
