// The settings dialog driven by real keys and clicks (SendInput) inside its modal loop: a script of steps runs on a
// timer while ShowSettings waits, each step acting once or waiting for what the previous one caused.
#include "app/sfEditorSubForm.h"
#include "app/sfGeneralSubForm.h"
#include "app/sfPaletteSubForm.h"
#include "app/sfPrintSubForm.h"
#include "app/sfSettingsForm.h"
#include "app/sfSoundsSubForm.h"
#include "app/unMainForm.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baAppCmpns.h"
#include "controls/baEdits.h"
#include "controls/baTreeViewEx.h"
#include "controls/baUserButtons.h"
#include "document/elements/diLog.h"
#include "document/model/diCanvas.h"
#include "document/model/diSounds.h"
#include "document/model/diThemesWin.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuStreams.h"
#include "framework/fwStdCtrls.h"
#include "framework/fwTimer.h"
#include "tests/app/AppFixture.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using TGlobalPtr = std::unique_ptr<TGlobal, TComponentDeleter>;

std::string Utf8(const std::u16string& AText) {
  std::string result;
  for (char16_t c : AText) result += c < 128 ? static_cast<char>(c) : '?';
  return result;
}

// ---------------------------------------------------------------------------------------------------------------
// Input

POINT Centre(const RECT& ARect) { return POINT{(ARect.left + ARect.right) / 2, (ARect.top + ARect.bottom) / 2}; }

void ClickAt(TControl& AControl, POINT AClient) {
  const POINT screen = AControl.ClientToScreen(AClient);
  SetCursorPos(screen.x, screen.y);
  INPUT input[2]{};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
}

// A check box is clicked on its box, a button in its middle.
void Click(TControl& AControl) {
  if (dynamic_cast<TCheckBox*>(&AControl))
    ClickAt(AControl, POINT{7, AControl.Height() / 2});
  else
    ClickAt(AControl, Centre(AControl.ClientRect()));
}

void ClickPage(TSettingsForm& ADialog, int AIndex) {
  ClickAt(*ADialog.tv1, Centre(ADialog.tv1->Items().Item(AIndex)->DisplayRect(true)));
}

void Keys(std::initializer_list<uint16_t> AKeys, std::initializer_list<uint16_t> AModifiers = {}) {
  SendKeys(AKeys, AModifiers);
}

void TypeText(const std::u16string& AText) {
  std::vector<INPUT> inputs;
  for (char16_t c : AText)
    for (DWORD up : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE | up;
      inputs.push_back(input);
    }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Clicks into the edit, selects its whole text and types AText over it (nothing: the text is deleted).
void ReplaceText(TControl& AEdit, const std::u16string& AText) {
  Click(AEdit);
  Keys({VK_END});
  Keys({VK_HOME}, {VK_SHIFT});
  Keys({VK_DELETE});
  if (!AText.empty()) TypeText(AText);
}

// ---------------------------------------------------------------------------------------------------------------
// The script

// Runs one step per tick while a modal loop waits; a step that returns false is asked again at the next tick.
// Past the time limit the script fails, closes any message box and cancels the dialog.
class TDialogScript {
 public:
  using TStep = std::function<bool(TSettingsForm& ADialog)>;

  explicit TDialogScript(std::vector<TStep> ASteps) : FSteps(std::move(ASteps)) {
    FTimer = std::make_unique<TTimer>(nullptr);
    FTimer->SetInterval(60);
    FTimer->SetOnTimer(MakeMethod<&TDialogScript::Tick>(this));
    FEnd = GetTickCount64() + 20000;
  }
  ~TDialogScript() { FTimer->SetEnabled(false); }

  bool Finished() const { return FNext == FSteps.size(); }
  size_t StoppedAt() const { return FNext; }

 private:
  void Tick(TObject*) {
    if (FBusy || Finished()) return;
    FBusy = true;
    TSettingsForm* dialog = RunningSettingsForm();
    if (GetTickCount64() > FEnd) {
      if (HWND box = FindThreadMessageBox()) PostMessageW(box, WM_CLOSE, 0, 0);
      if (dialog) dialog->SetModalResult(mrCancel);
    } else if (dialog && dialog->Visible() && FSteps[FNext](*dialog)) {
      ++FNext;
    }
    FBusy = false;
  }

  std::vector<TStep> FSteps;
  size_t FNext = 0;
  bool FBusy = false;
  ULONGLONG FEnd;
  std::unique_ptr<TTimer> FTimer;
};

// Steps that are common to many scripts.
TDialogScript::TStep ClickStep(std::function<TControl&(TSettingsForm&)> AControl) {
  return [AControl](TSettingsForm& ADialog) {
    Click(AControl(ADialog));
    return true;
  };
}
TDialogScript::TStep ClickOK() {
  return ClickStep([](TSettingsForm& D) -> TControl& { return *D.ubOK; });
}
TDialogScript::TStep ClickCancel() {
  return ClickStep([](TSettingsForm& D) -> TControl& { return *D.ubCancel; });
}
TDialogScript::TStep ClickApply() {
  return ClickStep([](TSettingsForm& D) -> TControl& { return *D.ubApply; });
}
// Waits until the dialog is the active window.
TDialogScript::TStep WaitActive() {
  return [](TSettingsForm& ADialog) { return GetActiveWindow() == ADialog.Handle(); };
}
TDialogScript::TStep Check(std::function<void(TSettingsForm&)> ACheck) {
  return [ACheck](TSettingsForm& ADialog) {
    ACheck(ADialog);
    return true;
  };
}

TGeneralSubForm& General(TSettingsForm& ADialog) { return *static_cast<TGeneralSubForm*>(ADialog.Pages(0)); }
TPaletteSubForm& Palette(TSettingsForm& ADialog) { return *static_cast<TPaletteSubForm*>(ADialog.Pages(1)); }
TEditorSubForm& Editor(TSettingsForm& ADialog) { return *static_cast<TEditorSubForm*>(ADialog.Pages(2)); }
TSoundsSubForm& Sounds(TSettingsForm& ADialog) { return *static_cast<TSoundsSubForm*>(ADialog.Pages(3)); }
TPrintSubForm& Print(TSettingsForm& ADialog) { return *static_cast<TPrintSubForm*>(ADialog.Pages(4)); }

// ---------------------------------------------------------------------------------------------------------------

class SettingsFormTest : public TStartedUnitsTest {
 protected:
  void SetUp() override {
    TStartedUnitsTest::SetUp();
    ApplicationTitleId = 4000;
    StartGlobal();
    Settings().General->Language->SetValue(u"ENU");
  }
  void TearDown() override {
    FGlobal.reset();
    Localization->SetLanguage(LangEnglishUS);
    TStartedUnitsTest::TearDown();
  }

  // As the program does, the module is the global one while it lives.
  void StartGlobal() {
    FGlobal.reset(New<TGlobal>(nullptr, TGlobalPlaces{Scratch() + u"program\\Quillbox.exe", Scratch() + u"local",
                                                      Scratch() + u"documents", u"OrrenwickStudios", u"Quillbox"}));
    Global = FGlobal.get();
  }
  void StopGlobal() { FGlobal.reset(); }
  TGlobal& GlobalModule() const { return *FGlobal; }
  TSettings& Settings() const { return *FGlobal->Settings(); }

  // The whole tree as knot text.
  std::u16string Snapshot() const {
    TKnot knot;
    Settings().SaveToKnot(knot);
    return knot.SaveToString();
  }

  // ShowSettings with the script running in its modal loop; the script must have run to its end.
  TModalResult Run(std::vector<TDialogScript::TStep> ASteps, const std::u16string& APageName = {}) {
    TDialogScript script(std::move(ASteps));
    const TModalResult result = ShowSettings(nullptr, &Settings(), APageName);
    EXPECT_TRUE(script.Finished()) << "stopped at step " << script.StoppedAt();
    EXPECT_EQ(RunningSettingsForm(), nullptr);
    return result;
  }

 private:
  TGlobalPtr FGlobal;
};

TEST(SettingsPages, ALinksPathOpensThePageOfItsFirstNode) {
  struct TCase {
    const char16_t* Path;
    const char16_t* Page;
  };
  for (const TCase& c :
       {TCase{u"General.DataFileName", u"GeneralSubForm"}, TCase{u"PaletteForm.ShowHints", u"PaletteSubForm"},
        TCase{u"Sheet", u"EditorSubForm"}, TCase{u"Sheet.Log.WriteHints", u"EditorSubForm"},
        TCase{u"SheetForm", u"EditorSubForm"}, TCase{u"Sounds.Enabled", u"SoundsSubForm"},
        TCase{u"Print.Scale", u"PrintSubForm"}, TCase{u"Search.CaseSensitiveByDefault", u"GeneralSubForm"},
        TCase{u"", u"GeneralSubForm"}, TCase{u"Sheetx.Theme", u"GeneralSubForm"}})
    EXPECT_EQ(SettingsPageOfPath(c.Path), c.Page) << Utf8(c.Path);
}

TEST(SettingsPages, ADataFileNameIsMadeWholeOrRefused) {
  using enum TDataFileNameProblem;
  const std::u16string folder = u"C:\\users\\me\\Documents\\Quillbox\\";
  const std::u16string fallback = folder + u"Quillbox.qbx";
  struct TCase {
    const char16_t* Text;
    TDataFileNameProblem Problem;
    std::u16string Value;
  };
  const TCase cases[] = {
      {u"", dfOk, fallback},
      {u"   ", dfOk, fallback},
      {u"notes.qbx", dfOk, folder + u"notes.qbx"},
      {u"  notes.qbx  ", dfOk, folder + u"notes.qbx"},
      {u"old\\..\\notes.qbx", dfOk, folder + u"notes.qbx"},
      {u"D:\\data\\notes.qbx", dfOk, u"D:\\data\\notes.qbx"},
      {u"D:/data/./notes.qbx", dfOk, u"D:\\data\\notes.qbx"},
      {u"\\notes.qbx", dfOk, u"C:\\notes.qbx"},
      {u"\\\\server\\share\\notes.qbx", dfOk, u"\\\\server\\share\\notes.qbx"},
      {u"a|b.qbx", dfReservedCharacter, u"|"},
      {u"a?.qbx", dfReservedCharacter, u"?"},
      {u"D:\\a:b.qbx", dfReservedCharacter, u":"},
      {u"a\tb.qbx", dfReservedCharacter, u"\t"},
      {u"nul", dfDevice, u""},
      {u"Con.qbx", dfDevice, u""},
      {u"D:\\com1\\notes.qbx", dfDevice, u""},
      {u"LPT9 .txt", dfDevice, u""},
      {u"D:notes.qbx", dfNoFileName, u""},
      {u"D:\\data\\", dfNoFileName, u""},
      {u"notes.", dfNoFileName, u""},
      {u"com10.qbx", dfOk, folder + u"com10.qbx"},
  };
  for (const TCase& c : cases) {
    const TDataFileNameCheck check = CheckDataFileName(c.Text, folder, fallback);
    EXPECT_EQ(check.Problem, c.Problem) << Utf8(c.Text);
    EXPECT_EQ(check.Value, c.Value) << Utf8(c.Text);
  }
  // An existing folder is no file.
  const std::u16string temp = GetTempFolder();
  EXPECT_EQ(CheckDataFileName(temp.substr(0, temp.size() - 1), folder, fallback).Problem, dfFolder);
}

TEST_F(SettingsFormTest, ReopeningShowsThePageLastOpen) {
  EXPECT_EQ(Run({WaitActive(),
                 [](TSettingsForm& D) {
                   ClickPage(D, 2);
                   return true;
                 },
                 [](TSettingsForm& D) { return D.CurrentPage() == D.Pages(2); }, ClickCancel()}),
            mrCancel);
  EXPECT_EQ(Run({WaitActive(), Check([](TSettingsForm& D) {
                   EXPECT_EQ(D.SelectedPageIndex(), 2);
                   EXPECT_EQ(D.CurrentPage(), D.Pages(2));
                   EXPECT_TRUE(D.Pages(2)->Visible());
                   for (int i : {0, 1, 3, 4}) EXPECT_FALSE(D.Pages(i)->Visible()) << i;
                 }),
                 [](TSettingsForm& D) {
                   ClickPage(D, 3);
                   return true;
                 },
                 [](TSettingsForm& D) { return D.CurrentPage() == D.Pages(3); }, ClickOK()}),
            mrOk);
  EXPECT_EQ(Run({WaitActive(), Check([](TSettingsForm& D) { EXPECT_EQ(D.CurrentPage(), D.Pages(3)); }), ClickCancel()}),
            mrCancel);
}

TEST_F(SettingsFormTest, APageNameSelectsItsPageAndFocusesItsFirstControl) {
  const char16_t* names[] = {u"GeneralSubForm", u"PaletteSubForm", u"EditorSubForm", u"SoundsSubForm", u"PrintSubForm"};
  for (int index = 0; index < 5; ++index) {
    EXPECT_EQ(Run({WaitActive(),
                   [index](TSettingsForm& D) {
                     TWinControl* first = D.Pages(index)->FirstControl();
                     return first && GetFocus() == first->Handle();
                   },
                   Check([index](TSettingsForm& D) {
                     EXPECT_EQ(D.SelectedPageIndex(), index);
                     EXPECT_EQ(D.CurrentPage(), D.Pages(index));
                     EXPECT_TRUE(D.Pages(index)->Visible());
                     // Esc is the Cancel button.
                     Keys({VK_ESCAPE});
                   })},
                  names[index]),
              mrCancel)
        << Utf8(names[index]);
  }
  // The first controls: the language list, the first palette box, the theme list, the sounds box, the theme list.
  std::unique_ptr<TSettingsForm, TComponentDeleter> dialog(
      New<TSettingsForm>(nullptr, Settings(), 0, u"", TSettingsApplyHook(), nullptr));
  EXPECT_EQ(dialog->Pages(0)->FirstControl(), General(*dialog).cbLanguage);
  EXPECT_EQ(dialog->Pages(1)->FirstControl(), Palette(*dialog).chShowHeaders);
  EXPECT_EQ(dialog->Pages(2)->FirstControl(), Editor(*dialog).Appearance.cbTheme);
  EXPECT_EQ(dialog->Pages(3)->FirstControl(), Sounds(*dialog).chEnabled);
  EXPECT_EQ(dialog->Pages(4)->FirstControl(), Print(*dialog).Appearance.cbTheme);
}

TEST_F(SettingsFormTest, TheLogsSettingsLinkOpensThePageOfItsPath) {
  // The program's handler, as the started units left it.
  TSettingsLinkHandler handler = SetSettingsLinkHandler(nullptr);
  SetSettingsLinkHandler(handler);
  ASSERT_TRUE(handler);
  TDialogScript script({WaitActive(),
                        [](TSettingsForm& D) { return GetFocus() == Print(D).Appearance.cbTheme->Handle(); },
                        Check([](TSettingsForm& D) { EXPECT_EQ(D.CurrentPage(), D.Pages(4)); }), ClickCancel()});
  handler(u"Print.Scale");
  EXPECT_TRUE(script.Finished()) << "stopped at step " << script.StoppedAt();
  EXPECT_EQ(RunningSettingsForm(), nullptr);
}

TEST_F(SettingsFormTest, ALanguageAppliedShowsANewDialogOnTheFirstPageAndTheCallerReturnsOnce) {
  ASSERT_EQ(Localization->Language(), LangEnglishUS);
  std::vector<TSettingsForm*> seen;
  int returns = 0;
  const TModalResult result =
      Run({WaitActive(),
           [](TSettingsForm& D) {
             TComboBox& languages = *General(D).cbLanguage;
             if (GetFocus() != languages.Handle()) return false;
             Keys({'D'});
             return true;
           },
           [](TSettingsForm& D) { return General(D).cbLanguage->Text() == u"Deutsch"; },
           // Away from the first page, to see that the new dialog starts there.
           [](TSettingsForm& D) {
             ClickPage(D, 4);
             return true;
           },
           [](TSettingsForm& D) { return D.CurrentPage() == D.Pages(4); }, ClickApply(),
           // The new dialog may take the old one's memory: it is told by its page, the first one.
           [&seen](TSettingsForm& D) {
             if (D.CurrentPage() != D.Pages(0)) return false;
             seen.push_back(&D);
             return GetActiveWindow() == D.Handle();
           },
           Check([this](TSettingsForm& D) {
             EXPECT_EQ(Settings().General->Language->Value(), u"DEU");
             EXPECT_EQ(Localization->Language(), 0x0407);
             EXPECT_EQ(D.SelectedPageIndex(), 0);
             EXPECT_EQ(D.CurrentPage(), D.Pages(0));
             EXPECT_TRUE(D.Pages(0)->Visible());
             EXPECT_EQ(General(D).cbLanguage->Text(), u"Deutsch");
             // Each text from the German table, or English where the table has none.
             auto german = [](int AId) {
               std::u16string text = TLocalization::LoadStringForLanguage(AId, 0x0407);
               return text.empty() ? TLocalization::LoadStringForLanguage(AId, LangEnglishUS) : text;
             };
             EXPECT_EQ(D.Caption(), german(2047));
             EXPECT_EQ(D.ubApply->Caption(), german(2015));
             EXPECT_EQ(D.tv1->Items().Item(2)->Text(), german(4174));
           }),
           ClickCancel()},
          u"GeneralSubForm");
  ++returns;
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(returns, 1);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(Settings().General->Language->Value(), u"DEU");
  Settings().General->Language->SetValue(u"ENU");
  EXPECT_EQ(Localization->Language(), LangEnglishUS);
}

TEST_F(SettingsFormTest, OkWithALanguageChangeRecaptionsTheMainWindow) {
  TMainFormSystem system;
  system.NotifyIcon = [](DWORD, const NOTIFYICONDATAW&) { return true; };
  system.MessageBox = [](const std::u16string& AText, UINT) {
    ADD_FAILURE() << std::string(AText.begin(), AText.end());
    return IDOK;
  };
  system.StartupFolder = [this] { return Scratch(); };
  system.ProgramFileName = Scratch() + u"program\\Quillbox.exe";
  std::unique_ptr<TMainForm, TComponentDeleter> form(New<TMainForm>(nullptr, system));
  auto fileMenu = [&form] {
    wchar_t text[64] = {};
    GetMenuStringW(GetMenu(form->Handle()), 0, text, 63, MF_BYPOSITION);
    return FromWide(text);
  };
  ASSERT_EQ(fileMenu(), TLocalization::LoadStringForLanguage(2023, LangEnglishUS));

  EXPECT_EQ(Run({WaitActive(),
                 [](TSettingsForm& D) {
                   TComboBox& languages = *General(D).cbLanguage;
                   if (GetFocus() != languages.Handle()) return false;
                   Keys({'D'});
                   return true;
                 },
                 [](TSettingsForm& D) { return General(D).cbLanguage->Text() == u"Deutsch"; }, ClickOK()},
                u"GeneralSubForm"),
            mrOk);
  EXPECT_EQ(Localization->Language(), 0x0407);
  EXPECT_EQ(fileMenu(), TLocalization::LoadStringForLanguage(2023, 0x0407));
  Settings().General->Language->SetValue(u"ENU");
  EXPECT_EQ(fileMenu(), TLocalization::LoadStringForLanguage(2023, LangEnglishUS));
}

TEST_F(SettingsFormTest, CancelAfterEditsChangesNoKeyAndWritesNoFile) {
  const std::u16string before = Snapshot();
  const std::u16string settingsFile = GlobalModule().SettingsFile->FileName();
  ASSERT_FALSE(FileExists(settingsFile));
  EXPECT_EQ(Run({WaitActive(), ClickStep([](TSettingsForm& D) -> TControl& { return *General(D).chAutoStart; }),
                 [](TSettingsForm& D) {
                   ReplaceText(*General(D).edDataFileName, u"other.qbx");
                   return true;
                 },
                 [](TSettingsForm& D) { return General(D).edDataFileName->Text() == u"other.qbx"; },
                 [](TSettingsForm& D) {
                   ClickPage(D, 1);
                   return true;
                 },
                 ClickStep([](TSettingsForm& D) -> TControl& { return *Palette(D).chShowHeaders; }),
                 [](TSettingsForm& D) {
                   ClickPage(D, 4);
                   return true;
                 },
                 [](TSettingsForm& D) {
                   ReplaceText(*Print(D).veScale, u"7");
                   return true;
                 },
                 Check([](TSettingsForm& D) {
                   EXPECT_FALSE(General(D).chAutoStart->Checked());
                   EXPECT_FALSE(Palette(D).chShowHeaders->Checked());
                   EXPECT_EQ(Print(D).veScale->Text(), u"7");
                 }),
                 ClickCancel()},
                u"GeneralSubForm"),
            mrCancel);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_FALSE(FileExists(settingsFile));
  EXPECT_FALSE(FileExists(GlobalModule().DataFolder() + u"other.qbx"));
}

TEST_F(SettingsFormTest, TheDataFileNameIsStoredWholeOrRefusedWithNothingStored) {
  struct TCase {
    const char16_t* Typed;
    std::u16string Stored;
  };
  for (const TCase& c : {TCase{u"", GlobalModule().DefaultDataFileName()},
                         TCase{u"notes.qbx", GlobalModule().DataFolder() + u"notes.qbx"}}) {
    Settings().General->DataFileName->SetValue(GlobalModule().DataFolder() + u"before.qbx");
    const std::u16string typed = c.Typed;
    EXPECT_EQ(Run({WaitActive(),
                   [typed](TSettingsForm& D) {
                     ReplaceText(*General(D).edDataFileName, typed);
                     return true;
                   },
                   [typed](TSettingsForm& D) { return General(D).edDataFileName->Text() == typed; }, ClickOK()},
                  u"GeneralSubForm"),
              mrOk)
        << Utf8(typed);
    EXPECT_EQ(Settings().General->DataFileName->Value(), c.Stored) << Utf8(typed);
  }

  // A refused name: the message, the dialog stays open, and not even the other edits are stored. A new name's
  // folder is made as the name is checked: one that cannot be made (under a file) is refused.
  const std::u16string folder = GlobalModule().DataFolder();
  std::ofstream(Path(folder + u"blocker"), std::ios::binary) << "a file";
  struct TRefused {
    const char16_t* Typed;
    std::u16string Message;  // its start: the system's reason may follow
  };
  const TRefused refused[] = {
      {u"a|b.qbx", u"The data file name \"a|b.qbx\" holds the character \"|\", which file names cannot hold."},
      {u"blocker\\sub\\n.qbx", u"Cannot create the folder \"" + folder + u"blocker\\sub\" for the data file. "},
  };
  for (const TRefused& r : refused) {
    const std::u16string before = Snapshot();
    const std::u16string typed = r.Typed;
    std::u16string message;
    EXPECT_EQ(Run({WaitActive(), ClickStep([](TSettingsForm& D) -> TControl& { return *General(D).chShowInTray; }),
                   [typed](TSettingsForm& D) {
                     ReplaceText(*General(D).edDataFileName, typed);
                     return true;
                   },
                   [typed](TSettingsForm& D) { return General(D).edDataFileName->Text() == typed; }, ClickOK(),
                   [&message](TSettingsForm&) {
                     HWND box = FindThreadMessageBox();
                     if (!box) return false;
                     message = MessageBoxText(box);
                     Keys({VK_RETURN});
                     return true;
                   },
                   [](TSettingsForm& D) { return !FindThreadMessageBox() && GetActiveWindow() == D.Handle(); },
                   Check([](TSettingsForm& D) {
                     EXPECT_EQ(D.ModalResult(), mrNone);
                     EXPECT_EQ(GetFocus(), General(D).edDataFileName->Handle());
                   }),
                   ClickCancel()},
                  u"GeneralSubForm"),
              mrCancel)
        << Utf8(typed);
    EXPECT_EQ(message.substr(0, r.Message.size()), r.Message) << Utf8(typed);
    EXPECT_EQ(Snapshot(), before) << Utf8(typed);
  }
}

TEST_F(SettingsFormTest, TheThemeListOffersTheThemesFolderAndShowsAMissingThemeAsDefault) {
  const std::u16string folder = GetThemeFolder();
  std::filesystem::remove_all(Path(folder));
  std::filesystem::create_directories(Path(folder));
  for (const char16_t* name : {u"Dark.txt", u"Blue.txt", u"Notes.png"}) TFileStream(folder + name, TFileMode::fmCreate);
  Settings().Sheet->Theme->SetValue(u"Grey");
  Settings().Print->Theme->SetValue(u"Dark");
  {
    std::unique_ptr<TSettingsForm, TComponentDeleter> dialog(
        New<TSettingsForm>(nullptr, Settings(), 0, u"", TSettingsApplyHook(), nullptr));
    for (TComboBox* themes : {Editor(*dialog).Appearance.cbTheme, Print(*dialog).Appearance.cbTheme}) {
      ASSERT_EQ(themes->Items().Count(), 3);
      EXPECT_EQ(themes->Items()[0], u"Default");
      EXPECT_EQ(themes->Items()[1], u"Blue");
      EXPECT_EQ(themes->Items()[2], u"Dark");
    }
    EXPECT_EQ(Editor(*dialog).Appearance.cbTheme->ItemIndex(), 0);
    EXPECT_EQ(Print(*dialog).Appearance.cbTheme->ItemIndex(), 2);
    ASSERT_TRUE(dialog->Apply(false));
  }
  EXPECT_EQ(Settings().Sheet->Theme->Value(), u"Default");
  EXPECT_EQ(Settings().Print->Theme->Value(), u"Dark");
  std::error_code ignored;
  std::filesystem::remove_all(Path(folder), ignored);
}

TEST_F(SettingsFormTest, TheHiddenDropDownBoxFollowsFocusNew) {
  Settings().Sheet->FocusNew->SetValue(false);
  EXPECT_EQ(
      Run({WaitActive(), Check([](TSettingsForm& D) {
             EXPECT_FALSE(Editor(D).chDropDownOnFocusNew->Visible());
             EXPECT_FALSE(Editor(D).chDropDownOnFocusNew->Enabled());
           }),
           ClickStep([](TSettingsForm& D) -> TControl& { return *Editor(D).chFocusNew; }),
           [](TSettingsForm& D) { return Editor(D).chFocusNew->Checked(); },
           Check([](TSettingsForm& D) { EXPECT_TRUE(Editor(D).chDropDownOnFocusNew->Enabled()); }),
           ClickStep([](TSettingsForm& D) -> TControl& { return *Editor(D).chFocusNew; }),
           [](TSettingsForm& D) { return !Editor(D).chFocusNew->Checked(); },
           Check([](TSettingsForm& D) { EXPECT_FALSE(Editor(D).chDropDownOnFocusNew->Enabled()); }), ClickCancel()},
          u"EditorSubForm"),
      mrCancel);
  Settings().Sheet->FocusNew->SetValue(true);
  std::unique_ptr<TSettingsForm, TComponentDeleter> dialog(
      New<TSettingsForm>(nullptr, Settings(), 0, u"", TSettingsApplyHook(), nullptr));
  EXPECT_TRUE(Editor(*dialog).chDropDownOnFocusNew->Enabled());
}

TEST_F(SettingsFormTest, AScaleOfZeroIsStoredAsOne) {
  EXPECT_EQ(Run({WaitActive(),
                 [](TSettingsForm& D) {
                   ReplaceText(*Print(D).veScale, u"0");
                   return true;
                 },
                 [](TSettingsForm& D) { return Print(D).veScale->Text() == u"0"; }, ClickOK()},
                u"PrintSubForm"),
            mrOk);
  EXPECT_EQ(Settings().Print->Scale->Value(), 1);
}

TEST_F(SettingsFormTest, SoundsSwitchedOffStaySoAfterARestart) {
  ASSERT_TRUE(SoundsSettings->Enabled->Value());
  EXPECT_EQ(Run({WaitActive(), [](TSettingsForm& D) { return GetFocus() == Sounds(D).chEnabled->Handle(); },
                 [](TSettingsForm&) {
                   Keys({VK_SPACE});
                   return true;
                 },
                 [](TSettingsForm& D) { return !Sounds(D).chEnabled->Checked(); }, ClickOK()},
                u"SoundsSubForm"),
            mrOk);
  EXPECT_FALSE(SoundsSettings->Enabled->Value());
  ASSERT_TRUE(GlobalModule().SaveSettings());
  // A new start: the node begins at its default and the settings file brings the choice back.
  StopGlobal();
  SoundsSettings->Enabled->SetValue(true);
  StartGlobal();
  EXPECT_FALSE(SoundsSettings->Enabled->Value());
  SoundsSettings->Enabled->SetValue(true);
}

}  // namespace
