// The styled painter: measures and paints owner-drawn buttons from the style its styler gives for a client's
// state, with an image from an image list (or a colour swatch, or the client's own), a caption, signs at the
// sides, the default-button frame, a focus rectangle, themed backgrounds and image effects.
#pragma once

#include <cstdint>
#include <memory>

#include "controls/baPainterStyles.h"
#include "controls/baPainters.h"
#include "foundation/cuSet.h"
#include "framework/fwBitmaps.h"
#include "framework/fwGraphics.h"
#include "framework/fwImageList.h"

// Where image and caption stand along the layout axis: centred together, both at the start, both at the end, or
// the first at the start and the second at the end.
enum class TAlignKind : uint8_t { akCenter, akBegin, akEnd, akOpposite };
using enum TAlignKind;
// Where the image stands relative to the caption.
enum class TImageLayout : uint8_t { ilLeft, ilRight, ilTop, ilBottom };
using enum TImageLayout;

enum class TPainterOption : uint8_t {
  poWordWrap = 0x01,
  poEditControl = 0x02,
  poEndEllipsis = 0x04,
  poNoAccelChar = 0x08,
  poNoImages = 0x10,
  poNoCaptions = 0x20
};
constexpr bool IsFlagFamily(TPainterOption) { return true; }
using enum TPainterOption;
using TPainterOptions = TSet<TPainterOption>;

// Image and caption rectangles inside a content rectangle.
struct TContentLayout {
  RECT Image;
  RECT Caption;
};
// Lays out an image and a caption of the given sizes in ARect: along the layout axis by AAlign with AGap between
// them (when both have a size), across it each centred on its own.
TContentLayout LayoutContent(const RECT& ARect, SIZE AImage, SIZE ACaption, int AGap, TImageLayout ALayout,
                             TAlignKind AAlign);

// Image effects on a 24-bit copy of an image: grey by luminance, or every channel lightened towards white by
// AAmount / 255 of the distance.
void GrayscaleBitmap(TBitmap& ABitmap);
void LightenBitmap(TBitmap& ABitmap, int AAmount);

class TStyledPainter : public TSinglePainter {
 public:
  explicit TStyledPainter(TComponent* AOwner);
  // Leaves the styler's notifier and the image lists' change links: a painter may go before its styler.
  ~TStyledPainter() override;

  void Measure(TPainterClient& AClient, TCanvas& ACanvas, SIZE& ASize, int AWidth) override;
  void Paint(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect) override;
  TCursor GetCursor(TPainterClient& AClient) override;
  void QueryUpdate(TPainterClient& AClient, bool ACaptionChanged, TClientState AOldState, TClientState ANewState,
                   int AOldImageIndex, int ANewImageIndex, bool& ANeedRepaint, bool& ANeedRemeasure) override;
  bool IsTransparent(TPainterClient& AClient) override;

  // The styler's style for AState; the styler must be set.
  TPainterStyle& GetStyle(TClientState AState) const;
  // Whether a client of AClient's image kind shows an image at AIndex.
  bool ShowsImage(const TPainterClient& AClient, int AIndex) const;
  // The DrawTextW flags of captions.
  UINT GetDrawTextFlags() const;

  // Every setter posts pcRepaint and pcRemeasure on a change.
  TAlignKind AlignKind() const { return FAlignKind; }
  void SetAlignKind(TAlignKind AValue);
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* AValue);
  // Drawn for the disable image effect instead of greying Images.
  TImageList* DisabledImages() const { return FDisabledImages; }
  void SetDisabledImages(TImageList* AValue);
  // The image cell; a list of another size is stretched into it.
  int ImagesWidth() const { return FImagesWidth; }
  void SetImagesWidth(int AValue);
  int ImagesHeight() const { return FImagesHeight; }
  void SetImagesHeight(int AValue);
  TImageLayout Layout() const { return FLayout; }
  void SetLayout(TImageLayout AValue);
  TPainterOptions Options() const { return FOptions; }
  void SetOptions(TPainterOptions AValue);
  // Owned; a change posts pcRepaint and pcRemeasure.
  TMargins& Padding() { return FPadding; }
  // The width (or height) of the strip a side sign takes.
  int SignsSpacing() const { return FSignsSpacing; }
  void SetSignsSpacing(int AValue);
  // The gap between image and caption.
  int Spacing() const { return FSpacing; }
  void SetSpacing(int AValue);
  // Posts every change flag and moves the subscription to the new styler's notifier; the styler's own
  // notifications are passed on, and a styler that goes leaves the painter without one.
  TStyler* Styler() const { return FStyler; }
  void SetStyler(TStyler* AValue);

 protected:
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  void Changed3();
  void SetImageList(TImageList*& AField, TChangeLink& ALink, TImageList* AValue);
  void DetachStyler();
  void StylerNotified(TNotifier* ASender, TNotify* AFirst);
  void ImagesChanged(TObject* ASender);
  void PaddingChanged(TObject* ASender);

  bool Themed() const;
  // The canvas font from the styler, with a state style's colour and style.
  void TakeFont(TCanvas& ACanvas, const TPainterStyle& AStyle) const;
  SIZE ContentSize(TPainterClient& AClient, TCanvas& ACanvas, int AWidth) const;
  SIZE CaptionSize(TPainterClient& AClient, TCanvas& ACanvas, int AWidth, int AImageWidth) const;
  RECT PaintBack(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect, const TPainterStyle& AStyle) const;
  void PaintSigns(TPainterClient& AClient, TCanvas& ACanvas, RECT& ARect, const TPainterStyle& AStyle) const;
  void PaintSign(TCanvas& ACanvas, const RECT& ARect, TSignAt ASign, const TPainterStyle& AStyle) const;
  void PaintContent(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect, const TPainterStyle& AStyle) const;
  void PaintImage(TPainterClient& AClient, TCanvas& ACanvas, POINT APos, const TPainterStyle& AStyle) const;
  void DrawListImage(TCanvas& ACanvas, int X, int Y, int AIndex, TPainterStyleImageEffects AEffects) const;

  TAlignKind FAlignKind = akCenter;
  TImageList* FImages = nullptr;
  TChangeLink FImagesLink;
  TImageList* FDisabledImages = nullptr;
  TChangeLink FDisabledImagesLink;
  int FImagesHeight = 16;
  int FImagesWidth = 16;
  TImageLayout FLayout = ilLeft;
  TPainterOptions FOptions;
  TMargins FPadding;
  int FSignsSpacing = 14;
  int FSpacing = 4;
  TStyler* FStyler = nullptr;
};
