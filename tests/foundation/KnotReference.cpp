#include "tests/foundation/KnotReference.h"

#include <algorithm>

#include "foundation/cuSystem.h"

namespace {

// ---------------------------------------------------------------------------------------------------------------
// Characters

bool IsHigh(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsLow(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

// Whole characters only: a surrogate without its partner becomes U+FFFD.
std::u16string Whole(std::u16string_view AText) {
  std::u16string out(AText);
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsHigh(AText[i]) && i + 1 < AText.size() && IsLow(AText[i + 1])) {
      ++i;
      continue;
    }
    if (IsHigh(AText[i]) || IsLow(AText[i])) out[i] = 0xFFFD;
  }
  return out;
}

// The length and the allowed range of the first continuation byte of a sequence led by ALead; 0 for a byte that
// leads none.
int SequenceLength(uint8_t ALead, uint8_t& ALow, uint8_t& AHigh) {
  ALow = 0x80;
  AHigh = 0xBF;
  if (ALead >= 0xC2 && ALead <= 0xDF) return 2;
  if (ALead >= 0xE0 && ALead <= 0xEF) {
    if (ALead == 0xE0) ALow = 0xA0;
    if (ALead == 0xED) AHigh = 0x9F;
    return 3;
  }
  if (ALead >= 0xF0 && ALead <= 0xF4) {
    if (ALead == 0xF0) ALow = 0x90;
    if (ALead == 0xF4) AHigh = 0x8F;
    return 4;
  }
  return 0;
}

// Decodes one character at I and moves I past it; false for a bad sequence, of which I passes the longest start.
bool DecodeOne(std::string_view ABytes, size_t& I, std::u16string& AOut) {
  const auto lead = static_cast<uint8_t>(ABytes[I++]);
  if (lead < 0x80) {
    AOut.push_back(lead);
    return true;
  }
  uint8_t low, high;
  const int length = SequenceLength(lead, low, high);
  if (!length) {
    AOut.push_back(0xFFFD);
    return false;
  }
  uint32_t c = lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const auto b = I < ABytes.size() ? static_cast<uint8_t>(ABytes[I]) : 0;
    if (I >= ABytes.size() || b < low || b > high) {
      AOut.push_back(0xFFFD);
      return false;
    }
    c = (c << 6) | (b & 0x3F);
    low = 0x80;
    high = 0xBF;
    ++I;
  }
  if (c < 0x10000) {
    AOut.push_back(static_cast<char16_t>(c));
  } else {
    AOut.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    AOut.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
  return true;
}

bool IsUtf8(std::string_view ABytes) {
  std::u16string scratch;
  for (size_t i = 0; i < ABytes.size();)
    if (!DecodeOne(ABytes, i, scratch)) return false;
  return true;
}

std::string ToUtf8(std::u16string_view AText) {
  const std::u16string whole = Whole(AText);
  std::string out;
  for (size_t i = 0; i < whole.size(); ++i) {
    uint32_t c = whole[i];
    if (IsHigh(whole[i])) c = 0x10000 + ((c - 0xD800) << 10) + (whole[++i] - 0xDC00);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string Utf16Of(std::string_view ABytes, bool ABigEndian) {
  std::u16string text;
  for (size_t i = 0; i + 1 < ABytes.size(); i += 2) {
    const auto a = static_cast<uint8_t>(ABytes[i]), b = static_cast<uint8_t>(ABytes[i + 1]);
    text.push_back(static_cast<char16_t>(ABigEndian ? (a << 8) | b : (b << 8) | a));
  }
  return text;
}

std::string BytesOf(std::u16string_view AText, bool ABigEndian) {
  std::string bytes;
  for (const char16_t c : AText) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    bytes.push_back(ABigEndian ? hi : lo);
    bytes.push_back(ABigEndian ? lo : hi);
  }
  return bytes;
}

bool HeldByAnsi(std::u16string_view AText) { return AnsiToString(StringToAnsi(AText)) == AText; }

// ---------------------------------------------------------------------------------------------------------------
// Reading

bool IsWhite(char16_t C) { return C == u'\t' || C == u'\n' || C == u'\r' || C == u' '; }
bool EndsName(char16_t C) { return IsWhite(C) || C == u'"' || C == u'/' || C == u'<' || C == u'=' || C == u'>'; }
bool EndsValue(char16_t C) { return IsWhite(C) || C == u'/' || C == u'>'; }

int HexDigit(char16_t C) {
  if (C >= u'0' && C <= u'9') return C - u'0';
  if (C >= u'a' && C <= u'f') return C - u'a' + 10;
  if (C >= u'A' && C <= u'F') return C - u'A' + 10;
  return -1;
}

// The character an entity's text names, or -1. Besides "x", "$" and "0x" a hexadecimal number may start with
// "X" and "0X", as the knot unit reads it.
int Entity(std::u16string_view AName) {
  if (AName == u"quot") return u'"';
  if (AName == u"lt") return u'<';
  if (AName == u"gt") return u'>';
  if (AName == u"amp") return u'&';
  if (AName.empty() || AName[0] != u'#') return -1;
  std::u16string_view number = AName.substr(1);
  int base = 10;
  for (const std::u16string_view prefix : {u"x", u"X", u"$", u"0x", u"0X"}) {
    if (number.size() > prefix.size() && number.substr(0, prefix.size()) == prefix) {
      number.remove_prefix(prefix.size());
      base = 16;
      break;
    }
  }
  if (number.empty()) return -1;
  long value = 0;
  for (const char16_t c : number) {
    const int digit = base == 16 ? HexDigit(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
    if (digit < 0) return -1;
    value = value * base + digit;
    if (value > 0xFFFF) return -1;
  }
  return static_cast<int>(value);
}

std::u16string Unescape(std::u16string_view AValue, int AQuoteCount, bool AAmpersandSeen) {
  std::u16string value(AValue);
  if (AQuoteCount != 0) {
    // From the end backwards, each pair of adjacent double quotes becomes one.
    int pairs = AQuoteCount / 2;
    for (size_t i = value.size(); pairs > 0 && i >= 2;) {
      if (value[i - 1] == u'"' && value[i - 2] == u'"') {
        value.erase(i - 1, 1);
        --pairs;
        i -= 2;
      } else {
        --i;
      }
    }
  }
  if (AAmpersandSeen) {
    for (size_t amp = value.find(u'&'); amp != std::u16string::npos; amp = value.find(u'&', amp + 1)) {
      const size_t semicolon = value.find(u';', amp + 1);
      if (semicolon == std::u16string::npos || semicolon == amp + 1) continue;
      const int c = Entity(std::u16string_view(value).substr(amp + 1, semicolon - amp - 1));
      if (c >= 0) value.replace(amp, semicolon - amp + 1, 1, static_cast<char16_t>(c));
    }
  }
  return Whole(value);
}

class TPlainReader {
 public:
  explicit TPlainReader(std::u16string_view AText) : FText(AText), FWhole(Whole(AText)) {}

  bool Read(TPlainKnot& ARoot) {
    ARoot = {};
    if (FText.empty()) return false;
    SkipWhite();
    if (At() != u'<') return false;
    size_t q = FPos + 1;
    while (q < FText.size() && IsWhite(FText[q])) ++q;
    if (q < FText.size() && FText[q] == u'?') {
      // A prolog: to the next "?" (this one), from there to the next ">", from there to the next "<".
      q = FText.find(u'>', q);
      if (q != std::u16string_view::npos) q = FText.find(u'<', q);
      if (q == std::u16string_view::npos) return false;
      FPos = q;
    }
    ReadElements(ARoot);
    SkipWhite();
    if (FPos != FText.size()) FFailed = true;
    return !FFailed;
  }

 private:
  struct TOpen {
    TPlainKnot* Knot;  // nullptr for an element nested too deep to keep
    int Depth;
    bool Named;
    std::u16string Name;
  };

  char16_t At() const { return FPos < FText.size() ? FText[FPos] : 0; }
  bool AtEnd() const { return FPos >= FText.size(); }
  void SkipWhite() {
    while (!AtEnd() && IsWhite(FText[FPos])) ++FPos;
  }
  // One character: a surrogate pair is one.
  void StepOver() {
    if (AtEnd()) return;
    FPos += IsHigh(FText[FPos]) && FPos + 1 < FText.size() && IsLow(FText[FPos + 1]) ? 2 : 1;
  }
  std::u16string ReadName() {
    const size_t start = FPos;
    while (!AtEnd() && !EndsName(FText[FPos])) ++FPos;
    return FWhole.substr(start, FPos - start);
  }

  // The elements from the root's "<", one open element at a time.
  void ReadElements(TPlainKnot& ARoot) {
    std::vector<TOpen> open{{&ARoot, 0, false, {}}};
    bool starting = true;
    while (!open.empty()) {
      if (starting) {
        starting = false;
        if (!ReadStartTag(open.back())) open.pop_back();
        continue;
      }
      if (!ReadContent(open.back())) {
        open.pop_back();
        continue;
      }
      // A child; deeper than the reader keeps, it is read and dropped.
      TOpen& parent = open.back();
      TPlainKnot* child = nullptr;
      if (parent.Knot && parent.Depth + 1 < MaxKnotDepth) child = &parent.Knot->Children.emplace_back();
      if (parent.Knot && !child) FFailed = true;
      open.push_back({child, parent.Depth + 1, false, {}});
      starting = true;
    }
  }

  // From the element's "<"; true when the content phase follows, false when the element has ended.
  bool ReadStartTag(TOpen& AOpen) {
    for (;;) {
      StepOver();
      SkipWhite();
      if (AtEnd() || At() == u'<') {
        FFailed = true;
        return true;
      }
      std::u16string name = ReadName();
      if (!AOpen.Named) {
        if (name.empty()) {
          FFailed = true;
        } else {
          AOpen.Named = true;
          AOpen.Name = name;
          if (AOpen.Knot) AOpen.Knot->Name = name;
        }
      } else if (!name.empty()) {
        TPlainParam param;
        param.Name = std::move(name);
        if (At() == u'=') ReadValue(param);
        if (AOpen.Knot) AOpen.Knot->Params.push_back(std::move(param));
      }
      if (At() == u'/') {
        size_t q = FPos + 1;
        while (q < FText.size() && IsWhite(FText[q])) ++q;
        if (q < FText.size() && FText[q] == u'>') {
          FPos = q + 1;
          return false;
        }
        FFailed = true;
        FPos = q;
        if (AtEnd() || At() == u'<') return false;
      } else if (At() == u'>') {
        ++FPos;
        return true;
      }
    }
  }

  void ReadValue(TPlainParam& AParam) {
    ++FPos;
    const size_t start = FPos;
    int quotes = 0;
    bool ampersand = false, quoted = false;
    for (; !AtEnd(); ++FPos) {
      const char16_t c = FText[FPos];
      if (c == u'"') {
        quoted = !quoted;
        ++quotes;
      } else if (c == u'&') {
        ampersand = true;
      } else if (!quoted && EndsValue(c)) {
        break;
      }
    }
    if (quoted) FFailed = true;
    std::u16string_view value = FText.substr(start, FPos - start);
    if (value.empty()) return;
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
      value = value.substr(1, value.size() - 2);
      quotes -= 2;
    }
    AParam.Kind = TPlainParam::String;
    AParam.Value = Unescape(value, quotes, ampersand);
  }

  // True when a child starts at the position, false when the element has ended.
  bool ReadContent(const TOpen& AOpen) {
    for (;;) {
      SkipWhite();
      if (AtEnd()) {
        FFailed = true;
        return false;
      }
      if (At() != u'<') {
        FFailed = true;
        FPos = std::min(FText.find(u'<', FPos), FText.size());
        if (AtEnd()) return false;
        continue;
      }
      size_t q = FPos + 1;
      while (q < FText.size() && IsWhite(FText[q])) ++q;
      if (q < FText.size() && FText[q] == u'/') {
        ++q;
        while (q < FText.size() && IsWhite(FText[q])) ++q;
        const size_t after = q + AOpen.Name.size();
        if (FWhole.compare(q, AOpen.Name.size(), AOpen.Name) == 0 && after < FText.size() && FText[after] == u'>') {
          FPos = std::min(FText.find(u'<', after), FText.size());
          return false;
        }
        FFailed = true;
      }
      return true;
    }
  }

  const std::u16string_view FText;
  // The text with each lone surrogate as U+FFFD, for names.
  const std::u16string FWhole;
  size_t FPos = 0;
  bool FFailed = false;
};

// ---------------------------------------------------------------------------------------------------------------
// Writing

// The code writer: lines of text, indented by a tab a level.
struct TPlainLines {
  std::vector<std::u16string> Lines;
  int Level = 0;
  bool Indent = true;
  bool NewLines = true;
  // For the ANSI code page: a name written that the code page does not hold.
  bool NameOutsideAnsi = false;

  void Write(std::u16string_view AText) {
    if (Lines.empty()) Lines.emplace_back();
    if (Lines.back().empty() && Indent && Level >= 1) Lines.back().assign(static_cast<size_t>(Level), u'\t');
    Lines.back() += AText;
  }
  void NewLine() {
    if (NewLines) Lines.emplace_back();
  }
};

bool IsEmptyKnot(const TPlainKnot& AKnot) {
  if (!AKnot.Params.empty()) return false;
  if (AKnot.Options & static_cast<uint16_t>(koOrderedChildren)) return AKnot.Children.empty();
  return std::all_of(AKnot.Children.begin(), AKnot.Children.end(), IsEmptyKnot);
}

void EscapeValue(std::u16string_view AValue, bool ADoubleQuoteMode, std::u16string& AResult, bool& ANeedsQuotes) {
  AResult.clear();
  ANeedsQuotes = false;
  for (const char16_t c : AValue) {
    if (ADoubleQuoteMode) {
      ANeedsQuotes |= c == u' ' || c == u'"' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'/' || c == u'>';
      // Ampersands too are escaped, so that a value holding an entity's text reads back as it was.
      if (c == u'"')
        AResult += u"\"\"";
      else if (c == u'&')
        AResult += u"&amp;";
      else
        AResult += c;
      continue;
    }
    ANeedsQuotes |= c == u' ' || c == u'/';
    if (c == u'&')
      AResult += u"&amp;";
    else if (c == u'<')
      AResult += u"&lt;";
    else if (c == u'>')
      AResult += u"&gt;";
    else if (c == u'"')
      AResult += u"&quot;";
    else if (c >= 1 && c <= 31)
      AResult += u"&#" + IntToStr(c) + u";";
    else
      AResult += c;
  }
}

// Characters the ANSI code page does not hold, as character references.
std::u16string ForAnsi(std::u16string_view AValue) {
  std::u16string out;
  for (size_t i = 0; i < AValue.size(); ++i) {
    const size_t size = IsHigh(AValue[i]) && i + 1 < AValue.size() && IsLow(AValue[i + 1]) ? 2 : 1;
    const std::u16string_view one = AValue.substr(i, size);
    if (HeldByAnsi(one))
      out += one;
    else
      for (const char16_t unit : one) out += u"&#" + IntToStr(unit) + u";";
    i += size - 1;
  }
  return out;
}

std::u16string Hex(std::string_view ABytes) {
  std::u16string out;
  for (const char b : ABytes) {
    out += u"0123456789ABCDEF"[static_cast<uint8_t>(b) >> 4];
    out += u"0123456789ABCDEF"[static_cast<uint8_t>(b) & 15];
  }
  return out;
}

void WriteKnot(const TPlainKnot& AKnot, bool AHasParent, const TPlainKnot* ANext, bool AForAnsi, TPlainLines& AOut) {
  const uint16_t o = AKnot.Options;
  auto has = [o](TKnotOption AOption) { return (o & static_cast<uint16_t>(AOption)) != 0; };
  const bool indent = AOut.Indent, newLines = AOut.NewLines;
  if (AForAnsi) {
    AOut.NameOutsideAnsi |= !HeldByAnsi(AKnot.Name);
    for (const TPlainParam& p : AKnot.Params) AOut.NameOutsideAnsi |= !HeldByAnsi(p.Name);
  }
  AOut.Indent = !has(koNoIndent);
  AOut.NewLines = !has(koNoLineBreaks);
  if (AKnot.Params.empty() && AKnot.Children.empty()) {
    AOut.Write(u"<" + AKnot.Name + u"/>");
  } else {
    AOut.Write(u"<" + AKnot.Name);
    for (const TPlainParam& p : AKnot.Params) {
      if (p.Kind == TPlainParam::None) {
        AOut.Write(u" " + p.Name);
        continue;
      }
      std::u16string value;
      bool needsQuotes = false;
      if (p.Kind == TPlainParam::Stream) {
        value = Hex(p.Bytes);
      } else {
        EscapeValue(p.Value, has(koDoubleQuotes), value, needsQuotes);
        if (AForAnsi) value = ForAnsi(value);
      }
      if (has(koAllowUnquoted) && !needsQuotes)
        AOut.Write(u" " + p.Name + u"=" + value);
      else
        AOut.Write(u" " + p.Name + u"=\"" + value + u"\"");
    }
    if (AKnot.Children.empty()) {
      AOut.Write(u"/>");
    } else {
      AOut.Write(u">");
      AOut.NewLine();
      ++AOut.Level;
      for (size_t i = 0; i < AKnot.Children.size(); ++i) {
        const TPlainKnot& child = AKnot.Children[i];
        if (has(koSkipEmptyChildren) && IsEmptyKnot(child)) continue;
        WriteKnot(child, true, i + 1 < AKnot.Children.size() ? &AKnot.Children[i + 1] : nullptr, AForAnsi, AOut);
      }
      --AOut.Level;
      AOut.Write(u"</" + AKnot.Name + u">");
    }
  }
  if (AHasParent && !(ANext && (ANext->Options & static_cast<uint16_t>(koJoinPrevious)))) AOut.NewLine();
  AOut.Indent = indent;
  AOut.NewLines = newLines;
}

}  // namespace

TPlainKnot PlainKnotOf(const TKnot& AKnot) {
  TPlainKnot plain;
  plain.Name = AKnot.Name();
  plain.Options = AKnot.Options().Bits();
  for (const TKnotParam* p = AKnot.FirstParam(); p; p = p->Next()) {
    TPlainParam& param = plain.Params.emplace_back();
    param.Name = p->Name();
    if (p->Kind() == TKnotParamKind::pkString) {
      param.Kind = TPlainParam::String;
      param.Value = p->Value();
    } else if (p->Kind() != TKnotParamKind::pkNone) {
      param.Kind = TPlainParam::Stream;
      if (TStream* s = p->Stream()) {
        const int64_t position = s->Position();
        param.Bytes.resize(static_cast<size_t>(s->Size()));
        s->SetPosition(0);
        s->ReadBuffer(param.Bytes.data(), param.Bytes.size());
        s->SetPosition(position);
      }
    }
  }
  for (const TKnot* k = AKnot.FirstKnot(); k; k = k->NextKnot()) plain.Children.push_back(PlainKnotOf(*k));
  return plain;
}

bool ReadPlainKnot(std::u16string_view AText, TPlainKnot& ARoot) { return TPlainReader(AText).Read(ARoot); }

std::u16string PlainUtf8ToUtf16(std::string_view ABytes) {
  std::u16string text;
  for (size_t i = 0; i < ABytes.size();) DecodeOne(ABytes, i, text);
  return text;
}

bool LoadPlainKnot(std::string_view ABytes, TPlainKnot& ARoot) {
  if (ABytes.starts_with("\xEF\xBB\xBF")) return ReadPlainKnot(PlainUtf8ToUtf16(ABytes.substr(3)), ARoot);
  if (ABytes.starts_with("\xFF\xFE")) return ReadPlainKnot(Utf16Of(ABytes.substr(2), false), ARoot);
  if (ABytes.starts_with("\xFE\xFF")) return ReadPlainKnot(Utf16Of(ABytes.substr(2), true), ARoot);
  if (IsUtf8(ABytes)) return ReadPlainKnot(PlainUtf8ToUtf16(ABytes), ARoot);
  return ReadPlainKnot(AnsiToString(ABytes), ARoot);
}

namespace {

std::u16string TextOf(const TPlainKnot& ARoot, bool AForAnsi, bool& ANameOutsideAnsi) {
  TPlainLines lines;
  WriteKnot(ARoot, false, nullptr, AForAnsi, lines);
  ANameOutsideAnsi = lines.NameOutsideAnsi;
  std::u16string text;
  for (const std::u16string& line : lines.Lines) text += line + u"\r\n";
  return text;
}

}  // namespace

std::u16string WritePlainKnot(const TPlainKnot& ARoot, bool AForAnsi) {
  bool outside;
  return TextOf(ARoot, AForAnsi, outside);
}

bool SavePlainKnot(const TPlainKnot& ARoot, TKnotEncoding AEncoding, std::string& ABytes) {
  switch (AEncoding) {
    case TKnotEncoding::keUtf8:
      ABytes = "\xEF\xBB\xBF" + ToUtf8(WritePlainKnot(ARoot));
      return true;
    case TKnotEncoding::keUtf16LE:
      ABytes = "\xFF\xFE" + BytesOf(WritePlainKnot(ARoot), false);
      return true;
    case TKnotEncoding::keUtf16BE:
      ABytes = "\xFE\xFF" + BytesOf(WritePlainKnot(ARoot), true);
      return true;
    default: {
      bool outside;
      const std::u16string text = TextOf(ARoot, true, outside);
      if (outside) return false;
      ABytes = StringToAnsi(text);
      return true;
    }
  }
}
