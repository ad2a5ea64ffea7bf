// Holds the knot unit's byte-scanning reader and streaming writer to the plain reference: arbitrary bytes read as a
// file, as UTF-8 and as UTF-16 must give the reference's tree and parse result; the tree read, with options, stream
// parameters and per-knot option changes steered by the first two bytes, must be written to the reference's bytes in
// every encoding, through every way out (text, code writer, memory stream empty or not, other stream, a save's store
// and reserve).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuCodeWriters.h"
#include "foundation/cuKnot.h"
#include "tests/foundation/KnotDump.h"
#include "tests/foundation/KnotReference.h"

namespace {

void Check(bool ACondition, const char* AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "knot against the reference: %s\n", AWhat);
  std::abort();
}

void CheckRead(const TKnot& AKnot, const TPlainKnot& APlain, bool AClean, const char* AWhat) {
  Check(AKnot.HasParseError() == !AClean, AWhat);
  Check(PlainKnotOf(AKnot) == APlain, AWhat);
}

// A stream other than a memory stream, as a file is.
class TStringStream : public TStream {
 public:
  std::string Bytes;
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void* ABuffer, size_t ACount) override {
    Bytes.append(static_cast<const char*>(ABuffer), ACount);
    return ACount;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(Bytes.size()); }
};

std::string BytesOf(TMemoryStream& AStream) {
  return std::string(reinterpret_cast<const char*>(AStream.Memory()), static_cast<size_t>(AStream.Size()));
}

// Options added and removed on single knots and string parameters turned into streams, owned or referenced, each
// chosen from the input's bytes.
void Steer(TKnot& ARoot, const uint8_t* AData, size_t ASize, uint8_t ASteer,
           std::vector<std::unique_ptr<TMemoryStream>>& AStreams) {
  size_t n = 0;
  auto next = [&] { return static_cast<uint8_t>(AData[n++ % ASize] ^ ASteer); };
  ForEachKnot(ARoot, [&](TKnot* k) {
    const uint8_t choice = next();
    if (choice & 1) k->SetAddedOptions(TKnotOptions::FromBits(next()));
    if (choice & 2) k->SetRemovedOptions(TKnotOptions::FromBits(next()));
    for (TKnotParam* p = k->FirstParam(); p; p = p->Next()) {
      const uint8_t kind = next() % 8;
      if (p->Kind() != TKnotParamKind::pkString || kind > 1) continue;
      auto stream = std::make_unique<TMemoryStream>();
      const std::string bytes = Utf16ToUtf8(p->Value());
      stream->WriteBuffer(bytes.data(), bytes.size());
      // Streams are written from their start, wherever they stand.
      stream->SetPosition(static_cast<int64_t>(bytes.size() / 2));
      if (kind == 0) {
        p->SetStream(*stream);
      } else {
        p->SetStreamRef(stream.get());
        AStreams.push_back(std::move(stream));
      }
    }
  });
}

void CheckWritten(TKnot& AKnot) {
  const TPlainKnot plain = PlainKnotOf(AKnot);
  const std::u16string text = WritePlainKnot(plain);
  Check(AKnot.SaveToString() == text, "text written differs");
  TXmlCodeWriter writer;
  AKnot.WriteTo(writer);
  Check(writer.Text() == text, "code writer's text differs");
  for (const TKnotEncoding encoding :
       {TKnotEncoding::keUtf8, TKnotEncoding::keUtf16LE, TKnotEncoding::keUtf16BE, TKnotEncoding::keAnsi}) {
    std::string expected;
    const bool writable = SavePlainKnot(plain, encoding, expected);
    TMemoryStream memory;
    bool written = true;
    try {
      AKnot.SaveToStream(memory, encoding);
    } catch (const EProgrammingError&) {
      written = false;
    }
    Check(written == writable, "refused differently");
    if (!written) continue;
    Check(BytesOf(memory) == expected, "bytes written differ");
    // After bytes a stream already held, and over some of them.
    TMemoryStream after;
    after.WriteBuffer("held", 4);
    AKnot.SaveToStream(after, encoding);
    Check(BytesOf(after) == "held" + expected, "bytes written after others differ");
    after.SetPosition(2);
    AKnot.SaveToStream(after, encoding);
    Check(BytesOf(after).substr(2, expected.size()) == expected && after.Position() == int64_t(2 + expected.size()),
          "bytes written over others differ");
    TStringStream other;
    AKnot.SaveToStream(other, encoding);
    Check(other.Bytes == expected, "bytes written to a stream differ");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 2) return 0;
  const TKnotOptions options = TKnotOptions::FromBits(AData[0]);
  const uint8_t steer = AData[1];
  const uint8_t* const text = AData + 2;
  const size_t size = ASize - 2;
  const std::string_view bytes(reinterpret_cast<const char*>(text), size);

  // Reading.
  TMemoryStream input;
  input.WriteBuffer(text, size);
  input.SetPosition(0);
  TKnot loaded;
  loaded.LoadFromStream(input);
  TPlainKnot plain;
  bool clean = LoadPlainKnot(bytes, plain);
  CheckRead(loaded, plain, clean, "file read differently");

  TKnot direct;
  direct.ParseUtf8(text, size);
  clean = ReadPlainKnot(PlainUtf8ToUtf16(bytes), plain);
  CheckRead(direct, plain, clean, "UTF-8 read differently");

  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(text[2 * i] | (text[2 * i + 1] << 8));
  TKnot parsed;
  parsed.Parse(units.data(), units.size());
  clean = ReadPlainKnot(units, plain);
  CheckRead(parsed, plain, clean, "UTF-16 read differently");

  // Writing.
  std::vector<std::unique_ptr<TMemoryStream>> streams;
  loaded.SetOptions(options);
  Steer(loaded, AData, ASize, steer, streams);
  CheckWritten(loaded);

  // A save builds its tree in a store under a reserve and writes it; the next save reuses what the last one used.
  auto reserve = std::make_shared<TKnotBlockReserve>();
  for (int round = 0; round < 2; ++round) {
    TKnot saved;
    TKnotBuildScope build(saved, reserve);
    saved.SetOptions(options);
    saved.Assign(loaded);
    if (round == 1) saved.AddKnot(u"more")->WriteString(u"Value", u"a value long enough to lie in the store");
    CheckWritten(saved);
  }
  return 0;
}
