#include "graphics/pixels/pxSystem.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

constexpr uint32_t kMMXBit = 0x00800000;
constexpr uint32_t kSSEBit = 0x02000000;
constexpr uint32_t kSSE2Bit = 0x04000000;
constexpr uint32_t kExtMMXAmdBit = 0x00400000;
constexpr uint32_t k3DNowBit = 0x80000000;
constexpr uint32_t k3DNowExtBit = 0x40000000;
constexpr uint32_t kOSXSaveBit = 0x08000000;
constexpr uint32_t kAVX2Bit = 0x00000020;
constexpr uint64_t kXmmYmmState = 0x6;

TProcessorFeatures GFeatures;
bool GFeaturesDetected = false;

bool ExtendedLeavesExist(const TCpuidAnswers& A) { return A.MaxExtendedLeaf >= 0x80000001; }

}  // namespace

TCpuidAnswers ReadCpuid() {
  TCpuidAnswers r;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax, ebx, ecx, edx;
  // On x86-64 CPUID always exists; on 32-bit x86 __get_cpuid_max toggles the ID flag first.
  r.MaxLeaf = __get_cpuid_max(0, nullptr);
  if (r.MaxLeaf == 0) return r;
  r.HasCpuid = true;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    r.Leaf1Eax = eax;
    r.Leaf1Ecx = ecx;
    r.Leaf1Edx = edx;
  }
  if (r.MaxLeaf >= 7 && __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) r.Leaf7Ebx = ebx;
  // XGETBV faults unless the system has enabled it, which OSXSAVE tells.
  if ((r.Leaf1Ecx & kOSXSaveBit) != 0) {
    uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    r.Xcr0 = uint64_t(high) << 32 | low;
  }
  r.MaxExtendedLeaf = __get_cpuid_max(0x80000000, nullptr);
  if (r.MaxExtendedLeaf >= 0x80000001 && __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx)) r.Ext1Edx = edx;
#endif
  return r;
}

bool HasProcessorFeature(const TCpuidAnswers& A, TProcessorFeature AFeature) {
  if (!A.HasCpuid) return false;
  if (((A.Leaf1Eax >> 8) & 0xF) < 5) return false;
  switch (AFeature) {
    case pfMMX:
      return (A.Leaf1Edx & kMMXBit) != 0;
    case pfExtendedMMX:
      return (A.Leaf1Edx & kSSEBit) != 0 || (ExtendedLeavesExist(A) && (A.Ext1Edx & kExtMMXAmdBit) != 0);
    case pfSSE:
      return (A.Leaf1Edx & kSSEBit) != 0;
    case pfSSE2:
      return (A.Leaf1Edx & kSSE2Bit) != 0;
    case pf3DNow:
      return ExtendedLeavesExist(A) && (A.Ext1Edx & k3DNowBit) != 0;
    case pf3DNowExt:
      return ExtendedLeavesExist(A) && (A.Ext1Edx & k3DNowExtBit) != 0;
    // The processor's AVX2 is usable only when the system saves the YMM registers on a task switch.
    case pfAVX2:
      return A.MaxLeaf >= 7 && (A.Leaf7Ebx & kAVX2Bit) != 0 && (A.Leaf1Ecx & kOSXSaveBit) != 0 &&
             (A.Xcr0 & kXmmYmmState) == kXmmYmmState;
  }
  return false;
}

bool HasProcessorFeature(TProcessorFeature AFeature) { return HasProcessorFeature(ReadCpuid(), AFeature); }

TProcessorFeatures DetectProcessorFeatures(const TCpuidAnswers& AAnswers) {
  TProcessorFeatures r;
  for (TProcessorFeature f : {pfMMX, pfExtendedMMX, pfSSE, pfSSE2, pf3DNow, pf3DNowExt, pfAVX2})
    if (HasProcessorFeature(AAnswers, f)) r.Include(f);
  return r;
}

TProcessorFeatures ProcessorFeatures() {
  if (!GFeaturesDetected) {
    GFeatures = DetectProcessorFeatures(ReadCpuid());
    GFeaturesDetected = true;
  }
  return GFeatures;
}

void pxSystemStart() { ProcessorFeatures(); }
