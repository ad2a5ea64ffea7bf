#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "tests/foundation/TestFolder.h"

#include <zlib.h>

namespace {

struct TTextCase {
  const char16_t* Input;
  const char16_t* Expected;
};

TEST(FileNames, ExtensionWithoutDotAndTitle) {
  const TTextCase extensions[] = {
      {u"a.txt", u"txt"}, {u"C:\\x.y\\file", u""},          {u"a.b.c", u"c"}, {u"dir/a.tar.gz", u"gz"}, {u"file.", u""},
      {u"", u""},         {u"C:\\Notes\\Rplc1.tmp", u"tmp"}};
  for (const TTextCase& c : extensions) EXPECT_EQ(ExtractFileExtNoDot(c.Input), c.Expected);
  const TTextCase titles[] = {{u"C:\\Notes\\Diary.qbx", u"Diary"},
                              {u"a.b.c", u"a.b"},
                              {u"C:\\x.y\\file", u"file"},
                              {u"/home/u/notes", u"notes"},
                              {u"", u""}};
  for (const TTextCase& c : titles) EXPECT_EQ(ExtractFileTitle(c.Input), c.Expected);
  EXPECT_TRUE(HasTrailingPathDelimiter(u"C:\\Notes\\"));
  EXPECT_TRUE(HasTrailingPathDelimiter(u"/tmp/"));
  EXPECT_FALSE(HasTrailingPathDelimiter(u"C:\\Notes"));
  EXPECT_FALSE(HasTrailingPathDelimiter(u""));
  EXPECT_TRUE(HasTrailingPathDelimiter(GetTempFolder()));
}

struct TSplitCase {
  const char16_t* Text;
  const char16_t* Name;
  const char16_t* Value;
  bool Split;
};

TEST(SplitNameValue, SplitsAtTheFirstEqualsAndDropsOnePairOfQuotes) {
  const TSplitCase cases[] = {
      {u"a=b=c", u"a", u"b=c", true}, {u"a=\"x y\"", u"a", u"x y", true}, {u"a=\"", u"a", u"\"", true},
      {u"a=\"\"", u"a", u"", true},   {u"a=", u"a", u"", true},           {u"abc", u"abc", u"", false},
      {u"", u"", u"", false},         {u"=v", u"", u"v", true},           {u"a=\"\"x\"\"", u"a", u"\"x\"", true},
  };
  for (const TSplitCase& c : cases) {
    std::u16string name = u"old", value = u"old";
    EXPECT_EQ(SplitNameValue(c.Text, name, value), c.Split);
    EXPECT_EQ(name, c.Name);
    EXPECT_EQ(value, c.Value);
  }
}

TEST(Shell, TheBrowserIsTheQuotedProgramOrTheFirstToken) {
  const TTextCase cases[] = {
      {u"\"C:\\Program Files\\Web\\web.exe\" -osint -url \"%1\"", u"C:\\Program Files\\Web\\web.exe"},
      {u"C:\\Web\\web.exe %1", u"C:\\Web\\web.exe"},
      {u"C:\\Program Files\\Web\\web.exe", u"C:\\Program"},
      {u"\"unterminated", u"unterminated"},
      {u"  web.exe", u"web.exe"},
      {u"", u""},
  };
  for (const TTextCase& c : cases) EXPECT_EQ(ProgramFromCommand(c.Input), c.Expected);
}

TEST(Shell, OnlyPlainHttpAndHttpsUrlsGoToABrowser) {
  for (const char16_t* good : {u"http://example.org/", u"HTTPS://example.org/a?b=c&d"})
    EXPECT_TRUE(IsBrowsableUrl(good)) << std::u16string(good).size();
  for (const char16_t* bad : {u"ftp://example.org", u"http://", u"https://", u"file:///C:/x", u"javascript:alert(1)",
                              u"http://a b/", u"http://a\"b", u"http://a\nb", u"http://a\x7F", u"C:\\Windows\\x.exe", u" http://a"})
    EXPECT_FALSE(IsBrowsableUrl(bad));
}

TEST(Shell, AMessageEndsInAFullStopUnlessItAlreadyEndsASentence) {
  const TTextCase cases[] = {{u"Saved", u"Saved."},
                             {u"Sure?", u"Sure?"},
                             {u"Done.", u"Done."},
                             {u"Stop!", u"Stop!"},
                             {u"Name:", u"Name:."},
                             {u"Tab\t", u"Tab\t"},
                             {u"", u""}};
  for (const TTextCase& c : cases) EXPECT_EQ(MessageBoxText(c.Input), c.Expected);
}

TEST(UniqueFile, TakesTheFirstFreeNumberAndCreatesTheFile) {
  TTestFolder folder;
  { TFileStream(folder.Path(u"Rplc1.tmp"), TFileMode::fmCreate); }
  std::unique_ptr<TFileStream> stream;
  const std::u16string name = CreateUniqueFile(u"Rplc%d.tmp", u"", stream, folder.Path(u""));
  EXPECT_EQ(ExtractFileName(name), u"Rplc2.tmp");
  ASSERT_TRUE(stream != nullptr);
  stream->WriteBytes("x");
  stream.reset();
  EXPECT_TRUE(FileExists(name));
  const std::u16string second = CreateUniqueFile(u"Copy%d", u"txt", stream, folder.Path(u""));
  EXPECT_EQ(ExtractFileName(second), u"Copy1.txt");
}

class TCountedObject : public TObject {
 public:
  explicit TCountedObject(std::vector<int>& AFreed, int AId) : FFreed(AFreed), FId(AId) {}
  ~TCountedObject() override { FFreed.push_back(FId); }

 private:
  std::vector<int>& FFreed;
  int FId;
};

TEST(FreeAndClear, FreesFromTheLastToTheFirst) {
  std::vector<int> freed;
  TStringList strings;
  strings.Add(u"a", new TCountedObject(freed, 1));
  strings.Add(u"b");
  strings.Add(u"c", new TCountedObject(freed, 3));
  FreeAndClearStrings(strings);
  EXPECT_EQ(strings.Count(), 0);
  EXPECT_EQ(freed, (std::vector<int>{3, 1}));
  std::vector<TCountedObject*> list{new TCountedObject(freed, 4), new TCountedObject(freed, 5)};
  FreeAndClearList(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(freed, (std::vector<int>{3, 1, 5, 4}));
}

// ---------------------------------------------------------------------------------------------------------------
// Packing

std::string Bytes(TMemoryStream& AStream) {
  return std::string(reinterpret_cast<const char*>(AStream.Memory()), static_cast<size_t>(AStream.Size()));
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& ABytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBytes(ABytes);
  return stream;
}

std::string RandomBytes(size_t ACount, uint32_t ASeed) {
  std::mt19937 random(ASeed);
  std::string bytes(ACount, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

TEST(Packing, RoundTripsAnySizeAndRewindsTheDestination) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 37) + "\n";
  for (const std::string& original : {std::string("x"), text, RandomBytes(300000, 7), std::string(200000, '\0')}) {
    auto source = StreamOf(original);
    source->SetPosition(source->Size());  // packing reads the source from its start
    TMemoryStream packed, unpacked;
    CompressStream(*source, packed);
    EXPECT_EQ(packed.Position(), 0);
    ASSERT_GE(packed.Size(), 2);
    // zlib header: deflate with a 32 KiB window, default level.
    EXPECT_EQ(packed.Memory()[0], 0x78);
    EXPECT_EQ(packed.Memory()[1], 0x9C);
    DecompressStream(packed, unpacked);
    EXPECT_EQ(unpacked.Position(), 0);
    EXPECT_EQ(Bytes(unpacked), original);
  }
}

TEST(Packing, TheOutputIsWhatZlibItselfUnpacks) {
  const std::string original = RandomBytes(5000, 3) + std::string(5000, 'a');
  auto source = StreamOf(original);
  TMemoryStream packed;
  CompressStream(*source, packed);
  std::vector<unsigned char> out(original.size());
  uLongf length = static_cast<uLongf>(out.size());
  ASSERT_EQ(uncompress(out.data(), &length, packed.Memory(), static_cast<uLong>(packed.Size())), Z_OK);
  EXPECT_EQ(std::string(out.begin(), out.begin() + length), original);
}

TEST(Packing, AnEmptySourceLeavesTheDestinationAlone) {
  TMemoryStream empty;
  auto dest = StreamOf("keep");
  CompressStream(empty, *dest);
  DecompressStream(empty, *dest);
  EXPECT_EQ(Bytes(*dest), "keep");
  EXPECT_EQ(dest->Position(), 4);
}

TEST(Packing, DamagedCutOrOversizedDataRaisesTheDecompressionError) {
  auto source = StreamOf(std::string(100000, 'q') + RandomBytes(1000, 1));
  TMemoryStream packed;
  CompressStream(*source, packed);
  const std::string whole = Bytes(packed);

  TMemoryStream out1, out2, out3;
  EXPECT_THROW(DecompressStream(*StreamOf(whole.substr(0, whole.size() / 2)), out1), EDecompressionError);
  std::string flipped = whole;
  flipped[flipped.size() / 2] ^= 0x55;
  flipped[flipped.size() / 2 + 1] ^= 0x55;
  EXPECT_THROW(DecompressStream(*StreamOf(flipped), out2), EDecompressionError);
  EXPECT_THROW(DecompressStream(*StreamOf("this was never packed"), out3), EDecompressionError);

  TMemoryStream out4;
  EXPECT_THROW(DecompressStream(packed, out4, 50000), EDecompressionError);
  TMemoryStream out5;
  DecompressStream(packed, out5, 101000);
  EXPECT_EQ(out5.Size(), 101000);
}

TEST(Packing, DecompressionErrorIsAStreamError) {
  TMemoryStream out;
  try {
    DecompressStream(*StreamOf("xx"), out);
    FAIL() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_NE(dynamic_cast<const EDecompressionError*>(&e), nullptr);
    EXPECT_FALSE(e.Message().empty());
  }
}

}  // namespace
