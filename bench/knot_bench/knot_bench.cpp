// Times reading and writing a 20 MB knot document against pugixml's DOM parse and save of the same bytes, in
// alternating rounds so that neither runs in a heap the other has grown; medians. Loads the same tree in each encoding
// a file may have (with and without the byte-order mark, ANSI, UTF-16) and counts the heap each load takes. The heap
// keeps fixed limits for taking pages from the system and giving them back: left to move, they follow the largest
// block freed last, so one figure's cost would hang on which other ran before it. The save to memory is held to a
// floor against pugixml's; the save to a file, the program's own way, is shown beside pugixml's.
//   knot_bench [megabytes] [rounds] [file to keep the document in]
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

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

// The knot save to memory is to take at most 1 / 0.9 of pugixml's time.
constexpr double kSaveFloor = 0.9;

const char16_t* const kWords[] = {
    u"meeting",    u"notes",   u"project", u"deadline",      u"review",    u"draft",
    u"budget",     u"call",    u"Anna",    u"report",        u"ideas",     u"für",
    u"Überblick",  u"заметки", u"план",    u"café",          u"a<b",       u"R&D",
    u"\"quoted\"", u"5 > 3",   u"x/y",     u"line\r\nbreak", u"tab\there", u"C:\\Docs\\file.txt",
    u"2024-06-07", u"#12",     u"todo:",   u"e-mail"};

// The ASCII ones among them, for a document that is plain ASCII.
std::vector<const char16_t*> AsciiWords() {
  std::vector<const char16_t*> words;
  for (const char16_t* w : kWords)
    if (std::all_of(w, w + std::char_traits<char16_t>::length(w), [](char16_t c) { return c < 0x80; }))
      words.push_back(w);
  return words;
}

std::u16string Sentence(std::mt19937& ARandom, std::span<const char16_t* const> AWords, int ACount) {
  std::u16string s;
  for (int i = 0; i < ACount; ++i) {
    if (i) s += u' ';
    s += AWords[ARandom() % AWords.size()];
  }
  return s;
}

// A document shaped like the data file: elements nested a few levels, each with several attributes and
// note text, until its UTF-8 text reaches ATargetBytes.
std::unique_ptr<TKnot> MakeDocument(size_t ATargetBytes, std::span<const char16_t* const> AWords) {
  std::mt19937 random(12345);
  auto root = std::make_unique<TKnot>(u"Quillbox");
  root->WriteString(u"FormatVersion", u"3");
  int id = 1;
  size_t estimate = 0;
  while (estimate < ATargetBytes) {
    TKnot* frame = root->AddKnot(u"LogicFrame");
    frame->WriteInteger(u"Id", id++);
    frame->WriteString(u"Title", Sentence(random, AWords, 3));
    frame->WriteBool(u"Collapsed", random() % 2);
    for (int i = 0; i < 8; ++i) {
      TKnot* titled = frame->AddKnot(u"Titled");
      titled->WriteInteger(u"Id", id++);
      titled->WriteString(u"Title", Sentence(random, AWords, 4));
      titled->WriteString(u"Created", u"2024-06-07T10:15:00");
      titled->WriteInteger(u"Options", static_cast<int>(random() % 4096));
      TKnot* text = titled->AddKnot(u"Text");
      for (int r = 0; r < 3; ++r) {
        TKnot* chars = text->AddKnot(u"Chars");
        chars->WriteString(u"Value", Sentence(random, AWords, 12));
        if (random() % 3 == 0) chars->WriteInteger(u"Style", 1);
      }
      if (random() % 2) titled->AddKnot(u"Comment")->WriteString(u"Text", Sentence(random, AWords, 8));
      estimate += 580;
    }
  }
  return root;
}

std::string Saved(TKnot& ARoot, TKnotEncoding AEncoding) {
  TMemoryStream s;
  ARoot.SaveToStream(s, AEncoding);
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

double MB(size_t ABytes) { return static_cast<double>(ABytes) / (1024.0 * 1024.0); }

// One figure: a step timed once a round, with set-up and clearing up outside the time.
struct TFigure {
  TFigure(const char* AName, std::function<void()> APrepare, std::function<void()> AWork, std::function<void()> ADone)
      : Name(AName), Prepare(std::move(APrepare)), Work(std::move(AWork)), Done(std::move(ADone)) {}
  const char* Name;
  std::function<void()> Prepare, Work, Done;
  std::vector<double> Seconds;
  double Median() {
    std::sort(Seconds.begin(), Seconds.end());
    return Seconds[Seconds.size() / 2];
  }
};

// Runs every figure once a round, round after round, so that each runs in the heap the others leave.
void RunAlternating(std::vector<TFigure*> AFigures, int ARounds) {
  for (int round = 0; round < ARounds; ++round) {
    for (TFigure* f : AFigures) {
      if (f->Prepare) f->Prepare();
      const auto t0 = TClock::now();
      f->Work();
      f->Seconds.push_back(std::chrono::duration<double>(TClock::now() - t0).count());
      if (f->Done) f->Done();
    }
  }
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& ABytes) {
  auto s = std::make_unique<TMemoryStream>();
  s->WriteBuffer(ABytes.data(), ABytes.size());
  s->SetPosition(0);
  return s;
}

// The heap one load takes at its highest, counted in a run of its own, and what the finished tree keeps.
struct THeap {
  size_t Peak, Tree;
};
THeap HeapOfLoad(TMemoryStream& ASource) {
  auto knot = std::make_unique<TKnot>();
  ASource.SetPosition(0);
  gCounting = true;
  ResetPeak();
  const size_t before = gLive;
  knot->LoadFromStream(ASource);
  const THeap heap{gPeak - before, gLive - before};
  gCounting = false;
  return heap;
}

}  // namespace

int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const std::unique_ptr<TKnot> doc = MakeDocument(megabytes << 20, kWords);
  const std::unique_ptr<TKnot> asciiDoc = MakeDocument(megabytes << 20, AsciiWords());
  const std::string bytes = Saved(*doc, TKnotEncoding::keUtf8);
  std::printf("document: %.1f MB UTF-8\n", MB(bytes.size()));
  if (argc > 3) {
    StreamOf(bytes)->SaveToFile(Utf8ToUtf16(argv[3]));
  }

  // The same trees in each encoding a file may come in.
  struct TEncoded {
    const char* Name;
    std::string Bytes;
  };
  const std::string asciiBytes = Saved(*asciiDoc, TKnotEncoding::keUtf8);
  const TEncoded encodings[] = {
      {"UTF-8 with its mark", bytes},
      {"UTF-8 without a mark", bytes.substr(3)},
      {"ASCII with the mark", asciiBytes},
      {"ASCII without a mark", asciiBytes.substr(3)},
      {"ANSI", Saved(*doc, TKnotEncoding::keAnsi)},
      {"UTF-16LE", Saved(*doc, TKnotEncoding::keUtf16LE)},
      {"UTF-16BE", Saved(*doc, TKnotEncoding::keUtf16BE)},
  };
  std::vector<std::unique_ptr<TMemoryStream>> sources;
  for (const TEncoded& e : encodings) sources.push_back(StreamOf(e.Bytes));

  // Memory first, before the timed rounds have grown the heap.
  std::vector<THeap> heaps;
  for (auto& s : sources) heaps.push_back(HeapOfLoad(*s));

  // Reading: bytes to tree; each load's tree is freed outside its time.
  std::unique_ptr<TKnot> loaded;
  auto loadFigure = [&](const char* AName, TMemoryStream& ASource) {
    return TFigure{AName, [&loaded] { loaded = std::make_unique<TKnot>(); },
                   [&loaded, &ASource] {
                     ASource.SetPosition(0);
                     loaded->LoadFromStream(ASource);
                   },
                   [&loaded] { loaded.reset(); }};
  };
  TFigure load = loadFigure("knot load (bytes -> tree)", *sources[0]);
  TFigure loadNoMark = loadFigure("knot load, no mark", *sources[1]);
  TFigure loadAscii = loadFigure("knot load, ASCII with mark", *sources[2]);
  TFigure loadAsciiNoMark = loadFigure("knot load, ASCII no mark", *sources[3]);
  TFigure loadAnsi = loadFigure("knot load, ANSI", *sources[4]);
  TFigure loadUtf16 = loadFigure("knot load, UTF-16LE", *sources[5]);
  // Loading and freeing the tree, as opening and closing a file costs it.
  TFigure loadFree{"knot load + free",
                   {},
                   [&] {
                     auto knot = std::make_unique<TKnot>();
                     sources[0]->SetPosition(0);
                     knot->LoadFromStream(*sources[0]);
                   },
                   {}};
  TKnot tree;
  sources[0]->SetPosition(0);
  tree.LoadFromStream(*sources[0]);
  if (tree.HasParseError()) std::printf("unexpected parse error\n");
  const std::u16string text = tree.SaveToString();
  TFigure parse{"knot parse (text -> tree)", [&loaded] { loaded = std::make_unique<TKnot>(); },
                [&] { loaded->Parse(text.data(), text.size()); }, [&loaded] { loaded.reset(); }};

  // Writing: tree to UTF-8 bytes with the mark, and to text alone.
  std::unique_ptr<TMemoryStream> out;
  std::unique_ptr<std::u16string> outText;
  size_t written = 0;
  TFigure save{"knot save (tree -> UTF-8)", [&out] { out = std::make_unique<TMemoryStream>(); },
               [&] {
                 tree.SaveToStream(*out, TKnotEncoding::keUtf8);
                 written = static_cast<size_t>(out->Size());
               },
               [&out] { out.reset(); }};
  TFigure saveText{"knot save (tree -> text)", [&outText] { outText = std::make_unique<std::u16string>(); },
                   [&] { *outText = tree.SaveToString(); }, [&outText] { outText.reset(); }};

  // pugixml's DOM parse of the same bytes, and its save of the tree it parsed into memory.
  std::unique_ptr<pugi::xml_document> pugiDoc;
  TFigure pugi{"pugixml DOM parse", [&pugiDoc] { pugiDoc = std::make_unique<pugi::xml_document>(); },
               [&] {
                 const pugi::xml_parse_result r = pugiDoc->load_buffer(bytes.data(), bytes.size());
                 if (!r) std::printf("pugixml: %s\n", r.description());
               },
               [&pugiDoc] { pugiDoc.reset(); }};
  struct TPugiSink : pugi::xml_writer {
    std::string Bytes;
    void write(const void* AData, size_t ASize) override { Bytes.append(static_cast<const char*>(AData), ASize); }
  };
  pugi::xml_document pugiTree;
  pugiTree.load_buffer(bytes.data(), bytes.size());
  std::unique_ptr<TPugiSink> sink;
  TFigure pugiSave{"pugixml save", [&sink] { sink = std::make_unique<TPugiSink>(); },
                   [&] { pugiTree.save(*sink, "\t", pugi::format_default, pugi::encoding_utf8); },
                   [&sink] { sink.reset(); }};

  // The program's own save writes to a file stream piece by piece; both go to a file here, without waiting for the
  // disk, which neither writer controls.
  const std::string fileName = (std::filesystem::temp_directory_path() / "knot_bench_save.qbx").string();
  std::unique_ptr<TFileStream> file;
  TFigure saveFile{"knot save to a file",
                   [&] { file = std::make_unique<TFileStream>(Utf8ToUtf16(fileName), TFileMode::fmCreate); },
                   [&] { tree.SaveToStream(*file, TKnotEncoding::keUtf8); }, [&file] { file.reset(); }};
  std::FILE* pugiFile = nullptr;
  TFigure pugiSaveFile{"pugixml save to a file", [&] { pugiFile = std::fopen(fileName.c_str(), "wb"); },
                       [&] {
                         pugi::xml_writer_file writer(pugiFile);
                         pugiTree.save(writer, "\t", pugi::format_default, pugi::encoding_utf8);
                       },
                       [&] { std::fclose(pugiFile); }};

  // A document holding pictures and files: its save refers to their streams and writes them as hexadecimal.
  std::mt19937 random(54321);
  std::vector<std::unique_ptr<TMemoryStream>> pictures;
  TKnot withData(u"Quillbox");
  size_t dataBytes = 0;
  for (int i = 0; i < 64; ++i) {
    std::vector<uint8_t> picture(256 << 10);
    for (uint8_t& b : picture) b = static_cast<uint8_t>(random());
    pictures.push_back(StreamOf(std::string(picture.begin(), picture.end())));
    TKnot* image = withData.AddKnot(u"Image");
    image->WriteInteger(u"Id", i + 1);
    image->WriteStreamRef(u"Data", pictures.back().get());
    dataBytes += 2 * picture.size();
  }
  TFigure saveData{"knot save, data to a file",
                   [&] { file = std::make_unique<TFileStream>(Utf8ToUtf16(fileName), TFileMode::fmCreate); },
                   [&] { withData.SaveToStream(*file, TKnotEncoding::keUtf8); }, [&file] { file.reset(); }};

  RunAlternating({&load, &pugi, &loadNoMark, &save, &pugiSave, &loadAscii, &loadAsciiNoMark, &loadAnsi, &loadUtf16,
                  &loadFree, &parse, &saveText, &saveFile, &pugiSaveFile, &saveData},
                 rounds);
  std::filesystem::remove(fileName);

  const double mb = MB(bytes.size());
  auto rate = [](const char* AName, double AMegabytes, double ASeconds) {
    std::printf("%-28s %7.1f MB/s  (%.0f ms)\n", AName, AMegabytes / ASeconds, ASeconds * 1000);
  };
  std::printf("medians of %d alternating rounds\n", rounds);
  rate(load.Name, mb, load.Median());
  rate(parse.Name, mb, parse.Median());
  rate(pugi.Name, mb, pugi.Median());
  std::printf("%-28s %7.2f x\n", "load / pugixml:", pugi.Median() / load.Median());
  rate(loadFree.Name, mb, loadFree.Median());
  rate(save.Name, MB(written), save.Median());
  rate(pugiSave.Name, MB(written), pugiSave.Median());
  const double saveRatio = pugiSave.Median() / save.Median();
  std::printf("%-28s %7.2f x  (floor %.2f x: %s)\n", "save / pugixml:", saveRatio, kSaveFloor,
              saveRatio >= kSaveFloor ? "met" : "MISSED");
  rate(saveText.Name, MB(written), saveText.Median());
  rate(saveFile.Name, MB(written), saveFile.Median());
  rate(pugiSaveFile.Name, MB(written), pugiSaveFile.Median());
  std::printf("%-28s %7.2f x\n", "file save / pugixml:", pugiSaveFile.Median() / saveFile.Median());
  rate(saveData.Name, MB(dataBytes), saveData.Median());
  std::printf("%-28s %7.2f x\n", "no mark / with mark:", loadNoMark.Median() / load.Median());
  std::printf("%-28s %7.2f x  (%.0f against %.0f ms)\n",
              "ASCII no mark / with mark:", loadAsciiNoMark.Median() / loadAscii.Median(),
              loadAsciiNoMark.Median() * 1000, loadAscii.Median() * 1000);
  std::printf("%-28s %7.2f x  (%.0f ms)\n", "ANSI / UTF-8 with mark:", loadAnsi.Median() / load.Median(),
              loadAnsi.Median() * 1000);
  std::printf("%-28s %7.2f x  (%.0f ms)\n", "UTF-16LE / UTF-8 with mark:", loadUtf16.Median() / load.Median(),
              loadUtf16.Median() * 1000);
  std::printf("heap while loading, to the file's size:\n");
  for (size_t i = 0; i < std::size(encodings); ++i)
    std::printf("  %-24s %6.1f MB file, peak %6.1f MB = %.2fx, tree %6.1f MB\n", encodings[i].Name,
                MB(encodings[i].Bytes.size()), MB(heaps[i].Peak),
                static_cast<double>(heaps[i].Peak) / static_cast<double>(encodings[i].Bytes.size()), MB(heaps[i].Tree));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident set:           %7.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
