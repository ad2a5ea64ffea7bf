// Every blend, combine and merge form against the definitions, written out here channel by channel.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxSystem.h"

namespace {

// ----- the definitions, per channel --------------------------------------------------------------------------

int BlendChannel(int F, int B, int A) { return (B * 256 + 128 + (F - B) * A) >> 8; }
int LineColour(int S, int D, int A) { return std::min(255, ((S * A + 128) >> 8) + D - ((D * A + 128) >> 8)); }
int LineAlpha(int A, int Da) { return std::min(255, A + Da - ((Da * A + 128) >> 8)); }

int Ch(TColor32 C, int AIndex) { return int((C >> (8 * AIndex)) & 0xFF); }
TColor32 Grey(int AAlpha, int AColour) { return TColor32(AAlpha) << 24 | TColor32(AColour) * 0x010101; }

// Pixel pairs covering every (F.c, B.c) for one alpha a: F = (a, fc, fc, fc), B = (bc, bc, bc, bc).
struct TTripleRow {
  std::vector<TColor32> F, B;
  explicit TTripleRow(int A) : F(65536), B(65536) {
    for (int fc = 0; fc < 256; ++fc)
      for (int bc = 0; bc < 256; ++bc) {
        F[fc * 256 + bc] = Grey(A, fc);
        B[fc * 256 + bc] = TColor32(bc) * 0x01010101;
      }
  }
};

// Checks one result of a pair from TTripleRow: the colour channels against Colour(fc, bc), alpha against
// Alpha(bc); stops the test at the first difference.
template <class TColour, class TAlpha>
::testing::AssertionResult CheckRow(const char* AWhat, int A, const std::vector<TColor32>& AResult, TColour Colour,
                                    TAlpha Alpha) {
  for (int fc = 0; fc < 256; ++fc)
    for (int bc = 0; bc < 256; ++bc) {
      const TColor32 r = AResult[fc * 256 + bc];
      const int c = Colour(fc, bc);
      if (Ch(r, 0) != c || Ch(r, 1) != c || Ch(r, 2) != c || Ch(r, 3) != Alpha(bc))
        return ::testing::AssertionFailure()
               << AWhat << ": a=" << A << " fc=" << fc << " bc=" << bc << " gives 0x" << std::hex << r
               << ", colour should be " << std::dec << c << " and alpha " << Alpha(bc);
    }
  return ::testing::AssertionSuccess();
}

struct TLineForm {
  const char* Name;
  TBlendLine* Line;
};
struct TLineExForm {
  const char* Name;
  TBlendLineEx* Line;
};
struct TCombineForm {
  const char* Name;
  TCombineMem* Mem;
};

// The AVX2 forms run only where this processor and its system support them.
bool HasAVX2() { return ProcessorFeatures().Contains(pfAVX2); }

std::vector<TLineForm> BlendLineForms() {
  std::vector<TLineForm> forms{{"portable", BlendLinePortable}};
#if defined(__SSE2__)
  forms.push_back({"SSE2", BlendLineSSE2});
#endif
#if defined(__x86_64__)
  if (HasAVX2()) forms.push_back({"AVX2", BlendLineAVX2});
#endif
  return forms;
}
std::vector<TLineExForm> BlendLineExForms() {
  std::vector<TLineExForm> forms{{"portable", BlendLineExPortable}};
#if defined(__SSE2__)
  forms.push_back({"SSE2", BlendLineExSSE2});
#endif
#if defined(__x86_64__)
  if (HasAVX2()) forms.push_back({"AVX2", BlendLineExAVX2});
#endif
  return forms;
}
std::vector<TCombineForm> CombineMemForms() {
  std::vector<TCombineForm> forms{{"portable", CombineMemPortable}};
#if defined(__SSE2__)
  forms.push_back({"SSE2", CombineMemSSE2});
#endif
#if defined(__x86_64__)
  if (HasAVX2()) forms.push_back({"AVX2", CombineMemAVX2});
#endif
  return forms;
}
std::vector<TLineForm> MergeLineForms() {
  std::vector<TLineForm> forms{{"portable", MergeLinePortable}};
#if defined(__SSE2__)
  forms.push_back({"SSE2", MergeLineSSE2});
#endif
#if defined(__x86_64__)
  if (HasAVX2()) forms.push_back({"AVX2", MergeLineAVX2});
#endif
  return forms;
}
std::vector<TLineExForm> MergeLineExForms() {
  std::vector<TLineExForm> forms{{"portable", MergeLineExPortable}};
#if defined(__SSE2__)
  forms.push_back({"SSE2", MergeLineExSSE2});
#endif
  return forms;
}

// ----- exhaustive: every (F.c, B.c, a) --------------------------------------------------------------------------

TEST(BlendFormulas, BlendRegAndBlendMemMatchTheDefinitionForEveryTriple) {
  std::vector<TColor32> reg(65536), mem(65536);
  for (int a = 0; a < 256; ++a) {
    const TTripleRow row(a);
    for (int i = 0; i < 65536; ++i) {
      reg[i] = BlendReg(row.F[i], row.B[i]);
      mem[i] = row.B[i];
      BlendMem(row.F[i], mem[i]);
    }
    ASSERT_TRUE(CheckRow(
        "BlendReg", a, reg, [a](int fc, int bc) { return BlendChannel(fc, bc, a); },
        [a](int bc) { return BlendChannel(a, bc, a); }));
    ASSERT_TRUE(CheckRow(
        "BlendMem", a, mem, [a](int fc, int bc) { return a == 0     ? bc
                                                         : a == 255 ? fc
                                                                    : BlendChannel(fc, bc, a); },
        [a](int bc) { return a == 0     ? bc
                             : a == 255 ? a
                                        : BlendChannel(a, bc, a); }));
  }
}

TEST(BlendFormulas, BlendLineMatchesTheDefinitionForEveryTriple) {
  for (const TLineForm& form : BlendLineForms())
    for (int a = 0; a < 256; ++a) {
      const TTripleRow row(a);
      std::vector<TColor32> dst = row.B;
      form.Line(row.F.data(), dst.data(), int32_t(dst.size()));
      ASSERT_TRUE(CheckRow(
          form.Name, a, dst, [a](int fc, int bc) { return LineColour(fc, bc, a); },
          [a](int bc) { return LineAlpha(a, bc); }));
    }
}

TEST(BlendFormulas, BlendLineExMatchesTheDefinitionForEveryTriple) {
  for (const TLineExForm& form : BlendLineExForms())
    for (uint32_t m : {255u, 128u}) {
      for (int a = 0; a < 256; ++a) {
        const TTripleRow row(a);
        std::vector<TColor32> dst = row.B;
        form.Line(row.F.data(), dst.data(), int32_t(dst.size()), m);
        const int w = a == 0 ? 0 : int(((a + 1) * m) >> 8);
        ASSERT_TRUE(CheckRow(
            form.Name, a, dst, [w](int fc, int bc) { return w == 0 ? bc : BlendChannel(fc, bc, w); },
            [w, a](int bc) { return w == 0 ? bc : BlendChannel(a, bc, w); }))
            << "M=" << m;
      }
    }
}

TEST(BlendFormulas, CombineRegAndCombineMemMatchTheDefinitionForEveryTriple) {
  std::vector<TColor32> reg(65536), mem(65536);
  for (const TCombineForm& form : CombineMemForms())
    for (int w = 0; w < 256; ++w) {
      const TTripleRow row(w);  // X's alpha is w, so the alpha channel is checked over every (w, Y.a) too
      for (int i = 0; i < 65536; ++i) {
        reg[i] = CombineReg(row.F[i], row.B[i], uint32_t(w));
        mem[i] = row.B[i];
        form.Mem(row.F[i], mem[i], uint32_t(w));
      }
      ASSERT_TRUE(CheckRow(
          "CombineReg", w, reg, [w](int x, int y) { return BlendChannel(x, y, w); },
          [w](int y) { return BlendChannel(w, y, w); }));
      ASSERT_TRUE(CheckRow(
          form.Name, w, mem, [w](int x, int y) { return w == 0     ? y
                                                        : w == 255 ? x
                                                                   : BlendChannel(x, y, w); },
          [w](int y) { return w == 0     ? y
                              : w == 255 ? w
                                         : BlendChannel(w, y, w); }));
    }
}

// ----- merge ----------------------------------------------------------------------------------------------------

TEST(BlendTables, ProductAndDivisionTablesRoundAsDefined) {
  for (int a = 0; a < 256; ++a)
    for (int c = 0; c < 256; ++c) {
      ASSERT_EQ(ProductTable[a][c], int(std::nearbyint(a * c * (1.0 / 255)))) << a << " " << c;
      const int d = a == 0 ? 0 : int(std::nearbyint(c * 255.0 / a)) & 0xFF;  // default mode: ties to even
      ASSERT_EQ(DivisionTable[a][c], d) << a << " " << c;
    }
  EXPECT_EQ(DivisionTable[10][3], 76);  // 76.5 goes to the even neighbour
  EXPECT_EQ(DivisionTable[2][1], 128);  // 127.5
  EXPECT_EQ(DivisionTable[1][2], 254);  // 510 keeps its low 8 bits
}

// The two tables computed here in floating point, the way the definition states them.
struct TReferenceTables {
  int P[256][256], D[256][256];
  TReferenceTables() {
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c) {
        P[a][c] = int(std::nearbyint(a * c / 255.0));
        D[a][c] = a == 0 ? 0 : int(std::nearbyint(c * 255.0 / a)) & 0xFF;
      }
  }
};

// MergeReg written out from the definition.
TColor32 MergeDefinition(TColor32 F, TColor32 B) {
  static const TReferenceTables tables;
  auto P = [](int a, int c) { return tables.P[a][c]; };
  auto D = [](int a, int c) { return tables.D[a][c]; };
  const int fa = Ch(F, 3), ba = Ch(B, 3);
  if (fa == 0) return B;
  if (ba == 255) {
    TColor32 r = 0xFF000000;
    for (int i = 0; i < 3; ++i) r |= TColor32(BlendChannel(Ch(F, i), Ch(B, i), fa)) << (8 * i);
    return r;
  }
  if (fa == 255 || ba == 0) return F;
  const int ra = fa + ba - P(ba, fa);
  TColor32 r = TColor32(ra) << 24;
  for (int i = 0; i < 3; ++i) {
    const int fc = Ch(F, i), bw = P(ba, Ch(B, i));
    const int v = fc >= bw ? bw + P(fa, fc - bw) : bw - P(fa, bw - fc);
    r |= TColor32(D(ra, v)) << (8 * i);
  }
  return r;
}

TEST(MergeFormulas, EveryMergeFormMatchesTheDefinitionForEveryAlphaPair) {
  std::mt19937 rng(7);
  std::vector<TColor32> src, dst;
  for (int fa = 0; fa < 256; ++fa)
    for (int ba = 0; ba < 256; ++ba)
      for (int k = 0; k < 6; ++k) {
        src.push_back(TColor32(fa) << 24 | (rng() & 0xFFFFFF));
        dst.push_back(TColor32(ba) << 24 | (rng() & 0xFFFFFF));
      }
  std::vector<TColor32> expected(src.size());
  for (size_t i = 0; i < src.size(); ++i) expected[i] = MergeDefinition(src[i], dst[i]);
  for (size_t i = 0; i < src.size(); ++i) {
    ASSERT_EQ(MergeReg(src[i], dst[i]), expected[i]) << std::hex << src[i] << " over " << dst[i];
    TColor32 b = dst[i];
    MergeMem(src[i], b);
    ASSERT_EQ(b, expected[i]);
  }
  for (const TLineForm& form : MergeLineForms()) {
    std::vector<TColor32> row = dst;
    form.Line(src.data(), row.data(), int32_t(row.size()));
    for (size_t i = 0; i < row.size(); ++i)
      ASSERT_EQ(row[i], expected[i]) << form.Name << " " << std::hex << src[i] << " over " << dst[i];
  }
}

TEST(MergeFormulas, EveryColourPairMergesAsDefinedAtSampleAlphas) {
  const int alphas[] = {1, 2, 3, 64, 127, 128, 129, 200, 253, 254};
  std::vector<TColor32> src, dst;
  for (int fa : alphas)
    for (int ba : alphas)
      for (int fc = 0; fc < 256; ++fc)
        for (int bc = 0; bc < 256; bc += 3) {
          src.push_back(TColor32(fa) << 24 | TColor32(fc) << 16 | TColor32(255 - fc) << 8 | TColor32(fc ^ 0x5A));
          dst.push_back(TColor32(ba) << 24 | TColor32(bc) << 16 | TColor32(bc / 2) << 8 | TColor32(255 - bc));
        }
  for (const TLineForm& form : MergeLineForms()) {
    std::vector<TColor32> row = dst;
    form.Line(src.data(), row.data(), int32_t(row.size()));
    for (size_t i = 0; i < row.size(); ++i)
      ASSERT_EQ(row[i], MergeDefinition(src[i], dst[i]))
          << form.Name << " " << std::hex << src[i] << " over " << dst[i];
  }
}

TEST(MergeFormulas, MergeLineExWeightsTheSourceAlphaFirst) {
  std::mt19937 rng(11);
  std::vector<TColor32> src(4099), dst(4099);
  for (uint32_t m : {0u, 1u, 77u, 128u, 254u, 255u}) {
    for (size_t i = 0; i < src.size(); ++i) {
      src[i] = rng();
      dst[i] = rng();
    }
    for (const TLineExForm& form : MergeLineExForms()) {
      std::vector<TColor32> row = dst;
      form.Line(src.data(), row.data(), int32_t(row.size()), m);
      for (size_t i = 0; i < row.size(); ++i) {
        const TColor32 weighted = (src[i] & 0xFFFFFF) | TColor32(std::nearbyint(m * (src[i] >> 24) / 255.0)) << 24;
        ASSERT_EQ(row[i], MergeDefinition(weighted, dst[i])) << form.Name << " M=" << m;
      }
    }
  }
}

// ----- vector forms equal the portable ones on rows of every shape -------------------------------------------------

// Alphas drawn mostly from the values with special cases.
TColor32 RandomPixel(std::mt19937& ARng) {
  static const uint32_t alphas[] = {0, 0, 255, 255, 1, 128, 254};
  const uint32_t pick = ARng() % 10;
  const uint32_t a = pick < 7 ? alphas[pick] : ARng() & 0xFF;
  return a << 24 | (ARng() & 0xFFFFFF);
}

TEST(VectorForms, EqualThePortableFormsOnRowsOfOddAndEvenLengthsAndUnalignedStarts) {
  std::mt19937 rng(3);
  constexpr int kMax = 80;
  std::vector<TColor32> src(kMax + 8), dst(kMax + 8), a(kMax + 8), b(kMax + 8);
  for (int pass = 0; pass < 30; ++pass)
    for (int length = 0; length <= kMax; ++length)
      for (int offset = 0; offset < 4; ++offset) {
        for (size_t i = 0; i < src.size(); ++i) {
          src[i] = RandomPixel(rng);
          dst[i] = RandomPixel(rng);
        }
        const uint32_t m = rng() & 0xFF;
        auto Compare = [&](const char* AName, auto AReference, auto AVector) {
          a = dst;
          b = dst;
          AReference(src.data() + offset, a.data() + offset, length);
          AVector(src.data() + offset, b.data() + offset, length);
          ASSERT_EQ(a, b) << AName << " length " << length << " offset " << offset << " M " << m;
        };
#if defined(__SSE2__)
        Compare("BlendLine", BlendLinePortable, BlendLineSSE2);
        Compare("MergeLine", MergeLinePortable, MergeLineSSE2);
        Compare(
            "BlendLineEx", [m](auto s, auto d, int n) { BlendLineExPortable(s, d, n, m); },
            [m](auto s, auto d, int n) { BlendLineExSSE2(s, d, n, m); });
        Compare(
            "MergeLineEx", [m](auto s, auto d, int n) { MergeLineExPortable(s, d, n, m); },
            [m](auto s, auto d, int n) { MergeLineExSSE2(s, d, n, m); });
#endif
#if defined(__x86_64__)
        if (HasAVX2()) {
          Compare("BlendLine AVX2", BlendLinePortable, BlendLineAVX2);
          Compare("MergeLine AVX2", MergeLinePortable, MergeLineAVX2);
          Compare(
              "BlendLineEx AVX2", [m](auto s, auto d, int n) { BlendLineExPortable(s, d, n, m); },
              [m](auto s, auto d, int n) { BlendLineExAVX2(s, d, n, m); });
        }
#endif
      }
}

TEST(VectorForms, EqualThePortableFormsOnRowsWithRunsOfTransparentAndOpaquePixels) {
  std::mt19937 rng(13);
  for (int pass = 0; pass < 200; ++pass) {
    // Runs of one kind of alpha, as in drawn images: whole blocks take the transparent and opaque shortcuts.
    std::vector<TColor32> src, dst;
    while (src.size() < 1000) {
      const uint32_t kind = rng() % 3, run = 1 + rng() % 40;
      for (uint32_t k = 0; k < run; ++k) {
        const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : rng() & 0xFF;
        src.push_back(a << 24 | (rng() & 0xFFFFFF));
        dst.push_back(RandomPixel(rng));
      }
    }
    const int32_t n = int32_t(src.size()) - int32_t(rng() % 16);
    const uint32_t m = rng() & 0xFF;
#if defined(__SSE2__)
    struct TPair {
      const char* Name;
      std::function<void(const TColor32*, TColor32*, int32_t)> Reference, Vector;
    };
    std::vector<TPair> pairs = {
        {"BlendLine", BlendLinePortable, BlendLineSSE2},
        {"MergeLine", MergeLinePortable, MergeLineSSE2},
        {"BlendLineEx", [m](auto s, auto d, int32_t c) { BlendLineExPortable(s, d, c, m); },
         [m](auto s, auto d, int32_t c) { BlendLineExSSE2(s, d, c, m); }},
        {"MergeLineEx", [m](auto s, auto d, int32_t c) { MergeLineExPortable(s, d, c, m); },
         [m](auto s, auto d, int32_t c) { MergeLineExSSE2(s, d, c, m); }},
    };
#if defined(__x86_64__)
    if (HasAVX2()) {
      pairs.push_back({"BlendLine AVX2", BlendLinePortable, BlendLineAVX2});
      pairs.push_back({"MergeLine AVX2", MergeLinePortable, MergeLineAVX2});
      pairs.push_back({"BlendLineEx AVX2", [m](auto s, auto d, int32_t c) { BlendLineExPortable(s, d, c, m); },
                       [m](auto s, auto d, int32_t c) { BlendLineExAVX2(s, d, c, m); }});
    }
#endif
    for (const TPair& p : pairs) {
      std::vector<TColor32> a = dst, b = dst;
      p.Reference(src.data(), a.data(), n);
      p.Vector(src.data(), b.data(), n);
      ASSERT_EQ(a, b) << p.Name << " pass " << pass;
    }
#endif
  }
}

TEST(VectorForms, RowFormsIgnoreCountsOfZeroOrLess) {
  TColor32 src[4] = {0xFFFFFFFF, 0x80FF0000, 0x12345678, 0xFF000000};
  TColor32 dst[4] = {1, 2, 3, 4};
  for (int32_t count : {0, -1, -1000}) {
    for (const TLineForm& f : BlendLineForms()) f.Line(src, dst, count);
    for (const TLineForm& f : MergeLineForms()) f.Line(src, dst, count);
    for (const TLineExForm& f : BlendLineExForms()) f.Line(src, dst, count, 200);
    for (const TLineExForm& f : MergeLineExForms()) f.Line(src, dst, count, 200);
  }
  EXPECT_EQ(dst[0], 1u);
  EXPECT_EQ(dst[3], 4u);
}

// ----- known values ---------------------------------------------------------------------------------------------

TEST(BlendKnownValues, HalfRedOverOpaqueBlue) {
  for (const TLineForm& form : BlendLineForms()) {
    TColor32 s = 0x80FF0000, d = 0xFF0000FF;
    form.Line(&s, &d, 1);
    EXPECT_EQ(d, 0xFF80007Fu) << form.Name;
  }
}

TEST(BlendKnownValues, OpaqueWhiteOverBlackDiffersBetweenRowAndPixelForms) {
  for (const TLineForm& form : BlendLineForms()) {
    TColor32 s[5] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    TColor32 d[5] = {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000};
    form.Line(s, d, 5);
    for (TColor32 p : d) EXPECT_EQ(p, 0xFFFEFEFEu) << form.Name;
  }
  TColor32 b = 0xFF000000;
  BlendMem(0xFFFFFFFF, b);
  EXPECT_EQ(b, 0xFFFFFFFFu);
  EXPECT_EQ(BlendReg(0xFFFFFFFF, 0xFF000000), 0xFFFEFEFEu);  // no shortcut in the register form
}

TEST(BlendKnownValues, MergeOfTwoHalfTransparentColours) {
  EXPECT_EQ(MergeReg(0x80FF0000, 0x800000FF), 0xC0AA0055u);
  TColor32 s = 0x80FF0000, d = 0x800000FF;
  for (const TLineForm& form : MergeLineForms()) {
    d = 0x800000FF;
    form.Line(&s, &d, 1);
    EXPECT_EQ(d, 0xC0AA0055u) << form.Name;
  }
}

TEST(BlendKnownValues, MergeOverAnOpaqueBackgroundIsOpaque) {
  EXPECT_EQ(MergeReg(0x80FF0000, 0xFF0000FF) >> 24, 0xFFu);
  EXPECT_EQ(MergeReg(0x00123456, 0x80ABCDEF), 0x80ABCDEFu);
  EXPECT_EQ(MergeReg(0xFF123456, 0x80ABCDEF), 0xFF123456u);
  EXPECT_EQ(MergeReg(0x40123456, 0x00ABCDEF), 0x40123456u);
}

TEST(BlendKnownValues, CombineMemIsExactAtTheEndsAndRoundsHalfway) {
  for (const TCombineForm& form : CombineMemForms()) {
    TColor32 y = 0x10203040;
    form.Mem(0xF0E0D0C0, y, 0);
    EXPECT_EQ(y, 0x10203040u) << form.Name;
    form.Mem(0xF0E0D0C0, y, 255);
    EXPECT_EQ(y, 0xF0E0D0C0u) << form.Name;
    y = 0x00000000;
    form.Mem(0xFFFFFF01, y, 128);
    EXPECT_EQ(y, 0x80808001u) << form.Name;  // (255 x 128 + 128) >> 8 = 128; (1 x 128 + 128) >> 8 = 1
  }
}

TEST(BlendKnownValues, BlendLineExWithZeroMasterAlphaLeavesTheRow) {
  std::vector<TColor32> src(37, 0xFF336699), dst(37, 0x80112233);
  for (const TLineExForm& form : BlendLineExForms()) {
    std::vector<TColor32> row = dst;
    form.Line(src.data(), row.data(), int32_t(row.size()), 0);
    EXPECT_EQ(row, dst) << form.Name;
  }
}

}  // namespace
