// A backend whose pixels are a plain zero-filled heap block: the bitmaps of the platform-free build.
#pragma once

#include "graphics/pixels/pxBitmap.h"

class THeapBackend : public TCustomBackend {
 public:
  static const TClassInfo<TCustomBackend, TCustomBitmap32*> ClassInfo;
  TBackendClass ClassRef() const override { return &ClassInfo; }

  explicit THeapBackend(TCustomBitmap32* AOwner);

  bool Empty() const override { return FBits == nullptr; }

 protected:
  ~THeapBackend() override;
  // Raises EBitmapException for a size beyond MaxBitmapPixels and EOutOfMemory when the block cannot be had.
  void InitializeSurface(int32_t ANewWidth, int32_t ANewHeight, bool AClearBuffer) override;
  void FinalizeSurface() override;
};
