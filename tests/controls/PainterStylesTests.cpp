#include <gtest/gtest.h>

#include "controls/baPainterStyles.h"

TEST(ShrinkZones, Placeholder) { EXPECT_EQ(ShrinkZones(4, 3, 3), std::make_pair(2, 2)); }
