#include <algorithm>
#include <cstring>
#include <string>
#include <typeinfo>
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

// ASize bytes from AFrom at ATo without a call: names are short, and a save writes one for every knot and parameter.
inline char* PutShort(char* ATo, const char* AFrom, size_t ASize) {
  if (ASize > 16) {
    std::memcpy(ATo, AFrom, ASize);
  } else if (ASize >= 8) {
    // Two words that overlap for fewer than sixteen bytes.
    uint64_t head, tail;
    std::memcpy(&head, AFrom, sizeof(head));
    std::memcpy(&tail, AFrom + ASize - 8, sizeof(tail));
    std::memcpy(ATo, &head, sizeof(head));
    std::memcpy(ATo + ASize - 8, &tail, sizeof(tail));
  } else if (ASize >= 4) {
    uint32_t head, tail;
    std::memcpy(&head, AFrom, sizeof(head));
    std::memcpy(&tail, AFrom + ASize - 4, sizeof(tail));
    std::memcpy(ATo, &head, sizeof(head));
    std::memcpy(ATo + ASize - 4, &tail, sizeof(tail));
  } else {
    for (size_t i = 0; i < ASize; ++i) ATo[i] = AFrom[i];
  }
  return ATo + ASize;
}

}  // namespace

// Writes a tree as UTF-8 in the layout of an XML code writer indenting by one tab: into one buffer, straight into the
// memory of a memory stream it ends, or with another sink into the sink piece by piece. For the ANSI code page, a
// character of a value the code page does not hold is written as a character reference, so that no replacement or
// look-alike of the conversion can turn into markup; a name must be held whole.
class TKnotWriter {
 public:
  TKnotWriter(bool AForAnsi, TStream* ASink) : FForAnsi(AForAnsi), FSink(ASink) {
    // A memory stream is written where its bytes lie, not copied into it from a buffer of the writer's; a class
    // derived from it may write otherwise.
    if (ASink && typeid(*ASink) == typeid(TMemoryStream) && ASink->Position() == ASink->Size()) {
      FMemory = static_cast<TMemoryStream*>(ASink);
      FBase = static_cast<size_t>(FMemory->Size());
    }
  }

  void Run(TKnot& ARoot) {
    // A text grown by doubling is copied at every step and leaves a trail of freed buffers that the heap may hand
    // back to the system, only to take fresh pages again: a text is given once the length of the one last read into
    // or written from the same knot, or from the tree its save last built, and a little more. A sink other than a
    // memory stream needs a piece at a time only.
    TKnotStore* const store = ARoot.FName->Store;
    TKnotBlockReserve* const reserve = store ? store->Reserve.get() : nullptr;
    size_t known = store && store->Sized == &ARoot ? store->TextSize : 0;
    if (!known && reserve) known = reserve->FTextSize;
    const size_t size = known ? known + known / 16 : 0;
    if (FMemory) {
      if (size) FMemory->SetCapacity(FBase + size);
      MakeRoom(kPiece);
    } else {
      Grow(!FSink && size ? size : kPiece);
    }
    try {
      Write(ARoot);
    } catch (...) {
      // What was written stays, and no more.
      if (FMemory) FMemory->SetSize(FBase + static_cast<size_t>(FPos - FStart));
      throw;
    }
    const size_t written = FWritten + static_cast<size_t>(FPos - FStart);
    if (store) {
      store->Sized = &ARoot;
      store->TextSize = written;
    }
    if (reserve) reserve->FTextSize = written;
    if (FMemory) {
      FMemory->SetSize(FBase + written);
      FMemory->SetPosition(static_cast<int64_t>(FBase + written));
    } else {
      PassOn();
    }
  }

  // The text written, without a sink.
  std::string_view Text() const { return {FStart, static_cast<size_t>(FPos - FStart)}; }

 private:
  struct TFrame {
    TKnot* Knot;
    TKnot* Child;  // the child written last
    TKnotOptions Options;
    bool Indenting, NewLines;
  };
  // What a sink is given at a time, and what a memory stream grows by.
  static constexpr size_t kPiece = size_t(64) << 10;

  void Write(TKnot& ARoot) {
    enter(&ARoot);
    while (!FStack.empty()) {
      TFrame& top = FStack.back();
      // The next child is looked for only once the last one is written: it lies after that one's subtree, where the
      // writing has just been, not far ahead.
      if (TKnot* child = Flagged(top.Child ? top.Child->NextKnot() : top.Knot->FirstKnot())) {
        top.Child = child;
        if (top.Options.Contains(koSkipEmptyChildren) && IsEmptyForWriting(child)) continue;
        enter(child);
        continue;
      }
      const TFrame f = top;
      FStack.pop_back();
      --FLevel;
      const std::string& name = NameOf(f.Knot);
      BeginText(name.size() + 3);
      FPos[0] = '<';
      FPos[1] = '/';
      FPos = PutShort(FPos + 2, name.data(), name.size());
      *FPos++ = '>';
      finish(f);
    }
    if (FAnyLine) Put("\r\n");
  }

  // Room for ASize more bytes at FPos: with a sink, what was written goes to it first.
  char* Room(size_t ASize) {
    if (static_cast<size_t>(FLimit - FPos) < ASize) MakeRoom(ASize);
    return FPos;
  }
  void MakeRoom(size_t ASize) {
    const size_t used = static_cast<size_t>(FPos - FStart);
    if (FMemory) {
      // Within the capacity given at the start the stream's bytes stay where they are.
      const size_t size = FBase + used + std::max(ASize, kPiece);
      FMemory->SetSize(static_cast<int64_t>(size));
      char* const memory = reinterpret_cast<char*>(FMemory->Memory());
      FStart = memory + FBase;
      FPos = FStart + used;
      FLimit = memory + size;
      return;
    }
    if (FSink) PassOn();
    if (static_cast<size_t>(FLimit - FPos) < ASize)
      Grow(std::max(static_cast<size_t>(FPos - FStart) + ASize, 2 * static_cast<size_t>(FLimit - FStart)));
  }
  void Grow(size_t ACapacity) {
    const size_t used = static_cast<size_t>(FPos - FStart);
    if (FOwned && ACapacity <= static_cast<size_t>(FLimit - FStart)) return;
    std::unique_ptr<char[]> bigger(new char[ACapacity]);
    if (used) std::memcpy(bigger.get(), FStart, used);
    FOwned = std::move(bigger);
    FStart = FOwned.get();
    FPos = FStart + used;
    FLimit = FStart + ACapacity;
  }
  void PassOn() {
    if (!FSink || FMemory) return;
    const size_t used = static_cast<size_t>(FPos - FStart);
    FWritten += used;
    FSink->WriteBuffer(FStart, used);
    FPos = FStart;
  }
  void Put(char AChar) {
    *Room(1) = AChar;
    ++FPos;
  }
  void Put(std::string_view AText) { FPos = PutShort(Room(AText.size()), AText.data(), AText.size()); }

  // A line's first text is preceded by the indentation. Room for ATextSize bytes of text follows it.
  void BeginText(size_t ATextSize) {
    if (!FAnyLine) {
      FAnyLine = true;
      FAtLineStart = true;
    }
    const size_t tabs = FAtLineStart && FIndenting && FLevel >= 1 ? static_cast<size_t>(FLevel) : 0;
    // Sixteen tabs are written at once, more than most levels need.
    char* out = Room(std::max(tabs, size_t(16)) + ATextSize);
    if (tabs <= 16)
      std::memcpy(out, "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t", 16);
    else
      std::memset(out, '\t', tabs);
    FPos = out + tabs;
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
  // As GetNextKnot and GetFirstKnot flag the knot they give: a written tree has its knots flagged as read.
  static TKnot* Flagged(TKnot* AKnot) {
    if (AKnot) AKnot->SetUsed(true);
    return AKnot;
  }

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
    const size_t at = static_cast<size_t>(Room(6 * AValue.size() + 18) - FStart) + 1;
    bool needsQuotes;
    FPos = EscapeUtf8(AValue, AOptions.Contains(koDoubleQuotes), FStart + at, needsQuotes);
    if (FForAnsi) ProtectForAnsi(FStart + at);
    char* const value = FStart + at;
    if (!AOptions.Contains(koAllowUnquoted) || needsQuotes) {
      value[-1] = '"';
      Put('"');
    } else {
      std::memmove(value - 1, value, static_cast<size_t>(FPos - value));
      --FPos;
    }
  }

  // A stream as upper-case hexadecimal, two characters a byte, never escaped: turned into text where its bytes lie,
  // or a piece at a time as they are read, never copied whole first.
  void PutHex(TKnotParam* AParam, TKnotOptions AOptions) {
    AParam->SetUsed(true);
    const bool quoted = !AOptions.Contains(koAllowUnquoted);
    if (quoted) Put('"');
    if (TStream* stream = AParam->Stream()) {
      const int64_t position = stream->Position();
      const auto size = static_cast<size_t>(stream->Size());
      if (typeid(*stream) == typeid(TMemoryStream)) {
        PutHexBytes(static_cast<TMemoryStream*>(stream)->Memory(), size);
      } else {
        stream->SetPosition(0);
        uint8_t piece[4096];
        for (size_t left = size; left;) {
          const size_t n = std::min(left, sizeof(piece));
          stream->ReadBuffer(piece, n);
          PutHexBytes(piece, n);
          left -= n;
        }
      }
      stream->SetPosition(position);
    }
    if (quoted) Put('"');
  }
  void PutHexBytes(const uint8_t* ABytes, size_t ASize) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    while (ASize) {
      // A piece at a time, so that a sink's buffer stays the size of a piece.
      const size_t n = std::min(ASize, kPiece / 2);
      char* out = Room(2 * n);
      size_t i = 0;
#if defined(__SSE2__)
      // Sixteen bytes at a time: a nibble n becomes '0' + n, and seven more from 10 on, giving 'A' to 'F'.
      const __m128i nibble = _mm_set1_epi8(0x0F), nine = _mm_set1_epi8(9), zero = _mm_set1_epi8('0'),
                    letters = _mm_set1_epi8('A' - '0' - 10);
      auto digits = [&](__m128i ANibbles) {
        return _mm_add_epi8(_mm_add_epi8(ANibbles, zero), _mm_and_si128(_mm_cmpgt_epi8(ANibbles, nine), letters));
      };
      for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ABytes + i));
        const __m128i high = digits(_mm_and_si128(_mm_srli_epi16(v, 4), nibble));
        const __m128i low = digits(_mm_and_si128(v, nibble));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(high, low));
        out += 32;
      }
#endif
      for (; i < n; ++i) {
        *out++ = kDigits[ABytes[i] >> 4];
        *out++ = kDigits[ABytes[i] & 15];
      }
      FPos = out;
      ABytes += n;
      ASize -= n;
    }
  }

  void WriteParams(const TKnot* AKnot, TKnotOptions AOptions) {
    for (TKnotParam* p = AKnot->FirstParam(); p; p = p->Next()) {
      const std::string& name = NameOf(p->FName);
      char* out = Room(name.size() + 2);
      *out++ = ' ';
      out = PutShort(out, name.data(), name.size());
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
    BeginText(name.size() + 1);
    *FPos = '<';
    FPos = PutShort(FPos + 1, name.data(), name.size());
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
    FStack.push_back(f);
  }

  const bool FForAnsi;
  TStream* const FSink;
  // The sink when it is a memory stream that the text ends, and where the text starts in it.
  TMemoryStream* FMemory = nullptr;
  size_t FBase = 0;
  std::unique_ptr<char[]> FOwned;
  char* FStart = nullptr;
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
