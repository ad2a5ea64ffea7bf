#include "foundation/cuCodeWriters.h"

#include <algorithm>

const TClassInfo<TCodeWriter> TCodeWriter::ClassInfo{u"TCodeWriter", nullptr, &ClassFactory<TCodeWriter, TCodeWriter>};
const TClassInfo<TCodeWriter> TCustomXmlCodeWriter::ClassInfo{u"TCustomXmlCodeWriter", &TCodeWriter::ClassInfo,
                                                              &ClassFactory<TCustomXmlCodeWriter, TCodeWriter>};
const TClassInfo<TCodeWriter> TXmlCodeWriter::ClassInfo{u"TXmlCodeWriter", &TCustomXmlCodeWriter::ClassInfo,
                                                        &ClassFactory<TXmlCodeWriter, TCodeWriter>};

// ---------------------------------------------------------------------------------------------------------------
// TCodeWriter

void TCodeWriter::Write(std::u16string_view AText) {
  if (FLines.Empty()) FLines.Add(std::u16string());
  std::u16string& line = FLines.StringRef(FLines.Count() - 1);
  if (line.empty() && FIndenting && FIndentLevel >= 1 && FIndentSize > 0)
    line.assign(static_cast<size_t>(FIndentSize) * static_cast<size_t>(FIndentLevel), FIndentChar);
  line.append(AText);
}

void TCodeWriter::WriteIfNotEmpty(std::u16string_view AText) {
  if (!AText.empty()) Write(AText);
}

void TCodeWriter::WriteFmt(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs) {
  WriteIfNotEmpty(Format(AFormat, AArgs));
}

void TCodeWriter::NewLine() {
  if (FNewLines) FLines.Add(std::u16string());
}

// ---------------------------------------------------------------------------------------------------------------
// TCustomXmlCodeWriter

TCustomXmlCodeWriter::TCustomXmlCodeWriter() {
  FIndentSize = 1;
  FIndentChar = u'\t';
}

void TCustomXmlCodeWriter::WriteOpenTagStart(std::u16string_view AName) { Write(u"<" + std::u16string(AName)); }

void TCustomXmlCodeWriter::WriteOpenTag(std::u16string_view AName) { Write(u"<" + std::u16string(AName) + u">"); }

void TCustomXmlCodeWriter::WriteEmptyTag(std::u16string_view AName) { Write(u"<" + std::u16string(AName) + u"/>"); }

void TCustomXmlCodeWriter::WriteCloseTag(std::u16string_view AName) { Write(u"</" + std::u16string(AName) + u">"); }

void TCustomXmlCodeWriter::WriteAttribute(std::u16string_view AName) { Write(u" " + std::u16string(AName)); }

void TCustomXmlCodeWriter::WriteUnquotedAttribute(std::u16string_view AName, std::u16string_view AValue) {
  std::u16string s;
  s.reserve(AName.size() + AValue.size() + 2);
  s.append(u" ").append(AName).append(u"=").append(AValue);
  Write(s);
}

void TCustomXmlCodeWriter::WriteQuotedAttribute(std::u16string_view AName, std::u16string_view AValue) {
  std::u16string s;
  s.reserve(AName.size() + AValue.size() + 4);
  s.append(u" ").append(AName).append(u"=\"").append(AValue).append(u"\"");
  Write(s);
}

void TCustomXmlCodeWriter::EscapeValue(std::u16string_view AValue, bool ADoubleQuoteMode, std::u16string& AResult,
                                       bool& ANeedsQuotes) {
  AResult.clear();
  ANeedsQuotes = false;
  AResult.reserve(AValue.size() + 8);
  if (ADoubleQuoteMode) {
    for (const char16_t c : AValue) {
      switch (c) {
        case u'"':
          AResult.append(u"\"\"");
          ANeedsQuotes = true;
          break;
        case u'&':
          AResult.append(u"&amp;");
          break;
        case u' ':
        case u'\t':
        case u'\n':
        case u'\r':
        case u'/':
        case u'>':
          ANeedsQuotes = true;
          AResult.push_back(c);
          break;
        default:
          AResult.push_back(c);
      }
    }
    return;
  }
  for (const char16_t c : AValue) {
    switch (c) {
      case u'&':
        AResult.append(u"&amp;");
        break;
      case u'<':
        AResult.append(u"&lt;");
        break;
      case u'>':
        AResult.append(u"&gt;");
        break;
      case u'"':
        AResult.append(u"&quot;");
        break;
      case u' ':
      case u'/':
        ANeedsQuotes = true;
        AResult.push_back(c);
        break;
      default:
        if (c >= 1 && c <= 31) {
          AResult.append(u"&#");
          if (c >= 10) AResult.push_back(static_cast<char16_t>(u'0' + c / 10));
          AResult.push_back(static_cast<char16_t>(u'0' + c % 10));
          AResult.push_back(u';');
        } else {
          AResult.push_back(c);
        }
    }
  }
}

namespace {

int HexValue(char16_t C) {
  if (C >= u'0' && C <= u'9') return C - u'0';
  if (C >= u'A' && C <= u'F') return C - u'A' + 10;
  if (C >= u'a' && C <= u'f') return C - u'a' + 10;
  return -1;
}

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
    const int d = base == 16 ? HexValue(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
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
