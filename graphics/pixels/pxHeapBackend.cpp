#include "graphics/pixels/pxHeapBackend.h"

#include <cstdlib>

const TClassInfo<TCustomBackend, TCustomBitmap32*> THeapBackend::ClassInfo{
    u"THeapBackend", &TCustomBackend::ClassInfo, &ClassFactory<THeapBackend, TCustomBackend, TCustomBitmap32*>};

THeapBackend::THeapBackend(TCustomBitmap32* AOwner) : TCustomBackend(AOwner) {}

THeapBackend::~THeapBackend() { FinalizeSurface(); }

void THeapBackend::InitializeSurface(int32_t ANewWidth, int32_t ANewHeight, bool) {
  const int64_t pixels = CheckedPixelCount(ANewWidth, ANewHeight);
  FBits = static_cast<TColor32*>(std::calloc(size_t(pixels), sizeof(TColor32)));
  if (!FBits) throw EOutOfMemory(Format(u"Can't allocate a bitmap of %d x %d pixels", {ANewWidth, ANewHeight}));
}

void THeapBackend::FinalizeSurface() {
  std::free(FBits);
  FBits = nullptr;
}
