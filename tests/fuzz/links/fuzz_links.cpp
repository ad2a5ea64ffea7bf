// Builds paragraphs from arbitrary UTF-16 text (CR and LF end a paragraph, U+0001 stands for an embedded element,
// TAB makes tab stops), lets link detection run while they are laid out, and compares which characters became links
// with a plain reference over the same text. Then deletes a stretch of one paragraph, which must re-scan it, and
// compares again; last, the address test is asked about arbitrary bounds of the text, also past its end.
//
// Input: byte 0 the wrap width, bytes 1-6 the deletion (paragraph, start, count) and the bounds of the address test,
// the rest UTF-16LE text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "document/text/diHyperlinks.h"
#include "document/text/diTextor.h"
#include "tests/document/TestTextAttributes.h"

namespace {

constexpr char16_t ElementMark = 1;

void Check(bool ACondition, const char* AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "links: %s\n", AWhat);
  std::abort();
}

bool ReferenceSeparator(char16_t C) { return C == 9 || C == 32 || C == 34 || C == 60 || C == 62; }

bool ReferenceIsURL(std::u16string_view AWord) {
  if (AWord.size() < 7 || AWord.size() > 2057) return false;
  std::u16string lower(AWord.substr(0, 8));
  for (char16_t& c : lower)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  for (const std::u16string_view scheme : {u"http", u"https", u"ftp", u"file", u"url"}) {
    if (lower.compare(0, scheme.size(), scheme) != 0) continue;
    const std::u16string_view rest = AWord.substr(scheme.size());
    if (rest.size() >= 3 && rest[0] == u':' && rest[1] == rest[2] && (rest[1] == u'/' || rest[1] == u'\\'))
      return rest.size() > 3;
  }
  return false;
}

// "^" a link character, "E" an element, "." anything else, for one paragraph of the model.
std::string ReferenceMask(std::u16string_view AParagraph) {
  std::string mask(AParagraph.size(), '.');
  size_t i = 0;
  while (i < AParagraph.size()) {
    if (AParagraph[i] == ElementMark) {
      mask[i++] = 'E';
      continue;
    }
    if (ReferenceSeparator(AParagraph[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < AParagraph.size() && AParagraph[end] != ElementMark && !ReferenceSeparator(AParagraph[end])) ++end;
    if (ReferenceIsURL(AParagraph.substr(i, end - i))) mask.replace(i, end - i, end - i, '^');
    i = end;
  }
  return mask;
}

class TLinkText {
 public:
  TLinkText() {
    FTextor.DefaultText = &FAttributes;
    FLink.SetLink(1, u"x");
    FTextor.BeforeFormatParagraph = [this](TParagraph* AParagraph) {
      FindLinks(AParagraph, [this](std::u16string_view AURL) {
        Check(ReferenceIsURL(AURL), "a word that is no address was handed out");
        return &FLink;
      });
    };
  }

  void Build(int32_t AWrapWidth, std::u16string_view AText) {
    FTextor.WrapWidth = AWrapWidth;
    FModel.assign(1, std::u16string());
    FTextor.BeginUpdate();
    for (const char16_t c : AText) {
      TTextRange range;
      if (c == 13 || c == 10) {
        FTextor.SplitParagraph(FTextor.GetEndPosition(), nullptr, range);
        FModel.emplace_back();
        continue;
      }
      if (c == ElementMark)
        FTextor.InsertElement(FTextor.GetEndPosition(), new TTestEmbeddedElement(9, 9), nullptr, range);
      else
        FTextor.InsertText(FTextor.GetEndPosition(), std::u16string_view(&c, 1), nullptr, range);
      FModel.back() += c;
    }
    FTextor.EndUpdate();
  }

  void Delete(int32_t AParagraph, int32_t AStart, int32_t ACount) {
    const int32_t p = AParagraph % static_cast<int32_t>(FModel.size());
    const int32_t length = static_cast<int32_t>(FModel[p].size());
    const int32_t start = length ? AStart % (length + 1) : 0;
    const int32_t count = std::min(ACount, length - start);
    TTextRange range;
    Check(FTextor.IndexRangeToRange({{p, start}, {p, start + count}}, range), "a range inside the text converts");
    TTextPosition at;
    FTextor.DeleteRange(range, at);
    FModel[p].erase(start, count);
  }

  void Compare() const {
    const TParagraph* paragraph = FTextor.FirstParagraph();
    for (const std::u16string& text : FModel) {
      Check(paragraph, "as many paragraphs as the model");
      std::string mask;
      for (const TPortion* portion = paragraph->FirstPortion(); portion; portion = portion->Next()) {
        const bool link = portion->Attributes() == &FLink;
        Check(link || portion->Attributes() == nullptr, "a character outside links keeps the default attributes");
        mask.append(portion->Length(), portion->Kind() == TPortionKind::pkElement ? 'E' : link ? '^' : '.');
      }
      Check(mask == ReferenceMask(text), "the links are those of the reference");
      paragraph = paragraph->Next();
    }
    Check(!paragraph, "no paragraph beyond the model");
  }

  const std::u16string& FirstParagraph() const { return FModel.front(); }

 private:
  // Attributes outlive the textor whose portions hold them.
  TTestTextAttributes FAttributes;
  TTestTextAttributes FLink{u"link"};
  TTestTextor FTextor;
  std::vector<std::u16string> FModel;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 7 || ASize > 8192) return 0;
  std::u16string text((ASize - 7) / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(AData[7 + 2 * i] | (AData[8 + 2 * i] << 8));

  TLinkText links;
  links.Build(AData[0], text);
  links.Compare();
  links.Delete(AData[1], AData[2], AData[3]);
  links.Compare();

  const std::u16string& first = links.FirstParagraph();
  const size_t start = AData[4], finish = start + AData[5] * 16 + AData[6] % 16;
  const bool inside = finish <= first.size();
  Check(IsURL(first, start, finish) ==
            (inside && ReferenceIsURL(std::u16string_view(first).substr(start, finish - start))),
        "the address test agrees with the reference for any bounds");
  return 0;
}
