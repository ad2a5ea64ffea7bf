// text_bench [paragraphs] [runs]: the incremental layout of the text engine against a full layout of the same text.
//
//   full layout          every paragraph measured and wrapped again
//   typed, same height   one character typed into the middle paragraph; no row is added
//   typed, adds a row    one character typed near the top that adds a row; every paragraph below moves down
//   paragraph walk       a walk over the paragraph list alone, the floor of a layout that looks at every paragraph
//   long paragraph       one character typed into the middle of a paragraph of 120,000 characters, which wraps again
// A keystroke must cost at most 2% of the full layout. Each figure is the median of the runs, in milliseconds.
// The bench build measures with fixed metrics (every character 7 px, ascent 10, descent 3, tab 56), the win build
// with GDI fonts (Tahoma 8, emphasised runs bold).
#include "document/model/diElementPool.h"
#include "document/text/diTextor.h"
#include "tests/document/TestTextAttributes.h"

#ifdef _WIN32
#include "document/model/diTextorAttributesWin.h"
#include "foundation/cuDeviceContextManager.h"
#endif

#include "bench/BenchTiming.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int32_t WrapWidth = 300;

// A text host that wraps and lets CR, LF and TAB through; format-locked until the attributes are set. Its text
// comes from a pool, as an element's does.
class TBenchTextor : public TTextor {
 public:
  using TTextor::TTextor;
  TTextAttributes* Plain = nullptr;
  TTextAttributes* GetDefaultTextAttributes() const override { return Plain; }
  int32_t GetWrapWidth() const override { return WrapWidth; }
  bool AllowsLineBreaks() const override { return true; }
  bool AllowsTabs() const override { return true; }
};

// About 80 characters with a tab after the number, every paragraph a little different.
std::u16string ParagraphText(int AIndex) {
  static const char16_t* const Words[] = {u"notes", u"wrap",  u"into",   u"rows",  u"while", u"the",     u"engine",
                                          u"keeps", u"every", u"caret",  u"where", u"it",    u"belongs", u"after",
                                          u"each",  u"key",   u"stroke", u"and",   u"paste"};
  std::u16string s = u"Item ";
  for (char c : std::to_string(AIndex)) s += static_cast<char16_t>(c);
  s += u":\t";
  const size_t length = 70 + AIndex % 21;
  for (int w = AIndex; s.size() < length; ++w) {
    s += Words[w % 19];
    s += u' ';
  }
  return s;
}

int RowCount(const TTextor& ATextor) {
  int rows = 0;
  for (const TParagraph* p = ATextor.FirstParagraph(); p; p = p->Next())
    for (const TRow* r = p->FirstRow(); r; r = r->GetNextRow()) ++rows;
  return rows;
}

TTextPosition At(const TTextor& ATextor, TIndexPosition AIndex) {
  TTextPosition position;
  if (!ATextor.IndexToPosition(AIndex, position)) std::abort();
  return position;
}

void Row(const char* AName, double AMs, double AFullMs) {
  if (AFullMs > 0)
    std::printf("%-20s %10.4f ms   (%.3f%% of the full layout)\n", AName, AMs, 100 * AMs / AFullMs);
  else
    std::printf("%-20s %10.4f ms\n", AName, AMs);
}

}  // namespace

int main(int argc, char** argv) {
  const int paragraphs = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  const int keystrokeRuns = 25 * runs;

#ifdef _WIN32
  InitializeDeviceContextManager();
  TRichTextAttributes plainValue, boldValue;
  boldValue.SetStyle(1);
  TAttributesRef<TTextAttributes> plain(static_cast<TTextAttributes*>(plainValue.Acquire()));
  TAttributesRef<TTextAttributes> emphasis(static_cast<TTextAttributes*>(boldValue.Acquire()));
  const char* metrics = "GDI fonts (Tahoma 8, bold runs)";
#else
  TTestTextAttributes plainValue, emphasisValue(u"emphasis");
  TAttributesRef<TTextAttributes> plain(&plainValue);
  TAttributesRef<TTextAttributes> emphasis(&emphasisValue);
  const char* metrics = "fixed metrics (7 px, ascent 10, descent 3, tab 56)";
#endif
  int freed = 0, elements = 0;
  {
    TElementPoolRef pool(TElementPool::Create());
    TBenchTextor textor(pool.get());
    textor.Plain = plain.get();
    textor.EndFormatUpdate();

    std::u16string text;
    for (int i = 0; i < paragraphs; ++i) {
      if (i > 0) text += u"\r\n";
      text += ParagraphText(i);
    }
    textor.BeginUpdate();
    textor.SetText(text);
    for (int i = 0; i < paragraphs; ++i) {
      TTextRange range;
      textor.SetRangeAttributes({At(textor, {i, 20}), At(textor, {i, 30})}, false, emphasis.get(), range);
      if (i % 100 == 50) {
        auto* element = new TTestEmbeddedElement(40, 16, 3);
        element->FreedCount = &freed;
        textor.InsertElement(At(textor, {i, 12}), element, nullptr, range);
        ++elements;
      }
    }
    textor.EndUpdate();
    std::printf("text: %d paragraphs, %zu characters, %d elements, %d rows, %d px high, wrap width %d; %s\n",
                paragraphs, text.size() - 2 * (paragraphs - 1), elements, RowCount(textor), textor.GetHeight(),
                WrapWidth, metrics);
    std::printf("median of %d runs (full layout), %d runs (keystrokes)\n\n", runs, keystrokeRuns);

    const double full = MedianMs(runs, [&] { textor.InvalidateLayout(); });

    // One key typed: the host brackets the edit in an update, so the layout runs once at its end.
    TTextRange typed;
    TTextPosition where;
    auto type = [&] {
      textor.BeginUpdate();
      textor.InsertText(where, u"e", textor.GetAttributesAt(where), typed);
      textor.EndUpdate();
    };
    auto undo = [&](TIndexPosition AAt) {
      return [&textor, &typed, &where, AAt] {
        TTextPosition after;
        textor.DeleteRange(typed, after);
        where = At(textor, AAt);
      };
    };

    // The middle paragraph, at a place where one more character adds no row.
    const int32_t height = textor.GetHeight();
    TIndexPosition middle{paragraphs / 2, 40};
    for (;; ++middle.ParagraphIndex) {
      where = At(textor, middle);
      type();
      const bool same = textor.GetHeight() == height;
      undo(middle)();
      if (same) break;
    }
    const double sameHeight = MedianMs(keystrokeRuns, type, undo(middle));
    if (textor.GetHeight() != height) std::abort();

    // Near the top: fill paragraph 10's last row until the next character starts a new one.
    const TIndexPosition top{std::min(10, paragraphs - 1), 0};
    TTextRange filler;
    for (;;) {
      TTextPosition end = textor.ParagraphAt(top.ParagraphIndex)->GetEndPosition();
      textor.InsertText(end, u"e", nullptr, filler);
      if (textor.GetHeight() != height) break;
    }
    TTextPosition after;
    textor.DeleteRange(filler, after);
    const int32_t filled = textor.GetHeight();
    const TIndexPosition end{top.ParagraphIndex, textor.ParagraphAt(top.ParagraphIndex)->CharIndexOf(nullptr, 0)};
    where = At(textor, end);
    const double addsRow = MedianMs(
        keystrokeRuns,
        [&] {
          type();
          if (textor.GetHeight() == filled) std::abort();
        },
        undo(end));

    int32_t counted = 0;
    const double walk = MedianMs(keystrokeRuns, [&] { counted = textor.ParagraphCount(); });
    if (counted != paragraphs) std::abort();

    Row("full layout", full, 0);
    Row("typed, same height", sameHeight, full);
    Row("typed, adds a row", addsRow, full);
    Row("paragraph walk", walk, full);

    // A long paragraph, as a pasted log or data line makes one: a keystroke wraps all of it again.
    TBenchTextor longText(pool.get());
    longText.Plain = plain.get();
    longText.EndFormatUpdate();
    std::u16string line;
    for (int i = 0; line.size() < 120000; ++i) {
      line += ParagraphText(i);
      line += u' ';
    }
    std::replace(line.begin(), line.end(), u'\t', u' ');  // one run of text, not a run between every two tabs
    longText.SetText(line);
    const TIndexPosition inside{0, int32_t(line.size() / 2)};
    TTextRange typedLong;
    TTextPosition whereLong = At(longText, inside);
    const double longParagraph = MedianMs(
        runs,
        [&] {
          longText.BeginUpdate();
          longText.InsertText(whereLong, u"e", longText.GetAttributesAt(whereLong), typedLong);
          longText.EndUpdate();
        },
        [&] {
          TTextPosition after;
          longText.DeleteRange(typedLong, after);
          whereLong = At(longText, inside);
        });
    Row("long paragraph", longParagraph, 0);
    const bool met = sameHeight <= 0.02 * full && addsRow <= 0.02 * full;
    std::printf("\nkeystroke target (at most 2%% of the full layout): %s\n", met ? "met" : "MISSED");
  }
  if (freed != elements) std::abort();
#ifdef _WIN32
  plain = {};
  emphasis = {};
  FinalizeDeviceContextManager();
#endif
  return 0;
}
