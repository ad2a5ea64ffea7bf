#include "document/text/diTextorInteractive.h"

#include <iterator>

TCursor TextorZoneCursor(uint8_t AZone) {
  static constexpr TCursor cursors[] = {
      crTextorFieldBeam,     crTextorFieldElementsBeam, crTextorFieldDropDownBeam, crTextorContainerBeam,
      crTextorContainerTextBeam, crTextorLeftZone,      crTextorLeftZone,          crArrow,
      crTextorDragMove,      crTextorDragCopy,          crNoDrop,                  crHandPoint,
  };
  const uint8_t zone = AZone & 0x7F;
  return zone < std::size(cursors) ? cursors[zone] : crDefault;
}
