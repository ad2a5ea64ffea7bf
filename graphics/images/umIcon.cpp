#include "graphics/images/umIcon.h"

#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxImageSize.h"

namespace {

[[noreturn]] void InvalidIcon() { throw Exception(u"Invalid icon format"); }

}  // namespace

TIconImage::~TIconImage() { Clear(); }

void TIconImage::Clear() {
  FFrames.clear();
  FData.clear();
  FWithinLimits = true;
}

void TIconImage::LoadFromStream(TStream& AStream) {
  Clear();
  const int64_t available = AStream.Size() - AStream.Position();
  FData.resize(6);
  if (available < 6) InvalidIcon();
  AStream.ReadBuffer(FData.data(), 6);
  const size_t directoryEnd = 6 + 16 * size_t(FData[4] | (FData[5] << 8));
  if (available < int64_t(directoryEnd)) InvalidIcon();
  FData.resize(directoryEnd);
  AStream.ReadBuffer(FData.data() + 6, directoryEnd - 6);
  TImageFormatError error;
  // Sizes are checked against what the stream holds before anything is allocated for them.
  const uint64_t needed = IconBytesNeeded(FData, error);
  if (error != TImageFormatError::None || needed > uint64_t(available)) InvalidIcon();
  FData.resize(size_t(needed));
  AStream.ReadBuffer(FData.data() + directoryEnd, FData.size() - directoryEnd);

  // A frame whose entry's offset names another place is read elsewhere by other decoders: damage.
  TPictureHeader extent;
  if (directoryEnd > 6 && !ReadIconPicture(FData, extent)) InvalidIcon();
  FWithinLimits = directoryEnd == 6 || ::WithinImageLimits(extent);

  TIconLayout layout;
  error = ReadIcon(FData, layout);
  for (const TIconFrameLayout& frameLayout : layout.Frames) {
    TFrame frame;
    frame.Layout = frameLayout;
    if (frameLayout.IsPng) {
      frame.PngStream = std::make_unique<TMemoryStream>();
      frame.PngStream->WriteBuffer(FData.data() + frameLayout.Offset, frameLayout.Entry.Size);
    }
    FFrames.push_back(std::move(frame));
  }
  if (error != TImageFormatError::None) InvalidIcon();
}

const TIconImage::TFrame& TIconImage::Frame(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"List index out of bounds (%d)", {AIndex}));
  return FFrames[size_t(AIndex)];
}

SIZE TIconImage::GetFrameSize(int AIndex) const {
  const TIconFrameLayout& layout = Frame(AIndex).Layout;
  return SIZE{layout.Width(), layout.Height()};
}

bool TIconImage::GetPngStream(int AIndex, TMemoryStream*& AStream) const {
  const TFrame& frame = Frame(AIndex);
  if (!frame.Layout.IsPng) return false;
  frame.PngStream->SetPosition(0);
  AStream = frame.PngStream.get();
  return true;
}

void TIconImage::CopyFrameTo(int AIndex, TCustomBitmap32& ABitmap) const {
  const TIconFrameLayout& layout = Frame(AIndex).Layout;
  if (layout.IsPng || ABitmap.Width() != layout.Width() || ABitmap.Height() != layout.Height() || ABitmap.Empty())
    throw EProgrammingError(u"An icon frame is copied into a bitmap of another size");
  if (DecodeIconFrame(FData, layout, ABitmap.Bits()) != TImageFormatError::None) InvalidIcon();
  ABitmap.Changed();
}
