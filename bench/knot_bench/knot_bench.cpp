// Times reading and writing a 20 MB knot document and pugixml's DOM parse of the same bytes.
//   knot_bench [megabytes] [rounds] [file to keep the document in]
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include <pugixml.hpp>

#include "foundation/cuKnot.h"

// Heap accounting: bytes live now and the highest mark since the last reset.
namespace {
// Counting costs time, so it runs only in the memory measurement, never while timing.
bool gCounting = false;
std::atomic<size_t> gLive{0}, gPeak{0};

void Account(void* APointer) {
  if (!APointer) throw std::bad_alloc();
  if (!gCounting) return;
  const size_t live = gLive.fetch_add(malloc_usable_size(APointer)) + malloc_usable_size(APointer);
  size_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
}
void ResetPeak() { gPeak = gLive.load(); }
}  // namespace

void* operator new(size_t ASize) {
  void* p = std::malloc(ASize ? ASize : 1);
  Account(p);
  return p;
}
namespace {
void Release(void* APointer) {
  if (!APointer) return;
  if (gCounting) gLive -= malloc_usable_size(APointer);
  std::free(APointer);
}
}  // namespace
void operator delete(void* APointer) noexcept { Release(APointer); }
void operator delete(void* APointer, size_t) noexcept { Release(APointer); }

namespace {

using TClock = std::chrono::steady_clock;

const char16_t* const kWords[] = {
    u"meeting",    u"notes",   u"project", u"deadline",      u"review",    u"draft",
    u"budget",     u"call",    u"Anna",    u"report",        u"ideas",     u"für",
    u"Überblick",  u"заметки", u"план",    u"café",          u"a<b",       u"R&D",
    u"\"quoted\"", u"5 > 3",   u"x/y",     u"line\r\nbreak", u"tab\there", u"C:\\Docs\\file.txt",
    u"2024-06-07", u"#12",     u"todo:",   u"e-mail"};

std::u16string Sentence(std::mt19937& ARandom, int AWords) {
  std::u16string s;
  for (int i = 0; i < AWords; ++i) {
    if (i) s += u' ';
    s += kWords[ARandom() % std::size(kWords)];
  }
  return s;
}

// A document shaped like the data file: elements nested a few levels, each with several attributes and
// note text, until the UTF-8 text reaches ATargetBytes.
std::string MakeDocument(size_t ATargetBytes) {
  std::mt19937 random(12345);
  TKnot root(u"Quillbox");
  root.WriteString(u"FormatVersion", u"3");
  int id = 1;
  size_t estimate = 0;
  while (estimate < ATargetBytes) {
    TKnot* frame = root.AddKnot(u"LogicFrame");
    frame->WriteInteger(u"Id", id++);
    frame->WriteString(u"Title", Sentence(random, 3));
    frame->WriteBool(u"Collapsed", random() % 2);
    for (int i = 0; i < 8; ++i) {
      TKnot* titled = frame->AddKnot(u"Titled");
      titled->WriteInteger(u"Id", id++);
      titled->WriteString(u"Title", Sentence(random, 4));
      titled->WriteString(u"Created", u"2024-06-07T10:15:00");
      titled->WriteInteger(u"Options", static_cast<int>(random() % 4096));
      TKnot* text = titled->AddKnot(u"Text");
      for (int r = 0; r < 3; ++r) {
        TKnot* chars = text->AddKnot(u"Chars");
        chars->WriteString(u"Value", Sentence(random, 12));
        if (random() % 3 == 0) chars->WriteInteger(u"Style", 1);
      }
      if (random() % 2) titled->AddKnot(u"Comment")->WriteString(u"Text", Sentence(random, 8));
      estimate += 580;
    }
  }
  TMemoryStream s;
  root.SaveToStream(s, TKnotEncoding::keUtf8);
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// Best of ARounds: APrepare and ADone run outside the timed part (set-up and freeing the result).
template <class TState, class FPrepare, class FWork>
double BestSeconds(int ARounds, FPrepare&& APrepare, FWork&& AWork) {
  double best = 1e30;
  for (int i = 0; i < ARounds; ++i) {
    auto state = APrepare();
    const auto t0 = TClock::now();
    AWork(*state);
    best = std::min(best, std::chrono::duration<double>(TClock::now() - t0).count());
  }
  return best;
}

double MB(size_t ABytes) { return static_cast<double>(ABytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string bytes = MakeDocument(megabytes << 20);
  std::printf("document: %.1f MB UTF-8\n", MB(bytes.size()));
  if (argc > 3) {
    TMemoryStream keep;
    keep.WriteBuffer(bytes.data(), bytes.size());
    keep.SaveToFile(Utf8ToUtf16(argv[3]));
  }

  TMemoryStream source;
  source.WriteBuffer(bytes.data(), bytes.size());

  // Memory: the heap used while loading and by the finished tree, counted in a run of its own.
  size_t treeBytes = 0, loadPeak = 0;
  {
    auto knot = std::make_unique<TKnot>();
    source.SetPosition(0);
    gCounting = true;
    ResetPeak();
    const size_t before = gLive;
    knot->LoadFromStream(source);
    loadPeak = gPeak - before;
    treeBytes = gLive - before;
    gCounting = false;
    knot.reset();
  }

  // Reading: bytes to tree (byte-order mark, UTF-8 decoding, parse), and the parse of decoded text alone.
  const double load = BestSeconds<TKnot>(
      rounds, [] { return std::make_unique<TKnot>(); },
      [&](TKnot& AKnot) {
        source.SetPosition(0);
        AKnot.LoadFromStream(source);
      });
  // Loading and freeing the tree, as opening and closing a file costs it.
  const double loadFree = BestSeconds<int>(
      rounds, [] { return std::make_unique<int>(); },
      [&](int&) {
        auto knot = std::make_unique<TKnot>();
        source.SetPosition(0);
        knot->LoadFromStream(source);
      });
  TKnot tree;
  source.SetPosition(0);
  tree.LoadFromStream(source);
  if (tree.HasParseError()) std::printf("unexpected parse error\n");
  const std::u16string text = tree.SaveToString();
  const double parse = BestSeconds<TKnot>(
      rounds, [] { return std::make_unique<TKnot>(); }, [&](TKnot& AKnot) { AKnot.Parse(text.data(), text.size()); });

  // Writing: tree to UTF-8 bytes with the mark, and to text alone.
  size_t written = 0;
  const double save = BestSeconds<TMemoryStream>(
      rounds, [] { return std::make_unique<TMemoryStream>(); },
      [&](TMemoryStream& AOut) {
        tree.SaveToStream(AOut, TKnotEncoding::keUtf8);
        written = static_cast<size_t>(AOut.Size());
      });
  const double saveText = BestSeconds<std::u16string>(
      rounds, [] { return std::make_unique<std::u16string>(); },
      [&](std::u16string& AText) { AText = tree.SaveToString(); });

  // pugixml's DOM parse of the same bytes.
  const double pugi = BestSeconds<pugi::xml_document>(
      rounds, [] { return std::make_unique<pugi::xml_document>(); },
      [&](pugi::xml_document& ADoc) {
        const pugi::xml_parse_result r = ADoc.load_buffer(bytes.data(), bytes.size());
        if (!r) std::printf("pugixml: %s\n", r.description());
      });

  // pugixml's save of the tree it parsed, into memory.
  struct TPugiSink : pugi::xml_writer {
    std::string Bytes;
    void write(const void* AData, size_t ASize) override { Bytes.append(static_cast<const char*>(AData), ASize); }
  };
  pugi::xml_document pugiTree;
  pugiTree.load_buffer(bytes.data(), bytes.size());
  const double pugiSave = BestSeconds<TPugiSink>(
      rounds, [] { return std::make_unique<TPugiSink>(); },
      [&](TPugiSink& ASink) { pugiTree.save(ASink, "\t", pugi::format_default, pugi::encoding_utf8); });

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("knot load (bytes -> tree):  %7.1f MB/s  (%.0f ms)\n", MB(bytes.size()) / load, load * 1000);
  std::printf("knot parse (text -> tree):  %7.1f MB/s  (%.0f ms)\n", MB(bytes.size()) / parse, parse * 1000);
  std::printf("pugixml DOM parse:          %7.1f MB/s  (%.0f ms)\n", MB(bytes.size()) / pugi, pugi * 1000);
  std::printf("load / pugixml:             %7.2f x\n", pugi / load);
  std::printf("knot load + free:           %7.1f MB/s  (%.0f ms)\n", MB(bytes.size()) / loadFree, loadFree * 1000);
  std::printf("knot save (tree -> UTF-8):  %7.1f MB/s  (%.0f ms)\n", MB(written) / save, save * 1000);
  std::printf("pugixml save:               %7.1f MB/s  (%.0f ms)\n", MB(written) / pugiSave, pugiSave * 1000);
  std::printf("save / pugixml:             %7.2f x\n", pugiSave / save);
  std::printf("knot save (tree -> text):   %7.1f MB/s  (%.0f ms)\n", MB(written) / saveText, saveText * 1000);
  std::printf("tree in memory:             %7.1f MB\n", MB(treeBytes));
  std::printf("peak heap while loading:    %7.1f MB\n", MB(loadPeak));
  std::printf("peak resident set:          %7.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
