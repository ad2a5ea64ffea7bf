#include "framework/fwThemes.h"

#include <utility>

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

TThemedElementDetails GetElementDetails(TThemedToolTip AValue) {
  static constexpr int kStates[] = {TTSS_NORMAL};
  return {TThemedElement::teToolTip, TTP_STANDARD, kStates[static_cast<int>(AValue)]};
}

namespace {

// Visual styles off: every drawing call does nothing and the content is the whole bounds.
class TClassicThemeServices : public IThemeServices {
 public:
  bool Available() override { return false; }
  bool Enabled() override { return false; }
  void DrawElement(HDC, const TThemedElementDetails&, const RECT&, const RECT*) override {}
  RECT ContentRect(HDC, const TThemedElementDetails&, const RECT& ABounds) override { return ABounds; }
  bool HasTransparentParts(const TThemedElementDetails&) override { return false; }
  void DrawParentBackground(HWND, HDC, const RECT*) override {}
  void PaintBorder(HWND, bool) override {}
  void ThemeChanged() override {}
};

// The installed services; ThemeServices names the same object.
std::unique_ptr<IThemeServices>& InstalledServices() {
  static std::unique_ptr<IThemeServices> services;
  return services;
}

}  // namespace

void StartThemeServices() { InstallThemeServices(nullptr); }

void InstallThemeServices(std::unique_ptr<IThemeServices> AServices) {
  InstalledServices() = AServices ? std::move(AServices) : std::make_unique<TClassicThemeServices>();
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
      : FDC(ACanvas.Handle()),
        FDirection(ADirection),
        FOrigin(AOrigin),
        FLength(ALength),
        FBrush(CreateSolidBrush(ColorToRef(AColor))) {}
  ~TShapePainter() { DeleteObject(FBrush); }
  TShapePainter(const TShapePainter&) = delete;
  TShapePainter& operator=(const TShapePainter&) = delete;

  // Cells (U, V0) .. (U, V1) inclusive.
  void Span(int U, int V0, int V1) {
    RECT r{};
    int x = FOrigin.x, y = FOrigin.y;
    switch (FDirection) {
      case TArrowDirection::adRight:
        r = {x + U, y + V0, x + U + 1, y + V1 + 1};
        break;
      case TArrowDirection::adLeft:
        r = {x + FLength - 1 - U, y + V0, x + FLength - U, y + V1 + 1};
        break;
      case TArrowDirection::adDown:
        r = {x + V0, y + U, x + V1 + 1, y + U + 1};
        break;
      case TArrowDirection::adUp:
        r = {x + V0, y + FLength - 1 - U, x + V1 + 1, y + FLength - U};
        break;
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
