// What a data element knows of its bytes without the platform: the data-type table, the pixel size read from a
// file's headers, the preview's scale, the lines of the hexadecimal view and safe type names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Index of a type name in the table; 0 for any other name.
using TDataType = int;
constexpr TDataType dtOther = 0;
constexpr TDataType dtBmp = 1;
constexpr TDataType dtIco = 2;
constexpr TDataType dtCur = 3;
constexpr TDataType dtEmf = 4;
constexpr TDataType dtWmf = 5;
constexpr TDataType dtJpeg = 6;  // 6..9: jpeg, jpg, jpe, jfif
constexpr TDataType dtJfif = 9;
constexpr TDataType dtGif = 10;
constexpr TDataType dtPng = 11;
constexpr TDataType dtTif = 12;  // 12..13: tif, tiff
constexpr TDataType dtTiff = 13;
constexpr TDataType DataTypeCount = 14;

// A set of data types: bit n = type n.
using TDataTypes = uint16_t;
constexpr TDataTypes AllDataTypes = 0x3FFF;
constexpr bool DataTypeIn(TDataType AType, TDataTypes ATypes) {
  return AType >= 0 && AType < DataTypeCount && (ATypes >> AType & 1) != 0;
}

// The external-editor categories, in the order of the settings node's children.
enum class TDataCategory { dcBitmaps, dcIcons, dcCursors, dcMetafiles, dcOther };
constexpr int DataCategoryCount = 5;

// 1..13 for the table's extensions without regard to case, else 0.
TDataType DataTypeOfExtension(std::u16string_view AExtension);
// The type of the file name's extension (after the last dot of the name part); 0 without one.
TDataType DataTypeOfFileName(std::u16string_view AFileName);
// The table's extension of the type ("jpeg" for 6, "jpg" for 7); empty for 0 and outside the table.
std::u16string_view DataTypeExtension(TDataType AType);
// "Bitmap", "Icon", "Cursor", "Metafile", "JPEG", "GIF", "PNG", "TIFF"; empty for 0 and outside the table.
std::u16string_view DataTypeFormatName(TDataType AType);
TDataCategory DataTypeCategory(TDataType AType);
// Types of one format name are one format (jpeg and jpg, emf and wmf, tif and tiff).
bool SameDataFormat(TDataType A, TDataType B);

// A type name is used as a file extension and handed to the shell: letters and digits of ASCII only, in lower
// case, at most MaxTypeNameLength of them.
constexpr size_t MaxTypeNameLength = 10;
std::u16string SanitizeTypeName(std::u16string_view AName);

// An extension, without regard to case, that the shell opens for viewing or editing without running anything: a
// short list of known types (pictures, plain and rich text, pdf, the office types that cannot hold macros, the
// open-document types, sound, video, zip). False for every other extension, known or not.
bool IsInertExtension(std::u16string_view AExtension);
// The extension an external-editing file of data typed ATypeName is written under, so that a double click on it
// in the folder runs nothing: the type name as SanitizeTypeName leaves it when that is inert, else "bin".
std::u16string EditingFileExtension(std::u16string_view ATypeName);

// The name part of an external-editing temporary file: "File<n>" with n from 1 (no leading zero), then "." and a
// type name as SanitizeTypeName leaves it, or nothing. Folders are not looked at.
bool IsEditingFileNamePattern(std::u16string_view AFileName);

struct TImageSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TImageSize&) const = default;
};

// The pixel size from the headers of a BMP, ICO, CUR, JPEG, GIF or PNG file starting at AData's first byte.
// True when both sides were read and are above 0; otherwise each side not read becomes the default (AIconSize's
// for icons and cursors, 100 for the rest). Metafiles, TIFF and type 0 are not read here. Cut-short or damaged
// headers read as nothing.
bool GetImageSize(std::span<const uint8_t> AData, TDataType AType, TImageSize& ASize,
                  TImageSize AIconSize = {32, 32});

// The preview is scaled down until it is at most PreviewMaxWidth pixels wide.
constexpr int32_t PreviewMaxWidth = 720;
// The largest of 100, 75, 50, 25, 10, 5, 4, 3, 2 percent that fits the width into PreviewMaxWidth, else 1.
int PreviewScale(int32_t AWidth);
// The preview's size at that scale; each side at least 1 pixel.
TImageSize PreviewSize(TImageSize AImage, int AScale);

// The hexadecimal view: 16 bytes a line, line n holding bytes 16n..16n+15 as hexadecimal pairs at columns 3i,
// 3i+1 (a space after each) and the bytes as characters from column HexTextColumn (codes below 32 as U+00B7).
constexpr size_t HexBytesPerLine = 16;
constexpr size_t HexTextColumn = 48;
constexpr size_t HexLineChars = 64;
size_t HexLineCount(size_t ASize);
// Line ALine of the view of AData; a short last line is padded to HexTextColumn. Empty past the end.
std::u16string FormatHexLine(std::span<const uint8_t> AData, size_t ALine);
