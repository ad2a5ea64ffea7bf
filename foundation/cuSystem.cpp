#include "foundation/cuSystem.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef _WIN32
#include "foundation/cuWin32.h"
#endif

// ---------------------------------------------------------------------------------------------------------------
// Exceptions

Exception::Exception(std::u16string AMessage) : FMessage(std::move(AMessage)), FWhat(Utf16ToUtf8(FMessage)) {}

// ---------------------------------------------------------------------------------------------------------------
// Format

namespace {

[[noreturn]] void RaiseFormatError(std::u16string_view AFormat) {
  throw EConvertError(u"Format '" + std::u16string(AFormat) + u"' invalid or incompatible with argument");
}

void AppendPadded(std::u16string& AOut, std::u16string_view AText, int AWidth, bool ALeft, char16_t APad) {
  const int pad = AWidth - static_cast<int>(AText.size());
  if (pad > 0 && !ALeft) AOut.append(static_cast<size_t>(pad), APad);
  AOut.append(AText);
  if (pad > 0 && ALeft) AOut.append(static_cast<size_t>(pad), u' ');
}

std::u16string DigitsOf(uint64_t AValue, unsigned ABase, bool AUpper) {
  const char* digits = AUpper ? "0123456789ABCDEF" : "0123456789abcdef";
  char16_t buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char16_t>(digits[AValue % ABase]);
    AValue /= ABase;
  } while (AValue);
  std::u16string result;
  result.reserve(static_cast<size_t>(n));
  while (n) result.push_back(buf[--n]);
  return result;
}

}  // namespace

std::u16string Format(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs) {
  std::u16string out;
  out.reserve(AFormat.size() + 16);
  auto arg = AArgs.begin();
  size_t i = 0;
  const size_t n = AFormat.size();
  while (i < n) {
    const char16_t c = AFormat[i++];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (i >= n) RaiseFormatError(AFormat);
    if (AFormat[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    bool left = false, zero = false;
    while (i < n && (AFormat[i] == u'-' || AFormat[i] == u'0')) {
      (AFormat[i] == u'-' ? left : zero) = true;
      ++i;
    }
    int width = 0, precision = -1;
    while (i < n && AFormat[i] >= u'0' && AFormat[i] <= u'9' && width < 100000)
      width = width * 10 + (AFormat[i++] - u'0');
    if (i < n && AFormat[i] == u'.') {
      ++i;
      precision = 0;
      while (i < n && AFormat[i] >= u'0' && AFormat[i] <= u'9' && precision < 100000)
        precision = precision * 10 + (AFormat[i++] - u'0');
    }
    if (i >= n || arg == AArgs.end()) RaiseFormatError(AFormat);
    const char16_t type = AFormat[i++];
    const TFormatArg& a = *arg++;
    std::u16string text;
    switch (type) {
      case u'd':
      case u'u':
      case u'x':
      case u'X': {
        if (a.Kind() == TFormatArg::kString) RaiseFormatError(AFormat);
        const int64_t v = a.AsInt();
        bool negative = false;
        uint64_t magnitude;
        if (type == u'd' && a.Kind() == TFormatArg::kSigned && v < 0) {
          negative = true;
          magnitude = 0 - static_cast<uint64_t>(v);
        } else if (a.Kind() == TFormatArg::kSigned && v < 0 && v >= std::numeric_limits<int32_t>::min()) {
          magnitude = static_cast<uint32_t>(v);  // a negative int prints as its 32-bit pattern
        } else {
          magnitude = static_cast<uint64_t>(v);
        }
        text = DigitsOf(magnitude, (type == u'x' || type == u'X') ? 16 : 10, type == u'X');
        if (precision > static_cast<int>(text.size()))
          text.insert(0, static_cast<size_t>(precision) - text.size(), u'0');
        if (negative) text.insert(text.begin(), u'-');
        if (zero && !left && precision < 0 && width > static_cast<int>(text.size())) {
          text.insert(negative ? 1 : 0, static_cast<size_t>(width) - text.size(), u'0');
        }
        AppendPadded(out, text, width, left, u' ');
        break;
      }
      case u's': {
        if (a.Kind() != TFormatArg::kString) RaiseFormatError(AFormat);
        std::u16string_view s = a.AsString();
        if (precision >= 0 && static_cast<size_t>(precision) < s.size())
          s = s.substr(0, static_cast<size_t>(precision));
        AppendPadded(out, s, width, left, u' ');
        break;
      }
      case u'c': {
        if (a.Kind() == TFormatArg::kString) RaiseFormatError(AFormat);
        const char16_t ch = static_cast<char16_t>(a.AsInt());
        AppendPadded(out, std::u16string_view(&ch, 1), width, left, u' ');
        break;
      }
      default:
        RaiseFormatError(AFormat);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------------------------
// UTF-8

std::u16string Utf8ToUtf16(std::string_view AText) { return Utf8ToUtf16(AText.data(), AText.size()); }

namespace {

// True when the ACount bytes at P are all ASCII.
bool IsAsciiBytes(const uint8_t* P, size_t ACount) {
  const uint8_t* const end = P + ACount;
  uint64_t seen = 0;
  for (; end - P >= 8; P += 8) {
    uint64_t word;
    std::memcpy(&word, P, sizeof(word));
    seen |= word;
  }
  for (; P < end; ++P) seen |= *P;
  return !(seen & 0x8080808080808080ull);
}

}  // namespace

std::u16string Utf8ToUtf16(const void* ABytes, size_t ACount) {
  const auto* p = static_cast<const uint8_t*>(ABytes);
  // Most texts are ASCII: widened straight into a string of their length, not decoded into a zeroed one.
  if (IsAsciiBytes(p, ACount)) return std::u16string(p, p + ACount);
  std::u16string out(ACount, u'\0');  // never more characters than bytes
  out.resize(Utf8ToUtf16(ABytes, ACount, out.data()));
  return out;
}

size_t Utf8ToUtf16(const void* ABytes, size_t ACount, char16_t* ADest) {
  const auto* p = static_cast<const uint8_t*>(ABytes);
  const uint8_t* const end = p + ACount;
  char16_t* d = ADest;
  while (p < end) {
#if defined(__SSE2__)
    // ASCII sixteen bytes at a time; a block with other bytes still gives its ASCII start.
    while (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i zero = _mm_setzero_si128();
      // The output has room: d lags p, and the characters never outnumber the bytes.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
      if (mask) {
        const int ascii = __builtin_ctz(mask);
        p += ascii;
        d += ascii;
        break;
      }
      p += 16;
      d += 16;
    }
#endif
    if (p >= end) break;
    d += DecodeUtf8Char(p, end, d);
  }
  return static_cast<size_t>(d - ADest);
}

namespace {

#if defined(__SSE2__)
// True when the eight units at P are all ASCII.
inline bool AsciiBlock(const char16_t* P) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))),
                                           _mm_setzero_si128())) == 0xFFFF;
}
#endif

size_t Utf8Length(std::u16string_view AText) {
  const char16_t* p = AText.data();
  const char16_t* const end = p + AText.size();
  size_t n = AText.size();
  while (p < end) {
#if defined(__SSE2__)
    if (end - p >= 8 && AsciiBlock(p)) {
      p += 8;
      continue;
    }
#endif
    const char16_t c = *p++;
    if (c < 0x80) continue;
    if (c < 0x800) {
      n += 1;
    } else if (c >= 0xD800 && c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
      n += 2;  // four bytes for two units
      ++p;
    } else {
      n += 2;
    }
  }
  return n;
}

char* EncodeUtf8(std::u16string_view AText, char* AOut) {
  auto* o = reinterpret_cast<uint8_t*>(AOut);
  const char16_t* p = AText.data();
  const char16_t* const end = p + AText.size();
  while (p < end) {
#if defined(__SSE2__)
    if (end - p >= 8 && AsciiBlock(p)) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
      p += 8;
      o += 8;
      continue;
    }
#endif
    uint32_t c = *p++;
    if (c < 0x80) {
      *o++ = static_cast<uint8_t>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00u);
      } else {
        c = 0xFFFD;
      }
    }
    if (c < 0x800) {
      *o++ = static_cast<uint8_t>(0xC0 | (c >> 6));
      *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = static_cast<uint8_t>(0xE0 | (c >> 12));
      *o++ = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<uint8_t>(0xF0 | (c >> 18));
      *o++ = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    }
  }
  return reinterpret_cast<char*>(o);
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view AText) {
  std::string out;
  AppendUtf8(out, AText);
  return out;
}

void AppendUtf8(std::string& ADest, std::u16string_view AText) {
  const size_t old = ADest.size();
  ADest.resize(old + Utf8Length(AText));
  EncodeUtf8(AText, ADest.data() + old);
}

// ---------------------------------------------------------------------------------------------------------------
// UTF-16 bytes

std::u16string Utf16LEToString(const void* ABytes, size_t ACount) {
  const auto* p = static_cast<const uint8_t*>(ABytes);
  std::u16string out(ACount / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return out;
}

std::u16string Utf16BEToString(const void* ABytes, size_t ACount) {
  const auto* p = static_cast<const uint8_t*>(ABytes);
  std::u16string out(ACount / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
  return out;
}

std::string StringToUtf16LE(std::u16string_view AText) {
  std::string out(AText.size() * 2, '\0');
  for (size_t i = 0; i < AText.size(); ++i) {
    out[2 * i] = static_cast<char>(AText[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(AText[i] >> 8);
  }
  return out;
}

std::string StringToUtf16BE(std::u16string_view AText) {
  std::string out(AText.size() * 2, '\0');
  for (size_t i = 0; i < AText.size(); ++i) {
    out[2 * i] = static_cast<char>(AText[i] >> 8);
    out[2 * i + 1] = static_cast<char>(AText[i] & 0xFF);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------------------------
// ANSI code page

std::u16string AnsiToString(std::string_view AText) { return AnsiToString(AText.data(), AText.size()); }

#ifdef _WIN32

std::u16string AnsiToString(const void* ABytes, size_t ACount) {
  if (ACount == 0) return {};
  const char* src = static_cast<const char*>(ABytes);
  const int srcLen = static_cast<int>(std::min<size_t>(ACount, std::numeric_limits<int>::max()));
  const int len = MultiByteToWideChar(CP_ACP, 0, src, srcLen, nullptr, 0);
  if (len <= 0) return {};
  std::u16string out(static_cast<size_t>(len), u'\0');
  MultiByteToWideChar(CP_ACP, 0, src, srcLen, reinterpret_cast<wchar_t*>(out.data()), len);
  return out;
}

std::string StringToAnsi(std::u16string_view AText) {
  if (AText.empty()) return {};
  const wchar_t* src = reinterpret_cast<const wchar_t*>(AText.data());
  const int srcLen = static_cast<int>(std::min<size_t>(AText.size(), std::numeric_limits<int>::max()));
  // No best fit: a look-alike such as a fullwidth quote must not become the ASCII character it resembles.
  const int len = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, src, srcLen, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return {};
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, src, srcLen, out.data(), len, nullptr, nullptr);
  return out;
}

#else

namespace {
// Windows-1252 bytes 0x80-0x9F; the five unassigned bytes map to the control character of the same code.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::u16string AnsiToString(const void* ABytes, size_t ACount) {
  const auto* p = static_cast<const uint8_t*>(ABytes);
  std::u16string out(ACount, u'\0');
  for (size_t i = 0; i < ACount; ++i) {
    const uint8_t b = p[i];
    out[i] = (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

std::string StringToAnsi(std::u16string_view AText) {
  std::string out(AText.size(), '?');
  for (size_t i = 0; i < AText.size(); ++i) {
    const char16_t c = AText[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out[i] = static_cast<char>(c);
      continue;
    }
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == c) {
        out[i] = static_cast<char>(0x80 + k);
        break;
      }
    }
  }
  return out;
}

#endif

namespace {
// Every byte's character alone, the lead bytes left out; false when a byte is not one character.
bool ReadSingleBytes(TAnsiBytes& ABytes) {
  for (int b = 0; b < 256; ++b) {
    if (ABytes.Lead[b]) continue;
    const char byte = static_cast<char>(b);
    const std::u16string one = AnsiToString(&byte, 1);
    if (one.size() != 1) return false;
    ABytes.Units[b] = one[0];
  }
  return true;
}
}  // namespace

TAnsiBytes AnsiBytes() {
  TAnsiBytes bytes;
#ifdef _WIN32
  CPINFO info{};
  if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize > 2) return bytes;
  bytes.DoubleByte = info.MaxCharSize == 2;
  // Ranges of lead bytes in pairs, ended by a zero pair.
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) bytes.Lead[b] = true;
#endif
  if (!ReadSingleBytes(bytes)) return bytes;
  for (int b = 0; b < 256; ++b)
    if (b < 0x80 ? bytes.Lead[b] || bytes.Units[b] != b : !bytes.Lead[b] && bytes.Units[b] < 0x80) return bytes;
  bytes.Usable = true;
  return bytes;
}

std::u16string AsciiToString(std::string_view AText) {
  std::u16string out(AText.size(), u'\0');
  for (size_t i = 0; i < AText.size(); ++i) out[i] = static_cast<uint8_t>(AText[i]);
  return out;
}

// ---------------------------------------------------------------------------------------------------------------
// Integers as text

std::u16string IntToStr(int64_t AValue) {
  if (AValue < 0) {
    std::u16string s = DigitsOf(0 - static_cast<uint64_t>(AValue), 10, false);
    s.insert(s.begin(), u'-');
    return s;
  }
  return DigitsOf(static_cast<uint64_t>(AValue), 10, false);
}

std::u16string UIntToStr(uint64_t AValue) { return DigitsOf(AValue, 10, false); }

std::u16string IntToHex(uint64_t AValue, int ADigits) {
  std::u16string s = DigitsOf(AValue, 16, true);
  if (ADigits > static_cast<int>(s.size())) s.insert(0, static_cast<size_t>(ADigits) - s.size(), u'0');
  return s;
}

namespace {

// An optional sign and decimal digits, nothing else.
template <class TChar>
bool TryDecimalToInt64(std::basic_string_view<TChar> AText, int64_t& AValue) {
  size_t i = 0;
  bool negative = false;
  if (i < AText.size() && (AText[i] == TChar('+') || AText[i] == TChar('-'))) negative = AText[i++] == TChar('-');
  if (i >= AText.size()) return false;
  const uint64_t limit = negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
  uint64_t v = 0;
  for (; i < AText.size(); ++i) {
    const TChar c = AText[i];
    if (c < TChar('0') || c > TChar('9')) return false;
    const unsigned digit = static_cast<unsigned>(c - TChar('0'));
    if (v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  AValue = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

template <class TChar>
bool TryDecimalToInt(std::basic_string_view<TChar> AText, int& AValue) {
  int64_t v;
  if (!TryDecimalToInt64(AText, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    return false;
  AValue = static_cast<int>(v);
  return true;
}

}  // namespace

bool TryStrToInt64(std::u16string_view AText, int64_t& AValue) { return TryDecimalToInt64(AText, AValue); }

bool TryStrToInt(std::u16string_view AText, int& AValue) { return TryDecimalToInt(AText, AValue); }

// A byte from 0x80 on lies outside "0".."9" whether char is signed or not: it ends the number as its character
// would.
bool TryStrToInt(std::string_view AUtf8, int& AValue) { return TryDecimalToInt(AUtf8, AValue); }

int StrToIntDef(std::u16string_view AText, int ADefault) {
  int v;
  return TryStrToInt(AText, v) ? v : ADefault;
}

int StrToInt(std::u16string_view AText) {
  int v;
  if (!TryStrToInt(AText, v)) throw EConvertError(u"'" + std::u16string(AText) + u"' is not a valid integer value");
  return v;
}

std::u16string BinToHex(const void* ABytes, size_t ACount) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  const auto* p = static_cast<const uint8_t*>(ABytes);
  std::u16string out(ACount * 2, u'\0');
  for (size_t i = 0; i < ACount; ++i) {
    out[2 * i] = kDigits[p[i] >> 4];
    out[2 * i + 1] = kDigits[p[i] & 15];
  }
  return out;
}

int HexDigitValue(char16_t C) {
  if (C >= u'0' && C <= u'9') return C - u'0';
  if (C >= u'A' && C <= u'F') return C - u'A' + 10;
  if (C >= u'a' && C <= u'f') return C - u'a' + 10;
  return -1;
}

size_t HexToBin(std::u16string_view AText, void* ABytes, size_t ACount) {
  auto* d = static_cast<uint8_t*>(ABytes);
  size_t done = 0;
  for (; done < ACount && 2 * done + 1 < AText.size(); ++done) {
    const int hi = HexDigitValue(AText[2 * done]), lo = HexDigitValue(AText[2 * done + 1]);
    if (hi < 0 || lo < 0) break;
    d[done] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return done;
}

// ---------------------------------------------------------------------------------------------------------------
// ASCII case

char16_t UpCaseAscii(char16_t C) { return (C >= u'a' && C <= u'z') ? static_cast<char16_t>(C - 32) : C; }
char16_t LowCaseAscii(char16_t C) { return (C >= u'A' && C <= u'Z') ? static_cast<char16_t>(C + 32) : C; }

std::u16string UpperCaseAscii(std::u16string_view AText) {
  std::u16string s(AText);
  for (char16_t& c : s) c = UpCaseAscii(c);
  return s;
}

std::u16string LowerCaseAscii(std::u16string_view AText) {
  std::u16string s(AText);
  for (char16_t& c : s) c = LowCaseAscii(c);
  return s;
}

int CompareTextAscii(std::u16string_view A, std::u16string_view B) {
  const size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    const int a = UpCaseAscii(A[i]), b = UpCaseAscii(B[i]);
    if (a != b) return a - b;
  }
  return A.size() < B.size() ? -1 : (A.size() > B.size() ? 1 : 0);
}

bool SameTextAscii(std::u16string_view A, std::u16string_view B) {
  return A.size() == B.size() && CompareTextAscii(A, B) == 0;
}

std::u16string Trim(std::u16string_view AText) {
  size_t b = 0, e = AText.size();
  while (b < e && AText[b] <= u' ') ++b;
  while (e > b && AText[e - 1] <= u' ') --e;
  return std::u16string(AText.substr(b, e - b));
}

// ---------------------------------------------------------------------------------------------------------------
// TStringList

TStringList::TItem& TStringList::Item(int AIndex) {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"List index out of bounds (%d)", {AIndex}));
  return FItems[static_cast<size_t>(AIndex)];
}

const TStringList::TItem& TStringList::Item(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"List index out of bounds (%d)", {AIndex}));
  return FItems[static_cast<size_t>(AIndex)];
}

bool TStringList::Same(std::u16string_view A, std::u16string_view B) const {
  return FCaseSensitive ? A == B : SameTextAscii(A, B);
}

int TStringList::Add(std::u16string AValue, TObject* AObject) {
  FItems.push_back({std::move(AValue), AObject});
  return Count() - 1;
}

void TStringList::Insert(int AIndex, std::u16string AValue, TObject* AObject) {
  if (AIndex < 0 || AIndex > Count()) throw EProgrammingError(Format(u"List index out of bounds (%d)", {AIndex}));
  FItems.insert(FItems.begin() + AIndex, TItem{std::move(AValue), AObject});
}

void TStringList::Delete(int AIndex) {
  Item(AIndex);
  FItems.erase(FItems.begin() + AIndex);
}

void TStringList::Exchange(int AIndex1, int AIndex2) { std::swap(Item(AIndex1), Item(AIndex2)); }

void TStringList::Append(const TStringList& AOther) {
  FItems.insert(FItems.end(), AOther.FItems.begin(), AOther.FItems.end());
}

int TStringList::IndexOf(std::u16string_view AValue) const {
  for (int i = 0; i < Count(); ++i)
    if (Same(FItems[static_cast<size_t>(i)].Str, AValue)) return i;
  return -1;
}

int TStringList::IndexOfObject(const TObject* AObject) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<size_t>(i)].Obj == AObject) return i;
  return -1;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(), [this](const TItem& A, const TItem& B) {
    return FCaseSensitive ? A.Str < B.Str : CompareTextAscii(A.Str, B.Str) < 0;
  });
}

int TStringList::IndexOfName(std::u16string_view AName) const {
  for (int i = 0; i < Count(); ++i) {
    const std::u16string& s = FItems[static_cast<size_t>(i)].Str;
    const size_t eq = s.find(u'=');
    if (eq != std::u16string::npos && Same(std::u16string_view(s).substr(0, eq), AName)) return i;
  }
  return -1;
}

std::u16string TStringList::Names(int AIndex) const {
  const std::u16string& s = Strings(AIndex);
  const size_t eq = s.find(u'=');
  return eq == std::u16string::npos ? std::u16string() : s.substr(0, eq);
}

std::u16string TStringList::ValueFromIndex(int AIndex) const {
  const std::u16string& s = Strings(AIndex);
  const size_t eq = s.find(u'=');
  return eq == std::u16string::npos ? std::u16string() : s.substr(eq + 1);
}

std::u16string TStringList::Values(std::u16string_view AName) const {
  const int i = IndexOfName(AName);
  return i < 0 ? std::u16string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::u16string_view AName, std::u16string_view AValue) {
  const int i = IndexOfName(AName);
  std::u16string line = std::u16string(AName) + u"=" + std::u16string(AValue);
  if (i >= 0)
    FItems[static_cast<size_t>(i)].Str = std::move(line);
  else
    Add(std::move(line));
}

std::u16string TStringList::Text() const {
  size_t total = 0;
  for (const TItem& item : FItems) total += item.Str.size() + 2;
  std::u16string out;
  out.reserve(total);
  for (const TItem& item : FItems) {
    out += item.Str;
    out += u"\r\n";
  }
  return out;
}

void TStringList::SetText(std::u16string_view AText) {
  FItems.clear();
  size_t i = 0;
  while (i < AText.size()) {
    size_t e = i;
    while (e < AText.size() && AText[e] != u'\r' && AText[e] != u'\n') ++e;
    Add(std::u16string(AText.substr(i, e - i)));
    if (e < AText.size() && AText[e] == u'\r') ++e;
    if (e < AText.size() && AText[e] == u'\n') ++e;
    i = e;
  }
}
