// The Windows half of the free routines: folders, clipping, shell and browser launching, the message box, the
// screen cursor and the installed languages.
#pragma once

#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------------------------
// Folders and files

// Folder of the program file, with a trailing path delimiter.
std::u16string GetApplicationFolder();
// Adds the files (never folders) matching AFolder + AMask to AList inside one update bracket; without
// AWithExt the extension is dropped, with AWithFolder the folder is put in front.
void ListFiles(std::u16string_view AFolder, std::u16string_view AMask, TStringList& AList, bool AWithExt,
               bool AWithFolder);
// The file's last modification time in local time (with the daylight rule of that date); 0 when the file does
// not exist or cannot be read.
TDateTime GetFileDateTime(const std::u16string& AName);

// ---------------------------------------------------------------------------------------------------------------
// Geometry and clipping

// A B that touches A's left or top edge counts as overlapping, one that touches the right or bottom does not.
bool RectsOverlap(const RECT& A, const RECT& B);
SIZE GetRectSize(const RECT& ARect);
// ARegion receives ADC's clip region; AHadRegion tells whether there was one.
void SaveClipRegion(HDC ADC, HRGN& ARegion, bool& AHadRegion);
// Selects the saved region back (or no clipping) and deletes it.
void RestoreClipRegion(HDC ADC, HRGN ARegion, bool AHadRegion);

// Saves the clip region for one scope and restores it also when an exception leaves it.
class TClipRegionGuard {
 public:
  explicit TClipRegionGuard(HDC ADC) : FDC(ADC) { SaveClipRegion(FDC, FRegion, FHadRegion); }
  ~TClipRegionGuard() { RestoreClipRegion(FDC, FRegion, FHadRegion); }
  TClipRegionGuard(const TClipRegionGuard&) = delete;
  TClipRegionGuard& operator=(const TClipRegionGuard&) = delete;

 private:
  HDC FDC;
  HRGN FRegion = nullptr;
  bool FHadRegion = false;
};

// ---------------------------------------------------------------------------------------------------------------
// Errors and shell

// EFileError with the localized "Path not found: %1" (string 2067), system error 3.
[[noreturn]] void RaisePathNotFound(const std::u16string& AName);

// ShellExecuteW under the busy cursor; a file type without an association gets the "Open with" dialog.
// On failure with ARaise: "Path not found", "File not found", "Access denied" or the shell's error number.
bool ShellExecuteFile(const std::u16string& AFileName, const std::u16string& AParams = {},
                      const std::u16string& AVerb = {}, bool ARaise = true, int AShowCmd = SW_SHOWNORMAL);
// The shell's "Open with" dialog for AFileName; returns the shell's result (above 32 on success).
intptr_t ShellOpenWithDialog(const std::u16string& AFileName, int AShowCmd = SW_SHOWNORMAL);
// The program of the registered http "open" command: the text between the first two double quotes, or the
// first blank-separated token of an unquoted command; empty when none is registered.
std::u16string GetDefaultBrowser();
// Only http and https URLs without double quotes or control characters are opened: in the default browser,
// else through the shell. False when nothing was started.
bool OpenInDefaultBrowser(const std::u16string& AURL, int AShowCmd = SW_SHOWNORMAL);

// The string identifier of the program's title, the default caption of message boxes; 0 = none.
extern int ApplicationTitleId;
// Shows MessageBoxText(AText) over the active window (topmost when that window is); an empty caption becomes the
// program's title. Returns the button pressed.
int ShowMessageBox(std::u16string AText, std::u16string ACaption = {}, UINT AFlags = MB_OK);
bool IsWindowsVistaOrLater();

// ---------------------------------------------------------------------------------------------------------------
// Windows

// Keeps the window's place and sets its outer size so that its client area becomes AWidth x AHeight.
void SetFormClientSize(HWND AWindow, int AWidth, int AHeight);

// ---------------------------------------------------------------------------------------------------------------
// Cursors

// The cursor numbers are in cuUtils, where platform-free code that only chooses a cursor finds them.

// The program-wide cursor that overrides the windows' own (crDefault: each window shows its own).
TCursor GetScreenCursor();
// While busy, only the cursor to be restored changes.
void SetScreenCursor(TCursor ACursor);
// The handle registered for ACursor (the arrow for unknown numbers); windows use it on WM_SETCURSOR while
// GetScreenCursor is not crDefault.
HCURSOR GetCursorHandle(TCursor ACursor);
// Registers the program's cursor resource AName as cursor number AId; it is loaded when first asked for. Raises
// EOSError when the program has no such cursor.
void LoadResourceCursor(TCursor AId, LPCWSTR AName);
// The cursor registered under AId, loaded now if it was not yet; nullptr for a number never registered.
HCURSOR RegisteredCursorHandle(TCursor AId);

// Nestable: the first begin saves the screen cursor and shows the hour-glass, the last end restores it.
void BeginBusyCursor();
void EndBusyCursor();
bool IsBusyCursor();

// The busy cursor for one scope, ended also when an exception leaves it.
class TBusyCursor {
 public:
  TBusyCursor() { BeginBusyCursor(); }
  ~TBusyCursor() { EndBusyCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Where the screen cursor, the cursor table and message boxes live while the component framework runs: it
// installs its host at start-up and removes it at the end (nullptr). Without a host the routines above keep their
// own cursor table and call MessageBoxW themselves. The registered cursors stay here; the host's table falls back
// on RegisteredCursorHandle.
class IUserInterfaceHost {
 public:
  // Shows ACursor for the whole program (crDefault: each window shows its own again).
  virtual void ShowScreenCursor(TCursor ACursor) = 0;
  virtual HCURSOR CursorHandle(TCursor ACursor) = 0;
  virtual int MessageBox(const std::u16string& AText, const std::u16string& ACaption, UINT AFlags) = 0;

 protected:
  ~IUserInterfaceHost() = default;
};
void SetUserInterfaceHost(IUserInterfaceHost* AHost);

// ---------------------------------------------------------------------------------------------------------------
// Languages

struct TInstalledLanguage {
  LANGID Id;
  std::u16string Abbreviation;  // three letters, e.g. "ENU"
};

// The platform's list of installed languages, in its order.
std::vector<TInstalledLanguage> GetInstalledLanguages();
// The language whose abbreviation is exactly AAbbreviation (case-sensitive); False when there is none.
bool FindLanguageLocale(std::u16string_view AAbbreviation, LANGID& ALangId);
