#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
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
// Writing the text

namespace {

// TCustomXmlCodeWriter::EscapeValue on UTF-8, written at AOut, which has room for six bytes a byte of AValue and
// sixteen more. Returns the end of what was written; ANeedsQuotes tells whether the value needs quotes.
char* EscapeUtf8(std::string_view AValue, bool ADoubleQuoteMode, char* AOut, bool& ANeedsQuotes) {
  uint8_t seen = 0;
  const uint8_t change = ADoubleQuoteMode ? ValueEscapes::QuoteChange : ValueEscapes::EntityChange;
  const char* p = AValue.data();
  const char* const end = p + AValue.size();
#if defined(__SSE2__)
  // Sixteen bytes at a time are copied as they are up to the first one that changes; the bytes that call for
  // quotes are only noted. Either kind is ASCII, so the bytes of a longer UTF-8 sequence never match.
  const __m128i quote = _mm_set1_epi8('"'), amp = _mm_set1_epi8('&'), space = _mm_set1_epi8(' '),
                slash = _mm_set1_epi8('/'), gt = _mm_set1_epi8('>');
  unsigned quoting = 0;
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), v);
    __m128i changing, calling = _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, slash));
    if (ADoubleQuoteMode) {
      changing = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp));
      // TAB, LF and CR: the bytes 9 to 13 less VT and FF.
      const __m128i low = _mm_sub_epi8(v, _mm_set1_epi8(9));
      const __m128i white =
          _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(11)), _mm_cmpeq_epi8(v, _mm_set1_epi8(12))),
                           _mm_cmpeq_epi8(_mm_min_epu8(low, _mm_set1_epi8(4)), low));
      calling = _mm_or_si128(calling, _mm_or_si128(changing, _mm_or_si128(_mm_cmpeq_epi8(v, gt), white)));
      // Only a double quote of the changing bytes calls for quotes.
      calling = _mm_andnot_si128(_mm_cmpeq_epi8(v, amp), calling);
    } else {
      // The bytes 1 to 31, & < > and the double quote.
      const __m128i control = _mm_sub_epi8(v, _mm_set1_epi8(1));
      changing = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8(30)), control),
                              _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')), _mm_cmpeq_epi8(v, gt))));
    }
    quoting |= static_cast<unsigned>(_mm_movemask_epi8(calling));
    const unsigned changes = static_cast<unsigned>(_mm_movemask_epi8(changing));
    if (!changes) {
      p += 16;
      AOut += 16;
      continue;
    }
    const int plain = __builtin_ctz(changes);
    p += plain;
    AOut += plain;
    const auto c = static_cast<uint8_t>(*p++);
    seen |= ValueEscapes::Classes[c];
    if (!ADoubleQuoteMode) {
      AOut = ValueEscapes::PutEntity(AOut, c);
    } else if (c == '"') {
      *AOut++ = '"';
      *AOut++ = '"';
    } else {
      AOut = ValueEscapes::PutEntity(AOut, c);
    }
  }
  if (quoting) seen |= ADoubleQuoteMode ? ValueEscapes::QuoteQuotes : ValueEscapes::EntityQuotes;
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<uint8_t>(*p);
    const uint8_t cls = ValueEscapes::Classes[c];
    seen |= cls;
    if (!(cls & change)) {
      *AOut++ = static_cast<char>(c);
    } else if (ADoubleQuoteMode && c == '"') {
      *AOut++ = '"';
      *AOut++ = '"';
    } else {
      AOut = ValueEscapes::PutEntity(AOut, c);
    }
  }
  ANeedsQuotes = seen & (ADoubleQuoteMode ? ValueEscapes::QuoteQuotes : ValueEscapes::EntityQuotes);
  return AOut;
}

bool SurvivesAnsi(std::u16string_view AText) { return AnsiToString(StringToAnsi(AText)) == AText; }

}  // namespace

// Writes a tree as UTF-8 in the layout of an XML code writer indenting by one tab: into one buffer, or with a sink
// into the sink piece by piece. For the ANSI code page, a character of a value the code page does not hold is written
// as a character reference, so that no replacement or look-alike of the conversion can turn into markup; a name must
// be held whole.
class TKnotWriter {
 public:
  TKnotWriter(bool AForAnsi, TStream* ASink) : FForAnsi(AForAnsi), FSink(ASink) {}

  void Run(TKnot& ARoot) {
    // A text grown by doubling leaves a trail of freed buffers that the heap may hand back to the system: a tree
    // written before is given its last length and a little more at once. A sink needs a piece at a time only.
    TKnotBlockReserve* const reserve = ARoot.FName->Store ? ARoot.FName->Store->Reserve.get() : nullptr;
    Grow(!FSink && reserve && reserve->FTextSize ? reserve->FTextSize + reserve->FTextSize / 16 : kPiece);
    enter(&ARoot);
    while (!FStack.empty()) {
      TFrame& top = FStack.back();
      if (TKnot* child = top.NextChild) {
        top.NextChild = child->GetNextKnot();
        if (top.Options.Contains(koSkipEmptyChildren) && IsEmptyForWriting(child)) continue;
        enter(child);
        continue;
      }
      const TFrame f = top;
      FStack.pop_back();
      --FLevel;
      BeginText();
      Put("</");
      Put(NameOf(f.Knot));
      Put('>');
      finish(f);
    }
    if (FAnyLine) Put("\r\n");
    if (reserve) reserve->FTextSize = FWritten + static_cast<size_t>(FPos - FBuffer.get());
    PassOn();
  }

  // The text written, without a sink.
  std::string_view Text() const { return {FBuffer.get(), static_cast<size_t>(FPos - FBuffer.get())}; }

 private:
  struct TFrame {
    TKnot* Knot;
    TKnot* NextChild;
    TKnotOptions Options;
    bool Indenting, NewLines;
  };
  // What a sink is given at a time.
  static constexpr size_t kPiece = size_t(64) << 10;

  // Room for ASize more bytes at FPos: with a sink, what was written goes to it first.
  char* Room(size_t ASize) {
    if (static_cast<size_t>(FLimit - FPos) < ASize) MakeRoom(ASize);
    return FPos;
  }
  void MakeRoom(size_t ASize) {
    if (FSink) PassOn();
    const size_t used = static_cast<size_t>(FPos - FBuffer.get());
    if (static_cast<size_t>(FLimit - FPos) < ASize)
      Grow(std::max(used + ASize, 2 * static_cast<size_t>(FLimit - FBuffer.get())));
  }
  void Grow(size_t ACapacity) {
    const size_t used = static_cast<size_t>(FPos - FBuffer.get());
    if (FBuffer && ACapacity <= static_cast<size_t>(FLimit - FBuffer.get())) return;
    std::unique_ptr<char[]> bigger(new char[ACapacity]);
    if (used) std::memcpy(bigger.get(), FBuffer.get(), used);
    FBuffer = std::move(bigger);
    FPos = FBuffer.get() + used;
    FLimit = FBuffer.get() + ACapacity;
  }
  void PassOn() {
    if (!FSink) return;
    const size_t used = static_cast<size_t>(FPos - FBuffer.get());
    FWritten += used;
    FSink->WriteBuffer(FBuffer.get(), used);
    FPos = FBuffer.get();
  }
  void Put(char AChar) {
    *Room(1) = AChar;
    ++FPos;
  }
  void Put(std::string_view AText) {
    std::memcpy(Room(AText.size()), AText.data(), AText.size());
    FPos += AText.size();
  }

  // A line's first text is preceded by the indentation.
  void BeginText() {
    if (!FAnyLine) {
      FAnyLine = true;
      FAtLineStart = true;
    }
    if (FAtLineStart && FIndenting && FLevel >= 1) {
      std::memset(Room(static_cast<size_t>(FLevel)), '\t', static_cast<size_t>(FLevel));
      FPos += FLevel;
    }
    FAtLineStart = false;
  }
  void NewLine() {
    if (!FNewLines) return;
    if (FAnyLine) Put("\r\n");
    FAnyLine = true;
    FAtLineStart = true;
  }

  const std::string& NameOf(const TKnotName* AName) {
    if (FForAnsi && !SurvivesAnsi(AName->Text))
      throw EProgrammingError(u"The name \"" + AName->Text + u"\" lies outside the ANSI code page");
    return AName->Utf8;
  }
  const std::string& NameOf(const TKnot* AKnot) { return NameOf(AKnot->FName); }

  // Characters of the escaped value from AFrom that the code page does not hold become character references. No sink
  // is used for the code page, so the value is still in the buffer.
  void ProtectForAnsi(char* AFrom) {
    const std::string_view written(AFrom, static_cast<size_t>(FPos - AFrom));
    if (std::all_of(written.begin(), written.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; })) return;
    const std::u16string text = Utf8ToUtf16(written.data(), written.size());
    if (SurvivesAnsi(text)) return;
    FPos = AFrom;
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size();
      const std::u16string_view one(text.data() + i, pair ? 2 : 1);
      if (c < 0x80 || SurvivesAnsi(one)) {
        Put(Utf16ToUtf8(one));
      } else {
        for (char16_t unit : one) {
          Put("&#");
          Put(Utf16ToUtf8(IntToStr(unit)));
          Put(';');
        }
      }
      if (pair) ++i;
    }
  }

  // A string value escaped, between quotes unless the options allow none and it needs none.
  void PutString(std::string_view AValue, TKnotOptions AOptions) {
    // Written one byte on, leaving room for a quote in front: up to six bytes a byte ("&quot;"), sixteen the
    // escaping may write ahead, and the two quotes. It is found by its offset, as the code page's references may grow
    // the buffer.
    const size_t at = static_cast<size_t>(Room(6 * AValue.size() + 18) - FBuffer.get()) + 1;
    bool needsQuotes;
    FPos = EscapeUtf8(AValue, AOptions.Contains(koDoubleQuotes), FBuffer.get() + at, needsQuotes);
    if (FForAnsi) ProtectForAnsi(FBuffer.get() + at);
    char* const value = FBuffer.get() + at;
    if (!AOptions.Contains(koAllowUnquoted) || needsQuotes) {
      value[-1] = '"';
      Put('"');
    } else {
      std::memmove(value - 1, value, static_cast<size_t>(FPos - value));
      --FPos;
    }
  }

  // A stream as upper-case hexadecimal, two characters a byte, never escaped.
  void PutHex(TKnotParam* AParam, TKnotOptions AOptions) {
    const std::u16string hex = AParam->GetAsString();
    const bool quoted = !AOptions.Contains(koAllowUnquoted);
    char* out = Room(hex.size() + 2);
    if (quoted) *out++ = '"';
    for (const char16_t c : hex) *out++ = static_cast<char>(c);
    if (quoted) *out++ = '"';
    FPos = out;
  }

  void WriteParams(const TKnot* AKnot, TKnotOptions AOptions) {
    for (TKnotParam* p = AKnot->FirstParam(); p; p = p->Next()) {
      const std::string& name = NameOf(p->FName);
      char* out = Room(name.size() + 2);
      *out++ = ' ';
      std::memcpy(out, name.data(), name.size());
      out += name.size();
      if (p->Kind() == TKnotParamKind::pkNone) {
        FPos = out;
        continue;
      }
      *out++ = '=';
      FPos = out;
      if (p->Kind() == TKnotParamKind::pkString)
        PutString(p->Bytes(), AOptions);
      else
        PutHex(p, AOptions);
    }
  }

  // Emptiness of the children that koSkipEmptyChildren asks about, each subtree worked out once, children first.
  bool IsEmptyForWriting(TKnot* AKnot) {
    if (auto known = FEmptiness.find(AKnot); known != FEmptiness.end()) return known->second;
    std::vector<TKnot*> order;
    for (TKnot* k = AKnot; k; k = NextInSubtree(AKnot, k, true)) order.push_back(k);
    for (auto k = order.rbegin(); k != order.rend(); ++k) {
      bool empty = !(*k)->FirstParam();
      if (empty && (*k)->FirstChild()) {
        if ((*k)->Options().Contains(koOrderedChildren)) {
          empty = false;
        } else {
          for (TKnot* c = (*k)->FirstKnot(); c && empty; c = c->NextKnot()) empty = FEmptiness[c];
        }
      }
      FEmptiness[*k] = empty;
    }
    return FEmptiness[AKnot];
  }

  // After a knot's text: its line break, then the switches as they were before it.
  void finish(const TFrame& AFrame) {
    if (AFrame.Knot->Parent()) {
      const TKnot* next = AFrame.Knot->NextKnot();
      if (!next || !next->Options().Contains(koJoinPrevious)) NewLine();
    }
    FIndenting = AFrame.Indenting;
    FNewLines = AFrame.NewLines;
  }

  // Writes a knot up to its children; a knot with children stays on the stack until they are written.
  void enter(TKnot* AKnot) {
    TFrame f{AKnot, nullptr, AKnot->Options(), FIndenting, FNewLines};
    FIndenting = !f.Options.Contains(koNoIndent);
    FNewLines = !f.Options.Contains(koNoLineBreaks);
    const bool hasChildren = AKnot->FirstChild() != nullptr;
    const std::string& name = NameOf(AKnot);
    BeginText();
    Put('<');
    Put(name);
    if (!AKnot->FirstParam() && !hasChildren) {
      Put("/>");
      finish(f);
      return;
    }
    WriteParams(AKnot, f.Options);
    if (!hasChildren) {
      Put("/>");
      finish(f);
      return;
    }
    Put('>');
    NewLine();
    ++FLevel;
    f.NextChild = AKnot->GetFirstKnot();
    FStack.push_back(f);
  }

  const bool FForAnsi;
  TStream* const FSink;
  std::unique_ptr<char[]> FBuffer;
  char* FPos = nullptr;
  char* FLimit = nullptr;
  // Bytes passed on to the sink.
  size_t FWritten = 0;
  std::vector<TFrame> FStack;
  std::unordered_map<const TKnot*, bool> FEmptiness;
  bool FAnyLine = false;
  bool FAtLineStart = false;
  int FLevel = 0;
  bool FIndenting = true;
  bool FNewLines = true;
};

void TKnot::WriteTo(TCodeWriter& AWriter) {
  TKnotWriter writer(false, nullptr);
  writer.Run(*this);
  // The lines as they are, broken by the code writer; the last, the root's end, stays open as a knot leaves it.
  const bool indenting = AWriter.Indenting(), newLines = AWriter.NewLines();
  AWriter.SetIndenting(false);
  AWriter.SetNewLines(true);
  std::string_view text = writer.Text();
  for (bool first = true; !text.empty(); first = false) {
    if (!first) AWriter.NewLine();
    const size_t end = text.find("\r\n");
    AWriter.Write(Utf8ToUtf16(text.substr(0, end)));
    text.remove_prefix(std::min(text.size(), end + 2));
  }
  AWriter.SetIndenting(indenting);
  AWriter.SetNewLines(newLines);
}

std::u16string TKnot::SaveToString() {
  TKnotWriter writer(false, nullptr);
  writer.Run(*this);
  const std::string_view text = writer.Text();
  return Utf8ToUtf16(text.data(), text.size());
}

void TKnot::SaveToStream(TStream& AStream, TKnotEncoding AEncoding) {
  if (AEncoding == TKnotEncoding::keUtf8) {
    AStream.WriteBuffer("\xEF\xBB\xBF", 3);
    TKnotWriter(false, &AStream).Run(*this);
    return;
  }
  TKnotWriter writer(AEncoding == TKnotEncoding::keAnsi, nullptr);
  writer.Run(*this);
  const std::string_view text = writer.Text();
  switch (AEncoding) {
    case TKnotEncoding::keUtf16LE: {
      const std::string bytes = StringToUtf16LE(Utf8ToUtf16(text.data(), text.size()));
      AStream.WriteBuffer("\xFF\xFE", 2);
      AStream.WriteBuffer(bytes.data(), bytes.size());
      break;
    }
    case TKnotEncoding::keUtf16BE: {
      const std::string bytes = StringToUtf16BE(Utf8ToUtf16(text.data(), text.size()));
      AStream.WriteBuffer("\xFE\xFF", 2);
      AStream.WriteBuffer(bytes.data(), bytes.size());
      break;
    }
    default: {
      const std::string bytes = StringToAnsi(Utf8ToUtf16(text.data(), text.size()));
      AStream.WriteBuffer(bytes.data(), bytes.size());
      break;
    }
  }
}

void TKnot::SaveToFile(const std::u16string& AFileName, TKnotEncoding AEncoding) {
  const std::u16string temp = CreateTempFileBeside(AFileName);
  try {
    {
      TFileStream file(temp, TFileMode::fmCreate);
      SaveToStream(file, AEncoding);
      file.Flush();
    }
    MoveFileReplacing(temp, AFileName);
  } catch (...) {
    RemoveFile(temp);
    throw;
  }
}
