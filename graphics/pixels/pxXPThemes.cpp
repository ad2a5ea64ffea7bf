#include "graphics/pixels/pxXPThemes.h"

#include <memory>

#include "foundation/cuHandlerList.h"
#include "framework/fwUtilityWindow.h"

namespace {

struct TXPThemesUnit {
  HMODULE Library = nullptr;
  TVisualStyleApi Api = {};
  bool UseThemes = false;
  HTHEME ScrollBarTheme = nullptr;
  HTHEME GlobalsTheme = nullptr;
  THandlerList<TThemeChangeEvent> ChangeHandlers;
  THandlerList<TThemeChangeEvent> ClosingHandlers;
  std::unique_ptr<TThemeNexus> Nexus;
};

TXPThemesUnit Unit;

template <class F>
void Bind(F& AProc, const char* AName) {
  AProc = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Unit.Library, AName)));
}

void CallHandlers(THandlerList<TThemeChangeEvent>& AHandlers) {
  AHandlers.FireForward([](const TThemeChangeEvent& AHandler) { AHandler(); });
}

void RemoveHandler(THandlerList<TThemeChangeEvent>& AHandlers, TThemeChangeEvent AHandler) {
  while (AHandlers.Remove(AHandler)) {
  }
}

void OpenVisualStyles(HWND AWindow) {
  Unit.UseThemes = false;
  if (LoadVisualStyleLibrary()) Unit.UseThemes = VisualStylesActive();
  if (Unit.UseThemes) {
    Unit.ScrollBarTheme = Unit.Api.OpenThemeData(AWindow, L"SCROLLBAR");
    Unit.GlobalsTheme = Unit.Api.OpenThemeData(AWindow, L"GLOBALS");
  }
}

// Handles are closed whether or not styles are still active: after a switch to the classic look they would
// otherwise stay open for good.
void CloseVisualStyles() {
  CallHandlers(Unit.ClosingHandlers);
  for (HTHEME* theme : {&Unit.ScrollBarTheme, &Unit.GlobalsTheme}) {
    if (*theme && Unit.Api.CloseThemeData) Unit.Api.CloseThemeData(*theme);
    *theme = nullptr;
  }
  Unit.UseThemes = false;
  UnloadVisualStyleLibrary();
}

}  // namespace

bool LoadVisualStyleLibrary() {
  if (!Unit.Library) {
    Unit.Library = LoadLibraryW(L"uxtheme.dll");
    if (!Unit.Library) return false;
    TVisualStyleApi& a = Unit.Api;
    Bind(a.OpenThemeData, "OpenThemeData");
    Bind(a.CloseThemeData, "CloseThemeData");
    Bind(a.DrawThemeBackground, "DrawThemeBackground");
    Bind(a.DrawThemeEdge, "DrawThemeEdge");
    Bind(a.GetThemeColor, "GetThemeColor");
    Bind(a.GetThemeMetric, "GetThemeMetric");
    Bind(a.GetThemeMargins, "GetThemeMargins");
    Bind(a.GetThemeBackgroundContentRect, "GetThemeBackgroundContentRect");
    Bind(a.IsThemeBackgroundPartiallyTransparent, "IsThemeBackgroundPartiallyTransparent");
    Bind(a.DrawThemeParentBackground, "DrawThemeParentBackground");
    Bind(a.SetWindowTheme, "SetWindowTheme");
    Bind(a.IsThemeActive, "IsThemeActive");
    Bind(a.IsAppThemed, "IsAppThemed");
    Bind(a.EnableTheming, "EnableTheming");
    if (!a.OpenThemeData || !a.CloseThemeData || !a.IsThemeActive || !a.IsAppThemed || !a.EnableTheming)
      UnloadVisualStyleLibrary();
  }
  return Unit.Library != nullptr;
}

void UnloadVisualStyleLibrary() {
  if (!Unit.Library) return;
  FreeLibrary(Unit.Library);
  Unit.Library = nullptr;
  Unit.Api = {};
}

bool VisualStylesActive() {
  return Unit.Library && Unit.Api.IsAppThemed() && Unit.Api.IsThemeActive();
}

const TVisualStyleApi& VisualStyleApi() { return Unit.Api; }
bool UseThemes() { return Unit.UseThemes; }
HTHEME ScrollBarTheme() { return Unit.ScrollBarTheme; }
HTHEME GlobalsTheme() { return Unit.GlobalsTheme; }

void AddThemeChangeHandler(TThemeChangeEvent AHandler) { Unit.ChangeHandlers.Add(AHandler); }

void RemoveThemeChangeHandler(TThemeChangeEvent AHandler) { RemoveHandler(Unit.ChangeHandlers, AHandler); }
void AddThemeClosingHandler(TThemeChangeEvent AHandler) { Unit.ClosingHandlers.Add(AHandler); }
void RemoveThemeClosingHandler(TThemeChangeEvent AHandler) { RemoveHandler(Unit.ClosingHandlers, AHandler); }

TThemeNexus::TThemeNexus()
    : FWindow(std::make_unique<TUtilityWindow>(MakeMethod<&TThemeNexus::WindowProc>(this))) {
  OpenVisualStyles(FWindow->Handle());
}

TThemeNexus::~TThemeNexus() { CloseVisualStyles(); }

HWND TThemeNexus::Handle() const { return FWindow->Handle(); }

void TThemeNexus::WindowProc(TMessage& AMessage) {
  if (AMessage.Msg != WM_THEMECHANGED) return;
  CloseVisualStyles();
  OpenVisualStyles(FWindow->Handle());
  CallHandlers(Unit.ChangeHandlers);
}

void InitializeXPThemes() {
  if (!Unit.Nexus) Unit.Nexus = std::make_unique<TThemeNexus>();
}

void FinalizeXPThemes() { Unit.Nexus.reset(); }

TThemeNexus* ThemeNexus() { return Unit.Nexus.get(); }
