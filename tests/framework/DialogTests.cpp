// Common dialogs: the open dialog and the find dialog run for real once, driven while they are shown; everything
// else goes through DialogRunners, which sees the record the component filled and answers for the user.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "framework/fwDialogs.h"
#include "framework/fwForms.h"
#include "framework/fwPrinters.h"
#include "tests/framework/DialogTestSupport.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class DialogTest : public FrameworkTest {
 protected:
  void TearDown() override {
    DialogRunners = TDialogRunners{};
    FrameworkTest::TearDown();
  }
};

std::u16string RecordFilter(const OPENFILENAMEW& ARecord) {
  // The pairs end with two NULs.
  const wchar_t* p = ARecord.lpstrFilter;
  while (p[0] || p[1]) ++p;
  return FromWide(ARecord.lpstrFilter, static_cast<size_t>(p - ARecord.lpstrFilter) + 2);
}

// ---------------------------------------------------------------------------------------------------------------
// Open and save through the seam

TEST_F(DialogTest, OpenRecordCarriesTheSettingsAndTheAnswerComesBack) {
  auto dialog = MakeForm<TOpenDialog>();
  dialog->SetTitle(u"Import");
  dialog->SetFilter(u"Notes (*.qbx)|*.qbx|All Files (*.*)|*.*");
  dialog->SetDefaultExt(u"qbx");
  dialog->SetOptions(dialog->Options() | ofFileMustExist);
  dialog->SetFileName(u"start.qbx");
  int calls = 0;
  DialogRunners.Open = [&](OPENFILENAMEW& r) {
    ++calls;
    EXPECT_EQ(FromWide(r.lpstrTitle), u"Import");
    static constexpr char16_t pairs[] = u"Notes (*.qbx)\0*.qbx\0All Files (*.*)\0*.*\0";
    EXPECT_EQ(RecordFilter(r), std::u16string(pairs, std::size(pairs)));
    EXPECT_EQ(r.nFilterIndex, 1u);
    EXPECT_EQ(FromWide(r.lpstrDefExt), u"qbx");
    EXPECT_EQ(FromWide(r.lpstrFile), u"start.qbx");
    EXPECT_EQ(r.nMaxFile, 32768u);
    EXPECT_TRUE(r.Flags & OFN_FILEMUSTEXIST);
    EXPECT_TRUE(r.Flags & OFN_NOCHANGEDIR);
    EXPECT_FALSE(r.Flags & OFN_OVERWRITEPROMPT);
    EXPECT_EQ(Application->ModalLevel(), 1);
    wcscpy(r.lpstrFile, L"C:\\notes\\chosen.qbx");
    r.nFilterIndex = 2;
    return TDialogAnswer{true, 0};
  };
  ASSERT_TRUE(dialog->Execute());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(dialog->FileName(), u"C:\\notes\\chosen.qbx");
  EXPECT_EQ(dialog->FilterIndex(), 2);
  EXPECT_EQ(Application->ModalLevel(), 0);
}

TEST_F(DialogTest, SaveGoesThroughItsOwnRunnerAndOnlyACancelAnswersFalse) {
  struct {
    TDialogAnswer Answer;
    bool Result;
    bool Raises;
  } const cases[] = {
      {{true, 0}, true, false},
      {{false, 0}, false, false},
      {{false, FNERR_INVALIDFILENAME}, false, true},
      {{false, CDERR_DIALOGFAILURE}, false, true},
  };
  for (const auto& c : cases) {
    auto dialog = MakeForm<TSaveDialog>();
    dialog->SetOptions(dialog->Options() | ofOverwritePrompt);
    dialog->SetFileName(u"old.qbx");
    DialogRunners.Open = [](OPENFILENAMEW&) {
      ADD_FAILURE() << "the open runner ran for a save dialog";
      return TDialogAnswer{};
    };
    DialogRunners.Save = [&](OPENFILENAMEW& r) {
      EXPECT_TRUE(r.Flags & OFN_OVERWRITEPROMPT);
      wcscpy(r.lpstrFile, L"new.qbx");
      return c.Answer;
    };
    if (c.Raises) {
      try {
        dialog->Execute();
        ADD_FAILURE() << "no error for code " << c.Answer.Error;
      } catch (const ECommonDialogError& e) {
        EXPECT_EQ(e.Code(), c.Answer.Error);
        EXPECT_NE(e.Message().find(u"save dialog failed"), std::u16string::npos);
      }
      EXPECT_EQ(dialog->FileName(), u"old.qbx");
    } else {
      EXPECT_EQ(dialog->Execute(), c.Result);
      EXPECT_EQ(dialog->FileName(), c.Result ? u"new.qbx" : u"old.qbx");
    }
    EXPECT_EQ(Application->ModalLevel(), 0);
  }
}

TEST_F(DialogTest, AnInitialNameLongerThanTheBufferRaisesWithoutShowingAnything) {
  auto dialog = MakeForm<TOpenDialog>();
  dialog->SetFileName(std::u16string(TOpenDialog::FileNameBufferSize, u'a'));
  {
    // The system's dialog itself: should it show after all, it is cancelled and the test fails.
    TDialogDriver driver(
        GetCurrentThreadId(), [](HWND ADialog) { PostMessageW(ADialog, WM_COMMAND, IDCANCEL, 0); }, 1000);
    try {
      dialog->Execute();
      ADD_FAILURE() << "no error";
    } catch (const ECommonDialogError& e) {
      EXPECT_EQ(e.Code(), DWORD(FNERR_BUFFERTOOSMALL));
      EXPECT_NE(e.Message().find(u"32768 characters"), std::u16string::npos);
    }
    EXPECT_FALSE(driver.Found());
  }
  // One character less fits with its terminator.
  dialog->SetFileName(std::u16string(TOpenDialog::FileNameBufferSize - 1, u'a'));
  DialogRunners.Open = [](OPENFILENAMEW& r) {
    EXPECT_EQ(wcslen(r.lpstrFile), TOpenDialog::FileNameBufferSize - 1);
    return TDialogAnswer{false, 0};
  };
  EXPECT_FALSE(dialog->Execute());
}

// ---------------------------------------------------------------------------------------------------------------
// The real open dialog

TEST_F(DialogTest, RealOpenDialogReturnsTheChosenName) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::u16string file = FromWide(temp) + u"quillbox-open-test.qbx";
  { std::ofstream(std::wstring(WStr(file)).c_str()) << "x"; }
  auto dialog = MakeForm<TOpenDialog>();
  dialog->SetFilter(u"Notes (*.qbx)|*.qbx");
  dialog->SetOptions(dialog->Options() | ofFileMustExist);
  TDialogDriver driver(GetCurrentThreadId(), [&](HWND ADialog) {
    // The explorer-style dialog's name box is a combo box with an edit (cmb13).
    SetDlgItemTextW(ADialog, 0x47C, WStr(file));
    PostMessageW(ADialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_TRUE(dialog->Execute());
  EXPECT_TRUE(driver.Found());
  EXPECT_EQ(dialog->FileName(), file);
  DeleteFileW(WStr(file));
}

// ---------------------------------------------------------------------------------------------------------------
// Find and replace through the seam: a stand-in window plays the dialog and the test sends FINDMSGSTRING.

class TFindJournal : public TObject {
 public:
  void Find(TObject*) { Events.push_back("find " + Utf16ToUtf8(Dialog->FindText())); }
  void Replace(TObject*) {
    auto* replace = static_cast<TReplaceDialog*>(Dialog);
    Events.push_back(std::string(replace->Options().Contains(frReplaceAll) ? "all " : "one ") +
                     Utf16ToUtf8(replace->ReplaceText()));
  }
  void Close(TObject*) { Events.push_back("close"); }
  void Throw(TObject*) { throw Exception(u"find handler failed"); }
  void Report(TObject*, const std::u16string& AMessage) { Events.push_back("report " + Utf16ToUtf8(AMessage)); }
  TFindDialog* Dialog = nullptr;
  std::vector<std::string> Events;
};

class FindSeamTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    form = MakeForm<TForm>();
    auto runner = [this](FINDREPLACEW& r) {
      ++runs;
      record = &r;
      standIn = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, r.hwndOwner, nullptr, nullptr, nullptr);
      return TModelessAnswer{standIn, 0};
    };
    DialogRunners.Find = runner;
    DialogRunners.Replace = runner;
    Application->OnException = MakeMethod<&TFindJournal::Report>(&journal);
  }
  void TearDown() override {
    form.reset();
    DialogTest::TearDown();
  }
  // What the system's dialog does when a button is pressed.
  void Press(DWORD AFlags, const wchar_t* AText) {
    wcscpy(record->lpstrFindWhat, AText);
    record->Flags = AFlags;
    SendMessageW(record->hwndOwner, RegisterWindowMessageW(FINDMSGSTRINGW), 0, reinterpret_cast<LPARAM>(record));
  }

  TFormPtr<TForm> form;
  TFindJournal journal;
  FINDREPLACEW* record = nullptr;
  HWND standIn = nullptr;
  int runs = 0;
};

TEST_F(FindSeamTest, OptionsGoInAndComeOutAndExecuteAgainOnlyBringsItForward) {
  TFindDialog* find = New<TFindDialog>(form.get());
  journal.Dialog = find;
  find->OnFind = MakeMethod<&TFindJournal::Find>(&journal);
  find->SetOptions(frDown | frHideWholeWord);
  find->SetFindText(u"start");
  find->Execute();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->hwndOwner, form->Handle());
  EXPECT_EQ(record->Flags, DWORD(FR_DOWN | FR_HIDEWHOLEWORD));
  EXPECT_EQ(FromWide(record->lpstrFindWhat), u"start");
  EXPECT_GE(record->wFindWhatLen, 80);
  EXPECT_EQ(find->Handle(), standIn);
  find->Execute();
  EXPECT_EQ(runs, 1);

  Press(FR_FINDNEXT | FR_MATCHCASE, L"needle");
  EXPECT_EQ(journal.Events, (std::vector<std::string>{"find needle"}));
  EXPECT_EQ(find->Options(), frMatchCase | frFindNext | frHideWholeWord);
  // A text set while shown reaches the record the dialog reads.
  find->SetFindText(u"other");
  EXPECT_EQ(FromWide(record->lpstrFindWhat), u"other");
}

TEST_F(FindSeamTest, ReplaceReportsWhichAndTheTextsAndTermClosesIt) {
  TReplaceDialog* replace = New<TReplaceDialog>(form.get());
  journal.Dialog = replace;
  replace->OnFind = MakeMethod<&TFindJournal::Find>(&journal);
  replace->OnReplace = MakeMethod<&TFindJournal::Replace>(&journal);
  replace->OnClose = MakeMethod<&TFindJournal::Close>(&journal);
  replace->SetReplaceText(u"new");
  replace->Execute();
  EXPECT_EQ(FromWide(record->lpstrReplaceWith), u"new");
  Press(FR_REPLACE | FR_DOWN, L"old");
  Press(FR_REPLACEALL | FR_DOWN, L"old");
  Press(FR_FINDNEXT | FR_DOWN, L"old");
  DestroyWindow(standIn);  // the system's dialog goes before it says so
  Press(FR_DIALOGTERM, L"old");
  EXPECT_EQ(journal.Events, (std::vector<std::string>{"one new", "all new", "find old", "close"}));
  EXPECT_EQ(replace->Handle(), nullptr);
  replace->Execute();
  EXPECT_EQ(runs, 2);
}

TEST_F(FindSeamTest, AnExceptionInTheFindHandlerIsReportedAndTheDialogStays) {
  TFindDialog* find = New<TFindDialog>(form.get());
  find->OnFind = MakeMethod<&TFindJournal::Throw>(&journal);
  find->Execute();
  Press(FR_FINDNEXT, L"x");
  EXPECT_EQ(journal.Events, (std::vector<std::string>{"report find handler failed"}));
  EXPECT_EQ(find->Handle(), standIn);
  EXPECT_TRUE(IsWindow(standIn));
}

TEST_F(FindSeamTest, TheDialogGoesWithItsOwnerAndAFailureRaises) {
  TFindDialog* find = New<TFindDialog>(form.get());
  find->Execute();
  HWND shown = find->Handle();
  form.reset();
  EXPECT_FALSE(IsWindow(shown));

  auto alone = MakeForm<TFindDialog>();
  DialogRunners.Find = [](FINDREPLACEW&) { return TModelessAnswer{nullptr, FRERR_BUFFERLENGTHZERO}; };
  try {
    alone->Execute();
    ADD_FAILURE() << "no error";
  } catch (const ECommonDialogError& e) {
    EXPECT_EQ(e.Code(), DWORD(FRERR_BUFFERLENGTHZERO));
  }
  EXPECT_EQ(alone->Handle(), nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// The real find dialog: its keys go through the application's loop.

TEST_F(DialogTest, RealFindDialogReportsTextAndOptionsAndTabMovesInsideIt) {
  auto form = MakeForm<TForm>();
  TFindJournal journal;
  TFindDialog* find = New<TFindDialog>(form.get());
  journal.Dialog = find;
  find->OnFind = MakeMethod<&TFindJournal::Find>(&journal);
  find->SetOptions(frDown | frHideWholeWord);
  find->Execute();
  HWND dialog = find->Handle();
  ASSERT_TRUE(IsWindow(dialog));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 0x410)));  // the whole-word box (chx1) is hidden
  SetForegroundWindow(dialog);
  HWND edit = GetDlgItem(dialog, 0x480);
  SetFocus(edit);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == edit; }));

  PostMessageW(edit, WM_KEYDOWN, VK_TAB, KeyData(VK_TAB));
  PostMessageW(edit, WM_KEYUP, VK_TAB, KeyData(VK_TAB) | (LPARAM(3) << 30));
  Application->ProcessMessages();
  EXPECT_NE(GetFocus(), edit);
  EXPECT_TRUE(IsChild(dialog, GetFocus()));

  // A second thread plays the user: types the text, checks match case, presses Find Next.
  std::thread user([&] {
    SetDlgItemTextW(dialog, 0x480, L"needle");
    SendMessageW(GetDlgItem(dialog, 0x411), BM_CLICK, 0, 0);  // chx2, match case
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_TRUE(PumpUntil([&] { return !journal.Events.empty(); }));
  user.join();
  EXPECT_EQ(journal.Events, (std::vector<std::string>{"find needle"}));
  EXPECT_EQ(find->Options(), frDown | frMatchCase | frFindNext | frHideWholeWord);
  find->CloseDialog();
  EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
