#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/cuSet.h"

namespace {

enum class TFruit : uint8_t { fApple = 0x01, fPear = 0x02, fPlum = 0x10 };
constexpr bool IsFlagFamily(TFruit) { return true; }
enum class TTool : uint8_t { tHammer = 0x01 };
using TFruits = TSet<TFruit>;

// Two families never mix, though their members share values.
template <class S, class M>
concept CanContain = requires(S s, M m) {
  s.Contains(m);
};
template <class A, class B>
concept CanCombine = requires(A a, B b) {
  a | b;
};
static_assert(CanContain<TFruits, TFruit> && !CanContain<TFruits, TTool>);
static_assert(CanCombine<TFruits, TFruit> && !CanCombine<TFruits, TTool>);
static_assert(CanCombine<TFruit, TFruit> && !CanCombine<TTool, TTool>);

TEST(TypedSet, MembersCombineAndKeepTheirStoredBits) {
  TFruits s = TFruit::fApple | TFruit::fPlum;
  EXPECT_EQ(s.Bits(), 0x11);
  EXPECT_TRUE(s.Contains(TFruit::fPlum));
  EXPECT_FALSE(s.Contains(TFruit::fPear));
  s.Include(TFruit::fPear).Exclude(TFruit::fApple);
  EXPECT_EQ(s.Bits(), 0x12);
  EXPECT_EQ(s - TFruit::fPear, TFruits(TFruit::fPlum));
  EXPECT_EQ((s & TFruits{TFruit::fPear, TFruit::fApple}).Bits(), 0x02);
  EXPECT_TRUE(s.ContainsAny({TFruit::fApple, TFruit::fPear}));
  EXPECT_FALSE(s.ContainsAll({TFruit::fApple, TFruit::fPear}));
  EXPECT_EQ(TFruits::FromBits(0x80).Bits(), 0x80);  // bits from a file outside the family survive
  EXPECT_TRUE(TFruits().Set(TFruit::fPear, true).Set(TFruit::fPear, false).Empty());
}

}  // namespace
