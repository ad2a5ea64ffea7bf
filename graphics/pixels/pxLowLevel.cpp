#include "graphics/pixels/pxLowLevel.h"

#include <cstring>

#include "graphics/pixels/pxBindings.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

constinit TFillLongword* FillLongword = FillLongwordPortable;

void FillLongwordPortable(uint32_t* ADest, int32_t ACount, uint32_t AValue) {
  for (int32_t i = 0; i < ACount; ++i) ADest[i] = AValue;
}

#if defined(__SSE2__)
void FillLongwordSSE2(uint32_t* ADest, int32_t ACount, uint32_t AValue) {
  if (ACount <= 0) return;
  const uintptr_t address = reinterpret_cast<uintptr_t>(ADest);
  if (ACount < 32 || (address & 3) != 0) {
    for (int32_t i = 0; i < ACount; ++i) ADest[i] = AValue;
    return;
  }
  // One to four single stores bring the address to a 16-byte boundary.
  int32_t head = 4 - int32_t((address >> 2) & 3);
  for (int32_t i = 0; i < head; ++i) ADest[i] = AValue;
  ADest += head;
  ACount -= head;
  const __m128i v = _mm_set1_epi32(int32_t(AValue));
  for (; ACount >= 4; ACount -= 4, ADest += 4) _mm_store_si128(reinterpret_cast<__m128i*>(ADest), v);
  for (int32_t i = 0; i < ACount; ++i) ADest[i] = AValue;
}
#endif

void MoveLongword(const uint32_t* ASource, uint32_t* ADest, int32_t ACount) {
  if (ASource == ADest || ACount <= 0) return;
  // memmove equals the forward copy except when the destination starts inside the source run.
  if (ADest > ASource && ADest < ASource + ACount) {
    for (int32_t i = 0; i < ACount; ++i) ADest[i] = ASource[i];
    return;
  }
  std::memmove(ADest, ASource, size_t(ACount) * sizeof(uint32_t));
}

bool TestClip(int32_t& A, int32_t& B, int32_t AStart, int32_t AStop) {
  if (B < A) {
    const int32_t t = A;
    A = B;
    B = t;
  }
  if (A < AStart) A = AStart;
  // In 64 bits: Stop - 1 does not fit when Stop is the least 32-bit value, and nothing is left then.
  const int64_t last = int64_t(AStop) - 1;
  if (B > last) B = ClampToInt32(last);
  return B >= A && last >= A;
}

int32_t Clamp(int32_t AValue, int32_t AMin, int32_t AMax) {
  if (AValue > AMax) return AMax;
  if (AValue < AMin) return AMin;
  return AValue;
}

// Both wrap forms work in 64 bits so that no coordinate can overflow; C++ division truncates like the definition.
// An empty range (AMax < AMin) answers AMin instead of dividing by zero.
int32_t Wrap(int32_t AValue, int32_t AMin, int32_t AMax) {
  const int64_t size = int64_t(AMax) - AMin + 1;
  if (size <= 0) return AMin;
  if (AValue < AMin) return int32_t(AMax + (int64_t(AValue) - AMax) % size);
  return int32_t(AMin + (int64_t(AValue) - AMin) % size);
}

int32_t Mirror(int32_t AValue, int32_t AMin, int32_t AMax) {
  const int64_t size = int64_t(AMax) - AMin + 1;
  if (size <= 0) return AMin;
  int64_t r, q;
  if (AValue < AMin) {
    r = AMax + (int64_t(AValue) - AMax) % size;
    q = (int64_t(AValue) - AMax) / size;
  } else {
    r = AMin + (int64_t(AValue) - AMin) % size;
    q = (int64_t(AValue) - AMin) / size;
  }
  // The low bit tells odd from even for negative quotients too.
  return int32_t((q & 1) != 0 ? int64_t(AMax) + AMin - r : r);
}

int32_t WrapPow2(int32_t AValue, int32_t AMin, int32_t AMax) {
  return int32_t(uint32_t(AMin) + ((uint32_t(AValue) - uint32_t(AMin)) & (uint32_t(AMax) - uint32_t(AMin))));
}

int32_t MirrorPow2(int32_t AValue, int32_t AMin, int32_t AMax) {
  const uint32_t offset = uint32_t(AValue) - uint32_t(AMin);
  const uint32_t mask = uint32_t(AMax) - uint32_t(AMin);
  if (((mask + 1) & offset) != 0) return int32_t(uint32_t(AMax) - (offset & mask));
  return int32_t(uint32_t(AMin) + (offset & mask));
}

TWrapProc GetWrapProc(TWrapMode AWrapMode) {
  switch (AWrapMode) {
    case wmRepeat:
      return Wrap;
    case wmMirror:
      return Mirror;
    default:
      return Clamp;
  }
}

TWrapProc GetWrapProcEx(TWrapMode AWrapMode, int32_t AMin, int32_t AMax) {
  const int64_t size = int64_t(AMax) - AMin + 1;
  const bool pow2 = AMin >= 0 && AMax >= AMin && (size & (size - 1)) == 0;
  switch (AWrapMode) {
    case wmRepeat:
      return pow2 ? WrapPow2 : Wrap;
    case wmMirror:
      return pow2 ? MirrorPow2 : Mirror;
    default:
      return Clamp;
  }
}

void pxLowLevelStart() {
  if (FindRegistry(u"pxLowLevel bindings")) return;
  TFunctionRegistry* registry = NewRegistry(u"pxLowLevel bindings");
  registry->RegisterBinding(FID_FILLLONGWORD, &FillLongword);
  registry->Add(FID_FILLLONGWORD, FillLongwordPortable);
#if defined(__SSE2__)
  registry->Add(FID_FILLLONGWORD, FillLongwordSSE2, {pfSSE2});
#endif
  registry->RebindAll();
}
