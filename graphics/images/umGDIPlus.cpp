#include "graphics/images/umGDIPlus.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "framework/fwRuntime.h"
#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxImageFormats.h"
#include "graphics/pixels/pxImageSize.h"
#include "graphics/pixels/pxPngReader.h"

// The flat API as gdiplus.dll exports it, declared here with the records' own 64-bit layouts.
namespace {

using GpStatus = int;
using GpImage = void;
using GpBitmap = void;
using GpPixelFormat = int;

constexpr GpPixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr GpPixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr UINT ImageLockModeRead = 1;
constexpr UINT ImageLockModeWrite = 2;
constexpr UINT PaletteFlagsHasAlpha = 1;

struct GdiplusStartupInput {
  UINT32 GdiplusVersion;
  void* DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;
};

using NotificationHookProc = GpStatus(WINAPI*)(ULONG_PTR* AToken);
using NotificationUnhookProc = void(WINAPI*)(ULONG_PTR AToken);

struct GdiplusStartupOutput {
  NotificationHookProc NotificationHook;
  NotificationUnhookProc NotificationUnhook;
};

struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  const WCHAR* CodecName;
  const WCHAR* DllName;
  const WCHAR* FormatDescription;
  const WCHAR* FilenameExtension;
  const WCHAR* MimeType;
  DWORD Flags;
  DWORD Version;
  DWORD SigCount;
  DWORD SigSize;
  const BYTE* SigPattern;
  const BYTE* SigMask;
};

struct GpRect {
  INT X, Y, Width, Height;
};

struct BitmapData {
  UINT Width;
  UINT Height;
  INT Stride;
  GpPixelFormat PixelFormat;
  void* Scan0;
  UINT_PTR Reserved;
};

#ifdef _WIN64
static_assert(sizeof(GdiplusStartupInput) == 24, "GDI+ startup input layout");
static_assert(sizeof(ImageCodecInfo) == 104, "GDI+ codec record layout");
static_assert(sizeof(BitmapData) == 32, "GDI+ bitmap data layout");
#endif

struct TGdipApi {
  void*(WINAPI* Alloc)(size_t);
  void(WINAPI* Free)(void*);
  GpStatus(WINAPI* Startup)(ULONG_PTR*, const GdiplusStartupInput*, GdiplusStartupOutput*);
  void(WINAPI* Shutdown)(ULONG_PTR);
  GpStatus(WINAPI* CreateBitmapFromStream)(IStream*, GpBitmap**);
  GpStatus(WINAPI* SaveImageToStream)(GpImage*, IStream*, const CLSID*, const void*);
  GpStatus(WINAPI* GetImageDimension)(GpImage*, float*, float*);
  GpStatus(WINAPI* BitmapLockBits)(GpBitmap*, const GpRect*, UINT, GpPixelFormat, BitmapData*);
  GpStatus(WINAPI* BitmapUnlockBits)(GpBitmap*, BitmapData*);
  GpStatus(WINAPI* DisposeImage)(GpImage*);
  GpStatus(WINAPI* GetImageEncodersSize)(UINT*, UINT*);
  GpStatus(WINAPI* GetImageEncoders)(UINT, UINT, ImageCodecInfo*);
  // Beyond decoding and encoding what was decoded: pictures made from pixels, and indexed ones for GIF.
  GpStatus(WINAPI* CreateBitmapFromScan0)(INT, INT, INT, GpPixelFormat, BYTE*, GpBitmap**);
  GpStatus(WINAPI* SetImagePalette)(GpImage*, const void*);
};

enum TEncoder { enBmp, enGif, enJpeg, enPng, enTiff, enCount };
constexpr std::u16string_view EncoderMimeTypes[enCount] = {u"image/bmp", u"image/gif", u"image/jpeg", u"image/png",
                                                           u"image/tiff"};

struct TGdiPlusUnit {
  TRuntimeLibrary Library;
  bool Available = false;
  TGdipApi Api = {};
  ULONG_PTR StartupToken = 0;
  ULONG_PTR HookToken = 0;
  GdiplusStartupOutput StartupOutput = {};
  GUID Encoders[enCount] = {};
  int LiveObjects = 0;  // GDI+ memory not yet returned: GDI+ must outlive it
};

TGdiPlusUnit Unit;

const TGdipApi& Api() { return Unit.Api; }

// A decoder takes the pixel memory its header asks for before it finds the data missing: the size is checked first.
void CheckPictureHeader(std::span<const uint8_t> ABytes) {
  TPictureHeader header;
  switch (ReadPictureHeader(ABytes, header)) {
    case TImageFormatError::None:
      return;
    case TImageFormatError::TooLarge:
      throw EGdipException(GdipValueOverflow);
    default:
      throw EGdipException(GdipUnknownImageFormat);
  }
}

void DisposeNative(void*& AImage) {
  if (!AImage) return;
  Api().DisposeImage(AImage);
  AImage = nullptr;
}

// A COM stream over a growable global block; its bytes are appended to a TStream at the end.
class THGlobalStream {
 public:
  THGlobalStream() {
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &FStream))) throw EGdipException(GdipOutOfMemory);
  }
  ~THGlobalStream() { FStream->Release(); }
  THGlobalStream(const THGlobalStream&) = delete;
  THGlobalStream& operator=(const THGlobalStream&) = delete;
  IStream* Get() const { return FStream; }

  std::vector<uint8_t> Bytes() {
    ULARGE_INTEGER end = {};
    LARGE_INTEGER zero = {};
    HGLOBAL memory = nullptr;
    // Encoders seek back to fill in headers: the data ends at the stream's end, not at its position.
    CheckGdipResult(SUCCEEDED(FStream->Seek(zero, STREAM_SEEK_END, &end)) &&
                    SUCCEEDED(GetHGlobalFromStream(FStream, &memory)));
    if (end.QuadPart == 0) return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(memory));
    CheckGdipResult(bytes != nullptr);
    std::vector<uint8_t> result(bytes, bytes + end.QuadPart);
    GlobalUnlock(memory);
    return result;
  }

 private:
  IStream* FStream = nullptr;
};

// Locked pixels of a GDI+ bitmap, unlocked when the lock goes out of scope.
class TBitsLock {
 public:
  TBitsLock(GpBitmap* ABitmap, int32_t AWidth, int32_t AHeight, UINT AMode) : FBitmap(ABitmap) {
    const GpRect rect = {0, 0, AWidth, AHeight};
    CheckGdipStatus(Api().BitmapLockBits(FBitmap, &rect, AMode, PixelFormat32bppARGB, &FData));
  }
  ~TBitsLock() noexcept(false) {
    const GpStatus status = Api().BitmapUnlockBits(FBitmap, &FData);
    if (std::uncaught_exceptions() == FUncaught) CheckGdipStatus(status);
  }
  TBitsLock(const TBitsLock&) = delete;
  TBitsLock& operator=(const TBitsLock&) = delete;
  uint8_t* Row(int32_t AY) const {
    return static_cast<uint8_t*>(FData.Scan0) + static_cast<ptrdiff_t>(AY) * static_cast<ptrdiff_t>(FData.Stride);
  }

 private:
  GpBitmap* FBitmap;
  BitmapData FData = {};
  int FUncaught = std::uncaught_exceptions();
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------------

EGdipException::EGdipException(int AStatus)
    : Exception(Format(u"Invalid GDI+ operation (%d)", {AStatus})), FStatus(static_cast<uint8_t>(AStatus)) {}

void CheckGdipStatus(int AStatus) {
  if (AStatus != 0) throw EGdipException(AStatus);
}

void CheckGdipResult(bool ASuccess) {
  if (!ASuccess) throw EGdipException(GdipInvalidParameter);
}

void LoadGdiPlus() {
  if (Unit.Available) return;
  const TRuntimeLibrary& library = Unit.Library;
  TGdipApi& a = Unit.Api;
  Unit.Available =
      Unit.Library.Load(L"gdiplus.dll") && library.Bind(a.Alloc, "GdipAlloc") && library.Bind(a.Free, "GdipFree") &&
      library.Bind(a.Startup, "GdiplusStartup") && library.Bind(a.Shutdown, "GdiplusShutdown") &&
      library.Bind(a.CreateBitmapFromStream, "GdipCreateBitmapFromStream") &&
      library.Bind(a.SaveImageToStream, "GdipSaveImageToStream") &&
      library.Bind(a.GetImageDimension, "GdipGetImageDimension") &&
      library.Bind(a.BitmapLockBits, "GdipBitmapLockBits") &&
      library.Bind(a.BitmapUnlockBits, "GdipBitmapUnlockBits") && library.Bind(a.DisposeImage, "GdipDisposeImage") &&
      library.Bind(a.GetImageEncodersSize, "GdipGetImageEncodersSize") &&
      library.Bind(a.GetImageEncoders, "GdipGetImageEncoders") &&
      library.Bind(a.CreateBitmapFromScan0, "GdipCreateBitmapFromScan0") &&
      library.Bind(a.SetImagePalette, "GdipSetImagePalette");
  if (!Unit.Available) return;

  // No background thread: this thread calls the notification hook and unhook itself.
  const GdiplusStartupInput input = {1, nullptr, TRUE, FALSE};
  GpStatus status = a.Startup(&Unit.StartupToken, &input, &Unit.StartupOutput);
  if (status == 0) {
    status =
        Unit.StartupOutput.NotificationHook ? Unit.StartupOutput.NotificationHook(&Unit.HookToken) : GdipGenericError;
    if (status != 0) a.Shutdown(Unit.StartupToken);
  }
  if (status != 0) {
    Unit.Available = false;
    Unit.StartupOutput = {};
  }
}

void UnloadGdiPlus() {
  if (Unit.LiveObjects > 0)
    throw EProgrammingError(u"GDI+ cannot be shut down while " + IntToStr(Unit.LiveObjects) + u" images exist");
  if (Unit.Available) {
    Unit.StartupOutput.NotificationUnhook(Unit.HookToken);
    Unit.Api.Shutdown(Unit.StartupToken);
  }
  Unit.Library.Unload();
  Unit = TGdiPlusUnit();
}

bool GdiPlusAvailable() {
  if (!Unit.Available) LoadGdiPlus();
  return Unit.Available;
}

int FindEncoderClsid(std::u16string_view AMimeType, GUID& AClsid) {
  if (!GdiPlusAvailable()) return 1;
  UINT count = 0;
  UINT size = 0;
  if (Unit.Api.GetImageEncodersSize(&count, &size) != 0 || size < 1) return 1;
  if (static_cast<uint64_t>(count) * sizeof(ImageCodecInfo) > size) return 1;
  // The records come first, the strings they point at after them; the buffer is aligned for the records.
  std::vector<ImageCodecInfo> buffer((size + sizeof(ImageCodecInfo) - 1) / sizeof(ImageCodecInfo));
  if (Unit.Api.GetImageEncoders(count, size, buffer.data()) != 0) return 1;
  for (UINT i = 0; i < count; ++i) {
    const ImageCodecInfo& codec = buffer[i];
    if (codec.MimeType && SameTextAscii(FromWide(codec.MimeType), AMimeType)) {
      AClsid = codec.Clsid;
      return 0;
    }
  }
  return 1;
}

void InitGdiPlusEncoders() {
  for (int i = 0; i < enCount; ++i) CheckGdipStatus(FindEncoderClsid(EncoderMimeTypes[i], Unit.Encoders[i]));
}

void InitializeGdiPlus() {
  LoadGdiPlus();
  if (Unit.Available) InitGdiPlusEncoders();
}

void FinalizeGdiPlus() { UnloadGdiPlus(); }

void DecodePicture(TStream& AStream, int32_t& AWidth, int32_t& AHeight, std::vector<uint32_t>& APixels) {
  const int64_t start = AStream.Position();
  const int64_t count = AStream.Size() - start;
  if (count > 0) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    AStream.ReadBuffer(bytes.data(), bytes.size());
    if (ReadPng(bytes, AWidth, AHeight, APixels) == TImageFormatError::None) return;
    AStream.SetPosition(start);
  }
  TGDIPlusImage image;
  image.LoadFromStream(AStream);
  image.GetSize(AWidth, AHeight);
  APixels.assign(static_cast<size_t>(std::max(AWidth, 0)) * static_cast<size_t>(std::max(AHeight, 0)), 0);
  image.CopyPixels(APixels.data(), AWidth, AHeight);
}

// ---------------------------------------------------------------------------------------------------------------
// TGdipBase

void* TGdipBase::operator new(size_t ASize) {
  if (!Api().Alloc) throw EGdipException(GdipNotInitialized);
  void* memory = Api().Alloc(ASize);
  if (!memory) throw EGdipException(GdipOutOfMemory);
  ++Unit.LiveObjects;
  return memory;
}

void TGdipBase::operator delete(void* APointer) {
  if (!APointer) return;
  Api().Free(APointer);
  --Unit.LiveObjects;
}

// ---------------------------------------------------------------------------------------------------------------
// TGDIPlusImage

TGDIPlusImage::TGDIPlusImage() : FHolder(new TGdipBase) {}

TGDIPlusImage::~TGDIPlusImage() { FreeImage(); }

void TGDIPlusImage::FreeImage() {
  DisposeNative(FHolder->NativeImage);
  if (FMemory) {
    GlobalFree(FMemory);
    FMemory = nullptr;
  }
}

void TGDIPlusImage::LoadFromStream(TStream& AStream) {
  FreeImage();
  const int64_t count = AStream.Size() - AStream.Position();
  if (count < 1) throw EGdipException(GdipInvalidParameter);
  // The decoder reads these bytes for as long as the image lives.
  FMemory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(count));
  if (!FMemory) throw EGdipException(GdipOutOfMemory);
  try {
    void* bytes = GlobalLock(FMemory);
    if (!bytes) throw EGdipException(GdipOutOfMemory);
    try {
      AStream.ReadBuffer(bytes, static_cast<size_t>(count));
      CheckPictureHeader(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), static_cast<size_t>(count)));
    } catch (...) {
      GlobalUnlock(FMemory);
      throw;
    }
    GlobalUnlock(FMemory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(FMemory, FALSE, &stream))) throw EGdipException(GdipInvalidParameter);
    GpBitmap* image = nullptr;
    const GpStatus status = Api().CreateBitmapFromStream(stream, &image);
    stream->Release();
    CheckGdipStatus(status);
    FHolder->NativeImage = image;
  } catch (...) {
    FreeImage();
    throw;
  }
}

void TGDIPlusImage::LoadFromPixels(const uint32_t* APixels, int32_t AWidth, int32_t AHeight) {
  FreeImage();
  CheckGdipResult(AWidth > 0 && AHeight > 0);
  GpBitmap* image = nullptr;
  CheckGdipStatus(Api().CreateBitmapFromScan0(AWidth, AHeight, 0, PixelFormat32bppARGB, nullptr, &image));
  FHolder->NativeImage = image;
  try {
    TBitsLock lock(image, AWidth, AHeight, ImageLockModeWrite);
    for (int32_t y = 0; y < AHeight; ++y)
      std::memcpy(lock.Row(y), APixels + static_cast<size_t>(y) * static_cast<size_t>(AWidth),
                  static_cast<size_t>(AWidth) * 4);
  } catch (...) {
    FreeImage();
    throw;
  }
}

void TGDIPlusImage::LoadFromBitmap32(const TCustomBitmap32& ABitmap) {
  CheckGdipResult(!ABitmap.Empty());
  LoadFromPixels(ABitmap.Bits(), ABitmap.Width(), ABitmap.Height());
}

void TGDIPlusImage::GetSize(int32_t& AWidth, int32_t& AHeight) {
  float width = 0;
  float height = 0;
  CheckGdipStatus(Api().GetImageDimension(FHolder->NativeImage, &width, &height));
  AWidth = static_cast<int32_t>(width);
  AHeight = static_cast<int32_t>(height);
}

void TGDIPlusImage::CopyPixels(uint32_t* ADest, int32_t AWidth, int32_t AHeight) {
  if (AWidth <= 0 || AHeight <= 0) return;
  TBitsLock lock(FHolder->NativeImage, AWidth, AHeight, ImageLockModeRead);
  for (int32_t y = 0; y < AHeight; ++y)
    std::memcpy(ADest + static_cast<size_t>(y) * static_cast<size_t>(AWidth), lock.Row(y),
                static_cast<size_t>(AWidth) * 4);
}

void TGDIPlusImage::CopyToBitmap32(TCustomBitmap32& ABitmap) {
  int32_t width = 0;
  int32_t height = 0;
  GetSize(width, height);
  ABitmap.SetSize(width, height);
  if (ABitmap.Empty()) return;
  CopyPixels(ABitmap.Bits(), width, height);
  ABitmap.Changed();
}

void TGDIPlusImage::SaveAsBmp(TStream& ADest) { SaveWithEncoder(ADest, Unit.Encoders[enBmp]); }
void TGDIPlusImage::SaveAsGif(TStream& ADest) { SaveWithEncoder(ADest, Unit.Encoders[enGif]); }
void TGDIPlusImage::SaveAsJpeg(TStream& ADest) { SaveWithEncoder(ADest, Unit.Encoders[enJpeg]); }
void TGDIPlusImage::SaveAsPng(TStream& ADest) { SaveWithEncoder(ADest, Unit.Encoders[enPng]); }
void TGDIPlusImage::SaveAsTiff(TStream& ADest) { SaveWithEncoder(ADest, Unit.Encoders[enTiff]); }

void TGDIPlusImage::SaveWithEncoder(TStream& ADest, const GUID& AEncoder) {
  CheckGdipResult(FHolder->NativeImage != nullptr);
  if (AEncoder == Unit.Encoders[enGif] && AEncoder != GUID{}) {
    SaveIndexedGif(ADest, AEncoder);
    return;
  }
  THGlobalStream encoded;
  CheckGdipStatus(Api().SaveImageToStream(FHolder->NativeImage, encoded.Get(), &AEncoder, nullptr));
  const std::vector<uint8_t> bytes = encoded.Bytes();
  ADest.WriteBuffer(bytes.data(), bytes.size());
}

void TGDIPlusImage::SaveIndexedGif(TStream& ADest, const GUID& AEncoder) {
  // Some GIF encoders accept a 24- or 32-bit source, report success and write a broken file.
  int32_t width = 0;
  int32_t height = 0;
  GetSize(width, height);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  CopyPixels(pixels.data(), width, height);
  TIndexedImage indexed;
  QuantizeTo8Bit(pixels.data(), width, height, indexed);
  pixels = {};
  std::vector<UINT> palette(2 + indexed.Palette.size());  // flags, count, entries
  const bool transparent = !indexed.Palette.empty() && (indexed.Palette.back() >> 24) == 0;
  palette[0] = transparent ? PaletteFlagsHasAlpha : 0;
  palette[1] = static_cast<UINT>(indexed.Palette.size());
  std::memcpy(palette.data() + 2, indexed.Palette.data(), indexed.Palette.size() * 4);
  GpBitmap* bitmap = nullptr;
  CheckGdipStatus(Api().CreateBitmapFromScan0(width, height, static_cast<INT>(indexed.Stride), PixelFormat8bppIndexed,
                                              indexed.Indices.data(), &bitmap));
  THGlobalStream encoded;
  GpStatus status = Api().SetImagePalette(bitmap, palette.data());
  if (status == 0) status = Api().SaveImageToStream(bitmap, encoded.Get(), &AEncoder, nullptr);
  Api().DisposeImage(bitmap);
  CheckGdipStatus(status);
  // Not every encoder writes the palette's transparent entry as the GIF's transparent colour.
  std::vector<uint8_t> bytes = encoded.Bytes();
  if (transparent) SetGifTransparentIndex(bytes, static_cast<uint8_t>(indexed.Palette.size() - 1));
  ADest.WriteBuffer(bytes.data(), bytes.size());
}
