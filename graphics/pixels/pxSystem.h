// Which instruction sets the processor offers, so that each pixel routine can be bound to the fastest form.
#pragma once

#include <cstdint>
#include <initializer_list>

enum TProcessorFeature : uint8_t { pfMMX, pfExtendedMMX, pfSSE, pfSSE2, pf3DNow, pf3DNowExt, pfAVX2 };

// A set of TProcessorFeature in one byte, one bit per feature in declaration order.
class TProcessorFeatures {
 public:
  constexpr TProcessorFeatures() = default;
  constexpr TProcessorFeatures(std::initializer_list<TProcessorFeature> AFeatures) {
    for (TProcessorFeature f : AFeatures) FBits |= Bit(f);
  }
  static constexpr TProcessorFeatures FromByte(uint8_t ABits) {
    TProcessorFeatures r;
    r.FBits = ABits & 0x7F;
    return r;
  }

  constexpr uint8_t Byte() const { return FBits; }
  constexpr bool Contains(TProcessorFeature F) const { return (FBits & Bit(F)) != 0; }
  constexpr bool IsEmpty() const { return FBits == 0; }
  constexpr void Include(TProcessorFeature F) { FBits |= Bit(F); }
  // The features of this set that are missing from AOther.
  constexpr TProcessorFeatures operator-(TProcessorFeatures AOther) const { return FromByte(FBits & ~AOther.FBits); }
  friend constexpr bool operator==(TProcessorFeatures, TProcessorFeatures) = default;

 private:
  static constexpr uint8_t Bit(TProcessorFeature F) { return uint8_t(1u << F); }
  uint8_t FBits = 0;
};

// What the CPUID instruction answered, as far as feature detection reads it.
struct TCpuidAnswers {
  bool HasCpuid = false;  // the ID bit of the flags register can be toggled
  uint32_t Leaf1Eax = 0;  // family in bits 8-11
  uint32_t Leaf1Edx = 0;
  uint32_t MaxExtendedLeaf = 0;  // EAX of leaf 0x80000000
  uint32_t Ext1Edx = 0;          // EDX of leaf 0x80000001
  uint32_t MaxLeaf = 0;          // EAX of leaf 0
  uint32_t Leaf1Ecx = 0;         // OSXSAVE in bit 27
  uint32_t Leaf7Ebx = 0;         // EBX of leaf 7, sub-leaf 0: AVX2 in bit 5
  uint64_t Xcr0 = 0;             // XGETBV(0), read only when OSXSAVE is set: the register states the system saves
};

// Asks this processor.
TCpuidAnswers ReadCpuid();

// The test of one feature against given answers; no cache.
bool HasProcessorFeature(const TCpuidAnswers& AAnswers, TProcessorFeature AFeature);
// The same against this processor.
bool HasProcessorFeature(TProcessorFeature AFeature);
// Every feature against given answers, in bit order.
TProcessorFeatures DetectProcessorFeatures(const TCpuidAnswers& AAnswers);

// This processor's features, detected on the first call and cached for the run.
TProcessorFeatures ProcessorFeatures();

// Unit start: detects the features.
void pxSystemStart();
