#include "foundation/cuCodeWriters.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const TClassInfo<TCodeWriter> TCodeWriter::ClassInfo{u"TCodeWriter", nullptr, &ClassFactory<TCodeWriter, TCodeWriter>};
const TClassInfo<TCodeWriter> TCustomXmlCodeWriter::ClassInfo{u"TCustomXmlCodeWriter", &TCodeWriter::ClassInfo,
                                                              &ClassFactory<TCustomXmlCodeWriter, TCodeWriter>};
const TClassInfo<TCodeWriter> TXmlCodeWriter::ClassInfo{u"TXmlCodeWriter", &TCustomXmlCodeWriter::ClassInfo,
                                                        &ClassFactory<TXmlCodeWriter, TCodeWriter>};

// ---------------------------------------------------------------------------------------------------------------
// TCodeWriter

void TCodeWriter::Write(std::u16string_view AText) {
  if (FLineStarts.empty()) FLineStarts.push_back(FText.size());
  if (FText.size() == FLineStarts.back() && FIndenting && FIndentLevel >= 1 && FIndentSize > 0)
    FText.append(static_cast<size_t>(FIndentSize) * static_cast<size_t>(FIndentLevel), FIndentChar);
  FText.append(AText);
}

std::u16string_view TCodeWriter::Line(int AIndex) const {
  if (AIndex < 0 || AIndex >= LineCount()) throw EProgrammingError(Format(u"Line index out of bounds (%d)", {AIndex}));
  const size_t start = FLineStarts[static_cast<size_t>(AIndex)];
  const size_t end = AIndex + 1 < LineCount() ? FLineStarts[static_cast<size_t>(AIndex) + 1] : FText.size();
  return std::u16string_view(FText).substr(start, end - start);
}

void TCodeWriter::GetLines(TStringList& ALines) const {
  ALines.Clear();
  for (int i = 0; i < LineCount(); ++i) ALines.Add(std::u16string(Line(i)));
}

std::u16string TCodeWriter::Text() const {
  std::u16string text;
  text.reserve(FText.size() + 2 * FLineStarts.size());
  for (int i = 0; i < LineCount(); ++i) text.append(Line(i)).append(u"\r\n");
  return text;
}

void TCodeWriter::WriteIfNotEmpty(std::u16string_view AText) {
  if (!AText.empty()) Write(AText);
}

void TCodeWriter::WriteFmt(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs) {
  WriteIfNotEmpty(Format(AFormat, AArgs));
}

void TCodeWriter::NewLine() {
  if (FNewLines) FLineStarts.push_back(FText.size());
}

// ---------------------------------------------------------------------------------------------------------------
// TCustomXmlCodeWriter

TCustomXmlCodeWriter::TCustomXmlCodeWriter() {
  FIndentSize = 1;
  FIndentChar = u'\t';
}

void TCustomXmlCodeWriter::WriteJoined(std::u16string_view A, std::u16string_view B, std::u16string_view C,
                                       std::u16string_view D, std::u16string_view E) {
  FScratch.clear();
  FScratch.append(A).append(B).append(C).append(D).append(E);
  Write(FScratch);
}

void TCustomXmlCodeWriter::WriteOpenTagStart(std::u16string_view AName) { WriteJoined(u"<", AName); }

void TCustomXmlCodeWriter::WriteOpenTag(std::u16string_view AName) { WriteJoined(u"<", AName, u">"); }

void TCustomXmlCodeWriter::WriteEmptyTag(std::u16string_view AName) { WriteJoined(u"<", AName, u"/>"); }

void TCustomXmlCodeWriter::WriteCloseTag(std::u16string_view AName) { WriteJoined(u"</", AName, u">"); }

void TCustomXmlCodeWriter::WriteAttribute(std::u16string_view AName) { WriteJoined(u" ", AName); }

void TCustomXmlCodeWriter::WriteUnquotedAttribute(std::u16string_view AName, std::u16string_view AValue) {
  WriteJoined(u" ", AName, u"=", AValue);
}

void TCustomXmlCodeWriter::WriteQuotedAttribute(std::u16string_view AName, std::u16string_view AValue) {
  WriteJoined(u" ", AName, u"=\"", AValue, u"\"");
}

#if defined(__SSE2__)
namespace {
// Skips blocks of eight characters that hold nothing to replace; notes whether one of them calls for quotes.
const char16_t* SkipPlainBlocks(const char16_t* P, const char16_t* AEnd, bool ADoubleQuoteMode, bool& AQuotes) {
  auto eq = [](__m128i V, char16_t C) { return _mm_cmpeq_epi16(V, _mm_set1_epi16(static_cast<short>(C))); };
  const __m128i zero = _mm_setzero_si128();
  __m128i quotes = zero;
  for (; AEnd - P >= 8; P += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    const __m128i control = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFFE0))), zero);
    __m128i change, quote;
    if (ADoubleQuoteMode) {
      change = _mm_or_si128(eq(v, u'"'), eq(v, u'&'));
      quote =
          _mm_or_si128(_mm_or_si128(eq(v, u' '), eq(v, u'/')),
                       _mm_or_si128(_mm_or_si128(eq(v, u'>'), eq(v, u'\t')), _mm_or_si128(eq(v, u'\n'), eq(v, u'\r'))));
    } else {
      change = _mm_or_si128(_mm_or_si128(control, eq(v, u'&')),
                            _mm_or_si128(_mm_or_si128(eq(v, u'<'), eq(v, u'>')), eq(v, u'"')));
      quote = _mm_or_si128(eq(v, u' '), eq(v, u'/'));
    }
    if (_mm_movemask_epi8(change)) break;
    quotes = _mm_or_si128(quotes, quote);
  }
  if (_mm_movemask_epi8(quotes)) AQuotes = true;
  return P;
}
}  // namespace
#endif

void TCustomXmlCodeWriter::EscapeValue(std::u16string_view AValue, bool ADoubleQuoteMode, std::u16string& AResult,
                                       bool& ANeedsQuotes) {
  AResult.clear();
  bool quotes = false;
  uint8_t seen = 0;
  const uint8_t change = ADoubleQuoteMode ? ValueEscapes::QuoteChange : ValueEscapes::EntityChange;
  const char16_t* p = AValue.data();
  const char16_t* const end = p + AValue.size();
  const char16_t* run = p;
  while (p < end) {
#if defined(__SSE2__)
    p = SkipPlainBlocks(p, end, ADoubleQuoteMode, quotes);
    // The block that stopped the skip, or the tail, goes character by character.
    const char16_t* const stop = std::min<const char16_t*>(p + 8, end);
#else
    const char16_t* const stop = end;
#endif
    for (; p < stop; ++p) {
      const uint8_t cls = ValueEscapes::Classes[*p];
      seen |= cls;
      if (!(cls & change)) continue;
      AResult.append(run, static_cast<size_t>(p - run));
      run = p + 1;
      if (!ADoubleQuoteMode)
        ValueEscapes::AppendEntity(AResult, *p);
      else if (*p == u'"')
        AResult.append(u"\"\"");
      else
        AResult.append(u"&amp;");
    }
  }
  AResult.append(run, static_cast<size_t>(end - run));
  ANeedsQuotes = quotes || (seen & (ADoubleQuoteMode ? ValueEscapes::QuoteQuotes : ValueEscapes::EntityQuotes));
}

namespace {

// The character named by an entity's text (between "&" and ";"), or -1.
int DecodeEntity(std::u16string_view AName) {
  if (AName == u"quot") return u'"';
  if (AName == u"lt") return u'<';
  if (AName == u"gt") return u'>';
  if (AName == u"amp") return u'&';
  if (AName.size() < 2 || AName[0] != u'#') return -1;
  std::u16string_view digits = AName.substr(1);
  unsigned base = 10;
  if (digits.size() > 1 && (digits[0] == u'x' || digits[0] == u'X' || digits[0] == u'$')) {
    digits.remove_prefix(1);
    base = 16;
  } else if (digits.size() > 2 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  for (const char16_t c : digits) {
    const int d = base == 16 ? HexDigitValue(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
    if (d < 0) return -1;
    value = value * base + static_cast<uint32_t>(d);
    if (value > 0xFFFF) return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

void TCustomXmlCodeWriter::UnescapeValue(std::u16string_view AValue, int AQuoteCount, bool AAmpersandSeen,
                                         std::u16string& AResult) {
  std::u16string collapsed;
  if (AQuoteCount > 1) {
    int pairs = AQuoteCount / 2;
    collapsed.reserve(AValue.size());
    size_t i = AValue.size();
    while (i > 0) {
      if (pairs > 0 && i >= 2 && AValue[i - 1] == u'"' && AValue[i - 2] == u'"') {
        collapsed.push_back(u'"');
        i -= 2;
        --pairs;
      } else {
        collapsed.push_back(AValue[--i]);
      }
    }
    std::reverse(collapsed.begin(), collapsed.end());
    AValue = collapsed;
  }
  if (!AAmpersandSeen) {
    AResult.assign(AValue);
    return;
  }
  AResult.clear();
  AResult.reserve(AValue.size());
  const size_t n = AValue.size();
  size_t semi = 0;  // next ";" at or after the search start, kept across ampersands
  bool noSemi = false;
  size_t i = 0;
  while (i < n) {
    const size_t amp = AValue.find(u'&', i);
    if (amp == std::u16string_view::npos) {
      AResult.append(AValue.substr(i));
      break;
    }
    AResult.append(AValue.substr(i, amp - i));
    if (!noSemi && semi <= amp) {
      semi = AValue.find(u';', amp + 1);
      if (semi == std::u16string_view::npos) noSemi = true;
    }
    int decoded = -1;
    if (!noSemi && semi > amp + 1) {
      // No entity holds a "&", so a candidate running into one is unknown; this keeps the work linear.
      const std::u16string_view name = AValue.substr(amp + 1, semi - amp - 1);
      if (name.find(u'&') == std::u16string_view::npos) decoded = DecodeEntity(name);
    }
    if (decoded >= 0) {
      AResult.push_back(static_cast<char16_t>(decoded));
      i = semi + 1;
    } else {
      AResult.push_back(u'&');
      i = amp + 1;
    }
  }
}
