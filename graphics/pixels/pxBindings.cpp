#include "graphics/pixels/pxBindings.h"

namespace {

// Created on the first NewRegistry.
std::unique_ptr<std::vector<std::unique_ptr<TFunctionRegistry>>> GRegistries;

}  // namespace

int32_t PriorityForFeatures(const TFunctionEntry& AEntry, TProcessorFeatures AFeatures) {
  return (AEntry.CPUFeatures - AFeatures).IsEmpty() ? 0 : kInvalidPriority;
}

int32_t RankForFeatures(const TFunctionEntry& AEntry, TProcessorFeatures AFeatures) {
  if (!(AEntry.CPUFeatures - AFeatures).IsEmpty()) return kInvalidPriority;
  // How recent each instruction set is; the 3DNow sets stand beside the MMX extension and SSE they came with.
  struct TLevel {
    TProcessorFeature Feature;
    int32_t Level;
  };
  constexpr int32_t kNewest = 5;
  static constexpr TLevel kLevels[] = {{pfMMX, 1},      {pfExtendedMMX, 2}, {pf3DNow, 2},     {pfSSE, 3},
                                       {pf3DNowExt, 3}, {pfSSE2, 4},        {pfAVX2, kNewest}};
  int32_t level = 0;
  for (const TLevel& l : kLevels)
    if (AEntry.CPUFeatures.Contains(l.Feature) && l.Level > level) level = l.Level;
  return kNewest - level;
}

int32_t DefaultPriority(const TFunctionEntry& AEntry) { return RankForFeatures(AEntry, ProcessorFeatures()); }

TProc TFunctionRegistry::FindFunction(int32_t AFunctionID, const TFunctionPriority& APriority) const {
  int32_t best = kInvalidPriority;
  TProc result = nullptr;
  for (auto it = FFunctions.rbegin(); it != FFunctions.rend(); ++it) {
    if (it->FunctionID != AFunctionID) continue;
    const int32_t priority = APriority ? APriority(*it) : DefaultPriority(*it);
    if (priority < best) {
      best = priority;
      result = it->Proc;
    }
  }
  return result;
}

void TFunctionRegistry::RebindAll(const TFunctionPriority& APriority) {
  for (const TFunctionBinding& b : FBindings) b.Store(b.ProcVar, FindFunction(b.FunctionID, APriority));
}

void TFunctionRegistry::Clear() {
  FFunctions.clear();
  FBindings.clear();
}

TFunctionRegistry* NewRegistry(std::u16string AName) {
  if (!GRegistries) GRegistries = std::make_unique<std::vector<std::unique_ptr<TFunctionRegistry>>>();
  auto registry = std::make_unique<TFunctionRegistry>();
  registry->SetName(std::move(AName));
  GRegistries->push_back(std::move(registry));
  return GRegistries->back().get();
}

TFunctionRegistry* FindRegistry(std::u16string_view AName) {
  if (GRegistries)
    for (const auto& r : *GRegistries)
      if (r->Name() == AName) return r.get();
  return nullptr;
}

void pxBindingsEnd() {
  if (!GRegistries) return;
  while (!GRegistries->empty()) GRegistries->pop_back();
  GRegistries.reset();
}
