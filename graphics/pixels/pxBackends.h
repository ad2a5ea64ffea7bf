#pragma once
// What a bitmap backend may offer beyond holding pixels, asked for by interface, and the guarantee, for the length
// of one operation, that a bitmap's backend offers what the operation needs.

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string_view>

#include "foundation/cuWin32.h"
#include "framework/fwGraphics.h"
#include "graphics/pixels/pxBitmap.h"

// A canvas bound to the backend's device context, made on first request.
class ICanvasSupport {
 public:
  virtual TNotifyEvent OnCanvasChange() const = 0;
  virtual void SetOnCanvasChange(TNotifyEvent AHandler) = 0;
  virtual TCanvas& Canvas() = 0;
  virtual void DeleteCanvas() = 0;
  virtual bool CanvasAllocated() const = 0;

 protected:
  ~ICanvasSupport() = default;
};

class IFontSupport {
 public:
  virtual TNotifyEvent OnFontChange() const = 0;
  virtual void SetOnFontChange(TNotifyEvent AHandler) = 0;
  virtual TFont& Font() = 0;
  // The backend's font takes AFont's settings; then OnFontChange.
  virtual void SetFont(const TFont& AFont) = 0;
  // Selects the font into the device context, with its colour and a transparent background.
  virtual void UpdateFont() = 0;

 protected:
  ~IFontSupport() = default;
};

// Text drawn with the backend's font; every form reports the area it drew to the owner bitmap.
class ITextSupport {
 public:
  // Clipped to the owner's clip rectangle while the owner clips.
  virtual void Textout(int32_t X, int32_t Y, std::u16string_view AText) = 0;
  virtual void Textout(int32_t X, int32_t Y, const TRect& AClipRect, std::u16string_view AText) = 0;
  // DrawTextW with AFlags; DT_CALCRECT measures into ADstRect instead.
  virtual void Textout(TRect& ADstRect, uint32_t AFlags, std::u16string_view AText) = 0;
  // Measured on the device context, or on a shared one while there is no surface.
  virtual SIZE TextExtent(std::u16string_view AText) = 0;

 protected:
  ~ITextSupport() = default;
};

class IDeviceContextSupport {
 public:
  virtual HDC Handle() const = 0;
  // ASrcRect of ASrc stretched into ADstRect of the bitmap; nothing while the owner is empty.
  virtual void Draw(const TRect& ADstRect, const TRect& ASrcRect, HDC ASrc) = 0;
  // All of the owner's pixels, unscaled, with their top-left corner at (X, Y) of ADst.
  virtual void DrawTo(HDC ADst, int32_t X, int32_t Y) = 0;
  // ASrcRect of the bitmap stretched into ADstRect of ADst.
  virtual void DrawTo(HDC ADst, const TRect& ADstRect, const TRect& ASrcRect) = 0;

 protected:
  ~IDeviceContextSupport() = default;
};

// The interface a backend offers, or nil.
template <class TInterface>
TInterface* BackendAs(TCustomBackend* ABackend) {
  return dynamic_cast<TInterface*>(ABackend);
}

// One entry of a requirement: whether a backend offers a given interface.
using TBackendQuery = bool (*)(TCustomBackend* ABackend);
template <class TInterface>
bool Offers(TCustomBackend* ABackend) {
  return BackendAs<TInterface>(ABackend) != nullptr;
}

enum class TRequireMode : uint8_t { rmAll, rmAny };

// Makes ABitmap's backend satisfy the requirement (every listed interface, or at least one; an empty list is never
// satisfied). When it does not, the bitmap is switched to a GDI backend, which takes over its size and pixels
// (none with ADestructive: the bitmap is emptied first); AReleased is then the old backend, kept alive for
// ReinstateBackend. Otherwise AReleased is nil.
void RequireBackendInterfaces(TCustomBitmap32& ABitmap, std::initializer_list<TBackendQuery> ARequired,
                              TRequireMode AMode, bool ADestructive, TCustomBackend*& AReleased);
// Gives ASaved back to ABitmap (taking over the current size and pixels) and drops the hold on it; nil does
// nothing.
void ReinstateBackend(TCustomBitmap32& ABitmap, TCustomBackend* ASaved);

// The pair above for one scope.
class TBackendRequirement {
 public:
  TBackendRequirement(TCustomBitmap32& ABitmap, std::initializer_list<TBackendQuery> ARequired, TRequireMode AMode,
                      bool ADestructive)
      : FBitmap(ABitmap) {
    RequireBackendInterfaces(ABitmap, ARequired, AMode, ADestructive, FReleased);
  }
  ~TBackendRequirement() noexcept(false);
  TBackendRequirement(const TBackendRequirement&) = delete;
  TBackendRequirement& operator=(const TBackendRequirement&) = delete;

 private:
  TCustomBitmap32& FBitmap;
  TCustomBackend* FReleased = nullptr;
  int FUncaught = std::uncaught_exceptions();
};
