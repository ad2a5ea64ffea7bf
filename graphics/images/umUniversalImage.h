#pragma once
// One picture type for every format the program reads: a list of 32-bit frames. Icons and cursors go through the
// icon reader, everything else through GDI+; drawing and re-encoding go with it.

#include <memory>
#include <string>
#include <vector>

#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"
#include "graphics/pixels/pxBackendsGDI.h"

class TUniversalImage : public TObject {
 public:
  ~TUniversalImage() override;

  // The reader by the name's extension: "ico" and "cur" (any case) the icon reader, anything else GDI+.
  void LoadFromFile(const std::u16string& AFileName);
  // The reader by the first bytes: 00 00 01 00 or 00 00 02 00 the icon reader, anything else GDI+; either reads
  // from the position the stream had. AFirstFrameOnly: an icon's other frames are not decoded.
  void LoadFromStream(TStream& AStream, bool AFirstFrameOnly = false);
  // Every frame of an icon or cursor (the first only with AFirstFrameOnly); one without frames raises "Stream read
  // error". An icon whose frames together lie beyond MaxImageSide or MaxImagePixels raises EGdipException with
  // GdipValueOverflow before any frame is decoded, as a picture does on the GDI+ route.
  void LoadIconStream(TStream& AStream, bool AFirstFrameOnly = false);
  void LoadGdiPlusStream(TStream& AStream) { LoadGdiPlusFrame(AStream); }
  // The rest of the stream decoded into one new frame; a failure adds none.
  void LoadGdiPlusFrame(TStream& AStream);

  // A new empty frame that blends over its target (dmBlend, cmBlend). It belongs to the image.
  TBitmap32* AddFrame();
  // Copies of the source's frames replace this image's.
  void Assign(const TUniversalImage& ASource);
  void Clear();
  int Count() const { return static_cast<int>(FFrames.size()); }
  bool Empty() const { return FFrames.empty(); }
  TBitmap32* GetFrame(int AIndex) const;
  TBitmap32* First() const { return FFrames.empty() ? nullptr : FFrames.front().get(); }
  // The first frame's size; (0, 0) without frames.
  SIZE GetSize() const;
  // Frame AIndex copied to the context at (X, Y); a negative index: the first frame, when there is one.
  void Draw(HDC ADC, int32_t X, int32_t Y, int AIndex = -1) const;

  // The rest of ASource re-encoded at ADest's position, with the encoder's default settings.
  static void ConvertToBmp(TStream& ASource, TStream& ADest);
  static void ConvertToGif(TStream& ASource, TStream& ADest);
  static void ConvertToJpeg(TStream& ASource, TStream& ADest);
  static void ConvertToPng(TStream& ASource, TStream& ADest);
  static void ConvertToTiff(TStream& ASource, TStream& ADest);

 private:
  std::vector<std::unique_ptr<TBitmap32>> FFrames;
};
