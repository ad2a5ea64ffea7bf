// The 32-bit ARGB bitmap: a Width x Height array of TColor32 with a clip rectangle, draw and combine modes, a
// master alpha and change notification. Its pixels live in a backend object, so that a platform backend can give
// them a device context; the heap backend serves the platform-free build.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxContainers.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxTypes.h"

class TCustomBitmap32;
class TCustomBackend;
class TCustomResampler;

using TNotifyEvent = TMethod<void(TObject* ASender)>;
using TAreaChangedEvent = TMethod<void(TObject* ASender, const TRect& AArea, uint32_t AInfo)>;
using TPixelCombineEvent = TMethod<void(TColor32 F, TColor32& B, uint32_t M)>;

// The info value of a changed area that is a plain rectangle.
constexpr uint32_t AREAINFO_RECT = 0x80000000;

enum TPixelAccessMode : uint8_t { pamUnsafe, pamSafe, pamWrap, pamTransparentEdge };

// A missing or unusable bitmap, or a bitmap whose pixels cannot be had.
class EBitmapException : public Exception {
 public:
  using Exception::Exception;
};

// ---------------------------------------------------------------------------------------------------------------
// Colour and rectangle helpers

// A platform colour 0x00BBGGRR (not a system colour) as an opaque TColor32.
constexpr TColor32 Color32(uint32_t AWinColor) {
  return 0xFF000000 | (AWinColor & 0xFF) << 16 | (AWinColor & 0xFF00) | (AWinColor >> 16 & 0xFF);
}
constexpr TColor32 Color32FromRGBA(uint8_t R, uint8_t G, uint8_t B, uint8_t A = 0xFF) {
  return TColor32(A) << 24 | TColor32(R) << 16 | TColor32(G) << 8 | B;
}
constexpr void Color32ToRGBA(TColor32 AColor, uint8_t& R, uint8_t& G, uint8_t& B, uint8_t& A) {
  A = uint8_t(AColor >> 24);
  R = uint8_t(AColor >> 16);
  G = uint8_t(AColor >> 8);
  B = uint8_t(AColor);
}
// Alpha dropped, red and blue exchanged: 0xAARRGGBB to 0x00BBGGRR.
constexpr uint32_t WinColor(TColor32 AColor) {
  return (AColor & 0xFF) << 16 | (AColor & 0xFF00) | (AColor >> 16 & 0xFF);
}

constexpr TRect MakeRect(int32_t L, int32_t T, int32_t R, int32_t B) { return TRect{L, T, R, B}; }
// Right <= Left or Bottom <= Top.
constexpr bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }
// The common part of R1 and R2; rectangles that only touch still meet (the result is then empty). When they do
// not meet: False and (0, 0, 0, 0).
bool IntersectRect(TRect& ADst, const TRect& R1, const TRect& R2);
// Moves R by (DX, DY); coordinates that would leave the 32-bit range stop at its ends.
TRect OffsetRect(const TRect& R, int64_t DX, int64_t DY);

// ---------------------------------------------------------------------------------------------------------------
// Persistent bases

class TPlainInterfacedPersistent : public TObject {
 public:
  // Copies ASource into this object; the default asks ASource (AssignTo) and raises EConvertError when neither
  // side knows the other. Nil is handled by the classes that accept it.
  virtual void Assign(const TPlainInterfacedPersistent* ASource);

  // Reference counting, in force only while RefCounted is on; otherwise both answer -1 and change nothing.
  // The release that brings the count to 0 destroys the object.
  int32_t AddRef();
  int32_t Release();
  // Destroys an object made with new. A reference-counted one that is still referenced raises "Unmatched
  // reference counting." and stays as it is.
  void Free();
  int32_t RefCount() const { return FRefCount.load(); }
  bool RefCounted() const { return FRefCounted; }

 protected:
  friend class TCustomBitmap32;
  virtual void AssignTo(TPlainInterfacedPersistent* ADest) const;
  [[noreturn]] void AssignError(const TPlainInterfacedPersistent* ASource) const;
  // Runs while the whole object still exists, just before the last release deletes it.
  virtual void BeforeDestruction() {}
  void SetRefCounted(bool AValue) { FRefCounted = AValue; }

 private:
  std::atomic<int32_t> FRefCount{0};
  bool FRefCounted = false;
};

class TNotifiablePersistent : public TPlainInterfacedPersistent {
 public:
  // Fires OnChange unless an update is pending.
  virtual void Changed();
  virtual void BeginUpdate() { ++FUpdateCount; }
  // Does not call Changed itself.
  virtual void EndUpdate() { --FUpdateCount; }
  int32_t UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChange;

 private:
  int32_t FUpdateCount = 0;
};

class TThreadPersistent : public TNotifiablePersistent {
 public:
  void Lock();
  void Unlock();
  int32_t LockCount() const { return FLockCount.load(); }

 private:
  std::atomic<int32_t> FLockCount{0};
  std::recursive_mutex FLock;
};

// A Width x Height map; neither dimension is ever negative.
class TCustomMap : public TThreadPersistent {
 public:
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  virtual void SetWidth(int32_t AValue) { SetSize(AValue, FHeight); }
  virtual void SetHeight(int32_t AValue) { SetSize(FWidth, AValue); }
  // Negative sizes become 0; a different size runs ChangeSize, Changed and Resized in this order.
  virtual void SetSize(int32_t ANewWidth, int32_t ANewHeight);
  virtual void Delete() { SetSize(0, 0); }
  virtual bool Empty() const { return FWidth == 0 || FHeight == 0; }

  TNotifyEvent OnResize;

 protected:
  virtual void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t ANewWidth, int32_t ANewHeight);
  virtual void Resized();

  int32_t FWidth = 0;
  int32_t FHeight = 0;
};

// ---------------------------------------------------------------------------------------------------------------
// Backends

// Backend classes are created for an owner bitmap: TBackendClass->Create(bitmap).
using TBackendClass = TClassRef<TCustomBackend, TCustomBitmap32*>;

// Owns a bitmap's pixel memory. Reference counted: the owner bitmap holds one reference, anyone who keeps the
// backend beyond the bitmap's use takes another (AddRef) and releases it later.
class TCustomBackend : public TThreadPersistent {
 public:
  static const TClassInfo<TCustomBackend, TCustomBitmap32*> ClassInfo;
  virtual TBackendClass ClassRef() const { return &ClassInfo; }

  explicit TCustomBackend(TCustomBitmap32* AOwner);

  TColor32* Bits() const { return FBits; }
  TCustomBitmap32* Owner() const { return FOwner; }
  // Base: False.
  virtual bool Empty() const { return false; }

  // Changing (OnChanging), FinalizeSurface, the owner's size fields to 0, a new surface when both sizes are at
  // least 1, the size fields to the new size, Changed. When the new surface cannot be made, the backend is left
  // without one, the size fields stay 0, Changed still runs (so the owner drops its pixel pointer) and the
  // exception propagates.
  virtual void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t ANewWidth, int32_t ANewHeight, bool AClearBuffer);
  // ChangeSize to 0 x 0.
  virtual void Clear();
  virtual void Changing();
  // Another backend: this one takes its owner's size and its pixels.
  void Assign(const TPlainInterfacedPersistent* ASource) override;

  // Fired before the surface is discarded; OnChange after every change of surface.
  TNotifyEvent OnChanging;

 protected:
  friend class TCustomBitmap32;
  // Only the last Release (or Free) destroys a backend: a plain delete would bypass the reference count.
  ~TCustomBackend() override = default;
  // Makes a surface of ANewWidth x ANewHeight and sets FBits; on failure frees what it made, leaves FBits nil and
  // raises. Surfaces start zero-filled, so AClearBuffer needs no work in the backends built here.
  virtual void InitializeSurface(int32_t ANewWidth, int32_t ANewHeight, bool AClearBuffer) {}
  virtual void FinalizeSurface() {}
  void BeforeDestruction() override;

  TColor32* FBits = nullptr;
  TCustomBitmap32* FOwner = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------
// Resampler bases

class TCustomSampler : public TNotifiablePersistent {
 public:
  virtual void PrepareSampling() {}
  virtual void FinalizeSampling() {}
};

using TCustomResamplerClass = TClassRef<TCustomResampler, TCustomBitmap32*>;

// Draws one bitmap scaled into another. Owned by its bitmap; its published property is PixelAccessMode.
class TCustomResampler : public TCustomSampler, public IPublishedProperties {
 public:
  static const TClassInfo<TCustomResampler, TCustomBitmap32*> ClassInfo;
  virtual TCustomResamplerClass ClassRef() const { return &ClassInfo; }

  explicit TCustomResampler(TCustomBitmap32* ABitmap);

  TCustomBitmap32* Bitmap() const { return FBitmap; }
  TPixelAccessMode PixelAccessMode() const { return FPixelAccessMode; }
  void SetPixelAccessMode(TPixelAccessMode AValue);

  // Forwards to the bitmap's Changed.
  void Changed() override;
  // Copies the bitmap's clip rectangle.
  void PrepareSampling() override;
  // True unless the mode is pamWrap.
  virtual bool HasBounds() const;
  // The bitmap's clip rectangle, one pixel wider on every side in pamTransparentEdge.
  virtual TRect GetSampleBounds() const;
  // The width of the filter in source pixels.
  virtual double GetWidth() const = 0;
  // Draws SrcRect of ASrc scaled into ADstRect of ADst, inside ADstClip.
  virtual void Transfer(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc, TRect ASrcRect,
                        TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) = 0;

  std::span<const TPublishedProperty> PublishedProperties() const override;

 protected:
  friend class TCustomBitmap32;
  // Another resampler takes this one's published properties.
  void AssignTo(TPlainInterfacedPersistent* ADest) const override;

  TCustomBitmap32* FBitmap;
  TRect FClipRect;
  TPixelAccessMode FPixelAccessMode = pamSafe;
};

// ---------------------------------------------------------------------------------------------------------------
// The bitmap

class TCustomBitmap32 : public TCustomMap {
 public:
  // On the heap backend.
  TCustomBitmap32();
  // On a backend of ABackendClass. Virtual calls made while this constructor runs reach this class's own forms:
  // a derived class finishes any hooks of its own on the backend in its own constructor.
  explicit TCustomBitmap32(TBackendClass ABackendClass);
  ~TCustomBitmap32() override;

  // ----- size, pixels, clipping
  bool Empty() const override;
  TColor32* Bits() const { return FBits; }
  TCustomBackend* Backend() const { return FBackend; }
  TRect BoundsRect() const { return TRect{0, 0, FWidth, FHeight}; }
  // No range checks: the caller keeps X in 0..Width-1 and Y in 0..Height-1.
  TColor32* PixelPtr(int32_t X, int32_t Y) const { return FBits + (int64_t(Y) * FWidth + X); }
  TColor32* ScanLine(int32_t Y) const { return FBits + int64_t(Y) * FWidth; }
  TColor32 Pixel(int32_t X, int32_t Y) const { return *PixelPtr(X, Y); }
  void SetPixel(int32_t X, int32_t Y, TColor32 AValue) { *PixelPtr(X, Y) = AValue; }

  const TRect& ClipRect() const { return FClipRect; }
  // R intersected with the bounds ((0, 0, 0, 0) when they do not meet); also chooses the wrap procedures again.
  void SetClipRect(const TRect& R);
  void ResetClipRect() { SetClipRect(BoundsRect()); }
  // The clip rectangle differs from the bounds.
  bool Clipping() const { return FClipping; }
  TWrapProc WrapProcHorz() const { return FWrapProcHorz; }
  TWrapProc WrapProcVert() const { return FWrapProcVert; }

  // ----- drawing properties
  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode AValue);
  TCombineMode CombineMode() const { return FCombineMode; }
  // Also selects the per-pixel blend routine of the mode.
  void SetCombineMode(TCombineMode AValue);
  TWrapMode WrapMode() const { return FWrapMode; }
  void SetWrapMode(TWrapMode AValue);
  // 0..255; larger values count as 255.
  uint32_t MasterAlpha() const { return FMasterAlpha; }
  void SetMasterAlpha(uint32_t AValue);
  // The colour of pixels outside the bitmap; dmTransparent leaves source pixels of this colour out.
  TColor32 OuterColor() const { return FOuterColor; }
  void SetOuterColor(TColor32 AValue) { FOuterColor = AValue; }
  // The bound per-pixel routine of the combine mode (BlendMem or MergeMem).
  TBlendMem* BlendProc() const { return *BlendMemProcs[FCombineMode]; }

  TCustomResampler* Resampler() const { return FResampler.get(); }
  // A new, different resampler replaces and frees the old one, then Changed; nil is ignored.
  void SetResampler(std::unique_ptr<TCustomResampler> AResampler);
  std::u16string ResamplerClassName() const;
  // Creates a resampler of the registered class of that name; a name not registered is ignored.
  void SetResamplerClassName(std::u16string_view AName);

  TPixelCombineEvent OnPixelCombine;  // used with dmCustom
  TAreaChangedEvent OnAreaChanged;

  // ----- fills and lines (nothing is drawn while the bitmap is empty)
  // Every pixel, or only the clip rectangle while clipping; then Changed. An empty bitmap is left alone silently.
  void Clear(TColor32 AFillColor = 0xFF000000);
  // Unclipped: the caller keeps the rectangle inside the bitmap.
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue);
  void FillRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue);
  void FillRectS(const TRect& R, TColor32 AValue) { FillRectS(R.Left, R.Top, R.Right, R.Bottom, AValue); }
  // Blended by the colour's alpha: CombineMem in cmBlend, MergeMem in cmMerge. Unclipped.
  void FillRectT(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue);
  void FillRectTS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue);
  void FillRectTS(const TRect& R, TColor32 AValue) { FillRectTS(R.Left, R.Top, R.Right, R.Bottom, AValue); }
  // X1..X2 and Y1..Y2 inclusive, unclipped.
  void HorzLine(int32_t X1, int32_t Y, int32_t X2, TColor32 AValue);
  void VertLine(int32_t X, int32_t Y1, int32_t Y2, TColor32 AValue);
  // Clipped to the clip rectangle and reported.
  void HorzLineS(int32_t X1, int32_t Y, int32_t X2, TColor32 AValue);
  void VertLineS(int32_t X, int32_t Y1, int32_t Y2, TColor32 AValue);
  // A one-pixel frame; X2 and Y2 exclusive.
  void FrameRectS(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue);
  void FrameRectS(const TRect& R, TColor32 AValue) { FrameRectS(R.Left, R.Top, R.Right, R.Bottom, AValue); }
  // The alpha byte of every pixel, colour untouched; then Changed.
  void ResetAlpha(uint8_t AAlphaValue = 0xFF);

  // ----- drawing onto other bitmaps, with this bitmap's DrawMode and OnPixelCombine, clipped to ADst's clip rect
  void DrawTo(TCustomBitmap32* ADst, int32_t ADstX, int32_t ADstY);
  void DrawTo(TCustomBitmap32* ADst, int32_t ADstX, int32_t ADstY, const TRect& ASrcRect);
  // Scaled through this bitmap's resampler.
  void StretchDrawTo(TCustomBitmap32* ADst, const TRect& ADstRect, const TRect& ASrcRect);
  // ASrc stretch-drawn into this bitmap; nothing when ASrc is nil.
  void Draw(const TRect& ADstRect, const TRect& ASrcRect, TCustomBitmap32* ASrc);

  // ----- copying
  // Nil empties the bitmap; another bitmap gives its size, pixels and properties; then Changed.
  void Assign(const TPlainInterfacedPersistent* ASource) override;
  // ADst takes this bitmap's size and pixels.
  virtual void CopyMapTo(TCustomBitmap32* ADst) const;
  // ADst takes DrawMode, CombineMode, WrapMode, MasterAlpha, OuterColor, the resampler class and its settings.
  virtual void CopyPropertiesTo(TCustomBitmap32* ADst) const;

  // ----- streams
  // Width and Height (32-bit little-endian) and the pixels, top row first.
  virtual void ReadData(TStream& AStream);
  virtual void WriteData(TStream& AStream) const;
  // A 32-bit uncompressed BMP is read here; any other picture goes to LoadFromOtherFormat.
  virtual void LoadFromStream(TStream& AStream);
  // A 54-byte header and the pixels, bottom row first when ABottomUp; alpha as stored.
  virtual void SaveToStream(TStream& AStream, bool ABottomUp = false) const;
  virtual void LoadFromFile(const std::u16string& AFileName);
  virtual void SaveToFile(const std::u16string& AFileName, bool ABottomUp = false) const;

  // ----- change notification
  // OnAreaChanged with the bounds (unless an update is pending), then OnChange.
  void Changed() override;
  // The same with the given area.
  virtual void ChangedArea(const TRect& AArea, uint32_t AInfo = AREAINFO_RECT);
  // OnChange only.
  virtual void PropertyChanged();

  // ----- backend
  // Installs ABackend (nothing when nil or already installed): it takes over the current size and pixels and
  // the old backend is released.
  virtual void SetBackend(TCustomBackend* ABackend);

 protected:
  void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t ANewWidth, int32_t ANewHeight) override;
  virtual void InitializeBackend(TBackendClass ABackendClass);
  virtual void FinalizeBackend();
  // The backend's OnChange: takes its pixel pointer and resets the clip rectangle.
  virtual void BackendChangedHandler(TObject* ASender);
  // The backend's OnChanging, before its surface goes.
  virtual void BackendChangingHandler(TObject* ASender) {}
  // A picture that is not a 32-bit uncompressed BMP; AStream is at its start. Here: EBitmapException.
  virtual void LoadFromOtherFormat(TStream& AStream);

 private:
  friend class TCustomBackend;
  void ChooseWrapProcs();
  void BlendRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 AValue);
  // Cuts the rectangle to the clip rectangle; false when nothing of it is left.
  bool ClipToClipRect(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) const;

  TCustomBackend* FBackend = nullptr;
  TColor32* FBits = nullptr;
  TRect FClipRect;
  bool FClipping = false;
  TDrawMode FDrawMode = dmOpaque;
  TCombineMode FCombineMode = cmBlend;
  TWrapMode FWrapMode = wmClamp;
  uint32_t FMasterAlpha = 255;
  TColor32 FOuterColor = 0;
  std::unique_ptr<TCustomResampler> FResampler;
  TWrapProc FWrapProcHorz = Clamp;
  TWrapProc FWrapProcVert = Clamp;
};

// The largest number of pixels a bitmap may hold: runs of pixels are counted in 32 bits.
constexpr int64_t MaxBitmapPixels = 0x7FFFFFFF;
// ANewWidth x ANewHeight in 64 bits; raises EBitmapException when it exceeds MaxBitmapPixels.
int64_t CheckedPixelCount(int32_t AWidth, int32_t AHeight);
