#include <gtest/gtest.h>

#include <vector>

#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxSystem.h"

namespace {

constexpr uint32_t kFamily6 = 6 << 8;
constexpr uint32_t kMMX = 1u << 23, kSSE = 1u << 25, kSSE2 = 1u << 26;

TCpuidAnswers Cpu(uint32_t AEax, uint32_t AEdx, uint32_t AMaxExt = 0, uint32_t AExtEdx = 0) {
  return {true, AEax, AEdx, AMaxExt, AExtEdx};
}

constexpr uint32_t kOSXSave = 1u << 27, kAVX2 = 1u << 5;
constexpr uint64_t kXmmYmm = 6;

// An SSE2 processor with the AVX2 answers given.
TCpuidAnswers Avx2Cpu(uint32_t AMaxLeaf, uint32_t ALeaf1Ecx, uint32_t ALeaf7Ebx, uint64_t AXcr0) {
  TCpuidAnswers r = Cpu(kFamily6, kMMX | kSSE | kSSE2);
  r.MaxLeaf = AMaxLeaf;
  r.Leaf1Ecx = ALeaf1Ecx;
  r.Leaf7Ebx = ALeaf7Ebx;
  r.Xcr0 = AXcr0;
  return r;
}

TEST(ProcessorFeatures, DetectionReadsTheCpuidBits) {
  struct Case {
    const char* what;
    TCpuidAnswers cpu;
    TProcessorFeatures expected;
  };
  const Case cases[] = {
      {"no CPUID instruction", {false, kFamily6, kMMX | kSSE | kSSE2, 0x80000001, ~0u}, {}},
      {"family 4", Cpu(4 << 8, kMMX | kSSE | kSSE2, 0x80000001, ~0u), {}},
      {"MMX only", Cpu(5 << 8, kMMX), {pfMMX}},
      {"SSE implies extended MMX", Cpu(kFamily6, kMMX | kSSE), {pfMMX, pfExtendedMMX, pfSSE}},
      {"SSE2 processor", Cpu(kFamily6, kMMX | kSSE | kSSE2), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2}},
      {"AMD extended MMX bit", Cpu(kFamily6, kMMX, 0x80000001, 1u << 22), {pfMMX, pfExtendedMMX}},
      {"3DNow and its extension", Cpu(kFamily6, 0, 0x80000001, 0xC0000000u), {pf3DNow, pf3DNowExt}},
      {"extended bits ignored without the extended leaf", Cpu(kFamily6, 0, 0x80000000, 0xC0400000u), {}},
      {"AVX2 saved by the system", Avx2Cpu(7, kOSXSave, kAVX2, kXmmYmm), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2, pfAVX2}},
      {"AVX2 with more state saved", Avx2Cpu(0xD, kOSXSave, ~0u, 0xE7), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2, pfAVX2}},
      {"AVX2 without leaf 7", Avx2Cpu(6, kOSXSave, kAVX2, kXmmYmm), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2}},
      {"AVX2 without OSXSAVE", Avx2Cpu(7, 0, kAVX2, kXmmYmm), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2}},
      {"YMM state not saved", Avx2Cpu(7, kOSXSave, kAVX2, 2), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2}},
      {"XMM state not saved", Avx2Cpu(7, kOSXSave, kAVX2, 4), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2}},
      {"saved state without AVX2", Avx2Cpu(7, kOSXSave, ~kAVX2, kXmmYmm), {pfMMX, pfExtendedMMX, pfSSE, pfSSE2}},
  };
  for (const Case& c : cases) EXPECT_EQ(DetectProcessorFeatures(c.cpu), c.expected) << c.what;
}

TEST(ProcessorFeatures, EveryX86_64ProcessorHasSSE2) {
#if defined(__x86_64__)
  EXPECT_TRUE(ProcessorFeatures().Contains(pfSSE2));
  EXPECT_TRUE(ProcessorFeatures().Contains(pfExtendedMMX));
  EXPECT_EQ(ProcessorFeatures(), DetectProcessorFeatures(ReadCpuid()));
#endif
}

// A routine per entry; distinct bodies keep distinct addresses.
volatile int GLastImpl = 0;
template <int N>
void Impl() {
  GLastImpl = N;
}

using TRoutine = void();
template <int N>
constexpr TFunctionID<TRoutine> kID{N};

// Flat: every qualifying entry has priority 0, so the one added last wins.
TFunctionPriority Simulated(TProcessorFeatures AFeatures) {
  return [AFeatures](const TFunctionEntry& E) { return PriorityForFeatures(E, AFeatures); };
}
// The default rule on a simulated processor.
TFunctionPriority Ranked(TProcessorFeatures AFeatures) {
  return [AFeatures](const TFunctionEntry& E) { return RankForFeatures(E, AFeatures); };
}

const TProcessorFeatures kSSE2Set{pfMMX, pfExtendedMMX, pfSSE, pfSSE2};
const TProcessorFeatures kAVX2Set{pfMMX, pfExtendedMMX, pfSSE, pfSSE2, pfAVX2};

// Whether a form of type P can be registered under an identifier of type I.
template <class I, class P>
concept Registrable = requires(TFunctionRegistry& r, I id, P proc) {
  r.Add(id, proc);
};
template <class I, class P>
concept Bindable = requires(TFunctionRegistry& r, I id, P var) {
  r.RegisterBinding(id, var);
};

static_assert(Registrable<decltype(FID_BLENDLINE), decltype(&BlendLinePortable)>);
static_assert(!Registrable<decltype(FID_BLENDLINE), decltype(&BlendLineExPortable)>);
static_assert(!Registrable<decltype(FID_BLENDLINEEX), decltype(&BlendLinePortable)>);
static_assert(!Registrable<decltype(FID_COMBINEMEM), decltype(&BlendMemPortable)>);
static_assert(!Registrable<decltype(FID_MERGEREG), decltype(&Impl<1>)>);
static_assert(!Registrable<int32_t, decltype(&BlendLinePortable)>);  // an untyped number names no routine type
static_assert(Bindable<decltype(FID_BLENDLINE), decltype(&BlendLine)>);
static_assert(!Bindable<decltype(FID_BLENDLINE), decltype(&BlendLineEx)>);
static_assert(!Bindable<decltype(FID_FILLLONGWORD), decltype(&BlendLine)>);

TEST(FunctionRegistry, FindFunctionFollowsTheBindingRule) {
  TFunctionRegistry r;
  r.Add(kID<1>, Impl<1>);
  r.Add(kID<1>, Impl<2>, {pfSSE2});
  r.Add(kID<2>, Impl<3>);
  r.Add(kID<2>, Impl<4>);
  r.Add(kID<3>, Impl<5>, {pfMMX});
  r.Add(kID<4>, Impl<6>);
  r.Add(kID<4>, Impl<7>, {pfSSE2});
  r.Add(kID<4>, Impl<8>);  // under a flat priority a late portable form beats the vector form everywhere

  const TFunctionPriority portableOnly = Simulated({});
  const TFunctionPriority sse2 = Simulated({pfMMX, pfExtendedMMX, pfSSE, pfSSE2});
  EXPECT_EQ(r.FindFunction(1, portableOnly), reinterpret_cast<TProc>(Impl<1>));
  EXPECT_EQ(r.FindFunction(1, sse2), reinterpret_cast<TProc>(Impl<2>));
  EXPECT_EQ(r.FindFunction(2, portableOnly), reinterpret_cast<TProc>(Impl<4>));
  EXPECT_EQ(r.FindFunction(2, sse2), reinterpret_cast<TProc>(Impl<4>));
  EXPECT_EQ(r.FindFunction(3, portableOnly), nullptr);
  EXPECT_EQ(r.FindFunction(4, sse2), reinterpret_cast<TProc>(Impl<8>));
  EXPECT_EQ(r.FindFunction(4, portableOnly), reinterpret_cast<TProc>(Impl<8>));
  EXPECT_EQ(r.FindFunction(99, sse2), nullptr);
}

TEST(FunctionRegistry, LowerPriorityWinsOverLaterEntries) {
  TFunctionRegistry r;
  r.Add(kID<0>, Impl<1>, {}, 1);
  r.Add(kID<0>, Impl<2>, {}, 5);
  const TFunctionPriority byFlags = [](const TFunctionEntry& E) { return E.Flags; };
  EXPECT_EQ(r.FindFunction(0, byFlags), reinterpret_cast<TProc>(Impl<1>));
  const TFunctionPriority invalid = [](const TFunctionEntry&) { return kInvalidPriority; };
  EXPECT_EQ(r.FindFunction(0, invalid), nullptr);
}

TEST(FunctionRegistry, RebindAllStoresEveryBindingAndClearKeepsValues) {
  TRoutine* first = Impl<9>;
  TRoutine* second = Impl<9>;
  TRoutine* unbound = Impl<9>;
  TFunctionRegistry r;
  r.RegisterBinding(kID<0>, &first);
  r.RegisterBinding(kID<1>, &second);
  r.RegisterBinding(kID<2>, &unbound);
  r.Add(kID<0>, Impl<1>);
  r.Add(kID<1>, Impl<2>);
  r.Add(kID<1>, Impl<3>, {pfSSE2});
  r.RebindAll(Simulated({}));
  EXPECT_EQ(first, Impl<1>);
  EXPECT_EQ(second, Impl<2>);
  EXPECT_EQ(unbound, nullptr);  // a binding without entries is left nil
  r.RebindAll(Simulated({pfSSE2}));
  EXPECT_EQ(second, Impl<3>);
  r.Clear();
  EXPECT_TRUE(r.Functions().empty());
  EXPECT_TRUE(r.Bindings().empty());
  EXPECT_EQ(second, Impl<3>);
}

TEST(FunctionRegistry, FormsRankByTheFeaturesTheyNeedWhateverTheOrderTheyWereAdded) {
  TFunctionRegistry r;
  // Each ID has a portable, an MMX, an SSE2 and an AVX2 form, added in a different order.
  r.Add(kID<1>, Impl<11>);
  r.Add(kID<1>, Impl<12>, {pfMMX});
  r.Add(kID<1>, Impl<13>, {pfSSE2});
  r.Add(kID<1>, Impl<14>, {pfSSE2, pfAVX2});
  r.Add(kID<2>, Impl<24>, {pfSSE2, pfAVX2});
  r.Add(kID<2>, Impl<23>, {pfSSE2});
  r.Add(kID<2>, Impl<22>, {pfMMX});
  r.Add(kID<2>, Impl<21>);
  r.Add(kID<3>, Impl<33>, {pfSSE2});
  r.Add(kID<3>, Impl<31>);
  r.Add(kID<3>, Impl<34>, {pfSSE2, pfAVX2});
  r.Add(kID<3>, Impl<32>, {pfMMX});
  struct Case {
    const char* what;
    TProcessorFeatures cpu;
    int expected;  // the form's tier: 1 portable, 2 MMX, 3 SSE2, 4 AVX2
  };
  const Case cases[] = {
      {"no instruction set", {}, 1},
      {"MMX", {pfMMX}, 2},
      {"SSE2", kSSE2Set, 3},
      {"AVX2", kAVX2Set, 4},
      {"AVX2 without SSE2", {pfMMX, pfAVX2}, 2},
      {"SSE2 without MMX", {pfSSE2}, 3},
  };
  const TProc forms[3][4] = {{reinterpret_cast<TProc>(Impl<11>), reinterpret_cast<TProc>(Impl<12>),
                              reinterpret_cast<TProc>(Impl<13>), reinterpret_cast<TProc>(Impl<14>)},
                             {reinterpret_cast<TProc>(Impl<21>), reinterpret_cast<TProc>(Impl<22>),
                              reinterpret_cast<TProc>(Impl<23>), reinterpret_cast<TProc>(Impl<24>)},
                             {reinterpret_cast<TProc>(Impl<31>), reinterpret_cast<TProc>(Impl<32>),
                              reinterpret_cast<TProc>(Impl<33>), reinterpret_cast<TProc>(Impl<34>)}};
  for (const Case& c : cases)
    for (int id = 1; id <= 3; ++id)
      EXPECT_EQ(r.FindFunction(id, Ranked(c.cpu)), forms[id - 1][c.expected - 1]) << c.what << ", ID " << id;

  // Equal ranks still go to the form added last.
  r.Add(kID<1>, Impl<15>, {pfSSE2});
  EXPECT_EQ(r.FindFunction(1, Ranked(kSSE2Set)), reinterpret_cast<TProc>(Impl<15>));
  EXPECT_EQ(r.FindFunction(1, Ranked(kAVX2Set)), reinterpret_cast<TProc>(Impl<14>));

  // Without a priority the registry ranks for this processor.
  EXPECT_EQ(r.FindFunction(2), r.FindFunction(2, Ranked(ProcessorFeatures())));
}

TEST(FunctionRegistry, RankingRulesOutMissingFeaturesAndPrefersNewerSets) {
  auto Rank = [](TProcessorFeatures ANeeds, TProcessorFeatures AHas) {
    TFunctionEntry e;
    e.CPUFeatures = ANeeds;
    return RankForFeatures(e, AHas);
  };
  EXPECT_EQ(Rank({pfAVX2}, kSSE2Set), kInvalidPriority);
  EXPECT_EQ(Rank({pfSSE2}, {pfSSE}), kInvalidPriority);
  EXPECT_LT(Rank({pfSSE2, pfAVX2}, kAVX2Set), Rank({pfSSE2}, kAVX2Set));
  EXPECT_LT(Rank({pfSSE2}, kAVX2Set), Rank({pfSSE}, kAVX2Set));
  EXPECT_LT(Rank({pfSSE}, kAVX2Set), Rank({pfMMX}, kAVX2Set));
  EXPECT_LT(Rank({pfMMX}, kAVX2Set), Rank({}, kAVX2Set));
  EXPECT_LT(Rank({}, {}), kInvalidPriority);
}

TEST(FunctionRegistry, BlendRegistryBindsPortableOrSSE2FormsBySimulatedFeatures) {
  const TFunctionRegistry* r = FindRegistry(u"pxBlend bindings");
  ASSERT_NE(r, nullptr);
  const TFunctionPriority portableOnly = Simulated({});
  auto Is = [](TProc AProc, auto* AImpl) { return AProc == reinterpret_cast<TProc>(AImpl); };
  EXPECT_TRUE(Is(r->FindFunction(FID_EMMS, portableOnly), EmmsPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDREG, portableOnly), BlendRegPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDMEM, portableOnly), BlendMemPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINE, portableOnly), BlendLinePortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINEEX, portableOnly), BlendLineExPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEREG, portableOnly), CombineRegPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEMEM, portableOnly), CombineMemPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGEREG, portableOnly), MergeRegPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGEMEM, portableOnly), MergeMemPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINE, portableOnly), MergeLinePortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINEEX, portableOnly), MergeLineExPortable));
#if defined(__SSE2__)
  const TFunctionPriority sse2 = Simulated({pfMMX, pfExtendedMMX, pfSSE, pfSSE2});
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINE, sse2), BlendLineSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINEEX, sse2), BlendLineExSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEMEM, sse2), CombineMemSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINE, sse2), MergeLineSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINEEX, sse2), MergeLineExSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGEREG, sse2), MergeRegPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDREG, sse2), BlendRegPortable));

  // This processor has SSE2, so start-up bound the vector forms: the AVX2 ones where it has AVX2 as well.
  const bool avx2 = ProcessorFeatures().Contains(pfAVX2);
  EXPECT_EQ(BlendLine, avx2 ? BlendLineAVX2 : BlendLineSSE2);
  EXPECT_EQ(BlendLineEx, avx2 ? BlendLineExAVX2 : BlendLineExSSE2);
  EXPECT_EQ(CombineMem, avx2 ? CombineMemAVX2 : CombineMemSSE2);
  EXPECT_EQ(MergeLine, avx2 ? MergeLineAVX2 : MergeLineSSE2);
  EXPECT_EQ(MergeLineEx, MergeLineExSSE2);
  EXPECT_EQ(MergeReg, MergeRegPortable);
#endif
}

TEST(FunctionRegistry, BlendRegistryRanksAVX2BeforeSSE2BeforePortableForms) {
  const TFunctionRegistry* r = FindRegistry(u"pxBlend bindings");
  ASSERT_NE(r, nullptr);
  auto Is = [](TProc AProc, auto* AImpl) { return AProc == reinterpret_cast<TProc>(AImpl); };
  const TFunctionPriority none = Ranked({});
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINE, none), BlendLinePortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGEREG, none), MergeRegPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEMEM, none), CombineMemPortable));
#if defined(__x86_64__)
  const TFunctionPriority sse2 = Ranked(kSSE2Set), avx2 = Ranked(kAVX2Set);
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINE, sse2), BlendLineSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINEEX, sse2), BlendLineExSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEMEM, sse2), CombineMemSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINE, sse2), MergeLineSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINE, avx2), BlendLineAVX2));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINEEX, avx2), BlendLineExAVX2));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEMEM, avx2), CombineMemAVX2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINE, avx2), MergeLineAVX2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGELINEEX, avx2), MergeLineExSSE2));
  EXPECT_TRUE(Is(r->FindFunction(FID_MERGEREG, avx2), MergeRegPortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDREG, avx2), BlendRegPortable));
  // A processor with AVX2 but without SSE2 (none exists) would not reach the SSE2 tails.
  EXPECT_TRUE(Is(r->FindFunction(FID_BLENDLINE, Ranked({pfAVX2})), BlendLinePortable));
  EXPECT_TRUE(Is(r->FindFunction(FID_COMBINEMEM, Ranked({pfAVX2})), CombineMemAVX2));

  if (ProcessorFeatures().Contains(pfAVX2)) {
    EXPECT_EQ(BlendLine, BlendLineAVX2);
    EXPECT_EQ(BlendLineEx, BlendLineExAVX2);
    EXPECT_EQ(CombineMem, CombineMemAVX2);
    EXPECT_EQ(MergeLine, MergeLineAVX2);
  }
#endif
}

TEST(FunctionRegistry, LowLevelRegistryBindsTheFill) {
  const TFunctionRegistry* r = FindRegistry(u"pxLowLevel bindings");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->FindFunction(FID_FILLLONGWORD, Simulated({})), reinterpret_cast<TProc>(FillLongwordPortable));
#if defined(__SSE2__)
  EXPECT_EQ(r->FindFunction(FID_FILLLONGWORD, Simulated({pfSSE2})), reinterpret_cast<TProc>(FillLongwordSSE2));
  EXPECT_EQ(FillLongword, FillLongwordSSE2);
#endif
}

}  // namespace
