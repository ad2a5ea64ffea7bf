// Virtual-key codes as the host reports them in key events, for the platform-free controllers that read keys
// without the system's headers.
#pragma once

#include <cstdint>

enum : uint16_t {
  vkBack = 8,
  vkTab = 9,
  vkLineFeed = 10,
  vkReturn = 13,
  vkControl = 17,
  vkEscape = 27,
  vkSpace = 32,
  vkEnd = 35,
  vkHome = 36,
  vkLeft = 37,
  vkUp = 38,
  vkRight = 39,
  vkDown = 40,
  vkDelete = 46,
};
