// editor_bench [paragraphs] [runs]: what the user waits for in the edit window.
//
//   engine only   a typed character through the sheet and the painting of what it invalidated into a memory bitmap
//                 (typing_bench's figure)
//   window        the same character posted as WM_CHAR to the document's range box: the key road, the sheet, the
//                 palette's answer and the painting into the window
//   palette       a rebuild for the focused text element's full item set with the painting of the strip, and a focus
//                 change from an embedded element to the text and back, each with its painting
// Both documents (20 paragraphs and the large one, an embedded element in every tenth) are built in the same run;
// each figure is the median of the runs. Floors: the large document at most twice the small one per key in the
// window; a rebuild for the text element within 16 ms.
#include "app/diEditForm.h"
#include "app/diPaletteForm.h"
#include "app/diSheetForm.h"
#include "app/unStartup.h"
#include "controls/baSaper.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diCanvas.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diSheet.h"
#include "document/text/diTextorInteractive.h"
#include "framework/fwApplication.h"
#include "tests/document/TestVisualElements.h"

#include "bench/BenchDocuments.h"
#include "bench/BenchTiming.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int SmallParagraphs = 20;
constexpr int KeysPerRun = 100;
constexpr int RebuildsPerRun = 20;

struct TKeyFigures {
  double EngineUs = 0;
  double WindowUs = 0;
};

struct TPaletteFigures {
  double RebuildMs = 0;
  double FocusChangeMs = 0;
  int Buttons = 0;
};

// A document of AParagraphs paragraphs with the caret in the middle one; keys are 900 ms apart on its clock, so
// every key is an undo step of its own.
class TBenchDocument {
 public:
  TBenchDocument(TSheetSettings& ASettings, int AParagraphs) : Document(&ASettings) {
    Document.LoadFromFile(GetTempFolder() + u"editor_bench_missing.qbx");
    Root = Document.DocumentRoot();
    TNodePtr<TKnot> content = DocumentContent(AParagraphs);
    TTextRange inserted;
    Root->InsertContent(content.get(), fmDocument, inserted, Root->Textor()->GetEndPosition(), {});
    Root->SetEditClock([this] { return Clock; });
  }
  void CaretToMiddle() {
    Root->Focus();
    TTextPosition middle;
    if (Root->Interactive() && Root->Textor()->IndexToPosition({Root->Textor()->ParagraphCount() / 2, 5}, middle))
      Root->Interactive()->SetCaretPosition(middle);
  }

  TPlainDocument Document;
  TPlainRoot* Root;
  int64_t Clock = 0;
};

double EngineKey(TSheetSettings& ASettings, int AParagraphs, int ARuns, HDC ADC) {
  TBenchDocument bench(ASettings, AParagraphs);
  TSheet* sheet = bench.Document.DocumentSheet();
  sheet->SetViewSize({800, 600});
  bench.CaretToMiddle();
  sheet->SetScreenPos({0, 0});
  TRepaints repaints(sheet);
  const double ms = MedianMs(ARuns, [&] {
    for (int i = 0; i < KeysPerRun; ++i) {
      bench.Clock += 900;
      char16_t key = u'a' + i % 26;
      sheet->KeyPress(key);
      TRect caret;
      bench.Root->GetCaret(caret);
      const int32_t top = std::max(0, bench.Root->ClientToSheet({caret.Left, caret.Top}).Y - 300);
      const TRect r = repaints.Take({0, top, 800, top + 600});
      if (r.Left < r.Right && r.Top < r.Bottom) sheet->PaintTo(ADC, r, {});
    }
  });
  return ms * 1000 / KeysPerRun;
}

// The edit window in a shown 800 x 600 host, bound to the document, the palette shown, the document's box focused.
class TBenchWindow {
 public:
  explicit TBenchWindow(TBenchDocument& ABench) {
    Host = New<TForm>(nullptr);
    Host->SetBorderStyle(TFormBorderStyle::bsNone);
    Host->SetBounds(0, 0, 800, 600);
    CreateEmbeddedForm(Edit, *Host, TAlign::alClient, true);
    TPlainDocument& document = ABench.Document;
    Edit->SetDocument(document.DocumentScheme(), document.DocumentSheet(), document.LogScheme(), document.LogSheet());
    Host->Show();
    SetForegroundWindow(Host->Handle());
    Edit->SheetForm()->rb1->SetFocus();
    Settle();
    ABench.CaretToMiddle();
    document.DocumentSheet()->ScrollToCaret();
    Settle();
  }
  ~TBenchWindow() { Host->Free(); }

  static void Settle() {
    for (int i = 0; i < 20; ++i) {
      Application->ProcessMessages();
      Sleep(1);
    }
  }
  void Paint(HWND AWindow) { RedrawWindow(AWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

  TForm* Host;
  TEditForm* Edit = nullptr;
};

double WindowKey(TSheetSettings& ASettings, int AParagraphs, int ARuns) {
  TBenchDocument bench(ASettings, AParagraphs);
  TBenchWindow window(bench);
  const HWND box = window.Edit->SheetForm()->rb1->Handle();
  const double ms = MedianMs(ARuns, [&] {
    for (int i = 0; i < KeysPerRun; ++i) {
      bench.Clock += 900;
      PostMessageW(box, WM_CHAR, u'a' + i % 26, 1);
      Application->ProcessMessages();
      window.Paint(box);
    }
  });
  return ms * 1000 / KeysPerRun;
}

TPaletteFigures PaletteFigures(TSheetSettings& ASettings, int ARuns) {
  TBenchDocument bench(ASettings, SmallParagraphs);
  TBenchWindow window(bench);
  TPaletteForm* palette = window.Edit->PaletteForm();
  TSheet* sheet = bench.Document.DocumentSheet();
  TVisualElement* leaf = nullptr;
  for (TNode* node = bench.Root->FirstChild(); node && !leaf; node = node->NextSibling())
    leaf = dynamic_cast<TTestVisualLeaf*>(node);
  TPaletteFigures f;
  sheet->SetFocused(bench.Root);
  window.Settle();
  f.Buttons = static_cast<int>(palette->Buttons().size());
  const HWND strip = palette->Handle();
  const double rebuilds = MedianMs(ARuns, [&] {
    for (int i = 0; i < RebuildsPerRun; ++i) {
      palette->Rebuild(palette->CurrentElement());
      window.Paint(strip);
    }
  });
  f.RebuildMs = rebuilds / RebuildsPerRun;
  if (!leaf) return f;
  const double changes = MedianMs(ARuns, [&] {
    for (int i = 0; i < RebuildsPerRun; ++i) {
      sheet->SetFocused(i % 2 == 0 ? leaf : static_cast<TVisualElement*>(bench.Root));
      window.Paint(strip);
    }
  });
  f.FocusChangeMs = changes / RebuildsPerRun;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int paragraphs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  ClassesGroups->GetGroup(1).push_back(&TTestVisualLeaf::ClassInfo);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 800, 600);
  HGDIOBJ old = SelectObject(dc, bitmap);
  bool floorsKept = true;
  {
    TSheetSettings settings(nullptr);
    TKeyFigures small, large;
    small.EngineUs = EngineKey(settings, SmallParagraphs, runs, dc);
    large.EngineUs = EngineKey(settings, paragraphs, runs, dc);
    small.WindowUs = WindowKey(settings, SmallParagraphs, runs);
    large.WindowUs = WindowKey(settings, paragraphs, runs);
    const TPaletteFigures palette = PaletteFigures(settings, runs);

    std::printf("a typed character, median of %d runs of %d keys\n", runs, KeysPerRun);
    std::printf("                         engine only       window\n");
    std::printf("  %6d paragraphs   %10.1f us   %10.1f us/key\n", SmallParagraphs, small.EngineUs, small.WindowUs);
    std::printf("  %6d paragraphs   %10.1f us   %10.1f us/key\n", paragraphs, large.EngineUs, large.WindowUs);
    const double ratio = large.WindowUs / small.WindowUs;
    std::printf("  large / small          %10.2fx   %10.2fx   (floor: window at most 2x)\n",
                large.EngineUs / small.EngineUs, ratio);
    std::printf("palette, median of %d runs of %d\n", runs, RebuildsPerRun);
    std::printf("  rebuild + paint, text element (%d buttons) %8.2f ms   (floor: 16 ms)\n", palette.Buttons,
                palette.RebuildMs);
    std::printf("  focus change + paint, embedded <-> text    %8.2f ms\n", palette.FocusChangeMs);
    floorsKept = ratio <= 2.0 && palette.RebuildMs <= 16.0;
    std::printf("floors %s\n", floorsKept ? "kept" : "MISSED");
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  units.EndAll();
  return floorsKept ? 0 : 1;
}
