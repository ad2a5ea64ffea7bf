// elements_bench [runs [elements...]]: a document of the element kinds users insert, in the plain document's root
// as the program loads it, against the bare knot tree of the same text in the same run; 2,000, 20,000 and
// 200,000 elements unless others are given.
//
//   knot parse     text -> knot tree
//   knot write     knot tree -> text
//   load           text -> knot tree -> elements in the document's root off the sheet
//   layout         the loaded text put on the sheet, which measures and places every element
//   first paint    the 800 x 600 view at the top of the text painted once after that
//   save           elements -> knot tree -> text
//   close          the root taken off the sheet, the sheet and the scheme with all its elements freed
// The document has one paragraph per ten elements: a logic frame (caption, content and description), two
// comments, the six signs and a 3 x 4 table. Each figure is the median of the runs, in milliseconds.
#include "document/elements/diCommonElements.h"
#include "document/elements/diCustomElements.h"
#include "document/elements/diTableElement.h"
#include "document/elements/diTitled.h"
#include "document/elements/plElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSheet.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diTextorAttributes.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuKnot.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxSystem.h"

#include "bench/BenchTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int ElementsPerParagraph = 10;

// A timer that never ticks: the bench has no window for focus and caret timers to tick in.
class TIdleTimer : public ISheetTimer {};

// The program's document scheme: its root, the plain root, takes the signs and the plain elements as real elements.
std::unique_ptr<TScheme> NewDocumentScheme() { return std::make_unique<TScheme>(&TPlainRoot::ClassInfo, u"Quillbox"); }

TPlainRoot* RootOf(TScheme& AScheme) { return static_cast<TPlainRoot*>(AScheme.Root()); }

template <class T>
T* Embed(TTextorElement* AText, TParagraph* AParagraph) {
  T* e = TElement::CreateIn<T>(AText->Scheme(), AText);
  TTextRange range;
  AText->Textor()->InsertElement(AParagraph->GetEndPosition(), e, nullptr, range);
  e->SetVisualParent(AText);
  return e;
}

TTextorElement* AsText(TVisualElement* AElement) { return static_cast<TTextorElement*>(AElement); }

// The document's knot text, built through the elements themselves so that it is what a save writes.
std::u16string BuildDocument(int AElements) {
  auto scheme = NewDocumentScheme();
  TTextorElement* text = RootOf(*scheme);
  const int paragraphs = (AElements + ElementsPerParagraph - 1) / ElementsPerParagraph;
  std::u16string lines;
  for (int i = 0; i < paragraphs; ++i) {
    if (i > 0) lines += u"\r\n";
    lines += u"Paragraph " + std::u16string(1, char16_t(u'a' + i % 26)) + u" ";
  }
  text->SetText(lines);
  // One layout for the whole build: laid out element by element, every paragraph below would move each time.
  text->Textor()->BeginUpdate();
  int made = 0;
  for (TParagraph* p = text->Textor()->FirstParagraph(); p && made < AElements; p = p->Next()) {
    const auto add = [&](auto AMake) {
      if (made < AElements) {
        AMake();
        ++made;
      }
    };
    add([&] {
      auto* frame = Embed<TElement_LogicFrame>(text, p);
      frame->Caption()->SetText(u"Frame");
      AsText(frame->Content())->SetText(u"What the frame holds");
      AsText(frame->Description())->SetText(u"Why");
      if (made % 20 == 10) frame->ExpandButton()->SetExpanded(false);
    });
    add([&] { Embed<TElement_Comment>(text, p)->SetText(u"A comment of a few words"); });
    add([&] { Embed<TElement_Information>(text, p); });
    add([&] { Embed<TElement_Question>(text, p); });
    add([&] { Embed<TElement_Star>(text, p); });
    add([&] { Embed<TElement_Important>(text, p); });
    add([&] { Embed<TElement_Stop>(text, p); });
    add([&] { Embed<TElement_Ready>(text, p); });
    add([&] { Embed<TElement_Comment>(text, p)->SetText(u"Another"); });
    add([&] {
      auto* table = Embed<TElement_Table>(text, p);
      table->NotifyInitNew(0);
      for (int32_t r = 0; r < table->GetRowCount(); ++r)
        for (int32_t c = 0; c < table->GetColumnCount(); ++c) AsText(table->GetCell(c, r))->SetText(u"cell");
    });
  }
  text->Textor()->EndUpdate();
  TNodePtr<TKnot> knot(new TKnot);
  scheme->SaveElement(text, fmDocument, knot.get(), {});
  return knot->SaveToString();
}

double Median(std::vector<double> ATimes) {
  std::sort(ATimes.begin(), ATimes.end());
  return ATimes[ATimes.size() / 2];
}

double Since(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - AStart).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  const std::vector<int> sizes = SizesFromArgs(argc, argv);
  // The pixel routines bound to the processor as the program binds them at start-up (portable otherwise).
  pxSystemStart();
  pxLowLevelStart();
  pxBlendStart();
  InitializeGdiPlus();
  InitializeDeviceContextManager();
  InitializePalette();
  InitializeTextorElement();
  InitializeSchemeImages();
  InitializeClassesGroups();
  InitializeDisableItem(ClassesLargeImagesIndex + 1);
  InitializeTitled();
  InitializeCommonElements();
  InitializeTableElement();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 800, 600);
  HGDIOBJ old = SelectObject(dc, bitmap);
  for (int elements : sizes) {
    const std::u16string text = BuildDocument(elements);

    TNodePtr<TKnot> parsed(new TKnot);
    parsed->LoadFromString(text);
    const double write = MedianMs(runs, [&] { parsed->SaveToString(); });

    TSheetSettings settings(nullptr);
    std::vector<double> parses, loads, layouts, paints, saves, closes;
    int withParts = 0;
    int32_t height = 0;
    for (int i = 0; i < runs; ++i) {
      // The bare parse and the load alternate, so both meet the heap as the runs before left it.
      auto start = std::chrono::steady_clock::now();
      {
        TNodePtr<TKnot> knot(new TKnot);
        knot->LoadFromString(text);
      }
      parses.push_back(Since(start));
      auto scheme = NewDocumentScheme();
      TPlainRoot* root = RootOf(*scheme);
      TElementMessages log;
      scheme->SetMessages(&log);
      start = std::chrono::steady_clock::now();
      {
        TNodePtr<TKnot> knot(new TKnot);
        knot->LoadFromString(text);
        scheme->LoadElement(root, fmDocument, knot.get());
      }
      loads.push_back(Since(start));
      // An element the root did not take would have been reported.
      if (log.GetCount() != 0) std::abort();
      scheme->SetMessages(nullptr);

      auto sheet = std::make_unique<TSheet>(&settings);
      sheet->SetTimerFactory(
          [](unsigned, std::function<void()>) -> std::unique_ptr<ISheetTimer> { return std::make_unique<TIdleTimer>(); });
      sheet->SetViewSize({800, 600});
      start = std::chrono::steady_clock::now();
      // Placed as the program places its root.
      TRect padding;
      sheet->Root()->GetPadding(padding);
      root->SetBounds(padding.Left, padding.Top, root->Width(), root->Height(), root->Descent());
      root->SetVisualParent(sheet->Root());
      layouts.push_back(Since(start));
      start = std::chrono::steady_clock::now();
      sheet->PaintTo(dc, TRect{0, 0, 800, 600}, {});
      paints.push_back(Since(start));

      start = std::chrono::steady_clock::now();
      TNodePtr<TKnot> knot(new TKnot);
      scheme->SaveElement(root, fmDocument, knot.get(), {});
      const std::u16string saved = knot->SaveToString();
      saves.push_back(Since(start));
      if (saved != text) std::abort();
      withParts = scheme->ElementCount();
      height = root->Height();

      start = std::chrono::steady_clock::now();
      root->SetVisualParent(nullptr);
      sheet.reset();
      scheme.reset();
      closes.push_back(Since(start));
    }

    std::printf("\ndocument: %d elements in %d paragraphs of the root (%d with parts and cells), %.1f KB of knot "
                "text, laid out %d px high; median of %d runs\n\n",
                elements, (elements + ElementsPerParagraph - 1) / ElementsPerParagraph, withParts,
                text.size() * 1.0 / 1024, height, runs);
    const double parse = Median(parses), load = Median(loads), layout = Median(layouts), paint = Median(paints), save = Median(saves);
    PrintKnotRatioRow("knot parse", 20, parse, 0);
    PrintKnotRatioRow("knot write", 20, write, 0);
    PrintKnotRatioRow("load", 20, load, parse);
    PrintKnotRatioRow("layout", 20, layout, 0);
    PrintKnotRatioRow("first paint", 20, paint, 0);
    PrintKnotRatioRow("load to first paint", 20, load + layout + paint, parse);
    PrintKnotRatioRow("save", 20, save, write);
    PrintKnotRatioRow("close", 20, Median(closes), 0);
    std::fflush(stdout);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  FinalizeTableElement();
  FinalizeCommonElements();
  FinalizeTitled();
  FinalizeDisableItem();
  FinalizeClassesGroups();
  FinalizeSchemeImages();
  FinalizeTextorElement();
  FinalizePalette();
  TAttributes::FreePool();
  FinalizeDeviceContextManager();
  FinalizeGdiPlus();
  pxBindingsEnd();
  return 0;
}
