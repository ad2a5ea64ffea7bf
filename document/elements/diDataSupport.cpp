#include "document/elements/diDataSupport.h"

#include <algorithm>
#include <array>
#include <limits>

#include "graphics/pixels/pxImageSize.h"

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

// A side as the data element keeps it: values past the signed range read as unusable (0).
int32_t Side(uint32_t AValue) { return AValue > uint32_t(std::numeric_limits<int32_t>::max()) ? 0 : int32_t(AValue); }

bool ReadSize(std::span<const uint8_t> AData, TDataType AType, TPictureSize& ASize) {
  uint8_t marker = 0;
  switch (AType) {
    case dtBmp:
      return ReadBmpSize(AData, ASize);
    case dtIco:
    case dtCur:
      return ReadIconDirectorySize(AData, AType == dtCur, ASize);
    case 6:
    case 7:
    case 8:
    case dtJfif:
      // Baseline and progressive frames only.
      return ReadJpegSize(AData, ASize, marker) && (marker == 0xC0 || marker == 0xC2);
    case dtGif:
      return ReadGifScreenSize(AData, ASize);
    case dtPng:
      return ReadPngSize(AData, ASize);
    default:
      return false;
  }
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

bool IsInertExtension(std::u16string_view AExtension) {
  // What the shell opens for viewing or editing without running anything in it: pictures, plain and rich text, PDF,
  // the office types that cannot hold macros (docx, xlsx, pptx and their templates and shows), the open-document
  // types, sound, video, and the archive the shell only lists.
  // Left out on purpose: macro-enabled and old binary office types (docm, xlsm, doc, xls, ...), web pages and
  // SVG (scripts), Windows Media files (their script commands open addresses), disk images (iso, img, vhd), and
  // everything else no one has looked at. Kept sorted.
  static constexpr std::u16string_view Inert[] = {
      u"3gp",  u"aac",  u"avi",  u"avif", u"bmp",  u"cur",  u"dib",  u"docx", u"dotx", u"emf",  u"flac",
      u"gif",  u"heic", u"heif", u"ico",  u"jfif", u"jpe",  u"jpeg", u"jpg",  u"m4a",  u"m4v",  u"mid",
      u"midi", u"mkv",  u"mov",  u"mp3",  u"mp4",  u"mpeg", u"mpg",  u"odg",  u"odp",  u"ods",  u"odt",
      u"oga",  u"ogg",  u"opus", u"pdf",  u"png",  u"potx", u"ppsx", u"pptx", u"rtf",  u"text", u"tif",
      u"tiff", u"txt",  u"wav",  u"webm", u"webp", u"wmf",  u"xlsx", u"xltx", u"zip",
  };
  return std::binary_search(std::begin(Inert), std::end(Inert), SanitizeTypeName(AExtension));
}

std::u16string EditingFileExtension(std::u16string_view ATypeName) {
  std::u16string extension = SanitizeTypeName(ATypeName);
  return IsInertExtension(extension) ? extension : std::u16string(u"bin");
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
  TPictureSize size;
  TImageSize read;
  if (ReadSize(AData, AType, size))
    read = {Side(size.Width), Side(size.Height)};
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
