// A set over one enumeration of flags. Each family of flags gets its own enum class whose members carry their bit
// values, so a set of one family cannot take a member of another, while Bits()/FromBits() keep the stored numbers.
#pragma once

#include <initializer_list>
#include <type_traits>

template <class E>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet holds the members of one enumeration");

 public:
  using TBits = std::underlying_type_t<E>;

  constexpr TSet() = default;
  constexpr TSet(E AMember) : FBits(static_cast<TBits>(AMember)) {}
  constexpr TSet(std::initializer_list<E> AMembers) {
    for (E m : AMembers) FBits = static_cast<TBits>(FBits | static_cast<TBits>(m));
  }

  // Bits as they are stored in files and records; bits outside the family are kept as they come.
  static constexpr TSet FromBits(TBits ABits) {
    TSet s;
    s.FBits = ABits;
    return s;
  }
  constexpr TBits Bits() const { return FBits; }

  constexpr bool Contains(E AMember) const {
    return (FBits & static_cast<TBits>(AMember)) == static_cast<TBits>(AMember);
  }
  constexpr bool ContainsAny(TSet AOther) const { return (FBits & AOther.FBits) != 0; }
  constexpr bool ContainsAll(TSet AOther) const { return (FBits & AOther.FBits) == AOther.FBits; }
  constexpr bool Empty() const { return FBits == 0; }

  constexpr TSet& Include(TSet AOther) {
    FBits = static_cast<TBits>(FBits | AOther.FBits);
    return *this;
  }
  constexpr TSet& Exclude(TSet AOther) {
    FBits = static_cast<TBits>(FBits & ~AOther.FBits);
    return *this;
  }
  constexpr TSet& Set(TSet AOther, bool AOn) { return AOn ? Include(AOther) : Exclude(AOther); }

  constexpr TSet operator|(TSet AOther) const { return FromBits(static_cast<TBits>(FBits | AOther.FBits)); }
  constexpr TSet operator&(TSet AOther) const { return FromBits(static_cast<TBits>(FBits & AOther.FBits)); }
  // The members of this set that are not in AOther.
  constexpr TSet operator-(TSet AOther) const { return FromBits(static_cast<TBits>(FBits & ~AOther.FBits)); }
  constexpr TSet& operator|=(TSet AOther) { return Include(AOther); }
  constexpr TSet& operator&=(TSet AOther) {
    FBits = static_cast<TBits>(FBits & AOther.FBits);
    return *this;
  }
  constexpr TSet& operator-=(TSet AOther) { return Exclude(AOther); }
  constexpr bool operator==(const TSet&) const = default;

 private:
  TBits FBits = 0;
};

// Lets "a | b" on two members of a flag family make a set; a family opts in by declaring
// `constexpr bool IsFlagFamily(E) { return true; }` beside its enum class.
template <class E, class = decltype(IsFlagFamily(E{}))>
constexpr TSet<E> operator|(E A, E B) {
  return TSet<E>(A) | TSet<E>(B);
}
