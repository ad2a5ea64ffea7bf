#include "graphics/images/umUniversalImage.h"

#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/images/umIcon.h"

namespace {

using TSave = void (TGDIPlusImage::*)(TStream&);

void Convert(TStream& ASource, TStream& ADest, TSave ASave) {
  TGDIPlusImage image;
  image.LoadFromStream(ASource);
  (image.*ASave)(ADest);
}

}  // namespace

TUniversalImage::~TUniversalImage() { Clear(); }

void TUniversalImage::LoadFromFile(const std::u16string& AFileName) {
  const std::u16string extension = LowerCaseAscii(ExtractFileExtNoDot(AFileName));
  TFileStream stream(AFileName, TFileMode::fmOpenRead);
  if (extension == u"ico" || extension == u"cur")
    LoadIconStream(stream);
  else
    LoadGdiPlusStream(stream);
}

void TUniversalImage::LoadFromStream(TStream& AStream, bool AFirstFrameOnly) {
  const int64_t start = AStream.Position();
  uint8_t head[4] = {};
  const size_t read = AStream.Read(head, sizeof head);
  AStream.SetPosition(start);
  const bool icon = read == 4 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) && head[3] == 0;
  if (icon)
    LoadIconStream(AStream, AFirstFrameOnly);
  else
    LoadGdiPlusStream(AStream);
}

void TUniversalImage::LoadIconStream(TStream& AStream, bool AFirstFrameOnly) {
  TIconImage icon;
  icon.LoadFromStream(AStream);
  if (icon.Count() == 0) throw EStreamError(FormatLocStrOr(IdStreamReadError, u"Stream read error", {}));
  if (!icon.WithinImageLimits()) throw EGdipException(GdipValueOverflow);
  const int count = AFirstFrameOnly ? 1 : icon.Count();
  for (int i = 0; i < count; ++i) {
    TMemoryStream* png = nullptr;
    if (icon.GetPngStream(i, png)) {
      LoadGdiPlusFrame(*png);
      continue;
    }
    const SIZE size = icon.GetFrameSize(i);
    TBitmap32* frame = AddFrame();
    try {
      frame->SetSize(size.cx, size.cy);
      icon.CopyFrameTo(i, *frame);
    } catch (...) {
      FFrames.pop_back();
      throw;
    }
  }
}

void TUniversalImage::LoadGdiPlusFrame(TStream& AStream) {
  TGDIPlusImage image;
  image.LoadFromStream(AStream);
  TBitmap32* frame = AddFrame();
  try {
    image.CopyToBitmap32(*frame);
  } catch (...) {
    FFrames.pop_back();
    throw;
  }
}

TBitmap32* TUniversalImage::AddFrame() {
  FFrames.push_back(std::make_unique<TBitmap32>());
  TBitmap32* frame = FFrames.back().get();
  frame->SetDrawMode(dmBlend);
  frame->SetCombineMode(cmBlend);
  return frame;
}

void TUniversalImage::Assign(const TUniversalImage& ASource) {
  if (&ASource == this) return;
  Clear();
  for (const auto& source : ASource.FFrames) AddFrame()->Assign(source.get());
}

void TUniversalImage::Clear() {
  while (!FFrames.empty()) FFrames.pop_back();
}

TBitmap32* TUniversalImage::GetFrame(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"List index out of bounds (%d)", {AIndex}));
  return FFrames[size_t(AIndex)].get();
}

SIZE TUniversalImage::GetSize() const {
  const TBitmap32* first = First();
  return first ? SIZE{first->Width(), first->Height()} : SIZE{0, 0};
}

void TUniversalImage::Draw(HDC ADC, int32_t X, int32_t Y, int AIndex) const {
  TBitmap32* frame = AIndex >= 0 ? GetFrame(AIndex) : First();
  if (frame) frame->DrawToDC(ADC, X, Y);
}

void TUniversalImage::ConvertToBmp(TStream& ASource, TStream& ADest) {
  Convert(ASource, ADest, &TGDIPlusImage::SaveAsBmp);
}
void TUniversalImage::ConvertToGif(TStream& ASource, TStream& ADest) {
  Convert(ASource, ADest, &TGDIPlusImage::SaveAsGif);
}
void TUniversalImage::ConvertToJpeg(TStream& ASource, TStream& ADest) {
  Convert(ASource, ADest, &TGDIPlusImage::SaveAsJpeg);
}
void TUniversalImage::ConvertToPng(TStream& ASource, TStream& ADest) {
  Convert(ASource, ADest, &TGDIPlusImage::SaveAsPng);
}
void TUniversalImage::ConvertToTiff(TStream& ASource, TStream& ADest) {
  Convert(ASource, ADest, &TGDIPlusImage::SaveAsTiff);
}
