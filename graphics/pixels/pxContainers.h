// A list of classes found by name, and copying of the properties that a class declares as published.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/cuSystem.h"

// Class references of one family (TClassRef<...>), in the order of adding.
template <class TRef>
class TClassList {
 public:
  // Duplicates are kept; returns the new index.
  int Add(TRef AClass) {
    FItems.push_back(AClass);
    return int(FItems.size()) - 1;
  }
  // The first class whose name equals AClassName exactly (case-sensitive); nil when none does.
  TRef Find(std::u16string_view AClassName) const {
    for (TRef c : FItems)
      if (c->Name() == AClassName) return c;
    return nullptr;
  }
  int Count() const { return int(FItems.size()); }
  TRef Items(int AIndex) const { return FItems.at(size_t(AIndex)); }

 private:
  std::vector<TRef> FItems;
};

// ---------------------------------------------------------------------------------------------------------------
// Published properties. C++ has no run-time list of a class's properties, so a class that takes part declares
// its copyable properties explicitly, in declaration order, through IPublishedProperties.

enum TTypeKind : uint8_t { tkInteger, tkEnumeration, tkFloat, tkString, tkClass, tkMethod };

class TTypeKinds {
 public:
  constexpr TTypeKinds(std::initializer_list<TTypeKind> AKinds) {
    for (TTypeKind k : AKinds) FBits |= uint32_t(1) << k;
  }
  constexpr bool Contains(TTypeKind AKind) const { return (FBits & (uint32_t(1) << AKind)) != 0; }

 private:
  uint32_t FBits = 0;
};

// Every kind that holds a value; events (tkMethod) are not copied.
inline constexpr TTypeKinds tkProperties{tkInteger, tkEnumeration, tkFloat, tkString, tkClass};

// Ordinal and enumeration values travel as their ordinal, floats as double, strings as strings.
using TPropertyValue = std::variant<int64_t, double, std::u16string>;

struct TPublishedProperty {
  std::u16string_view Name;
  TTypeKind Kind;
  // Value kinds.
  TPropertyValue (*GetValue)(const TObject& AInstance) = nullptr;
  void (*SetValue)(TObject& AInstance, const TPropertyValue& AValue) = nullptr;
  // tkClass: the object held in the property (may be nil), and how one such object takes over another's settings.
  TObject* (*GetObject)(const TObject& AInstance) = nullptr;
  void (*AssignObject)(TObject& ADst, const TObject& ASrc) = nullptr;
};

class IPublishedProperties {
 public:
  virtual std::span<const TPublishedProperty> PublishedProperties() const = 0;

 protected:
  ~IPublishedProperties() = default;
};

// Copies every published property of ASrc whose kind is in AKinds onto the property of the same name of ADst, in
// ASrc's declaration order. A class-typed property: ADst's object takes ASrc's (Assign) when both exist; a nil
// object on ADst is skipped, not created. A property that ADst does not declare is skipped.
void CopyPublishedProperties(const IPublishedProperties& ASrc, IPublishedProperties& ADst,
                             TTypeKinds AKinds = tkProperties);
