#include "app/unMainForm.h"

#include "app/cuAboutForm.h"
#include "app/cuWeb.h"
#include "app/diEditForm.h"
#include "app/diPrint.h"
#include "app/diSheetForm.h"
#include "app/sfSettingsForm.h"
#include "app/unMenuImages.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baAppActns.h"
#include "controls/baAppCmpns.h"
#include "controls/baSaper.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diCanvas.h"
#include "document/model/diClasses.h"
#include "document/model/diSheet.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwActions.h"
#include "framework/fwApplication.h"
#include "framework/fwDialogs.h"
#include "framework/fwImageList.h"
#include "framework/fwMenus.h"
#include "framework/fwRuntime.h"
#include "framework/fwScreen.h"
#include "framework/fwTimer.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

// Captions (string ids).
constexpr int IdFile = 2023, IdEdit = 2035, IdTools = 2045, IdView = 2043, IdHelp = 2048;
constexpr int IdImport = 4004, IdExport = 4005, IdPageSetup = 2032, IdPrint = 2033, IdSettings = 2046;
constexpr int IdOnlineHelp = 2050, IdCheckUpdates = 2051, IdProgramPage = 2052, IdSendMessage = 2053, IdForum = 2054;
constexpr int IdStayOnTop = 4006, IdLivesInTray = 4007, IdFileType = 4008;

// Where the bar's "Always on Top" item sits.
constexpr UINT StayOnTopPosition = 5;
constexpr UINT TrayIconId = 1;
// Its timer brings a first run's tray icon once the window has painted.
constexpr UINT_PTR TrayIconTimerId = 1;
constexpr double MillisecondsPerDay = 24.0 * 60 * 60 * 1000;

constexpr char16_t MakerAddress[] = u"https://www.orrenwickstudios.com/";
constexpr char16_t AboutText[] =
    u"\u00A9 2026 Orrenwick Studios\r\n"
    u"https://www.orrenwickstudios.com/\r\n"
    u"Contact: quillbox@orrenwickstudios.com\r\n"
    u"Freeware.\r\n"
    u"Icons drawn by Orrenwick Studios.\r\n"
    u"All rights reserved.";

std::u16string Title() { return Localization->GetLocStr(ApplicationTitleId ? ApplicationTitleId : IdMainTitle); }

TGeneralSettings& General() { return *Global->Settings()->General; }

template <size_t N>
void CopyText(wchar_t (&ATarget)[N], const std::u16string& AText) {
  const size_t count = std::min(AText.size(), N - 1);
  std::copy_n(AText.data(), count, ATarget);
  ATarget[count] = L'\0';
}

// A flag held for one scope.
class TFlagScope {
 public:
  explicit TFlagScope(bool& AFlag) : FFlag(AFlag), FSaved(AFlag) { FFlag = true; }
  ~TFlagScope() { FFlag = FSaved; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
  bool FSaved;
};

// The form's style is normal while a box of its own is shown over it, and comes back however the box ends.
class TNormalStyleScope {
 public:
  explicit TNormalStyleScope(TCustomForm& AForm) : FForm(AForm), FStyle(AForm.FormStyle()) {
    FForm.SetFormStyle(TFormStyle::fsNormal);
  }
  ~TNormalStyleScope() { FForm.SetFormStyle(FStyle); }
  TNormalStyleScope(const TNormalStyleScope&) = delete;
  TNormalStyleScope& operator=(const TNormalStyleScope&) = delete;

 private:
  TCustomForm& FForm;
  TFormStyle FStyle;
};

TWebCommands MakeWebCommands(const TMainFormSystem& ASystem) {
  TWebCommands commands([](TProgramIdentity& AIdentity) {
    return GetVersionInfoStrings(GetProgramFileName(), AIdentity.Company, AIdentity.Product, AIdentity.Version);
  });
  commands.Browser = ASystem.Browser;
  commands.MessageBox = ASystem.MessageBox;
  return commands;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Single instance, installer mutexes, Startup shortcut

bool CheckSingleInstance(const std::u16string& ATitle, const std::u16string& AMutexName) {
  SetLastError(0);
  HANDLE mutex = CreateMutexW(nullptr, TRUE, WStr(AMutexName));
  if (GetLastError() == 0) return false;  // the first instance keeps the handle until it ends
  if (mutex) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  if (HWND window = FindWindowW(L"TMainForm", WStr(ATitle))) PostMessageW(window, WM_SHOWINSTANCE, 0, 0);
  return true;
}

void CreateInstallerMutexes(const std::u16string& AName) {
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
  // Held open for an installer to see; never waited on.
  CreateMutexW(&attributes, FALSE, WStr(AName));
  CreateMutexW(&attributes, FALSE, WStr(u"Global\\" + AName));
}

std::u16string ChooseStartupFolder(const std::u16string& ARegistryValue, const std::u16string& AKnownFolder) {
  std::u16string folder = ARegistryValue.empty() ? AKnownFolder : ARegistryValue;
  if (!folder.empty() && !HasTrailingPathDelimiter(folder)) folder += u'\\';
  return folder;
}

std::u16string GetStartupFolder() {
  TRegistry registry(HKEY_CURRENT_USER);
  std::u16string value;
  if (registry.OpenKeyReadOnly(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"))
    registry.ReadString(u"Startup", value);
  std::u16string known;
  if (value.empty()) {
    wchar_t path[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, path))) known = FromWide(path);
  }
  return ChooseStartupFolder(value, known);
}

std::u16string StartupShortcutName(const std::u16string& AFolder, const std::u16string& AProgramFileName) {
  if (AFolder.empty()) return {};
  return AFolder + ExtractFileTitle(AProgramFileName) + u".lnk";
}

bool CreateShortcut(const std::u16string& ATarget, const std::u16string& ALinkName, const std::u16string& AArguments,
                    const std::u16string& ADescription) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  bool saved = false;
  link->SetPath(WStr(ATarget));
  link->SetArguments(WStr(AArguments));
  link->SetDescription(WStr(ADescription));
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    saved = file->Save(WStr(ALinkName), FALSE) == S_OK;
    file->Release();
  }
  link->Release();
  return saved;
}

void SyncStartupShortcut(bool AWanted, const std::u16string& ALinkName, const std::u16string& ATarget) {
  if (ALinkName.empty() || FileExists(ALinkName) == AWanted) return;
  if (AWanted) {
    CreateShortcut(ATarget, ALinkName, {}, {});
    return;
  }
  const DWORD attributes = GetFileAttributesW(WStr(ALinkName));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(WStr(ALinkName), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  DeleteFileW(WStr(ALinkName));
}

// ---------------------------------------------------------------------------------------------------------------
// The main window

TMainForm::TMainForm(TComponent* AOwner, TMainFormSystem ASystem) : TForm(AOwner), FSystem(std::move(ASystem)) {
  if (!FSystem.NotifyIcon)
    FSystem.NotifyIcon = [](DWORD AMessage, const NOTIFYICONDATAW& AData) {
      return Shell_NotifyIconW(AMessage, const_cast<NOTIFYICONDATAW*>(&AData)) != FALSE;
    };
  if (!FSystem.Clock) FSystem.Clock = [] { return Now(); };
  if (!FSystem.MessageBox)
    FSystem.MessageBox = [](const std::u16string& AText, UINT AFlags) { return ShowMessageBox(AText, {}, AFlags); };
  if (!FSystem.Browser) FSystem.Browser = [](const std::u16string& AAddress) { return OpenInDefaultBrowser(AAddress); };
  if (!FSystem.Beep) FSystem.Beep = [] { MessageBeep(0); };
  if (!FSystem.StartupFolder) FSystem.StartupFolder = [] { return GetStartupFolder(); };
  if (FSystem.ProgramFileName.empty()) FSystem.ProgramFileName = GetProgramFileName();

  SetName(u"MainForm");
  SetKeyPreview(true);
  OnCreate = MakeMethod<&TMainForm::FormCreate>(this);
  OnDestroy = MakeMethod<&TMainForm::FormDestroy>(this);
  OnCloseQuery = MakeMethod<&TMainForm::FormCloseQuery>(this);
  OnKeyDown = MakeMethod<&TMainForm::FormKeyDown>(this);

  CreateMenus();
  // Before AppActions: the shortcut walk meets the online help's F1 first.
  CreateActions();
  fp1 = new TFormPlace(this);
  fp1->SetName(u"fp1");
  fp1->SetSessionFile(Global->SessionFile);
  AppActions = new TAppActions(this);
  AppActions->SetName(u"AppActions");
  AppActions->OnExecute = MakeMethod<&TMainForm::ActionsExecute>(this);

  osd1 = new TOpenSaveDialog(this);
  osd1->SetName(u"osd1");
  tmAutoSave = new TTimer(this);
  tmAutoSave->SetName(u"tmAutoSave");
  tmAutoSave->SetEnabled(false);
  tmAutoSave->SetInterval(AutoSaveInterval);
  tmAutoSave->SetOnTimer(MakeMethod<&TMainForm::AutoSaveTimer>(this));

  pmTray = new TPopupMenu(this);
  pmTray->SetName(u"pmTray");
  miQuillbox = NewItem(pmTray->Items(), u"miQuillbox", cmTrayShow);
  miQuillbox->SetDefault(true);
  miQuillbox->OnClick = MakeMethod<&TMainForm::TrayShowClick>(this);
  NewItem(pmTray->Items(), u"N11", 0)->SetCaption(u"-");
  FileExit1 = NewItem(pmTray->Items(), u"FileExit1", cmTrayExit);

  PrintDialog = new TPrintDialog(this);
  PrintDialog->SetName(u"PrintDialog");
  PageSetupDialog = new TPageSetupDialog(this);
  PageSetupDialog->SetName(u"PageSetupDialog");
  PageSetupDialog->SetMargins(RECT{2500, 2500, 2500, 2500});
  PageSetupDialog->SetMinMargins(RECT{0, 0, 0, 0});

  iml1 = new TImageList(this);
  iml1->SetName(u"iml1");
  LoadMenuImages(*iml1);
  al1->SetImages(iml1);
  AppActions->SetImages(iml1);
  mm1->SetImages(iml1);
  pmTray->SetImages(iml1);
  miQuillbox->SetImageIndex(imProgram);
}

TMainForm::~TMainForm() {
  if (FTrayIcon) DestroyIcon(FTrayIcon);
}

TMenuItem* TMainForm::NewItem(TMenuItem* AParent, const char16_t* AName, uint16_t ACommand, TAction* AAction) {
  auto* item = new TMenuItem(this);
  item->SetName(AName);
  if (ACommand) item->SetCommand(ACommand);
  if (AAction) item->SetAction(AAction);
  AParent->Add(item);
  return item;
}

TAction* TMainForm::NewAction(TActionList* AList, const char16_t* AName, TMenuImage AImage, TNotifyEvent AExecute) {
  auto* action = new TAction(this);
  action->SetName(AName);
  action->SetActionList(AList);
  action->SetImageIndex(AImage);
  action->OnExecute = AExecute;
  return action;
}

void TMainForm::CreateMenus() {
  mm1 = new TMainMenu(this);
  mm1->SetName(u"mm1");
  mm1->OnChange = MakeMethod<&TMainForm::MenuChanged>(this);
  TMenuItem* bar = mm1->Items();
  miFile = NewItem(bar, u"miFile", 0);
  miEdit = NewItem(bar, u"miEdit", 0);
  miTools = NewItem(bar, u"miTools", 0);
  miView = NewItem(bar, u"miView", 0);
  miHelp = NewItem(bar, u"miHelp", 0);
  miStayOnTop = NewItem(bar, u"miStayOnTop", cmStayOnTop);
  miStayOnTop->OnClick = MakeMethod<&TMainForm::StayOnTopClick>(this);

  miUndo = NewItem(miEdit, u"miUndo", cmEditUndo);
  miRedo = NewItem(miEdit, u"miRedo", cmEditRedo);
  NewItem(miEdit, u"N21", 0)->SetCaption(u"-");
  miCut = NewItem(miEdit, u"miCut", cmEditCut);
  miCopy = NewItem(miEdit, u"miCopy", cmEditCopy);
  miCopyText = NewItem(miEdit, u"miCopyText", cmEditCopyText);
  miPaste = NewItem(miEdit, u"miPaste", cmEditPaste);
  miDelete = NewItem(miEdit, u"miDelete", cmEditDelete);
  NewItem(miEdit, u"N22", 0)->SetCaption(u"-");
  miFind = NewItem(miEdit, u"miFind", cmEditFind);
  miFindNext = NewItem(miEdit, u"miFindNext", cmEditFindNext);
  miReplace = NewItem(miEdit, u"miReplace", cmEditReplace);
  NewItem(miEdit, u"N23", 0)->SetCaption(u"-");
  miSelectAll = NewItem(miEdit, u"miSelectAll", cmEditSelectAll);

  miPalette = NewItem(miView, u"miPalette", cmViewPalette);
  NewItem(miView, u"N41", 0)->SetCaption(u"-");
  miNonPrintingCharacters = NewItem(miView, u"miNonPrintingCharacters", cmViewNonPrintingCharacters);
}

void TMainForm::CreateActions() {
  al1 = new TActionList(this);
  al1->SetName(u"al1");
  al1->OnExecute = MakeMethod<&TMainForm::ActionsExecute>(this);
  FileImport = NewAction(al1, u"FileImport", imImport, MakeMethod<&TMainForm::FileImportExecute>(this));
  FileExport = NewAction(al1, u"FileExport", imExport, MakeMethod<&TMainForm::FileExportExecute>(this));
  FilePageSetup = NewAction(al1, u"FilePageSetup", imPageSetup, MakeMethod<&TMainForm::FilePageSetupExecute>(this));
  FilePrint = NewAction(al1, u"FilePrint", imPrint, MakeMethod<&TMainForm::FilePrintExecute>(this));
  FilePrint->SetShortCut(MakeShortCut('P', ssCtrl));
  ToolsSettings = NewAction(al1, u"ToolsSettings", imSettings, MakeMethod<&TMainForm::ToolsSettingsExecute>(this));
  HelpOnlineHelp = NewAction(al1, u"HelpOnlineHelp", imOnlineHelp, MakeMethod<&TMainForm::HelpOnlineHelpExecute>(this));
  HelpOnlineHelp->SetShortCut(MakeShortCut(VK_F1));
  HelpCheckUpdates =
      NewAction(al1, u"HelpCheckUpdates", imCheckUpdates, MakeMethod<&TMainForm::HelpCheckUpdatesExecute>(this));
  HelpProgramPage =
      NewAction(al1, u"HelpProgramPage", imProgramPage, MakeMethod<&TMainForm::HelpProgramPageExecute>(this));
  HelpSendMessage =
      NewAction(al1, u"HelpSendMessage", imSendMessage, MakeMethod<&TMainForm::HelpSendMessageExecute>(this));
  HelpForum = NewAction(al1, u"HelpForum", imForum, MakeMethod<&TMainForm::HelpForumExecute>(this));

  NewItem(miFile, u"FileImport1", cmFileImport, FileImport);
  NewItem(miFile, u"FileExport1", cmFileExport, FileExport);
  NewItem(miFile, u"N1", 0)->SetCaption(u"-");
  NewItem(miFile, u"FilePageSetup1", cmFilePageSetup, FilePageSetup);
  NewItem(miFile, u"FilePrint1", cmFilePrint, FilePrint);
  NewItem(miFile, u"N2", 0)->SetCaption(u"-");
  NewItem(miTools, u"ToolsSettings1", cmToolsSettings, ToolsSettings);
  NewItem(miHelp, u"HelpOnlineHelp1", cmHelpOnlineHelp, HelpOnlineHelp);
  NewItem(miHelp, u"N51", 0)->SetCaption(u"-");
  NewItem(miHelp, u"HelpCheckUpdates1", cmHelpCheckUpdates, HelpCheckUpdates);
  NewItem(miHelp, u"HelpProgramPage1", cmHelpProgramPage, HelpProgramPage);
  NewItem(miHelp, u"HelpForum1", cmHelpForum, HelpForum);
  NewItem(miHelp, u"HelpSendMessage1", cmHelpSendMessage, HelpSendMessage);
  NewItem(miHelp, u"N52", 0)->SetCaption(u"-");
}

// ---------------------------------------------------------------------------------------------------------------
// Creation and destruction

void TMainForm::FormCreate(TObject* ASender) {
  CreateInstallerMutexes(ExtractFileTitle(FSystem.ProgramFileName) + u"Mutex");
  FTaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  if (Application) Application->SetTitle(Title());
  SetCaption(Title());
  if (Screen) Font().Assign(&Screen->MessageFont());
  FHotKeyId = GlobalAddAtomW(L"QuillboxHotKey");

  // The fixed actions exist once the list is loaded.
  NewItem(miFile, u"FileExit2", cmFileExit, AppActions->ExitAction());
  NewItem(miHelp, u"HelpAbout1", cmHelpAbout, AppActions->AboutAction());
  AppActions->ExitAction()->SetImageIndex(imExit);
  AppActions->AboutAction()->SetImageIndex(imAbout);
  FileExit1->SetAction(AppActions->ExitAction());
  AppActions->AboutAction()->OnExecute = MakeMethod<&TMainForm::HelpAboutExecute>(this);

  Localization->AddNotifyEvent(MakeMethod<&TMainForm::LocalizationChanged>(this));
  FSubscribed = true;
  UpdateCaptions();

  // Placed before the document comes, for the same reason as the windows below.
  FFirstRun = Global->SessionFile->State() == TSessionFile::TState::sfMissing;
  if (FFirstRun) PlaceFirstRun();

  FDocument = std::make_unique<TPlainDocument>(Global->Settings()->Sheet);
  CreateEmbeddedForm(EditForm, *this, TAlign::alClient, true);
  if (!IsWindowsVistaOrLater()) EditForm->SetFrameWidth(1);
  BindEditorActions();
  // The windows come before the document: made later, they change the sheet's width, and every change of its
  // width lays the whole document out again.
  HandleNeeded();

  // The palette shown or hidden changes the sheet's height, which walks the whole document again: the layout
  // comes before the document too.
  if (TKnot* knot = SessionKnot()) EditForm->LoadLayout(*knot);
  // A file that is there and cannot be read raises here: the program ends before anything is written over it.
  FDocument->SetViewSizes(EditForm->SheetForm()->ViewSize(), EditForm->LogForm()->ViewSize());
  FDocument->LoadFromFile(General().DataFileName->Value());
  if (TKnot* knot = SessionKnot(); knot && FDocument->DocumentSheet())
    FDocument->DocumentSheet()->LoadState(knot->FindOrAddKnot(u"SheetData"));
  FDocument->UndoRedo()->AddNotifyEvent(MakeMethod<&TMainForm::DocumentChanged>(this));
  EditForm->SetDocument(FDocument->DocumentScheme(), FDocument->DocumentSheet(), FDocument->LogScheme(),
                        FDocument->LogSheet());
  SetActiveControl(EditForm->SheetForm()->rb1);

  FStartupShortcut = StartupShortcutName(FSystem.StartupFolder(), FSystem.ProgramFileName);
  General().AutoStart->SetValue(!FStartupShortcut.empty() && FileExists(FStartupShortcut));

  FInitialized = true;
  Global->Settings()->AddNotifyEvent(MakeMethod<&TMainForm::SettingsChanged>(this));

  if (!FFirstRun && General().ShowInTray->Value() && Application) Application->SetShowMainForm(false);
  // The window was made before the creation ended and registered no hot key; the icon's tip names it.
  UpdateHotKey(General().HotKey->Value());
  // The shell can take tens of milliseconds over a new icon: a window the user waits for paints first.
  if (General().ShowInTray->Value()) {
    if (!FFirstRun) {
      AddTrayIcon();
    } else {
      FTrayIconPending = true;
      SetTimer(Handle(), TrayIconTimerId, USER_TIMER_MINIMUM, nullptr);
    }
  }

  TKnot* knot = SessionKnot();
  FStayOnTop = knot && knot->ReadBool(u"StayOnTop", false);
  StayOnTopClick(nullptr);
  UpdateSystemMenu();
}

void TMainForm::PlaceFirstRun() {
  RECT area;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const int width = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int height = GetSystemMetrics(SM_CYSCREEN) / 2;
  SetBounds(area.right - width, area.bottom - height, width, height);
}

void TMainForm::BindEditorActions() {
  TSheetForm& sheet = *EditForm->SheetForm();
  miUndo->SetAction(sheet.EditUndo);
  miRedo->SetAction(sheet.EditRedo);
  miCut->SetAction(sheet.EditCut);
  miCopy->SetAction(sheet.EditCopy);
  miCopyText->SetAction(sheet.EditCopyText);
  miPaste->SetAction(sheet.EditPaste);
  miDelete->SetAction(sheet.EditDelete);
  miSelectAll->SetAction(sheet.EditSelectAll);
  miNonPrintingCharacters->SetAction(sheet.ViewNonPrintingCharacters);
  miFind->SetAction(EditForm->EditFind);
  miFindNext->SetAction(EditForm->EditFindNext);
  miReplace->SetAction(EditForm->EditReplace);
  miPalette->SetAction(EditForm->ViewPalette);
}

void TMainForm::FormDestroy(TObject* ASender) {
  // The sheets go with the document: the editor lets them go first.
  if (EditForm) EditForm->SetDocument(nullptr, nullptr, nullptr, nullptr);
  if (FInitialized) Global->Settings()->RemoveNotifyEvent(MakeMethod<&TMainForm::SettingsChanged>(this));
  if (FDocument) FDocument->UndoRedo()->RemoveNotifyEvent(MakeMethod<&TMainForm::DocumentChanged>(this));
  if (FSubscribed) Localization->RemoveNotifyEvent(MakeMethod<&TMainForm::LocalizationChanged>(this));
  RemoveTrayIcon();
}

void TMainForm::BeforeDestruction() {
  // The form's components and the embedded editor go first; they show the document until then.
  TForm::BeforeDestruction();
  FDocument.reset();
  if (FHotKeyId) GlobalDeleteAtom(FHotKeyId);
  FHotKeyId = 0;
}

TKnot* TMainForm::SessionKnot() { return fp1 ? fp1->GetKnot() : nullptr; }

void TMainForm::UpdateCaptions() {
  const TLocalization& l = *Localization;
  miQuillbox->SetCaption(Title());
  miFile->SetCaption(l.GetLocStr(IdFile));
  miEdit->SetCaption(l.GetLocStr(IdEdit));
  miTools->SetCaption(l.GetLocStr(IdTools));
  miView->SetCaption(l.GetLocStr(IdView));
  miHelp->SetCaption(l.GetLocStr(IdHelp));
  FileImport->SetCaption(l.GetLocStr(IdImport));
  FileExport->SetCaption(l.GetLocStr(IdExport));
  FilePageSetup->SetCaption(l.GetLocStr(IdPageSetup));
  FilePrint->SetCaption(l.GetLocStr(IdPrint));
  ToolsSettings->SetCaption(l.GetLocStr(IdSettings));
  HelpOnlineHelp->SetCaption(l.GetLocStr(IdOnlineHelp));
  HelpCheckUpdates->SetCaption(l.GetLocStr(IdCheckUpdates));
  HelpProgramPage->SetCaption(l.GetLocStr(IdProgramPage));
  HelpSendMessage->SetCaption(l.GetLocStr(IdSendMessage));
  HelpForum->SetCaption(l.GetLocStr(IdForum));
  osd1->FileFilters() = TFileFilters();
  osd1->FileFilters().AddFilter(u"qbx", FormatLocStrOr(IdFileType, u"Quillbox File", {}));
  UpdateStayOnTopItem();
}

void TMainForm::LocalizationChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (ANotify == 1) UpdateCaptions();
}

// ---------------------------------------------------------------------------------------------------------------
// Window

void TMainForm::CreateWnd() {
  TForm::CreateWnd();
  DragAcceptFiles(Handle(), TRUE);
  if (!FInitialized) return;
  UpdateHotKey(General().HotKey->Value());
  if (FTrayIconPending)
    SetTimer(Handle(), TrayIconTimerId, USER_TIMER_MINIMUM, nullptr);
  else if (General().ShowInTray->Value())
    AddTrayIcon();
  UpdateSystemMenu();
}

void TMainForm::DestroyWnd() {
  RemoveTrayIcon();
  UpdateHotKey({});
  if (HWND window = HandleIfAllocated()) DragAcceptFiles(window, FALSE);
  TForm::DestroyWnd();
}

void TMainForm::WndProc(TMessage& AMessage) {
  if (FTaskbarCreatedMessage && AMessage.Msg == FTaskbarCreatedMessage) {
    // The shell restarted without our icon.
    FTrayIconShown = false;
    if (FInitialized && General().ShowInTray->Value()) AddTrayIcon();
  }
  switch (AMessage.Msg) {
    case WM_NCACTIVATE:
      TForm::WndProc(AMessage);
      if (!AMessage.Handled) DefaultHandler(AMessage);
      AMessage.Handled = true;
      if (!AMessage.WParam) FLastDeactivation = FSystem.Clock();
      return;
    case WM_SYSCOMMAND:
      if (SysCommand(AMessage.WParam)) return AMessage.Answer(1);
      break;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(AMessage.WParam));
      return AMessage.Answer();
    case WM_HOTKEY:
      if (FHotKeyId && AMessage.WParam == FHotKeyId) ShowFromTray();
      return AMessage.Answer();
    case WM_TRAYICON:
      TrayMessage(static_cast<UINT>(AMessage.LParam));
      return AMessage.Answer();
    case WM_TIMER:
      if (AMessage.WParam != TrayIconTimerId) break;
      KillTimer(Handle(), TrayIconTimerId);
      FTrayIconPending = false;
      if (General().ShowInTray->Value()) AddTrayIcon();
      return AMessage.Answer();
    case WM_SHOWINSTANCE:
      if (FTrayIconShown) {
        RemoveTrayIcon();
        AddTrayIcon();
      }
      ShowFromTray();
      return AMessage.Answer();
    case WM_SAVEFAILED:
      if (FSessionSaveFailure) ReportSaveFailure(*std::exchange(FSessionSaveFailure, std::nullopt));
      return AMessage.Answer();
    default:
      break;
  }
  TForm::WndProc(AMessage);
}

bool TMainForm::SysCommand(WPARAM ACommand) {
  if (!FInitialized || !General().ShowInTray->Value()) return false;
  switch (ACommand & 0xFFF0) {
    case SC_CLOSE:
      HideToTray();
      return true;
    case SC_MINIMIZE:
      if (!General().HideToTrayByMinimizeButton->Value()) return false;
      HideToTray();
      return true;
    default:
      return false;
  }
}

void TMainForm::UpdateSystemMenu() {
  const bool grey = General().ShowInTray->Value() && General().HideToTrayByMinimizeButton->Value();
  if (HWND window = HandleIfAllocated()) EnableSystemMenuClose(window, !grey);
  if (Application) EnableSystemMenuClose(Application->Handle(), !grey);
}

void TMainForm::FormKeyDown(TObject* ASender, uint16_t& AKey, TShiftState AShift) {
  if (AKey == VK_ESCAPE && EscHides()) {
    HideToTray();
    AKey = 0;
  } else if (AKey == 'S' && AShift.Contains(ssCtrl)) {
    AKey = 0;
    if (const std::optional<std::u16string> failure = TrySaveDocument()) ReportSaveFailure(*failure);
  }
}

bool TMainForm::EscHides() const {
  if (!General().ShowInTray->Value() || !General().HideByEsc->Value()) return false;
  // An open list or a drag in the sheet takes the key: Esc closes or cancels it there.
  const TSheet* sheet = FDocument ? FDocument->DocumentSheet() : nullptr;
  return !sheet || (!sheet->DropDown() && !sheet->Captured());
}

void TMainForm::DropFiles(HDROP ADrop) {
  struct TDropScope {
    HDROP Drop;
    ~TDropScope() { DragFinish(Drop); }
  } scope{ADrop};
  std::vector<std::u16string> names;
  const UINT count = DragQueryFileW(ADrop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t name[1024];
    if (DragQueryFileW(ADrop, i, name, 1024)) names.push_back(FromWide(name));
  }
  TSheet* sheet = FDocument ? FDocument->DocumentSheet() : nullptr;
  if (!names.empty() && sheet && sheet->Focused() && sheet->Focused()->DropFiles(names)) {
    if (Application) Application->BringToFront();
    return;
  }
  FSystem.Beep();
}

// ---------------------------------------------------------------------------------------------------------------
// Hot key and notification area

void TMainForm::UpdateHotKey(const std::u16string& AText) {
  bool changed = false;
  auto unregister = [this] {
    if (!FHotKeyText.empty())
      if (HWND window = HandleIfAllocated()) UnregisterHotKey(window, FHotKeyId);
    FHotKeyText.clear();
  };
  if (AText.empty() || !General().ShowByHotKey->Value()) {
    changed = !FHotKeyText.empty();
    unregister();
  } else if (AText != FHotKeyText) {
    changed = true;
    unregister();
    // The combination is always Ctrl+Shift+E; the setting names it in the tip.
    if (HWND window = HandleIfAllocated(); window && RegisterHotKey(window, FHotKeyId, MOD_CONTROL | MOD_SHIFT, 'E'))
      FHotKeyText = AText;
  }
  if (changed && FTrayIconShown) {
    RemoveTrayIcon();
    AddTrayIcon();
  }
}

std::u16string TMainForm::TrayTip() const {
  return FHotKeyText.empty() ? Title() : Title() + u" (" + FHotKeyText + u")";
}

void TMainForm::AddTrayIcon() {
  if (FTrayIconPending) {
    FTrayIconPending = false;
    if (HWND window = HandleIfAllocated()) KillTimer(window, TrayIconTimerId);
  }
  if (FTrayIconShown) return;
  // Making the window adds the icon already.
  HWND window = Handle();
  if (FTrayIconShown) return;
  if (!FTrayIcon)
    FTrayIcon = static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), IsWindowsVistaOrLater() ? L"TrayIcon" : L"MAINICON", IMAGE_ICON, 16, 16, 0));
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = TrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAYICON;
  data.hIcon = FTrayIcon;
  CopyText(data.szTip, TrayTip());
  if (FSystem.NotifyIcon(NIM_ADD, data)) FTrayIconShown = true;
}

void TMainForm::RemoveTrayIcon() {
  if (!FTrayIconShown) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = HandleIfAllocated();
  data.uID = TrayIconId;
  FSystem.NotifyIcon(NIM_DELETE, data);
  FTrayIconShown = false;
}

void TMainForm::ShowTrayBalloon(const std::u16string& AText) {
  if (!FTrayIconShown) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = Handle();
  data.uID = TrayIconId;
  data.uFlags = NIF_INFO;
  CopyText(data.szInfo, AText);
  CopyText(data.szInfoTitle, Title());
  data.uTimeout = 5000;
  data.dwInfoFlags = NIIF_INFO;
  FSystem.NotifyIcon(NIM_MODIFY, data);
}

void TMainForm::HideToTray() {
  // Never hidden with no icon to come back by.
  if (FTrayIconPending && General().ShowInTray->Value()) AddTrayIcon();
  Hide();
  if (FBalloonShown || !FFirstRun) return;
  FBalloonShown = true;
  ShowTrayBalloon(FormatLocStrOr(IdLivesInTray, u"%1 lives in the notification area.", {Title()}));
}

void TMainForm::ShowFromTray() {
  Show();
  // Raised, and activated even while a box has disabled it: under Wine activation restacks the window above other
  // programs' windows, but now and then not the disabled one's, and a full test run saw the window stay under
  // another. The box, if one is open, takes the activation and the top next.
  if (HWND window = HandleIfAllocated()) {
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetForegroundWindow(window);
  }
  if (Application) Application->BringToFront();
}

void TMainForm::TrayShowClick(TObject* ASender) { ShowFromTray(); }

void TMainForm::TrayMessage(UINT AMouseMessage) {
  switch (AMouseMessage) {
    case WM_LBUTTONDOWN: {
      HWND window = HandleIfAllocated();
      const bool shownActive =
          window && !IsIconic(window) && IsWindowVisible(window) && (!Application || Application->ModalLevel() == 0) &&
          std::llround((FSystem.Clock() - FLastDeactivation) * MillisecondsPerDay) < TrayClickHideMs;
      if (shownActive) {
        HideToTray();
      } else {
        if (Application) Application->Restore();
        ShowFromTray();
      }
      break;
    }
    case WM_RBUTTONUP: {
      POINT at;
      GetCursorPos(&at);
      SetForegroundWindow(Handle());
      pmTray->Popup(at.x, at.y);
      PostMessageW(Handle(), WM_NULL, 0, 0);
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// "Always on Top"

void TMainForm::StayOnTopClick(TObject* ASender) {
  if (ASender) FStayOnTop = !FStayOnTop;
  SetFormStyle(FStayOnTop ? TFormStyle::fsStayOnTop : TFormStyle::fsNormal);
  UpdateStayOnTopItem();
}

void TMainForm::UpdateStayOnTopItem() {
  if (FApplyingStayOnTopItem) return;
  TFlagScope applying(FApplyingStayOnTopItem);
  const std::u16string text = (FStayOnTop ? u"+ " : u"- ") + Localization->GetLocStr(IdStayOnTop) + u" ";
  // The caption keeps a rebuilt bar right; the bar's entry is then made a right-aligned popup by hand.
  miStayOnTop->SetCaption(text);
  ModifyMenuW(mm1->Handle(), StayOnTopPosition, MF_BYPOSITION | MF_POPUP | MF_RIGHTJUSTIFY,
              reinterpret_cast<UINT_PTR>(miStayOnTop->Handle()), WStr(text));
  if (HWND window = HandleIfAllocated()) DrawMenuBar(window);
}

void TMainForm::MenuChanged(TObject* ASender) { UpdateStayOnTopItem(); }

// ---------------------------------------------------------------------------------------------------------------
// Saving

void TMainForm::DocumentChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (ANotify != urPerformed && ANotify != urUndone && ANotify != urRedone) return;
  FModified = true;
  StartAutoSaveTimer();
}

void TMainForm::StartAutoSaveTimer() {
  tmAutoSave->SetEnabled(false);
  tmAutoSave->SetEnabled(true);
}

bool TMainForm::AutoSaveMustWait() const {
  if (FSaving || FReportingSave || !FDocument) return true;
  if (FDocument->UndoRedo()->IsExecuting()) return true;
  const TSheet* sheet = FDocument->DocumentSheet();
  return sheet && sheet->UpdateCount() > 0;
}

void TMainForm::AutoSaveTimer(TObject* ASender) {
  tmAutoSave->SetEnabled(false);
  if (!FModified) return;
  if (AutoSaveMustWait()) {
    StartAutoSaveTimer();
    return;
  }
  if (const std::optional<std::u16string> failure = TrySaveDocument()) ReportSaveFailure(*failure);
}

std::optional<std::u16string> TMainForm::TrySaveDocument() {
  try {
    SaveDocument();
    return std::nullopt;
  } catch (const std::exception&) {
    return CurrentExceptionMessage();
  }
}

void TMainForm::ReportSaveFailure(const std::u16string& AText) {
  // One report at a time: a save failing while one is open adds nothing to what it says.
  if (FReportingSave) return;
  {
    TFlagScope reporting(FReportingSave);
    FSystem.MessageBox(AText, MB_OK | MB_ICONERROR);
  }
  // Ticks during the report found it open and waited; the next try comes a full interval after it closed.
  if (FModified) StartAutoSaveTimer();
}

void TMainForm::SaveDocument() {
  TFlagScope saving(FSaving);
  FDocument->SaveToFile(General().DataFileName->Value());
  if (TSheet* sheet = FDocument->DocumentSheet())
    if (TKnot* knot = SessionKnot()) sheet->SaveState(knot->FindOrAddKnot(u"SheetData"));
  FModified = false;
  // The text is in its file: nothing keeps the session any more.
  if (Application) Application->AllowEndSession();
}

std::optional<std::u16string> TMainForm::MoveDocument() {
  const std::u16string oldName = FDocument->DocumentScheme()->FileName();
  // A failure to make the folder shows as the save's.
  ForceFolder(ExtractFilePath(General().DataFileName->Value()));
  std::optional<std::u16string> failure = TrySaveDocument();
  // The next start loads the file that holds the text.
  if (failure) General().DataFileName->SetValue(oldName);
  return failure;
}

void TMainForm::SettingsChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (ANotify != 1) return;
  std::optional<std::u16string> failure;
  if (FInitialized) {
    SyncStartupShortcut(General().AutoStart->Value(), FStartupShortcut, FSystem.ProgramFileName);
    if (General().ShowInTray->Value() != FTrayIconShown) {
      if (General().ShowInTray->Value())
        AddTrayIcon();
      else
        RemoveTrayIcon();
    }
    UpdateHotKey(General().HotKey->Value());
    if (FDocument->DocumentScheme()->FileName() != General().DataFileName->Value()) failure = MoveDocument();
    UpdateSystemMenu();
  }
  Global->SaveSettings();
  if (failure) ReportSaveFailure(*failure);
}

void TMainForm::FormCloseQuery(TObject* ASender, bool& ACanClose) {
  std::optional<std::u16string> failure;
  if (FModified) failure = TrySaveDocument();
  if (FInitialized) {
    if (TKnot* knot = SessionKnot()) {
      knot->WriteBool(u"StayOnTop", FStayOnTop);
      EditForm->SaveLayout(*knot);
    }
    Global->SessionFile->Save();
    Global->SaveChangedSettings();
  }
  if (!failure) return;
  // The window stays with the text its file could not take; closing again tries the save again.
  ACanClose = false;
  if (!Application || !Application->InSessionQuery()) return ReportSaveFailure(*failure);
  // The system waits on the answer, and a box now would keep it waiting on the user: it is told why at once, and
  // the box comes once the question is answered.
  Application->BlockEndSession(*failure);
  FSessionSaveFailure = *failure;
  PostMessageW(Handle(), WM_SAVEFAILED, 0, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Actions

void TMainForm::ActionsExecute(TAction* AAction, bool& AHandled) {
  // A value being edited is committed before any command runs.
  if (!EditForm) return;
  if (TSheet* sheet = FDocument ? FDocument->DocumentSheet() : nullptr) sheet->CommitFocusedValue();
}

std::u16string TMainForm::ExportFileProposal() const { return FormatDateTime(u"yyyy_mm_dd", FSystem.Clock()); }

void TMainForm::FileImportExecute(TObject* ASender) {
  osd1->SetFileName({});
  if (!osd1->ExecuteOpen()) return;
  // A file that cannot be read raises before anything changed; the scopes release cursor and knot either way.
  TBusyCursor busy;
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromFile(osd1->FileName());
  // A file ends every paragraph with a break, the last one too, which a load takes as the text's end; inserted as
  // content it would add an empty paragraph the file never had.
  if (TKnot* last = knot->GetLastKnot(); last && last->Name() == BreakKnotName) last->Free();
  TPlainRoot* root = FDocument->DocumentRoot();
  root->Focus();
  knot->SetAddedOptions(knot->AddedOptions() | koOrderedChildren);
  root->PerformEdit(emWhole, nullptr, knot.get(), fmDocument, {}, false);
}

void TMainForm::FileExportExecute(TObject* ASender) {
  osd1->SetFileName(ExportFileProposal());
  if (!osd1->ExecuteSave()) return;
  FDocument->SaveToFile(osd1->FileName(), true);
}

void TMainForm::FilePageSetupExecute(TObject* ASender) {
  if (CheckPrinters()) PageSetupDialog->Execute();
}

void TMainForm::FilePrintExecute(TObject* ASender) {
  TSheet* sheet = FDocument->DocumentSheet();
  if (!sheet || !CheckPrinters() || !PrintDialog->Execute()) return;
  PrintDocument(Caption(), *sheet, *Global->Settings()->Print, PageSetupDialog->Margins());
}

void TMainForm::HelpOnlineHelpExecute(TObject* ASender) {
  MakeWebCommands(FSystem).OpenOnlineHelpPage(General().Language->Value());
}

void TMainForm::HelpCheckUpdatesExecute(TObject* ASender) {
  MakeWebCommands(FSystem).CheckForUpdates(General().Language->Value());
}

void TMainForm::HelpProgramPageExecute(TObject* ASender) {
  MakeWebCommands(FSystem).OpenHomePage(General().Language->Value());
}

void TMainForm::HelpSendMessageExecute(TObject* ASender) {
  MakeWebCommands(FSystem).OpenCommunityPage(General().Language->Value());
}

void TMainForm::HelpForumExecute(TObject* ASender) {
  MakeWebCommands(FSystem).OpenForumPage(General().Language->Value());
}

void TMainForm::ToolsSettingsExecute(TObject* ASender) {
  TNormalStyleScope normal(*this);
  ShowSettings(this, Global->Settings());
}

void TMainForm::HelpAboutExecute(TObject* ASender) {
  TNormalStyleScope normal(*this);
  ShowAboutBox(this, AboutText, MakerAddress);
}
