#include "document/text/diTextorInteractiveWin.h"

#include "document/text/diTextorInteractive.h"
#include "foundation/cuUtilsWin.h"

void InitializeTextorCursors() {
  struct TTextCursor {
    TCursor Id;
    const wchar_t* Name;
  };
  static constexpr TTextCursor cursors[] = {
      {crTextorFieldBeam, L"crTextorFieldBeam"},
      {crTextorFieldElementsBeam, L"crTextorFieldElementsBeam"},
      {crTextorFieldDropDownBeam, L"crTextorFieldDropDownBeam"},
      {crTextorContainerBeam, L"crTextorContainerBeam"},
      {crTextorContainerTextBeam, L"crTextorContainerTextBeam"},
      {crTextorLeftZone, L"crTextorLeftZone"},
      {crTextorDragMove, L"crTextorDragMove"},
      {crTextorDragCopy, L"crTextorDragCopy"},
  };
  for (const TTextCursor& cursor : cursors) LoadResourceCursor(cursor.Id, cursor.Name);
}
