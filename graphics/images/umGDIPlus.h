#pragma once
// The program's only route to the PNG, GIF, JPEG, BMP and TIFF codecs: GDI+ through its flat API, loaded at run
// time and started once, and TGDIPlusImage, one decoded picture that can be copied into a 32-bit bitmap or encoded
// again.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"

class TCustomBitmap32;

// GDI+ status values this unit raises itself.
constexpr int GdipGenericError = 1;
constexpr int GdipInvalidParameter = 2;
constexpr int GdipOutOfMemory = 3;
constexpr int GdipValueOverflow = 11;       // a picture beyond MaxImageSide or MaxImagePixels
constexpr int GdipUnknownImageFormat = 13;  // bytes of no format GDI+ decodes, or a header cut short or damaged
constexpr int GdipNotInitialized = 18;

class EGdipException : public Exception {
 public:
  explicit EGdipException(int AStatus);
  uint8_t Status() const { return FStatus; }

 private:
  uint8_t FStatus;
};

// Loads gdiplus.dll, resolves the flat-API functions and starts GDI+ unless it is already available.
void LoadGdiPlus();
// Shuts GDI+ down and releases the library.
void UnloadGdiPlus();
// Tries LoadGdiPlus again while GDI+ is not available.
bool GdiPlusAvailable();
// 0 and the encoder's CLSID when GDI+ offers an encoder for AMimeType (ASCII case ignored), 1 otherwise.
int FindEncoderClsid(std::u16string_view AMimeType, GUID& AClsid);
// Finds the BMP, GIF, JPEG, PNG and TIFF encoders; a missing one raises EGdipException(1).
void InitGdiPlusEncoders();

// Raises EGdipException(AStatus) unless AStatus is 0 (Ok).
void CheckGdipStatus(int AStatus);
// Raises EGdipException(2) when ASuccess is false.
void CheckGdipResult(bool ASuccess);

// Start and end of the unit: GDI+ loaded, started and its encoders found; then shut down and released. The start
// raises when an encoder is missing, which stops the program before its main window exists.
void InitializeGdiPlus();
void FinalizeGdiPlus();

// Width x Height straight-alpha ARGB pixels, top row first, of the picture in AStream from its position to its end.
// PNG files are read without GDI+, whose codecs cost a library load on first use; anything that reader refuses goes
// to GDI+ as TGDIPlusImage::LoadFromStream takes it, refused or raising as it is there.
void DecodePicture(TStream& AStream, int32_t& AWidth, int32_t& AHeight, std::vector<uint32_t>& APixels);

// The native image, in memory GDI+ allocates itself.
class TGdipBase {
 public:
  static void* operator new(size_t ASize);
  static void operator delete(void* APointer);
  void* NativeImage = nullptr;
};

class TGDIPlusImage : public TObject {
 public:
  TGDIPlusImage();
  ~TGDIPlusImage() override;

  // Releases the native image and the encoded bytes it was decoded from.
  void FreeImage();
  // Decodes AStream from its position to its end; the earlier image is released first. The headers are read
  // first: a picture beyond MaxImageSide or MaxImagePixels raises GdipValueOverflow, bytes of no format GDI+
  // decodes or with a header cut short GdipUnknownImageFormat, and GDI+ never sees them.
  void LoadFromStream(TStream& AStream);
  // Makes the image a 32-bit ARGB bitmap of these straight-alpha pixels (top row first), so it can be encoded.
  void LoadFromPixels(const uint32_t* APixels, int32_t AWidth, int32_t AHeight);
  void LoadFromBitmap32(const TCustomBitmap32& ABitmap);
  bool HasImage() const { return FHolder->NativeImage != nullptr; }

  // Width and height, truncated towards zero.
  void GetSize(int32_t& AWidth, int32_t& AHeight);
  // Sizes ABitmap to the image and fills it with straight-alpha ARGB pixels.
  void CopyToBitmap32(TCustomBitmap32& ABitmap);
  // Width x Height straight-alpha ARGB pixels, top row first, into ADest.
  void CopyPixels(uint32_t* ADest, int32_t AWidth, int32_t AHeight);

  // Each appends the encoded picture at ADest's position.
  void SaveAsBmp(TStream& ADest);
  // GIF goes through an indexed copy of at most 256 colours: the encoder needs one.
  void SaveAsGif(TStream& ADest);
  void SaveAsJpeg(TStream& ADest);
  void SaveAsPng(TStream& ADest);
  void SaveAsTiff(TStream& ADest);
  void SaveWithEncoder(TStream& ADest, const GUID& AEncoder);

 private:
  void SaveIndexedGif(TStream& ADest, const GUID& AEncoder);

  std::unique_ptr<TGdipBase> FHolder;
  HGLOBAL FMemory = nullptr;
};
