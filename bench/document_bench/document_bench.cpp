// document_bench [elements] [runs]: times the document layer against the bare knot tree.
//
//   knot parse     text -> knot tree (its freeing timed apart, as "knot free")
//   knot write     knot tree -> text
//   load           text -> knot tree -> element tree (with the end-of-load checks and the unread report; the
//                  passing knot tree is freed inside, the element tree apart, as "tree free")
//   load + free    both, against parse + free: what a load costs once the document is closed again
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
#include <memory>
#include <string>
#include <vector>

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

  TNodePtr<TKnot> held;
  const double parse = MedianMs(runs, [&] {
    held.reset(new TKnot);
    held->LoadFromString(text);
  }, [&] { held.reset(); });
  const double knotFree = MedianMs(runs, [&] { held.reset(); }, [&] {
    held.reset(new TKnot);
    held->LoadFromString(text);
  });
  held.reset();
  TNodePtr<TKnot> parsed(new TKnot);
  parsed->LoadFromString(text);
  const double write = MedianMs(runs, [&] { parsed->SaveToString(); });

  std::unique_ptr<TScheme> loadedScheme;
  TElementMessages log;
  const auto loadTree = [&] {
    loadedScheme = std::make_unique<TScheme>(&TElement_TestRoot::ClassInfo, u"Quillbox");
    loadedScheme->SetMessages(&log);
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(text);
    loadedScheme->LoadElement(loadedScheme->Root(), fmDocument, knot.get());
    if (log.GetCount() != 0) std::abort();
  };
  const double load = MedianMs(runs, loadTree, [&] { loadedScheme.reset(); });
  const double treeFree = MedianMs(runs, [&] { loadedScheme.reset(); }, loadTree);
  loadedScheme.reset();

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

  PrintKnotRatioRow("knot parse", 14, parse, 0);
  PrintKnotRatioRow("knot write", 14, write, 0);
  PrintKnotRatioRow("knot free", 14, knotFree, 0);
  PrintKnotRatioRow("load", 14, load, parse);
  PrintKnotRatioRow("tree free", 14, treeFree, 0);
  PrintKnotRatioRow("load + free", 14, load + treeFree, parse + knotFree);
  PrintKnotRatioRow("save (tree)", 14, save, write);
  PrintKnotRatioRow("safe save", 14, safeSave, write);
  PrintKnotRatioRow("knot file read", 14, bareFile, 0);
  PrintKnotRatioRow("load file", 14, loadFile, bareFile);
  return 0;
}
