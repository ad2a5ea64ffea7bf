// Per-pixel colour arithmetic: blending by the source alpha, combining by a weight, merging two semi-transparent
// colours, and the row forms that transfers call. Every routine is a procedure variable bound at unit start to
// the best registered form; the portable forms are the reference the vector forms must equal bit for bit.
#pragma once

#include <array>
#include <cstdint>

#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxTypes.h"

using TBlendReg = TColor32(TColor32 F, TColor32 B);
using TBlendMem = void(TColor32 F, TColor32& B);
using TBlendLine = void(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
using TBlendLineEx = void(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M);
using TCombineReg = TColor32(TColor32 X, TColor32 Y, uint32_t W);
using TCombineMem = void(TColor32 X, TColor32& Y, uint32_t W);
using TEmms = void();

// The bound routines. F is the foreground (source), B the background (destination), M a master alpha 0..255,
// W a weight 0..255. Row forms do nothing for a count of 0 or less.
extern TEmms* EMMS;  // ends a batch of blends; nothing to reset in the tiers built here
extern TBlendReg* MergeReg;
extern TBlendMem* MergeMem;
extern TBlendLine* MergeLine;
extern TBlendLineEx* MergeLineEx;
extern TCombineReg* CombineReg;
extern TCombineMem* CombineMem;
extern TBlendReg* BlendReg;
extern TBlendMem* BlendMem;
extern TBlendLine* BlendLine;
extern TBlendLineEx* BlendLineEx;

// Function identifiers within "pxBlend bindings"; the gaps belong to routines this library does not build.
inline constexpr TFunctionID<TEmms> FID_EMMS{0};
inline constexpr TFunctionID<TBlendReg> FID_MERGEREG{1};
inline constexpr TFunctionID<TBlendMem> FID_MERGEMEM{2};
inline constexpr TFunctionID<TBlendLine> FID_MERGELINE{3};
inline constexpr TFunctionID<TBlendLineEx> FID_MERGELINEEX{6};
inline constexpr TFunctionID<TCombineReg> FID_COMBINEREG{7};
inline constexpr TFunctionID<TCombineMem> FID_COMBINEMEM{8};
inline constexpr TFunctionID<TBlendReg> FID_BLENDREG{10};
inline constexpr TFunctionID<TBlendMem> FID_BLENDMEM{11};
inline constexpr TFunctionID<TBlendLine> FID_BLENDLINE{13};
inline constexpr TFunctionID<TBlendLineEx> FID_BLENDLINEEX{16};

// The portable forms: the reference.
void EmmsPortable();
TColor32 BlendRegPortable(TColor32 F, TColor32 B);
void BlendMemPortable(TColor32 F, TColor32& B);
void BlendLinePortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
void BlendLineExPortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M);
TColor32 CombineRegPortable(TColor32 X, TColor32 Y, uint32_t W);
void CombineMemPortable(TColor32 X, TColor32& Y, uint32_t W);
TColor32 MergeRegPortable(TColor32 F, TColor32 B);
void MergeMemPortable(TColor32 F, TColor32& B);
void MergeLinePortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
void MergeLineExPortable(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M);

#if defined(__SSE2__)
void BlendLineSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
void BlendLineExSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M);
void CombineMemSSE2(TColor32 X, TColor32& Y, uint32_t W);
void MergeLineSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
void MergeLineExSSE2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M);
#endif

// Eight pixels a step, in pxBlendAVX2.cpp, the one file compiled for AVX2: bound, and to be called, only where
// ProcessorFeatures() has pfAVX2.
#if defined(__x86_64__)
void BlendLineAVX2(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
void BlendLineExAVX2(const TColor32* ASrc, TColor32* ADst, int32_t ACount, uint32_t M);
void CombineMemAVX2(TColor32 X, TColor32& Y, uint32_t W);
void MergeLineAVX2(const TColor32* ASrc, TColor32* ADst, int32_t ACount);
#endif

// The bound routine of each combine mode, looked up through the variable so that it follows the binding.
inline constexpr std::array<TBlendMem**, 2> BlendMemProcs = {&BlendMem, &MergeMem};
inline constexpr std::array<TBlendLine**, 2> BlendLineProcs = {&BlendLine, &MergeLine};
inline constexpr std::array<TBlendLineEx**, 2> BlendLineExProcs = {&BlendLineEx, &MergeLineEx};

using TByteTable = std::array<std::array<uint8_t, 256>, 256>;
// ProductTable[a][c] = a x c / 255 rounded to nearest.
extern const TByteTable ProductTable;
// DivisionTable[a][c] = c x 255 / a rounded half to even, low 8 bits; row 0 is zero.
extern const TByteTable DivisionTable;

// Unit start: registers and binds "pxBlend bindings".
void pxBlendStart();
