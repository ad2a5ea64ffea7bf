// 16.16 fixed-point numbers.
#pragma once

#include <cstdint>

using TFixed = int32_t;  // integer part in the upper 16 bits, fraction in the lower 16
constexpr TFixed FixedOne = 0x10000;

constexpr int32_t FixedFloor(TFixed A) { return A >> 16; }
constexpr int32_t FixedCeil(TFixed A) { return int32_t((int64_t(A) + 0xFFFF) >> 16); }
// A fraction of exactly one half rounds down.
constexpr int32_t FixedRound(TFixed A) { return int32_t((int64_t(A) + 0x7FFF) >> 16); }
// Low 32 bits of the 64-bit product shifted right by 16.
constexpr TFixed FixedMul(TFixed A, TFixed B) { return TFixed(uint32_t(uint64_t((int64_t(A) * B) >> 16))); }
// (A shl 16) / B truncated toward zero, low 32 bits; B must not be 0.
constexpr TFixed FixedDiv(TFixed A, TFixed B) { return TFixed(uint32_t(uint64_t((int64_t(A) * 65536) / B))); }
