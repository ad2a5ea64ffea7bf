#include "document/elements/diDataSupport.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace {

struct TDataTypeInfo {
  std::u16string_view Extension;
  std::u16string_view FormatName;
  TDataCategory Category;
};

constexpr std::array<TDataTypeInfo, DataTypeCount> DataTypes{{
    {u"", u"", TDataCategory::dcOther},
    {u"bmp", u"Bitmap", TDataCategory::dcBitmaps},
    {u"ico", u"Icon", TDataCategory::dcIcons},
    {u"cur", u"Cursor", TDataCategory::dcCursors},
    {u"emf", u"Metafile", TDataCategory::dcMetafiles},
    {u"wmf", u"Metafile", TDataCategory::dcMetafiles},
    {u"jpeg", u"JPEG", TDataCategory::dcBitmaps},
    {u"jpg", u"JPEG", TDataCategory::dcBitmaps},
    {u"jpe", u"JPEG", TDataCategory::dcBitmaps},
    {u"jfif", u"JPEG", TDataCategory::dcBitmaps},
    {u"gif", u"GIF", TDataCategory::dcBitmaps},
    {u"png", u"PNG", TDataCategory::dcBitmaps},
    {u"tif", u"TIFF", TDataCategory::dcBitmaps},
    {u"tiff", u"TIFF", TDataCategory::dcBitmaps},
}};

constexpr bool InTable(TDataType AType) { return AType > 0 && AType < DataTypeCount; }

char16_t LowerAscii(char16_t C) { return C >= u'A' && C <= u'Z' ? static_cast<char16_t>(C + 32) : C; }

bool SameAsciiNoCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size())
    return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (LowerAscii(A[i]) != LowerAscii(B[i]))
      return false;
  return true;
}

// Reads fixed-size fields in order; once a field runs past the end every later read fails too.
class THeaderReader {
 public:
  explicit THeaderReader(std::span<const uint8_t> AData) : FData(AData) {}

  bool Skip(size_t ACount) {
    if (FData.size() - FPos < ACount)
      return false;
    FPos += ACount;
    return true;
  }
  bool Byte(uint8_t& AValue) {
    if (FPos >= FData.size())
      return false;
    AValue = FData[FPos++];
    return true;
  }
  bool U16LE(uint32_t& AValue) { return Number(2, false, AValue); }
  bool U16BE(uint32_t& AValue) { return Number(2, true, AValue); }
  bool U32LE(uint32_t& AValue) { return Number(4, false, AValue); }
  bool U32BE(uint32_t& AValue) { return Number(4, true, AValue); }

 private:
  bool Number(size_t ABytes, bool ABigEndian, uint32_t& AValue) {
    if (FData.size() - FPos < ABytes)
      return false;
    AValue = 0;
    for (size_t i = 0; i < ABytes; ++i) {
      const uint32_t b = FData[FPos + (ABigEndian ? i : ABytes - 1 - i)];
      AValue = AValue << 8 | b;
    }
    FPos += ABytes;
    return true;
  }

  std::span<const uint8_t> FData;
  size_t FPos = 0;
};

// A 32-bit field as a side: values past the signed range read as unusable (0).
int32_t Side(uint32_t AValue) { return AValue > uint32_t(std::numeric_limits<int32_t>::max()) ? 0 : int32_t(AValue); }

bool ReadBmpSize(THeaderReader& R, TImageSize& S) {
  uint32_t type, infoSize, width, height;
  if (!R.U16LE(type) || type != 0x4D42 || !R.Skip(12) || !R.U32LE(infoSize) || !R.U32LE(width) || !R.U32LE(height) ||
      !R.Skip(28))
    return false;
  S.Width = static_cast<int32_t>(width);
  // A top-down bitmap stores its height negated.
  const int32_t h = static_cast<int32_t>(height);
  S.Height = h == std::numeric_limits<int32_t>::min() ? 0 : std::abs(h);
  return true;
}

bool ReadIconSize(THeaderReader& R, bool ACursor, TImageSize& S) {
  uint32_t reserved, type, count;
  if (!R.U16LE(reserved) || !R.U16LE(type) || !R.U16LE(count))
    return false;
  if (type != 1 && type != 2)
    return true;
  int32_t bestWidth = 0, bestHeight = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t widthByte, heightByte;
    if (!R.Byte(widthByte) || !R.Byte(heightByte) || !R.Skip(14))
      return false;
    // A width or height byte 0 means 256.
    const int32_t width = widthByte == 0 ? 256 : widthByte;
    const int32_t height = heightByte == 0 ? 256 : heightByte;
    if (width > bestWidth) {
      bestWidth = width;
      bestHeight = ACursor ? width : height;
    }
  }
  S = {bestWidth, bestHeight};
  return true;
}

bool ReadJpegSize(THeaderReader& R, TImageSize& S) {
  uint32_t marker;
  if (!R.U16BE(marker) || marker != 0xFFD8)
    return false;
  for (;;) {
    uint32_t code, length;
    if (!R.U16BE(code) || code == 0xFFD9 || !R.U16BE(length))
      return false;
    if (code == 0xFFC0 || code == 0xFFC2) {
      uint8_t precision;
      uint32_t height, width;
      if (!R.Byte(precision) || !R.U16BE(height) || !R.U16BE(width))
        return false;
      S = {static_cast<int32_t>(width), static_cast<int32_t>(height)};
      return true;
    }
    // The length counts its own two bytes; less is damage, and would never move on.
    if (length < 2 || !R.Skip(length - 2))
      return false;
  }
}

bool ReadGifSize(THeaderReader& R, TImageSize& S) {
  uint32_t width, height;
  if (!R.Skip(6) || !R.U16LE(width) || !R.U16LE(height))
    return false;
  S = {static_cast<int32_t>(width), static_cast<int32_t>(height)};
  return true;
}

bool ReadPngSize(THeaderReader& R, TImageSize& S) {
  uint32_t width, height;
  if (!R.Skip(16) || !R.U32BE(width) || !R.U32BE(height))
    return false;
  S = {Side(width), Side(height)};
  return true;
}

}  // namespace

TDataType DataTypeOfExtension(std::u16string_view AExtension) {
  for (TDataType t = 1; t < DataTypeCount; ++t)
    if (SameAsciiNoCase(AExtension, DataTypes[t].Extension))
      return t;
  return dtOther;
}

TDataType DataTypeOfFileName(std::u16string_view AFileName) {
  const size_t slash = AFileName.find_last_of(u"\\/");
  const std::u16string_view name = slash == std::u16string_view::npos ? AFileName : AFileName.substr(slash + 1);
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string_view::npos ? dtOther : DataTypeOfExtension(name.substr(dot + 1));
}

std::u16string_view DataTypeExtension(TDataType AType) {
  return InTable(AType) ? DataTypes[AType].Extension : std::u16string_view{};
}

std::u16string_view DataTypeFormatName(TDataType AType) {
  return InTable(AType) ? DataTypes[AType].FormatName : std::u16string_view{};
}

TDataCategory DataTypeCategory(TDataType AType) {
  return InTable(AType) ? DataTypes[AType].Category : TDataCategory::dcOther;
}

bool SameDataFormat(TDataType A, TDataType B) {
  if (A == B)
    return true;
  return InTable(A) && InTable(B) && DataTypes[A].FormatName == DataTypes[B].FormatName;
}

std::u16string SanitizeTypeName(std::u16string_view AName) {
  std::u16string result;
  for (const char16_t c : AName) {
    if (result.size() == MaxTypeNameLength)
      break;
    const char16_t lower = LowerAscii(c);
    if ((lower >= u'a' && lower <= u'z') || (lower >= u'0' && lower <= u'9'))
      result += lower;
  }
  return result;
}

bool IsRunnableExtension(std::u16string_view AExtension) {
  // What opening the file would run or install: programs, scripts, installers, shortcuts, control-panel items,
  // registry imports, compiled help and the other launchers mail programs block. Kept sorted.
  static constexpr std::u16string_view Runnable[] = {
      u"accda", u"accde", u"ade", u"adp", u"app", u"appx", u"appxbundle", u"asp", u"aspx", u"asx", u"bas", u"bat",
      u"bgi", u"cab", u"cer", u"chm", u"cmd", u"cnt", u"com", u"cpl", u"crt", u"csh", u"der", u"diagcab", u"exe",
      u"fxp", u"gadget", u"grp", u"hlp", u"hpj", u"hta", u"htc", u"inf", u"ins", u"isp", u"its", u"jar", u"jnlp",
      u"js", u"jse", u"ksh", u"lnk", u"mad", u"maf", u"mag", u"mam", u"maq", u"mar", u"mas", u"mat", u"mau", u"mav",
      u"maw", u"mcf", u"mda", u"mdb", u"mde", u"mdt", u"mdw", u"mdz", u"msc", u"msh", u"msh1", u"msh1xml", u"msh2",
      u"msh2xml", u"mshxml", u"msi", u"msix", u"msixbundle", u"msp", u"mst", u"msu", u"ops", u"osd", u"pcd", u"pif",
      u"pl", u"plg", u"prf", u"prg", u"ps1", u"ps1xml", u"ps2", u"ps2xml", u"psc1", u"psc2", u"psd1", u"psdm1",
      u"psm1", u"pst", u"py", u"pyc", u"pyo", u"pyw", u"pyz", u"pyzw", u"reg", u"scf", u"scr", u"sct", u"shb", u"shs",
      u"theme", u"tmp", u"url", u"vb", u"vbe", u"vbp", u"vbs", u"vhd", u"vhdx", u"vsmacros", u"vsw", u"webpnp",
      u"website", u"ws", u"wsc", u"wsf", u"wsh", u"xbap", u"xll", u"xnk",
  };
  const std::u16string extension = SanitizeTypeName(AExtension);
  return std::binary_search(std::begin(Runnable), std::end(Runnable), extension);
}

std::u16string EditingFileExtension(std::u16string_view ATypeName) {
  std::u16string extension = SanitizeTypeName(ATypeName);
  return IsRunnableExtension(extension) ? std::u16string(u"bin") : extension;
}

bool IsEditingFileNamePattern(std::u16string_view AFileName) {
  const size_t slash = AFileName.find_last_of(u"\\/");
  const std::u16string_view name = slash == std::u16string_view::npos ? AFileName : AFileName.substr(slash + 1);
  if (name.size() < 5 || !SameAsciiNoCase(name.substr(0, 4), u"file") || name[4] < u'1' || name[4] > u'9')
    return false;
  size_t i = 5;
  while (i < name.size() && name[i] >= u'0' && name[i] <= u'9') ++i;
  if (i == name.size())
    return true;
  const std::u16string_view ext = name.substr(i + 1);
  return name[i] == u'.' && !ext.empty() && SanitizeTypeName(ext) == ext;
}

bool GetImageSize(std::span<const uint8_t> AData, TDataType AType, TImageSize& ASize, TImageSize AIconSize) {
  THeaderReader reader(AData);
  TImageSize read;
  bool ok = false;
  switch (AType) {
    case dtBmp:
      ok = ReadBmpSize(reader, read);
      break;
    case dtIco:
    case dtCur:
      ok = ReadIconSize(reader, AType == dtCur, read);
      break;
    case 6:
    case 7:
    case 8:
    case dtJfif:
      ok = ReadJpegSize(reader, read);
      break;
    case dtGif:
      ok = ReadGifSize(reader, read);
      break;
    case dtPng:
      ok = ReadPngSize(reader, read);
      break;
    default:
      break;
  }
  if (!ok)
    read = {};
  const bool icon = AType == dtIco || AType == dtCur;
  ASize.Width = read.Width > 0 ? read.Width : icon ? AIconSize.Width : 100;
  ASize.Height = read.Height > 0 ? read.Height : icon ? AIconSize.Height : 100;
  return read.Width > 0 && read.Height > 0;
}

int PreviewScale(int32_t AWidth) {
  static constexpr int Scales[] = {100, 75, 50, 25, 10, 5, 4, 3, 2};
  for (const int scale : Scales)
    if (int64_t(AWidth) * scale / 100 <= PreviewMaxWidth)
      return scale;
  return 1;
}

TImageSize PreviewSize(TImageSize AImage, int AScale) {
  const auto side = [AScale](int32_t AValue) {
    return static_cast<int32_t>(std::max<int64_t>(1, int64_t(AValue) * AScale / 100));
  };
  return {side(AImage.Width), side(AImage.Height)};
}

size_t HexLineCount(size_t ASize) { return ASize / HexBytesPerLine + (ASize % HexBytesPerLine != 0 ? 1 : 0); }

std::u16string FormatHexLine(std::span<const uint8_t> AData, size_t ALine) {
  static constexpr char16_t Digits[] = u"0123456789ABCDEF";
  if (ALine >= HexLineCount(AData.size()))
    return {};
  const std::span<const uint8_t> bytes =
      AData.subspan(ALine * HexBytesPerLine, std::min(HexBytesPerLine, AData.size() - ALine * HexBytesPerLine));
  std::u16string line(HexTextColumn + bytes.size(), u' ');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = bytes[i];
    line[3 * i] = Digits[b >> 4];
    line[3 * i + 1] = Digits[b & 15];
    line[HexTextColumn + i] = b < 32 ? u'\u00B7' : static_cast<char16_t>(b);
  }
  return line;
}
