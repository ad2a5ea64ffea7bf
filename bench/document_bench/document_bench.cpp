// document_bench [elements] [runs]: times the document layer against the bare knot tree.
//
//   knot parse     text -> knot tree
//   knot write     knot tree -> text
//   load           text -> knot tree -> element tree (with the end-of-load checks and the unread report)
//   save (tree)    element tree -> knot tree -> text
//   safe save      element tree -> temporary file -> replaces the data file
//   load file      data file -> element tree
// Each figure is the median of the runs, in milliseconds.
#include "document/model/diClasses.h"
#include "document/model/diMessages.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"
#include "tests/document/TestElements.h"

#include "bench/BenchTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

void Row(const char* AName, double AMs, double ABaseMs) {
  if (ABaseMs > 0)
    std::printf("%-14s %9.1f ms   (%.2fx the bare knot figure)\n", AName, AMs, AMs / ABaseMs);
  else
    std::printf("%-14s %9.1f ms\n", AName, AMs);
}

}  // namespace

int main(int argc, char** argv) {
  const int elements = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;

  std::u16string text;
  int schemeElements = 0;
  {
    TScheme scheme(&TElement_TestRoot::ClassInfo, u"Quillbox");
    FillTestDocument(scheme.Root(), elements, 1);
    schemeElements = scheme.ElementCount();
    TNodePtr<TKnot> knot(new TKnot);
    scheme.SaveElement(scheme.Root(), fmDocument, knot.get(), ffStreamsByReference);
    text = knot->SaveToString();
  }
  std::printf("document: %d elements (%d with parts), %.1f KB of knot text, median of %d runs\n\n", elements,
              schemeElements, text.size() * 1.0 / 1024, runs);

  const double parse = MedianMs(runs, [&] {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(text);
  });
  TNodePtr<TKnot> parsed(new TKnot);
  parsed->LoadFromString(text);
  const double write = MedianMs(runs, [&] { parsed->SaveToString(); });

  const double load = MedianMs(runs, [&] {
    TElementMessages log;
    TScheme scheme(&TElement_TestRoot::ClassInfo, u"Quillbox");
    scheme.SetMessages(&log);
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(text);
    scheme.LoadElement(scheme.Root(), fmDocument, knot.get());
    if (log.GetCount() != 0) std::abort();
  });

  TScheme scheme(&TElement_TestRoot::ClassInfo, u"Quillbox");
  {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(text);
    scheme.LoadElement(scheme.Root(), fmDocument, knot.get());
  }
  const double save = MedianMs(runs, [&] {
    TNodePtr<TKnot> knot(new TKnot);
    scheme.SaveElement(scheme.Root(), fmDocument, knot.get(), ffStreamsByReference);
    if (knot->SaveToString().size() != text.size()) std::abort();
  });

  const std::u16string file = GetTempFolder() + u"document_bench.qbx";
  const double safeSave = MedianMs(runs, [&] { scheme.SaveToFile(file, false); });
  const double loadFile = MedianMs(runs, [&] {
    TScheme loaded(&TElement_TestRoot::ClassInfo, u"Quillbox");
    loaded.LoadFromFile(file);
  });
  const double bareFile = MedianMs(runs, [&] {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromFile(file);
  });
  RemoveFile(file);

  Row("knot parse", parse, 0);
  Row("knot write", write, 0);
  Row("load", load, parse);
  Row("save (tree)", save, write);
  Row("safe save", safeSave, write);
  Row("knot file read", bareFile, 0);
  Row("load file", loadFile, bareFile);
  return 0;
}
