#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/cuCodeWriters.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuKnotStore.h"

using namespace KnotParts;

// ---------------------------------------------------------------------------------------------------------------
// Reading the text

namespace {

enum : uint8_t {
  ccWhite = 1,     // TAB LF CR space
  ccNameEnd = 2,   // ends a name: white, " / < = >
  ccValueEnd = 4,  // ends an unquoted value: white, / >
  ccQuote = 8,
  ccAmp = 16,
};

struct TCharClasses {
  uint8_t Of[256] = {};
  constexpr TCharClasses() {
    for (char c : {'\t', '\n', '\r', ' '}) Of[static_cast<int>(c)] = ccWhite | ccNameEnd | ccValueEnd;
    for (char c : {'"', '/', '<', '=', '>'}) Of[static_cast<int>(c)] |= ccNameEnd;
    Of[static_cast<int>('/')] |= ccValueEnd;
    Of[static_cast<int>('>')] |= ccValueEnd;
    Of[static_cast<int>('"')] |= ccQuote;
    Of[static_cast<int>('&')] |= ccAmp;
  }
};
constexpr TCharClasses kClasses;

template <class TChar>
inline bool Is(TChar C, uint8_t AClass) {
  if constexpr (sizeof(TChar) == 1)
    return kClasses.Of[C] & AClass;
  else
    return C < 128 && (kClasses.Of[C] & AClass);
}

// The ASize bytes at P (at most eight) as one word, the bytes beyond them zero; eight bytes from P may be read.
inline uint64_t WordOf(const uint8_t* P, size_t ASize) {
  uint64_t word;
  std::memcpy(&word, P, sizeof(word));
  return ASize >= 8 ? word : word & ((uint64_t(1) << (8 * ASize)) - 1);
}

// Whether ASize bytes at A and at B are the same; sixteen bytes from either may be read.
inline bool SameBytes(const uint8_t* A, const uint8_t* B, size_t ASize) {
  if (ASize > 16) return std::memcmp(A, B, ASize) == 0;
  if (ASize <= 8) return WordOf(A, ASize) == WordOf(B, ASize);
  return WordOf(A, 8) == WordOf(B, 8) && WordOf(A + ASize - 8, 8) == WordOf(B + ASize - 8, 8);
}

// Inside quotes only a double quote or an ampersand stops a value: skips whole blocks up to the one that holds
// either.
const char16_t* SkipQuotedText(const char16_t* P, const char16_t* AEnd) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi16(u'"');
  const __m128i amp = _mm_set1_epi16(u'&');
  while (AEnd - P >= 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, amp)))) break;
    P += 8;
  }
#endif
  return P;
}

const uint8_t* SkipQuotedText(const uint8_t* P, const uint8_t* AEnd) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i amp = _mm_set1_epi8('&');
  while (AEnd - P >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp)))) break;
    P += 16;
  }
#endif
  return P;
}

// The first byte of a UTF-8 sequence the decoder reads as U+FFFD without it being written so; AEnd when all are
// good. ASend is set past that sequence.
const uint8_t* FindBadUtf8(const uint8_t* P, const uint8_t* AEnd, const uint8_t*& ASequenceEnd) {
  while (P < AEnd) {
#if defined(__SSE2__)
    while (AEnd - P >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
      if (_mm_movemask_epi8(v)) break;
      P += 16;
    }
#endif
    while (P < AEnd && *P < 0x80) ++P;
    if (P == AEnd) break;
    const uint8_t* start = P;
    char16_t units[2];
    DecodeUtf8Char(P, AEnd, units);
    if (units[0] == 0xFFFD && !(P - start == 3 && start[0] == 0xEF && start[1] == 0xBF && start[2] == 0xBD)) {
      ASequenceEnd = P;
      return start;
    }
  }
  ASequenceEnd = AEnd;
  return AEnd;
}

// True when every sequence is well-formed UTF-8: FindBadUtf8 finds nothing.
bool IsValidUtf8(const uint8_t* P, const uint8_t* AEnd) {
  while (P < AEnd) {
#if defined(__SSE2__)
    while (AEnd - P >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
      const int high = _mm_movemask_epi8(v);
      if (high) {
        P += __builtin_ctz(static_cast<unsigned>(high));
        break;
      }
      P += 16;
    }
#endif
    // Sequences one after another, as in a word of a non-Latin script, until ASCII comes again.
    while (P < AEnd) {
      const uint8_t b = *P;
      if (b < 0x80) {
        ++P;
        break;
      }
      // The allowed range of the first continuation byte keeps out overlong forms, surrogates and values above
      // U+10FFFF.
      uint8_t lo = 0x80, hi = 0xBF;
      int need;
      if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
      } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
      } else {
        return false;
      }
      if (AEnd - P <= need || P[1] < lo || P[1] > hi) return false;
      for (int k = 2; k <= need; ++k)
        if ((P[k] & 0xC0) != 0x80) return false;
      P += need + 1;
    }
  }
  return true;
}

// In a double-byte code page: whether no lead byte takes a byte that means something in a knot text (all of which lie
// below 0x40, where no byte that follows a lead byte of a character does). Then markup found byte by byte stands
// between whole characters.
bool MarkupBetweenCharacters(const TAnsiBytes& AAnsi, const uint8_t* P, const uint8_t* AEnd) {
  while (P < AEnd) {
    if (!AAnsi.Lead[*P++]) continue;
    if (P == AEnd) break;
    if (*P++ < 0x40) return false;
  }
  return true;
}

void AppendCodePoint(std::string& AOut, uint32_t C) {
  if (C < 0x80) {
    AOut.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    AOut.push_back(static_cast<char>(0xC0 | (C >> 6)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    AOut.push_back(static_cast<char>(0xE0 | (C >> 12)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    AOut.push_back(static_cast<char>(0xF0 | (C >> 18)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// The code unit named by an entity's text (between "&" and ";"), or -1; the same entities as the code writer's.
int DecodeEntity(std::string_view AName) {
  if (AName == "quot") return '"';
  if (AName == "lt") return '<';
  if (AName == "gt") return '>';
  if (AName == "amp") return '&';
  if (AName.size() < 2 || AName[0] != '#') return -1;
  std::string_view digits = AName.substr(1);
  unsigned base = 10;
  if (digits.size() > 1 && (digits[0] == 'x' || digits[0] == 'X' || digits[0] == '$')) {
    digits.remove_prefix(1);
    base = 16;
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  for (const char c : digits) {
    const int d = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return -1;
    value = value * base + static_cast<uint32_t>(d);
    if (value > 0xFFFF) return -1;
  }
  return static_cast<int>(value);
}

// TCustomXmlCodeWriter::UnescapeValue on valid UTF-8, giving UTF-8: every character it looks at is ASCII. Units
// from entities pair up as surrogates where they follow each other; a lone one becomes U+FFFD.
void UnescapeUtf8(std::string_view AValue, int AQuoteCount, bool AAmpersandSeen, std::string& AResult,
                  std::string& AScratch) {
  if (AQuoteCount > 1) {
    int pairs = AQuoteCount / 2;
    AScratch.clear();
    size_t i = AValue.size();
    while (i > 0) {
      if (pairs > 0 && i >= 2 && AValue[i - 1] == '"' && AValue[i - 2] == '"') {
        AScratch.push_back('"');
        i -= 2;
        --pairs;
      } else {
        AScratch.push_back(AValue[--i]);
      }
    }
    std::reverse(AScratch.begin(), AScratch.end());
    AValue = AScratch;
  }
  if (!AAmpersandSeen) {
    AResult.assign(AValue);
    return;
  }
  AResult.clear();
  const size_t n = AValue.size();
  size_t semi = 0;  // next ";" at or after the search start, kept across ampersands
  bool noSemi = false;
  uint32_t high = 0;  // a high surrogate from an entity, waiting for a low one
  auto flushHigh = [&] {
    if (high) AppendCodePoint(AResult, 0xFFFD);
    high = 0;
  };
  size_t i = 0;
  while (i < n) {
    const size_t amp = AValue.find('&', i);
    if (amp == std::string_view::npos) {
      if (i < n) flushHigh();
      AResult.append(AValue.substr(i));
      break;
    }
    if (amp > i) flushHigh();
    AResult.append(AValue.substr(i, amp - i));
    if (!noSemi && semi <= amp) {
      semi = AValue.find(';', amp + 1);
      if (semi == std::string_view::npos) noSemi = true;
    }
    int decoded = -1;
    if (!noSemi && semi > amp + 1) {
      // No entity holds a "&", so a candidate running into one is unknown; this keeps the work linear.
      const std::string_view name = AValue.substr(amp + 1, semi - amp - 1);
      if (name.find('&') == std::string_view::npos) decoded = DecodeEntity(name);
    }
    if (decoded < 0) {
      flushHigh();
      AResult.push_back('&');
      i = amp + 1;
      continue;
    }
    const auto unit = static_cast<uint32_t>(decoded);
    if (unit >= 0xDC00 && unit <= 0xDFFF && high) {
      AppendCodePoint(AResult, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      high = 0;
    } else {
      flushHigh();
      if (unit >= 0xD800 && unit <= 0xDBFF)
        high = unit;
      else
        AppendCodePoint(AResult, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    i = semi + 1;
  }
  flushHigh();
}

// C as UTF-8 at AOut, which has room for four bytes; returns the end.
char* PutCodePoint(char* AOut, uint32_t C) {
  if (C < 0x80) {
    *AOut++ = static_cast<char>(C);
  } else if (C < 0x800) {
    *AOut++ = static_cast<char>(0xC0 | (C >> 6));
    *AOut++ = static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    *AOut++ = static_cast<char>(0xE0 | (C >> 12));
    *AOut++ = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    *AOut++ = static_cast<char>(0x80 | (C & 0x3F));
  } else {
    *AOut++ = static_cast<char>(0xF0 | (C >> 18));
    *AOut++ = static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    *AOut++ = static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    *AOut++ = static_cast<char>(0x80 | (C & 0x3F));
  }
  return AOut;
}

// The character of the entity at P ("&", its name, ";") when it is one a writer makes: a named one or up to five
// decimal digits. ASemicolon is then set to its ";". Else -1, and the entity is left to DecodeEntity.
int WrittenEntityAt(const uint8_t* P, const uint8_t* AEnd, const uint8_t*& ASemicolon) {
  const size_t left = static_cast<size_t>(AEnd - P);
  if (left < 4) return -1;
  int c = -1;
  size_t size = 0;
  if (P[1] == '#') {
    uint32_t value = 0;
    size_t digits = 0;
    while (digits < 5 && 2 + digits < left && P[2 + digits] >= '0' && P[2 + digits] <= '9')
      value = value * 10 + (P[2 + digits++] - '0');
    if (!digits || value > 0xFFFF) return -1;
    c = static_cast<int>(value);
    size = 2 + digits;
  } else if (P[2] == 't' && (P[1] == 'l' || P[1] == 'g')) {
    c = P[1] == 'l' ? '<' : '>';
    size = 3;
  } else if (left >= 5 && P[1] == 'a' && P[2] == 'm' && P[3] == 'p') {
    c = '&';
    size = 4;
  } else if (left >= 6 && P[1] == 'q' && P[2] == 'u' && P[3] == 'o' && P[4] == 't') {
    c = '"';
    size = 5;
  }
  if (c < 0 || size >= left || P[size] != ';') return -1;
  ASemicolon = P + size;
  return c;
}

// A value without inner quotes from UTF-8 to clean UTF-8 in one pass, as UnescapeUtf8 after replacing bad
// sequences would give it. Bytes up to AReadable (at least AEnd) may be read, not only the value's. AOut has room
// for three bytes a source byte and sixteen more. Returns the end of the output; ABad counts the bad sequences,
// AFirstBad is the first.
char* CopyValueUtf8(const uint8_t* P, const uint8_t* AEnd, const uint8_t* AReadable, char* AOut, size_t& ABad,
                    const uint8_t*& AFirstBad) {
  uint32_t high = 0;  // a high surrogate from an entity, waiting for a low one
  while (P < AEnd) {
    if (high && *P != '&') {
      AOut = PutCodePoint(AOut, 0xFFFD);
      high = 0;
    }
#if defined(__SSE2__)
    // Sixteen bytes at a time up to an ampersand or a longer sequence other than a good two-byte one; the block that
    // stops it still gives its start. A block may reach past the value's end into readable text, whose bytes then
    // count as a stop.
    const __m128i amp = _mm_set1_epi8('&');
    while (AReadable - P >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), v);
      const unsigned inside = AEnd - P < 16 ? (1u << (AEnd - P)) - 1 : 0xFFFF;
      unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, amp)));
      if (const unsigned longer = static_cast<unsigned>(_mm_movemask_epi8(v))) {
        // A lead byte C2..DF followed by a continuation byte 80..BF inside the value is a good character whole.
        const __m128i fromC2 = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(0xC2)));
        const unsigned leads =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(fromC2, _mm_set1_epi8(0x1D)), fromC2)));
        const unsigned follows =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                _mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))), _mm_set1_epi8(static_cast<char>(0x80))))) &
            inside;
        const unsigned pairs = leads & (follows >> 1);
        stop |= longer & ~(pairs | (pairs << 1));
      }
      stop |= ~inside & 0xFFFF;
      if (stop) {
        const int plain = __builtin_ctz(stop);
        P += plain;
        AOut += plain;
        break;
      }
      P += 16;
      AOut += 16;
    }
    if (P == AEnd) break;
#endif
    uint8_t b = *P;
    if (b < 0x80 && b != '&') {
      *AOut++ = static_cast<char>(b);
      ++P;
      continue;
    }
    // Two- and three-byte sequences of the common ranges need no decoding to be known good; a word of a non-Latin
    // script is a run of them.
    bool copied = false;
    for (;;) {
      if (b >= 0xC2 && b <= 0xDF && AEnd - P >= 2 && (P[1] & 0xC0) == 0x80) {
        AOut[0] = static_cast<char>(b);
        AOut[1] = static_cast<char>(P[1]);
        AOut += 2;
        P += 2;
      } else if (((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) && AEnd - P >= 3 && (P[1] & 0xC0) == 0x80 &&
                 (P[2] & 0xC0) == 0x80) {
        AOut[0] = static_cast<char>(b);
        AOut[1] = static_cast<char>(P[1]);
        AOut[2] = static_cast<char>(P[2]);
        AOut += 3;
        P += 3;
      } else {
        break;
      }
      copied = true;
      if (P == AEnd) break;
      b = *P;
    }
    if (copied) continue;
    if (b >= 0x80) {
      const uint8_t* start = P;
      char16_t units[2];
      DecodeUtf8Char(P, AEnd, units);
      if (units[0] == 0xFFFD && !(P - start == 3 && start[0] == 0xEF && start[1] == 0xBF && start[2] == 0xBD)) {
        if (!ABad++) AFirstBad = start;
        std::memcpy(AOut, "\xEF\xBF\xBD", 3);
        AOut += 3;
      } else {
        std::memcpy(AOut, start, static_cast<size_t>(P - start));
        AOut += P - start;
      }
      continue;
    }
    // An entity runs to the first ";" unless a "&" comes first.
    const uint8_t* q;
    int decoded = WrittenEntityAt(P, AEnd, q);
    if (decoded < 0) {
      q = P + 1;
      while (q < AEnd && *q != ';' && *q != '&') ++q;
      if (q < AEnd && *q == ';' && q > P + 1)
        decoded = DecodeEntity(std::string_view(reinterpret_cast<const char*>(P + 1), static_cast<size_t>(q - P - 1)));
    }
    if (decoded < 0) {
      if (high) AOut = PutCodePoint(AOut, 0xFFFD);
      high = 0;
      *AOut++ = '&';
      ++P;
      continue;
    }
    P = q + 1;
    const auto unit = static_cast<uint32_t>(decoded);
    if (unit >= 0xDC00 && unit <= 0xDFFF && high) {
      AOut = PutCodePoint(AOut, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      high = 0;
      continue;
    }
    if (high) AOut = PutCodePoint(AOut, 0xFFFD);
    high = 0;
    if (unit >= 0xD800 && unit <= 0xDBFF)
      high = unit;
    else
      AOut = PutCodePoint(AOut, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
  }
  if (high) AOut = PutCodePoint(AOut, 0xFFFD);
  return AOut;
}

}  // namespace

// Reads UTF-16 text, or UTF-8 bytes directly: every character the format gives a meaning is ASCII, and no byte
// of a longer UTF-8 sequence is, so names and values are decoded only where they are kept. Values are kept as
// UTF-8 in the store of the tree, each written there once.
template <class TChar>
class TKnotReader {
 public:
  // AAnsi: the bytes are in the ANSI code page it describes, not UTF-8. AOnTrial: UTF-8 bytes that may turn out not
  // to be UTF-8; reading stops at the first bad sequence.
  TKnotReader(TKnot& ARoot, TKnotStore& AStore, const TChar* AText, size_t ALength, const TAnsiBytes* AAnsi,
              bool AOnTrial)
      : FRoot(ARoot),
        FStore(AStore),
        Begin(AText),
        P(AText),
        End(AText + ALength),
        FAnsi(AAnsi),
        FOnTrial(AOnTrial),
        FSlots(kSlots) {}

  void Run() {
    FNoName = FStore.Intern(u"");
    if (P == End) return Fail(TKnotParseError::peEmptyText);
    SkipWhite();
    if (P == End || *P != '<') return Fail(TKnotParseError::peNoElement);
    const TChar* q = P + 1;
    while (q < End && Is(*q, ccWhite)) ++q;
    if (q < End && *q == '?') {
      q = Find(q, '?');
      if (q < End) q = Find(q, '>');
      if (q < End) q = Find(q, '<');
      if (q == End) return Fail(TKnotParseError::peNoElement);
      PassOver(P, q);
      P = q;
    }
    ReadTree();
    SkipWhite();
    if (P != End) Fail(TKnotParseError::peTrailingText);
  }

  bool Failed() const { return FStore.Reason != TKnotParseError::peNone; }
  // On trial: whether bytes were passed over that may hold a bad sequence.
  bool PassedOverUnchecked() const { return FUnchecked; }

 private:
  struct TOpen {
    TKnot* Knot;            // nullptr for an element too deep to keep
    const TKnotName* Name;  // as read; the empty name until then
    const TChar* Raw;       // the name in the text
    size_t RawSize;
  };
  // Names met so far by their source text; most files use a few dozen.
  struct TSlot {
    const TChar* Text = nullptr;
    size_t Size = 0;
    const TKnotName* Name = nullptr;
    size_t BadCount = 0;  // bad UTF-8 sequences in the name
  };
  static constexpr size_t kSlots = 1024;

  void Fail(TKnotParseError AReason) {
    if (FStore.Reason != TKnotParseError::peNone) return;
    FStore.Reason = AReason;
    FStore.ErrorOffset = static_cast<size_t>(P - Begin);
  }
  void NoteBadUtf8(const TChar* AAt, size_t ACount) {
    if (!ACount) return;
    if (!FStore.InvalidUtf8) FStore.InvalidUtf8Offset = static_cast<size_t>(AAt - Begin);
    FStore.InvalidUtf8 += ACount;
    // On trial the bytes are not UTF-8 after all: the rest is left, as if the text ended here.
    if (FOnTrial) P = End;
  }
  // Bytes stepped over without decoding them. On trial, any but ASCII leave the text to be checked whole.
  void PassOver(const TChar* AFrom, const TChar* ATo) {
    if constexpr (sizeof(TChar) == 1)
      if (FOnTrial && !FUnchecked) FUnchecked = !std::all_of(AFrom, ATo, [](TChar c) { return c < 0x80; });
  }
  // Steps over one whole character: a surrogate pair, every byte of a UTF-8 sequence, or a lead byte and the byte
  // it takes.
  void StepOver() {
    if constexpr (std::is_same_v<TChar, char16_t>) {
      const bool pair = End - P >= 2 && P[0] >= 0xD800 && P[0] <= 0xDBFF && P[1] >= 0xDC00 && P[1] <= 0xDFFF;
      P += pair ? 2 : 1;
    } else if (FAnsi) {
      P += FAnsi->Lead[*P] && End - P >= 2 ? 2 : 1;
    } else {
      char16_t units[2];
      DecodeUtf8Char(P, End, units);
    }
  }
  void SkipWhite() {
    if (P == End || !Is(*P, ccWhite)) return;
    ++P;
#if defined(__SSE2__)
    // Between elements, a line break and a tab a level.
    if constexpr (sizeof(TChar) == 1) {
      while (End - P >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        const __m128i white =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(white)) & 0xFFFF;
        if (other) {
          P += __builtin_ctz(other);
          return;
        }
        P += 16;
      }
    }
#endif
    while (P < End && Is(*P, ccWhite)) ++P;
  }
  const TChar* Find(const TChar* AFrom, char AChar) const {
    while (AFrom < End && *AFrom != AChar) ++AFrom;
    return AFrom;
  }
  std::basic_string_view<TChar> ReadName() {
    const TChar* s = P;
#if defined(__SSE2__)
    if constexpr (sizeof(TChar) == 1) {
      // Every byte that ends a name lies below "?", where names have few of theirs.
      while (End - P >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        for (auto low =
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8('>')), v)));
             low; low &= low - 1) {
          const int i = __builtin_ctz(low);
          if (Is(P[i], ccNameEnd)) {
            P += i;
            return {s, static_cast<size_t>(P - s)};
          }
        }
        P += 16;
      }
    }
#endif
    while (P < End && !Is(*P, ccNameEnd)) ++P;
    return {s, static_cast<size_t>(P - s)};
  }

  // UTF-8 with each bad sequence as U+FFFD; the count of bad sequences.
  size_t Clean(std::basic_string_view<TChar> ASource, std::string& AOut) {
    AOut.clear();
    if constexpr (std::is_same_v<TChar, char16_t>) {
      AppendUtf8(AOut, ASource);
      return 0;
    } else {
      size_t bad = 0;
      const uint8_t* p = ASource.data();
      const uint8_t* const end = p + ASource.size();
      while (p < end) {
        const uint8_t* after;
        const uint8_t* at = FindBadUtf8(p, end, after);
        AOut.append(reinterpret_cast<const char*>(p), static_cast<size_t>(at - p));
        if (at == end) break;
        AOut.append("\xEF\xBF\xBD");
        ++bad;
        p = after;
      }
      return bad;
    }
  }

  // Bytes of the ANSI code page as UTF-16, and as UTF-8 into AOut. The pieces decoded start and end between whole
  // characters, so each reads as it would in the whole text.
  std::u16string AnsiText(std::basic_string_view<TChar> ASource) const {
    if (FAnsi->DoubleByte) return AnsiToString(ASource.data(), ASource.size());
    std::u16string text(ASource.size(), u'\0');
    for (size_t i = 0; i < ASource.size(); ++i) text[i] = FAnsi->Units[ASource[i]];
    return text;
  }
  std::string_view AnsiToUtf8(std::basic_string_view<TChar> ASource, std::string& AOut) const {
    AOut.clear();
    if (FAnsi->DoubleByte) {
      AppendUtf8(AOut, AnsiText(ASource));
    } else {
      for (const TChar b : ASource) {
        if (b < 0x80)
          AOut.push_back(static_cast<char>(b));
        else
          AppendCodePoint(AOut, FAnsi->Units[b]);
      }
    }
    return AOut;
  }

  const TKnotName* InternName(std::basic_string_view<TChar> ARaw) {
    // Bytes are taken a word at a time where the text goes on far enough, which a name followed by its element
    // nearly always does; a slot's text lies before the name, so it may be read as far.
    const bool wordwise = sizeof(TChar) == 1 && ARaw.size() <= 16 && End - ARaw.data() >= 16;
    size_t hash = ARaw.size();
    if constexpr (sizeof(TChar) == 1) {
      if (wordwise) {
        const auto* raw = reinterpret_cast<const uint8_t*>(ARaw.data());
        const uint64_t head = WordOf(raw, ARaw.size());
        const uint64_t tail = ARaw.size() > 8 ? WordOf(raw + ARaw.size() - 8, 8) : 0;
        hash = static_cast<size_t>(((head * 0x9E3779B97F4A7C15ull) ^ tail ^ ARaw.size()) * 0xFF51AFD7ED558CCDull);
      }
    }
    if (!wordwise)
      for (size_t i = 0; i < ARaw.size() && i < 16; ++i) hash = (hash ^ ARaw[i]) * 0x100000001B3ull;
    hash ^= hash >> 29;
    for (size_t i = hash % kSlots, tries = 0; tries < 8; i = (i + 1) % kSlots, ++tries) {
      TSlot& slot = FSlots[i];
      if (!slot.Name) {
        slot.Text = ARaw.data();
        slot.Size = ARaw.size();
        slot.Name = DecodeName(ARaw, slot.BadCount);
        return slot.Name;
      }
      bool same = slot.Size == ARaw.size();
      if constexpr (sizeof(TChar) == 1) {
        if (same && wordwise)
          same = SameBytes(ARaw.data(), slot.Text, ARaw.size());
        else if (same)
          same = std::equal(ARaw.begin(), ARaw.end(), slot.Text);
      } else {
        same = same && std::equal(ARaw.begin(), ARaw.end(), slot.Text);
      }
      if (same) {
        NoteBadUtf8(ARaw.data(), slot.BadCount);
        return slot.Name;
      }
    }
    size_t bad;
    return DecodeName(ARaw, bad);
  }
  // Names hold whole characters, as values do: a lone surrogate is kept as U+FFFD.
  const TKnotName* InternWhole(std::u16string_view AName) {
    for (size_t i = 0; i < AName.size(); ++i)
      if (IsLoneSurrogateAt(AName, i)) return FStore.Intern(Utf8ToUtf16(Utf16ToUtf8(AName)));
    return FStore.Intern(AName);
  }
  const TKnotName* DecodeName(std::basic_string_view<TChar> ARaw, size_t& ABad) {
    ABad = 0;
    if constexpr (std::is_same_v<TChar, char16_t>) {
      return InternWhole(ARaw);
    } else {
      if (FAnsi) return InternWhole(AnsiText(ARaw));
      ABad = Clean(ARaw, FBytes);
      NoteBadUtf8(ARaw.data(), ABad);
      return FStore.Intern(Utf8ToUtf16(FBytes));
    }
  }

  // True when the open element's name follows at AAt, then ">" at once; AAt then stands on the ">".
  bool MatchName(const TChar*& AAt, const TOpen& AOpen) {
    const std::u16string& AName = AOpen.Name->Text;
    const TChar* q = AAt;
    // The name written as in the start tag matches at once: the same text decodes the same.
    if constexpr (sizeof(TChar) == 1) {
      const size_t size = AOpen.RawSize;
      if (AOpen.Raw && End - q >= 17 && size <= 16 && SameBytes(q, AOpen.Raw, size) && q[size] == '>') {
        AAt = q + size;
        return true;
      }
    }
    if constexpr (std::is_same_v<TChar, char16_t>) {
      // A lone surrogate was kept as U+FFFD.
      for (size_t i = 0; i < AName.size(); ++i, ++q) {
        if (q == End) return false;
        char16_t c = *q;
        const bool pair = c >= 0xD800 && c <= 0xDBFF && End - q >= 2 && q[1] >= 0xDC00 && q[1] <= 0xDFFF;
        if (!pair && c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c != AName[i]) return false;
        if (pair) {
          if (++i == AName.size() || q[1] != AName[i]) return false;
          ++q;
        }
      }
    } else if (FAnsi) {
      // The name's characters take one or two bytes each; they end where a byte with a meaning in the markup
      // stands, which must be the ">".
      const TChar* r = q;
      while (r < End && static_cast<size_t>(r - q) <= 2 * AName.size() && !Is(*r, ccNameEnd))
        r += FAnsi->Lead[*r] && End - r >= 2 ? 2 : 1;
      if (r >= End || *r != '>' || AnsiText({q, static_cast<size_t>(r - q)}) != AName) return false;
      q = r;
    } else {
      size_t i = 0;
      while (i < AName.size()) {
        if (q == End) return false;
        char16_t units[2];
        const size_t n = DecodeUtf8Char(q, End, units);
        if (i + n > AName.size() || units[0] != AName[i] || (n == 2 && units[1] != AName[i + 1])) return false;
        i += n;
      }
      // A bad sequence here reads as U+FFFD without being counted.
      PassOver(AAt, q);
    }
    if (q == End || *q != '>') return false;
    AAt = q;
    return true;
  }

  // A fresh last child of AParent in the store, as AddKnot would make it but without the move hooks.
  TKnot* NewChild(TKnot* AParent) {
    auto* k = new (FStore.Allocate(sizeof(TKnot), alignof(TKnot))) TKnot(FNoName, TKnot::kInStore | TKnot::kCounted);
    ++FStore.Made;
    k->FInheritedOptions = AParent->FInheritedOptions;
    AParent->AppendFreshChild(k);
    return k;
  }

  TKnotParam* NewParam(TKnot* AKnot, const TKnotName* AName) {
    auto* p = new (FStore.Allocate(sizeof(TKnotParam), alignof(TKnotParam))) TKnotParam(AKnot, AName);
    p->FInStore = true;
    ++FStore.Made;
    if (AKnot->FLastParam)
      AKnot->FLastParam->FNext = p;
    else
      AKnot->FFirstParam = p;
    AKnot->FLastParam = p;
    return p;
  }

  void StoreValue(TKnotParam* AParam, std::string_view ABytes) {
    AParam->FKind = TKnotParamKind::pkString;
    AParam->FSize = static_cast<uint32_t>(ABytes.size());
    if (ABytes.size() <= sizeof(AParam->FInline)) {
      std::memcpy(AParam->FInline, ABytes.data(), ABytes.size());
      return;
    }
    AParam->FText = static_cast<char*>(FStore.Allocate(ABytes.size(), 1));
    std::memcpy(AParam->FText, ABytes.data(), ABytes.size());
    AParam->FStorage = TKnotParam::kInStore;
  }

  void StoreCleanValue(TKnotParam* AParam, std::string_view ABytes) {
    const auto* from = reinterpret_cast<const uint8_t*>(ABytes.data());
    StoreCleanValue(AParam, from, from + ABytes.size(), from + ABytes.size());
  }
  // A value without inner quotes, written into the store once; the bytes up to AReadable may be read.
  void StoreCleanValue(TKnotParam* AParam, const uint8_t* AFrom, const uint8_t* ATo, const uint8_t* AReadable) {
    const size_t room = 3 * static_cast<size_t>(ATo - AFrom) + 16;
    char local[64];
    char* out = room <= sizeof(local) ? local : static_cast<char*>(FStore.Allocate(room, 1));
    size_t bad = 0;
    const uint8_t* firstBad = nullptr;
    char* const outEnd = CopyValueUtf8(AFrom, ATo, AReadable, out, bad, firstBad);
    NoteBadUtf8(firstBad, bad);
    const std::string_view bytes(out, static_cast<size_t>(outEnd - out));
    AParam->FKind = TKnotParamKind::pkString;
    AParam->FSize = static_cast<uint32_t>(bytes.size());
    if (bytes.size() <= sizeof(AParam->FInline)) {
      std::memcpy(AParam->FInline, out, bytes.size());
      if (out != local) FStore.GiveBack(out);
      return;
    }
    if (out == local) return StoreValue(AParam, bytes);
    FStore.GiveBack(outEnd);
    AParam->FText = out;
    AParam->FStorage = TKnotParam::kInStore;
  }

  void ReadTree() {
    FStack.push_back({&FRoot, FNoName, nullptr, 0});
    bool inStartTag = true;
    while (!FStack.empty()) {
      if (inStartTag) {
        inStartTag = false;
        if (!ReadStartTag(FStack.back())) FStack.pop_back();
        continue;
      }
      if (ReadContent(FStack.back())) {
        // A child starts at P.
        if (FStack.size() >= static_cast<size_t>(MaxKnotDepth) || !FStack.back().Knot) {
          if (FStack.back().Knot) Fail(TKnotParseError::peTooDeep);
          FStack.push_back({nullptr, FNoName, nullptr, 0});
        } else {
          FStack.push_back({NewChild(FStack.back().Knot), FNoName, nullptr, 0});
        }
        inStartTag = true;
      } else {
        FStack.pop_back();
      }
    }
  }

  // From the element's "<"; returns true when content follows, false when the element has ended.
  bool ReadStartTag(TOpen& AOpen) {
    bool named = false;
    for (;;) {
      StepOver();
      SkipWhite();
      if (P == End || *P == '<') {
        Fail(TKnotParseError::peUnexpectedEnd);
        return true;
      }
      const std::basic_string_view<TChar> name = ReadName();
      if (!named) {
        if (name.empty()) {
          Fail(TKnotParseError::peUnnamedElement);
        } else {
          named = true;
          AOpen.Name = InternName(name);
          AOpen.Raw = name.data();
          AOpen.RawSize = name.size();
          if (AOpen.Knot) AOpen.Knot->FName = AOpen.Name;
        }
      } else if (!name.empty()) {
        TKnotParam* param = AOpen.Knot ? NewParam(AOpen.Knot, InternName(name)) : nullptr;
        if (P < End && *P == '=') ReadValue(param);
      }
      if (P == End) {
        Fail(TKnotParseError::peUnexpectedEnd);
        return true;
      }
      if (*P == '/') {
        const TChar* q = P + 1;
        while (q < End && Is(*q, ccWhite)) ++q;
        if (q < End && *q == '>') {
          P = q + 1;
          return false;
        }
        Fail(TKnotParseError::peBadTagEnd);
        P = q;
        if (q == End || *q == '<') return false;
        continue;
      }
      if (*P == '>') {
        ++P;
        return true;
      }
    }
  }

  // P at "="; the value runs outside quotes up to white space, "/" or ">".
  void ReadValue(TKnotParam* AParam) {
    ++P;
    if constexpr (!std::is_same_v<TChar, char16_t>) {
      // Most values are quoted whole: the closing quote followed by the value's end.
      if (P < End && *P == '"') {
        const auto* q = static_cast<const TChar*>(std::memchr(P + 1, '"', static_cast<size_t>(End - P - 1)));
        if (q && (q + 1 == End || Is(q[1], ccValueEnd))) {
          const TChar* s = P + 1;
          P = q + 1;
          if (!AParam) return;
          if (FAnsi) return StoreCleanValue(AParam, AnsiToUtf8({s, static_cast<size_t>(q - s)}, FClean));
          return StoreCleanValue(AParam, s, q, End);
        }
      }
    }
    const TChar* s = P;
    int quotes = 0;
    bool amp = false, quoted = false;
    for (;;) {
      const uint8_t stop = quoted ? (ccQuote | ccAmp) : (ccQuote | ccAmp | ccValueEnd);
      if (quoted) P = SkipQuotedText(P, End);
      while (P < End && !Is(*P, stop)) ++P;
      if (P == End) break;
      if (*P == '"') {
        quoted = !quoted;
        ++quotes;
      } else if (*P == '&') {
        amp = true;
      } else {
        break;
      }
      ++P;
    }
    if (quoted) Fail(TKnotParseError::peUnclosedQuote);
    std::basic_string_view<TChar> source(s, static_cast<size_t>(P - s));
    if (source.empty() || !AParam) return;
    // The quotes are ASCII, so they can be taken off before decoding.
    if (source.size() >= 2 && source.front() == '"' && source.back() == '"') {
      source = source.substr(1, source.size() - 2);
      quotes -= 2;
    }
    if constexpr (std::is_same_v<TChar, char16_t>) {
      if (quotes == 0 && !amp) {
        FBytes.clear();
        AppendUtf8(FBytes, source);
      } else {
        TCustomXmlCodeWriter::UnescapeValue(source, quotes, amp, FText);
        FBytes.clear();
        AppendUtf8(FBytes, FText);
      }
      StoreValue(AParam, FBytes);
    } else {
      std::string_view bytes(reinterpret_cast<const char*>(source.data()), source.size());
      if (FAnsi) bytes = AnsiToUtf8(source, FClean);
      if (quotes == 0)
        return FAnsi ? StoreCleanValue(AParam, bytes)
                     : StoreCleanValue(AParam, source.data(), source.data() + source.size(), End);
      const uint8_t* after;
      if (!FAnsi && FindBadUtf8(source.data(), source.data() + source.size(), after) != source.data() + source.size()) {
        NoteBadUtf8(source.data(), Clean(source, FClean));
        bytes = FClean;
      }
      UnescapeUtf8(bytes, quotes, amp, FBytes, FScratch);
      StoreValue(AParam, FBytes);
    }
  }

  // Returns true when a child starts at P, false when the element has ended.
  bool ReadContent(const TOpen& AOpen) {
    for (;;) {
      SkipWhite();
      if (P == End) {
        Fail(TKnotParseError::peUnexpectedEnd);
        return false;
      }
      if (*P != '<') {
        Fail(TKnotParseError::peTextInElement);
        P = Find(P, '<');
        if (P == End) return false;
        continue;
      }
      const TChar* q = P + 1;
      while (q < End && Is(*q, ccWhite)) ++q;
      if (q < End && *q == '/') {
        ++q;
        while (q < End && Is(*q, ccWhite)) ++q;
        if (MatchName(q, AOpen)) {
          P = Find(q + 1, '<');
          PassOver(q + 1, P);
          return false;
        }
        Fail(TKnotParseError::peMismatchedEnd);
      }
      return true;
    }
  }

  TKnot& FRoot;
  TKnotStore& FStore;
  const TChar* const Begin;
  const TChar* P;
  const TChar* const End;
  const TAnsiBytes* const FAnsi;
  const bool FOnTrial;
  bool FUnchecked = false;
  std::vector<TOpen> FStack;
  std::vector<TSlot> FSlots;
  const TKnotName* FNoName = nullptr;
  std::string FBytes, FClean, FScratch;
  std::u16string FText;
};

template <class TChar>
bool TKnot::ReadText(const TChar* AText, size_t ALength, const TAnsiBytes* AAnsi, bool AOnTrial) {
  Clear();
  // A store of its own for what is read: the old one starts afresh when nothing else uses it any more.
  if (!(FState & kInStore)) {
    TKnotStore* store = FName->Store;
    if (store && store->Refs == 1) {
      FName = &NoName;
      store->ClearNames();
      store->FreeBlocks();
      store->Reason = TKnotParseError::peNone;
      store->ErrorOffset = store->InvalidUtf8 = store->InvalidUtf8Offset = 0;
      store->ForgetCounts();
      FName = store->Intern(u"");
    } else {
      SetInternedName((new TKnotStore)->Intern(u""));
    }
  }
  TKnotStore& store = Store();
  store.Reason = TKnotParseError::peNone;
  store.ErrorOffset = store.InvalidUtf8 = store.InvalidUtf8Offset = 0;
  TKnotReader<TChar> reader(*this, store, AText, ALength, AAnsi, AOnTrial);
  reader.Run();
  store.Sized = this;
  store.TextSize = ALength;
  if (reader.Failed()) FState |= kParseError;
  if constexpr (sizeof(TChar) == 1) {
    if (AOnTrial) {
      if (store.InvalidUtf8) return false;
      // A text not read cleanly may hold bad sequences where the reader did not look, as may what it passed over.
      if ((reader.Failed() || reader.PassedOverUnchecked()) && !IsValidUtf8(AText, AText + ALength)) return false;
    }
  }
  return true;
}

void TKnot::Parse(const char16_t* AText, size_t ALength) { ReadText(AText, ALength, nullptr, false); }

void TKnot::ParseUtf8(const uint8_t* ABytes, size_t ACount) { ReadText(ABytes, ACount, nullptr, false); }

void TKnot::LoadFromStream(TStream& AStream) {
  // A memory stream is read where it lies; any other stream is copied into memory first.
  const int64_t position = AStream.Position();
  const size_t n = static_cast<size_t>(std::max<int64_t>(AStream.Size() - position, 0));
  std::vector<uint8_t> copy;
  const uint8_t* b;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&AStream)) {
    b = memory->Memory() + position;
    AStream.Seek(0, TSeekOrigin::soEnd);
  } else {
    copy.resize(n);
    AStream.ReadBuffer(copy.data(), n);
    b = copy.data();
  }
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return ParseUtf8(b + 3, n - 3);
  std::u16string text;
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    text = Utf16LEToString(b + 2, n - 2);
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    text = Utf16BEToString(b + 2, n - 2);
  } else if (ReadText(b, n, nullptr, true)) {
    // Without a mark, bytes that are valid UTF-8 are read as UTF-8: ASCII reads the same either way, and ANSI text
    // that is also valid UTF-8 with longer sequences is practically unknown. They are read so on trial, which the
    // first bad sequence ends.
    return;
  } else {
    // Names and values are decoded where they are kept; only a code page the reader cannot follow byte by byte, or
    // a double-byte text whose lead bytes take markup, is decoded whole first.
    const TAnsiBytes ansi = AnsiBytes();
    if (ansi.Usable && (!ansi.DoubleByte || MarkupBetweenCharacters(ansi, b, b + n))) {
      ReadText(b, n, &ansi, false);
      return;
    }
    text = AnsiToString(b, n);
  }
  copy = std::vector<uint8_t>();
  Parse(text.data(), text.size());
}

void TKnot::LoadFromFile(const std::u16string& AFileName) { LoadFromStream(*OpenFileToRead(AFileName)); }
