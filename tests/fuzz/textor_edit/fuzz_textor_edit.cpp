// Random edits of a text: insertions with CR, LF and TAB, embedded elements, deletions, attributes, paragraph
// splits, whole-text operations, re-insertion under new permissions, moves, index conversions and layouts at random
// widths, alone or batched in updates. After every step the engine must agree with a plain model (one string per
// paragraph, one attributes choice per character) and keep its invariants: portions point back to their paragraph,
// none is empty, every position it hands out is in normal form; after every layout the rows cover their paragraph
// end to end, are as wide and as high as their content measures, and equal what a full layout from scratch gives.
#include "document/text/diTextor.h"
#include "tests/document/TestTextAttributes.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool ACondition, const char* AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "textor edit: %s\n", AWhat);
  std::abort();
}

// With TEXTOR_TRACE set, each step is written to stderr: a failing input read as the steps that lead to it.
const bool Tracing = std::getenv("TEXTOR_TRACE") != nullptr;

void Trace(const char* AFormat, ...) {
  if (!Tracing) return;
  va_list args;
  va_start(args, AFormat);
  std::vfprintf(stderr, AFormat, args);
  va_end(args);
  std::fputc('\n', stderr);
}

std::string Show(std::u16string_view AText) {
  std::string s;
  char hex[8];
  for (char16_t c : AText) {
    if (c >= 32 && c < 127 && c != '\\') {
      s += static_cast<char>(c);
    } else {
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      s += hex;
    }
  }
  return s;
}

class TReader {
 public:
  TReader(const uint8_t* AData, size_t ASize) : FData(AData), FSize(ASize) {}
  bool Empty() const { return FPos >= FSize; }
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  // 0 .. ACount - 1 (ACount > 0).
  int32_t Below(int32_t ACount) {
    const uint32_t v = Byte() | (static_cast<uint32_t>(Byte()) << 8);
    return static_cast<int32_t>(v % static_cast<uint32_t>(ACount));
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// Characters the edits draw from: line breaks and tabs in every pairing, spaces, letters and digits of several
// scripts, punctuation, the no-break space, surrogate halves and the highest code unit.
constexpr std::array<char16_t, 24> Alphabet{
    u'a', u'b',      u'W',      u' ',      u' ', u'\t',     u'\t',     u'\r',     u'\n', u'.',      u',', u'_',
    u'1', u'\x0436', u'\x00A0', u'\x4E2D', u'-', u'\xD83D', u'\xDE00', u'\xFFFF', u'x',  u'\x0661', u'(', u'y'};

// An embedded element stands in the model as a private-use character that names its size; the alphabet has none.
constexpr char16_t ElementBase = 0xE000;
struct TElementSize {
  int32_t Width, Height, Descent;
};
constexpr std::array<TElementSize, 4> ElementSizes{{{20, 20, 0}, {100, 30, 5}, {3, 2, 0}, {130, 12, 12}}};
bool IsElement(char16_t C) { return C >= ElementBase && C < ElementBase + ElementSizes.size(); }
// A TAB stored as a tab stop; a TAB in a run of characters is measured as any other character.
constexpr char16_t TabStop = 0xE010;
char16_t Plain(char16_t C) { return C == TabStop ? u'\t' : C; }

constexpr int32_t CharWidth = 7, Ascent = 10, Descent = 3, TabWidth = 56;
// Element margins: left, top, right, bottom.
constexpr int32_t MarginLeft = 1, MarginTop = 1, MarginRight = 2, MarginBottom = 1;
constexpr int32_t PaddingLeft = 4, PaddingTop = 6;

// The text as a user sees it, beside the per-character choice of attributes (0 = nil, the default) and the own
// attributes of each paragraph.
struct TModel {
  std::vector<std::u16string> Text{u""};
  std::vector<std::vector<uint8_t>> Attrs{{}};
  std::vector<uint8_t> ParagraphText{0};
  std::vector<uint8_t> ParagraphLayout{0};

  int32_t Count() const { return static_cast<int32_t>(Text.size()); }
  int32_t Length(int32_t P) const { return static_cast<int32_t>(Text[P].size()); }
  int32_t CharAt(int32_t P, int32_t C) const { return IsElement(Text[P][C]) ? -1 : Plain(Text[P][C]); }

  void InsertRun(TIndexPosition& AAt, std::u16string_view ARun, uint8_t AAttr) {
    Text[AAt.ParagraphIndex].insert(AAt.CharIndex, ARun);
    auto& a = Attrs[AAt.ParagraphIndex];
    a.insert(a.begin() + AAt.CharIndex, ARun.size(), AAttr);
    AAt.CharIndex += static_cast<int32_t>(ARun.size());
  }
  // Portions move to the new paragraph with the old one's own text attributes; an empty tail takes AAttr.
  void Split(TIndexPosition& AAt, uint8_t AAttr) {
    const int32_t p = AAt.ParagraphIndex, c = AAt.CharIndex;
    const bool moved = c < Length(p);
    Text.insert(Text.begin() + p + 1, Text[p].substr(c));
    Text[p].resize(c);
    Attrs.insert(Attrs.begin() + p + 1, std::vector<uint8_t>(Attrs[p].begin() + c, Attrs[p].end()));
    Attrs[p].resize(c);
    ParagraphText.insert(ParagraphText.begin() + p + 1, moved ? ParagraphText[p] : AAttr);
    ParagraphLayout.insert(ParagraphLayout.begin() + p + 1, ParagraphLayout[p]);
    AAt = {p + 1, 0};
  }
  // CR, LF, CR LF and LF CR are one break each when breaks are allowed; TABs become tab stops when tabs are.
  void InsertText(TIndexPosition& AAt, std::u16string AText, bool ALineBreaks, bool ATabs, uint8_t AAttr) {
    if (ATabs) std::replace(AText.begin(), AText.end(), u'\t', TabStop);
    size_t i = 0;
    while (i < AText.size()) {
      size_t j = i;
      if (ALineBreaks)
        while (j < AText.size() && AText[j] != u'\r' && AText[j] != u'\n') ++j;
      else
        j = AText.size();
      InsertRun(AAt, AText.substr(i, j - i), AAttr);
      if (j == AText.size()) break;
      const char16_t other = AText[j] == u'\r' ? u'\n' : u'\r';
      ++j;
      if (j < AText.size() && AText[j] == other) ++j;
      Split(AAt, AAttr);
      i = j;
    }
  }
  void Delete(TIndexPosition A, TIndexPosition B) {
    if (A.ParagraphIndex == B.ParagraphIndex) {
      Text[A.ParagraphIndex].erase(A.CharIndex, B.CharIndex - A.CharIndex);
      auto& a = Attrs[A.ParagraphIndex];
      a.erase(a.begin() + A.CharIndex, a.begin() + B.CharIndex);
      return;
    }
    Text[A.ParagraphIndex] = Text[A.ParagraphIndex].substr(0, A.CharIndex) + Text[B.ParagraphIndex].substr(B.CharIndex);
    auto& a = Attrs[A.ParagraphIndex];
    a.resize(A.CharIndex);
    a.insert(a.end(), Attrs[B.ParagraphIndex].begin() + B.CharIndex, Attrs[B.ParagraphIndex].end());
    Text.erase(Text.begin() + A.ParagraphIndex + 1, Text.begin() + B.ParagraphIndex + 1);
    Attrs.erase(Attrs.begin() + A.ParagraphIndex + 1, Attrs.begin() + B.ParagraphIndex + 1);
    ParagraphText.erase(ParagraphText.begin() + A.ParagraphIndex + 1, ParagraphText.begin() + B.ParagraphIndex + 1);
    ParagraphLayout.erase(ParagraphLayout.begin() + A.ParagraphIndex + 1,
                          ParagraphLayout.begin() + B.ParagraphIndex + 1);
  }
  // Paragraphs joined by CR LF, elements left out.
  std::u16string RangeText(TIndexPosition A, TIndexPosition B) const {
    std::u16string s;
    for (int32_t p = A.ParagraphIndex; p <= B.ParagraphIndex; ++p) {
      const int32_t from = p == A.ParagraphIndex ? A.CharIndex : 0;
      const int32_t to = p == B.ParagraphIndex ? B.CharIndex : Length(p);
      for (int32_t c = from; c < to; ++c)
        if (!IsElement(Text[p][c])) s += Plain(Text[p][c]);
      if (p != B.ParagraphIndex) s += u"\r\n";
    }
    return s;
  }
  bool Valid(TIndexPosition A) const {
    return A.ParagraphIndex >= 0 && A.ParagraphIndex < Count() && A.CharIndex >= 0 &&
           A.CharIndex <= Length(A.ParagraphIndex);
  }
};

bool IndexBefore(TIndexPosition A, TIndexPosition B) {
  return A.ParagraphIndex != B.ParagraphIndex ? A.ParagraphIndex < B.ParagraphIndex : A.CharIndex < B.CharIndex;
}

// The base rule of words: a run of word characters or of other non-blank characters, then its white space.
bool ModelSameWord(int32_t APrev, int32_t ANext) {
  if (APrev < 0 || ANext < 0) return false;
  auto blank = [](int32_t C) { return C == u' ' || C == u'\t'; };
  if (blank(ANext)) return true;
  if (IsWordChar(APrev) != IsWordChar(ANext)) return false;
  return !blank(APrev);
}

// Width of characters [AFrom, ATo) of a paragraph drawn from x 0.
int32_t ModelWidth(const std::u16string& AText, int32_t AFrom, int32_t ATo) {
  int32_t x = 0;
  for (int32_t c = AFrom; c < ATo; ++c) {
    const char16_t ch = AText[c];
    if (ch == TabStop)
      x = (x / TabWidth + 1) * TabWidth;
    else if (IsElement(ch))
      x += ElementSizes[ch - ElementBase].Width + MarginLeft + MarginRight;
    else
      x += CharWidth;
  }
  return x;
}

struct TRowShot {
  TIndexPosition Start, End;
  int32_t Bottom, Width, Descent, Left;
  TRowKind Kind;
  friend bool operator==(const TRowShot&, const TRowShot&) = default;
};

class TSession {
 public:
  explicit TSession(uint8_t AFlags) {
    FLayout[1].FirstLineIndent = 14;
    FLayout[2].LeftIndent = 10;
    FLayout[2].RightIndent = 20;
    FLayout[2].SetAlignment(paRight);
    FLayout[3].LeftIndent = 3;
    FLayout[3].FirstLineIndent = -3;
    FLayout[3].SetAlignment(paCenter);
    for (int i = 1; i < 4; ++i) {
      FText[i].SetTag(std::u16string(1, static_cast<char16_t>(u'0' + i)));
      FTextChoice[i] = &FText[i];
      FLayoutChoice[i] = &FLayout[i];
    }
    Textor.DefaultText = &FText[0];
    Textor.LineBreaks = (AFlags & 1) != 0;
    Textor.Tabs = (AFlags & 2) != 0;
    Textor.Margins = TRect{MarginLeft, MarginTop, MarginRight, MarginBottom};
    Textor.Padding = TRect{PaddingLeft, PaddingTop, 0, 0};
    Textor.WrapWidth = (AFlags >> 2) * 5;
    Textor.EndFormatUpdate();
  }
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  void Run(TReader& AReader);

 private:
  void Step(TReader& AReader);
  TIndexPosition ReadPosition(TReader& AReader) const {
    const int32_t p = AReader.Below(Model.Count());
    return {p, AReader.Below(Model.Length(p) + 1)};
  }
  std::u16string ReadText(TReader& AReader) const {
    std::u16string s(AReader.Byte() % 12, u' ');
    for (char16_t& c : s) c = Alphabet[AReader.Byte() % Alphabet.size()];
    return s;
  }
  TTextPosition ToPosition(TIndexPosition AIndex) const {
    TTextPosition position;
    Check(Textor.IndexToPosition(AIndex, position), "a valid index position does not convert");
    CheckPosition(position);
    Check(Textor.PositionToIndex(position) == AIndex, "an index position does not convert back");
    return position;
  }
  void CheckPosition(const TTextPosition& APosition) const {
    Check(APosition.Paragraph && APosition.Paragraph->Textor() == &Textor, "a position outside the text");
    if (APosition.Portion) {
      Check(APosition.Portion->Paragraph() == APosition.Paragraph, "a position's portion is in another paragraph");
      Check(APosition.Offset >= 0 && APosition.Offset < APosition.Portion->Length(), "a position not in normal form");
    } else {
      Check(APosition.Offset == 0, "a paragraph end with an offset");
    }
  }
  TIndexPosition Index(const TTextPosition& APosition) const {
    CheckPosition(APosition);
    return Textor.PositionToIndex(APosition);
  }
  int32_t PortionCount(int32_t AParagraph) const {
    int32_t count = 0;
    for (const TPortion* p = Textor.ParagraphAt(AParagraph)->FirstPortion(); p; p = p->Next()) ++count;
    return count;
  }
  // Insertion keeps portions few: it goes into the portion at the place or the one before it when that is of the
  // kind and holds the very attributes; else a new portion, splitting the one at the place when inside it.
  int32_t PortionsAdded(TIndexPosition AAt, TPortionKind AKind, const TTextAttributes* AAttributes) const {
    const TTextPosition at = ToPosition(AAt);
    auto takes = [&](const TPortion* P) { return P && P->Kind() == AKind && P->Attributes() == AAttributes; };
    if (takes(at.Portion)) return 0;
    const TPortion* before = at.Portion ? at.Portion->Previous() : at.Paragraph->LastPortion();
    if (at.Offset == 0 && takes(before)) return 0;
    return at.Offset > 0 ? 2 : 1;
  }
  void CheckModel() const;
  void CheckMoves(TIndexPosition AAt) const;
  void CheckHits(TIndexPosition AAt, bool APreferNext) const;
  void CheckWalk(TIndexPosition A, TIndexPosition B, const TTextRange& ARange, bool AIncludeLastEnd) const;
  void CheckPaint(TIndexPosition A, TIndexPosition B, uint8_t AFlags);
  void CheckLayout(bool AFull);
  std::vector<TRowShot> Shot() const;

  // The attributes outlive the textor that holds them: declared first, destroyed last. Choice 0 is nil, the
  // default (FText[0]).
  std::array<TTestTextAttributes, 4> FText;
  std::array<TTestParagraphAttributes, 4> FLayout;
  std::array<TTextAttributes*, 4> FTextChoice{};
  std::array<TParagraphAttributes*, 4> FLayoutChoice{};
  int FElements = 0;  // alive
  int FFreed = 0;     // freed by their portions
  int FCreated = 0;
  int FBatchDepth = 0;

 public:
  // Format-locked until the host's answers are set, as an owner does.
  TTestTextor Textor{true};
  TModel Model;
};

void TSession::CheckModel() const {
  const int32_t count = Textor.ParagraphCount();
  Check(count == Model.Count(), "paragraph count differs from the model");
  int32_t p = 0;
  const TParagraph* previous = nullptr;
  int elements = 0;
  for (const TParagraph* paragraph = Textor.FirstParagraph(); paragraph; paragraph = paragraph->Next(), ++p) {
    Check(paragraph->Textor() == &Textor, "a paragraph points to another textor");
    Check(paragraph->Previous() == previous, "paragraph links broken");
    Check(Textor.IndexOfParagraph(paragraph) == p && Textor.ParagraphAt(p) == paragraph, "paragraph index wrong");
    Check(paragraph->TextAttributes() == FTextChoice[Model.ParagraphText[p]], "paragraph text attributes differ");
    Check(paragraph->ParagraphAttributes() == FLayoutChoice[Model.ParagraphLayout[p]], "paragraph attributes differ");
    previous = paragraph;
    const std::u16string& text = Model.Text[p];
    int32_t c = 0;
    const TPortion* before = nullptr;
    for (const TPortion* portion = paragraph->FirstPortion(); portion; portion = portion->Next()) {
      Check(portion->Paragraph() == paragraph, "a portion does not point back to its paragraph");
      Check(portion->Previous() == before, "portion links broken");
      Check(portion->Length() > 0, "an empty portion");
      Check(c + portion->Length() <= static_cast<int32_t>(text.size()), "a paragraph longer than the model");
      Check(paragraph->CharIndexOf(portion, 0) == c, "CharIndexOf differs from the portion walk");
      if (portion->Kind() == TPortionKind::pkElement) {
        Check(portion->Length() == 1, "an element portion of more than one character");
        Check(IsElement(text[c]), "an element where the model has a character");
        auto* element = static_cast<TTestEmbeddedElement*>(static_cast<const TElementPortion*>(portion)->Element());
        const TElementSize& size = ElementSizes[text[c] - ElementBase];
        Check(element->Portion == portion, "an element does not point back to its portion");
        Check(element->Bounds.Width() == size.Width && element->Bounds.Height() == size.Height,
              "an element changed its size");
        ++elements;
      } else {
        for (int32_t i = 0; i < portion->Length(); ++i)
          Check((text[c + i] == TabStop) == (portion->Kind() == TPortionKind::pkTabStops),
                "a tab stop in a run of characters or a character among tab stops");
      }
      for (int32_t i = 0; i < portion->Length(); ++i, ++c) {
        const int32_t expected = Model.CharAt(p, c);
        Check(portion->GetChar(i) == expected, "a character differs from the model");
        Check(portion->Attributes() == FTextChoice[Model.Attrs[p][c]],
              "a character's attributes differ from the model");
      }
      before = portion;
    }
    Check(paragraph->LastPortion() == before, "the last portion is not the last one linked");
    Check(c == static_cast<int32_t>(text.size()), "a paragraph shorter than the model");
    Check(paragraph->IsEmpty() == text.empty(), "IsEmpty differs from the model");
  }
  Check(Textor.LastParagraph() == previous, "the last paragraph is not the last one linked");
  Check(elements == FElements && FCreated - FFreed == FElements, "embedded elements leaked or freed twice");
  const std::u16string whole = Model.RangeText({0, 0}, {Model.Count() - 1, Model.Length(Model.Count() - 1)});
  Check(Textor.GetText() == whole, "GetText differs from the model");
  Check(Textor.IsEmpty() == (Model.Count() == 1 && Model.Text[0].empty()), "IsEmpty of the text is wrong");
}

// Character, word and attribute reads at one place, against the model.
void TSession::CheckMoves(TIndexPosition AAt) const {
  const int32_t p = AAt.ParagraphIndex, c = AAt.CharIndex, len = Model.Length(p);
  const bool lastParagraph = p == Model.Count() - 1;
  const TTextPosition at = ToPosition(AAt);

  TTextPosition next;
  int32_t ch = 0;
  Check(Textor.NextChar(at, next, ch) == (c < len), "NextChar at the wrong places");
  if (c < len) Check(ch == Model.CharAt(p, c) && Index(next) == TIndexPosition{p, c + 1}, "NextChar is wrong");
  Check(Textor.PreviousChar(at, next, ch) == (c > 0), "PreviousChar at the wrong places");
  if (c > 0) Check(ch == Model.CharAt(p, c - 1) && Index(next) == TIndexPosition{p, c - 1}, "PreviousChar is wrong");

  TIndexPosition expected = AAt;
  if (c < len)
    expected.CharIndex = c + 1;
  else if (!lastParagraph)
    expected = {p + 1, 0};
  Check(Index(Textor.NextCharPosition(at)) == expected, "NextCharPosition is wrong");
  expected = AAt;
  if (c > 0)
    expected.CharIndex = c - 1;
  else if (p > 0)
    expected = {p - 1, Model.Length(p - 1)};
  Check(Index(Textor.PreviousCharPosition(at)) == expected, "PreviousCharPosition is wrong");

  TTextPosition word;
  Check(Textor.WordRight(at, word) == (c < len), "WordRight answers at the wrong places");
  if (c < len) {
    int32_t e = c + 1;
    while (e < len && ModelSameWord(Model.CharAt(p, e - 1), Model.CharAt(p, e))) ++e;
    Check(Index(word) == TIndexPosition{p, e}, "WordRight lands elsewhere than the model");
  }
  int32_t s = c;
  if (lastParagraph && c == len && c > 0) --s;
  while (s > 0 && s < len && ModelSameWord(Model.CharAt(p, s - 1), Model.CharAt(p, s))) --s;
  if (!(lastParagraph && c == len && c == 0)) {
    const bool moved = Textor.WordLeft(at, word);
    Check(Index(word) == TIndexPosition{p, s}, "WordLeft lands elsewhere than the model");
    Check(moved == (s != c), "WordLeft reports a move wrongly");
  }

  const uint8_t attr = c > 0 ? Model.Attrs[p][c - 1] : len > 0 ? Model.Attrs[p][0] : Model.ParagraphText[p];
  Check(Textor.GetAttributesAt(at) == FTextChoice[attr], "GetAttributesAt differs from the model");
  Check(Textor.IsAtParagraphEdge(at, true) == (c == len) && Textor.IsAtParagraphEdge(at, false) == (c == 0),
        "IsAtParagraphEdge is wrong");
  Check(Textor.IsAtTextEdge(at, true) == (c == len && lastParagraph) &&
            Textor.IsAtTextEdge(at, false) == (c == 0 && p == 0),
        "IsAtTextEdge is wrong");
  Check((Textor.ElementAt(at, true) != nullptr) == (c < len && IsElement(Model.Text[p][c])), "ElementAt forwards");
  Check((Textor.ElementAt(at, false) != nullptr) == (c > 0 && IsElement(Model.Text[p][c - 1])), "ElementAt back");
}

// A walk over a range gives its pieces in order without gaps, and the paragraph ends inside it; comparisons of
// positions follow the indexes.
void TSession::CheckWalk(TIndexPosition A, TIndexPosition B, const TTextRange& ARange, bool AIncludeLastEnd) const {
  TIndexPosition at = A;
  bool lastEnd = false;
  Textor.IterateRange(ARange, AIncludeLastEnd, [&](const TTextPiece& APiece) {
    const int32_t p = Textor.IndexOfParagraph(APiece.Paragraph);
    Check(!lastEnd && p == at.ParagraphIndex, "a walk leaves out or repeats a paragraph");
    if (!APiece.Portion) {
      Check(at.CharIndex == Model.Length(p), "a paragraph end before the paragraph's last piece");
      if (p == B.ParagraphIndex)
        lastEnd = true;
      else
        at = {p + 1, 0};
      return true;
    }
    Check(APiece.Count > 0 && APiece.Portion->Paragraph() == APiece.Paragraph, "an empty or foreign piece");
    Check(APiece.Paragraph->CharIndexOf(APiece.Portion, APiece.Offset) == at.CharIndex, "a gap in the walk");
    at.CharIndex += APiece.Count;
    return true;
  });
  Check(at == B, "a walk ends elsewhere than the range");
  Check(lastEnd == (AIncludeLastEnd && B.CharIndex == Model.Length(B.ParagraphIndex)), "the last end walked wrongly");
  Check(Textor.IsBefore(ARange.Start, ARange.End) == IndexBefore(A, B) && !Textor.IsBefore(ARange.End, ARange.Start),
        "IsBefore differs from the indexes");
  Check(Textor.IsPositionInRange(ARange.Start, ARange) == IndexBefore(A, B) &&
            !Textor.IsPositionInRange(ARange.End, ARange),
        "IsPositionInRange includes the end or leaves out the start");
}

std::vector<TRowShot> TSession::Shot() const {
  std::vector<TRowShot> rows;
  for (const TParagraph* paragraph = Textor.FirstParagraph(); paragraph; paragraph = paragraph->Next())
    for (const TRow* row = paragraph->FirstRow(); row; row = row->GetNextRow())
      rows.push_back({Index(row->GetStartPosition()), Index(row->GetEndPosition()), row->Bottom, row->Width,
                      row->Descent, row->GetLeft(), row->Kind()});
  return rows;
}

// The rows against the model's measures; then, with AFull, a full layout from scratch must give the same rows.
void TSession::CheckLayout(bool AFull) {
  Check(!Textor.LayoutPending() && Textor.FormatLock() == 0, "a layout is pending outside an update");
  const int32_t wrap = Textor.WrapWidth;
  int32_t top = 0, widest = 0;
  int32_t p = 0;
  for (const TParagraph* paragraph = Textor.FirstParagraph(); paragraph; paragraph = paragraph->Next(), ++p) {
    Check(paragraph->Formatted() && paragraph->Positioned(), "a paragraph is not laid out");
    const TRow* row = paragraph->FirstRow();
    Check(row && row->GetPreviousRow() == nullptr, "a paragraph without rows");
    Check(row->GetStartPosition() == paragraph->GetBeginPosition(), "the first row does not start the paragraph");
    const std::u16string& text = Model.Text[p];
    const TTestParagraphAttributes* layout = Model.ParagraphLayout[p] ? &FLayout[Model.ParagraphLayout[p]] : nullptr;
    const int32_t first = layout ? layout->FirstLineIndent : 0, left = layout ? layout->LeftIndent : 0,
                  right = layout ? layout->RightIndent : 0;
    const uint8_t alignment = layout ? layout->Alignment() : paLeft;
    const bool single = !row->GetNextRow();
    Check(wrap > 0 || single, "a paragraph wrapped without a wrap width");
    if (wrap > 0 && ModelWidth(text, 0, Model.Length(p)) <= std::max(1, wrap - (left + first + right)))
      Check(single, "a paragraph that fits its width was wrapped");
    for (bool isFirst = true; row; row = row->GetNextRow(), isFirst = false) {
      Check(row->GetParagraph() == paragraph, "a row points to another paragraph");
      const TRow* following = row->GetNextRow();
      Check(!following || following->GetPreviousRow() == row, "row links broken");
      if (single)
        Check(row->Kind() == TRowKind::rkWholeParagraph, "a one-row paragraph without a whole-paragraph row");
      else
        Check(row->Kind() == (isFirst     ? TRowKind::rkWrappedFirst
                              : following ? TRowKind::rkWrappedInner
                                          : TRowKind::rkWrappedLast),
              "a row of the wrong kind");
      if (following)
        Check(row->GetEndPosition() == following->GetStartPosition(), "a row does not end where the next starts");
      else
        Check(row->GetEndPosition() == paragraph->GetEndPosition(), "the last row does not end the paragraph");
      const TIndexPosition s = Index(row->GetStartPosition()), e = Index(row->GetEndPosition());
      Check(s.ParagraphIndex == p && e.ParagraphIndex == p, "a row reaches into another paragraph");
      Check(single || s.CharIndex < e.CharIndex, "a wrapped row without characters");
      const int32_t width = ModelWidth(text, s.CharIndex, e.CharIndex);
      Check(row->Width == width, "a row's width is not its content's width from the row's start");
      const int32_t avail = std::max(1, wrap - (left + right + (isFirst ? first : 0)));
      if (wrap > 0) Check(width <= avail || e.CharIndex - s.CharIndex == 1, "a row wider than the wrap width");
      int32_t ascent = Ascent, descent = Descent;
      for (int32_t c = s.CharIndex; c < e.CharIndex; ++c)
        if (IsElement(text[c])) {
          const TElementSize& size = ElementSizes[text[c] - ElementBase];
          ascent = std::max(ascent, size.Height + MarginTop - size.Descent);
          descent = std::max(descent, size.Descent + MarginBottom);
        }
      Check(row->GetTop() == top, "a row does not start at the bottom of the row before it");
      Check(row->Bottom - top == ascent + descent && row->Descent == descent, "a row's height is not its content's");
      int32_t expectedLeft = left + (isFirst ? first : 0);
      if (wrap > 0 && alignment == paRight)
        expectedLeft = wrap - right - width;
      else if (wrap > 0 && alignment == paCenter)
        expectedLeft = left + (wrap - left - right - width) / 2 + (isFirst ? first : 0);
      Check(row->GetLeft() == expectedLeft, "a row's left edge is wrong");
      widest = std::max(widest, expectedLeft + width + right);
      for (int32_t c = s.CharIndex; c < e.CharIndex; ++c) {
        if (!IsElement(text[c])) continue;
        TTextPosition at = ToPosition({p, c});
        const TRect& bounds =
            static_cast<TTestEmbeddedElement*>(static_cast<TElementPortion*>(at.Portion)->Element())->Bounds;
        const TElementSize& size = ElementSizes[text[c] - ElementBase];
        Check(bounds.Left == PaddingLeft + row->GetLeft() + ModelWidth(text, s.CharIndex, c) + MarginLeft &&
                  bounds.Top == PaddingTop + row->GetBaseline() - size.Height + size.Descent,
              "an embedded element is not where its row puts it");
      }
      top = row->Bottom;
      if (!following) Check(paragraph->LastRow() == row, "the last row is not the last one linked");
    }
  }
  Check(Textor.GetHeight() == top, "the text's height is not its last row's bottom");
  Check(Textor.GetWidth() == widest, "the text's width is not its widest row's with the indents");

  if (!AFull) return;
  const std::vector<TRowShot> incremental = Shot();
  Textor.InvalidateLayout();
  Check(Shot() == incremental, "the incremental layout differs from a full one");
}

void TSession::Step(TReader& AReader) {
  const uint8_t op = AReader.Byte() % 18;
  const uint8_t attr = AReader.Byte() % 4;
  TTextRange range;
  switch (op) {
    case 0:
    case 1: {
      const TIndexPosition at = ReadPosition(AReader);
      const std::u16string text = ReadText(AReader);
      Trace("InsertText (%d, %d) \"%s\" attributes %d", at.ParagraphIndex, at.CharIndex, Show(text).c_str(), attr);
      Textor.InsertText(ToPosition(at), text, FTextChoice[attr], range);
      TIndexPosition end = at;
      Model.InsertText(end, text, Textor.LineBreaks, Textor.Tabs, attr);
      if (!text.empty()) Check(Index(range.Start) == at && Index(range.End) == end, "InsertText's range is wrong");
      break;
    }
    case 2: {
      const TIndexPosition at = ReadPosition(AReader);
      const uint8_t kind = AReader.Byte() % ElementSizes.size();
      const TElementSize& size = ElementSizes[kind];
      auto* element = new TTestEmbeddedElement(size.Width, size.Height, size.Descent);
      element->FreedCount = &FFreed;
      ++FCreated;
      ++FElements;
      Trace("InsertElement (%d, %d) %dx%d descent %d attributes %d", at.ParagraphIndex, at.CharIndex, size.Width,
            size.Height, size.Descent, attr);
      Textor.InsertElement(ToPosition(at), element, FTextChoice[attr], range);
      TIndexPosition end = at;
      Model.InsertRun(end, std::u16string(1, static_cast<char16_t>(ElementBase + kind)), attr);
      Check(Index(range.Start) == at && Index(range.End) == end, "InsertElement's range is wrong");
      break;
    }
    case 3:
    case 4: {
      TIndexPosition a = ReadPosition(AReader), b = ReadPosition(AReader);
      if (IndexBefore(b, a)) std::swap(a, b);
      int elements = 0;
      for (int32_t p = a.ParagraphIndex; p <= b.ParagraphIndex; ++p)
        for (int32_t c = p == a.ParagraphIndex ? a.CharIndex : 0;
             c < (p == b.ParagraphIndex ? b.CharIndex : Model.Length(p)); ++c)
          elements += IsElement(Model.Text[p][c]);
      const std::u16string expected = Model.RangeText(a, b);
      const TTextRange whole{ToPosition(a), ToPosition(b)};
      Check(Textor.GetRangeText(whole) == expected, "GetRangeText differs from the model");
      CheckWalk(a, b, whole, op == 3);
      TTextPosition result;
      Trace("DeleteRange (%d, %d) (%d, %d)", a.ParagraphIndex, a.CharIndex, b.ParagraphIndex, b.CharIndex);
      Textor.DeleteRange(whole, result);
      Model.Delete(a, b);
      FElements -= elements;
      Check(Index(result) == a, "DeleteRange's result is not the range's start");
      break;
    }
    case 5: {
      TIndexPosition a = ReadPosition(AReader), b = ReadPosition(AReader);
      if (IndexBefore(b, a)) std::swap(a, b);
      const bool includeLastEnd = AReader.Byte() & 1;
      Trace("SetRangeAttributes (%d, %d) (%d, %d) last end %d attributes %d", a.ParagraphIndex, a.CharIndex,
            b.ParagraphIndex, b.CharIndex, includeLastEnd, attr);
      Textor.SetRangeAttributes({ToPosition(a), ToPosition(b)}, includeLastEnd, FTextChoice[attr], range);
      for (int32_t p = a.ParagraphIndex; p <= b.ParagraphIndex; ++p) {
        const int32_t to = p == b.ParagraphIndex ? b.CharIndex : Model.Length(p);
        for (int32_t c = p == a.ParagraphIndex ? a.CharIndex : 0; c < to; ++c) Model.Attrs[p][c] = attr;
        if (p != b.ParagraphIndex || (includeLastEnd && b.CharIndex == Model.Length(p))) Model.ParagraphText[p] = attr;
      }
      Check(Index(range.Start) == a && Index(range.End) == b, "SetRangeAttributes moved the range");
      break;
    }
    case 6: {
      TIndexPosition at = ReadPosition(AReader);
      const TIndexPosition old = at;
      Trace("SplitParagraph (%d, %d) attributes %d", at.ParagraphIndex, at.CharIndex, attr);
      Textor.SplitParagraph(ToPosition(at), FTextChoice[attr], range);
      Model.Split(at, attr);
      Check(Index(range.Start) == old && Index(range.End) == at, "SplitParagraph's range is wrong");
      break;
    }
    case 7: {
      const TIndexPosition at = ReadPosition(AReader);
      const std::u16string text = ReadText(AReader);
      Trace("InsertChars (%d, %d) \"%s\" attributes %d", at.ParagraphIndex, at.CharIndex, Show(text).c_str(), attr);
      const int32_t added = PortionsAdded(at, TPortionKind::pkText, FTextChoice[attr]);
      const int32_t before = PortionCount(at.ParagraphIndex);
      Textor.InsertChars(ToPosition(at), text, FTextChoice[attr], range);
      if (!text.empty())
        Check(PortionCount(at.ParagraphIndex) == before + added, "InsertChars did not reuse a neighbour");
      TIndexPosition end = at;
      Model.InsertRun(end, text, attr);
      if (!text.empty()) Check(Index(range.Start) == at && Index(range.End) == end, "InsertChars' range is wrong");
      break;
    }
    case 8: {
      const TIndexPosition at = ReadPosition(AReader);
      const int32_t count = AReader.Byte() % 4;
      Trace("InsertTabs (%d, %d) %d attributes %d", at.ParagraphIndex, at.CharIndex, count, attr);
      const int32_t added = PortionsAdded(at, TPortionKind::pkTabStops, FTextChoice[attr]);
      const int32_t before = PortionCount(at.ParagraphIndex);
      Textor.InsertTabs(ToPosition(at), count, FTextChoice[attr], range);
      if (count > 0) Check(PortionCount(at.ParagraphIndex) == before + added, "InsertTabs did not reuse a neighbour");
      TIndexPosition end = at;
      Model.InsertRun(end, std::u16string(count, TabStop), attr);
      if (count > 0) Check(Index(range.Start) == at && Index(range.End) == end, "InsertTabs' range is wrong");
      break;
    }
    case 9:
      CheckMoves(ReadPosition(AReader));
      break;
    case 10: {
      // Index pairs anywhere near the text, as undo records and focus data bring them.
      const TIndexPosition a{AReader.Below(Model.Count() + 4) - 2, AReader.Below(40) - 3};
      TTextPosition position;
      const bool ok = Textor.IndexToPosition(a, position);
      Check(ok == Model.Valid(a), "IndexToPosition accepts or refuses wrongly");
      if (ok) Check(Index(position) == a, "IndexToPosition does not round trip");
      break;
    }
    case 11:
      Textor.WrapWidth = AReader.Byte() * 2 - 20;
      Trace("wrap width %d, InvalidateLayout", Textor.WrapWidth);
      Textor.InvalidateLayout();
      break;
    case 12: {
      if (FBatchDepth > 0) break;
      // One layout and one change signal for a batch of edits.
      const int before = Textor.FormatTextCalls, changedBefore = Textor.ChangedCalls;
      const std::vector<std::u16string> text = Model.Text;
      const std::vector<std::vector<uint8_t>> attrs = Model.Attrs;
      Trace("BeginUpdate");
      Textor.BeginUpdate();
      ++FBatchDepth;
      for (int n = AReader.Byte() % 4 + 1; n > 0 && !AReader.Empty(); --n) {
        Step(AReader);
        CheckModel();
      }
      --FBatchDepth;
      Trace("EndUpdate");
      Textor.EndUpdate();
      Check(Textor.FormatTextCalls - before <= 1 && Textor.ChangedCalls - changedBefore <= 1,
            "a batch laid out or signalled more than once");
      if (Model.Text != text || Model.Attrs != attrs)
        Check(Textor.FormatTextCalls - before == 1 && Textor.ChangedCalls - changedBefore == 1,
              "a batch that changed the text did not lay out and signal once");
      break;
    }
    case 13: {
      const std::u16string text = ReadText(AReader);
      Trace("SetText \"%s\"", Show(text).c_str());
      Textor.SetText(text);
      for (const std::u16string& p : Model.Text)
        for (char16_t c : p) FElements -= IsElement(c);
      TModel fresh;
      fresh.ParagraphText[0] = Model.ParagraphText[0];
      fresh.ParagraphLayout[0] = Model.ParagraphLayout[0];
      TIndexPosition at{0, 0};
      fresh.InsertText(at, text, Textor.LineBreaks, Textor.Tabs, 0);
      Model = fresh;
      break;
    }
    case 14: {
      // New permissions: every stretch between elements is read, deleted and inserted again.
      Textor.LineBreaks = AReader.Byte() & 1;
      Textor.Tabs = AReader.Byte() & 1;
      Trace("line breaks %d, tabs %d, ReinsertText", Textor.LineBreaks, Textor.Tabs);
      Textor.ReinsertText();
      TModel fresh;
      TIndexPosition at{0, 0};
      std::u16string stretch;
      for (int32_t p = 0; p < Model.Count(); ++p) {
        for (int32_t c = 0; c < Model.Length(p); ++c) {
          const char16_t ch = Model.Text[p][c];
          if (!IsElement(ch)) {
            stretch += Plain(ch);
            continue;
          }
          fresh.InsertText(at, stretch, Textor.LineBreaks, Textor.Tabs, 0);
          stretch.clear();
          fresh.InsertRun(at, std::u16string(1, ch), Model.Attrs[p][c]);
        }
        if (p + 1 < Model.Count()) stretch += u"\r\n";
      }
      fresh.InsertText(at, stretch, Textor.LineBreaks, Textor.Tabs, 0);
      // Which paragraph keeps which own attributes is not what this step checks.
      fresh.ParagraphText.assign(fresh.Count(), 0);
      fresh.ParagraphLayout.assign(fresh.Count(), 0);
      int32_t p = 0;
      for (const TParagraph* paragraph = Textor.FirstParagraph(); paragraph && p < fresh.Count();
           paragraph = paragraph->Next(), ++p) {
        for (uint8_t i = 0; i < 4; ++i) {
          if (paragraph->TextAttributes() == FTextChoice[i]) fresh.ParagraphText[p] = i;
          if (paragraph->ParagraphAttributes() == FLayoutChoice[i]) fresh.ParagraphLayout[p] = i;
        }
      }
      Model = fresh;
      break;
    }
    case 15: {
      const int32_t p = AReader.Below(Model.Count());
      Trace("paragraph %d SetParagraphAttributes %d", p, attr);
      Textor.ParagraphAt(p)->SetParagraphAttributes(FLayoutChoice[attr]);
      Model.ParagraphLayout[p] = attr;
      break;
    }
    case 16:
      if (FBatchDepth == 0) CheckHits(ReadPosition(AReader), attr & 1);
      break;
    case 17: {
      TIndexPosition a = ReadPosition(AReader), b = ReadPosition(AReader);
      if (IndexBefore(b, a)) std::swap(a, b);
      if (FBatchDepth == 0) CheckPaint(a, b, attr);
      break;
    }
  }
}

// Painting a range draws each run of characters and each tab where the rows put them; symbols and the selection
// (AFlags) are only drawn, not compared.
void TSession::CheckPaint(TIndexPosition A, TIndexPosition B, uint8_t AFlags) {
  for (TTestTextAttributes& text : FText) text.Painted.clear();
  TTextPaintFlags flags;
  flags.Set(tpSelection, AFlags & 1).Set(tpWhiteSpace, AFlags & 2);
  Trace("PaintRange (%d, %d) (%d, %d) flags %d", A.ParagraphIndex, A.CharIndex, B.ParagraphIndex, B.CharIndex, AFlags);
  Textor.PaintRange(TestCanvas(), {}, {ToPosition(A), ToPosition(B)}, flags, true);
  if (AFlags != 0) return;
  std::vector<TTestPaintCall> calls;
  // Runs and tabs; the backgrounds of embedded elements are not compared.
  for (TTestTextAttributes& text : FText)
    for (const TTestPaintCall& call : text.Painted)
      if (call.Kind != TTestPaintCall::pcBackground) calls.push_back(call);
  std::sort(calls.begin(), calls.end(), [](const TTestPaintCall& L, const TTestPaintCall& R) {
    return L.Rect.Top != R.Rect.Top ? L.Rect.Top < R.Rect.Top : L.X < R.X;
  });
  size_t next = 0;
  for (int32_t p = A.ParagraphIndex; p <= B.ParagraphIndex; ++p) {
    const std::u16string& text = Model.Text[p];
    const int32_t from = p == A.ParagraphIndex ? A.CharIndex : 0;
    const int32_t to = p == B.ParagraphIndex ? B.CharIndex : Model.Length(p);
    for (const TRow* row = Textor.ParagraphAt(p)->FirstRow(); row; row = row->GetNextRow()) {
      const int32_t s = Index(row->GetStartPosition()).CharIndex, e = Index(row->GetEndPosition()).CharIndex;
      for (int32_t c = std::max(s, from); c < std::min(e, to);) {
        if (IsElement(text[c])) {
          ++c;
          continue;
        }
        Check(next < calls.size(), "a piece of the range was not painted");
        const TTestPaintCall& call = calls[next++];
        Check(call.Rect.Top == row->GetBaseline() - Ascent, "a run is not drawn at its row's baseline");
        Check(call.X == row->GetLeft() + ModelWidth(text, s, c), "a run or tab is not drawn at its x");
        if (text[c] == TabStop) {
          Check(call.Kind == TTestPaintCall::pcBlank, "a tab stop painted as text");
          Check(call.Width == ModelWidth(text, s, c + 1) - ModelWidth(text, s, c), "a tab painted to another stop");
          ++c;
          continue;
        }
        Check(call.Kind == TTestPaintCall::pcText, "characters painted as a blank");
        for (char16_t painted : call.Text) {
          Check(c < std::min(e, to) && text[c] == painted, "the painted characters differ from the range's");
          ++c;
        }
      }
    }
  }
  Check(next == calls.size(), "painting drew outside the range");
}

// Rows found for a position and for a y, the caret, and the hit test at the caret's x giving the position back.
void TSession::CheckHits(TIndexPosition AAt, bool APreferNext) const {
  const TTextPosition at = ToPosition(AAt);
  const TRow* row = Textor.FindRow(at, APreferNext);
  Check(row && row->GetParagraph() == at.Paragraph && row->Contains(at), "FindRow gives a row without the position");
  const TIndexPosition start = Index(row->GetStartPosition()), end = Index(row->GetEndPosition());
  Check(start.CharIndex <= AAt.CharIndex && AAt.CharIndex <= end.CharIndex, "FindRow gives a row elsewhere");
  if (AAt.CharIndex == end.CharIndex && row->GetNextRow())
    Check(!APreferNext, "FindRow does not prefer the next row at a wrap boundary");
  if (AAt.CharIndex == start.CharIndex && row->GetPreviousRow() && !APreferNext)
    Check(false, "FindRow takes the next row at a wrap boundary unasked");
  const int32_t x = ModelWidth(Model.Text[AAt.ParagraphIndex], start.CharIndex, AAt.CharIndex);
  Check(row->PositionToX(at) == x, "PositionToX differs from the content's width");
  const TRect caret = Textor.GetCaretRect(row, at, 2);
  Check(caret == TRect{row->GetLeft() + x - 1, row->GetTop(), row->GetLeft() + x + 1, row->Bottom},
        "the caret is not at the position's x on its row");
  for (const int32_t y : {row->GetTop(), row->Bottom - 1})
    Check(Textor.FindRowAtY(y, false) == row, "FindRowAtY misses the row at its top or bottom");
  TRow* hitRow = nullptr;
  TTextPosition hit;
  Check(
      Textor.PositionAtPoint({row->GetLeft() + x, row->GetTop()}, false, true, nullptr, hitRow, hit) || x == row->Width,
      "a hit at the caret's x misses the row's content");
  Check(hitRow == row && Index(hit) == AAt, "a hit at the caret's x gives another position");
  const int32_t height = Textor.GetHeight();
  Check(!Textor.FindRowAtY(-1, false) && !Textor.FindRowAtY(height, false), "FindRowAtY finds a row outside");
  Check(Textor.FindRowAtY(-1, true) == Textor.FirstParagraph()->FirstRow() &&
            Textor.FindRowAtY(height, true) == Textor.LastParagraph()->LastRow(),
        "FindRowAtY does not clamp to the first and last rows");
}

void TSession::Run(TReader& AReader) {
  int steps = 0;
  while (!AReader.Empty() && steps++ < 200) {
    Step(AReader);
    CheckModel();
    // Now and then a full layout: between two, incremental layouts follow one another.
    CheckLayout(steps % 3 == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 1) return 0;
  TReader reader(AData + 1, ASize - 1);
  TSession session(AData[0]);
  Trace("line breaks %d, tabs %d, wrap width %d", AData[0] & 1, (AData[0] >> 1) & 1, (AData[0] >> 2) * 5);
  session.Run(reader);
  return 0;
}
