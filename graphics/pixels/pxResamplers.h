// Block and stretch transfer between bitmaps, the nearest-neighbour resampler and the resampler class registry.
#pragma once

#include "graphics/pixels/pxBitmap.h"

// Draws ASrcRect of ASrc with its top-left corner at (ADstX, ADstY) of ADst, inside ADstClip, by ACombineOp;
// reports the drawn rectangle through ADst's ChangedArea. Raises EBitmapException for a nil bitmap.
void BlockTransfer(TCustomBitmap32* ADst, int32_t ADstX, int32_t ADstY, TRect ADstClip, TCustomBitmap32* ASrc,
                   TRect ASrcRect, TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack);

// Draws ASrcRect of ASrc scaled into ADstRect of ADst, inside ADstClip, through AResampler (equal sizes go as a
// block transfer). A source rectangle reaching outside ASrc is cut to it and ADstRect in proportion. Reports the
// whole (cut) destination rectangle.
void StretchTransfer(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc, TRect ASrcRect,
                     TCustomResampler* AResampler, TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack);

// The unchecked row worker: ADstRect is already clipped and (ASrcX, ASrcY) is the source pixel that lands on its
// top-left corner.
void BlendBlock(TCustomBitmap32* ADst, const TRect& ADstRect, TCustomBitmap32* ASrc, int32_t ASrcX, int32_t ASrcY,
                TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack);

// Nearest-neighbour stretch: each destination pixel takes the source pixel under its left and top edges, chosen in
// exact integer arithmetic. Raises Exception ("Invalid SrcRect") for a source rectangle outside ASrc.
void StretchNearest(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc, TRect ASrcRect,
                    TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack);

// The default resampler of every bitmap.
class TNearestResampler : public TCustomResampler {
 public:
  static const TClassInfo<TCustomResampler, TCustomBitmap32*> ClassInfo;
  TCustomResamplerClass ClassRef() const override { return &ClassInfo; }

  explicit TNearestResampler(TCustomBitmap32* ABitmap) : TCustomResampler(ABitmap) {}

  double GetWidth() const override { return 1.0; }
  // StretchNearest.
  void Transfer(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc, TRect ASrcRect,
                TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) override;
};

// The registered resampler classes, created by the first AddResamplerClass; nil before it.
void AddResamplerClass(TCustomResamplerClass AClass);
const TClassList<TCustomResamplerClass>* ResamplerClassList();

// Unit start: registers TNearestResampler. Unit end: frees the registry.
void pxResamplersStart();
void pxResamplersEnd();
