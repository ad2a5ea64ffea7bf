// Theme services: whether the platform's visual styles are in use, the elements the controls draw with them
// (buttons, header items, tool-bar buttons, status panes, edit borders), and the small shapes drawn without them
// (arrow, chevron, check mark).
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/cuWin32.h"
#include "framework/fwGraphics.h"

enum class TThemedElement : uint8_t { teButton, teHeader, teToolBar, teStatus, teEdit, teToolTip };

// One element of a style class in one state (the platform's part and state numbers).
struct TThemedElementDetails {
  TThemedElement Element;
  int Part;
  int State;
};

enum class TThemedButton : uint8_t {
  tbPushButtonNormal,
  tbPushButtonHot,
  tbPushButtonPressed,
  tbPushButtonDisabled,
  tbPushButtonDefaulted
};
enum class TThemedHeader : uint8_t { thHeaderItemNormal, thHeaderItemHot, thHeaderItemPressed };
enum class TThemedToolBar : uint8_t {
  ttbButtonNormal,
  ttbButtonHot,
  ttbButtonPressed,
  ttbButtonDisabled,
  ttbButtonChecked,
  ttbButtonCheckedHot
};
enum class TThemedStatus : uint8_t { tsPane, tsGripper };
enum class TThemedEdit : uint8_t {
  teEditTextNormal,
  teEditTextHot,
  teEditTextDisabled,
  teEditTextFocused,
  teEditTextReadOnly
};
enum class TThemedToolTip : uint8_t { tttStandardNormal };

TThemedElementDetails GetElementDetails(TThemedButton AValue);
TThemedElementDetails GetElementDetails(TThemedHeader AValue);
TThemedElementDetails GetElementDetails(TThemedToolBar AValue);
TThemedElementDetails GetElementDetails(TThemedStatus AValue);
TThemedElementDetails GetElementDetails(TThemedEdit AValue);
TThemedElementDetails GetElementDetails(TThemedToolTip AValue);

// What the framework and the controls ask of visual styles. The framework's own services keep to the classic look
// (styles off); the graphics library installs services standing on its visual-style binding.
class IThemeServices {
 public:
  virtual ~IThemeServices() = default;
  // The visual-style library is loaded and bound.
  virtual bool Available() = 0;
  // Visual styles are in use now (library bound, application themed, a theme active).
  virtual bool Enabled() = 0;
  // Draws the element into ARect (clipped to AClip when given). Nothing happens while styles are off.
  virtual void DrawElement(HDC ADC, const TThemedElementDetails& ADetails, const RECT& ARect,
                           const RECT* AClip = nullptr) = 0;
  // The part of ABounds that the element's content may use (ABounds while styles are off).
  virtual RECT ContentRect(HDC ADC, const TThemedElementDetails& ADetails, const RECT& ABounds) = 0;
  // Whether the element lets its background show through (then the parent is painted first).
  virtual bool HasTransparentParts(const TThemedElementDetails& ADetails) = 0;
  // Paints AWindow's parent behind ARect of AWindow's device context.
  virtual void DrawParentBackground(HWND AWindow, HDC ADC, const RECT* ARect) = 0;
  // The themed non-client border of a control with WS_EX_CLIENTEDGE (for WM_NCPAINT, after the default
  // painting): the edit border over the two-pixel edge, and with AEraseLRCorner the corner between two scroll
  // bars in the face colour.
  virtual void PaintBorder(HWND AWindow, bool AEraseLRCorner) = 0;
  // The platform's theme changed: handles are opened again and Enabled is asked anew.
  virtual void ThemeChanged() = 0;
};

// The program's theme services; exist between StartThemeServices and EndThemeServices.
extern IThemeServices* ThemeServices;

// Start-up: the classic-look services, in use until others are installed.
void StartThemeServices();
// Replaces the theme services in use; nullptr puts the classic-look services back.
void InstallThemeServices(std::unique_ptr<IThemeServices> AServices);
void EndThemeServices();

// ---------------------------------------------------------------------------------------------------------------
// Shapes, drawn in AColor with solid spans. AOrigin is the top-left corner of the shape's box.

enum class TArrowDirection : uint8_t { adLeft, adRight, adUp, adDown };

// A filled triangle: pointing left or right it is ASize + 1 wide and 2 * ASize + 1 high (the tip in the middle
// row); pointing up or down the same turned.
void DrawArrow(TCanvas& ACanvas, TArrowDirection ADirection, POINT AOrigin, int ASize, TColor AColor);
// Two two-pixel strokes of the arrow's outline, three pixels apart: ASize + 5 long and 2 * ASize + 1 across.
void DrawChevron(TCanvas& ACanvas, TArrowDirection ADirection, POINT AOrigin, int ASize, TColor AColor);
// A tick three pixels thick: a short leg down from (0, ASize) to (ASize, 2 * ASize), a long leg up from there to
// (3 * ASize, 0); its box is 3 * ASize + 1 wide and 2 * ASize + 3 high.
void DrawCheckMark(TCanvas& ACanvas, POINT AOrigin, int ASize, TColor AColor);
