// Free routines shared by every part of the program: file names, unique files, name=value splitting, stream
// packing, the date-time number, the screen cursor numbers. The Windows routines (folders, shell and browser, the
// message box, cursors and languages) are in cuUtilsWin.
#pragma once

#include "foundation/cuStreams.h"
#include "foundation/cuSystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// ---------------------------------------------------------------------------------------------------------------
// File names. Both "\" and "/" count as path delimiters.

std::u16string ExtractFileExtNoDot(std::u16string_view AName);
// The file name without folder and extension.
std::u16string ExtractFileTitle(std::u16string_view AName);
bool HasTrailingPathDelimiter(std::u16string_view APath);

// The temporary folder with a trailing path delimiter.
std::u16string GetTempFolder();

// For i = 1, 2, ...: AFolder (the temporary folder when empty) + AMask formatted with i (+ "." + AExt), created
// only when no file of that name exists (never opening someone else's file); returns the name and the new file's
// stream in AStream, which the caller owns.
std::u16string CreateUniqueFile(std::u16string_view AMask, std::u16string_view AExt,
                                std::unique_ptr<TFileStream>& AStream, std::u16string_view AFolder = {});

// Splits at the first "="; the value loses one pair of enclosing double quotes. False when there is no "="
// (AName is then the whole text).
bool SplitNameValue(std::u16string_view AText, std::u16string& AName, std::u16string& AValue);

// The program of a shell command: the text between the first two double quotes, else the first token up to a
// blank.
std::u16string ProgramFromCommand(std::u16string_view ACommand);
// An http or https URL without double quotes or control characters: safe to hand to a browser as one argument.
bool IsBrowsableUrl(std::u16string_view AURL);
// A message-box text: "." is appended unless the text is empty or ends in ".", "?" or a character up to "!".
std::u16string MessageBoxText(std::u16string_view AText);

// Frees every object of the list from the last to the first, then empties the list.
void FreeAndClearStrings(TStringList& AStrings);
template <class T>
void FreeAndClearList(std::vector<T*>& AList) {
  while (!AList.empty()) {
    delete AList.back();
    AList.pop_back();
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Stream packing: zlib format (deflate at the default level, 15-bit window).

// Packed data that cannot be unpacked: damaged, cut short, or unpacking to more than the allowed size. Callers
// that read user data turn it into a message.
class EDecompressionError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

constexpr int64_t DefaultDecompressLimit = int64_t(256) << 20;

// Packs the whole of ASource (from its start) into ADest; nothing when ASource is empty. ADest is rewound.
void CompressStream(TStream& ASource, TStream& ADest);
// Unpacks ASource (from its start) into ADest; nothing when ASource is empty. ADest is rewound. Raises
// EDecompressionError when the data is damaged or unpacks to more than ALimit bytes.
void DecompressStream(TStream& ASource, TStream& ADest, int64_t ALimit = DefaultDecompressLimit);

// Screen cursor numbers: 0 the default cursor, negative numbers the standard cursors, positive numbers the
// program's own, registered at start-up (cuUtilsWin's LoadResourceCursor).
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;  // no cursor shown
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crNo = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
