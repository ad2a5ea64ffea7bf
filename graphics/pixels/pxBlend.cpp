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
// SSE2 forms. Pixels are widened to 16-bit lanes, two pixels a register (blue, green, red, alpha of the first in
// lanes 0-3). Every intermediate stays below 65536, so the wrapping 16-bit arithmetic is the exact integer result.

#if defined(__SSE2__)
namespace {

inline __m128i Load(const TColor32* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); }
inline void Store(TColor32* P, __m128i V) { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V); }

inline __m128i Lanes16(int16_t AColour, int16_t AAlpha) {
  return _mm_set_epi16(AAlpha, AColour, AColour, AColour, AAlpha, AColour, AColour, AColour);
}

inline __m128i Select(__m128i AMask, __m128i AIfSet, __m128i AIfClear) {
  return _mm_or_si128(_mm_and_si128(AMask, AIfSet), _mm_andnot_si128(AMask, AIfClear));
}

// Each pixel's alpha lane copied into its four lanes.
inline __m128i BroadcastAlpha(__m128i X) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(X, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}

// True when all four pixels have alpha 0.
inline bool AllTransparent(__m128i APixels) {
  const __m128i alpha = _mm_and_si128(APixels, _mm_set1_epi32(int32_t(0xFF000000)));
  return _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_setzero_si128())) == 0xFFFF;
}

// (Y x (256 - W) + X x W + 128) >> 8 per lane, W in 0..256.
inline __m128i CombineLanes(__m128i X, __m128i Y, __m128i W) {
  const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(Y, _mm_sub_epi16(_mm_set1_epi16(256), W)), _mm_mullo_epi16(X, W));
  return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128)), 8);
}

// min(255, ((S.c x a + 128) >> 8) + D.c - ((D.c x a + 128) >> 8)); the source alpha lane counts as 256, which
// turns its first term into a itself. Unsaturated: the pack clamps to 255.
inline __m128i BlendLineLanes(__m128i S, __m128i D) {
  const __m128i a = BroadcastAlpha(S);
  const __m128i k128 = _mm_set1_epi16(128);
  S = _mm_or_si128(_mm_and_si128(S, Lanes16(-1, 0)), Lanes16(0, 256));
  const __m128i sp = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(S, a), k128), 8);
  const __m128i dp = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(D, a), k128), 8);
  return _mm_add_epi16(_mm_sub_epi16(D, dp), sp);
}

inline __m128i BlendLineExLanes(__m128i S, __m128i D, __m128i M) {
  const __m128i w = _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(BroadcastAlpha(S), _mm_set1_epi16(1)), M), 8);
  return CombineLanes(S, D, w);
}

// round(X / 255) for X up to 255 x 255.
inline __m128i Div255Lanes(__m128i X) {
  X = _mm_add_epi16(X, _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(X, _mm_srli_epi16(X, 8)), 8);
}

inline __m128i ProductLanes(__m128i A, __m128i C) { return Div255Lanes(_mm_mullo_epi16(A, C)); }

// V x 255 / A rounded half to even, low 8 bits; V in 0..255, A in 1..255. The float quotient is below 2^16 and
// at least 1/510 away from any integer it is not equal to, so truncating it gives the exact floor whatever the
// rounding mode; the remainder then decides the rounding in integers.
inline __m128i DivisionLanes(__m128i V, __m128i A) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i n = _mm_mullo_epi16(V, _mm_set1_epi16(255));
  const __m128 k255 = _mm_set1_ps(255.0f);
  const __m128 qlo = _mm_div_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(V, zero)), k255),
                                _mm_cvtepi32_ps(_mm_unpacklo_epi16(A, zero)));
  const __m128 qhi = _mm_div_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(V, zero)), k255),
                                _mm_cvtepi32_ps(_mm_unpackhi_epi16(A, zero)));
  __m128i q = _mm_packs_epi32(_mm_cvttps_epi32(qlo), _mm_cvttps_epi32(qhi));
  const __m128i twice = _mm_slli_epi16(_mm_sub_epi16(n, _mm_mullo_epi16(q, A)), 1);
  const __m128i odd = _mm_cmpeq_epi16(_mm_and_si128(q, _mm_set1_epi16(1)), _mm_set1_epi16(1));
  const __m128i up = _mm_or_si128(_mm_cmpgt_epi16(twice, A), _mm_and_si128(_mm_cmpeq_epi16(twice, A), odd));
  q = _mm_sub_epi16(q, up);
  return _mm_and_si128(q, _mm_set1_epi16(0xFF));
}

// MergeReg on two pixels: every case is computed and the first that applies is selected.
inline __m128i MergeLanes(__m128i F, __m128i B) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i k255 = _mm_set1_epi16(255);
  const __m128i colour = Lanes16(-1, 0);
  const __m128i fa = BroadcastAlpha(F), ba = BroadcastAlpha(B);

  const __m128i ra = _mm_sub_epi16(_mm_add_epi16(fa, ba), ProductLanes(ba, fa));
  const __m128i bw = ProductLanes(ba, B);
  const __m128i below = _mm_cmpgt_epi16(bw, F);
  const __m128i distance = _mm_sub_epi16(_mm_xor_si128(_mm_sub_epi16(F, bw), below), below);
  const __m128i step = ProductLanes(fa, distance);
  const __m128i v = _mm_add_epi16(bw, _mm_sub_epi16(_mm_xor_si128(step, below), below));
  const __m128i merged = Select(colour, DivisionLanes(v, _mm_max_epi16(ra, _mm_set1_epi16(1))), ra);

  const __m128i overOpaque = _mm_or_si128(_mm_and_si128(CombineLanes(F, B, fa), colour), Lanes16(0, 255));
  const __m128i takeF = _mm_or_si128(_mm_cmpeq_epi16(fa, k255), _mm_cmpeq_epi16(ba, zero));
  __m128i r = Select(takeF, F, merged);
  r = Select(_mm_cmpeq_epi16(ba, k255), overOpaque, r);
  return Select(_mm_cmpeq_epi16(fa, zero), B, r);
}

// The source alpha replaced by M x alpha / 255, rounded.
inline __m128i WeightAlphaLanes(__m128i S, __m128i M) {
  const __m128i alpha = ProductLanes(BroadcastAlpha(S), M);
  return Select(Lanes16(-1, 0), S, alpha);
}

template <class TLanes>
inline void RowOf4(const TColor32* ASrc, TColor32* ADst, TLanes ALanes) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i s = Load(ASrc), d = Load(ADst);
  const __m128i lo = ALanes(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
  const __m128i hi = ALanes(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
  Store(ADst, _mm_packus_epi16(lo, hi));
}

}  // namespace

void BlendLineSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount) {
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    if (AllTransparent(Load(ASrc + i))) continue;
    RowOf4(ASrc + i, ADst + i, [](__m128i S, __m128i D) { return BlendLineLanes(S, D); });
  }
  BlendLinePortable(ASrc + i, ADst + i, ACount - i);
}

void BlendLineExSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  const __m128i m = _mm_set1_epi16(int16_t(M));
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    if (AllTransparent(Load(ASrc + i))) continue;
    RowOf4(ASrc + i, ADst + i, [m](__m128i S, __m128i D) { return BlendLineExLanes(S, D, m); });
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
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    if (AllTransparent(Load(ASrc + i))) continue;
    RowOf4(ASrc + i, ADst + i, [](__m128i S, __m128i D) { return MergeLanes(S, D); });
  }
  MergeLinePortable(ASrc + i, ADst + i, ACount - i);
}

void MergeLineExSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M) {
  const __m128i m = _mm_set1_epi16(int16_t(M));
  int32_t i = 0;
  for (; i + 4 <= ACount; i += 4) {
    if (AllTransparent(Load(ASrc + i))) continue;
    RowOf4(ASrc + i, ADst + i, [m](__m128i S, __m128i D) { return MergeLanes(WeightAlphaLanes(S, m), D); });
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
  // Added last, after every vector form, so that it is bound on every processor.
  r->Add(FID_MERGEREG, MergeRegPortable);
  r->RebindAll();
}
