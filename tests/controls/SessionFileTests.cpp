// Knot files that keep state between runs: loading states, the exact bytes written, text in any script, saves
// that fail without raising and keep the old file, roots named after awkward program titles; and a form's place
// kept in such a file across instances, maximized or not, written even when the close is refused.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "controls/baAppCmpns.h"
#include "foundation/cuKnot.h"
#include "foundation/cuWin32.h"
#include "framework/fwTimer.h"
#include "tests/foundation/TestFolder.h"
#include "tests/framework/FormTestSupport.h"

namespace {

std::string Bytes(const std::u16string& AFileName) {
  std::ifstream file(std::filesystem::path(AFileName), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteBytes(const std::u16string& AFileName, const std::string& ABytes) {
  std::ofstream(std::filesystem::path(AFileName), std::ios::binary) << ABytes;
}

// Holds a file open with no sharing, as another program might.
class TLockedFile {
 public:
  explicit TLockedFile(const std::u16string& AFileName)
      : FHandle(CreateFileW(WStr(AFileName), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~TLockedFile() { CloseHandle(FHandle); }
  bool Locked() const { return FHandle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE FHandle;
};

using SessionFileTest = FrameworkTest;

}  // namespace

TEST_F(SessionFileTest, LoadingReportsMissingUnreadableAndDamagedFilesWithoutRaising) {
  TTestFolder folder;
  auto session = MakeForm<TSessionFile>();
  EXPECT_EQ(session->State(), TSessionFile::TState::sfNotLoaded);

  session->SetFileName(folder.Path(u"none.session"));
  session->Load();
  EXPECT_EQ(session->State(), TSessionFile::TState::sfMissing);
  EXPECT_EQ(session->Knot().FirstKnot(), nullptr);
  session->SetFileName(folder.Path(u"no folder\\none.session"));
  session->Load();
  EXPECT_EQ(session->State(), TSessionFile::TState::sfMissing);

  const std::u16string damaged = folder.Path(u"damaged.session");
  WriteBytes(damaged, "<a><b></B></a>");
  session->SetFileName(damaged);
  {
    TLockedFile lock(damaged);
    ASSERT_TRUE(lock.Locked());
    session->Load();
    EXPECT_EQ(session->State(), TSessionFile::TState::sfUnreadable);
  }
  session->Load();
  EXPECT_EQ(session->State(), TSessionFile::TState::sfLoaded);
  EXPECT_TRUE(session->Knot().HasParseError());

  // A file without a byte-order mark is read in the ANSI code page.
  const std::u16string ansi = folder.Path(u"ansi.session");
  WriteBytes(ansi, "<s><k Value=\"caf\xE9\"/></s>");
  session->SetFileName(ansi);
  session->Load();
  EXPECT_EQ(session->State(), TSessionFile::TState::sfLoaded);
  EXPECT_EQ(session->Knot().FindKnotByPath(u"k", false)->ReadString(u"Value", u""), u"caf\u00E9");
}

TEST_F(SessionFileTest, SavingWritesUtf8UnderTheFilesTitleAndFailsWithoutRaisingOrLosingTheOldFile) {
  TTestFolder folder;
  auto session = MakeForm<TSessionFile>();
  const std::u16string notes = folder.Path(u"notes.session");
  ASSERT_TRUE(session->SaveToFile(notes));
  EXPECT_EQ(Bytes(notes), "\xEF\xBB\xBF<notes/>\r\n");

  // Values in any script come back; a knot added later carries the options of the tree.
  TKnot* added = session->Knot().FindOrAddKnot(u"Recent");
  EXPECT_EQ(added->Options().Bits(), 142);
  added->WriteString(u"File", u"C:\\\u0437\u0430\u043C\u0435\u0442\u043A\u0438\\\u7B14\u8BB0.qbx");
  session->SetFileName(notes);
  ASSERT_TRUE(session->Save());
  auto again = MakeForm<TSessionFile>();
  again->SetFileName(notes);
  again->Load();
  ASSERT_EQ(again->State(), TSessionFile::TState::sfLoaded);
  EXPECT_EQ(again->Knot().FindKnotByPath(u"Recent", false)->ReadString(u"File", u""),
            u"C:\\\u0437\u0430\u043C\u0435\u0442\u043A\u0438\\\u7B14\u8BB0.qbx");

  const std::string before = Bytes(notes);
  {
    TLockedFile lock(notes);
    ASSERT_TRUE(lock.Locked());
    EXPECT_FALSE(session->SaveToFile(notes));
  }
  EXPECT_EQ(Bytes(notes), before);
  EXPECT_FALSE(session->SaveToFile(folder.Path(u"no folder\\notes.session")));

  // Program titles a knot name cannot hold give a root that reads back.
  struct Case {
    const char16_t* File;
    const char16_t* Root;
  } const cases[] = {
      {u"Quillbox - Copy.settings", u"Quillbox_-_Copy"},
      {u"Quillbox (1).settings", u"Quillbox__1_"},
      {u".settings", u"Quillbox"},
      {u"\u0417\u0430\u043C\u0435\u0442\u043A\u0438.settings", u"\u0417\u0430\u043C\u0435\u0442\u043A\u0438"},
  };
  for (const Case& c : cases) {
    const std::u16string file = folder.Path(c.File);
    ASSERT_TRUE(session->SaveToFile(file));
    again->SetFileName(file);
    again->Load();
    EXPECT_EQ(again->State(), TSessionFile::TState::sfLoaded);
    EXPECT_FALSE(again->Knot().HasParseError());
    EXPECT_EQ(again->Knot().Name(), c.Root);
  }
  EXPECT_EQ(KnotNameOfTitle(u"Notes \U0001F4DD<1>"), u"Notes_\U0001F4DD_1_");
  EXPECT_EQ(KnotNameOfTitle(std::u16string(1, char16_t(0xD800)) + u"a"), u"_a");
}

// ---------------------------------------------------------------------------------------------------------------

namespace {

// A sizeable form with a place in the session; its constructor sets handlers of its own.
class TPlacedForm : public TForm {
 public:
  TPlacedForm(TComponent* AOwner, TSessionFile* ASession, TJournal* AJournal) : TForm(AOwner), FJournal(AJournal) {
    SetName(u"MainForm");
    NewInto(Place, this);
    Place->SetSessionFile(ASession);
    Place->SetKnotPath(u"Forms.Main");
    OnCreate = MakeMethod<&TPlacedForm::Created>(this);
    OnCloseQuery = MakeMethod<&TPlacedForm::Query>(this);
  }
  void Created(TObject*) { FJournal->push_back("created"); }
  void Query(TObject*, bool& ACanClose) {
    FJournal->push_back("query");
    ACanClose = AllowClose;
  }
  TFormPlace* Place = nullptr;
  bool AllowClose = true;

 private:
  TJournal* FJournal;
};

using FormPlaceTest = FrameworkTest;

std::u16string PlaceOf(TSessionFile& ASession) {
  TKnot* knot = ASession.Knot().FindKnotByPath(u"Forms.Main.MainForm", false);
  if (!knot) return u"(none)";
  std::u16string text;
  for (const char16_t* name : {u"Maximized", u"Left", u"Top", u"Width", u"Height"})
    if (knot->ParamExists(name)) text += std::u16string(name) + u"=" + knot->ReadString(name, u"") + u" ";
  return text;
}

}  // namespace

TEST_F(FormPlaceTest, AFormsPlaceIsWrittenOnCloseEvenWhenRefusedAndComesBackInANewInstance) {
  auto session = MakeForm<TSessionFile>();
  TJournal journal;
  {
    auto form = MakeForm<TPlacedForm>(session.get(), &journal);
    EXPECT_EQ(journal, (TJournal{"created"}));
    form->SetBounds(100, 50, 800, 600);
    form->AllowClose = false;
    form->Close();
    EXPECT_EQ(journal, (TJournal{"created", "query"}));
    EXPECT_EQ(PlaceOf(*session), u"Maximized=0 Left=100 Top=50 Width=800 Height=600 ");
  }
  {
    auto form = MakeForm<TPlacedForm>(session.get(), &journal);
    const RECT r = form->BoundsRect();
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);

    // Maximized: the flag alone is written, the stored bounds stay as they were.
    form->SetWindowState(TFormWindowState::wsMaximized);
    bool canClose = true;
    form->OnCloseQuery(form.get(), canClose);
    EXPECT_EQ(PlaceOf(*session), u"Maximized=1 Left=100 Top=50 Width=800 Height=600 ");
  }
  auto form = MakeForm<TPlacedForm>(session.get(), &journal);
  EXPECT_EQ(form->WindowState(), TFormWindowState::wsMaximized);
}

TEST_F(FormPlaceTest, AModalDialogClosedThroughItsResultWritesItsPlace) {
  auto session = MakeForm<TSessionFile>();
  TJournal journal;
  auto form = MakeForm<TPlacedForm>(session.get(), &journal);
  form->SetBounds(120, 80, 300, 200);
  struct TCloser {
    TPlacedForm* Form;
    void Tick(TObject*) { Form->SetModalResult(mrOk); }
  } closer{form.get()};
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.SetOnTimer(MakeMethod<&TCloser::Tick>(&closer));
  EXPECT_EQ(form->ShowModal(), mrOk);
  timer.SetEnabled(false);
  EXPECT_EQ(PlaceOf(*session), u"Maximized=0 Left=120 Top=80 Width=300 Height=200 ");
}
