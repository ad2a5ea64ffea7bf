#include "app/diEditForm.h"
#include "app/diPaletteForm.h"
#include "app/diSheetForm.h"
#include "app/sfSettingsForm.h"
#include "app/unMainForm.h"
#include "app/unMenuImages.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baAppCmpns.h"
#include "controls/baSaper.h"
#include "document/elements/diLog.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diCanvas.h"
#include "document/model/diClasses.h"
#include "document/model/diSheet.h"
#include "document/model/diSounds.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUndoRedo.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwApplication.h"
#include "framework/fwDialogs.h"
#include "framework/fwImageList.h"
#include "framework/fwMenus.h"
#include "framework/fwRuntime.h"
#include "framework/fwTimer.h"
#include "tests/app/AppFixture.h"
#include "tests/document/TestVisualElements.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

static_assert(sizeof(NOTIFYICONDATAW) == 976, "the whole record: a shorter one cuts the tip and loses the balloon");

using TMainFormPtr = std::unique_ptr<TMainForm, TComponentDeleter>;

// Handles messages until ACondition holds or ATimeoutMs pass (by default a hang: a busy machine is never that slow).
bool PumpUntil(const std::function<bool()>& ACondition, unsigned ATimeoutMs = 60000) {
  const ULONGLONG end = GetTickCount64() + ATimeoutMs;
  for (;;) {
    Application->ProcessMessages();
    if (ACondition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(5);
  }
}

void Pump(unsigned AMs) {
  PumpUntil([] { return false; }, AMs);
}

// What the window told the notification area.
struct TTrayCall {
  DWORD Message;
  DWORD Size;
  UINT Flags;
  std::u16string Tip;
  std::u16string Info;
  HWND Window;
  bool WindowPainted;  // nothing of a visible window was left to paint
};

// A file opened by nobody else: neither read nor replaced while the lock lives.
class TFileLock {
 public:
  explicit TFileLock(const std::u16string& AName)
      : FHandle(CreateFileW(WStr(AName), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~TFileLock() { Release(); }
  bool Held() const { return FHandle != INVALID_HANDLE_VALUE; }
  void Release() {
    if (Held()) CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE FHandle;
};

std::string ReadBytes(const std::u16string& AName) {
  std::ifstream file(std::filesystem::path(WStr(AName)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Ctrl+S as the window gets it: the key sent to AWindow with Ctrl down in the thread's key state.
void PressCtrlS(HWND AWindow) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] |= 0x80;
  SetKeyboardState(keys);
  SendMessageW(AWindow, WM_KEYDOWN, 'S', 0);
  keys[VK_CONTROL] &= ~0x80;
  SetKeyboardState(keys);
}

// A data file holding a plain text.
void WriteDocument(const std::u16string& AName, std::u16string_view AText) {
  TSheetSettings settings(nullptr);
  TPlainDocument document(&settings);
  document.LoadFromFile(AName + u".missing");
  document.DocumentRoot()->SetText(AText);
  document.SaveToFile(AName);
}

// Takes the files dropped on it.
class TDropTarget : public TTestVisualLeaf {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualLeaf::TTestVisualLeaf;
  bool DropFiles(const std::vector<std::u16string>& AFileNames) override {
    Dropped = AFileNames;
    return Takes;
  }
  std::vector<std::u16string> Dropped;
  bool Takes = true;
};

const TElementClassInfo TDropTarget::ClassInfo{u"TElement_DropTarget", &TTestVisualLeaf::ClassInfo,
                                               &ElementFactory<TDropTarget>};

// A drop as the shell makes it: the names after a DROPFILES header, wide, each ended by a null, one more at the end.
HDROP MakeDrop(const std::vector<std::u16string>& ANames) {
  std::u16string list;
  for (const std::u16string& name : ANames) list += name + u'\0';
  if (ANames.empty()) list += u'\0';
  list += u'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(char16_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size() * sizeof(char16_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// A focusable element of a scheme of its own, shown on a sheet while this lives.
class TSheetTarget {
 public:
  explicit TSheetTarget(TSheet* ASheet)
      : FScheme(&TTestVisualGroup::ClassInfo, u"Test"),
        FTarget(AddVisual<TDropTarget>(static_cast<TVisualElement*>(FScheme.Root()), 0, 0, 100, 20)) {
    FTarget->SetVisualParent(ASheet->Root());
  }
  ~TSheetTarget() { FTarget->SetVisualParent(nullptr); }
  TDropTarget* Target() const { return FTarget; }

 private:
  TScheme FScheme;
  TDropTarget* FTarget;
};

class MainFormTest : public TStartedUnitsTest {
 protected:
  void SetUp() override {
    TStartedUnitsTest::SetUp();
    ApplicationTitleId = IdMainTitle;
    std::filesystem::create_directories(Path(Scratch() + u"program"));
    std::filesystem::create_directories(Path(Scratch() + u"startup"));
    Application->OnException = MakeMethod<&MainFormTest::DefaultReport>(this);
  }
  void TearDown() override {
    Application->OnException = TExceptionEvent();
    Form.reset();
    FreeAndNil(Global);
    DialogRunners = {};
    TStartedUnitsTest::TearDown();
  }

  TGlobalPlaces Places() const {
    return {Scratch() + u"program\\Quillbox.exe", Scratch() + u"local", Scratch() + u"documents", u"OrrenwickStudios",
            u"Quillbox"};
  }
  std::u16string DataFile() const { return Scratch() + u"documents\\Quillbox\\Quillbox.qbx"; }
  std::u16string SessionFileName() const { return Scratch() + u"local\\OrrenwickStudios\\Quillbox\\Quillbox.session"; }
  std::u16string SettingsFileName() const {
    return Scratch() + u"local\\OrrenwickStudios\\Quillbox\\Quillbox.settings";
  }
  // A later run: a session file exists.
  void SeedSession() {
    std::filesystem::create_directories(Path(ExtractFilePath(SessionFileName())));
    std::unique_ptr<TSessionFile, TComponentDeleter> file(New<TSessionFile>(nullptr));
    file->SetFileName(SessionFileName());
    file->Knot().FindOrAddKnot(u"MainForm");
    ASSERT_TRUE(file->Save());
  }

  // A document written before; the window made as the program makes it, the application's main form.
  TMainForm* StartAsTheApplicationsMainForm() {
    std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
    WriteDocument(DataFile(), u"before");
    Global = New<TGlobal>(nullptr, Places());
    TMainForm* form = nullptr;
    Application->CreateForm(form, System());
    Form.reset(form);
    return form;
  }

  TMainFormSystem System() {
    TMainFormSystem system;
    system.NotifyIcon = [this](DWORD AMessage, const NOTIFYICONDATAW& AData) {
      const bool painted = !IsWindowVisible(AData.hWnd) || !GetUpdateRect(AData.hWnd, nullptr, FALSE);
      TrayCalls.push_back({AMessage, AData.cbSize, AData.uFlags, FromWide(AData.szTip), FromWide(AData.szInfo),
                           AData.hWnd, painted});
      return true;
    };
    system.Clock = [this] { return Clock; };
    system.MessageBox = [this](const std::u16string& AText, UINT) {
      Reports.push_back(AText);
      if (OnReport) OnReport();
      return IDOK;
    };
    system.Browser = [this](const std::u16string& AAddress) {
      Browsed.push_back(AAddress);
      return true;
    };
    system.Beep = [this] { ++Beeps; };
    system.StartupFolder = [this] { return StartupFolder; };
    system.ProgramFileName = Scratch() + u"program\\Quillbox.exe";
    return system;
  }

  TMainForm& Start() {
    Global = New<TGlobal>(nullptr, Places());
    Form.reset(New<TMainForm>(nullptr, System()));
    return *Form;
  }
  // A first run's icon comes once its window has painted.
  TMainForm& StartWithTrayIcon() {
    Start();
    Form->Handle();
    EXPECT_TRUE(PumpUntil([&] { return Form->TrayIconShown(); }));
    return *Form;
  }
  TGeneralSettings& General() { return *Global->Settings()->General; }
  int CountTrayCalls(DWORD AMessage) const {
    int n = 0;
    for (const TTrayCall& call : TrayCalls) n += call.Message == AMessage;
    return n;
  }
  std::vector<std::u16string> Balloons() const {
    std::vector<std::u16string> texts;
    for (const TTrayCall& call : TrayCalls)
      if (call.Message == NIM_MODIFY && (call.Flags & NIF_INFO)) texts.push_back(call.Info);
    return texts;
  }

  // The application's report of an exception that left a handler: a box like the window's own.
  void DefaultReport(TObject* ASender, const std::u16string& AText) {
    Reports.push_back(AText);
    if (OnReport) OnReport();
  }

  TMainFormPtr Form;
  std::vector<TTrayCall> TrayCalls;
  TDateTime Clock = EncodeDateTime(2024, 3, 7, 15, 30);
  // Every box the user would see: the window's reports of failed saves and the application's default report.
  std::vector<std::u16string> Reports;
  std::function<void()> OnReport;
  std::vector<std::u16string> Browsed;
  int Beeps = 0;
  std::u16string StartupFolder;
};

TEST_F(MainFormTest, TheStartupFolderFallsBackToTheKnownFolderAndWithoutOneNoShortcutIsMade) {
  struct TCase {
    std::u16string Registry, Known, Folder, Link;
  };
  const TCase cases[] = {
      {u"C:\\Start", u"C:\\Known\\", u"C:\\Start\\", u"C:\\Start\\Quillbox.lnk"},
      {u"C:\\Start\\", u"", u"C:\\Start\\", u"C:\\Start\\Quillbox.lnk"},
      {u"", u"C:\\Known", u"C:\\Known\\", u"C:\\Known\\Quillbox.lnk"},
      // Never "\Quillbox.lnk" in a drive's root.
      {u"", u"", u"", u""},
  };
  for (const TCase& c : cases) {
    const std::u16string folder = ChooseStartupFolder(c.Registry, c.Known);
    EXPECT_EQ(folder, c.Folder);
    EXPECT_EQ(StartupShortcutName(folder, u"D:\\Programs\\Quillbox.exe"), c.Link);
  }

  // No folder: AutoStart reads false and turning it on makes nothing.
  StartupFolder.clear();
  Start();
  EXPECT_FALSE(General().AutoStart->Value());
  EXPECT_EQ(Form->StartupShortcut(), u"");
  General().AutoStart->SetValue(true);
  EXPECT_TRUE(std::filesystem::is_empty(Path(Scratch() + u"startup")));
}

TEST_F(MainFormTest, AutoStartFollowsTheShortcutAndTurningItOffDeletesAReadOnlyOne) {
  StartupFolder = Scratch() + u"startup\\";
  const std::u16string link = StartupFolder + u"Quillbox.lnk";
  Start();
  EXPECT_EQ(Form->StartupShortcut(), link);
  EXPECT_FALSE(General().AutoStart->Value());

  General().AutoStart->SetValue(true);
  ASSERT_TRUE(FileExists(link));
  ASSERT_TRUE(SetFileAttributesW(WStr(link), FILE_ATTRIBUTE_READONLY));
  General().AutoStart->SetValue(false);
  EXPECT_FALSE(FileExists(link));

  // The next start reads the setting from the file's existence.
  ASSERT_TRUE(CreateShortcut(Scratch() + u"program\\Quillbox.exe", link, {}, {}));
  Form.reset();
  FreeAndNil(Global);
  Start();
  EXPECT_TRUE(General().AutoStart->Value());
}

TEST_F(MainFormTest, AFirstRunsTrayIconComesOnceTheWindowPaintedALaterRunsAtOnce) {
  Start();
  EXPECT_TRUE(TrayCalls.empty());
  Form->Show();
  ASSERT_TRUE(PumpUntil([&] { return Form->TrayIconShown(); }));
  ASSERT_EQ(CountTrayCalls(NIM_ADD), 1);
  EXPECT_TRUE(TrayCalls[0].WindowPainted);

  // Hidden before that: the icon comes first, so the window can be found again.
  Form.reset();
  FreeAndNil(Global);
  TrayCalls.clear();
  Start();
  Form->Show();
  Form->HideToTray();
  EXPECT_TRUE(Form->TrayIconShown());
  EXPECT_EQ(CountTrayCalls(NIM_ADD), 1);
  Pump(100);
  EXPECT_EQ(CountTrayCalls(NIM_ADD), 1);

  // A later run starts hidden: the icon is all there is, at once.
  Form.reset();
  FreeAndNil(Global);
  TrayCalls.clear();
  SeedSession();
  Start();
  EXPECT_TRUE(Form->TrayIconShown());
  EXPECT_EQ(CountTrayCalls(NIM_ADD), 1);
}

TEST_F(MainFormTest, TheTrayRecordIsWholeAndItsTipNamesTheHotKeyOnlyWhileOneIsRegistered) {
  StartWithTrayIcon();
  ASSERT_TRUE(Form->TrayIconShown());
  ASSERT_EQ(Form->HotKeyText(), u"Ctrl+Shift+E");
  ASSERT_FALSE(TrayCalls.empty());
  const TTrayCall add = TrayCalls.back();
  EXPECT_EQ(add.Message, DWORD(NIM_ADD));
  EXPECT_EQ(add.Size, 976u);
  EXPECT_EQ(add.Flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(add.Tip, u"Quillbox (Ctrl+Shift+E)");
  EXPECT_EQ(add.Window, Form->Handle());

  // Turned off: the icon is made again with the title alone.
  TrayCalls.clear();
  General().ShowByHotKey->SetValue(false);
  EXPECT_EQ(Form->HotKeyText(), u"");
  ASSERT_EQ(CountTrayCalls(NIM_DELETE), 1);
  ASSERT_EQ(CountTrayCalls(NIM_ADD), 1);
  EXPECT_EQ(TrayCalls.back().Tip, u"Quillbox");
  EXPECT_EQ(TrayCalls.back().Size, 976u);
}

TEST_F(MainFormTest, TheBalloonShowsOncePerProcessAndOnlyOnTheFirstRun) {
  Start();
  Form->Show();
  Form->HideToTray();
  Form->ShowFromTray();
  Form->HideToTray();
  ASSERT_EQ(Balloons().size(), 1u);
  EXPECT_EQ(Balloons()[0], u"Quillbox lives in the notification area.");
  EXPECT_EQ(TrayCalls.back().Size, 976u);

  Form.reset();
  FreeAndNil(Global);
  TrayCalls.clear();
  SeedSession();
  Start();
  Form->Show();
  Form->HideToTray();
  EXPECT_TRUE(Balloons().empty());
}

// Those of the windows that are shown, going down the z-order from the top.
std::vector<HWND> ShownFromTheTop(std::initializer_list<HWND> AWindows) {
  std::vector<HWND> order;
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
    if (IsWindowVisible(w) && std::find(AWindows.begin(), AWindows.end(), w) != AWindows.end()) order.push_back(w);
  return order;
}

TEST_F(MainFormTest, WhileABoxIsOpenShowingTheWindowBringsTheBoxToTheFrontAboveIt) {
  // The application's main form, as in the program: the box belongs to its window.
  Global = New<TGlobal>(nullptr, Places());
  TMainForm* form = nullptr;
  Application->CreateForm(form, System());
  Form.reset(form);
  Form->Show();
  std::unique_ptr<TForm, TComponentDeleter> box(New<TForm>(Form.get()));
  box->SetBounds(0, 0, 200, 100);
  // Inside the box's loop: another program's window comes to the front, then the window is shown from the tray.
  struct TRound {
    TMainForm* Main;
    TForm* Box;
    HWND Other = nullptr;
    int Ticks = 0;
    bool Shown = false;
    HWND Active = nullptr;
    std::vector<HWND> Order{};
    std::vector<HWND> Expected() const { return {Box->Handle(), Main->Handle(), Other}; }
    void Tick(TObject*) {
      ++Ticks;
      if (!Other) {
        Other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
        SetForegroundWindow(Other);
      } else if (!Shown && GetForegroundWindow() == Other) {
        Main->ShowFromTray();
        Shown = true;
      } else if (Shown) {
        Active = GetForegroundWindow();
        Order = ShownFromTheTop({Box->Handle(), Main->Handle(), Other});
        // A box left under its window for a minute of ticks will stay there.
        if ((Active == Box->Handle() && Order == Expected()) || Ticks > 2000) Box->SetModalResult(mrOk);
      }
    }
  } round{Form.get(), box.get()};
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.SetOnTimer(MakeMethod<&TRound::Tick>(&round));
  box->ShowModal();
  timer.SetEnabled(false);
  DestroyWindow(round.Other);
  ASSERT_TRUE(round.Shown) << "the other window never came to the front";
  EXPECT_EQ(round.Active, box->Handle()) << "the box has the keyboard";
  EXPECT_EQ(round.Order, round.Expected()) << "the box is above its window, and both above the other program's";
}

TEST_F(MainFormTest, ATrayClickHidesTheWindowOnlyWithin500MsOfItsDeactivation) {
  struct TCase {
    int AfterMs;
    bool Hidden;
  };
  const TCase cases[] = {{0, true}, {499, true}, {500, false}, {2000, false}};
  Start();
  HWND window = Form->Handle();
  for (const TCase& c : cases) {
    Form->ShowFromTray();
    ASSERT_TRUE(IsWindowVisible(window));
    const TDateTime deactivated = Clock;
    SendMessageW(window, WM_NCACTIVATE, FALSE, 0);
    Clock = deactivated + c.AfterMs / (24.0 * 60 * 60 * 1000);
    SendMessageW(window, WM_TRAYICON, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(!IsWindowVisible(window), c.Hidden) << c.AfterMs << " ms";
    Clock = deactivated + 1;
  }
}

TEST_F(MainFormTest, TheCloseItemIsGreyExactlyWithTrayAndMinimizeButtonHiding) {
  struct TCase {
    bool ShowInTray, ByMinimize, Grey;
  };
  const TCase cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
  Start();
  HWND window = Form->Handle();
  for (const TCase& c : cases) {
    General().ShowInTray->SetValue(c.ShowInTray);
    General().HideToTrayByMinimizeButton->SetValue(c.ByMinimize);
    const UINT state = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
    EXPECT_EQ((state & MF_GRAYED) != 0, c.Grey) << c.ShowInTray << c.ByMinimize;
  }
}

TEST_F(MainFormTest, TheAlwaysOnTopItemKeepsItsSignAndPlaceThroughALanguageSwitch) {
  Start();
  HWND window = Form->Handle();
  auto item = [&window](std::u16string& AText) {
    wchar_t text[64] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = 63;
    EXPECT_TRUE(GetMenuItemInfoW(GetMenu(window), 5, TRUE, &info));
    AText = FromWide(text);
    return info.fType;
  };
  std::u16string text;
  EXPECT_TRUE(item(text) & MFT_RIGHTJUSTIFY);
  EXPECT_EQ(text, u"- Always on Top ");

  Form->miStayOnTop->Click();
  EXPECT_TRUE(Form->StayOnTop());
  EXPECT_TRUE(GetWindowLongW(Form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  window = Form->Handle();
  EXPECT_TRUE(item(text) & MFT_RIGHTJUSTIFY);
  EXPECT_EQ(text, u"+ Always on Top ");

  // The switch re-captions the bar, which rebuilds it.
  Localization->SetLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
  Localization->SetLanguage(LangEnglishUS);
  EXPECT_TRUE(item(text) & MFT_RIGHTJUSTIFY);
  EXPECT_EQ(text, u"+ Always on Top ");

  Form->miStayOnTop->Click();
  window = Form->Handle();
  EXPECT_EQ((item(text), text), u"- Always on Top ");
  EXPECT_FALSE(GetWindowLongW(Form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MainFormTest, EveryCommandOfTheMenusHasAPictureOfItsOwnAndTheFileMenuShowsThem) {
  Start();
  ASSERT_EQ(Form->iml1->Count(), imCount);
  EXPECT_EQ(Form->mm1->Images(), Form->iml1);
  EXPECT_EQ(Form->pmTray->Images(), Form->iml1);
  std::set<int> pictures;
  for (TMenuItem* menu : {Form->miFile, Form->miEdit, Form->miTools, Form->miView, Form->miHelp})
    for (int i = 0; i < menu->Count(); ++i) {
      const TMenuItem& item = *menu->Items(i);
      if (item.IsLine()) continue;
      EXPECT_TRUE(item.ImageIndex() >= 0 && item.ImageIndex() < imCount) << Utf16ToUtf8(item.Caption());
      EXPECT_TRUE(pictures.insert(item.ImageIndex()).second) << Utf16ToUtf8(item.Caption());
    }
  EXPECT_EQ(Form->miQuillbox->ImageIndex(), imProgram);
  EXPECT_EQ(Form->FileExit1->ImageIndex(), imExit);

  HMENU file = Form->miFile->Handle();
  for (int i = 0; i < GetMenuItemCount(file); ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_BITMAP;
    ASSERT_TRUE(GetMenuItemInfoW(file, i, TRUE, &info));
    if (!(info.fType & MFT_SEPARATOR)) {
      EXPECT_EQ(info.hbmpItem, HBMMENU_CALLBACK) << i;
    }
  }
}

// Cancels the settings dialog once it shows, noting whether the main window was still on top meanwhile.
struct TSettingsProbe {
  bool* Saw;
  bool* Topmost;
  TMainForm* Form;
  void Tick(TObject*) {
    if (TSettingsForm* dialog = RunningSettingsForm(); dialog && dialog->Visible()) {
      *Saw = true;
      *Topmost = GetWindowLongW(Form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST;
      dialog->SetModalResult(mrCancel);
    }
  }
};

TEST_F(MainFormTest, ServiceSettingsShowsTheDialogWithTheWindowOffTopAndPutsItBackAfter) {
  Start();
  Form->miStayOnTop->Click();
  bool sawDialog = false, topmostWhileOpen = true;
  TTimer closer(nullptr);
  closer.SetInterval(50);
  TSettingsProbe probe{&sawDialog, &topmostWhileOpen, Form.get()};
  closer.SetOnTimer(MakeMethod<&TSettingsProbe::Tick>(&probe));
  SendMessageW(Form->Handle(), WM_COMMAND, cmToolsSettings, 0);
  closer.SetEnabled(false);
  EXPECT_TRUE(sawDialog);
  EXPECT_FALSE(topmostWhileOpen);
  EXPECT_EQ(RunningSettingsForm(), nullptr);
  EXPECT_TRUE(GetWindowLongW(Form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MainFormTest, AWindowMadeAgainKeepsTrayIconHotKeyAndDropAcceptance) {
  StartWithTrayIcon();
  HWND old = Form->Handle();
  ASSERT_EQ(Form->HotKeyText(), u"Ctrl+Shift+E");
  TrayCalls.clear();
  Form->miStayOnTop->Click();
  HWND window = Form->Handle();
  ASSERT_NE(window, old);

  ASSERT_EQ(CountTrayCalls(NIM_DELETE), 1);
  ASSERT_EQ(CountTrayCalls(NIM_ADD), 1);
  EXPECT_EQ(TrayCalls.back().Window, window);
  EXPECT_TRUE(Form->TrayIconShown());
  EXPECT_EQ(Form->HotKeyText(), u"Ctrl+Shift+E");
  // Held by the new window: a second registration of the combination is refused.
  EXPECT_FALSE(RegisterHotKey(window, 0x7000, MOD_CONTROL | MOD_SHIFT, 'E'));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(MainFormTest, DroppedFilesReachTheFocusedElementOrBeep) {
  Start();
  TSheet* sheet = Form->Document()->DocumentSheet();
  ASSERT_NE(sheet, nullptr);
  TSheetTarget shown(sheet);
  TDropTarget* target = shown.Target();
  sheet->SetFocused(target);
  ASSERT_EQ(sheet->Focused(), target);
  HWND window = Form->Handle();

  const std::vector<std::u16string> names = {u"C:\\one.txt", u"C:\\Folder\\two.png"};
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
  EXPECT_TRUE(target->Dropped == names) << target->Dropped.size();
  EXPECT_EQ(Beeps, 0);

  target->Takes = false;
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
  EXPECT_EQ(Beeps, 1);

  target->Dropped.clear();
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({})), 0);
  EXPECT_TRUE(target->Dropped.empty());
  EXPECT_EQ(Beeps, 2);
}

TEST_F(MainFormTest, ExportProposesTodaysDateAndTheDocumentKeepsItsName) {
  Start();
  std::u16string proposed;
  const std::u16string target = Scratch() + u"export.qbx";
  DialogRunners.Save = [&](OPENFILENAMEW& ARecord) {
    proposed = FromWide(ARecord.lpstrFile);
    wcscpy(ARecord.lpstrFile, WStr(target));
    return TDialogAnswer{true, 0};
  };
  Form->FileExport->Execute(nullptr);
  EXPECT_EQ(proposed, u"2024_03_07");
  EXPECT_TRUE(FileExists(target));
  EXPECT_EQ(Form->Document()->DocumentScheme()->FileName(), DataFile());
}

TEST_F(MainFormTest, AnImportIsOneUndoStepAndALockedOneChangesNothing) {
  std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
  WriteDocument(DataFile(), u"before");
  const std::u16string imported = Scratch() + u"imported.qbx";
  WriteDocument(imported, u"imported\r\ntext");
  Start();
  TPlainRoot* root = Form->Document()->DocumentRoot();
  TUndoRedo* history = Form->Document()->UndoRedo();
  DialogRunners.Open = [&](OPENFILENAMEW& ARecord) {
    EXPECT_EQ(FromWide(ARecord.lpstrFile), u"");
    wcscpy(ARecord.lpstrFile, WStr(imported));
    return TDialogAnswer{true, 0};
  };

  {
    TFileLock lock(imported);
    ASSERT_TRUE(lock.Held());
    EXPECT_ANY_THROW(Form->FileImport->Execute(nullptr));
    EXPECT_FALSE(IsBusyCursor());
    EXPECT_EQ(root->GetText(), u"before");
    EXPECT_FALSE(history->CanUndo());
    EXPECT_FALSE(Form->Modified());
  }

  Form->FileImport->Execute(nullptr);
  EXPECT_FALSE(IsBusyCursor());
  EXPECT_EQ(root->GetText(), u"imported\r\ntext");
  EXPECT_TRUE(Form->Modified());
  history->Undo();
  EXPECT_EQ(root->GetText(), u"before");
  EXPECT_FALSE(history->CanUndo());
  history->Redo();
  EXPECT_EQ(root->GetText(), u"imported\r\ntext");
}

TEST_F(MainFormTest, AFailingAutoSaveShowsOneReportAndSavesOnceTheFileIsFree) {
  std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
  WriteDocument(DataFile(), u"before");
  Start();
  Form->tmAutoSave->SetInterval(50);
  auto lock = std::make_unique<TFileLock>(DataFile());
  ASSERT_TRUE(lock->Held());
  // The report stays open for a second of ticks, then the file is freed.
  OnReport = [&] {
    Pump(1000);
    lock->Release();
  };
  Form->Document()->DocumentRoot()->SetTextUndoable(u"after");
  ASSERT_TRUE(Form->Modified());
  ASSERT_TRUE(PumpUntil([&] { return !Form->Modified(); }));
  EXPECT_EQ(Reports.size(), 1u);
  EXPECT_NE(ReadBytes(DataFile()).find("after"), std::string::npos);
}

TEST_F(MainFormTest, OneSaveReportAtATimeWhicheverSaveFailedAndTheAutoSaveComesBackAfterIt) {
  std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
  WriteDocument(DataFile(), u"before");
  Start();
  Form->tmAutoSave->SetInterval(50);
  HWND sheet = Form->EditForm->SheetForm()->rb1->Handle();
  struct TCase {
    const char* Name;
    bool ByCtrlS;  // else the automatic save fails first
  };
  int n = 0;
  for (const TCase& c : {TCase{"Ctrl+S", true}, TCase{"auto-save", false}}) {
    auto lock = std::make_unique<TFileLock>(DataFile());
    ASSERT_TRUE(lock->Held()) << c.Name;
    Reports.clear();
    // While the first report is open: a Ctrl+S and a second of ticks, then the file is freed.
    OnReport = [&] {
      if (Reports.size() > 1) return;
      PressCtrlS(sheet);
      Pump(1000);
      lock->Release();
    };
    const std::u16string text = u"edit " + IntToStr(++n);
    Form->Document()->DocumentRoot()->SetTextUndoable(text);
    if (c.ByCtrlS) PressCtrlS(sheet);
    ASSERT_TRUE(PumpUntil([&] { return !Form->Modified(); })) << c.Name;
    EXPECT_EQ(Reports.size(), 1u) << c.Name;
    EXPECT_NE(ReadBytes(DataFile()).find(std::string(text.begin(), text.end())), std::string::npos) << c.Name;
  }
}

TEST_F(MainFormTest, ACloseWhoseSaveFailsWritesSessionAndSettingsFirstReportsOnceAndKeepsTheWindow) {
  std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
  WriteDocument(DataFile(), u"before");
  Start();
  HWND window = Form->Handle();
  Form->ShowFromTray();
  TPlainRoot* root = Form->Document()->DocumentRoot();
  root->SetTextUndoable(u"unsaved");
  ASSERT_FALSE(FileExists(SessionFileName()));
  ASSERT_FALSE(FileExists(SettingsFileName()));
  auto lock = std::make_unique<TFileLock>(DataFile());
  ASSERT_TRUE(lock->Held());
  bool writtenFirst = false;
  OnReport = [&] { writtenFirst = FileExists(SessionFileName()) && FileExists(SettingsFileName()); };

  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(Reports.size(), 1u);
  EXPECT_TRUE(writtenFirst);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(Form->Modified());
  EXPECT_EQ(root->GetText(), u"unsaved");

  // Closed again once the file is free, the text is written.
  lock->Release();
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(Form->Modified());
  EXPECT_NE(ReadBytes(DataFile()).find("unsaved"), std::string::npos);
  EXPECT_EQ(Reports.size(), 1u);
}

TEST_F(MainFormTest, QueryEndSessionToTheApplicationWritesAModifiedDocumentBeforeAnswering) {
  TMainForm* form = StartAsTheApplicationsMainForm();
  ASSERT_EQ(Application->MainForm(), form);
  form->Document()->DocumentRoot()->SetTextUndoable(u"typed before log-off");
  ASSERT_TRUE(form->Modified());

  EXPECT_EQ(SendMessageW(Application->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_FALSE(form->Modified());
  EXPECT_NE(ReadBytes(DataFile()).find("typed before log-off"), std::string::npos);
  EXPECT_TRUE(FileExists(SessionFileName()));
}

// The system waits on the answer: a save that fails refuses at once with its reason registered, and the box comes
// after the question.
TEST_F(MainFormTest, ALogOffWhoseSaveFailsIsRefusedAtOnceWithItsReasonAndReportedAfterTheQuestion) {
  TMainForm* form = StartAsTheApplicationsMainForm();
  form->Document()->DocumentRoot()->SetTextUndoable(u"typed before log-off");
  TFileLock lock(DataFile());
  ASSERT_TRUE(lock.Held());

  EXPECT_EQ(SendMessageW(Application->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
  EXPECT_TRUE(Reports.empty());
  ASSERT_TRUE(Application->EndSessionBlockReason());
  EXPECT_NE(Application->EndSessionBlockReason()->find(DataFile()), std::u16string::npos);
  ASSERT_TRUE(PumpUntil([&] { return !Reports.empty(); }));
  EXPECT_EQ(Reports, std::vector<std::u16string>{*Application->EndSessionBlockReason()});
  EXPECT_TRUE(form->Modified());

  // Once the text is in its file, nothing keeps the session.
  lock.Release();
  EXPECT_EQ(SendMessageW(Application->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_FALSE(Application->EndSessionBlockReason());
  EXPECT_EQ(Reports.size(), 1u);
}

TEST_F(MainFormTest, ADataFileThatCannotBeReadEndsTheStartWritingNothing) {
  struct TCase {
    const char* Name;
    bool Folder;  // a folder in the data file's place, else a locked file
  } cases[] = {{"a locked file", false}, {"a folder", true}};
  const std::filesystem::path folder = Path(ExtractFilePath(DataFile()));
  for (const TCase& c : cases) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::string bytes;
    if (c.Folder) {
      std::filesystem::create_directory(Path(DataFile()));
    } else {
      WriteDocument(DataFile(), u"kept");
      bytes = ReadBytes(DataFile());
    }
    TFileLock lock(DataFile());
    ASSERT_EQ(lock.Held(), !c.Folder) << c.Name;
    Global = New<TGlobal>(nullptr, Places());
    EXPECT_ANY_THROW(Form.reset(New<TMainForm>(nullptr, System()))) << c.Name;
    FreeAndNil(Global);
    lock.Release();
    if (c.Folder)
      EXPECT_TRUE(std::filesystem::is_empty(Path(DataFile()))) << c.Name;
    else
      EXPECT_EQ(ReadBytes(DataFile()), bytes) << c.Name;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << c.Name;
    EXPECT_FALSE(FileExists(SettingsFileName())) << c.Name;
    EXPECT_FALSE(FileExists(SessionFileName())) << c.Name;
    EXPECT_TRUE(TrayCalls.empty()) << c.Name;
  }
}

TEST_F(MainFormTest, AParseErrorLeavesTheBackupAndKeepsTheFileWhileASaveOverAnotherFileRenewsItsBackup) {
  const std::u16string name = Scratch() + u"notes.qbx";
  const std::u16string backup = BackupFileName(name);
  auto writeBytes = [](const std::u16string& AName, const std::string& ABytes) {
    std::ofstream(std::filesystem::path(WStr(AName)), std::ios::binary) << ABytes;
  };
  // Cut off inside an element: read in part.
  const std::string broken = "<Quillbox Version=\"1\"><Chars Value=\"half\"/><Chars Value=\"cut";
  writeBytes(name, broken);
  writeBytes(backup, "young backup");
  TSheetSettings settings(nullptr);
  {
    TPlainDocument document(&settings);
    document.LoadFromFile(name);
    ASSERT_TRUE(document.DocumentScheme()->LoadedWithParseError());
    document.SaveToFile(name);
    EXPECT_EQ(ReadBytes(backup), "young backup");
    EXPECT_EQ(ReadBytes(DamagedCopyName(name, 1)), broken);
    const std::string saved = ReadBytes(name);
    document.SaveToFile(name);
    EXPECT_EQ(ReadBytes(backup), "young backup");
    EXPECT_NE(saved, broken);
  }

  // A DataFileName change onto a file that was never read: its young backup is renewed before it is replaced.
  const std::u16string other = Scratch() + u"other.qbx";
  writeBytes(other, "other's own content");
  writeBytes(BackupFileName(other), "young backup");
  TPlainDocument document(&settings);
  document.LoadFromFile(name);
  EXPECT_FALSE(document.DocumentScheme()->LoadedWithParseError());
  document.SaveToFile(other);
  EXPECT_EQ(ReadBytes(BackupFileName(other)), "other's own content");
}

TEST_F(MainFormTest, AnAutoSaveTickWaitsForAnOpenSheetUpdateOrUndoGroup) {
  std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
  WriteDocument(DataFile(), u"before");
  Start();
  Form->tmAutoSave->SetInterval(50);
  TSheet* sheet = Form->Document()->DocumentSheet();
  TUndoRedo* history = Form->Document()->UndoRedo();
  TPlainRoot* root = Form->Document()->DocumentRoot();
  struct TCase {
    const char* Name;
    std::function<void()> Open, Close;
  };
  const TCase cases[] = {
      {"sheet update", [&] { sheet->BeginUpdate(); }, [&] { sheet->EndUpdate(); }},
      {"undo group", [&] { history->BeginGroup(TNodePtr<TGroupingOperation>(new TGroupingOperation)); },
       [&] { history->EndGroup(); }},
  };
  int n = 0;
  for (const TCase& c : cases) {
    const std::u16string text = u"edit " + IntToStr(++n);
    root->SetTextUndoable(u"first");
    c.Open();
    root->SetTextUndoable(text);
    Form->tmAutoSave->SetEnabled(true);
    Pump(300);
    EXPECT_TRUE(Form->Modified()) << c.Name;
    c.Close();
    EXPECT_TRUE(PumpUntil([&] { return !Form->Modified(); })) << c.Name;
    EXPECT_NE(ReadBytes(DataFile()).find(std::string(text.begin(), text.end())), std::string::npos) << c.Name;
  }
  EXPECT_TRUE(Reports.empty());
}

TEST_F(MainFormTest, EscHidesOnlyWhileNoElementHoldsTheMouseAndNoListIsOpen) {
  Start();
  TSheet* sheet = Form->Document()->DocumentSheet();
  TSheetTarget shown(sheet);
  TDropTarget* target = shown.Target();
  HWND window = Form->Handle();
  Form->ShowFromTray();

  sheet->SetCaptured(target);
  uint16_t key = VK_ESCAPE;
  Form->OnKeyDown(Form.get(), key, {});
  EXPECT_EQ(key, VK_ESCAPE);  // the sheet gets it
  EXPECT_TRUE(IsWindowVisible(window));

  sheet->SetCaptured(nullptr);
  Form->OnKeyDown(Form.get(), key, {});
  EXPECT_EQ(key, 0);
  EXPECT_FALSE(IsWindowVisible(window));

  // Without hiding by Esc the key goes on as well.
  Form->ShowFromTray();
  General().HideByEsc->SetValue(false);
  key = VK_ESCAPE;
  Form->OnKeyDown(Form.get(), key, {});
  EXPECT_EQ(key, VK_ESCAPE);
  EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(MainFormTest, ASecondStartFindsTheMutexWakesTheWindowAndQuits) {
  Start();
  HWND window = Form->Handle();
  ASSERT_FALSE(IsWindowVisible(window));
  const std::u16string mutex = u"QuillboxTest" + IntToStr(GetCurrentProcessId());
  EXPECT_FALSE(CheckSingleInstance(u"Quillbox", mutex));
  EXPECT_TRUE(CheckSingleInstance(u"Quillbox", mutex));
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }));
}

TEST_F(MainFormTest, ANewDataFileNameWritesTheDocumentThereAtOnceAndBacksUpWhatItReplaces) {
  std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
  WriteDocument(DataFile(), u"mine");
  const std::u16string other = Scratch() + u"other.qbx";
  WriteDocument(other, u"theirs");
  const std::string theirs = ReadBytes(other);
  // A backup too young to be renewed by age.
  std::ofstream(std::filesystem::path(WStr(BackupFileName(other))), std::ios::binary) << "young backup";
  const std::string mine = ReadBytes(DataFile());
  Start();

  General().DataFileName->SetValue(other);
  EXPECT_EQ(Form->Document()->DocumentScheme()->FileName(), other);
  EXPECT_EQ(Form->Document()->DocumentRoot()->GetText(), u"mine");
  EXPECT_NE(ReadBytes(other).find("mine"), std::string::npos);
  EXPECT_EQ(ReadBytes(BackupFileName(other)), theirs);
  EXPECT_EQ(ReadBytes(DataFile()), mine);  // the old file stays
}

TEST_F(MainFormTest, ANewDataFileNameInMissingFoldersMovesTheDocumentOrKeepsItsNameWithOneReport) {
  // A file where a folder would have to be: nothing can be made under it.
  std::ofstream(Path(Scratch() + u"blocker"), std::ios::binary) << "a file";
  struct TCase {
    const char* Name;
    std::u16string NewName;
    bool Moves;
  };
  const TCase cases[] = {
      {"two folders deep", Scratch() + u"new\\sub\\n.qbx", true},
      {"under a file", Scratch() + u"blocker\\sub\\n.qbx", false},
  };
  for (const TCase& c : cases) {
    std::filesystem::remove_all(Path(Scratch() + u"local"));
    std::filesystem::create_directories(Path(ExtractFilePath(DataFile())));
    WriteDocument(DataFile(), u"mine");
    const std::string mine = ReadBytes(DataFile());
    Reports.clear();
    Start();
    ASSERT_FALSE(FileExists(SettingsFileName())) << c.Name;

    EXPECT_NO_THROW(General().DataFileName->SetValue(c.NewName)) << c.Name;
    const std::u16string kept = c.Moves ? c.NewName : DataFile();
    EXPECT_EQ(Form->Document()->DocumentScheme()->FileName(), kept) << c.Name;
    EXPECT_EQ(General().DataFileName->Value(), kept) << c.Name;
    EXPECT_EQ(Reports.size(), c.Moves ? 0u : 1u) << c.Name;
    EXPECT_NE(ReadBytes(kept).find("mine"), std::string::npos) << c.Name;
    EXPECT_EQ(ReadBytes(DataFile()), mine) << c.Name;
    EXPECT_TRUE(FileExists(SettingsFileName())) << c.Name;
    const std::string settings = ReadBytes(SettingsFileName());
    EXPECT_EQ(settings.find(std::string(c.NewName.begin(), c.NewName.end())) != std::string::npos, c.Moves)
        << c.Name;

    // Later changes go through and reach the settings file.
    EXPECT_NO_THROW(General().HideByEsc->SetValue(!General().HideByEsc->Value())) << c.Name;
    EXPECT_NE(ReadBytes(SettingsFileName()).find("HideByEsc"), std::string::npos) << c.Name;
    EXPECT_EQ(Reports.size(), c.Moves ? 0u : 1u) << c.Name;
    Form.reset();
    FreeAndNil(Global);
  }
}

TEST_F(MainFormTest, TheDocumentIsLaidOutAtTheSizeItsViewKeepsOnceTheEditWindowsLayoutIsRead) {
  Start();
  // Placed at a size the layout then changes, by the palette it hides, the whole document would be walked again.
  const std::optional<TVisualSize> placed = Form->Document()->DocumentViewSize();
  const TVisualSize shown = Form->EditForm->SheetForm()->ViewSize();
  ASSERT_TRUE(placed);
  EXPECT_EQ(std::pair(placed->Width, placed->Height), std::pair(shown.Width, shown.Height));
}

TEST_F(MainFormTest, TheSoundsAndLogChoicesAreInTheSettingsTreeAndSurviveARestart) {
  Global = New<TGlobal>(nullptr, Places());
  ASSERT_EQ(SoundsSettings->Parent(), Global->Settings());
  ASSERT_EQ(SoundsSettings->PrevSibling(), PaletteFormSettings.get());
  ASSERT_EQ(LogSettings->Parent(), Global->Settings()->Sheet);
  const bool sounds = SoundsSettings->Enabled->Value();
  SoundsSettings->Enabled->SetValue(!sounds);
  LogSettings->WriteHints->SetValue(false);
  ASSERT_TRUE(Global->SaveSettings());
  FreeAndNil(Global);
  // Taken out before the root went; they outlive it.
  EXPECT_EQ(SoundsSettings->Parent(), nullptr);
  EXPECT_EQ(LogSettings->Parent(), nullptr);
  SoundsSettings->Enabled->SetValue(sounds);
  LogSettings->WriteHints->SetValue(true);

  Global = New<TGlobal>(nullptr, Places());
  EXPECT_EQ(SoundsSettings->Enabled->Value(), !sounds);
  EXPECT_FALSE(LogSettings->WriteHints->Value());
  SoundsSettings->Enabled->SetValue(sounds);
  LogSettings->WriteHints->SetValue(true);
}

}  // namespace
