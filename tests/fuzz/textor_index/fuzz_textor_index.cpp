// Index positions as the session file's focus data and undo records bring them back: any four numbers, negative
// and far out of range included, against a text of paragraphs with embedded elements. A conversion answers false
// exactly when an index lies outside the text, never crashes, and what it accepts converts back to the same numbers
// as a position in normal form.
#include "document/text/diTextor.h"
#include "tests/document/TestTextAttributes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

void Check(bool ACondition, const char* AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "textor index: %s\n", AWhat);
  std::abort();
}

class TReader {
 public:
  TReader(const uint8_t* AData, size_t ASize) : FData(AData), FSize(ASize) {}
  bool Empty() const { return FPos >= FSize; }
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  // Mostly numbers near the text's edges, sometimes any 32-bit number.
  int32_t Index(int32_t ALimit) {
    const uint8_t kind = Byte();
    if (kind < 192) return static_cast<int32_t>(kind % (ALimit + 8)) - 4;
    if (kind < 200) return kind & 1 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    int32_t result;
    std::memcpy(&result, &v, sizeof result);
    return result;
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  TReader reader(AData, ASize);
  TTestTextAttributes attributes;
  int freed = 0, created = 0;
  std::vector<int32_t> lengths;
  {
    TTestTextor textor(true);
    textor.DefaultText = &attributes;
    textor.WrapWidth = 70;
    textor.EndFormatUpdate();
    // The text: paragraphs of letters, tabs and elements.
    textor.BeginUpdate();
    const int paragraphs = reader.Byte() % 12 + 1;
    for (int p = 0; p < paragraphs; ++p) {
      TTextRange range;
      if (p > 0) textor.SplitParagraph(textor.GetEndPosition(), nullptr, range);
      const int length = reader.Byte() % 24;
      for (int c = 0; c < length; ++c) {
        const uint8_t kind = reader.Byte() % 8;
        if (kind == 0) {
          auto* element = new TTestEmbeddedElement(10 + c, 12);
          element->FreedCount = &freed;
          ++created;
          textor.InsertElement(textor.GetEndPosition(), element, nullptr, range);
        } else if (kind == 1) {
          textor.InsertTabs(textor.GetEndPosition(), 1, nullptr, range);
        } else {
          textor.InsertChars(textor.GetEndPosition(), std::u16string(1, static_cast<char16_t>(u'a' + kind)), nullptr,
                             range);
        }
      }
      lengths.push_back(length);
    }
    textor.EndUpdate();
    const int32_t count = static_cast<int32_t>(lengths.size());
    Check(textor.ParagraphCount() == count, "the text was not built as read");

    auto valid = [&](const TIndexPosition& A) {
      return A.ParagraphIndex >= 0 && A.ParagraphIndex < count && A.CharIndex >= 0 &&
             A.CharIndex <= lengths[A.ParagraphIndex];
    };
    auto checkPosition = [&](const TTextPosition& APosition, const TIndexPosition& AIndex) {
      Check(APosition.Paragraph == textor.ParagraphAt(AIndex.ParagraphIndex), "a position in another paragraph");
      if (APosition.Portion)
        Check(APosition.Portion->Paragraph() == APosition.Paragraph && APosition.Offset >= 0 &&
                  APosition.Offset < APosition.Portion->Length(),
              "a position not in normal form");
      else
        Check(APosition.Offset == 0, "a paragraph end with an offset");
      Check(textor.PositionToIndex(APosition) == AIndex, "an accepted index does not convert back");
    };

    while (!reader.Empty()) {
      const TIndexRange range{{reader.Index(count), reader.Index(32)}, {reader.Index(count), reader.Index(32)}};
      Check((textor.ParagraphAt(range.Start.ParagraphIndex) != nullptr) ==
                (range.Start.ParagraphIndex >= 0 && range.Start.ParagraphIndex < count),
            "ParagraphAt answers for an index outside the text");
      TTextPosition position;
      const bool ok = textor.IndexToPosition(range.Start, position);
      Check(ok == valid(range.Start), "IndexToPosition accepts or refuses wrongly");
      if (ok) checkPosition(position, range.Start);
      if (TParagraph* paragraph = textor.ParagraphAt(range.Start.ParagraphIndex)) {
        TPortion* portion = nullptr;
        int32_t offset = 0;
        Check(paragraph->PositionOfCharIndex(range.Start.CharIndex, portion, offset) ==
                  (range.Start.CharIndex >= 0 && range.Start.CharIndex <= lengths[range.Start.ParagraphIndex]),
              "PositionOfCharIndex accepts or refuses wrongly");
      }
      TTextRange textRange;
      const bool rangeOk = textor.IndexRangeToRange(range, textRange);
      Check(rangeOk == (valid(range.Start) && valid(range.End)), "IndexRangeToRange accepts or refuses wrongly");
      if (rangeOk) {
        checkPosition(textRange.Start, range.Start);
        checkPosition(textRange.End, range.End);
        Check(textor.RangeToIndexRange(textRange) == range, "an accepted range does not convert back");
      }
    }
  }
  Check(freed == created, "embedded elements leaked or freed twice");
  return 0;
}
