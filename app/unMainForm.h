// The main window and the program's start: the one top-level window that owns the document and hosts the editor,
// lives in the notification area, answers a global hot key and a second start, saves ten seconds after the last
// change; the single-instance rule, the installer mutexes and the Startup folder's shortcut.
#pragma once

#include "app/unMenuImages.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"
#include "framework/fwForms.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TAction;
class TActionList;
class TAppActions;
class TEditForm;
class TFormPlace;
class TImageList;
class TKnot;
class TMainMenu;
class TMenuItem;
class TOpenSaveDialog;
class TPageSetupDialog;
class TPlainDocument;
class TPopupMenu;
class TPrintDialog;
class TTimer;

// The main window's private messages: the tray icon's callback (LParam the mouse message), the wake-up a second
// start posts, and the report of a save that failed while the system asked whether the session may end, posted
// to come after the answer (WParam and LParam 0 for both).
constexpr UINT WM_TRAYICON = WM_USER + 1;
constexpr UINT WM_SHOWINSTANCE = WM_USER + 2;
constexpr UINT WM_SAVEFAILED = WM_USER + 3;

// The WM_COMMAND ids of the main window's menu items, fixed so that another process can click them.
enum TMainCommand : uint16_t {
  cmFileImport = 0x0100,
  cmFileExport = 0x0101,
  cmFilePageSetup = 0x0102,
  cmFilePrint = 0x0103,
  cmFileExit = 0x0104,
  cmEditUndo = 0x0200,
  cmEditRedo = 0x0201,
  cmEditCut = 0x0202,
  cmEditCopy = 0x0203,
  cmEditCopyText = 0x0204,
  cmEditPaste = 0x0205,
  cmEditDelete = 0x0206,
  cmEditFind = 0x0207,
  cmEditFindNext = 0x0208,
  cmEditReplace = 0x0209,
  cmEditSelectAll = 0x020A,
  cmToolsSettings = 0x0300,
  cmViewPalette = 0x0400,
  cmViewNonPrintingCharacters = 0x0401,
  cmHelpOnlineHelp = 0x0500,
  cmHelpCheckUpdates = 0x0501,
  cmHelpProgramPage = 0x0502,
  cmHelpForum = 0x0503,
  cmHelpSendMessage = 0x0504,
  cmHelpAbout = 0x0505,
  cmStayOnTop = 0x0600,
  cmTrayShow = 0x0700,
  cmTrayExit = 0x0701,
};

// The id of the application title's string: "Quillbox" in every language.
constexpr int IdMainTitle = 4000;

// ---------------------------------------------------------------------------------------------------------------
// Single instance, installer mutexes, Startup shortcut

// Creates (and keeps) the named mutex AMutexName; when it existed already another instance runs: its window
// (class "TMainForm", text ATitle) is told to show itself and true is returned, also when no window was found.
bool CheckSingleInstance(const std::u16string& ATitle, const std::u16string& AMutexName = u"Quillbox");
// AName and "Global\" + AName, open to every account, held until the process ends.
void CreateInstallerMutexes(const std::u16string& AName);

// The Startup folder with a trailing delimiter: the "Startup" value of the shell folders key, else the known
// folder; empty when neither names one.
std::u16string GetStartupFolder();
// ARegistryValue when set, else AKnownFolder, with a trailing delimiter; empty when both are.
std::u16string ChooseStartupFolder(const std::u16string& ARegistryValue, const std::u16string& AKnownFolder);
// AFolder + the program file's title + ".lnk"; empty without a folder (never a link in a drive's root).
std::u16string StartupShortcutName(const std::u16string& AFolder, const std::u16string& AProgramFileName);
// A shell link at ALinkName to ATarget; true when it was saved.
bool CreateShortcut(const std::u16string& ATarget, const std::u16string& ALinkName, const std::u16string& AArguments,
                    const std::u16string& ADescription);
// Makes the link's existence match AWanted: created to point at ATarget, or deleted even when read-only. Nothing
// without a name.
void SyncStartupShortcut(bool AWanted, const std::u16string& ALinkName, const std::u16string& ATarget);

// ---------------------------------------------------------------------------------------------------------------
// The main window

// What the main window asks of the system; tests replace members, empty ones take the system's.
struct TMainFormSystem {
  // Shell_NotifyIconW.
  std::function<bool(DWORD AMessage, const NOTIFYICONDATAW& AData)> NotifyIcon;
  // Now.
  std::function<TDateTime()> Clock;
  // The report of a failed automatic save, and other boxes of the window: ShowMessageBox.
  std::function<int(const std::u16string& AText, UINT AFlags)> MessageBox;
  // The web commands' browser: the default browser.
  std::function<bool(const std::u16string& AAddress)> Browser;
  // The beep of files nobody took: MessageBeep(0).
  std::function<void()> Beep;
  // The Startup folder (GetStartupFolder).
  std::function<std::u16string()> StartupFolder;
  // The program file the shortcut points at and is named after.
  std::u16string ProgramFileName;
};

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner, TMainFormSystem ASystem = {});
  ~TMainForm() override;

  static constexpr unsigned AutoSaveInterval = 10000;
  // A tray click this soon after the window lost activation hides it: the click took the activation away.
  static constexpr int TrayClickHideMs = 500;

  TMainMenu* mm1;
  TMenuItem* miFile;
  TMenuItem* miEdit;
  TMenuItem* miTools;
  TMenuItem* miView;
  TMenuItem* miHelp;
  TMenuItem* miStayOnTop;
  TMenuItem* miUndo;
  TMenuItem* miRedo;
  TMenuItem* miCut;
  TMenuItem* miCopy;
  TMenuItem* miCopyText;
  TMenuItem* miPaste;
  TMenuItem* miDelete;
  TMenuItem* miFind;
  TMenuItem* miFindNext;
  TMenuItem* miReplace;
  TMenuItem* miSelectAll;
  TMenuItem* miPalette;
  TMenuItem* miNonPrintingCharacters;

  TActionList* al1;
  TAction* FileImport;
  TAction* FileExport;
  TAction* FilePageSetup;
  TAction* FilePrint;
  // Disabled until the settings dialog is part of the program.
  TAction* ToolsSettings;
  TAction* HelpOnlineHelp;
  TAction* HelpCheckUpdates;
  TAction* HelpProgramPage;
  TAction* HelpSendMessage;
  TAction* HelpForum;
  TFormPlace* fp1;
  TAppActions* AppActions;
  TOpenSaveDialog* osd1;
  TTimer* tmAutoSave;
  TPopupMenu* pmTray;
  TMenuItem* miQuillbox;
  TMenuItem* FileExit1;
  TPrintDialog* PrintDialog;
  TPageSetupDialog* PageSetupDialog;
  // The pictures of the menus and actions (TMenuImage).
  TImageList* iml1;

  TEditForm* EditForm = nullptr;
  TPlainDocument* Document() const { return FDocument.get(); }
  bool Initialized() const { return FInitialized; }
  bool TrayIconShown() const { return FTrayIconShown; }
  bool BalloonShown() const { return FBalloonShown; }
  bool Modified() const { return FModified; }
  bool StayOnTop() const { return FStayOnTop; }
  // The text the hot key is registered under; empty while none is.
  const std::u16string& HotKeyText() const { return FHotKeyText; }
  ATOM HotKeyId() const { return FHotKeyId; }
  // The knot the window keeps its state in ("MainForm" of the session file).
  TKnot* SessionKnot();
  const std::u16string& StartupShortcut() const { return FStartupShortcut; }

  // The tip the tray icon shows: the title, with the hot key's text in brackets while one is registered.
  std::u16string TrayTip() const;
  void AddTrayIcon();
  void RemoveTrayIcon();
  void ShowTrayBalloon(const std::u16string& AText);
  void HideToTray();
  void ShowFromTray();
  void UpdateHotKey(const std::u16string& AText);
  void UpdateSystemMenu();
  void UpdateStayOnTopItem();
  // Writes the document to DataFileName and its view state into the session knot; raises when it could not.
  void SaveDocument();
  // The proposal of the export dialog: today as "yyyy_mm_dd".
  std::u16string ExportFileProposal() const;

 protected:
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;
  void BeforeDestruction() override;

 private:
  void CreateMenus();
  void CreateActions();
  TAction* NewAction(TActionList* AList, const char16_t* AName, TMenuImage AImage, TNotifyEvent AExecute);
  TMenuItem* NewItem(TMenuItem* AParent, const char16_t* AName, uint16_t ACommand, TAction* AAction = nullptr);
  void BindEditorActions();
  void UpdateCaptions();
  void PlaceFirstRun();

  void FormCreate(TObject* ASender);
  void FormDestroy(TObject* ASender);
  void FormCloseQuery(TObject* ASender, bool& ACanClose);
  void FormKeyDown(TObject* ASender, uint16_t& AKey, TShiftState AShift);
  void ActionsExecute(TAction* AAction, bool& AHandled);
  void LocalizationChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void SettingsChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void DocumentChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void AutoSaveTimer(TObject* ASender);
  void MenuChanged(TObject* ASender);
  void StayOnTopClick(TObject* ASender);
  void TrayShowClick(TObject* ASender);

  void FileImportExecute(TObject* ASender);
  void FileExportExecute(TObject* ASender);
  void FilePageSetupExecute(TObject* ASender);
  void FilePrintExecute(TObject* ASender);
  void HelpOnlineHelpExecute(TObject* ASender);
  void HelpCheckUpdatesExecute(TObject* ASender);
  void HelpProgramPageExecute(TObject* ASender);
  void HelpSendMessageExecute(TObject* ASender);
  void HelpForumExecute(TObject* ASender);
  void ToolsSettingsExecute(TObject* ASender);
  void HelpAboutExecute(TObject* ASender);

  void TrayMessage(UINT AMouseMessage);
  bool SysCommand(WPARAM ACommand);
  void DropFiles(HDROP ADrop);
  // Whether an automatic save must wait: a save or a save's report runs, the history executes or groups, or the
  // document sheet is inside an update.
  bool AutoSaveMustWait() const;
  // SaveDocument; the failure's message when it raised.
  std::optional<std::u16string> TrySaveDocument();
  // The one box of a failed save, whichever save it was; the automatic save comes back once it closed.
  void ReportSaveFailure(const std::u16string& AText);
  // Saves under a changed DataFileName, its folder made first. On a failure the document keeps its name and the
  // setting goes back to it; the failure's message is returned.
  std::optional<std::u16string> MoveDocument();
  bool EscHides() const;
  void StartAutoSaveTimer();

  TMainFormSystem FSystem;
  std::unique_ptr<TPlainDocument> FDocument;
  bool FInitialized = false;
  bool FTrayIconShown = false;
  // A first run's icon waits for the window's first paint.
  bool FTrayIconPending = false;
  bool FBalloonShown = false;
  bool FModified = false;
  TDateTime FLastDeactivation = 0;
  ATOM FHotKeyId = 0;
  std::u16string FHotKeyText;
  bool FStayOnTop = false;
  bool FFirstRun = false;
  bool FSaving = false;
  bool FReportingSave = false;
  // The failure of the save a session question ran, waiting for WM_SAVEFAILED to report it.
  std::optional<std::u16string> FSessionSaveFailure;
  bool FSubscribed = false;
  HICON FTrayIcon = nullptr;
  UINT FTaskbarCreatedMessage = 0;
  std::u16string FStartupShortcut;
  bool FApplyingStayOnTopItem = false;
};
