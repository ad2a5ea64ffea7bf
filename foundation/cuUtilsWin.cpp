#include "foundation/cuUtilsWin.h"

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <exception>
#include <map>

// ---------------------------------------------------------------------------------------------------------------
// Folders and files

std::u16string GetApplicationFolder() {
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, WBuf(buffer), static_cast<DWORD>(buffer.size()));
    if (length == 0) throw EOSError(u"Cannot find the program file", GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      return ExtractFilePath(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

void ListFiles(std::u16string_view AFolder, std::u16string_view AMask, TStringList& AList, bool AWithExt,
               bool AWithFolder) {
  std::u16string folder(AFolder);
  if (!folder.empty() && !HasTrailingPathDelimiter(folder)) folder += u'\\';
  const std::u16string pattern = folder + std::u16string(AMask);
  TUpdateGuard<TStringList> update(AList);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(WStr(pattern), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  struct TFindCloser {
    HANDLE Handle;
    ~TFindCloser() { FindClose(Handle); }
  } closer{find};
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::u16string name = FromWide(data.cFileName);
    if (!AWithExt) name = ExtractFileTitle(name);
    AList.Add(AWithFolder ? folder + name : name);
  } while (FindNextFileW(find, &data));
}

TDateTime GetFileDateTime(const std::u16string& AName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WStr(AName), GetFileExInfoStandard, &data)) return 0;
  SYSTEMTIME utc, local;
  FILETIME localTime;
  if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&local, &localTime))
    return 0;
  const uint64_t ticks = (uint64_t(localTime.dwHighDateTime) << 32) | localTime.dwLowDateTime;
  // File times count 100 ns from 1601-01-01, which lies 109205 days before 1899-12-30.
  return static_cast<double>(ticks) / 864000000000.0 - 109205.0;
}

// ---------------------------------------------------------------------------------------------------------------
// Geometry and clipping

bool RectsOverlap(const RECT& A, const RECT& B) {
  return !(B.left >= A.right || B.right < A.left || B.top >= A.bottom || B.bottom < A.top);
}

SIZE GetRectSize(const RECT& ARect) { return SIZE{ARect.right - ARect.left, ARect.bottom - ARect.top}; }

void SaveClipRegion(HDC ADC, HRGN& ARegion, bool& AHadRegion) {
  ARegion = CreateRectRgn(0, 0, 0, 0);
  AHadRegion = ARegion && GetClipRgn(ADC, ARegion) == 1;
}

void RestoreClipRegion(HDC ADC, HRGN ARegion, bool AHadRegion) {
  SelectClipRgn(ADC, AHadRegion ? ARegion : nullptr);
  if (ARegion) DeleteObject(ARegion);
}

// ---------------------------------------------------------------------------------------------------------------
// Errors and shell

namespace {

constexpr int IdPathNotFound = 2067;  // "Path not found: %1"
constexpr int IdAccessDenied = 2068;  // "Access denied: %1"

[[noreturn]] void RaiseAccessDenied(const std::u16string& AName) {
  throw EFileError(FormatLocStrOr(IdAccessDenied, u"Access denied: %1", {AName}), ERROR_ACCESS_DENIED);
}

}  // namespace

void RaisePathNotFound(const std::u16string& AName) {
  throw EFileError(FormatLocStrOr(IdPathNotFound, u"Path not found: %1", {AName}), ERROR_PATH_NOT_FOUND);
}

bool ShellExecuteFile(const std::u16string& AFileName, const std::u16string& AParams, const std::u16string& AVerb,
                      bool ARaise, int AShowCmd) {
  intptr_t result;
  {
    TBusyCursor busy;
    result = reinterpret_cast<intptr_t>(
        ShellExecuteW(nullptr, WStrOrNull(AVerb), WStr(AFileName), WStrOrNull(AParams), nullptr, AShowCmd));
  }
  if (result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE) result = ShellOpenWithDialog(AFileName, AShowCmd);
  if (result > 32) return true;
  if (!ARaise) return false;
  switch (result) {
    case ERROR_PATH_NOT_FOUND:
      RaisePathNotFound(AFileName);
    case ERROR_FILE_NOT_FOUND:
      if (HasTrailingPathDelimiter(AFileName)) RaisePathNotFound(AFileName);
      RaiseFileNotFound(AFileName);
    case ERROR_ACCESS_DENIED:
      RaiseAccessDenied(AFileName);
    default:
      throw EOSError(Format(u"ShellExecute error (%d) to launch \"%s\"", {result, AFileName}),
                     static_cast<uint32_t>(result));
  }
}

intptr_t ShellOpenWithDialog(const std::u16string& AFileName, int AShowCmd) {
  // The dialog takes the rest of its command line as the one file name, so nothing else may follow it.
  const std::u16string params = u"shell32,OpenAs_RunDLL " + AFileName;
  TBusyCursor busy;
  return reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"rundll32.exe", WStr(params), nullptr, AShowCmd));
}

std::u16string GetDefaultBrowser() {
  DWORD size = 0;
  const wchar_t* key = L"http\\shell\\open\\command";
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size < sizeof(wchar_t))
    return {};
  std::u16string command(size / sizeof(wchar_t), u'\0');
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, WBuf(command),
                   &size) != ERROR_SUCCESS)
    return {};
  command.resize(std::min<size_t>(command.size(), size / sizeof(wchar_t)));
  while (!command.empty() && command.back() == u'\0') command.pop_back();
  return ProgramFromCommand(command);
}

bool OpenInDefaultBrowser(const std::u16string& AURL, int AShowCmd) {
  if (!IsBrowsableUrl(AURL)) return false;
  const std::u16string browser = GetDefaultBrowser();
  if (!browser.empty() && ShellExecuteFile(browser, u"\"" + AURL + u"\"", {}, false, AShowCmd)) return true;
  TBusyCursor busy;
  return reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"open", WStr(AURL), nullptr, nullptr, AShowCmd)) > 32;
}

int ApplicationTitleId = 0;

namespace {
IUserInterfaceHost* UserInterfaceHost = nullptr;
}  // namespace

int ShowMessageBox(std::u16string AText, std::u16string ACaption, UINT AFlags) {
  if (ACaption.empty() && ApplicationTitleId != 0 && Localization)
    ACaption = Localization->GetLocStr(ApplicationTitleId);
  HWND owner = GetActiveWindow();
  if (owner && (GetWindowLongPtrW(owner, GWL_EXSTYLE) & WS_EX_TOPMOST)) AFlags |= MB_TOPMOST;
  const std::u16string text = MessageBoxText(AText);
  if (UserInterfaceHost) return UserInterfaceHost->MessageBox(text, ACaption, AFlags);
  return MessageBoxW(owner, WStr(text), WStr(ACaption), AFlags);
}

bool IsWindowsVistaOrLater() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  return GetVersionExW(&info) && info.dwMajorVersion >= 6;
}

// ---------------------------------------------------------------------------------------------------------------
// Windows

void SetFormClientSize(HWND AWindow, int AWidth, int AHeight) {
  RECT outer, client;
  if (!GetWindowRect(AWindow, &outer) || !GetClientRect(AWindow, &client)) return;
  const int extraWidth = (outer.right - outer.left) - (client.right - client.left);
  const int extraHeight = (outer.bottom - outer.top) - (client.bottom - client.top);
  SetWindowPos(AWindow, nullptr, 0, 0, AWidth + extraWidth, AHeight + extraHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------------------------------------------
// Cursors

namespace {

struct TCursorState {
  std::atomic<int> BusyCount{0};
  TCursor Screen = crDefault;
  TCursor Restore = crDefault;
  // Loading a cursor costs the start-up about a millisecond under Wine; most are never shown in a session.
  struct TRegistered {
    std::wstring Name;
    ULONG_PTR IntId = 0;
    HCURSOR Handle = nullptr;
    LPCWSTR Resource() const { return IntId ? MAKEINTRESOURCEW(IntId) : Name.c_str(); }
  };
  std::map<TCursor, TRegistered> Registered;
};

TCursorState& Cursors() {
  static TCursorState state;
  return state;
}

void ShowScreenCursor(TCursor ACursor) {
  TCursorState& state = Cursors();
  const bool wasDefault = state.Screen == crDefault;
  state.Screen = ACursor;
  if (UserInterfaceHost) {
    UserInterfaceHost->ShowScreenCursor(ACursor);
  } else if (ACursor != crDefault) {
    SetCursor(GetCursorHandle(ACursor));
  } else if (!wasDefault) {
    // Moving the mouse onto its own place makes the window under it set its own cursor again.
    POINT point;
    if (GetCursorPos(&point)) SetCursorPos(point.x, point.y);
  }
}

}  // namespace

TCursor GetScreenCursor() { return Cursors().Screen; }

void SetScreenCursor(TCursor ACursor) {
  TCursorState& state = Cursors();
  if (state.BusyCount > 0)
    state.Restore = ACursor;
  else
    ShowScreenCursor(ACursor);
}

HCURSOR GetCursorHandle(TCursor ACursor) {
  if (UserInterfaceHost) return UserInterfaceHost->CursorHandle(ACursor);
  if (HCURSOR registered = RegisteredCursorHandle(ACursor)) return registered;
  LPCWSTR id;
  switch (ACursor) {
    case crCross:
      id = IDC_CROSS;
      break;
    case crIBeam:
      id = IDC_IBEAM;
      break;
    case crSizeNESW:
      id = IDC_SIZENESW;
      break;
    case crSizeNS:
      id = IDC_SIZENS;
      break;
    case crSizeNWSE:
      id = IDC_SIZENWSE;
      break;
    case crSizeWE:
      id = IDC_SIZEWE;
      break;
    case crHourGlass:
      id = IDC_WAIT;
      break;
    case crNo:
      id = IDC_NO;
      break;
    case crNoDrop:
      id = IDC_NO;
      break;
    case crNone:
      return nullptr;
    case crHandPoint:
      id = IDC_HAND;
      break;
    case crSizeAll:
      id = IDC_SIZEALL;
      break;
    default:
      id = IDC_ARROW;
      break;
  }
  return LoadCursorW(nullptr, id);
}

void LoadResourceCursor(TCursor AId, LPCWSTR AName) {
  if (!FindResourceW(GetModuleHandleW(nullptr), AName, RT_GROUP_CURSOR))
    throw EOSError(Format(u"Cannot load the cursor %d", {AId}), GetLastError());
  TCursorState::TRegistered entry;
  if (IS_INTRESOURCE(AName))
    entry.IntId = reinterpret_cast<ULONG_PTR>(AName);
  else
    entry.Name = AName;
  Cursors().Registered[AId] = std::move(entry);
}

HCURSOR RegisteredCursorHandle(TCursor AId) {
  TCursorState& state = Cursors();
  const auto found = state.Registered.find(AId);
  if (found == state.Registered.end()) return nullptr;
  TCursorState::TRegistered& entry = found->second;
  if (!entry.Handle) {
    entry.Handle = LoadCursorW(GetModuleHandleW(nullptr), entry.Resource());
    if (!entry.Handle) throw EOSError(Format(u"Cannot load the cursor %d", {AId}), GetLastError());
  }
  return entry.Handle;
}

void SetUserInterfaceHost(IUserInterfaceHost* AHost) { UserInterfaceHost = AHost; }

void BeginBusyCursor() {
  TCursorState& state = Cursors();
  if (++state.BusyCount == 1) {
    state.Restore = state.Screen;
    ShowScreenCursor(crHourGlass);
  }
}

void EndBusyCursor() {
  TCursorState& state = Cursors();
  if (state.BusyCount <= 0) throw EProgrammingError(u"EndBusyCursor without BeginBusyCursor");
  if (--state.BusyCount == 0) ShowScreenCursor(state.Restore);
}

bool IsBusyCursor() { return Cursors().BusyCount > 0; }

// ---------------------------------------------------------------------------------------------------------------
// Languages

namespace {

// The list of supported locales names each locale identifier once, with its default sort: the name-based list
// would add neutral names (a second "DEU" for "de"), custom locales that share one identifier 0x1000 and no
// "es-ES_tradnl", so Spanish 0x040A ("ESP") would be missing and "ESP" would name 0x0C0A instead.
struct TLocaleCollector {
  std::vector<TInstalledLanguage> List;
  std::exception_ptr Error;
};

// That enumeration's callback takes no context: the collector of the running call, on this thread.
thread_local TLocaleCollector* GLocaleCollector = nullptr;

BOOL CALLBACK CollectLocale(LPWSTR AIdentifier) {
  try {
    const LCID locale = static_cast<LCID>(wcstoul(AIdentifier, nullptr, 16));
    wchar_t abbreviation[16];
    if (locale != 0 && GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, abbreviation, 16))
      GLocaleCollector->List.push_back(TInstalledLanguage{LANGIDFROMLCID(locale), FromWide(abbreviation)});
    return TRUE;
  } catch (...) {
    GLocaleCollector->Error = std::current_exception();
    return FALSE;
  }
}

}  // namespace

std::vector<TInstalledLanguage> GetInstalledLanguages() {
  TLocaleCollector collector;
  GLocaleCollector = &collector;
  EnumSystemLocalesW(&CollectLocale, LCID_SUPPORTED);
  GLocaleCollector = nullptr;
  if (collector.Error) std::rethrow_exception(collector.Error);
  return std::move(collector.List);
}

bool FindLanguageLocale(std::u16string_view AAbbreviation, LANGID& ALangId) {
  for (const TInstalledLanguage& language : GetInstalledLanguages())
    if (language.Abbreviation == AAbbreviation) {
      ALangId = language.Id;
      return true;
    }
  return false;
}
