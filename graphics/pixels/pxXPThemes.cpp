#include "graphics/pixels/pxXPThemes.h"

#include <memory>

#include "foundation/cuHandlerList.h"
#include "framework/fwRuntime.h"
#include "framework/fwUtilityWindow.h"

namespace {

struct TXPThemesUnit {
  TRuntimeLibrary Library;
  TVisualStyleApi Api = {};
  bool UseThemes = false;
  HTHEME ScrollBarTheme = nullptr;
  HTHEME GlobalsTheme = nullptr;
  THandlerList<TThemeChangeEvent> ChangeHandlers;
  THandlerList<TThemeChangeEvent> ClosingHandlers;
  std::unique_ptr<TThemeNexus> Nexus;
};

TXPThemesUnit Unit;

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
  if (!Unit.Library.Module) {
    if (!Unit.Library.Load(L"uxtheme.dll")) return false;
    TVisualStyleApi& a = Unit.Api;
    const TRuntimeLibrary& library = Unit.Library;
    library.Bind(a.OpenThemeData, "OpenThemeData");
    library.Bind(a.CloseThemeData, "CloseThemeData");
    library.Bind(a.DrawThemeBackground, "DrawThemeBackground");
    library.Bind(a.DrawThemeEdge, "DrawThemeEdge");
    library.Bind(a.GetThemeColor, "GetThemeColor");
    library.Bind(a.GetThemeMetric, "GetThemeMetric");
    library.Bind(a.GetThemeMargins, "GetThemeMargins");
    library.Bind(a.GetThemeBackgroundContentRect, "GetThemeBackgroundContentRect");
    library.Bind(a.IsThemeBackgroundPartiallyTransparent, "IsThemeBackgroundPartiallyTransparent");
    library.Bind(a.DrawThemeParentBackground, "DrawThemeParentBackground");
    library.Bind(a.SetWindowTheme, "SetWindowTheme");
    library.Bind(a.IsThemeActive, "IsThemeActive");
    library.Bind(a.IsAppThemed, "IsAppThemed");
    library.Bind(a.EnableTheming, "EnableTheming");
    if (!a.OpenThemeData || !a.CloseThemeData || !a.IsThemeActive || !a.IsAppThemed || !a.EnableTheming)
      UnloadVisualStyleLibrary();
  }
  return Unit.Library.Module != nullptr;
}

void UnloadVisualStyleLibrary() {
  if (!Unit.Library.Module) return;
  Unit.Library.Unload();
  Unit.Api = {};
}

bool VisualStylesActive() { return Unit.Library.Module && Unit.Api.IsAppThemed() && Unit.Api.IsThemeActive(); }

const TVisualStyleApi& VisualStyleApi() { return Unit.Api; }
bool UseThemes() { return Unit.UseThemes; }
HTHEME ScrollBarTheme() { return Unit.ScrollBarTheme; }
HTHEME GlobalsTheme() { return Unit.GlobalsTheme; }

void AddThemeChangeHandler(TThemeChangeEvent AHandler) { Unit.ChangeHandlers.Add(AHandler); }

void RemoveThemeChangeHandler(TThemeChangeEvent AHandler) { RemoveHandler(Unit.ChangeHandlers, AHandler); }
void AddThemeClosingHandler(TThemeChangeEvent AHandler) { Unit.ClosingHandlers.Add(AHandler); }
void RemoveThemeClosingHandler(TThemeChangeEvent AHandler) { RemoveHandler(Unit.ClosingHandlers, AHandler); }

TThemeNexus::TThemeNexus() : FWindow(std::make_unique<TUtilityWindow>(MakeMethod<&TThemeNexus::WindowProc>(this))) {
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
