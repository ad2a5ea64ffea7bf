// Runs of 32-bit values (fill, copy), span clipping and the coordinate wrap procedures.
#pragma once

#include <cstdint>

#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxTypes.h"

using TFillLongword = void(uint32_t* ADest, int32_t ACount, uint32_t AValue);

// Stores AValue into ACount consecutive values; ACount must not be negative. Bound at unit start.
extern TFillLongword* FillLongword;
void FillLongwordPortable(uint32_t* ADest, int32_t ACount, uint32_t AValue);
#if defined(__SSE2__)
void FillLongwordSSE2(uint32_t* ADest, int32_t ACount, uint32_t AValue);
#endif

inline constexpr TFunctionID<TFillLongword> FID_FILLLONGWORD{0};

// Copies ACount values forward, first to last (an overlapping destination after the source repeats the
// source's head); nothing when both addresses are the same. ACount must not be negative.
void MoveLongword(const uint32_t* ASource, uint32_t* ADest, int32_t ACount);

// Puts A <= B in order and clips them to Start..Stop-1; False when nothing is left.
bool TestClip(int32_t& A, int32_t& B, int32_t AStart, int32_t AStop);

using TWrapProc = int32_t (*)(int32_t AValue, int32_t AMin, int32_t AMax);

int32_t Clamp(int32_t AValue, int32_t AMin, int32_t AMax);  // AMax is tested first
int32_t Wrap(int32_t AValue, int32_t AMin, int32_t AMax);
int32_t Mirror(int32_t AValue, int32_t AMin, int32_t AMax);
// For ranges whose size is a power of two.
int32_t WrapPow2(int32_t AValue, int32_t AMin, int32_t AMax);
int32_t MirrorPow2(int32_t AValue, int32_t AMin, int32_t AMax);

TWrapProc GetWrapProc(TWrapMode AWrapMode);
// Like GetWrapProc, but the power-of-two forms when AMin >= 0 and the range's size is a power of two.
TWrapProc GetWrapProcEx(TWrapMode AWrapMode, int32_t AMin, int32_t AMax);

// Unit start: registers and binds "pxLowLevel bindings".
void pxLowLevelStart();
