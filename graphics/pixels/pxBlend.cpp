#include "graphics/pixels/pxBlend.h"

#include "graphics/pixels/pxBindings.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Both tables are exact integer rounding, built by the compiler: no start-up order can see them unfilled.
constexpr TByteTable MakeProductTable() {
  TByteTable t{};
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t c = 0; c < 256; ++c) t[a][c] = uint8_t((a * c + 127) / 255);  // a x c / 255 is never a tie
  return t;
}

constexpr TByteTable MakeDivisionTable() {
  TByteTable t{};
  for (uint32_t a = 1; a < 256; ++a)
    for (uint32_t c = 0; c < 256; ++c) {
      const uint32_t n = c * 255;
      uint32_t q = n / a;
      const uint32_t twice = 2 * (n % a);
      if (twice > a || (twice == a && (q & 1) != 0)) ++q;
      t[a][c] = uint8_t(q);
    }
  return t;
}

inline uint32_t Channel(TColor32 C, int AShift) { return (C >> AShift) & 0xFF; }

}  // namespace

constinit const TByteTable ProductTable = MakeProductTable();
constinit const TByteTable DivisionTable = MakeDivisionTable();

// ---------------------------------------------------------------------------------------------------------------
// Portable forms: one channel at a time, written as the definitions read.

void EmmsPortable() {}

TColor32 BlendRegPortable(TColor32 F, TColor32 B) {
  const uint32_t a = F >> 24;
  TColor32 r = 0;
  for (int s = 0; s < 32; s += 8) {
    const uint32_t f = Channel(F, s), b = Channel(B, s);
    r |= ((b * (256 - a) + f * a + 128) >> 8) << s;
  }
  return r;
}

void BlendMemPortable(TColor32 F, TColor32& B) {
  const uint32_t a = F >> 24;
  if (a == 0) return;
  if (a == 255) {
    B = F;
    return;
  }
  B = BlendRegPortable(F, B);
}

void BlendLinePortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  for (int32_t i = 0; i < ACount; ++i) {
    const TColor32 s = ASrc[i], d = ADst[i];
    const uint32_t a = s >> 24;
    TColor32 r = 0;
    for (int sh = 0; sh < 24; sh += 8) {
      const uint32_t sc = Channel(s, sh), dc = Channel(d, sh);
      const uint32_t v = ((sc * a + 128) >> 8) + dc - ((dc * a + 128) >> 8);
      r |= (v > 255 ? 255 : v) << sh;
    }
    const uint32_t da = d >> 24;
    const uint32_t va = a + da - ((da * a + 128) >> 8);
    ADst[i] = r | ((va > 255 ? 255 : va) << 24);
  }
}

void BlendLineExPortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  for (int32_t i = 0; i < ACount; ++i) {
    const TColor32 s = ASrc[i];
    const uint32_t a = s >> 24;
    if (a == 0) continue;
    const uint32_t w = ((a + 1) * M) >> 8;
    if (w == 0) continue;
    ADst[i] = CombineRegPortable(s, ADst[i], w);
  }
}

TColor32 CombineRegPortable(TColor32 X, TColor32 Y, uint32_t W) {
  TColor32 r = 0;
  for (int s = 0; s < 32; s += 8) {
    const uint32_t x = Channel(X, s), y = Channel(Y, s);
    r |= ((y * (256 - W) + x * W + 128) >> 8) << s;
  }
  return r;
}

void CombineMemPortable(TColor32 X, TColor32& Y, uint32_t W) {
  if ((W & 0xFFFF) == 0) return;
  if (W == 255) {
    Y = X;
    return;
  }
  Y = CombineRegPortable(X, Y, W);
}

TColor32 MergeRegPortable(TColor32 F, TColor32 B) {
  const uint32_t fa = F >> 24, ba = B >> 24;
  if (fa == 0) return B;
  if (ba == 255) return BlendRegPortable(F, B) | 0xFF000000;
  if (fa == 255 || ba == 0) return F;
  const uint32_t ra = fa + ba - ProductTable[ba][fa];
  TColor32 r = ra << 24;
  for (int s = 0; s < 24; s += 8) {
    const uint32_t fc = Channel(F, s);
    const uint32_t bw = ProductTable[ba][Channel(B, s)];
    const uint32_t v = fc >= bw ? bw + ProductTable[fa][fc - bw] : bw - ProductTable[fa][bw - fc];
    r |= uint32_t(DivisionTable[ra][v]) << s;
  }
  return r;
}

void MergeMemPortable(TColor32 F, TColor32& B) { B = MergeRegPortable(F, B); }

void MergeLinePortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  for (int32_t i = 0; i < ACount; ++i) ADst[i] = MergeRegPortable(ASrc[i], ADst[i]);
}

void MergeLineExPortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  for (int32_t i = 0; i < ACount; ++i) {
    const TColor32 s = ASrc[i];
    const TColor32 weighted = (s & 0x00FFFFFF) | (uint32_t(ProductTable[M][s >> 24]) << 24);
    ADst[i] = MergeRegPortable(weighted, ADst[i]);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// SSE2 forms, four pixels a step. Arithmetic is done with pixels widened to 16-bit lanes, two pixels a register
// (blue, green, red, alpha of the first in lanes 0-3); every intermediate stays below 65536, so the wrapping
// 16-bit arithmetic is the exact integer result. Counts that are not a multiple of four end in the portable form.

#if defined(__SSE2__)
namespace {

inline __m128i Load(const TColor32* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); }
inline void Store(TColor32* P, __m128i V) { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V); }

inline __m128i AlphaBytes() { return _mm_set1_epi32(int32_t(0xFF000000)); }

// Bit i set when pixel i's alpha byte (already masked) equals AValue's.
inline int AlphaIs(__m128i AMaskedAlpha, __m128i AValue) {
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(AMaskedAlpha, AValue)));
}

inline __m128i Select(__m128i AMask, __m128i AIfSet, __m128i AIfClear) {
  return _mm_or_si128(_mm_and_si128(AMask, AIfSet), _mm_andnot_si128(AMask, AIfClear));
}

// Each pixel's alpha in its four 16-bit lanes: first two pixels in ALow, last two in AHigh.
inline void WidenAlpha(__m128i APixels, __m128i& ALow, __m128i& AHigh) {
  const __m128i a = _mm_srli_epi32(APixels, 24);
  const __m128i pairs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
  ALow = _mm_unpacklo_epi32(pairs, pairs);
  AHigh = _mm_unpackhi_epi32(pairs, pairs);
}

// (Y x (256 - W) + X x W + 128) >> 8 per lane, W in 0..256.
inline __m128i CombineLanes(__m128i X, __m128i Y, __m128i W) {
  const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(Y, _mm_sub_epi16(_mm_set1_epi16(256), W)), _mm_mullo_epi16(X, W));
  return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128)), 8);
}

// (X x a + 128) >> 8 for X and a up to 255, given X << 8 and 2a: the high half of their product is
// floor(X x a / 128), and averaging that with 0 rounds it to floor((X x a + 128) / 256).
inline __m128i RoundedProduct(__m128i AShifted, __m128i ATwiceAlpha) {
  return _mm_avg_epu16(_mm_mulhi_epu16(AShifted, ATwiceAlpha), _mm_setzero_si128());
}

// BlendLine: min(255, ((S.c x a + 128) >> 8) + D.c - ((D.c x a + 128) >> 8)) on every channel, except that the
// source's alpha channel contributes a itself: its shifted lane is 0xFFFF, for which the rounded product is
// exactly a. The pack clamps to 255. ALow and AHigh hold 2a in the lanes of each pixel.
inline __m128i BlendLine4(__m128i S, __m128i D, __m128i ALow, __m128i AHigh) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaBytes = AlphaBytes();
  const __m128i source = _mm_or_si128(S, alphaBytes);
  const __m128i dlo = _mm_unpacklo_epi8(D, zero), dhi = _mm_unpackhi_epi8(D, zero);
  const __m128i lo = _mm_add_epi16(_mm_sub_epi16(dlo, RoundedProduct(_mm_unpacklo_epi8(zero, D), ALow)),
                                   RoundedProduct(_mm_unpacklo_epi8(alphaBytes, source), ALow));
  const __m128i hi = _mm_add_epi16(_mm_sub_epi16(dhi, RoundedProduct(_mm_unpackhi_epi8(zero, D), AHigh)),
                                   RoundedProduct(_mm_unpackhi_epi8(alphaBytes, source), AHigh));
  return _mm_packus_epi16(lo, hi);
}

// Eight pixels of BlendLine; their alphas are widened (and doubled) together.
inline void BlendLine8(__m128i S0, __m128i S1, TColor32* ADst) {
  __m128i a = _mm_packs_epi32(_mm_srli_epi32(S0, 24), _mm_srli_epi32(S1, 24));
  a = _mm_add_epi16(a, a);
  const __m128i pairs0 = _mm_unpacklo_epi16(a, a), pairs1 = _mm_unpackhi_epi16(a, a);
  Store(ADst, BlendLine4(S0, Load(ADst), _mm_unpacklo_epi32(pairs0, pairs0), _mm_unpackhi_epi32(pairs0, pairs0)));
  Store(ADst + 4,
        BlendLine4(S1, Load(ADst + 4), _mm_unpacklo_epi32(pairs1, pairs1), _mm_unpackhi_epi32(pairs1, pairs1)));
}

inline __m128i BlendLine4(__m128i S, __m128i D) {
  __m128i alo, ahi;
  WidenAlpha(S, alo, ahi);
  return BlendLine4(S, D, _mm_add_epi16(alo, alo), _mm_add_epi16(ahi, ahi));
}

// BlendLine of four opaque source pixels, in bytes: (c x 255 + 128) >> 8 is c - 1 for c > 128 and c otherwise,
// so each colour channel is S.c - [S.c > 128] + [D.c > 128], and alpha is 255.
inline __m128i BlendLineOpaque4(__m128i S, __m128i D) {
  const __m128i bias = _mm_set1_epi8(char(0x80));
  const __m128i sHigh = _mm_cmpgt_epi8(_mm_xor_si128(S, bias), _mm_setzero_si128());
  const __m128i dHigh = _mm_cmpgt_epi8(_mm_xor_si128(D, bias), _mm_setzero_si128());
  return _mm_or_si128(_mm_sub_epi8(_mm_add_epi8(S, sHigh), dHigh), AlphaBytes());
}

// BlendLineEx: each channel (D.c x (256 - w) + S.c x w + 128) >> 8 with w = ((a + 1) x M) >> 8. A weight of 0
// gives D itself, so transparent pixels and M = 0 need no test.
inline __m128i BlendLineEx4(__m128i S, __m128i D, __m128i M) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  __m128i alo, ahi;
  WidenAlpha(S, alo, ahi);
  const __m128i wlo = _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(alo, one), M), 8);
  const __m128i whi = _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(ahi, one), M), 8);
  const __m128i lo = CombineLanes(_mm_unpacklo_epi8(S, zero), _mm_unpacklo_epi8(D, zero), wlo);
  const __m128i hi = CombineLanes(_mm_unpackhi_epi8(S, zero), _mm_unpackhi_epi8(D, zero), whi);
  return _mm_packus_epi16(lo, hi);
}

// BlendReg with alpha 255: the merge of a source over an opaque background.
inline __m128i OverOpaque4(__m128i F, __m128i B) {
  const __m128i zero = _mm_setzero_si128();
  __m128i alo, ahi;
  WidenAlpha(F, alo, ahi);
  const __m128i lo = CombineLanes(_mm_unpacklo_epi8(F, zero), _mm_unpacklo_epi8(B, zero), alo);
  const __m128i hi = CombineLanes(_mm_unpackhi_epi8(F, zero), _mm_unpackhi_epi8(B, zero), ahi);
  return _mm_or_si128(_mm_packus_epi16(lo, hi), AlphaBytes());
}

// The source alpha replaced by M x alpha / 255 rounded, as ProductTable[M][alpha].
inline __m128i WeightAlpha4(__m128i S, __m128i M) {
  const __m128i x = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi32(S, 24), M), _mm_set1_epi16(128));
  const __m128i product = _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
  return _mm_or_si128(_mm_andnot_si128(AlphaBytes(), S), _mm_slli_epi32(product, 24));
}

// MergeReg on four pixels. The cases without arithmetic beyond BlendReg are done here; when a pixel needs the
// general union of two semi-transparent colours, the four go through the table-driven portable form.
inline void Merge4(__m128i F, TColor32* ADst) {
  const __m128i d = Load(ADst);
  const __m128i alphaBytes = AlphaBytes(), zero = _mm_setzero_si128();
  const __m128i fa = _mm_and_si128(F, alphaBytes), ba = _mm_and_si128(d, alphaBytes);
  const __m128i fClear = _mm_cmpeq_epi32(fa, zero), bOpaque = _mm_cmpeq_epi32(ba, alphaBytes);
  const __m128i simple = _mm_or_si128(_mm_or_si128(fClear, bOpaque),
                                      _mm_or_si128(_mm_cmpeq_epi32(fa, alphaBytes), _mm_cmpeq_epi32(ba, zero)));
  if (_mm_movemask_ps(_mm_castsi128_ps(simple)) != 0xF) {
    alignas(16) TColor32 f[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(f), F);
    for (int k = 0; k < 4; ++k) ADst[k] = MergeRegPortable(f[k], ADst[k]);
    return;
  }
  __m128i r = F;
  if (_mm_movemask_ps(_mm_castsi128_ps(bOpaque)) != 0) r = Select(bOpaque, OverOpaque4(F, d), r);
  Store(ADst, Select(fClear, d, r));
}

}  // namespace

void BlendLineSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  const __m128i alphaBytes = AlphaBytes(), zero = _mm_setzero_si128();
  int32_t i = 0;
  // Sixteen pixels a step. The top bits of the alphas pass over most blocks of mixed pixels with two cheap tests;
  // only blocks whose alphas are all below 128 or all at least 128 are tested for all transparent (left as they
  // are) or all opaque.
  for (; i + 16 <= ACount; i += 16) {
    const __m128i s0 = Load(ASrc + i), s1 = Load(ASrc + i + 4), s2 = Load(ASrc + i + 8), s3 = Load(ASrc + i + 12);
    const __m128i any = _mm_or_si128(_mm_or_si128(s0, s1), _mm_or_si128(s2, s3));
    const __m128i all = _mm_and_si128(_mm_and_si128(s0, s1), _mm_and_si128(s2, s3));
    if (_mm_movemask_ps(_mm_castsi128_ps(any)) == 0 && AlphaIs(_mm_and_si128(any, alphaBytes), zero) == 0xF) continue;
    if (_mm_movemask_ps(_mm_castsi128_ps(all)) == 0xF && AlphaIs(_mm_and_si128(all, alphaBytes), alphaBytes) == 0xF) {
      Store(ADst + i, BlendLineOpaque4(s0, Load(ADst + i)));
      Store(ADst + i + 4, BlendLineOpaque4(s1, Load(ADst + i + 4)));
      Store(ADst + i + 8, BlendLineOpaque4(s2, Load(ADst + i + 8)));
      Store(ADst + i + 12, BlendLineOpaque4(s3, Load(ADst + i + 12)));
    } else {
      BlendLine8(s0, s1, ADst + i);
      BlendLine8(s2, s3, ADst + i + 8);
    }
  }
  if (i + 8 <= ACount) {
    BlendLine8(Load(ASrc + i), Load(ASrc + i + 4), ADst + i);
    i += 8;
  }
  if (i + 4 <= ACount) {
    Store(ADst + i, BlendLine4(Load(ASrc + i), Load(ADst + i)));
    i += 4;
  }
  BlendLinePortable(ASrc + i, ADst + i, ACount - i);
}

void BlendLineExSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  const __m128i m = _mm_set1_epi16(int16_t(M)), alphaBytes = AlphaBytes(), zero = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    const __m128i s = Load(ASrc + i);
    if (AlphaIs(_mm_and_si128(s, alphaBytes), zero) == 0xF) continue;
    Store(ADst + i, BlendLineEx4(s, Load(ADst + i), m));
  }
  BlendLineExPortable(ASrc + i, ADst + i, ACount - i, M);
}

void CombineMemSSE2(TColor32 X, TColor32& Y, uint32_t W) {
  if ((W & 0xFFFF) == 0) return;
  if (W == 255) {
    Y = X;
    return;
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i x = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(X)), zero);
  const __m128i y = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(Y)), zero);
  const __m128i r = CombineLanes(x, y, _mm_set1_epi16(int16_t(W)));
  Y = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
}

void MergeLineSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  const __m128i alphaBytes = AlphaBytes(), zero = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    const __m128i s = Load(ASrc + i);
    if (AlphaIs(_mm_and_si128(s, alphaBytes), zero) == 0xF) continue;
    Merge4(s, ADst + i);
  }
  MergeLinePortable(ASrc + i, ADst + i, ACount - i);
}

void MergeLineExSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  const __m128i m = _mm_set1_epi16(int16_t(M)), alphaBytes = AlphaBytes(), zero = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    const __m128i s = WeightAlpha4(Load(ASrc + i), m);
    if (AlphaIs(_mm_and_si128(s, alphaBytes), zero) == 0xF) continue;
    Merge4(s, ADst + i);
  }
  MergeLineExPortable(ASrc + i, ADst + i, ACount - i, M);
}
#endif

// ---------------------------------------------------------------------------------------------------------------
// Bindings. Until pxBlendStart binds them, the variables hold the portable forms.

constinit TEmms* EMMS = EmmsPortable;
constinit TBlendReg* MergeReg = MergeRegPortable;
constinit TBlendMem* MergeMem = MergeMemPortable;
constinit TBlendLine* MergeLine = MergeLinePortable;
constinit TBlendLineEx* MergeLineEx = MergeLineExPortable;
constinit TCombineReg* CombineReg = CombineRegPortable;
constinit TCombineMem* CombineMem = CombineMemPortable;
constinit TBlendReg* BlendReg = BlendRegPortable;
constinit TBlendMem* BlendMem = BlendMemPortable;
constinit TBlendLine* BlendLine = BlendLinePortable;
constinit TBlendLineEx* BlendLineEx = BlendLineExPortable;

void pxBlendStart() {
  if (FindRegistry(u"pxBlend bindings")) return;
  TFunctionRegistry* r = NewRegistry(u"pxBlend bindings");
  r->RegisterBinding(FID_EMMS, &EMMS);
  r->RegisterBinding(FID_MERGEREG, &MergeReg);
  r->RegisterBinding(FID_MERGEMEM, &MergeMem);
  r->RegisterBinding(FID_MERGELINE, &MergeLine);
  r->RegisterBinding(FID_MERGELINEEX, &MergeLineEx);
  r->RegisterBinding(FID_COMBINEREG, &CombineReg);
  r->RegisterBinding(FID_COMBINEMEM, &CombineMem);
  r->RegisterBinding(FID_BLENDREG, &BlendReg);
  r->RegisterBinding(FID_BLENDMEM, &BlendMem);
  r->RegisterBinding(FID_BLENDLINE, &BlendLine);
  r->RegisterBinding(FID_BLENDLINEEX, &BlendLineEx);

  r->Add(FID_EMMS, EmmsPortable);
  r->Add(FID_MERGEREG, MergeRegPortable);
  r->Add(FID_MERGEMEM, MergeMemPortable);
  r->Add(FID_MERGELINE, MergeLinePortable);
  r->Add(FID_MERGELINEEX, MergeLineExPortable);
  r->Add(FID_COMBINEREG, CombineRegPortable);
  r->Add(FID_COMBINEMEM, CombineMemPortable);
  r->Add(FID_BLENDREG, BlendRegPortable);
  r->Add(FID_BLENDMEM, BlendMemPortable);
  r->Add(FID_BLENDLINE, BlendLinePortable);
  r->Add(FID_BLENDLINEEX, BlendLineExPortable);
#if defined(__SSE2__)
  r->Add(FID_MERGELINE, MergeLineSSE2, {pfSSE2});
  r->Add(FID_MERGELINEEX, MergeLineExSSE2, {pfSSE2});
  r->Add(FID_COMBINEMEM, CombineMemSSE2, {pfSSE2});
  r->Add(FID_BLENDLINE, BlendLineSSE2, {pfSSE2});
  r->Add(FID_BLENDLINEEX, BlendLineExSSE2, {pfSSE2});
#endif
#if defined(__x86_64__)
  // Their tails run the SSE2 forms.
  r->Add(FID_MERGELINE, MergeLineAVX2, {pfSSE2, pfAVX2});
  r->Add(FID_COMBINEMEM, CombineMemAVX2, {pfAVX2});
  r->Add(FID_BLENDLINE, BlendLineAVX2, {pfSSE2, pfAVX2});
  r->Add(FID_BLENDLINEEX, BlendLineExAVX2, {pfSSE2, pfAVX2});
#endif
  r->RebindAll();
}
