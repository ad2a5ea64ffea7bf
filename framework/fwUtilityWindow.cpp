#include "framework/fwUtilityWindow.h"

#include "framework/fwApplication.h"
#include "framework/fwWindowObjects.h"

namespace {

constexpr wchar_t kClassName[] = L"QbUtilityWindow";

// Registration is idempotent: the class is looked up first, so no flag has to remember it.
void EnsureClass(HINSTANCE AInstance, WNDPROC AProc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(AInstance, kClassName, &wc)) return;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = AProc;
  wc.hInstance = AInstance;
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EOSError(u"Cannot register the utility window class", GetLastError());
}

}  // namespace

TUtilityWindow::TUtilityWindow(TMessageEvent AHandler, TKind AKind) : FHandler(AHandler) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  EnsureClass(instance, &WindowProc);
  if (AKind == TKind::ukBroadcasts)
    FHandle =
        CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (!FHandle) FHandle = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!FHandle) throw EOSError(u"Cannot create a utility window", GetLastError());
  // Creation messages went to DefWindowProcW: the handler sees only a finished window.
  LinkWindowObject(FHandle, this);
}

TUtilityWindow::~TUtilityWindow() {
  if (FHandle) {
    UnlinkWindowObject(FHandle, this);
    DestroyWindow(FHandle);
  }
}

LRESULT CALLBACK TUtilityWindow::WindowProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  auto* self = WindowObjectAs<TUtilityWindow>(AWnd);
  if (!self || !self->FHandler) return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
  TMessage message{AWnd, AMsg, AWParam, ALParam, 0, false};
  TMessageEvent handler = self->FHandler;
  // The handler may free this object (a timer freed in its own tick): only locals are used after it.
  if (!CallGuarded([&] { handler(message); })) return 0;
  return message.Handled ? message.Result : DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
}
