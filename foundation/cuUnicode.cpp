#include "foundation/cuUnicode.h"

#include <cstdint>
#include <string>

namespace {

#include "foundation/cuUnicodeFold.inc"
#include "foundation/cuUnicodeLetters.inc"

bool IsHighSurrogate(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsLowSurrogate(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

// The code point at APos and how many units it takes; a lone surrogate is a code point of its own.
char32_t CodePointAt(std::u16string_view AText, size_t APos, size_t& ALength) {
  const char16_t c = AText[APos];
  if (IsHighSurrogate(c) && APos + 1 < AText.size() && IsLowSurrogate(AText[APos + 1])) {
    ALength = 2;
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(AText[APos + 1]) - 0xDC00);
  }
  ALength = 1;
  return c;
}

// Folded AText; the same length, since folding keeps the length of every code point.
std::u16string FoldText(std::u16string_view AText) {
  std::u16string folded(AText);
  size_t length = 0;
  for (size_t i = 0; i < AText.size(); i += length) {
    const char32_t c = FoldCase(CodePointAt(AText, i, length));
    if (length == 2) {
      folded[i] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      folded[i + 1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      folded[i] = static_cast<char16_t>(c);
    }
  }
  return folded;
}

}  // namespace

const char* UnicodeDataVersion() { return UnicodeVersion; }

char32_t FoldCase(char32_t C) {
  if (C < 0x80) return C >= U'A' && C <= U'Z' ? C + 32 : C;
  if (C >= FoldLimit) return C;
  return static_cast<char32_t>(static_cast<int32_t>(C) + FoldDeltas[FoldIndex[C / FoldBlockSize]][C % FoldBlockSize]);
}

bool IsLetterOrDigit(char32_t C) {
  if (C < 0x80) return (C >= U'0' && C <= U'9') || ((C | 0x20) >= U'a' && (C | 0x20) <= U'z');
  if (C >= LetterLimit) return false;
  return (LetterBits[LetterIndex[C / LetterBlockSize]][C % LetterBlockSize / 32] >> (C % 32)) & 1;
}

bool SameTextFolded(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  size_t la = 0, lb = 0;
  for (size_t i = 0; i < A.size(); i += la) {
    if (A[i] == B[i] && !IsHighSurrogate(A[i])) {
      la = 1;
      continue;
    }
    const char32_t a = CodePointAt(A, i, la), b = CodePointAt(B, i, lb);
    if (la != lb || FoldCase(a) != FoldCase(b)) return false;
  }
  return true;
}

size_t FindFolded(std::u16string_view AText, std::u16string_view APattern, size_t AFrom) {
  if (AFrom > AText.size()) return std::u16string_view::npos;
  if (APattern.empty()) return AFrom;
  if (APattern.size() > AText.size() - AFrom) return std::u16string_view::npos;
  // The pattern is folded once; the text is folded as it is compared, so a long text costs no copy.
  const std::u16string pattern = FoldText(APattern);
  size_t length = 0;
  for (size_t start = AFrom; start + pattern.size() <= AText.size(); ++start) {
    if (IsLowSurrogate(AText[start]) && start > 0 && IsHighSurrogate(AText[start - 1])) continue;
    size_t i = 0;
    for (; i < pattern.size(); i += length) {
      const char32_t c = FoldCase(CodePointAt(AText, start + i, length));
      size_t patternLength = 0;
      if (c != CodePointAt(pattern, i, patternLength) || patternLength != length) break;
    }
    if (i == pattern.size()) return start;
  }
  return std::u16string_view::npos;
}
