#include "graphics/pixels/pxBitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundation/cuLocalization.h"
#include "graphics/pixels/pxHeapBackend.h"
#include "graphics/pixels/pxResamplers.h"

namespace {

constexpr int IdUnmatchedRefCount = 65290;  // "Unmatched reference counting."

constexpr size_t kBmpHeaderSize = 54;

void PutU16(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
}
void PutU32(uint8_t* P, uint32_t V) {
  PutU16(P, V);
  PutU16(P + 2, V >> 16);
}
uint32_t GetU16(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8; }
uint32_t GetU32(const uint8_t* P) { return GetU16(P) | GetU16(P + 2) << 16; }

// Raises EStreamError unless AStream still holds ABytes bytes: checked before anything is allocated for them.
void RequireBytes(TStream& AStream, int64_t ABytes) {
  if (AStream.Size() - AStream.Position() < ABytes) throw EStreamError(u"The bitmap's pixel data is incomplete");
}

}  // namespace

bool IntersectRect(TRect& ADst, const TRect& R1, const TRect& R2) {
  TRect r{std::max(R1.Left, R2.Left), std::max(R1.Top, R2.Top), std::min(R1.Right, R2.Right),
          std::min(R1.Bottom, R2.Bottom)};
  if (r.Right < r.Left || r.Bottom < r.Top) {
    ADst = TRect{};
    return false;
  }
  ADst = r;
  return true;
}

TRect OffsetRect(const TRect& R, int64_t DX, int64_t DY) {
  return TRect{ClampToInt32(R.Left + DX), ClampToInt32(R.Top + DY), ClampToInt32(R.Right + DX),
               ClampToInt32(R.Bottom + DY)};
}

int64_t CheckedPixelCount(int32_t AWidth, int32_t AHeight) {
  const int64_t pixels = int64_t(std::max(AWidth, 0)) * std::max(AHeight, 0);
  if (pixels > MaxBitmapPixels)
    throw EBitmapException(Format(u"A bitmap of %d x %d pixels is too large", {AWidth, AHeight}));
  return pixels;
}

// ---------------------------------------------------------------------------------------------------------------
// Persistent bases

void TPlainInterfacedPersistent::Assign(const TPlainInterfacedPersistent* ASource) {
  if (!ASource) AssignError(nullptr);
  ASource->AssignTo(this);
}

void TPlainInterfacedPersistent::AssignTo(TPlainInterfacedPersistent* ADest) const { ADest->AssignError(this); }

void TPlainInterfacedPersistent::AssignError(const TPlainInterfacedPersistent* ASource) const {
  throw EConvertError(ASource ? u"Cannot assign an object of another kind" : u"Cannot assign nil");
}

int32_t TPlainInterfacedPersistent::AddRef() {
  if (!FRefCounted) return -1;
  return ++FRefCount;
}

int32_t TPlainInterfacedPersistent::Release() {
  if (!FRefCounted) return -1;
  const int32_t count = --FRefCount;
  if (count == 0) Free();
  return count;
}

void TPlainInterfacedPersistent::Free() {
  if (FRefCounted && FRefCount.load() != 0)
    throw Exception(FormatLocStrOr(IdUnmatchedRefCount, u"Unmatched reference counting.", {}));
  BeforeDestruction();
  delete this;
}

void TNotifiablePersistent::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TThreadPersistent::Lock() {
  ++FLockCount;
  FLock.lock();
}

void TThreadPersistent::Unlock() {
  FLock.unlock();
  --FLockCount;
}

void TCustomMap::SetSize(int32_t ANewWidth, int32_t ANewHeight) {
  ANewWidth = std::max(ANewWidth, 0);
  ANewHeight = std::max(ANewHeight, 0);
  if (ANewWidth == FWidth && ANewHeight == FHeight) return;
  ChangeSize(FWidth, FHeight, ANewWidth, ANewHeight);
  Changed();
  Resized();
}

void TCustomMap::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t ANewWidth, int32_t ANewHeight) {
  AWidth = ANewWidth;
  AHeight = ANewHeight;
}

void TCustomMap::Resized() {
  if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Backend

const TClassInfo<TCustomBackend, TCustomBitmap32*> TCustomBackend::ClassInfo{u"TCustomBackend", nullptr, nullptr};

TCustomBackend::TCustomBackend(TCustomBitmap32* AOwner) : FOwner(AOwner) { SetRefCounted(true); }

void TCustomBackend::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t ANewWidth, int32_t ANewHeight,
                                bool AClearBuffer) {
  Changing();
  FinalizeSurface();
  AWidth = 0;
  AHeight = 0;
  if (ANewWidth >= 1 && ANewHeight >= 1) {
    try {
      InitializeSurface(ANewWidth, ANewHeight, AClearBuffer);
    } catch (...) {
      FBits = nullptr;
      Changed();
      throw;
    }
  }
  AWidth = ANewWidth;
  AHeight = ANewHeight;
  Changed();
}

void TCustomBackend::Clear() {
  if (FOwner) {
    ChangeSize(FOwner->FWidth, FOwner->FHeight, 0, 0, false);
  } else {
    int32_t width = 0, height = 0;
    ChangeSize(width, height, 0, 0, false);
  }
}

void TCustomBackend::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCustomBackend::Assign(const TPlainInterfacedPersistent* ASource) {
  const auto* source = dynamic_cast<const TCustomBackend*>(ASource);
  if (!source) {
    TThreadPersistent::Assign(ASource);
    return;
  }
  if (!FOwner) return;
  const int32_t width = source->FOwner ? source->FOwner->Width() : 0;
  const int32_t height = source->FOwner ? source->FOwner->Height() : 0;
  ChangeSize(FOwner->FWidth, FOwner->FHeight, width, height, false);
  if (!source->Empty() && source->FBits && FBits)
    std::memcpy(FBits, source->FBits, size_t(CheckedPixelCount(width, height)) * sizeof(TColor32));
}

void TCustomBackend::BeforeDestruction() { Clear(); }

// ---------------------------------------------------------------------------------------------------------------
// Resampler base

const TClassInfo<TCustomResampler, TCustomBitmap32*> TCustomResampler::ClassInfo{u"TCustomResampler", nullptr, nullptr};

TCustomResampler::TCustomResampler(TCustomBitmap32* ABitmap) : FBitmap(ABitmap) {}

void TCustomResampler::SetPixelAccessMode(TPixelAccessMode AValue) {
  if (FPixelAccessMode == AValue) return;
  FPixelAccessMode = AValue;
  Changed();
}

void TCustomResampler::Changed() {
  if (FBitmap) FBitmap->Changed();
}

void TCustomResampler::PrepareSampling() {
  if (FBitmap) FClipRect = FBitmap->ClipRect();
}

bool TCustomResampler::HasBounds() const { return FPixelAccessMode != pamWrap; }

TRect TCustomResampler::GetSampleBounds() const {
  TRect r = FBitmap ? FBitmap->ClipRect() : TRect{};
  if (FPixelAccessMode == pamTransparentEdge) r = TRect{r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1};
  return r;
}

std::span<const TPublishedProperty> TCustomResampler::PublishedProperties() const {
  static const TPublishedProperty properties[] = {
      {u"PixelAccessMode", tkEnumeration,
       [](const TObject& AInstance) -> TPropertyValue {
         return int64_t(static_cast<const TCustomResampler&>(AInstance).PixelAccessMode());
       },
       [](TObject& AInstance, const TPropertyValue& AValue) {
         static_cast<TCustomResampler&>(AInstance).SetPixelAccessMode(TPixelAccessMode(std::get<int64_t>(AValue)));
       }},
  };
  return properties;
}

void TCustomResampler::AssignTo(TPlainInterfacedPersistent* ADest) const {
  if (auto* dest = dynamic_cast<TCustomResampler*>(ADest))
    CopyPublishedProperties(*this, *dest);
  else
    TCustomSampler::AssignTo(ADest);
}

// ---------------------------------------------------------------------------------------------------------------
// Bitmap: construction, backend, size

TCustomBitmap32::TCustomBitmap32() : TCustomBitmap32(&THeapBackend::ClassInfo) {}

TCustomBitmap32::TCustomBitmap32(TBackendClass ABackendClass) {
  InitializeBackend(ABackendClass);
  FResampler = std::make_unique<TNearestResampler>(this);
}

TCustomBitmap32::~TCustomBitmap32() {
  BeginUpdate();
  Lock();
  // The surface goes without OnResize: no handler runs on an object being destroyed.
  if (FBackend) FBackend->ChangeSize(FWidth, FHeight, 0, 0, false);
  FResampler.reset();
  FinalizeBackend();
  Unlock();
}

void TCustomBitmap32::InitializeBackend(TBackendClass ABackendClass) { SetBackend(ABackendClass->Create(this)); }

void TCustomBitmap32::SetBackend(TCustomBackend* ABackend) {
  if (!ABackend || ABackend == FBackend) return;
  ABackend->AddRef();  // held from here on, so that a failure below frees it
  BeginUpdate();
  try {
    ABackend->FOwner = this;
    if (FBackend) {
      ABackend->Assign(FBackend);
      FinalizeBackend();
    }
  } catch (...) {
    EndUpdate();
    ABackend->FOwner = nullptr;
    ABackend->Release();
    // The new backend could not take the pixels over: the bitmap ends up empty.
    if (FBackend) FBackend->ChangeSize(FWidth, FHeight, 0, 0, false);
    throw;
  }
  FBackend = ABackend;
  FBackend->OnChange = MakeMethod<&TCustomBitmap32::BackendChangedHandler>(this);
  FBackend->OnChanging = MakeMethod<&TCustomBitmap32::BackendChangingHandler>(this);
  EndUpdate();
  FBackend->Changed();
  Changed();
}

void TCustomBitmap32::FinalizeBackend() {
  if (!FBackend) return;
  TCustomBackend* backend = FBackend;
  FBackend = nullptr;
  backend->FOwner = nullptr;
  backend->OnChange = nullptr;
  backend->OnChanging = nullptr;
  backend->Release();
}

void TCustomBitmap32::BackendChangedHandler(TObject*) {
  FBits = FBackend ? FBackend->Bits() : nullptr;
  ResetClipRect();
}

void TCustomBitmap32::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t ANewWidth, int32_t ANewHeight) {
  try {
    FBackend->ChangeSize(AWidth, AHeight, ANewWidth, ANewHeight, true);
  } catch (...) {
    // Never left pointing at freed pixels or at the old clip rectangle.
    FBits = nullptr;
    AWidth = 0;
    AHeight = 0;
    ResetClipRect();
    throw;
  }
}

bool TCustomBitmap32::Empty() const { return !FBackend || FBackend->Empty() || FWidth == 0 || FHeight == 0; }

// ---------------------------------------------------------------------------------------------------------------
// Clipping and properties

void TCustomBitmap32::SetClipRect(const TRect& R) {
  IntersectRect(FClipRect, R, BoundsRect());
  // An intersection without area clips everything away, whatever edges it touched.
  if (FClipRect.Right <= FClipRect.Left || FClipRect.Bottom <= FClipRect.Top) FClipRect = TRect{};
  FClipping = FClipRect != BoundsRect();
  ChooseWrapProcs();
}

void TCustomBitmap32::ChooseWrapProcs() {
  FWrapProcHorz = GetWrapProcEx(FWrapMode, FClipRect.Left, FClipRect.Right - 1);
  FWrapProcVert = GetWrapProcEx(FWrapMode, FClipRect.Top, FClipRect.Bottom - 1);
}

void TCustomBitmap32::SetDrawMode(TDrawMode AValue) {
  if (FDrawMode == AValue) return;
  FDrawMode = AValue;
  Changed();
}

void TCustomBitmap32::SetCombineMode(TCombineMode AValue) {
  if (FCombineMode == AValue) return;
  FCombineMode = AValue;
  Changed();
}

void TCustomBitmap32::SetWrapMode(TWrapMode AValue) {
  if (FWrapMode == AValue) return;
  FWrapMode = AValue;
  ChooseWrapProcs();
  Changed();
}

void TCustomBitmap32::SetMasterAlpha(uint32_t AValue) {
  AValue = std::min<uint32_t>(AValue, 255);
  if (FMasterAlpha == AValue) return;
  FMasterAlpha = AValue;
  Changed();
}

void TCustomBitmap32::SetResampler(std::unique_ptr<TCustomResampler> AResampler) {
  if (!AResampler || AResampler.get() == FResampler.get()) return;
  AResampler->FBitmap = this;
  FResampler = std::move(AResampler);
  Changed();
}

std::u16string TCustomBitmap32::ResamplerClassName() const {
  return FResampler ? std::u16string(FResampler->ClassRef()->Name()) : std::u16string();
}

void TCustomBitmap32::SetResamplerClassName(std::u16string_view AName) {
  if (AName == ResamplerClassName()) return;
  const TClassList<TCustomResamplerClass>* list = ResamplerClassList();
  if (!list) return;
  if (TCustomResamplerClass c = list->Find(AName)) SetResampler(std::unique_ptr<TCustomResampler>(c->Create(this)));
}

// ---------------------------------------------------------------------------------------------------------------
// Fills and lines

void TCustomBitmap32::Clear(TColor32 AFillColor) {
  if (Empty()) return;
  if (!FClipping) {
    FillLongword(FBits, int32_t(int64_t(FWidth) * FHeight), AFillColor);
  } else {
    const int32_t width = FClipRect.Right - FClipRect.Left;
    for (int32_t y = FClipRect.Top; y < FClipRect.Bottom; ++y)
      FillLongword(PixelPtr(FClipRect.Left, y), width, AFillColor);
  }
  Changed();
}

void TCustomBitmap32::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue) {
  if (!Empty() && X2 > X1)
    for (int32_t y = Y1; y < Y2; ++y) FillLongword(PixelPtr(X1, y), X2 - X1, AValue);
  ChangedArea(MakeRect(X1, Y1, X2, Y2));
}

bool TCustomBitmap32::ClipToClipRect(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) const {
  if (X2 <= X1 || Y2 <= Y1 || X1 >= FClipRect.Right || Y1 >= FClipRect.Bottom || X2 <= FClipRect.Left ||
      Y2 <= FClipRect.Top)
    return false;
  X1 = std::max(X1, FClipRect.Left);
  Y1 = std::max(Y1, FClipRect.Top);
  X2 = std::min(X2, FClipRect.Right);
  Y2 = std::min(Y2, FClipRect.Bottom);
  return true;
}

void TCustomBitmap32::FillRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue) {
  if (ClipToClipRect(X1, Y1, X2, Y2)) FillRect(X1, Y1, X2, Y2, AValue);
  ChangedArea(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::BlendRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue) {
  if (Empty()) return;
  const uint32_t alpha = AValue >> 24;
  for (int32_t y = Y1; y < Y2; ++y) {
    TColor32* p = PixelPtr(X1, y);
    if (FCombineMode == cmBlend)
      for (int32_t x = X1; x < X2; ++x, ++p) CombineMem(AValue, *p, alpha);
    else
      for (int32_t x = X1; x < X2; ++x, ++p) MergeMem(AValue, *p);
  }
}

void TCustomBitmap32::FillRectT(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue) {
  const uint32_t alpha = AValue >> 24;
  if (alpha == 255) {
    FillRect(X1, Y1, X2, Y2, AValue);
    return;
  }
  if (alpha == 0) return;
  BlendRect(X1, Y1, X2, Y2, AValue);
  EMMS();
  ChangedArea(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::FillRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue) {
  if (ClipToClipRect(X1, Y1, X2, Y2)) FillRectT(X1, Y1, X2, Y2, AValue);
  ChangedArea(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::HorzLine(int32_t X1, int32_t Y, int32_t X2, TColor32 AValue) {
  if (!Empty() && X2 >= X1) FillLongword(PixelPtr(X1, Y), X2 - X1 + 1, AValue);
}

void TCustomBitmap32::VertLine(int32_t X, int32_t Y1, int32_t Y2, TColor32 AValue) {
  if (Empty()) return;
  for (int32_t y = Y1; y <= Y2; ++y) *PixelPtr(X, y) = AValue;
}

void TCustomBitmap32::HorzLineS(int32_t X1, int32_t Y, int32_t X2, TColor32 AValue) {
  if (Y >= FClipRect.Top && Y < FClipRect.Bottom && TestClip(X1, X2, FClipRect.Left, FClipRect.Right)) {
    HorzLine(X1, Y, X2, AValue);
    ChangedArea(MakeRect(X1, Y, X2 + 1, Y + 1));
  }
}

void TCustomBitmap32::VertLineS(int32_t X, int32_t Y1, int32_t Y2, TColor32 AValue) {
  if (X >= FClipRect.Left && X < FClipRect.Right && TestClip(Y1, Y2, FClipRect.Top, FClipRect.Bottom)) {
    VertLine(X, Y1, Y2, AValue);
    ChangedArea(MakeRect(X, Y1, X + 1, Y2 + 1));
  }
}

void TCustomBitmap32::FrameRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue) {
  if (X2 <= X1 || Y2 <= Y1) return;
  if (X2 <= FClipRect.Left || X1 >= FClipRect.Right || Y2 <= FClipRect.Top || Y1 >= FClipRect.Bottom) return;
  --X2;
  --Y2;
  HorzLineS(X1, Y1, X2, AValue);
  if (Y2 > Y1) HorzLineS(X1, Y2, X2, AValue);
  if (Y2 > Y1 + 1) {
    VertLineS(X1, Y1 + 1, Y2 - 1, AValue);
    if (X2 > X1) VertLineS(X2, Y1 + 1, Y2 - 1, AValue);
  }
}

void TCustomBitmap32::ResetAlpha(uint8_t AAlphaValue) {
  if (!Empty()) {
    const TColor32 alpha = TColor32(AAlphaValue) << 24;
    TColor32* p = FBits;
    for (int64_t i = int64_t(FWidth) * FHeight; i > 0; --i, ++p) *p = (*p & 0x00FFFFFF) | alpha;
  }
  Changed();
}

// ---------------------------------------------------------------------------------------------------------------
// Drawing onto other bitmaps

void TCustomBitmap32::DrawTo(TCustomBitmap32* ADst, int32_t ADstX, int32_t ADstY) {
  DrawTo(ADst, ADstX, ADstY, BoundsRect());
}

void TCustomBitmap32::DrawTo(TCustomBitmap32* ADst, int32_t ADstX, int32_t ADstY, const TRect& ASrcRect) {
  BlockTransfer(ADst, ADstX, ADstY, ADst ? ADst->ClipRect() : TRect{}, this, ASrcRect, FDrawMode, OnPixelCombine);
}

void TCustomBitmap32::StretchDrawTo(TCustomBitmap32* ADst, const TRect& ADstRect, const TRect& ASrcRect) {
  StretchTransfer(ADst, ADstRect, ADst ? ADst->ClipRect() : TRect{}, this, ASrcRect, FResampler.get(), FDrawMode,
                  OnPixelCombine);
}

void TCustomBitmap32::Draw(const TRect& ADstRect, const TRect& ASrcRect, TCustomBitmap32* ASrc) {
  if (ASrc) ASrc->StretchDrawTo(this, ADstRect, ASrcRect);
}

// ---------------------------------------------------------------------------------------------------------------
// Copying

void TCustomBitmap32::Assign(const TPlainInterfacedPersistent* ASource) {
  {
    TUpdateGuard<TCustomBitmap32> update(*this);
    if (!ASource) {
      SetSize(0, 0);
    } else if (const auto* source = dynamic_cast<const TCustomBitmap32*>(ASource)) {
      source->CopyMapTo(this);
      source->CopyPropertiesTo(this);
    } else {
      TCustomMap::Assign(ASource);
    }
  }
  Changed();
}

void TCustomBitmap32::CopyMapTo(TCustomBitmap32* ADst) const {
  ADst->SetSize(FWidth, FHeight);
  if (!Empty() && !ADst->Empty()) MoveLongword(FBits, ADst->FBits, int32_t(int64_t(FWidth) * FHeight));
}

void TCustomBitmap32::CopyPropertiesTo(TCustomBitmap32* ADst) const {
  ADst->SetDrawMode(FDrawMode);
  ADst->SetCombineMode(FCombineMode);
  ADst->SetWrapMode(FWrapMode);
  ADst->SetMasterAlpha(FMasterAlpha);
  ADst->FOuterColor = FOuterColor;
  ADst->SetResamplerClassName(ResamplerClassName());
  if (FResampler && ADst->FResampler) ADst->FResampler->Assign(FResampler.get());
}

// ---------------------------------------------------------------------------------------------------------------
// Streams

void TCustomBitmap32::ReadData(TStream& AStream) {
  uint8_t header[8];
  AStream.ReadBuffer(header, sizeof header);
  const int32_t width = int32_t(GetU32(header)), height = int32_t(GetU32(header + 4));
  RequireBytes(AStream, CheckedPixelCount(width, height) * 4);
  SetSize(width, height);
  if (!Empty()) AStream.ReadBuffer(FBits, size_t(int64_t(FWidth) * FHeight) * 4);
  Changed();
}

void TCustomBitmap32::WriteData(TStream& AStream) const {
  uint8_t header[8];
  PutU32(header, uint32_t(FWidth));
  PutU32(header + 4, uint32_t(FHeight));
  AStream.WriteBuffer(header, sizeof header);
  if (!Empty()) AStream.WriteBuffer(FBits, size_t(int64_t(FWidth) * FHeight) * 4);
}

void TCustomBitmap32::LoadFromStream(TStream& AStream) {
  uint8_t h[kBmpHeaderSize];
  AStream.ReadBuffer(h, sizeof h);
  const bool plain32 = h[0] == 'B' && h[1] == 'M' && GetU16(h + 26) == 1 && GetU16(h + 28) == 32 && GetU32(h + 30) == 0;
  if (!plain32) {
    AStream.Seek(-int64_t(kBmpHeaderSize), TSeekOrigin::soCurrent);
    LoadFromOtherFormat(AStream);
  } else {
    const int32_t width = int32_t(GetU32(h + 18));
    const int64_t signedHeight = int32_t(GetU32(h + 22));
    const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    if (height > std::numeric_limits<int32_t>::max()) throw EBitmapException(u"The bitmap's height is out of range");
    RequireBytes(AStream, CheckedPixelCount(width, int32_t(height)) * 4);
    SetSize(width, int32_t(height));
    if (!Empty()) {
      const size_t row = size_t(FWidth) * 4;
      if (signedHeight <= 0) {
        AStream.ReadBuffer(FBits, row * size_t(FHeight));
      } else {
        for (int32_t y = FHeight - 1; y >= 0; --y) AStream.ReadBuffer(ScanLine(y), row);
      }
    }
  }
  Changed();
}

void TCustomBitmap32::SaveToStream(TStream& AStream, bool ABottomUp) const {
  const uint32_t imageSize = uint32_t(int64_t(FWidth) * FHeight * 4);  // the header's fields are 32-bit
  uint8_t h[kBmpHeaderSize] = {'B', 'M'};
  PutU32(h + 2, imageSize + uint32_t(kBmpHeaderSize));
  PutU32(h + 10, uint32_t(kBmpHeaderSize));
  PutU32(h + 14, 40);
  PutU32(h + 18, uint32_t(FWidth));
  PutU32(h + 22, uint32_t(ABottomUp ? FHeight : -FHeight));
  PutU16(h + 26, 1);
  PutU16(h + 28, 32);
  PutU32(h + 34, imageSize);
  AStream.WriteBuffer(h, sizeof h);
  if (Empty()) return;
  if (ABottomUp) {
    for (int32_t y = FHeight - 1; y >= 0; --y) AStream.WriteBuffer(ScanLine(y), size_t(FWidth) * 4);
  } else {
    AStream.WriteBuffer(FBits, size_t(int64_t(FWidth) * FHeight) * 4);
  }
}

void TCustomBitmap32::LoadFromFile(const std::u16string& AFileName) {
  TFileStream stream(AFileName, TFileMode::fmOpenRead);
  LoadFromStream(stream);
}

void TCustomBitmap32::SaveToFile(const std::u16string& AFileName, bool ABottomUp) const {
  TFileStream stream(AFileName, TFileMode::fmCreate);
  SaveToStream(stream, ABottomUp);
}

void TCustomBitmap32::LoadFromOtherFormat(TStream&) {
  throw EBitmapException(u"Only 32-bit uncompressed BMP pictures can be read here");
}

// ---------------------------------------------------------------------------------------------------------------
// Change notification

void TCustomBitmap32::Changed() {
  if (UpdateCount() == 0 && OnAreaChanged) OnAreaChanged(this, BoundsRect(), AREAINFO_RECT);
  TCustomMap::Changed();
}

void TCustomBitmap32::ChangedArea(const TRect& AArea, uint32_t AInfo) {
  if (UpdateCount() == 0 && OnAreaChanged) OnAreaChanged(this, AArea, AInfo);
  TCustomMap::Changed();
}

void TCustomBitmap32::PropertyChanged() { TCustomMap::Changed(); }
