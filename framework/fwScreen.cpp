#include "framework/fwScreen.h"

#include <cstdlib>

#include "framework/fwApplication.h"

TScreen* Screen = nullptr;
TMouse* Mouse = nullptr;

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {
  struct TSystemCursor {
    TCursor Id;
    LPCWSTR Name;
  };
  static const TSystemCursor kSystem[] = {
      {crDefault, IDC_ARROW},     {crArrow, IDC_ARROW},   {crCross, IDC_CROSS},       {crIBeam, IDC_IBEAM},
      {crSizeNESW, IDC_SIZENESW}, {crSizeNS, IDC_SIZENS}, {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE},
      {crHourGlass, IDC_WAIT},    {crNo, IDC_NO},         {crNoDrop, IDC_NO},         {crHandPoint, IDC_HAND},
      {crSizeAll, IDC_SIZEALL},
  };
  for (const TSystemCursor& c : kSystem) FCursors[c.Id] = {nullptr, false, c.Name};
  UpdateFonts();
}

TScreen::~TScreen() {
  for (auto& [id, entry] : FCursors)
    if (entry.Owned && entry.Handle) DestroyCursor(entry.Handle);
}

RECT TScreen::WorkAreaRect() const {
  RECT r{0, 0, Width(), Height()};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

RECT TScreen::DesktopRect() const {
  int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void TScreen::UpdateFonts() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    FMessageFont.AssignLogFont(metrics.lfMessageFont);
}

HCURSOR TScreen::Cursors(TCursor AId) const {
  if (AId == crNone) return nullptr;
  if (HCURSOR cursor = Resolve(AId)) return cursor;
  return Resolve(crDefault);
}

HCURSOR TScreen::Resolve(TCursor AId) const {
  auto it = FCursors.find(AId);
  if (it == FCursors.end()) return RegisteredCursorHandle(AId);
  TCursorEntry& entry = it->second;
  if (!entry.Handle && entry.System) entry.Handle = LoadCursorW(nullptr, entry.System);
  return entry.Handle;
}

void TScreen::SetCursors(TCursor AId, HCURSOR ACursor, bool AOwned) {
  auto it = FCursors.find(AId);
  if (it != FCursors.end()) {
    if (it->second.Owned && it->second.Handle && it->second.Handle != ACursor) DestroyCursor(it->second.Handle);
    it->second = {ACursor, AOwned, nullptr};
  } else {
    FCursors[AId] = {ACursor, AOwned, nullptr};
  }
}

void TScreen::SetCursor(TCursor AValue) {
  if (AValue == FCursor) return;
  FCursor = AValue;
  if (AValue != crDefault) {
    ::SetCursor(Cursors(AValue));
    return;
  }
  // Back to the default: the window under the pointer chooses again, when it is one of ours.
  POINT p;
  GetCursorPos(&p);
  HWND wnd = WindowFromPoint(p);
  if (wnd && GetWindowThreadProcessId(wnd, nullptr) == GetCurrentThreadId()) {
    LRESULT hit = SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    SendMessageW(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(hit, WM_MOUSEMOVE));
  } else {
    ::SetCursor(Cursors(crDefault));
  }
}

bool TScreen::ApplyCursor() const {
  if (FCursor == crDefault) return false;
  ::SetCursor(Cursors(FCursor));
  return true;
}

void TScreen::SetActiveForm(TComponent* AForm) {
  if (AForm == FActiveForm) return;
  if (FActiveForm) FActiveForm->RemoveFreeNotification(this);
  FActiveForm = AForm;
  if (FActiveForm) FActiveForm->FreeNotification(this);
}

bool TScreen::ActiveFormStaysOnTop() const {
  auto* form = dynamic_cast<IApplicationForm*>(FActiveForm);
  return form && form->FormStaysOnTop();
}

void TScreen::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FActiveForm) FActiveForm = nullptr;
}

// ---------------------------------------------------------------------------------------------------------------

bool TMouse::BeyondDragThreshold(POINT AStart, POINT APoint) const {
  return std::abs(APoint.x - AStart.x) > FDragThreshold || std::abs(APoint.y - AStart.y) > FDragThreshold;
}

POINT TMouse::CursorPos() const {
  POINT p{};
  GetCursorPos(&p);
  return p;
}

void TMouse::SetCursorPos(POINT APoint) { ::SetCursorPos(APoint.x, APoint.y); }

void TMouse::SetCapture(HWND AWindow) {
  if (AWindow)
    ::SetCapture(AWindow);
  else
    ReleaseCapture();
}

int TMouse::WheelScrollLines() const {
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  return static_cast<int>(lines);
}

// ---------------------------------------------------------------------------------------------------------------

namespace {

// The foundation's user-interface routines, served by the screen and the application object.
class TFrameworkHost final : public IUserInterfaceHost {
 public:
  void ShowScreenCursor(TCursor ACursor) override {
    if (Screen) Screen->SetCursor(ACursor);
  }
  HCURSOR CursorHandle(TCursor ACursor) override { return Screen ? Screen->Cursors(ACursor) : nullptr; }
  int MessageBox(const std::u16string& AText, const std::u16string& ACaption, UINT AFlags) override {
    if (Application) return Application->MessageBox(AText, ACaption, AFlags);
    return MessageBoxW(GetActiveWindow(), WStr(AText), WStr(ACaption), AFlags);
  }
};

TFrameworkHost& FrameworkHost() {
  static TFrameworkHost host;
  return host;
}

}  // namespace

void StartScreen() {
  Screen = New<TScreen>(nullptr);
  Mouse = new TMouse;
  SetUserInterfaceHost(&FrameworkHost());
}

void EndScreen() {
  SetUserInterfaceHost(nullptr);
  delete Mouse;
  Mouse = nullptr;
  FreeAndNil(Screen);
}
