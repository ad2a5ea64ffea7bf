#include "framework/fwWindowObjects.h"

namespace {

constexpr wchar_t kObjectProp[] = L"QbWindowObject";

}  // namespace

void LinkWindowObject(HWND AWindow, TObject* AObject) { SetPropW(AWindow, kObjectProp, AObject); }

void UnlinkWindowObject(HWND AWindow, const TObject* AObject) {
  if (AWindow && GetPropW(AWindow, kObjectProp) == AObject) RemovePropW(AWindow, kObjectProp);
}

TObject* WindowObject(HWND AWindow) {
  if (!AWindow) return nullptr;
  // A property of another process's window holds an address of that process.
  DWORD process = 0;
  GetWindowThreadProcessId(AWindow, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  return static_cast<TObject*>(GetPropW(AWindow, kObjectProp));
}
