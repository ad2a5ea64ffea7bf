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

TFunctionPriority Simulated(TProcessorFeatures AFeatures) {
  return [AFeatures](const TFunctionEntry& E) { return PriorityForFeatures(E, AFeatures); };
}

TEST(FunctionRegistry, FindFunctionFollowsTheBindingRule) {
  TFunctionRegistry r;
  r.Add(1, Impl<1>);
  r.Add(1, Impl<2>, {pfSSE2});
  r.Add(2, Impl<3>);
  r.Add(2, Impl<4>);
  r.Add(3, Impl<5>, {pfMMX});
  r.Add(4, Impl<6>);
  r.Add(4, Impl<7>, {pfSSE2});
  r.Add(4, Impl<8>);  // a late portable form beats the vector form everywhere

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
  r.Add(0, Impl<1>, {}, 1);
  r.Add(0, Impl<2>, {}, 5);
  const TFunctionPriority byFlags = [](const TFunctionEntry& E) { return E.Flags; };
  EXPECT_EQ(r.FindFunction(0, byFlags), reinterpret_cast<TProc>(Impl<1>));
  const TFunctionPriority invalid = [](const TFunctionEntry&) { return kInvalidPriority; };
  EXPECT_EQ(r.FindFunction(0, invalid), nullptr);
}

TEST(FunctionRegistry, RebindAllStoresEveryBindingAndClearKeepsValues) {
  using TRoutine = void();
  TRoutine* first = Impl<9>;
  TRoutine* second = Impl<9>;
  TRoutine* unbound = Impl<9>;
  TFunctionRegistry r;
  r.RegisterBinding(0, &first);
  r.RegisterBinding(1, &second);
  r.RegisterBinding(2, &unbound);
  r.Add(0, Impl<1>);
  r.Add(1, Impl<2>);
  r.Add(1, Impl<3>, {pfSSE2});
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

  // This processor has SSE2, so start-up bound the vector forms.
  EXPECT_EQ(BlendLine, BlendLineSSE2);
  EXPECT_EQ(BlendLineEx, BlendLineExSSE2);
  EXPECT_EQ(CombineMem, CombineMemSSE2);
  EXPECT_EQ(MergeLine, MergeLineSSE2);
  EXPECT_EQ(MergeLineEx, MergeLineExSSE2);
  EXPECT_EQ(MergeReg, MergeRegPortable);
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
