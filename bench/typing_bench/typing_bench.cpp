// typing_bench [runs [paragraphs...]]: what the user waits for while typing and while the log fills.
//
//   key to repaint  a typed character: the edit operation, the layout it asks for and the painting of the rectangle
//                   it invalidated, in documents of 2,000, 20,000 and 200,000 elements (a paragraph of text with
//                   an embedded element each) beside the same in an empty document
//   log             5,000 and 20,000 messages written one by one beside one insertion of the same content, each
//                   run into an emptied log
// Each figure is the median of the runs. The large documents should cost the changed paragraph, not the text: at
// most 1.2x the empty one; one insertion should grow with what it inserts: 20,000 messages within 5x of 5,000.
#include "document/elements/diLog.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSheet.h"
#include "document/model/diSounds.h"
#include "document/model/diTextorAttributes.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"
#include "graphics/images/umGDIPlus.h"
#include "tests/document/TestVisualElements.h"

#include "bench/BenchDocuments.h"
#include "bench/BenchTiming.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int KeysPerRun = 200;
constexpr int LogSizes[] = {5000, 20000};

// Microseconds from a key to the painted change, in a document of AElements elements.
double KeyToRepaint(TSheetSettings& ASettings, int AElements, int ARuns, HDC ADC) {
  TPlainDocument document(&ASettings);
  document.LoadFromFile(GetTempFolder() + u"typing_bench_missing.qbx");
  TSheet* sheet = document.DocumentSheet();
  sheet->SetViewSize({800, 600});
  TPlainRoot* root = document.DocumentRoot();
  if (AElements > 0) {
    TNodePtr<TKnot> content = DocumentContent(AElements, 1);
    TTextRange inserted;
    root->InsertContent(content.get(), fmDocument, inserted, root->Textor()->GetEndPosition(), {});
  }
  root->Focus();
  // The caret in the middle paragraph, which the view shows.
  TTextPosition middle;
  if (root->Interactive() && root->Textor()->IndexToPosition({root->Textor()->ParagraphCount() / 2, 5}, middle))
    root->Interactive()->SetCaretPosition(middle);
  sheet->SetScreenPos({0, 0});
  TRepaints repaints(sheet);
  int64_t clock = 0;
  // Keys 900 ms apart: every key is an undo step of its own, the costlier case.
  root->SetEditClock([&clock] { return clock; });
  const double ms = MedianMs(ARuns, [&] {
    for (int i = 0; i < KeysPerRun; ++i) {
      clock += 900;
      char16_t key = u'a' + i % 26;
      sheet->KeyPress(key);
      // The host's view: 800 x 600 around the caret.
      TRect caret;
      root->GetCaret(caret);
      const int32_t top = std::max(0, root->ClientToSheet({caret.Left, caret.Top}).Y - 300);
      const TRect r = repaints.Take({0, top, 800, top + 600});
      if (r.Left < r.Right && r.Top < r.Bottom) sheet->PaintTo(ADC, r, {});
    }
  });
  return ms * 1000 / KeysPerRun;
}

struct TLogFigures {
  double OneByOne = 0;
  double AtOnce = 0;
};

TLogFigures LogWrites(TSheetSettings& ASettings, int AMessages, int ARuns) {
  TPlainDocument document(&ASettings);
  document.LoadFromFile(GetTempFolder() + u"typing_bench_missing.qbx");
  document.LogSheet()->SetViewSize({800, 200});
  TLogRoot* log = document.LogRoot();
  TElementMessages* messages = log->LogMessages();
  TLogFigures f;
  // Each run starts from an empty log; emptying it is not timed. The one insertion adds no message to the list,
  // whose Clear then does nothing: the text is emptied as well.
  auto timed = [&](const std::function<void()>& AWrite) {
    return MedianMs(ARuns, AWrite, [&] {
      messages->Clear();
      log->Clear();
    });
  };
  f.OneByOne = timed([&] {
    for (int i = 0; i < AMessages; ++i)
      messages->AddLinked(i % 3 == 0 ? mkWarning : mkInformation, u"Message " + IntToStr(i) + u" about [it]", u"1");
  });
  // The same lines as one content knot.
  TNodePtr<TKnot> content(new TKnot(std::u16string(ContentKnotName)));
  content->SetAddedOptions(content->AddedOptions() | koOrderedChildren);
  for (int i = 0; i < AMessages; ++i) {
    if (i > 0) content->AddKnot(u"Br");
    if (i % 3 == 0) {
      content->AddKnot(u"Sign")->WriteInteger(u"Kind", mkWarning);
      content->AddKnot(u"Chars")->WriteString(u"Value", u" ");
    }
    content->AddKnot(u"Chars")->WriteString(u"Value", u"Message " + IntToStr(i) + u" about ");
    TKnot* link = content->AddKnot(u"Chars");
    link->WriteString(u"Value", u"it");
    link->WriteString(u"Elements", u"1");
  }
  f.AtOnce = timed([&] {
    TTextRange inserted;
    log->InsertContent(content.get(), fmDocument, inserted, log->Textor()->GetEndPosition(), {});
  });
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  const std::vector<int> sizes = SizesFromArgs(argc, argv);
  InitializeGdiPlus();
  InitializeDeviceContextManager();
  InitializePalette();
  InitializeClassesGroups();
  InitializeSoundsSettings();
  InitializeTextorElement();
  InitializeLog();
  ClassesGroups->GetGroup(1).push_back(&TTestVisualLeaf::ClassInfo);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 800, 600);
  HGDIOBJ old = SelectObject(dc, bitmap);
  {
    TSheetSettings settings(nullptr);
    std::printf("key to repaint, median of %d runs of %d keys\n", runs, KeysPerRun);
    const double empty = KeyToRepaint(settings, 0, runs, dc);
    std::printf("  empty document           %10.1f us/key\n", empty);
    std::fflush(stdout);
    for (int elements : sizes) {
      const double large = KeyToRepaint(settings, elements, runs, dc);
      std::printf("  %6d elements           %10.1f us/key   %.2fx\n", elements, large, large / empty);
      std::fflush(stdout);
    }
    std::printf("log, median of %d runs\n", runs);
    double first = 0;
    for (int messages : LogSizes) {
      const TLogFigures log = LogWrites(settings, messages, runs);
      std::printf("  %6d one by one         %10.1f ms\n", messages, log.OneByOne);
      std::printf("  %6d one insertion      %10.1f ms   %.2fx faster", messages, log.AtOnce, log.OneByOne / log.AtOnce);
      if (first > 0)
        std::printf("; %.2fx the insertion of %d", log.AtOnce / first, LogSizes[0]);
      else
        first = log.AtOnce;
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  FinalizeLog();
  FinalizeTextorElement();
  FinalizeSoundsSettings();
  FinalizeClassesGroups();
  FinalizePalette();
  TAttributes::FreePool();
  FinalizeDeviceContextManager();
  FinalizeGdiPlus();
  return 0;
}
