#include "framework/fwThemes.h"

#include <array>
#include <utility>

#include "framework/fwMessages.h"
#include "framework/fwUtilityWindow.h"

IThemeServices* ThemeServices = nullptr;

TThemedElementDetails GetElementDetails(TThemedButton AValue) {
  static constexpr int kStates[] = {PBS_NORMAL, PBS_HOT, PBS_PRESSED, PBS_DISABLED, PBS_DEFAULTED};
  return {TThemedElement::teButton, BP_PUSHBUTTON, kStates[static_cast<int>(AValue)]};
}

TThemedElementDetails GetElementDetails(TThemedHeader AValue) {
  static constexpr int kStates[] = {HIS_NORMAL, HIS_HOT, HIS_PRESSED};
  return {TThemedElement::teHeader, HP_HEADERITEM, kStates[static_cast<int>(AValue)]};
}

TThemedElementDetails GetElementDetails(TThemedToolBar AValue) {
  static constexpr int kStates[] = {TS_NORMAL, TS_HOT, TS_PRESSED, TS_DISABLED, TS_CHECKED, TS_HOTCHECKED};
  return {TThemedElement::teToolBar, TP_BUTTON, kStates[static_cast<int>(AValue)]};
}

TThemedElementDetails GetElementDetails(TThemedStatus AValue) {
  return {TThemedElement::teStatus, AValue == TThemedStatus::tsPane ? SP_PANE : SP_GRIPPER, 0};
}

TThemedElementDetails GetElementDetails(TThemedEdit AValue) {
  static constexpr int kStates[] = {ETS_NORMAL, ETS_HOT, ETS_DISABLED, ETS_FOCUSED, ETS_READONLY};
  return {TThemedElement::teEdit, EP_EDITTEXT, kStates[static_cast<int>(AValue)]};
}

namespace {

// uxtheme.dll bound at run time, so the program also starts where it is missing.
class TUxThemeServices : public IThemeServices {
public:
  TUxThemeServices() {
    FLibrary = LoadLibraryW(L"uxtheme.dll");
    if (FLibrary) {
      Bind(FOpenThemeData, "OpenThemeData");
      Bind(FCloseThemeData, "CloseThemeData");
      Bind(FDrawThemeBackground, "DrawThemeBackground");
      Bind(FGetThemeBackgroundContentRect, "GetThemeBackgroundContentRect");
      Bind(FIsThemeBackgroundPartiallyTransparent, "IsThemeBackgroundPartiallyTransparent");
      Bind(FDrawThemeParentBackground, "DrawThemeParentBackground");
      Bind(FIsThemeActive, "IsThemeActive");
      Bind(FIsAppThemed, "IsAppThemed");
      if (!FOpenThemeData || !FCloseThemeData || !FDrawThemeBackground || !FIsThemeActive || !FIsAppThemed) {
        FreeLibrary(FLibrary);
        FLibrary = nullptr;
      }
    }
    // A top-level window hears WM_THEMECHANGED when the user switches themes.
    FWindow = std::make_unique<TUtilityWindow>(MakeMethod<&TUxThemeServices::WindowMessage>(this));
    FEnabled = AskEnabled();
  }

  ~TUxThemeServices() override {
    CloseThemes();
    FWindow.reset();
    if (FLibrary) FreeLibrary(FLibrary);
  }

  bool Available() override { return FLibrary != nullptr; }
  bool Enabled() override { return FEnabled; }

  void DrawElement(HDC ADC, const TThemedElementDetails& ADetails, const RECT& ARect, const RECT* AClip) override {
    if (HTHEME theme = Theme(ADetails.Element))
      FDrawThemeBackground(theme, ADC, ADetails.Part, ADetails.State, &ARect, AClip);
  }

  RECT ContentRect(HDC ADC, const TThemedElementDetails& ADetails, const RECT& ABounds) override {
    RECT content = ABounds;
    if (HTHEME theme = Theme(ADetails.Element); theme && FGetThemeBackgroundContentRect)
      FGetThemeBackgroundContentRect(theme, ADC, ADetails.Part, ADetails.State, &ABounds, &content);
    return content;
  }

  bool HasTransparentParts(const TThemedElementDetails& ADetails) override {
    HTHEME theme = Theme(ADetails.Element);
    return theme && FIsThemeBackgroundPartiallyTransparent &&
           FIsThemeBackgroundPartiallyTransparent(theme, ADetails.Part, ADetails.State);
  }

  void DrawParentBackground(HWND AWindow, HDC ADC, const RECT* ARect) override {
    if (FEnabled && FDrawThemeParentBackground) FDrawThemeParentBackground(AWindow, ADC, ARect);
  }

  void PaintBorder(HWND AWindow, bool AEraseLRCorner) override {
    HTHEME theme = Theme(TThemedElement::teEdit);
    if (!theme || !(GetWindowLongW(AWindow, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) return;
    RECT window;
    GetWindowRect(AWindow, &window);
    OffsetRect(&window, -window.left, -window.top);
    HDC dc = GetWindowDC(AWindow);
    int edgeX = GetSystemMetrics(SM_CXEDGE), edgeY = GetSystemMetrics(SM_CYEDGE);
    LONG style = GetWindowLongW(AWindow, GWL_STYLE);
    if (AEraseLRCorner && (style & WS_HSCROLL) && (style & WS_VSCROLL)) {
      int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
      RECT corner{window.right - edgeX - cx, window.bottom - edgeY - cy, window.right - edgeX, window.bottom - edgeY};
      FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
    }
    ExcludeClipRect(dc, window.left + edgeX, window.top + edgeY, window.right - edgeX, window.bottom - edgeY);
    int state = IsWindowEnabled(AWindow) ? ETS_NORMAL : ETS_DISABLED;
    if (FIsThemeBackgroundPartiallyTransparent && FIsThemeBackgroundPartiallyTransparent(theme, EP_EDITTEXT, state))
      DrawParentBackground(AWindow, dc, &window);
    FDrawThemeBackground(theme, dc, EP_EDITTEXT, state, &window, nullptr);
    ReleaseDC(AWindow, dc);
  }

  void ThemeChanged() override {
    CloseThemes();
    FEnabled = AskEnabled();
  }

private:
  template <class F>
  void Bind(F& AProc, const char* AName) {
    AProc = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(FLibrary, AName)));
  }

  bool AskEnabled() { return FLibrary && FIsAppThemed() && FIsThemeActive(); }

  HTHEME Theme(TThemedElement AElement) {
    if (!FEnabled) return nullptr;
    static constexpr const wchar_t* kClasses[] = {L"BUTTON", L"HEADER", L"TOOLBAR", L"STATUS", L"EDIT"};
    HTHEME& theme = FThemes[static_cast<int>(AElement)];
    if (!theme) theme = FOpenThemeData(FWindow->Handle(), kClasses[static_cast<int>(AElement)]);
    return theme;
  }

  void CloseThemes() {
    for (HTHEME& theme : FThemes) {
      if (theme && FCloseThemeData) FCloseThemeData(theme);
      theme = nullptr;
    }
  }

  void WindowMessage(TMessage& AMessage) {
    if (AMessage.Msg == WM_THEMECHANGED) ThemeChanged();
  }

  HMODULE FLibrary = nullptr;
  HTHEME(WINAPI* FOpenThemeData)(HWND, LPCWSTR) = nullptr;
  HRESULT(WINAPI* FCloseThemeData)(HTHEME) = nullptr;
  HRESULT(WINAPI* FDrawThemeBackground)(HTHEME, HDC, int, int, const RECT*, const RECT*) = nullptr;
  HRESULT(WINAPI* FGetThemeBackgroundContentRect)(HTHEME, HDC, int, int, const RECT*, RECT*) = nullptr;
  BOOL(WINAPI* FIsThemeBackgroundPartiallyTransparent)(HTHEME, int, int) = nullptr;
  HRESULT(WINAPI* FDrawThemeParentBackground)(HWND, HDC, const RECT*) = nullptr;
  BOOL(WINAPI* FIsThemeActive)() = nullptr;
  BOOL(WINAPI* FIsAppThemed)() = nullptr;
  bool FEnabled = false;
  std::array<HTHEME, 5> FThemes{};
  std::unique_ptr<TUtilityWindow> FWindow;
};

// The installed services; ThemeServices names the same object.
std::unique_ptr<IThemeServices>& InstalledServices() {
  static std::unique_ptr<IThemeServices> services;
  return services;
}

}  // namespace

void StartThemeServices() {
  InstallThemeServices(std::make_unique<TUxThemeServices>());
}

void InstallThemeServices(std::unique_ptr<IThemeServices> AServices) {
  InstalledServices() = std::move(AServices);
  ThemeServices = InstalledServices().get();
}

void EndThemeServices() {
  ThemeServices = nullptr;
  InstalledServices().reset();
}

// ---------------------------------------------------------------------------------------------------------------
// Shapes. Each is described pointing right in (u along the direction, v across) and turned into place.

namespace {

class TShapePainter {
public:
  TShapePainter(TCanvas& ACanvas, TArrowDirection ADirection, POINT AOrigin, int ALength, TColor AColor)
      : FDC(ACanvas.Handle()), FDirection(ADirection), FOrigin(AOrigin), FLength(ALength),
        FBrush(CreateSolidBrush(ColorToRef(AColor))) {}
  ~TShapePainter() { DeleteObject(FBrush); }
  TShapePainter(const TShapePainter&) = delete;
  TShapePainter& operator=(const TShapePainter&) = delete;

  // Cells (U, V0) .. (U, V1) inclusive.
  void Span(int U, int V0, int V1) {
    RECT r{};
    int x = FOrigin.x, y = FOrigin.y;
    switch (FDirection) {
      case TArrowDirection::adRight: r = {x + U, y + V0, x + U + 1, y + V1 + 1}; break;
      case TArrowDirection::adLeft: r = {x + FLength - 1 - U, y + V0, x + FLength - U, y + V1 + 1}; break;
      case TArrowDirection::adDown: r = {x + V0, y + U, x + V1 + 1, y + U + 1}; break;
      case TArrowDirection::adUp: r = {x + V0, y + FLength - 1 - U, x + V1 + 1, y + FLength - U}; break;
    }
    FillRect(FDC, &r, FBrush);
  }

private:
  HDC FDC;
  TArrowDirection FDirection;
  POINT FOrigin;
  int FLength;
  HBRUSH FBrush;
};

}  // namespace

void DrawArrow(TCanvas& ACanvas, TArrowDirection ADirection, POINT AOrigin, int ASize, TColor AColor) {
  if (ASize < 0) return;
  TShapePainter painter(ACanvas, ADirection, AOrigin, ASize + 1, AColor);
  for (int i = 0; i <= ASize; ++i) painter.Span(i, i, 2 * ASize - i);
}

void DrawChevron(TCanvas& ACanvas, TArrowDirection ADirection, POINT AOrigin, int ASize, TColor AColor) {
  if (ASize < 0) return;
  TShapePainter painter(ACanvas, ADirection, AOrigin, ASize + 5, AColor);
  for (int stroke : {0, 3}) {
    for (int i = 0; i <= ASize; ++i) {
      for (int thick = 0; thick < 2; ++thick) {
        painter.Span(stroke + i + thick, i, i);
        painter.Span(stroke + i + thick, 2 * ASize - i, 2 * ASize - i);
      }
    }
  }
}

void DrawCheckMark(TCanvas& ACanvas, POINT AOrigin, int ASize, TColor AColor) {
  if (ASize < 0) return;
  TShapePainter painter(ACanvas, TArrowDirection::adRight, AOrigin, 3 * ASize + 1, AColor);
  for (int i = 0; i <= ASize; ++i) painter.Span(i, ASize + i, ASize + i + 2);
  for (int i = 0; i <= 2 * ASize; ++i) painter.Span(ASize + i, 2 * ASize - i, 2 * ASize - i + 2);
}
