#include "graphics/pixels/pxBackends.h"

#include "graphics/pixels/pxBackendsGDI.h"

namespace {

bool Satisfied(TCustomBackend* ABackend, std::initializer_list<TBackendQuery> ARequired, TRequireMode AMode) {
  bool offered = false;
  for (TBackendQuery query : ARequired) {
    offered = ABackend && query(ABackend);
    if (AMode == TRequireMode::rmAll && !offered) return false;
    if (AMode == TRequireMode::rmAny && offered) return true;
  }
  return offered;
}

}  // namespace

void RequireBackendInterfaces(TCustomBitmap32& ABitmap, std::initializer_list<TBackendQuery> ARequired,
                              TRequireMode AMode, bool ADestructive, TCustomBackend*& AReleased) {
  AReleased = nullptr;
  if (Satisfied(ABitmap.Backend(), ARequired, AMode)) return;
  if (ADestructive) ABitmap.SetSize(0, 0);
  TCustomBackend* old = ABitmap.Backend();
  if (old) old->AddRef();  // survives the bitmap letting go of it
  try {
    ABitmap.SetBackend(TGDIBackend::ClassInfo.Create(&ABitmap));
  } catch (...) {
    if (old) old->Release();
    throw;
  }
  AReleased = old;
}

void ReinstateBackend(TCustomBitmap32& ABitmap, TCustomBackend* ASaved) {
  if (!ASaved) return;
  try {
    ABitmap.SetBackend(ASaved);
  } catch (...) {
    ASaved->Release();
    throw;
  }
  ASaved->Release();
}

TBackendRequirement::~TBackendRequirement() noexcept(false) {
  if (std::uncaught_exceptions() == FUncaught) {
    ReinstateBackend(FBitmap, FReleased);
    return;
  }
  try {
    ReinstateBackend(FBitmap, FReleased);
  } catch (...) {
    // Already unwinding from the guarded work: its exception is the one to report.
  }
}
