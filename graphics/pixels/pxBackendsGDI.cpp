#include "graphics/pixels/pxBackendsGDI.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "framework/fwClipboard.h"
#include "graphics/pixels/pxImageFormats.h"
#include "graphics/pixels/pxTextGDI.h"

namespace {

constexpr int IdCannotAllocateDIB = 65287;   // "Can't allocate the DIB handle"
constexpr int IdCannotCreateDC = 65288;      // "Can't create compatible DC"
constexpr int IdCannotSelectIntoDC = 65289;  // "Can't select an object into DC"

HGDIOBJ StockFont = nullptr;

const wchar_t* WText(std::u16string_view AText) { return reinterpret_cast<const wchar_t*>(AText.data()); }
int Length(std::u16string_view AText) { return static_cast<int>(AText.size()); }
RECT ToRECT(const TRect& R) { return RECT{R.Left, R.Top, R.Right, R.Bottom}; }

[[noreturn]] void NoInterface(const char16_t* AWhat) {
  throw EBitmapException(std::u16string(u"The bitmap's backend offers no ") + AWhat);
}

std::u16string_view BmpErrorText(TImageFormatError AError) {
  switch (AError) {
    case TImageFormatError::Truncated:
      return u"The bitmap's data is incomplete";
    case TImageFormatError::TooLarge:
      return u"The bitmap is too large";
    case TImageFormatError::Unsupported:
      return u"The bitmap's format is not supported";
    default:
      return u"Bitmap image is not valid";
  }
}

// The platform picture class that a file name's extension stands for.
std::unique_ptr<TGraphic> PictureForFile(const std::u16string& AFileName) {
  const std::u16string extension = ExtractFileExtNoDot(AFileName);
  const std::u16string lower = LowerCaseAscii(extension);
  if (lower == u"bmp") return std::make_unique<TBitmap>();
  if (lower == u"ico") return std::make_unique<TIcon>();
  if (lower == u"emf" || lower == u"wmf") return std::make_unique<TMetafile>();
  throw EInvalidGraphic(u"Unknown picture file extension (." + extension + u")");
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// TGDIBackend

const TClassInfo<TCustomBackend, TCustomBitmap32*> TGDIBackend::ClassInfo{
    u"TGDIBackend", &TCustomBackend::ClassInfo, &ClassFactory<TGDIBackend, TCustomBackend, TCustomBitmap32*>};

TGDIBackend::TGDIBackend(TCustomBitmap32* AOwner) : TCustomBackend(AOwner), FBitmapInfo(TopDownBitmapInfo(0, 0)) {
  FFont.OnChange = MakeMethod<&TGDIBackend::FontChanged>(this);
}

TGDIBackend::~TGDIBackend() {
  DeleteCanvas();
  FFont.OnChange = nullptr;
  FinalizeSurface();
}

void TGDIBackend::InitializeSurface(int32_t ANewWidth, int32_t ANewHeight, bool) {
  const uint64_t bytes = uint64_t(CheckedPixelCount(ANewWidth, ANewHeight)) * 4;
  // Top row first, as the bitmap keeps its rows.
  FBitmapInfo = TopDownBitmapInfo(ANewWidth, ANewHeight);
  FBitmapInfo.bmiHeader.biSizeImage = bytes <= 0xFFFFFFFFu ? static_cast<DWORD>(bytes) : 0;
  void* bits = nullptr;
  // A new section is zero-filled: every pixel starts as 0x00000000.
  FBitmapHandle = CreateDIBSection(nullptr, &FBitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!FBitmapHandle || !bits) {
    if (FBitmapHandle) DeleteObject(FBitmapHandle);
    FBitmapHandle = nullptr;
    throw EBitmapException(FormatLocStrOr(IdCannotAllocateDIB, u"Can't allocate the DIB handle", {}));
  }
  FDC = CreateCompatibleDC(nullptr);
  if (!FDC) {
    DeleteObject(FBitmapHandle);
    FBitmapHandle = nullptr;
    throw EBitmapException(FormatLocStrOr(IdCannotCreateDC, u"Can't create compatible DC", {}));
  }
  if (!SelectObject(FDC, FBitmapHandle)) {
    DeleteDC(FDC);
    DeleteObject(FBitmapHandle);
    FDC = nullptr;
    FBitmapHandle = nullptr;
    throw EBitmapException(FormatLocStrOr(IdCannotSelectIntoDC, u"Can't select an object into DC", {}));
  }
  FBits = static_cast<TColor32*>(bits);
}

void TGDIBackend::FinalizeSurface() {
  if (FDC) DeleteDC(FDC);
  FDC = nullptr;
  if (FBitmapHandle) DeleteObject(FBitmapHandle);
  FBitmapHandle = nullptr;
  FBits = nullptr;
  // The cached font handle stays: the next text operation selects it into the new context.
}

void TGDIBackend::Changed() {
  if (FCanvas) FCanvas->SetHandle(FDC);
  TCustomBackend::Changed();
}

TCanvas& TGDIBackend::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->SetHandle(FDC);
    FCanvas->OnChange = MakeMethod<&TGDIBackend::CanvasChanged>(this);
  }
  return *FCanvas;
}

void TGDIBackend::DeleteCanvas() {
  if (!FCanvas) return;
  FCanvas->SetHandle(nullptr);
  FCanvas.reset();
}

void TGDIBackend::CanvasChanged(TObject*) {
  if (FOnCanvasChange) FOnCanvasChange(this);
}

void TGDIBackend::SetFont(const TFont& AFont) { FFont.Assign(&AFont); }

// The font is about to change: the context gives up the old handle before the font deletes it.
void TGDIBackend::FontChanged(TObject*) {
  if (FFontHandle) {
    if (FDC) SelectObject(FDC, StockFont ? StockFont : GetStockObject(SYSTEM_FONT));
    FFontHandle = nullptr;
  }
  if (FOnFontChange) FOnFontChange(this);
}

void TGDIBackend::UpdateFont() {
  if (!FDC) return;
  if (!FFontHandle) FFontHandle = FFont.Handle();
  SelectObject(FDC, FFontHandle);
  SetTextColor(FDC, ColorToRef(FFont.Color()));
  SetBkMode(FDC, TRANSPARENT);
}

void TGDIBackend::TextChanged(int32_t X, int32_t Y, std::u16string_view AText) {
  SIZE extent = {};
  GetTextExtentPoint32W(FDC, WText(AText), Length(AText), &extent);
  if (FOwner) FOwner->ChangedArea(TRect{X, Y, X + extent.cx + 1, Y + extent.cy + 1});
}

void TGDIBackend::Textout(int32_t X, int32_t Y, std::u16string_view AText) {
  if (!FDC) return;
  UpdateFont();
  if (FOwner && FOwner->Clipping()) {
    const RECT clip = ToRECT(FOwner->ClipRect());
    ExtTextOutW(FDC, X, Y, ETO_CLIPPED, &clip, WText(AText), Length(AText), nullptr);
  } else {
    ExtTextOutW(FDC, X, Y, 0, nullptr, WText(AText), Length(AText), nullptr);
  }
  TextChanged(X, Y, AText);
}

void TGDIBackend::Textout(int32_t X, int32_t Y, const TRect& AClipRect, std::u16string_view AText) {
  if (!FDC) return;
  UpdateFont();
  const RECT clip = ToRECT(AClipRect);
  ExtTextOutW(FDC, X, Y, ETO_CLIPPED, &clip, WText(AText), Length(AText), nullptr);
  TextChanged(X, Y, AText);
}

void TGDIBackend::Textout(TRect& ADstRect, uint32_t AFlags, std::u16string_view AText) {
  if (!FDC) return;
  UpdateFont();
  RECT r = ToRECT(ADstRect);
  DrawTextW(FDC, WText(AText), Length(AText), &r, AFlags);
  ADstRect = TRect{r.left, r.top, r.right, r.bottom};
  if (FOwner) FOwner->ChangedArea(ADstRect);
}

SIZE TGDIBackend::TextExtent(std::u16string_view AText) {
  if (!FDC) return MeasureTextOnSharedContext(FFont.Handle(), AText);
  UpdateFont();
  SIZE extent = {};
  GetTextExtentPoint32W(FDC, WText(AText), Length(AText), &extent);
  return extent;
}

void TGDIBackend::Draw(const TRect& ADstRect, const TRect& ASrcRect, HDC ASrc) {
  if (!FOwner || FOwner->Empty()) return;
  StretchBlt(FDC, ADstRect.Left, ADstRect.Top, int(ADstRect.Width()), int(ADstRect.Height()), ASrc, ASrcRect.Left,
             ASrcRect.Top, int(ASrcRect.Width()), int(ASrcRect.Height()), SRCCOPY);
  FOwner->ChangedArea(ADstRect);
}

void TGDIBackend::DrawTo(HDC ADst, int32_t X, int32_t Y) {
  if (!FOwner || !FBits) return;
  const int width = FOwner->Width();
  const int height = FOwner->Height();
  StretchDIBits(ADst, X, Y, width, height, 0, 0, width, height, FBits, &FBitmapInfo, DIB_RGB_COLORS, SRCCOPY);
}

void TGDIBackend::DrawTo(HDC ADst, const TRect& ADstRect, const TRect& ASrcRect) {
  if (!FDC) return;
  StretchBlt(ADst, ADstRect.Left, ADstRect.Top, int(ADstRect.Width()), int(ADstRect.Height()), FDC, ASrcRect.Left,
             ASrcRect.Top, int(ASrcRect.Width()), int(ASrcRect.Height()), SRCCOPY);
}

// ---------------------------------------------------------------------------------------------------------------
// TBitmap32

TBitmap32::TBitmap32() : TBitmap32(&TGDIBackend::ClassInfo) {}

TBitmap32::TBitmap32(TBackendClass ABackendClass) : TCustomBitmap32(ABackendClass) { HookBackend(); }

TBitmap32::~TBitmap32() { UnhookBackend(); }

void TBitmap32::HookBackend() {
  if (auto* font = BackendAs<IFontSupport>(Backend())) font->SetOnFontChange(MakeMethod<&TBitmap32::FontChanged>(this));
  if (auto* canvas = BackendAs<ICanvasSupport>(Backend()))
    canvas->SetOnCanvasChange(MakeMethod<&TBitmap32::CanvasChanged>(this));
}

void TBitmap32::UnhookBackend() {
  if (auto* font = BackendAs<IFontSupport>(Backend())) font->SetOnFontChange(nullptr);
  if (auto* canvas = BackendAs<ICanvasSupport>(Backend())) canvas->SetOnCanvasChange(nullptr);
}

void TBitmap32::SetBackend(TCustomBackend* ABackend) {
  if (ABackend && ABackend != Backend()) {
    if (auto* font = BackendAs<IFontSupport>(ABackend))
      font->SetOnFontChange(MakeMethod<&TBitmap32::FontChanged>(this));
    if (auto* canvas = BackendAs<ICanvasSupport>(ABackend))
      canvas->SetOnCanvasChange(MakeMethod<&TBitmap32::CanvasChanged>(this));
  }
  TCustomBitmap32::SetBackend(ABackend);
}

void TBitmap32::FinalizeBackend() {
  UnhookBackend();
  TCustomBitmap32::FinalizeBackend();
}

void TBitmap32::BackendChangingHandler(TObject* ASender) {
  TCustomBitmap32::BackendChangingHandler(ASender);
  DeleteCanvas();
}

void TBitmap32::BackendChangedHandler(TObject* ASender) {
  TCustomBitmap32::BackendChangedHandler(ASender);
  HandleChanged();
}

void TBitmap32::HandleChanged() {
  if (OnHandleChanged) OnHandleChanged(this);
}

HDC TBitmap32::Handle() const {
  auto* dc = BackendAs<IDeviceContextSupport>(Backend());
  return dc ? dc->Handle() : nullptr;
}

TCanvas& TBitmap32::Canvas() {
  auto* canvas = BackendAs<ICanvasSupport>(Backend());
  if (!canvas) NoInterface(u"canvas");
  return canvas->Canvas();
}

void TBitmap32::DeleteCanvas() {
  if (auto* canvas = BackendAs<ICanvasSupport>(Backend())) canvas->DeleteCanvas();
}

bool TBitmap32::CanvasAllocated() const {
  auto* canvas = BackendAs<ICanvasSupport>(Backend());
  return canvas && canvas->CanvasAllocated();
}

void TBitmap32::DrawToDC(HDC ADC, int32_t ADstX, int32_t ADstY) {
  if (Empty()) return;
  if (auto* dc = BackendAs<IDeviceContextSupport>(Backend())) dc->DrawTo(ADC, ADstX, ADstY);
}

void TBitmap32::DrawRectToDC(HDC ADC, const TRect& ADstRect, const TRect& ASrcRect) {
  if (Empty()) return;
  if (auto* dc = BackendAs<IDeviceContextSupport>(Backend())) dc->DrawTo(ADC, ADstRect, ASrcRect);
}

TFont& TBitmap32::Font() {
  auto* font = BackendAs<IFontSupport>(Backend());
  if (!font) NoInterface(u"font");
  return font->Font();
}

void TBitmap32::SetFont(const TFont& AFont) {
  auto* font = BackendAs<IFontSupport>(Backend());
  if (!font) NoInterface(u"font");
  font->SetFont(AFont);
}

void TBitmap32::Textout(int32_t X, int32_t Y, std::u16string_view AText) {
  auto* text = BackendAs<ITextSupport>(Backend());
  if (!text) NoInterface(u"text");
  text->Textout(X, Y, AText);
}

void TBitmap32::Textout(int32_t X, int32_t Y, const TRect& AClipRect, std::u16string_view AText) {
  auto* text = BackendAs<ITextSupport>(Backend());
  if (!text) NoInterface(u"text");
  text->Textout(X, Y, AClipRect, AText);
}

void TBitmap32::Textout(TRect& ADstRect, uint32_t AFlags, std::u16string_view AText) {
  auto* text = BackendAs<ITextSupport>(Backend());
  if (!text) NoInterface(u"text");
  text->Textout(ADstRect, AFlags, AText);
}

SIZE TBitmap32::TextExtent(std::u16string_view AText) {
  auto* text = BackendAs<ITextSupport>(Backend());
  if (!text) NoInterface(u"text");
  return text->TextExtent(AText);
}

void TBitmap32::CopyPropertiesTo(TCustomBitmap32* ADst) const {
  TCustomBitmap32::CopyPropertiesTo(ADst);
  if (!dynamic_cast<TBitmap32*>(ADst)) return;
  auto* from = BackendAs<IFontSupport>(Backend());
  auto* to = BackendAs<IFontSupport>(ADst->Backend());
  if (from && to) to->Font().Assign(&from->Font());
}

void TBitmap32::DrawGraphic(TGraphic& AGraphic, TColor32 AFillColor) {
  SetSize(AGraphic.Width(), AGraphic.Height());
  if (Empty()) return;
  Clear(AFillColor);
  const RECT r = {0, 0, Width(), Height()};
  Canvas().StretchDraw(r, AGraphic);
  GdiFlush();
}

void TBitmap32::Assign(TGraphic& AGraphic) {
  {
    TUpdateGuard<TBitmap32> update(*this);
    TBackendRequirement requirement(*this, {Offers<IDeviceContextSupport>, Offers<ICanvasSupport>}, TRequireMode::rmAny,
                                    true);
    auto opaqueWhereDrawn = [this](TGraphic& AGraphic) {
      DrawGraphic(AGraphic, 0xFFFFFFFF);
      if (Empty()) return;
      TBitmap32 red;
      red.DrawGraphic(AGraphic, 0xFFFF0000);
      const size_t count = size_t(Width()) * size_t(Height());
      for (size_t i = 0; i < count; ++i) {
        const TColor32 c = Bits()[i] & 0x00FFFFFF;
        Bits()[i] = c == (red.Bits()[i] & 0x00FFFFFF) ? (c | 0xFF000000u) : c;
      }
    };
    if (auto* bitmap = dynamic_cast<TBitmap*>(&AGraphic)) {
      // The pixels are copied, not drawn: a drawing GDI call would not carry the fourth byte.
      SetSize(bitmap->Width(), bitmap->Height());
      if (!Empty()) {
        const bool alpha = bitmap->PixelFormat() == TPixelFormat::pf32bit;
        for (int32_t y = 0; y < Height(); ++y) {
          const uint8_t* src = static_cast<const uint8_t*>(bitmap->ScanLine(y));
          TColor32* dst = ScanLine(y);
          for (int32_t x = 0; x < Width(); ++x) {
            if (alpha)
              std::memcpy(dst + x, src + 4 * x, 4);
            else
              dst[x] = 0xFF000000u | uint32_t(src[3 * x + 2]) << 16 | uint32_t(src[3 * x + 1]) << 8 | src[3 * x];
          }
        }
        if (bitmap->Transparent()) {
          const TColor32 key = Color32(ColorToRef(bitmap->TransparentColor())) & 0x00FFFFFF;
          const size_t count = size_t(Width()) * size_t(Height());
          for (size_t i = 0; i < count; ++i)
            if ((Bits()[i] & 0x00FFFFFF) == key) Bits()[i] &= 0x00FFFFFF;
        }
        if (auto* font = BackendAs<IFontSupport>(Backend())) font->Font().Assign(&bitmap->Canvas().Font());
      }
    } else if (dynamic_cast<TIcon*>(&AGraphic)) {
      DrawGraphic(AGraphic, 0);
      const size_t count = size_t(Width()) * size_t(Height());
      if (!Empty() && std::none_of(Bits(), Bits() + count, [](TColor32 c) { return (c >> 24) != 0; }))
        opaqueWhereDrawn(AGraphic);
    } else if (dynamic_cast<TMetafile*>(&AGraphic)) {
      opaqueWhereDrawn(AGraphic);
    } else {
      DrawGraphic(AGraphic, 0xFFFFFFFF);
      if (!Empty()) ResetAlpha(255);
    }
  }
  Changed();
}

void TBitmap32::AssignTo(TBitmap& ADest) const {
  ADest.SetPixelFormat(TPixelFormat::pf32bit);
  ADest.SetSize(Width(), Height());
  if (auto* font = BackendAs<IFontSupport>(Backend())) ADest.Canvas().Font().Assign(&font->Font());
  if (Empty()) return;
  for (int32_t y = 0; y < Height(); ++y) std::memcpy(ADest.ScanLine(y), ScanLine(y), size_t(Width()) * 4);
}

bool TBitmap32::AssignFromClipboard(TClipboard& AClipboard) {
  TBitmap bitmap;
  if (AClipboard.GetBitmap(bitmap)) {
    Assign(bitmap);
    return true;
  }
  TMetafile metafile;
  if (AClipboard.GetMetafile(metafile)) {
    Assign(metafile);
    return true;
  }
  return false;
}

void TBitmap32::AssignToClipboard(TClipboard& AClipboard) const {
  TBitmap bitmap;
  AssignTo(bitmap);
  AClipboard.SetBitmap(bitmap);
}

void TBitmap32::LoadFromStream(TStream& AStream) {
  uint8_t h[BmpFileHeaderSize + DibInfoHeaderSize];
  const int64_t start = AStream.Position();
  const size_t read = AStream.Read(h, sizeof h);
  AStream.SetPosition(start);
  auto u16 = [&h](size_t AAt) { return uint32_t(h[AAt]) | uint32_t(h[AAt + 1]) << 8; };
  auto u32 = [&](size_t AAt) { return u16(AAt) | u16(AAt + 2) << 16; };
  const bool plain32 = read == sizeof h && h[0] == 'B' && h[1] == 'M' && u16(26) == 1 && u16(28) == 32 && u32(30) == 0;
  const uint32_t dataOffset = u32(10);
  if (plain32 && (u32(14) != DibInfoHeaderSize || (dataOffset != 0 && dataOffset != sizeof h))) {
    LoadFromOtherFormat(AStream);
    Changed();
    return;
  }
  TCustomBitmap32::LoadFromStream(AStream);
}

void TBitmap32::LoadFromFile(const std::u16string& AFileName) {
  {
    TFileStream file(AFileName, TFileMode::fmOpenRead);
    uint8_t header[BmpFileHeaderSize + DibInfoHeaderSize];
    file.ReadBuffer(header, sizeof header);
    if (header[0] == 'B' && header[1] == 'M') {
      file.SetPosition(0);
      LoadFromStream(file);
      return;
    }
  }
  const std::unique_ptr<TGraphic> picture = PictureForFile(AFileName);
  picture->LoadFromFile(AFileName);
  Assign(*picture);
}

void TBitmap32::LoadFromOtherFormat(TStream& AStream) {
  const int64_t count = AStream.Size() - AStream.Position();
  if (count < int64_t(BmpFileHeaderSize))
    throw EStreamError(FormatLocStrOr(IdStreamReadError, u"Stream read error", {}));
  std::vector<uint8_t> data(static_cast<size_t>(count));
  AStream.ReadBuffer(data.data(), data.size());
  TDibLayout layout;
  TImageFormatError error = ReadBmp(data, layout);
  if (error == TImageFormatError::None) {
    SetSize(layout.Width, layout.Height);
    error = DecodeDib(data, layout, Bits());
  }
  if (error != TImageFormatError::None) {
    SetSize(0, 0);
    throw EBitmapException(std::u16string(BmpErrorText(error)));
  }
}

// ---------------------------------------------------------------------------------------------------------------

void InitializeGDIBackend() { StockFont = GetStockObject(SYSTEM_FONT); }

void FinalizeGDIBackend() { StockFont = nullptr; }
