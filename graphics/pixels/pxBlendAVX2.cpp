// The AVX2 forms of the blend unit: the SSE2 forms widened to eight pixels a register, with the same arithmetic
// and the same proofs (see pxBlend.cpp). This file alone is compiled for AVX2, so nothing here may be called
// before the binding has seen pfAVX2, and it defines no inline function another file could share: every helper
// has internal linkage and is always inlined, so no 256-bit value is passed across a call. GCC still spills a few
// across the portable calls; on 64-bit Windows their stack slots are not 32-byte aligned, which the MinGW build
// survives by encoding aligned moves as unaligned ones (see CMakeLists.txt).
#include "graphics/pixels/pxBlend.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define PX_AVX2_INLINE inline __attribute__((always_inline))

namespace {

PX_AVX2_INLINE __m256i Load(const TColor32* P) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P)); }
PX_AVX2_INLINE void Store(TColor32* P, __m256i V) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(P), V); }

PX_AVX2_INLINE __m256i AlphaBytes() { return _mm256_set1_epi32(int32_t(0xFF000000)); }

// Bit i set when pixel i's alpha byte (already masked) equals AValue's.
PX_AVX2_INLINE int AlphaIs(__m256i AMaskedAlpha, __m256i AValue) {
  return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(AMaskedAlpha, AValue)));
}

// The low 16 bits of each pixel in that pixel's four 16-bit lanes. Unpacking to 16 bits works within each 128-bit
// half, so ALow holds pixels 0, 1, 4, 5 and AHigh pixels 2, 3, 6, 7, the order the unpacks and the pack use.
PX_AVX2_INLINE void SpreadWords(__m256i AWords, __m256i& ALow, __m256i& AHigh) {
  const __m256i low = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5,  //
                                       0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5);
  const __m256i high = _mm256_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13,  //
                                        8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13);
  ALow = _mm256_shuffle_epi8(AWords, low);
  AHigh = _mm256_shuffle_epi8(AWords, high);
}

// (Y x (256 - W) + X x W + 128) >> 8 per lane, W in 0..256.
PX_AVX2_INLINE __m256i CombineLanes(__m256i X, __m256i Y, __m256i W) {
  const __m256i sum =
      _mm256_add_epi16(_mm256_mullo_epi16(Y, _mm256_sub_epi16(_mm256_set1_epi16(256), W)), _mm256_mullo_epi16(X, W));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128)), 8);
}

// (X x a + 128) >> 8 from X << 8 and 2a, as the SSE2 form proves it.
PX_AVX2_INLINE __m256i RoundedProduct(__m256i AShifted, __m256i ATwiceAlpha) {
  return _mm256_avg_epu16(_mm256_mulhi_epu16(AShifted, ATwiceAlpha), _mm256_setzero_si256());
}

// Eight pixels of BlendLine, as BlendLine4 of the SSE2 forms.
PX_AVX2_INLINE __m256i BlendLine8(__m256i S, __m256i D) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i alphaBytes = AlphaBytes();
  const __m256i a = _mm256_srli_epi32(S, 24);
  __m256i alo, ahi;
  SpreadWords(_mm256_add_epi32(a, a), alo, ahi);
  const __m256i source = _mm256_or_si256(S, alphaBytes);
  const __m256i dlo = _mm256_unpacklo_epi8(D, zero), dhi = _mm256_unpackhi_epi8(D, zero);
  const __m256i lo = _mm256_add_epi16(_mm256_sub_epi16(dlo, RoundedProduct(_mm256_unpacklo_epi8(zero, D), alo)),
                                      RoundedProduct(_mm256_unpacklo_epi8(alphaBytes, source), alo));
  const __m256i hi = _mm256_add_epi16(_mm256_sub_epi16(dhi, RoundedProduct(_mm256_unpackhi_epi8(zero, D), ahi)),
                                      RoundedProduct(_mm256_unpackhi_epi8(alphaBytes, source), ahi));
  return _mm256_packus_epi16(lo, hi);
}

// BlendLine of eight opaque source pixels in bytes, as BlendLineOpaque4.
PX_AVX2_INLINE __m256i BlendLineOpaque8(__m256i S, __m256i D) {
  const __m256i bias = _mm256_set1_epi8(char(0x80));
  const __m256i sHigh = _mm256_cmpgt_epi8(_mm256_xor_si256(S, bias), _mm256_setzero_si256());
  const __m256i dHigh = _mm256_cmpgt_epi8(_mm256_xor_si256(D, bias), _mm256_setzero_si256());
  return _mm256_or_si256(_mm256_sub_epi8(_mm256_add_epi8(S, sHigh), dHigh), AlphaBytes());
}

// BlendLineEx of eight pixels, as BlendLineEx4. The weight ((a + 1) x M) >> 8 is taken in the low 16 bits of
// each pixel (the high ones multiply 0), wrapping as the SSE2 form's 16-bit lanes do, before it is spread.
PX_AVX2_INLINE __m256i BlendLineEx8(__m256i S, __m256i D, __m256i M) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i a1 = _mm256_add_epi32(_mm256_srli_epi32(S, 24), _mm256_set1_epi32(1));
  __m256i wlo, whi;
  SpreadWords(_mm256_srli_epi32(_mm256_mullo_epi16(a1, M), 8), wlo, whi);
  const __m256i lo = CombineLanes(_mm256_unpacklo_epi8(S, zero), _mm256_unpacklo_epi8(D, zero), wlo);
  const __m256i hi = CombineLanes(_mm256_unpackhi_epi8(S, zero), _mm256_unpackhi_epi8(D, zero), whi);
  return _mm256_packus_epi16(lo, hi);
}

// BlendReg with alpha 255: the merge of a source over an opaque background, as OverOpaque4.
PX_AVX2_INLINE __m256i OverOpaque8(__m256i F, __m256i B) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i alo, ahi;
  SpreadWords(_mm256_srli_epi32(F, 24), alo, ahi);
  const __m256i lo = CombineLanes(_mm256_unpacklo_epi8(F, zero), _mm256_unpacklo_epi8(B, zero), alo);
  const __m256i hi = CombineLanes(_mm256_unpackhi_epi8(F, zero), _mm256_unpackhi_epi8(B, zero), ahi);
  return _mm256_or_si256(_mm256_packus_epi16(lo, hi), AlphaBytes());
}

// MergeReg on eight pixels, as Merge4; a pixel that needs the general union sends the eight through the portable
// form, which reads the source from memory so that no vector is stored to the stack.
PX_AVX2_INLINE void Merge8(const TColor32* ASrc, __m256i F, TColor32* ADst) {
  const __m256i d = Load(ADst);
  const __m256i alphaBytes = AlphaBytes(), zero = _mm256_setzero_si256();
  const __m256i fa = _mm256_and_si256(F, alphaBytes), ba = _mm256_and_si256(d, alphaBytes);
  const __m256i fClear = _mm256_cmpeq_epi32(fa, zero), bOpaque = _mm256_cmpeq_epi32(ba, alphaBytes);
  const __m256i ends = _mm256_or_si256(_mm256_cmpeq_epi32(fa, alphaBytes), _mm256_cmpeq_epi32(ba, zero));
  const __m256i simple = _mm256_or_si256(_mm256_or_si256(fClear, bOpaque), ends);
  if (_mm256_movemask_ps(_mm256_castsi256_ps(simple)) != 0xFF) {
    for (int k = 0; k < 8; ++k) ADst[k] = MergeRegPortable(ASrc[k], ADst[k]);
    return;
  }
  __m256i r = F;
  if (_mm256_movemask_ps(_mm256_castsi256_ps(bOpaque)) != 0) r = _mm256_blendv_epi8(r, OverOpaque8(F, d), bOpaque);
  Store(ADst, _mm256_blendv_epi8(r, d, fClear));
}

}  // namespace

void BlendLineAVX2(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  const __m256i alphaBytes = AlphaBytes(), zero = _mm256_setzero_si256();
  int32_t i = 0;
  // Thirty-two pixels a step, with the SSE2 form's block tests for all transparent and all opaque.
  for (; i + 32 <= ACount; i += 32) {
    const __m256i s0 = Load(ASrc + i), s1 = Load(ASrc + i + 8), s2 = Load(ASrc + i + 16), s3 = Load(ASrc + i + 24);
    const __m256i any = _mm256_or_si256(_mm256_or_si256(s0, s1), _mm256_or_si256(s2, s3));
    const __m256i all = _mm256_and_si256(_mm256_and_si256(s0, s1), _mm256_and_si256(s2, s3));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(any)) == 0 && AlphaIs(_mm256_and_si256(any, alphaBytes), zero) == 0xFF)
      continue;
    if (_mm256_movemask_ps(_mm256_castsi256_ps(all)) == 0xFF &&
        AlphaIs(_mm256_and_si256(all, alphaBytes), alphaBytes) == 0xFF) {
      Store(ADst + i, BlendLineOpaque8(s0, Load(ADst + i)));
      Store(ADst + i + 8, BlendLineOpaque8(s1, Load(ADst + i + 8)));
      Store(ADst + i + 16, BlendLineOpaque8(s2, Load(ADst + i + 16)));
      Store(ADst + i + 24, BlendLineOpaque8(s3, Load(ADst + i + 24)));
    } else {
      Store(ADst + i, BlendLine8(s0, Load(ADst + i)));
      Store(ADst + i + 8, BlendLine8(s1, Load(ADst + i + 8)));
      Store(ADst + i + 16, BlendLine8(s2, Load(ADst + i + 16)));
      Store(ADst + i + 24, BlendLine8(s3, Load(ADst + i + 24)));
    }
  }
  for (; i + 8 <= ACount; i += 8) Store(ADst + i, BlendLine8(Load(ASrc + i), Load(ADst + i)));
  if (i < ACount) BlendLineSSE2(ASrc + i, ADst + i, ACount - i);
}

void BlendLineExAVX2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  const __m256i m = _mm256_set1_epi16(int16_t(M)), alphaBytes = AlphaBytes(), zero = _mm256_setzero_si256();
  int32_t i = 0;
  for (; i + 8 <= ACount; i += 8) {
    const __m256i s = Load(ASrc + i);
    if (AlphaIs(_mm256_and_si256(s, alphaBytes), zero) == 0xFF) continue;
    Store(ADst + i, BlendLineEx8(s, Load(ADst + i), m));
  }
  if (i < ACount) BlendLineExSSE2(ASrc + i, ADst + i, ACount - i, M);
}

// One pixel gains nothing from 256 bits: this is the SSE2 arithmetic in VEX encoding, so that a caller running
// AVX2 code pays no change between the two encodings.
void CombineMemAVX2(TColor32 X, TColor32& Y, uint32_t W) {
  if ((W & 0xFFFF) == 0) return;
  if (W == 255) {
    Y = X;
    return;
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i x = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(X)), zero);
  const __m128i y = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(Y)), zero);
  const __m128i w = _mm_set1_epi16(int16_t(W));
  const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(y, _mm_sub_epi16(_mm_set1_epi16(256), w)), _mm_mullo_epi16(x, w));
  const __m128i r = _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128)), 8);
  Y = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
}

void MergeLineAVX2(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  const __m256i alphaBytes = AlphaBytes(), zero = _mm256_setzero_si256();
  int32_t i = 0;
  for (; i + 8 <= ACount; i += 8) {
    const __m256i s = Load(ASrc + i);
    if (AlphaIs(_mm256_and_si256(s, alphaBytes), zero) == 0xFF) continue;
    Merge8(ASrc + i, s, ADst + i);
  }
  if (i < ACount) MergeLineSSE2(ASrc + i, ADst + i, ACount - i);
}
#endif
