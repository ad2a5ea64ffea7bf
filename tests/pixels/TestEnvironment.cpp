// Starts the pixel units once for the whole test run, in the program's order.
#include <gtest/gtest.h>

#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxResamplers.h"
#include "graphics/pixels/pxSystem.h"

namespace {

class TPixelUnits : public testing::Environment {
 public:
  void SetUp() override {
    pxSystemStart();
    pxLowLevelStart();
    pxBlendStart();
    pxResamplersStart();
  }
  void TearDown() override {
    pxResamplersEnd();
    pxBindingsEnd();
  }
};

testing::Environment* const GPixelUnits = testing::AddGlobalTestEnvironment(new TPixelUnits);

}  // namespace
