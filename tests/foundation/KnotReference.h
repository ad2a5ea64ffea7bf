// A plain reader and writer of the knot text that take each step as the format describes it and nothing faster:
// the reference the knot unit's own reader and writer are held to, tree for tree and byte for byte. For tests and
// fuzz targets only; the program never links it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuKnot.h"

struct TPlainParam {
  enum TKind : uint8_t { None, String, Stream };
  std::u16string Name;
  TKind Kind = None;
  std::u16string Value;  // a string
  std::string Bytes;     // a stream
  bool operator==(const TPlainParam&) const = default;
};

struct TPlainKnot {
  std::u16string Name;
  // The effective options, which alone decide how the knot is written.
  uint16_t Options = 0;
  std::vector<TPlainParam> Params;
  std::vector<TPlainKnot> Children;
  bool operator==(const TPlainKnot&) const = default;
};

// The knot's tree as it stands, read through its public operations.
TPlainKnot PlainKnotOf(const TKnot& AKnot);

// Reading. Each returns false where the knot reader sets the parse-error bit, keeping what it read in ARoot.
bool ReadPlainKnot(std::u16string_view AText, TPlainKnot& ARoot);
// Bytes as a file holds them: a byte-order mark chooses the encoding; without one, valid UTF-8 reads as UTF-8 and
// anything else in the ANSI code page.
bool LoadPlainKnot(std::string_view ABytes, TPlainKnot& ARoot);
// Each bad sequence becomes U+FFFD for its longest start that could still have gone on.
std::u16string PlainUtf8ToUtf16(std::string_view ABytes);

// Writing: the text, every line ended by CR LF. For the ANSI code page, characters of a value the code page does
// not hold are written as character references.
std::u16string WritePlainKnot(const TPlainKnot& ARoot, bool AForAnsi = false);
// The bytes SaveToStream writes, with the encoding's byte-order mark; false when a name lies outside the ANSI code
// page.
bool SavePlainKnot(const TPlainKnot& ARoot, TKnotEncoding AEncoding, std::string& ABytes);
