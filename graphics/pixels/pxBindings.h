// Registries of pixel-routine implementations and the procedure variables they are bound to. Each unit with hot
// routines registers its variables and every implementation with the instruction sets it needs, then binds once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "graphics/pixels/pxSystem.h"

// Any routine's address; the binding casts it back to the variable's own type.
using TProc = void (*)();

// A routine's identifier within its registry, typed by the routine's function type: a variable or a form of
// another signature cannot be registered under it.
template <class F>
struct TFunctionID {
  int32_t Value = 0;
  constexpr operator int32_t() const { return Value; }
};

struct TFunctionEntry {
  int32_t FunctionID = 0;
  TProc Proc = nullptr;
  TProcessorFeatures CPUFeatures;
  int32_t Flags = 0;
};

struct TFunctionBinding {
  int32_t FunctionID = 0;
  void* ProcVar = nullptr;
  void (*Store)(void* AProcVar, TProc AProc) = nullptr;  // writes AProc into the variable with its own type
};

// Lower is better; kInvalidPriority rules an entry out.
using TFunctionPriority = std::function<int32_t(const TFunctionEntry&)>;
constexpr int32_t kInvalidPriority = 0x7FFFFFFF;

// 0 when every feature the entry needs is in AFeatures, else kInvalidPriority: a flat priority, under which the
// entry added last wins.
int32_t PriorityForFeatures(const TFunctionEntry& AEntry, TProcessorFeatures AFeatures);
// kInvalidPriority when a feature the entry needs is missing from AFeatures; else the more recent the instruction
// sets it needs, the lower (better): AVX2 before SSE2 before SSE before MMX before none.
int32_t RankForFeatures(const TFunctionEntry& AEntry, TProcessorFeatures AFeatures);
// RankForFeatures against this processor's features: the priority used when none is given.
int32_t DefaultPriority(const TFunctionEntry& AEntry);

class TFunctionRegistry {
 public:
  TFunctionRegistry() = default;
  TFunctionRegistry(const TFunctionRegistry&) = delete;
  TFunctionRegistry& operator=(const TFunctionRegistry&) = delete;
  virtual ~TFunctionRegistry() = default;

  const std::u16string& Name() const { return FName; }
  void SetName(std::u16string AName) { FName = std::move(AName); }

  // No test is made: the same ID, even the same routine, may be added any number of times. The routine's type is
  // the ID's, not deduced from the routine, so a form of another signature does not compile.
  template <class F>
  void Add(TFunctionID<F> AFunctionID, std::type_identity_t<F>* AProc, TProcessorFeatures ACPUFeatures = {},
           int32_t AFlags = 0) {
    FFunctions.push_back({AFunctionID.Value, reinterpret_cast<TProc>(AProc), ACPUFeatures, AFlags});
  }
  template <class F>
  void RegisterBinding(TFunctionID<F> AFunctionID, std::type_identity_t<F>** AProcVar) {
    FBindings.push_back({AFunctionID.Value, AProcVar,
                         [](void* AVar, TProc AProc) { *static_cast<F**>(AVar) = reinterpret_cast<F*>(AProc); }});
  }

  // The entry of AFunctionID with the lowest priority below kInvalidPriority; among equals the one added last.
  // Nil when none qualifies. Without APriority, DefaultPriority ranks the entries.
  TProc FindFunction(int32_t AFunctionID, const TFunctionPriority& APriority = {}) const;
  // Stores FindFunction into every bound variable, in registration order (nil when nothing qualifies).
  void RebindAll(const TFunctionPriority& APriority = {});
  // Forgets every entry and binding; the variables keep their values.
  void Clear();

  const std::vector<TFunctionEntry>& Functions() const { return FFunctions; }
  const std::vector<TFunctionBinding>& Bindings() const { return FBindings; }

 private:
  std::vector<TFunctionEntry> FFunctions;
  std::vector<TFunctionBinding> FBindings;
  std::u16string FName;
};

// Creates a registry, names it and appends it to the registry list, which owns it until pxBindingsEnd.
TFunctionRegistry* NewRegistry(std::u16string AName);
// The first registry of that name in the list, or nil.
TFunctionRegistry* FindRegistry(std::u16string_view AName);

// Unit end: destroys every registry, the last created first.
void pxBindingsEnd();
