// typing_bench [paragraphs] [runs]: the cost of one typed character in a rich text element on a sheet, from the
// key to the repaint: the undoable edit (merged with the previous keys, as typing is), the layout of the changed
// paragraph, and PaintTo of the rectangle the sheet reported invalid within an 800 x 600 view around the caret (a
// repaint of everything is one of the view, as the host form invalidates its client area). A text of many paragraphs with an embedded
// element in every tenth is measured beside an empty text in the same run; the large text should cost at most
// about twice the small one, since a key lays out and paints its paragraph, not the text.
#include "document/model/diSheet.h"
#include "document/model/diTextorAttributes.h"
#include "graphics/pixels/pxBitmap.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuDeviceContextManager.h"
#include "graphics/images/umGDIPlus.h"
#include "tests/document/TestVisualElements.h"

#include "bench/BenchTiming.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int KeysPerRun = 200;

// A timer that never ticks: the focus timer would otherwise pile up in the recording host.
class TIdleTimer : public ISheetTimer {};

// Median microseconds per key in a text of AParagraphs paragraphs (0: empty), caret in the middle paragraph.
double Measure(int AParagraphs, int ARuns, HDC ADC) {
  TSheetHostFixture host;
  host.Sheet->SetTimerFactory(
      [](unsigned, std::function<void()>) -> std::unique_ptr<ISheetTimer> { return std::make_unique<TIdleTimer>(); });
  auto* text = TElement::CreateIn<TTextorElement>(&host.Scheme, host.Root);
  text->SetTextorOptions(xoRich);
  text->SetTextOptions(AnyTextOptions);
  // Built off the sheet, so that nothing is laid out before the text is whole.
  std::u16string content;
  for (int i = 0; i < AParagraphs; ++i) {
    if (i > 0) content += u"\r\n";
    content += u"Paragraph " + std::u16string(1, char16_t(u'a' + i % 26)) + u" with a few words in it";
  }
  text->SetText(content);
  for (int i = 0; i < AParagraphs; i += 10) {
    auto* leaf = TElement::CreateIn<TTestVisualLeaf>(&host.Scheme, text);
    TTextPosition at;
    text->Textor()->IndexToPosition({i, 0}, at);
    TTextRange r;
    text->Textor()->InsertElement(at, leaf, nullptr, r);
    leaf->SetVisualParent(text);
  }
  text->SetVisualParent(host.Root);
  // The caret after the fifth character of the middle paragraph.
  std::u16string middle;
  for (char c : std::to_string(AParagraphs / 2)) middle += char16_t(c);
  text->SetFocus(fdForward, middle + u",5," + middle + u",5", nullptr, nullptr);

  host.Notes.reserve(64);
  int typed = 0;
  const double ms = MedianMs(ARuns, [&] {
    for (int i = 0; i < KeysPerRun; ++i) {
      host.Notes.clear();
      char16_t key = u'a' + typed++ % 26;
      host.Sheet->KeyPress(key);
      TRect dirty;
      bool all = false;
      for (const TSheetHostFixture::TNote& note : host.Notes)
        if (note.Code == snRepaint) {
          if (!note.HasRect) {
            all = true;
            break;
          }
          dirty = dirty.Left == dirty.Right ? note.Rect
                                            : TRect{std::min(dirty.Left, note.Rect.Left), std::min(dirty.Top, note.Rect.Top),
                                                    std::max(dirty.Right, note.Rect.Right),
                                                    std::max(dirty.Bottom, note.Rect.Bottom)};
        }
      TRect caretRect;
      text->GetCaret(caretRect);
      const int32_t caret = text->ClientToSheet({caretRect.Left, caretRect.Top}).Y;
      const TRect view{0, std::max(0, caret - 300), 800, std::max(0, caret - 300) + 600};
      if (all) dirty = view;
      TRect paint;
      if (IntersectRect(paint, dirty, view)) host.Sheet->PaintTo(ADC, paint, {});
    }
  });
  if (text->GetText().size() < content.size() + size_t(typed)) std::printf("(not every key was typed)\n");
  return ms * 1000 / KeysPerRun;
}

}  // namespace

int main(int argc, char** argv) {
  const int paragraphs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  InitializeGdiPlus();
  InitializeDeviceContextManager();
  InitializeTextorElement();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 800, 600);
  HGDIOBJ old = SelectObject(dc, bitmap);
  {
    const double small = Measure(0, runs, dc);
    const double large = Measure(paragraphs, runs, dc);
    std::printf("a key typed into a rich text, from the key to the repaint of its rectangle, median of %d runs\n\n",
                runs);
    std::printf("%-28s %10s\n", "", "us/key");
    std::printf("%-28s %10.1f\n", "empty text", small);
    std::printf("%-28s %10.1f\n", (std::to_string(paragraphs) + " paragraphs, elements").c_str(), large);
    std::printf("%-28s %9.2fx\n", "ratio", large / small);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  FinalizeTextorElement();
  TAttributes::FreePool();
  FinalizeDeviceContextManager();
  FinalizeGdiPlus();
  return 0;
}
