#pragma once
// Icons and cursors read frame by frame without the platform's icon objects, so every frame, whatever its depth,
// becomes 32-bit ARGB with real transparency. A frame is either PNG (or MNG) data, which the universal image
// decodes through GDI+, or a colour image with its 1-bit mask, combined here. The file is untrusted: a frame that
// does not fit its data, or lies elsewhere than its entry's offset says, raises "Invalid icon format" and nothing
// is read or written out of bounds.

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"
#include "graphics/pixels/pxImageFormats.h"

class TCustomBitmap32;

class TIconImage : public TObject {
 public:
  ~TIconImage() override;

  // Clear, then the whole icon or cursor from the stream's position: directory, then the frames one after
  // another in directory order. Frames read before a failure stay.
  void LoadFromStream(TStream& AStream);
  int Count() const { return static_cast<int>(FFrames.size()); }
  // PNG frames have the directory's size (0 meaning 256), the others their header's.
  SIZE GetFrameSize(int AIndex) const;
  // True for PNG or MNG data: AStream is then the frame's own stream (still owned here), rewound.
  bool GetPngStream(int AIndex, TMemoryStream*& AStream) const;
  // A DIB frame's pixels into ABitmap, which the caller has sized to GetFrameSize.
  void CopyFrameTo(int AIndex, TCustomBitmap32& ABitmap) const;
  // Whether all the frames together, each as large as its decoder makes it, lie within MaxImageSide and
  // MaxImagePixels: known before any frame is decoded.
  bool WithinImageLimits() const { return FWithinLimits; }
  void Clear();

 private:
  struct TFrame {
    TIconFrameLayout Layout;
    std::unique_ptr<TMemoryStream> PngStream;
  };
  const TFrame& Frame(int AIndex) const;

  std::vector<uint8_t> FData;  // the icon as read; DIB frames are decoded from it
  std::vector<TFrame> FFrames;
  bool FWithinLimits = true;
};
