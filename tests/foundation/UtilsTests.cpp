#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "tests/foundation/TestFolder.h"

#include <zlib.h>

namespace {

struct TTextCase {
  const char16_t* Input;
  const char16_t* Expected;
};

TEST(FileNames, ExtensionWithoutDotAndTitle) {
  const TTextCase extensions[] = {{u"a.txt", u"txt"},          {u"C:\\x.y\\file", u""}, {u"a.b.c", u"c"},
                                  {u"dir/a.tar.gz", u"gz"},    {u"file.", u""},         {u"", u""},
                                  {u"C:\\Notes\\Rplc1.tmp", u"tmp"}};
  for (const TTextCase& c : extensions) EXPECT_EQ(ExtractFileExtNoDot(c.Input), c.Expected);
  const TTextCase titles[] = {{u"C:\\Notes\\Diary.qbx", u"Diary"}, {u"a.b.c", u"a.b"}, {u"C:\\x.y\\file", u"file"},
                              {u"/home/u/notes", u"notes"},         {u"", u""}};
  for (const TTextCase& c : titles) EXPECT_EQ(ExtractFileTitle(c.Input), c.Expected);
  EXPECT_TRUE(HasTrailingPathDelimiter(u"C:\\Notes\\"));
  EXPECT_TRUE(HasTrailingPathDelimiter(u"/tmp/"));
  EXPECT_FALSE(HasTrailingPathDelimiter(u"C:\\Notes"));
  EXPECT_FALSE(HasTrailingPathDelimiter(u""));
  EXPECT_TRUE(HasTrailingPathDelimiter(GetTempFolder()));
}

struct TSplitCase {
  const char16_t* Text;
  const char16_t* Name;
  const char16_t* Value;
  bool Split;
};

TEST(SplitNameValue, SplitsAtTheFirstEqualsAndDropsOnePairOfQuotes) {
  const TSplitCase cases[] = {
      {u"a=b=c", u"a", u"b=c", true},  {u"a=\"x y\"", u"a", u"x y", true}, {u"a=\"", u"a", u"\"", true},
      {u"a=\"\"", u"a", u"", true},    {u"a=", u"a", u"", true},           {u"abc", u"abc", u"", false},
      {u"", u"", u"", false},          {u"=v", u"", u"v", true},           {u"a=\"\"x\"\"", u"a", u"\"x\"", true},
  };
  for (const TSplitCase& c : cases) {
    std::u16string name = u"old", value = u"old";
    EXPECT_EQ(SplitNameValue(c.Text, name, value), c.Split);
    EXPECT_EQ(name, c.Name);
    EXPECT_EQ(value, c.Value);
  }
}

TEST(Shell, TheBrowserIsTheQuotedProgramOrTheFirstToken) {
  const TTextCase cases[] = {
      {u"\"C:\\Program Files\\Web\\web.exe\" -osint -url \"%1\"", u"C:\\Program Files\\Web\\web.exe"},
      {u"C:\\Web\\web.exe %1", u"C:\\Web\\web.exe"},
      {u"C:\\Program Files\\Web\\web.exe", u"C:\\Program"},
      {u"\"unterminated", u"unterminated"},
      {u"  web.exe", u"web.exe"},
      {u"", u""},
  };
  for (const TTextCase& c : cases) EXPECT_EQ(ProgramFromCommand(c.Input), c.Expected);
}

TEST(Shell, OnlyPlainHttpAndHttpsUrlsGoToABrowser) {
  for (const char16_t* good : {u"http://example.org/", u"HTTPS://example.org/a?b=c&d", u"http://a b/"})
    EXPECT_TRUE(IsBrowsableUrl(good)) << std::u16string(good).size();
  for (const char16_t* bad : {u"ftp://example.org", u"http://", u"https://", u"file:///C:/x", u"javascript:alert(1)",
                              u"http://a\"b", u"http://a\nb", u"http://a\x7F", u"C:\\Windows\\x.exe", u" http://a"})
    EXPECT_FALSE(IsBrowsableUrl(bad));
}

TEST(Shell, AMessageEndsInAFullStopUnlessItAlreadyEndsASentence) {
  const TTextCase cases[] = {{u"Saved", u"Saved."}, {u"Sure?", u"Sure?"}, {u"Done.", u"Done."}, {u"Stop!", u"Stop!"},
                             {u"Name:", u"Name:."}, {u"Tab\t", u"Tab\t"}, {u"", u""}};
  for (const TTextCase& c : cases) EXPECT_EQ(MessageBoxText(c.Input), c.Expected);
}

TEST(UniqueFile, TakesTheFirstFreeNumberAndCreatesTheFile) {
  TTestFolder folder;
  { TFileStream(folder.Path(u"Rplc1.tmp"), TFileMode::fmCreate); }
  std::unique_ptr<TFileStream> stream;
  const std::u16string name = CreateUniqueFile(u"Rplc%d.tmp", u"", stream, folder.Path(u""));
  EXPECT_EQ(ExtractFileName(name), u"Rplc2.tmp");
  ASSERT_TRUE(stream != nullptr);
  stream->WriteBytes("x");
  stream.reset();
  EXPECT_TRUE(FileExists(name));
  const std::u16string second = CreateUniqueFile(u"Copy%d", u"txt", stream, folder.Path(u""));
  EXPECT_EQ(ExtractFileName(second), u"Copy1.txt");
}

class TCountedObject : public TObject {
public:
  explicit TCountedObject(std::vector<int>& AFreed, int AId) : FFreed(AFreed), FId(AId) {}
  ~TCountedObject() override { FFreed.push_back(FId); }

private:
  std::vector<int>& FFreed;
  int FId;
};

TEST(FreeAndClear, FreesFromTheLastToTheFirst) {
  std::vector<int> freed;
  TStringList strings;
  strings.Add(u"a", new TCountedObject(freed, 1));
  strings.Add(u"b");
  strings.Add(u"c", new TCountedObject(freed, 3));
  FreeAndClearStrings(strings);
  EXPECT_EQ(strings.Count(), 0);
  EXPECT_EQ(freed, (std::vector<int>{3, 1}));
  std::vector<TCountedObject*> list{new TCountedObject(freed, 4), new TCountedObject(freed, 5)};
  FreeAndClearList(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(freed, (std::vector<int>{3, 1, 5, 4}));
}

// ---------------------------------------------------------------------------------------------------------------
// Packing

std::string Bytes(TMemoryStream& AStream) {
  return std::string(reinterpret_cast<const char*>(AStream.Memory()), static_cast<size_t>(AStream.Size()));
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& ABytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBytes(ABytes);
  return stream;
}

std::string RandomBytes(size_t ACount, uint32_t ASeed) {
  std::mt19937 random(ASeed);
  std::string bytes(ACount, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

TEST(Packing, RoundTripsAnySizeAndRewindsTheDestination) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 37) + "\n";
  for (const std::string& original : {std::string("x"), text, RandomBytes(300000, 7), std::string(200000, '\0')}) {
    auto source = StreamOf(original);
    source->SetPosition(source->Size());  // packing reads the source from its start
    TMemoryStream packed, unpacked;
    CompressStream(*source, packed);
    EXPECT_EQ(packed.Position(), 0);
    ASSERT_GE(packed.Size(), 2);
    // zlib header: deflate with a 32 KiB window, default level.
    EXPECT_EQ(packed.Memory()[0], 0x78);
    EXPECT_EQ(packed.Memory()[1], 0x9C);
    DecompressStream(packed, unpacked);
    EXPECT_EQ(unpacked.Position(), 0);
    EXPECT_EQ(Bytes(unpacked), original);
  }
}

TEST(Packing, TheOutputIsWhatZlibItselfUnpacks) {
  const std::string original = RandomBytes(5000, 3) + std::string(5000, 'a');
  auto source = StreamOf(original);
  TMemoryStream packed;
  CompressStream(*source, packed);
  std::vector<unsigned char> out(original.size());
  uLongf length = static_cast<uLongf>(out.size());
  ASSERT_EQ(uncompress(out.data(), &length, packed.Memory(), static_cast<uLong>(packed.Size())), Z_OK);
  EXPECT_EQ(std::string(out.begin(), out.begin() + length), original);
}

TEST(Packing, AnEmptySourceLeavesTheDestinationAlone) {
  TMemoryStream empty;
  auto dest = StreamOf("keep");
  CompressStream(empty, *dest);
  DecompressStream(empty, *dest);
  EXPECT_EQ(Bytes(*dest), "keep");
  EXPECT_EQ(dest->Position(), 4);
}

TEST(Packing, DamagedCutOrOversizedDataRaisesTheDecompressionError) {
  auto source = StreamOf(std::string(100000, 'q') + RandomBytes(1000, 1));
  TMemoryStream packed;
  CompressStream(*source, packed);
  const std::string whole = Bytes(packed);

  TMemoryStream out1, out2, out3;
  EXPECT_THROW(DecompressStream(*StreamOf(whole.substr(0, whole.size() / 2)), out1), EDecompressionError);
  std::string flipped = whole;
  flipped[flipped.size() / 2] ^= 0x55;
  flipped[flipped.size() / 2 + 1] ^= 0x55;
  EXPECT_THROW(DecompressStream(*StreamOf(flipped), out2), EDecompressionError);
  EXPECT_THROW(DecompressStream(*StreamOf("this was never packed"), out3), EDecompressionError);

  TMemoryStream out4;
  EXPECT_THROW(DecompressStream(packed, out4, 50000), EDecompressionError);
  TMemoryStream out5;
  DecompressStream(packed, out5, 101000);
  EXPECT_EQ(out5.Size(), 101000);
}

TEST(Packing, DecompressionErrorIsAStreamError) {
  TMemoryStream out;
  try {
    DecompressStream(*StreamOf("xx"), out);
    FAIL() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_NE(dynamic_cast<const EDecompressionError*>(&e), nullptr);
    EXPECT_FALSE(e.Message().empty());
  }
}

#ifdef _WIN32

// ---------------------------------------------------------------------------------------------------------------
// Windows

TEST(Geometry, RectsOverlapCountsTouchingTheLeftOrTopEdge) {
  struct TCase {
    RECT A, B;
    bool Overlap;
  } cases[] = {
      {{0, 0, 10, 10}, {10, 0, 20, 10}, false}, {{10, 0, 20, 10}, {0, 0, 10, 10}, true},
      {{0, 0, 10, 10}, {0, 10, 10, 20}, false}, {{0, 10, 10, 20}, {0, 0, 10, 10}, true},
      {{0, 0, 10, 10}, {2, 2, 3, 3}, true},     {{0, 0, 10, 10}, {20, 20, 30, 30}, false},
  };
  for (const TCase& c : cases) EXPECT_EQ(RectsOverlap(c.A, c.B), c.Overlap);
  const SIZE size = GetRectSize(RECT{5, 7, 25, 10});
  EXPECT_EQ(size.cx, 20);
  EXPECT_EQ(size.cy, 3);
}

TEST(Files, ListFilesSkipsFoldersAndCanDropExtensionsOrAddTheFolder) {
  TTestFolder folder;
  for (const char16_t* name : {u"b.txt", u"a.txt", u"c.dat"}) TFileStream(folder.Path(name), TFileMode::fmCreate);
  ASSERT_TRUE(CreateDirectoryW(WStr(folder.Path(u"sub.txt")), nullptr));
  const std::u16string path = folder.Path(u"");
  auto listed = [&](bool AWithExt, bool AWithFolder) {
    TStringList list;
    list.Add(u"kept");
    ListFiles(path, u"*.txt", list, AWithExt, AWithFolder);
    EXPECT_EQ(list.UpdateCount(), 0);
    std::vector<std::u16string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list[i]);
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::u16string withDelimiter = HasTrailingPathDelimiter(path) ? path : path + u"\\";
  EXPECT_EQ(listed(true, false), (std::vector<std::u16string>{u"a.txt", u"b.txt", u"kept"}));
  EXPECT_EQ(listed(false, false), (std::vector<std::u16string>{u"a", u"b", u"kept"}));
  EXPECT_EQ(listed(true, true), (std::vector<std::u16string>{withDelimiter + u"a.txt", withDelimiter + u"b.txt", u"kept"}));
}

TDateTime LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME time;
  SystemTimeToFileTime(&now, &time);
  return static_cast<double>((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 864000000000.0 - 109205.0;
}

TEST(Files, FileDateTimeIsLocalTimeAndZeroForAMissingFile) {
  TTestFolder folder;
  const std::u16string name = folder.Path(u"stamp.txt");
  TFileStream(name, TFileMode::fmCreate).WriteBytes("x");
  EXPECT_NEAR(GetFileDateTime(name), LocalNow(), 2.0 / 1440);
  EXPECT_EQ(GetFileDateTime(folder.Path(u"missing.txt")), 0);
  // 2000-01-01 is day 36526.
  EXPECT_GT(GetFileDateTime(name), 36526);
}

TEST(Files, ApplicationFolderHoldsTheProgram) {
  const std::u16string folder = GetApplicationFolder();
  ASSERT_TRUE(HasTrailingPathDelimiter(folder));
  EXPECT_TRUE(FileExists(folder + u"foundation_tests.exe"));
}

TEST(Clipping, SavedClipRegionComesBack) {
  HDC dc = CreateCompatibleDC(nullptr);
  HRGN region;
  bool had;
  SaveClipRegion(dc, region, had);
  EXPECT_FALSE(had);
  IntersectClipRect(dc, 1, 2, 5, 6);
  RestoreClipRegion(dc, region, had);
  HRGN probe = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(dc, probe), 0) << "no clipping again";
  IntersectClipRect(dc, 1, 2, 5, 6);
  {
    TClipRegionGuard guard(dc);
    IntersectClipRect(dc, 3, 3, 4, 4);
  }
  ASSERT_EQ(GetClipRgn(dc, probe), 1);
  RECT box;
  GetRgnBox(probe, &box);
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.top, 2);
  EXPECT_EQ(box.right, 5);
  EXPECT_EQ(box.bottom, 6);
  DeleteObject(probe);
  DeleteDC(dc);
}

TEST(BusyCursor, NestsAndRestoresTheCursorShownBeforeOnlyAtTheOutermostEnd) {
  SetScreenCursor(crIBeam);
  BeginBusyCursor();
  EXPECT_EQ(GetScreenCursor(), crHourGlass);
  {
    TBusyCursor inner;
    EXPECT_TRUE(IsBusyCursor());
  }
  EXPECT_EQ(GetScreenCursor(), crHourGlass);
  SetScreenCursor(crSizeAll);  // while busy: only what comes back changes
  EXPECT_EQ(GetScreenCursor(), crHourGlass);
  EndBusyCursor();
  EXPECT_FALSE(IsBusyCursor());
  EXPECT_EQ(GetScreenCursor(), crSizeAll);
  SetScreenCursor(crDefault);
  EXPECT_THROW(EndBusyCursor(), EProgrammingError);
}

TEST(BusyCursor, EndsWhenAnExceptionLeavesItsScope) {
  try {
    TBusyCursor busy;
    throw EStreamError(u"fails");
  } catch (const EStreamError&) {
  }
  EXPECT_FALSE(IsBusyCursor());
  EXPECT_EQ(GetScreenCursor(), crDefault);
  EXPECT_NE(GetCursorHandle(crHourGlass), nullptr);
}

TEST(Shell, FailuresRaiseLocalizedFileAndPathErrors) {
  InitializeLocalization();
  Localization->SetLanguage(LangEnglishUS);
  TTestFolder folder;
  const std::u16string missing = folder.Path(u"missing.qbx");
  try {
    ShellExecuteFile(missing, {}, {}, true, SW_HIDE);
    ADD_FAILURE() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Message(), u"File not found: " + missing);
    EXPECT_EQ(e.ErrorCode(), 2u);
  }
  EXPECT_FALSE(ShellExecuteFile(missing, {}, {}, false, SW_HIDE));
  try {
    RaisePathNotFound(u"C:\\Nowhere\\");
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Message(), u"Path not found: C:\\Nowhere\\");
    EXPECT_EQ(e.ErrorCode(), 3u);
  }
  FinalizeLocalization();
}

TEST(Shell, NoBrowserIsStartedForAnythingButAPlainWebAddress) {
  EXPECT_FALSE(OpenInDefaultBrowser(u"file:///C:/windows/system32/calc.exe", SW_HIDE));
  EXPECT_FALSE(OpenInDefaultBrowser(u"http://a\" --evil", SW_HIDE));
}

TEST(Languages, AbbreviationsFindTheirLanguageExactly) {
  LANGID id = 0;
  ASSERT_TRUE(FindLanguageLocale(u"ENU", id));
  EXPECT_EQ(id, 0x0409);
  ASSERT_TRUE(FindLanguageLocale(u"DEU", id));
  EXPECT_EQ(id, 0x0407);
  ASSERT_TRUE(FindLanguageLocale(u"RUS", id));
  EXPECT_EQ(id, 0x0419);
  EXPECT_FALSE(FindLanguageLocale(u"enu", id));
  EXPECT_FALSE(FindLanguageLocale(u"XYZ", id));
  EXPECT_FALSE(FindLanguageLocale(u"", id));
}

// A PNG (8-bit RGBA, no filter) of AWidth x AHeight from ARGB words.
std::string EncodePng(int AWidth, int AHeight, const std::vector<uint32_t>& APixels) {
  auto bigEndian = [](uint32_t AValue) {
    return std::string{char(AValue >> 24), char(AValue >> 16), char(AValue >> 8), char(AValue)};
  };
  auto chunk = [&](const char* AType, const std::string& AData) {
    std::string body = std::string(AType, 4) + AData;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    return bigEndian(uint32_t(AData.size())) + body + bigEndian(crc);
  };
  std::string raw;
  for (int y = 0; y < AHeight; ++y) {
    raw += '\0';
    for (int x = 0; x < AWidth; ++x) {
      const uint32_t p = APixels[size_t(y) * AWidth + x];
      raw += {char(p >> 16), char(p >> 8), char(p), char(p >> 24)};
    }
  }
  std::string packed(compressBound(uLong(raw.size())), '\0');
  uLongf packedSize = uLongf(packed.size());
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
  packed.resize(packedSize);
  const std::string header = bigEndian(uint32_t(AWidth)) + bigEndian(uint32_t(AHeight)) + std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

// A 32-bit top-down DIB section of the given colour, selected into its own DC.
class TCanvas32 {
public:
  TCanvas32(int AWidth, int AHeight, uint32_t AFill) : FWidth(AWidth) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = AWidth;
    info.bmiHeader.biHeight = -AHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    FBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    FBits = static_cast<uint32_t*>(bits);
    std::fill(FBits, FBits + AWidth * AHeight, AFill);
    FDC = CreateCompatibleDC(nullptr);
    FOld = SelectObject(FDC, FBitmap);
  }
  ~TCanvas32() {
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
    DeleteObject(FBitmap);
  }
  HDC DC() const { return FDC; }
  HBITMAP Bitmap() const { return FBitmap; }
  uint32_t Pixel(int AX, int AY) const {
    GdiFlush();
    return FBits[AY * FWidth + AX] & 0xFFFFFF;
  }
  void SetPixel(int AX, int AY, uint32_t AValue) { FBits[AY * FWidth + AX] = AValue; }

private:
  int FWidth;
  HBITMAP FBitmap;
  uint32_t* FBits;
  HDC FDC;
  HGDIOBJ FOld;
};

struct TImageList {
  HIMAGELIST Handle = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4);
  ~TImageList() { ImageList_Destroy(Handle); }
};

TEST(ImageStrips, APngWithAlphaIsCutRowByRowIntoAlphaTilesIgnoringTheRemainder) {
  // 40 x 36: two columns and two rows of 16 x 16 tiles; tile n has its top-left pixel opaque in colour n.
  const int width = 40, height = 36;
  std::vector<uint32_t> pixels(size_t(width) * height, 0x00000000);
  const uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
  for (int tile = 0; tile < 4; ++tile) pixels[size_t((tile / 2) * 16) * width + (tile % 2) * 16] = colours[tile];
  const std::string png = EncodePng(width, height, pixels);
  TMemoryStream stream;
  stream.WriteBytes(png);
  TImageList list;
  AddImageStripPng(stream, list.Handle);
  ASSERT_EQ(ImageList_GetImageCount(list.Handle), 4);
  for (int tile = 0; tile < 4; ++tile) {
    TCanvas32 canvas(16, 16, 0x00000000);
    ASSERT_TRUE(ImageList_Draw(list.Handle, tile, canvas.DC(), 0, 0, ILD_NORMAL));
    EXPECT_EQ(canvas.Pixel(0, 0), colours[tile] & 0xFFFFFF) << "tile " << tile;
    EXPECT_EQ(canvas.Pixel(5, 5), 0u) << "transparent stays as it was";
  }
}

TEST(ImageStrips, AnOpaqueBitmapIsMaskedWithEachTilesBottomLeftColour) {
  TCanvas32 strip(32, 16, 0x00FF00FF);  // magenta: the transparent colour of both tiles
  strip.SetPixel(3, 3, 0x00123456);
  strip.SetPixel(16 + 4, 4, 0x00654321);
  TImageList list;
  AddImageStrip(strip.Bitmap(), list.Handle);
  ASSERT_EQ(ImageList_GetImageCount(list.Handle), 2);
  TCanvas32 canvas(16, 16, 0x00FFFFFF);
  ASSERT_TRUE(ImageList_Draw(list.Handle, 1, canvas.DC(), 0, 0, ILD_NORMAL));
  EXPECT_EQ(canvas.Pixel(4, 4), 0x654321u);
  EXPECT_EQ(canvas.Pixel(0, 15), 0xFFFFFFu);
  EXPECT_EQ(canvas.Pixel(10, 2), 0xFFFFFFu);
}

TEST(ImageStrips, AnUndecodablePngRaisesAStreamError) {
  TMemoryStream stream;
  stream.WriteBytes("\x89PNG but not really");
  TImageList list;
  EXPECT_THROW(AddImageStripPng(stream, list.Handle), EStreamError);
  EXPECT_EQ(ImageList_GetImageCount(list.Handle), 0);
}

TEST(Platform, IsVistaOrLater) { EXPECT_TRUE(IsWindowsVistaOrLater()); }

#endif

}  // namespace
