#include "graphics/pixels/pxThemeServices.h"

#include <array>
#include <memory>

#include "framework/fwThemes.h"
#include "graphics/pixels/pxXPThemes.h"

namespace {

// Handles of the element classes are opened on first use and closed whenever the binding closes its visual
// styles, so none outlives the theme or the library instance it came from; while styles are off none is opened.
class TXPThemeServices : public IThemeServices {
 public:
  TXPThemeServices() { AddThemeClosingHandler(ClosingHandler()); }

  ~TXPThemeServices() override {
    RemoveThemeClosingHandler(ClosingHandler());
    CloseThemes();
  }

  TXPThemeServices(const TXPThemeServices&) = delete;
  TXPThemeServices& operator=(const TXPThemeServices&) = delete;

  bool Available() override { return VisualStyleApi().OpenThemeData != nullptr; }
  bool Enabled() override { return UseThemes(); }

  void DrawElement(HDC ADC, const TThemedElementDetails& ADetails, const RECT& ARect, const RECT* AClip) override {
    HTHEME theme = Theme(ADetails.Element);
    if (theme && VisualStyleApi().DrawThemeBackground)
      VisualStyleApi().DrawThemeBackground(theme, ADC, ADetails.Part, ADetails.State, &ARect, AClip);
  }

  RECT ContentRect(HDC ADC, const TThemedElementDetails& ADetails, const RECT& ABounds) override {
    RECT content = ABounds;
    HTHEME theme = Theme(ADetails.Element);
    if (theme && VisualStyleApi().GetThemeBackgroundContentRect &&
        FAILED(VisualStyleApi().GetThemeBackgroundContentRect(theme, ADC, ADetails.Part, ADetails.State, &ABounds,
                                                              &content)))
      content = ABounds;
    return content;
  }

  bool HasTransparentParts(const TThemedElementDetails& ADetails) override {
    return PartiallyTransparent(Theme(ADetails.Element), ADetails.Part, ADetails.State);
  }

  void DrawParentBackground(HWND AWindow, HDC ADC, const RECT* ARect) override {
    if (UseThemes() && VisualStyleApi().DrawThemeParentBackground)
      VisualStyleApi().DrawThemeParentBackground(AWindow, ADC, ARect);
  }

  void PaintBorder(HWND AWindow, bool AEraseLRCorner) override {
    HTHEME theme = Theme(TThemedElement::teEdit);
    if (!theme || !VisualStyleApi().DrawThemeBackground || !(GetWindowLongW(AWindow, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
      return;
    RECT window;
    GetWindowRect(AWindow, &window);
    OffsetRect(&window, -window.left, -window.top);
    HDC dc = GetWindowDC(AWindow);
    const int edgeX = GetSystemMetrics(SM_CXEDGE), edgeY = GetSystemMetrics(SM_CYEDGE);
    const LONG style = GetWindowLongW(AWindow, GWL_STYLE);
    if (AEraseLRCorner && (style & WS_HSCROLL) && (style & WS_VSCROLL)) {
      const int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
      RECT corner{window.right - edgeX - cx, window.bottom - edgeY - cy, window.right - edgeX, window.bottom - edgeY};
      FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
    }
    // Only the two-pixel edge is the border's: the client area stays as the control painted it.
    ExcludeClipRect(dc, window.left + edgeX, window.top + edgeY, window.right - edgeX, window.bottom - edgeY);
    const int state = IsWindowEnabled(AWindow) ? ETS_NORMAL : ETS_DISABLED;
    if (PartiallyTransparent(theme, EP_EDITTEXT, state)) DrawParentBackground(AWindow, dc, &window);
    VisualStyleApi().DrawThemeBackground(theme, dc, EP_EDITTEXT, state, &window, nullptr);
    ReleaseDC(AWindow, dc);
  }

  // The binding has already reopened its own handles; ours are reopened on their next use.
  void ThemeChanged() override { CloseThemes(); }

 private:
  TThemeChangeEvent ClosingHandler() { return MakeMethod<&TXPThemeServices::CloseThemes>(this); }

  static bool PartiallyTransparent(HTHEME ATheme, int APart, int AState) {
    return ATheme && VisualStyleApi().IsThemeBackgroundPartiallyTransparent &&
           VisualStyleApi().IsThemeBackgroundPartiallyTransparent(ATheme, APart, AState);
  }

  // The handle of an element class, or nullptr while styles are off or the class cannot be opened.
  HTHEME Theme(TThemedElement AElement) {
    if (!UseThemes()) return nullptr;
    static constexpr const wchar_t* kClasses[] = {L"BUTTON", L"HEADER", L"TOOLBAR", L"STATUS", L"EDIT",
                                                       L"TOOLTIP"};
    const auto index = static_cast<size_t>(AElement);
    HTHEME& theme = FThemes[index];
    if (!theme) theme = VisualStyleApi().OpenThemeData(ThemeNexus()->Handle(), kClasses[index]);
    return theme;
  }

  void CloseThemes() {
    for (HTHEME& theme : FThemes) {
      if (theme && VisualStyleApi().CloseThemeData) VisualStyleApi().CloseThemeData(theme);
      theme = nullptr;
    }
  }

  std::array<HTHEME, 6> FThemes{};
};

}  // namespace

void InstallXPThemeServices() { InstallThemeServices(std::make_unique<TXPThemeServices>()); }

void UninstallXPThemeServices() {
  if (dynamic_cast<TXPThemeServices*>(ThemeServices)) InstallThemeServices(nullptr);
}
