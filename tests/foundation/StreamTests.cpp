#include <gtest/gtest.h>

#include "foundation/cuFiles.h"
#include "foundation/cuStreams.h"
#include "tests/foundation/TestFolder.h"

namespace {

TEST(MemoryStream, WritesGrowReadsStopAtTheEnd) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(5);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 6), std::string("abc\0\0z", 6));
  s.SetPosition(4);
  char buf[8];
  EXPECT_EQ(s.Read(buf, 8), 2u);
  EXPECT_THROW(s.ReadBuffer(buf, 1), EStreamError);
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
}

TEST(MemoryStream, CopyFromZeroCopiesTheWholeSource) {
  TMemoryStream a, b;
  a.WriteBuffer("hello", 5);
  EXPECT_EQ(b.CopyFrom(a, 0), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Memory()), 5), "hello");
}

TEST(FileStream, WritesReadsAndReplacesAtomically) {
  TTestFolder dir;
  const std::u16string target = dir.Path(u"data.bin");
  {
    TFileStream f(target, TFileMode::fmCreate);
    f.WriteBuffer("old", 3);
  }
  const std::u16string temp = CreateTempFileBeside(target);
  EXPECT_EQ(ExtractFilePath(temp), ExtractFilePath(target));
  EXPECT_TRUE(FileExists(temp));
  {
    TFileStream f(temp, TFileMode::fmOpenReadWrite);
    f.WriteBuffer("newer", 5);
    f.Flush();
  }
  MoveFileReplacing(temp, target);
  EXPECT_FALSE(FileExists(temp));
  TMemoryStream m;
  m.LoadFromFile(target);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size())), "newer");
  EXPECT_TRUE(RemoveFile(target));
  EXPECT_FALSE(FileExists(target));
}

TEST(FileStream, OpeningAMissingFileRaisesWithTheSystemCode) {
  TTestFolder dir;
  try {
    TFileStream f(dir.Path(u"missing.txt"), TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.ErrorCode(), 2u);
  }
  EXPECT_THROW(TFileStream(dir.Path(u"x"), TFileMode::fmCreateNew);
               TFileStream(dir.Path(u"x"), TFileMode::fmCreateNew), EFileError);
}

TEST(Paths, SplitIntoFolderAndName) {
  EXPECT_EQ(ExtractFilePath(u"C:\\a\\b.txt"), u"C:\\a\\");
  EXPECT_EQ(ExtractFileName(u"C:\\a\\b.txt"), u"b.txt");
  EXPECT_EQ(ExtractFilePath(u"b.txt"), u"");
  EXPECT_EQ(ExtractFileName(u"/tmp/x"), u"x");
}

TEST(Paths, OnlyTheReplacingSavesOwnNamesAreItsTemporaryFiles) {
  struct Case {
    const char16_t* Name;
    bool Temporary;
  } cases[] = {
      {u"Rplc1.tmp", true},   {u"Rplc4096.tmp", true}, {u"Rplc.tmp", false},   {u"Rplcx.tmp", false},
      {u"Rplc1x.tmp", false}, {u"Rplc-1.tmp", false},  {u"XRplc1.tmp", false}, {u"Rplc1.tmp.qbx", false},
      {u"rplc1.tmp", false},  {u"Rplc1.TMP", false},   {u"Rplc1.tm", false},   {u"notes.qbx", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsReplaceTempName(c.Name), c.Temporary) << &c - cases;
  TTestFolder dir;
  EXPECT_TRUE(IsReplaceTempName(ExtractFileName(CreateTempFileBeside(dir.Path(u"data.bin")))));
}

}  // namespace
