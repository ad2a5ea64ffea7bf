// typing_bench [paragraphs] [runs]: what the user waits for while typing and while the log fills.
//
//   key to repaint  a typed character: the edit operation, the layout it asks for and the painting of the rectangle
//                   it invalidated, in a document of that many paragraphs (an embedded element in every tenth)
//                   beside the same in an empty document
//   log             5,000 messages written one by one beside one insertion of the same content
// Both documents are built in the same run; each figure is the median of the runs. The large document should cost
// the changed paragraph, not the text: at most twice the empty one.
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
constexpr int LogMessages = 5000;

// Microseconds from a key to the painted change, in a document of AParagraphs paragraphs.
double KeyToRepaint(TSheetSettings& ASettings, int AParagraphs, int ARuns, HDC ADC) {
  TPlainDocument document(&ASettings);
  document.LoadFromFile(GetTempFolder() + u"typing_bench_missing.qbx");
  TSheet* sheet = document.DocumentSheet();
  sheet->SetViewSize({800, 600});
  TPlainRoot* root = document.DocumentRoot();
  if (AParagraphs > 0) {
    TNodePtr<TKnot> content = DocumentContent(AParagraphs);
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

TLogFigures LogWrites(TSheetSettings& ASettings, int ARuns) {
  TPlainDocument document(&ASettings);
  document.LoadFromFile(GetTempFolder() + u"typing_bench_missing.qbx");
  document.LogSheet()->SetViewSize({800, 200});
  TLogRoot* log = document.LogRoot();
  TElementMessages* messages = log->LogMessages();
  TLogFigures f;
  // Each run starts from an empty log; emptying it is not timed.
  auto timed = [&](const std::function<void()>& AWrite) {
    std::vector<double> times;
    for (int run = 0; run < ARuns; ++run) {
      messages->Clear();
      times.push_back(MedianMs(1, AWrite));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  };
  f.OneByOne = timed([&] {
    for (int i = 0; i < LogMessages; ++i)
      messages->AddLinked(i % 3 == 0 ? mkWarning : mkInformation, u"Message " + IntToStr(i) + u" about [it]", u"1");
  });
  // The same lines as one content knot.
  TNodePtr<TKnot> content(new TKnot(std::u16string(ContentKnotName)));
  content->SetAddedOptions(content->AddedOptions() | koOrderedChildren);
  for (int i = 0; i < LogMessages; ++i) {
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
  const int paragraphs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
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
    const double empty = KeyToRepaint(settings, 0, runs, dc);
    const double large = KeyToRepaint(settings, paragraphs, runs, dc);
    std::printf("key to repaint, median of %d runs of %d keys\n", runs, KeysPerRun);
    std::printf("  empty document           %10.1f us/key\n", empty);
    std::printf("  %6d paragraphs         %10.1f us/key   %.2fx\n", paragraphs, large, large / empty);
    const TLogFigures log = LogWrites(settings, runs);
    std::printf("log of %d messages, median of %d runs\n", LogMessages, runs);
    std::printf("  one by one               %10.1f ms\n", log.OneByOne);
    std::printf("  one insertion            %10.1f ms   %.2fx\n", log.AtOnce, log.OneByOne / log.AtOnce);
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
