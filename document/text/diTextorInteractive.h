// Keyboard and mouse control of one text while it is edited: caret, selection, the mouse's zones and cursors,
// dragging and dropping text. It never changes the text; every edit goes to its host as a notification.
#pragma once

#include "foundation/cuUtils.h"

#include <cstdint>

// The text cursors, registered at start-up from the program's resources of the same names.
constexpr TCursor crTextorFieldBeam = 10;
constexpr TCursor crTextorFieldElementsBeam = 11;
constexpr TCursor crTextorFieldDropDownBeam = 12;
constexpr TCursor crTextorContainerBeam = 13;
constexpr TCursor crTextorContainerTextBeam = 14;
constexpr TCursor crTextorLeftZone = 15;
constexpr TCursor crTextorDragMove = 16;
constexpr TCursor crTextorDragCopy = 17;

// The zones of the mouse over a text, each with its cursor.
enum : uint8_t {
  czFieldBeam = 0,
  czFieldElementsBeam = 1,
  czFieldDropDownBeam = 2,
  czContainerBeam = 3,
  czContainerTextBeam = 4,
  czLeftZone = 5,
  czRowSelection = 6,
  czOverSelection = 7,
  czDragMove = 8,
  czDragCopy = 9,
  czNoDrop = 10,
  czLink = 11,
};

// The cursor of AZone; only its low seven bits count, and zones past the table show the default cursor.
TCursor TextorZoneCursor(uint8_t AZone);
