// The one way from a window to the framework object that owns it: a window property set when the object takes
// the window and removed when it lets it go. Controls and utility windows both use it.
#pragma once

#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"

// Links AWindow to AObject (replacing any earlier link).
void LinkWindowObject(HWND AWindow, TObject* AObject);
// Removes the link when it still points to AObject.
void UnlinkWindowObject(HWND AWindow, const TObject* AObject);
// The object linked to AWindow; nil for a window without one or one of another process.
TObject* WindowObject(HWND AWindow);

// The linked object when it is a T.
template <class T>
T* WindowObjectAs(HWND AWindow) {
  return dynamic_cast<T*>(WindowObject(AWindow));
}
