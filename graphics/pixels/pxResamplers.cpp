#include "graphics/pixels/pxResamplers.h"

#include <algorithm>
#include <vector>

#include "foundation/cuLocalization.h"

namespace {

constexpr int IdNoDestinationBitmap = 65284;  // "Destination bitmap is nil"
constexpr int IdNoSourceBitmap = 65285;       // "Source bitmap is nil"
constexpr int IdInvalidSourceRect = 65286;    // "Invalid SrcRect"

std::unique_ptr<TClassList<TCustomResamplerClass>> GResamplerClasses;

// Floor and ceiling of N / D for D > 0; products of two 32-bit spans need more than 64 bits.
int64_t FloorDiv(__int128 N, int64_t D) {
  __int128 q = N / D;
  if (N % D != 0 && N < 0) --q;
  return int64_t(q);
}
int64_t CeilDiv(__int128 N, int64_t D) { return -FloorDiv(-N, D); }

void CheckBitmaps(const TCustomBitmap32* ADst, const TCustomBitmap32* ASrc) {
  if (!ADst) throw EBitmapException(FormatLocStrOr(IdNoDestinationBitmap, u"Destination bitmap is nil", {}));
  if (!ASrc) throw EBitmapException(FormatLocStrOr(IdNoSourceBitmap, u"Source bitmap is nil", {}));
}

// A combine mode that cannot run falls back to a plain copy.
TDrawMode UsableMode(TDrawMode AMode, const TPixelCombineEvent& ACallBack) {
  return AMode == dmCustom && !ACallBack ? dmOpaque : AMode;
}

// One row of CW pixels from ASrc onto ADst by the draw mode; ABlend/ABlendEx are the looked-up row routines.
struct TRowApplier {
  TDrawMode Mode;
  uint32_t MasterAlpha;
  TColor32 OuterColor;
  const TPixelCombineEvent& CallBack;
  TBlendLine* Blend = nullptr;
  TBlendLineEx* BlendEx = nullptr;

  TRowApplier(TDrawMode AMode, const TCustomBitmap32& ASrc, const TPixelCombineEvent& ACallBack)
      : Mode(AMode), MasterAlpha(ASrc.MasterAlpha()), OuterColor(ASrc.OuterColor()), CallBack(ACallBack) {
    if (Mode == dmBlend) {
      if (MasterAlpha < 255)
        BlendEx = *BlendLineExProcs[ASrc.CombineMode()];
      else
        Blend = *BlendLineProcs[ASrc.CombineMode()];
    }
  }

  void Apply(const TColor32* ASrc, TColor32* ADst, int32_t ACount) const {
    switch (Mode) {
      case dmOpaque:
        MoveLongword(ASrc, ADst, ACount);
        break;
      case dmBlend:
        if (BlendEx)
          BlendEx(ASrc, ADst, ACount, MasterAlpha);
        else
          Blend(ASrc, ADst, ACount);
        break;
      case dmTransparent:
        for (int32_t i = 0; i < ACount; ++i)
          if (ASrc[i] != OuterColor) ADst[i] = ASrc[i];
        break;
      case dmCustom:
        for (int32_t i = 0; i < ACount; ++i) CallBack(ASrc[i], ADst[i], MasterAlpha);
        break;
    }
  }
};

}  // namespace

void BlendBlock(TCustomBitmap32* ADst, const TRect& ADstRect, TCustomBitmap32* ASrc, int32_t ASrcX, int32_t ASrcY,
                TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) {
  const int64_t width = ADstRect.Width();
  if (width <= 0 || ADstRect.Height() <= 0) return;
  const TRowApplier row(UsableMode(ACombineOp, ACombineCallBack), *ASrc, ACombineCallBack);
  for (int32_t y = 0; y < ADstRect.Height(); ++y)
    row.Apply(ASrc->PixelPtr(ASrcX, ASrcY + y), ADst->PixelPtr(ADstRect.Left, ADstRect.Top + y), int32_t(width));
}

void BlockTransfer(TCustomBitmap32* ADst, int32_t ADstX, int32_t ADstY, TRect ADstClip, TCustomBitmap32* ASrc,
                   TRect ASrcRect, TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) {
  CheckBitmaps(ADst, ASrc);
  if (ADst->Empty() || ASrc->Empty() || (ACombineOp == dmBlend && ASrc->MasterAlpha() == 0)) return;
  const int64_t srcX = ASrcRect.Left, srcY = ASrcRect.Top;
  IntersectRect(ADstClip, ADstClip, ADst->BoundsRect());
  IntersectRect(ASrcRect, ASrcRect, ASrc->BoundsRect());
  // The source rectangle in destination coordinates, in 64 bits, clipped.
  const int64_t dx = ADstX - srcX, dy = ADstY - srcY;
  const int64_t left = std::max<int64_t>(ADstClip.Left, ASrcRect.Left + dx);
  const int64_t top = std::max<int64_t>(ADstClip.Top, ASrcRect.Top + dy);
  const int64_t right = std::min<int64_t>(ADstClip.Right, ASrcRect.Right + dx);
  const int64_t bottom = std::min<int64_t>(ADstClip.Bottom, ASrcRect.Bottom + dy);
  if (right <= left || bottom <= top) return;
  const TRect r{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  BlendBlock(ADst, r, ASrc, int32_t(left - dx), int32_t(top - dy), UsableMode(ACombineOp, ACombineCallBack),
             ACombineCallBack);
  EMMS();
  ADst->ChangedArea(r, AREAINFO_RECT);
}

void StretchTransfer(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc, TRect ASrcRect,
                     TCustomResampler* AResampler, TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) {
  CheckBitmaps(ADst, ASrc);
  // Cutting only shrinks the source rectangle, so an empty one stays empty and nothing is drawn.
  if (IsRectEmpty(ASrcRect)) return;

  // A source rectangle reaching outside the source is cut to it, the destination in proportion, exactly.
  const int64_t srcW = ASrcRect.Width(), srcH = ASrcRect.Height();
  const int64_t dstW = ADstRect.Width(), dstH = ADstRect.Height();
  int64_t left = ADstRect.Left, top = ADstRect.Top, right = ADstRect.Right, bottom = ADstRect.Bottom;
  if (ASrcRect.Left < 0) {
    left += CeilDiv(-__int128(ASrcRect.Left) * dstW, srcW);
    ASrcRect.Left = 0;
  }
  if (ASrcRect.Top < 0) {
    top += CeilDiv(-__int128(ASrcRect.Top) * dstH, srcH);
    ASrcRect.Top = 0;
  }
  if (ASrcRect.Right > ASrc->Width()) {
    right -= FloorDiv(__int128(int64_t(ASrcRect.Right) - ASrc->Width()) * dstW, srcW);
    ASrcRect.Right = ASrc->Width();
  }
  if (ASrcRect.Bottom > ASrc->Height()) {
    bottom -= FloorDiv(__int128(int64_t(ASrcRect.Bottom) - ASrc->Height()) * dstH, srcH);
    ASrcRect.Bottom = ASrc->Height();
  }
  ADstRect = TRect{ClampToInt32(left), ClampToInt32(top), ClampToInt32(right), ClampToInt32(bottom)};

  if (ASrc->Empty() || ADst->Empty() || (ACombineOp == dmBlend && ASrc->MasterAlpha() == 0) || IsRectEmpty(ASrcRect))
    return;
  TRect clip;
  IntersectRect(clip, ADstClip, ADst->BoundsRect());
  IntersectRect(clip, clip, ADstRect);
  if (IsRectEmpty(clip)) return;
  const TDrawMode mode = UsableMode(ACombineOp, ACombineCallBack);
  if (ADstRect.Width() == ASrcRect.Width() && ADstRect.Height() == ASrcRect.Height())
    BlendBlock(ADst, clip, ASrc, ASrcRect.Left + clip.Left - ADstRect.Left, ASrcRect.Top + clip.Top - ADstRect.Top,
               mode, ACombineCallBack);
  else if (AResampler)
    AResampler->Transfer(ADst, ADstRect, clip, ASrc, ASrcRect, mode, ACombineCallBack);
  else
    StretchNearest(ADst, ADstRect, clip, ASrc, ASrcRect, mode, ACombineCallBack);
  EMMS();
  ADst->ChangedArea(ADstRect, AREAINFO_RECT);
}

void StretchNearest(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc, TRect ASrcRect,
                    TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) {
  CheckBitmaps(ADst, ASrc);
  TRect clip;
  IntersectRect(clip, ADstClip, ADst->BoundsRect());
  IntersectRect(clip, clip, ADstRect);
  if (IsRectEmpty(clip)) return;
  if (ASrcRect.Left < 0 || ASrcRect.Top < 0 || ASrcRect.Right > ASrc->Width() || ASrcRect.Bottom > ASrc->Height())
    throw Exception(FormatLocStrOr(IdInvalidSourceRect, u"Invalid SrcRect", {}));
  if (IsRectEmpty(ASrcRect) || ASrc->Empty()) return;

  const int64_t srcW = ASrcRect.Width(), srcH = ASrcRect.Height();
  const int64_t dstW = ADstRect.Width(), dstH = ADstRect.Height();
  const int32_t cw = clip.Right - clip.Left;
  const TDrawMode mode = UsableMode(ACombineOp, ACombineCallBack);
  if (dstW == srcW && dstH == srcH) {
    BlendBlock(ADst, clip, ASrc, ASrcRect.Left + clip.Left - ADstRect.Left, ASrcRect.Top + clip.Top - ADstRect.Top,
               mode, ACombineCallBack);
    EMMS();
    return;
  }

  // Source column of each clipped destination column and source row of a destination row: the pixel under the
  // destination pixel's left (top) edge, floor(offset x source size / destination size), exact in 64 bits.
  std::vector<int32_t> columns(static_cast<size_t>(cw));
  if (dstW < 2) {
    columns[0] = (ASrcRect.Left + ASrcRect.Right - 1) / 2;
  } else {
    for (int32_t i = 0; i < cw; ++i)
      columns[size_t(i)] = ASrcRect.Left + int32_t((int64_t(clip.Left) + i - ADstRect.Left) * srcW / dstW);
  }
  auto SourceRow = [&](int32_t Y) -> int32_t {
    if (dstH < 2) return (ASrcRect.Top + ASrcRect.Bottom - 1) / 2;
    return ASrcRect.Top + int32_t((int64_t(Y) - ADstRect.Top) * srcH / dstH);
  };

  int32_t previousRow = -1;
  if (mode == dmOpaque) {
    const TColor32* previousDst = nullptr;
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
      const int32_t sy = SourceRow(y);
      TColor32* d = ADst->PixelPtr(clip.Left, y);
      if (sy != previousRow) {
        const TColor32* s = ASrc->ScanLine(sy);
        for (int32_t i = 0; i < cw; ++i) d[i] = s[columns[size_t(i)]];
      } else {
        MoveLongword(previousDst, d, cw);  // a repeated source row: copy the finished row above
      }
      previousRow = sy;
      previousDst = d;
    }
  } else {
    const TRowApplier row(mode, *ASrc, ACombineCallBack);
    std::vector<TColor32> buffer(static_cast<size_t>(cw));
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
      if (dstH > 1) EMMS();
      const int32_t sy = SourceRow(y);
      if (sy != previousRow) {
        const TColor32* s = ASrc->ScanLine(sy);
        for (int32_t i = 0; i < cw; ++i) buffer[size_t(i)] = s[columns[size_t(i)]];
        previousRow = sy;
      }
      row.Apply(buffer.data(), ADst->PixelPtr(clip.Left, y), cw);
    }
  }
  EMMS();
}

const TClassInfo<TCustomResampler, TCustomBitmap32*> TNearestResampler::ClassInfo{
    u"TNearestResampler", &TCustomResampler::ClassInfo,
    &ClassFactory<TNearestResampler, TCustomResampler, TCustomBitmap32*>};

void TNearestResampler::Transfer(TCustomBitmap32* ADst, TRect ADstRect, TRect ADstClip, TCustomBitmap32* ASrc,
                                 TRect ASrcRect, TDrawMode ACombineOp, const TPixelCombineEvent& ACombineCallBack) {
  StretchNearest(ADst, ADstRect, ADstClip, ASrc, ASrcRect, ACombineOp, ACombineCallBack);
}

void AddResamplerClass(TCustomResamplerClass AClass) {
  if (!GResamplerClasses) GResamplerClasses = std::make_unique<TClassList<TCustomResamplerClass>>();
  GResamplerClasses->Add(AClass);
}

const TClassList<TCustomResamplerClass>* ResamplerClassList() { return GResamplerClasses.get(); }

void pxResamplersStart() {
  if (GResamplerClasses && GResamplerClasses->Find(TNearestResampler::ClassInfo.Name())) return;
  AddResamplerClass(&TNearestResampler::ClassInfo);
}

void pxResamplersEnd() { GResamplerClasses.reset(); }
