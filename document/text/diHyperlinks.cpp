#include "document/text/diHyperlinks.h"

#include "document/text/diTextor.h"

#include <string>

namespace {

constexpr size_t MinURLLength = 7;
constexpr size_t MaxURLLength = 2057;

char16_t LowerASCII(char16_t C) { return C >= u'A' && C <= u'Z' ? C + 32 : C; }

// AWord starts with APrefix, ASCII letters compared without case (so no other letter folds into a scheme).
bool StartsWithASCII(std::u16string_view AWord, std::u16string_view APrefix) {
  if (AWord.size() < APrefix.size()) return false;
  for (size_t i = 0; i < APrefix.size(); ++i)
    if (LowerASCII(AWord[i]) != APrefix[i]) return false;
  return true;
}

// One textor update for the whole scan, closed also when an exception leaves it.
class TTextorUpdate {
 public:
  explicit TTextorUpdate(TTextor& ATextor) : FTextor(ATextor) { FTextor.BeginUpdate(); }
  ~TTextorUpdate() { FTextor.EndUpdate(); }
  TTextorUpdate(const TTextorUpdate&) = delete;
  TTextorUpdate& operator=(const TTextorUpdate&) = delete;

 private:
  TTextor& FTextor;
};

// Whether a portion of ARange has attributes of its own, which a reset to the defaults would drop.
bool HasOwnAttributes(const TTextor& ATextor, const TTextRange& ARange) {
  return !ATextor.IterateRange(
      ARange, false, [](const TTextPiece& APiece) { return !APiece.Portion || !APiece.Portion->Attributes(); });
}

// Whether AText has a colon before a slash or a backslash, which every link has after its scheme; a colon that ends
// AText may have them in the text that follows.
bool HasSchemeDelimiter(std::u16string_view AText) {
  for (size_t i = AText.find(u':'); i != std::u16string_view::npos; i = AText.find(u':', i + 1))
    if (i + 1 == AText.size() || AText[i + 1] == u'/' || AText[i + 1] == u'\\') return true;
  return false;
}

// Whether a scan could change the paragraph: a text with attributes of its own, which the scan resets, or a
// scheme's delimiter. Most paragraphs have neither, a colon of plain prose included, and are left without a look
// at their stretches.
bool MayChange(const TParagraph& AParagraph) {
  for (const TPortion* p = AParagraph.FirstPortion(); p; p = p->Next()) {
    const TPortionKind kind = p->Kind();
    if (kind == TPortionKind::pkElement) continue;
    if (p->Attributes()) return true;
    if (kind == TPortionKind::pkText && HasSchemeDelimiter(static_cast<const TTextPortion*>(p)->Text())) return true;
  }
  return false;
}

}  // namespace

bool IsLinkSeparator(char16_t C) { return C == u'\t' || C == u' ' || C == u'"' || C == u'<' || C == u'>'; }

size_t FindSeparator(std::u16string_view AText, size_t AStart, bool AWantSeparator) {
  for (size_t i = AStart; i < AText.size(); ++i)
    if (IsLinkSeparator(AText[i]) == AWantSeparator) return i;
  return std::u16string_view::npos;
}

bool NextWord(std::u16string_view AText, size_t& AStart, size_t& AFinish) {
  const size_t start = FindSeparator(AText, AStart, false);
  if (start == std::u16string_view::npos) return false;
  const size_t finish = FindSeparator(AText, start, true);
  AStart = start;
  AFinish = finish == std::u16string_view::npos ? AText.size() : finish;
  return true;
}

bool IsURL(std::u16string_view AText, size_t AStart, size_t AFinish) {
  if (AStart > AFinish || AFinish > AText.size()) return false;
  const std::u16string_view word = AText.substr(AStart, AFinish - AStart);
  if (word.size() < MinURLLength || word.size() > MaxURLLength) return false;
  // The first scheme followed by a delimiter decides: "https://" fails as "http" and matches as "https".
  static constexpr std::u16string_view schemes[] = {u"http", u"https", u"ftp", u"file", u"url"};
  for (const std::u16string_view scheme : schemes) {
    if (!StartsWithASCII(word, scheme)) continue;
    const std::u16string_view rest = word.substr(scheme.size());
    if (StartsWithASCII(rest, u"://") || StartsWithASCII(rest, u":\\\\")) return rest.size() > 3;
  }
  return false;
}

void FindLinks(TParagraph* AParagraph, const TLinkAttributesFunc& AAttributesOf) {
  if (!MayChange(*AParagraph)) return;
  TTextor& textor = *AParagraph->Textor();
  TTextorUpdate update(textor);
  TTextRange stretch = textor.GetTextStretch(AParagraph->GetBeginPosition(), true, false);
  while (!TTextor::IsRangeEmpty(stretch)) {
    const std::u16string text = textor.GetRangeText(stretch);
    // A stretch that has only the defaults already keeps them: a reset would change nothing.
    TTextRange reset = stretch;
    if (HasOwnAttributes(textor, stretch)) textor.SetRangeAttributes(stretch, false, nullptr, reset);
    // Setting attributes splits portions: the stretch is held as indexes, which splitting keeps, from here on.
    const TIndexRange at = textor.RangeToIndexRange(reset);
    size_t start = 0, finish = 0;
    while (NextWord(text, start, finish)) {
      if (IsURL(text, start, finish)) {
        const TAttributesRef<TTextAttributes> attributes(
            AAttributesOf(std::u16string_view(text).substr(start, finish - start)));
        const int32_t first = at.Start.CharIndex + static_cast<int32_t>(start);
        const TIndexRange link{{at.Start.ParagraphIndex, first},
                               {at.Start.ParagraphIndex, first + static_cast<int32_t>(finish - start)}};
        TTextRange range, linked;
        if (textor.IndexRangeToRange(link, range)) textor.SetRangeAttributes(range, false, attributes.get(), linked);
      }
      start = finish;
    }
    TTextPosition end;
    if (!textor.IndexToPosition(at.End, end)) break;
    stretch = textor.GetTextStretch(end, true, false);
  }
}
