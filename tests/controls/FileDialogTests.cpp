// File types described once: the filter strings for opening and saving (merging, All Files first, last or
// absent, the extension list) and both dialogs run through the framework's dialog seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/baAppCmpns.h"
#include "framework/fwDialogs.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class FileDialogTest : public FrameworkTest {
 protected:
  void TearDown() override {
    DialogRunners = TDialogRunners{};
    FrameworkTest::TearDown();
  }
};

// "a|b|c" as the record carries it: NUL-separated, two NULs at the end.
std::u16string Pairs(std::u16string AFilter) {
  for (char16_t& c : AFilter)
    if (c == u'|') c = 0;
  return AFilter + std::u16string(2, u'\0');
}

std::u16string RecordFilter(const OPENFILENAMEW& ARecord) {
  const wchar_t* p = ARecord.lpstrFilter;
  while (p[0] || p[1]) ++p;
  return FromWide(ARecord.lpstrFilter, static_cast<size_t>(p - ARecord.lpstrFilter) + 2);
}

std::u16string Text(const wchar_t* AText) { return AText ? FromWide(AText) : u""; }

}  // namespace

TEST(FileFilters, FilterStringsMergeByNameAndPlaceAllFiles) {
  TFileFilters notes;
  notes.AddFilter(u"qbx", u"Notes File");
  notes.AddFilter(u"TXT", u"");
  TFileFilters named;
  named.AddFilter(u"a", u"Name");
  named.AddFilter(u"b", u"name");
  TFileFilters openOnly;
  openOnly.AddFilter(u"qbx", u"Notes File").UseForSave = false;
  openOnly.AddFilter(u"txt", u"Text").UseForOpen = false;
  const TFileFilters empty;

  struct Case {
    const TFileFilters* Filters;
    bool ForOpen, Merge, AllLast, AllFirst;
    std::u16string Expected;
    std::vector<std::u16string> Extensions;
  } const cases[] = {
      {&notes, true, true, true, false, u"Notes File (*.qbx)|*.qbx|TXT (*.txt)|*.txt|All Files (*.*)|*.*",
       {u"qbx", u"txt", u""}},
      {&notes, true, true, false, true, u"All Files (*.*)|*.*|Notes File (*.qbx)|*.qbx|TXT (*.txt)|*.txt",
       {u"", u"qbx", u"txt"}},
      {&named, true, true, true, false, u"Name (*.a, *.b)|*.a;*.b|All Files (*.*)|*.*", {u"a", u""}},
      {&named, true, false, false, false, u"Name (*.a)|*.a|name (*.b)|*.b", {u"a", u"b"}},
      {&openOnly, true, true, false, false, u"Notes File (*.qbx)|*.qbx", {u"qbx"}},
      {&openOnly, false, false, false, false, u"Text (*.txt)|*.txt", {u"txt"}},
      {&empty, false, false, true, false, u"All Files (*.*)|*.*", {u""}},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> extensions;
    EXPECT_EQ(BuildFilterString(*c.Filters, c.ForOpen, c.Merge, &extensions, c.AllLast, c.AllFirst), c.Expected);
    EXPECT_EQ(extensions, c.Extensions);
  }

  TFileFilter filter;
  filter.FileExt = u"QBX";
  EXPECT_EQ(filter.DisplayName(), u"QBX (*.qbx)");
  filter.Text = u"Notes";
  EXPECT_EQ(filter.DisplayName(), u"Notes (*.qbx)");
  filter.FileExt.clear();
  EXPECT_EQ(filter.DisplayName(), u"");
}

TEST_F(FileDialogTest, BothDialogsRunThroughTheSeamWithTheirFlagsFiltersAndNames) {
  auto dialog = MakeForm<TOpenSaveDialog>();
  dialog->FileFilters().AddFilter(u"a", u"Name");
  dialog->FileFilters().AddFilter(u"b", u"name");
  dialog->SetTitle(u"Import");
  dialog->SetFileName(u"start.a");
  struct Case {
    TOpenSaveOptions Options;
    bool Save;
    std::u16string Filter, DefaultExt;
  } const cases[] = {
      {{}, false, u"Name (*.a, *.b)|*.a;*.b|All Files (*.*)|*.*", u""},
      {osoDefaultFilterAll, false, u"All Files (*.*)|*.*|Name (*.a, *.b)|*.a;*.b", u""},
      {osoOpenNoAllFiles | osoNoMergeOpenFilters, false, u"Name (*.a)|*.a|name (*.b)|*.b", u""},
      {{}, true, u"Name (*.a)|*.a|name (*.b)|*.b|All Files (*.*)|*.*", u"a"},
      {osoSaveNoAllFiles | osoDefaultFilterAll, true, u"Name (*.a)|*.a|name (*.b)|*.b", u"a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Filter.begin(), c.Filter.end()));
    dialog->SetOptions(c.Options);
    dialog->SetFileName(u"start.a");
    int calls = 0;
    auto runner = [&](OPENFILENAMEW& r) {
      ++calls;
      EXPECT_EQ(Text(r.lpstrTitle), u"Import");
      EXPECT_EQ(RecordFilter(r), Pairs(c.Filter));
      EXPECT_EQ(r.nFilterIndex, 1u);
      EXPECT_EQ(Text(r.lpstrDefExt), c.DefaultExt);
      EXPECT_EQ(Text(r.lpstrFile), u"start.a");
      EXPECT_EQ((r.Flags & OFN_FILEMUSTEXIST) != 0, !c.Save);
      EXPECT_EQ((r.Flags & OFN_OVERWRITEPROMPT) != 0, c.Save);
      wcscpy(r.lpstrFile, L"C:\\notes\\chosen.b");
      return TDialogAnswer{true, 0};
    };
    (c.Save ? DialogRunners.Save : DialogRunners.Open) = runner;
    EXPECT_TRUE(c.Save ? dialog->ExecuteSave() : dialog->ExecuteOpen());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dialog->FileName(), u"C:\\notes\\chosen.b");
  }

  // An empty list saves with All Files alone and no default extension; a cancel keeps the name.
  auto bare = MakeForm<TOpenSaveDialog>();
  bare->SetFileName(u"keep");
  DialogRunners.Save = [](OPENFILENAMEW& r) {
    EXPECT_EQ(RecordFilter(r), Pairs(u"All Files (*.*)|*.*"));
    EXPECT_EQ(Text(r.lpstrDefExt), u"");
    return TDialogAnswer{false, 0};
  };
  EXPECT_FALSE(bare->ExecuteSave());
  EXPECT_EQ(bare->FileName(), u"keep");
}
