// The black-box tests' hands inside the Wine prefix: finds the program's windows, posts messages and commands,
// types by SendInput into the foreground window, reads window texts, probes the mutexes, atom and hot key the
// program holds, holds files locked, installs the file printer and measures a start. One command per run; the
// script side calls it many times (a run costs some 20 ms with a warm wineserver).
//
//   qbdriver windows                                  top-level windows: handle pid visible class "text"
//   qbdriver wait-window CLASS [MS]                   waits for a visible top-level window of CLASS, prints it
//   qbdriver wait-gone CLASS [MS]                     waits until no visible top-level window of CLASS is left
//   qbdriver boxes                                    message boxes and dialogs: "caption" then each child's text
//   qbdriver press CLASS BUTTON-ID                    clicks a button of the first dialog of CLASS (#32770)
//   qbdriver children CLASS                           every descendant of the window: class visible rect "text"
//   qbdriver foreground CLASS                         makes the window the foreground window and waits for it
//   qbdriver keys TOKEN...                            SendInput: "ctrl+s", "+ctrl" down, "-ctrl" up, "t:text",
//                                                     "sleep:MS"
//   qbdriver click X Y                                a left click at a screen point
//   qbdriver move X Y                                 the mouse moved to a screen point
//   qbdriver post CLASS MSG [WPARAM [LPARAM]]         PostMessageW to the window (MSG a number or WM_ name)
//   qbdriver send CLASS MSG [WPARAM [LPARAM]]         SendMessageTimeoutW, prints the result
//   qbdriver style CLASS                              "visible" or "hidden", then "topmost" when on top
//   qbdriver front                                    the class of the foreground window, then the classes of the
//                                                     visible top-level windows, top first
//   qbdriver idle CLASS                               a WM_NULL round trip: the window's thread has handled what
//                                                     came before
//   qbdriver settle CLASS [MS]                        waits until the window's process waits for input with none
//                                                     left to handle and nothing left to paint
//   qbdriver logoff CLASS                             WM_QUERYENDSESSION, then WM_ENDSESSION, to every top-level
//                                                     window of the window's process, then ends that process
//   qbdriver probe mutex|atom|hotkey NAME             prints "held" or "free"
//   qbdriver hold FILE RELEASE-FILE [MS]              opens FILE with no sharing until RELEASE-FILE exists
//   qbdriver places EXE                               version names of EXE and the user's folders, one a line
//   qbdriver install-printer NAME PORT                Wine's PostScript printer on PORT, made the default
//   qbdriver start-measure CLASS EXE [ARGS]           starts EXE; prints ms to its window of CLASS, ms to the
//                                                     first paint of it shown, and the peak working set in bytes
//   qbdriver save-measure CLASS FILE                  Ctrl+S into the foreground window; ms until FILE was
//                                                     replaced and the window's thread answers again
//   qbdriver close-wait CLASS [MS [COMMAND-ID]]       WM_CLOSE (or WM_COMMAND COMMAND-ID) to the window, then
//                                                     waits for its process to end
//   qbdriver peak CLASS                               the peak working set of the window's process in bytes
// Exit code 0 on success, 1 when a wait timed out or a window was missing, 2 on bad arguments.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <winspool.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/framework/PrinterTestSupport.h"

namespace {

void Out(const std::wstring& AText) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), bytes.data(), size, nullptr, nullptr);
  bytes += '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Fail(const std::wstring& AText, int ACode = 1) {
  Out(L"qbdriver: " + AText);
  return ACode;
}

std::wstring Hex(uintptr_t AValue) {
  wchar_t buffer[32];
  swprintf(buffer, 32, L"%llx", static_cast<unsigned long long>(AValue));
  return buffer;
}

std::wstring ClassOf(HWND AWindow) {
  wchar_t name[256] = {};
  GetClassNameW(AWindow, name, 256);
  return name;
}

std::wstring TextOf(HWND AWindow) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(AWindow, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(AWindow, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                      &copied);
  text.resize(copied);
  return text;
}

// Quotes and escapes a text so that one output line stays one line.
std::wstring Quoted(const std::wstring& AText) {
  std::wstring q = L"\"";
  for (wchar_t c : AText) {
    if (c == L'\r')
      q += L"\\r";
    else if (c == L'\n')
      q += L"\\n";
    else if (c == L'"' || c == L'\\')
      q += std::wstring(L"\\") + c;
    else
      q += c;
  }
  return q + L"\"";
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND AWindow, LPARAM AList) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(AList)->push_back(AWindow);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND FindVisible(const std::wstring& AClass) {
  for (HWND w : TopLevelWindows())
    if (IsWindowVisible(w) && ClassOf(w) == AClass) return w;
  return nullptr;
}

// Visible first, else any top-level window of the class (a program hidden in the notification area).
HWND FindAny(const std::wstring& AClass) {
  if (HWND w = FindVisible(AClass)) return w;
  return FindWindowW(AClass.c_str(), nullptr);
}

long ParseNumber(const std::wstring& AText) { return static_cast<long>(wcstoll(AText.c_str(), nullptr, 0)); }

// How long a wait for the program lasts before it is taken for a hang: far longer than a busy machine needs.
constexpr DWORD HangMs = 60000;

bool WaitFor(const std::function<bool()>& ACondition, DWORD ATimeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (ACondition()) return true;
    if (GetTickCount() - start >= ATimeoutMs) return false;
    Sleep(10);
  }
}

UINT MessageNumber(const std::wstring& AName) {
  static const std::map<std::wstring, UINT> names = {
      {L"WM_CLOSE", WM_CLOSE},           {L"WM_COMMAND", WM_COMMAND}, {L"WM_SYSCOMMAND", WM_SYSCOMMAND},
      {L"WM_HOTKEY", WM_HOTKEY},         {L"WM_NULL", WM_NULL},       {L"WM_QUERYENDSESSION", WM_QUERYENDSESSION},
      {L"WM_ENDSESSION", WM_ENDSESSION}, {L"WM_USER", WM_USER},
  };
  auto found = names.find(AName);
  return found != names.end() ? found->second : static_cast<UINT>(ParseNumber(AName));
}

// ---------------------------------------------------------------------------------------------------------------
// Input

struct TKeyName {
  const wchar_t* Name;
  WORD Key;
};
const TKeyName KeyNames[] = {
    {L"ctrl", VK_CONTROL}, {L"shift", VK_SHIFT}, {L"alt", VK_MENU},    {L"esc", VK_ESCAPE}, {L"enter", VK_RETURN},
    {L"tab", VK_TAB},      {L"space", VK_SPACE}, {L"back", VK_BACK},   {L"del", VK_DELETE}, {L"home", VK_HOME},
    {L"end", VK_END},      {L"left", VK_LEFT},   {L"right", VK_RIGHT}, {L"up", VK_UP},      {L"down", VK_DOWN},
    {L"f1", VK_F1},        {L"f3", VK_F3},       {L"f4", VK_F4},       {L"f5", VK_F5},
};

bool KeyOf(const std::wstring& AName, WORD& AKey) {
  for (const TKeyName& k : KeyNames)
    if (AName == k.Name) {
      AKey = k.Key;
      return true;
    }
  if (AName.size() == 1 && iswalnum(AName[0])) {
    AKey = static_cast<WORD>(towupper(AName[0]));
    return true;
  }
  return false;
}

INPUT KeyInput(WORD AKey, bool AUp) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = AKey;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(AKey, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = AUp ? KEYEVENTF_KEYUP : 0;
  if (AKey == VK_LEFT || AKey == VK_RIGHT || AKey == VK_UP || AKey == VK_DOWN || AKey == VK_HOME || AKey == VK_END ||
      AKey == VK_DELETE)
    input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  return input;
}

void Send(std::vector<INPUT> AInputs) {
  // One event at a time with a pause, as a typist gives them: the program's timers and merges see real gaps.
  for (INPUT& input : AInputs) {
    SendInput(1, &input, sizeof(INPUT));
    Sleep(15);
  }
}

// A character as its key with Shift when the layout has one, else as a Unicode packet.
void TypeText(const std::wstring& AText) {
  for (wchar_t c : AText) {
    std::vector<INPUT> inputs;
    const SHORT scan = c < 0x80 ? VkKeyScanW(c) : -1;
    if (scan != -1 && (HIBYTE(scan) & ~1) == 0) {
      const bool shift = HIBYTE(scan) & 1;
      if (shift) inputs.push_back(KeyInput(VK_SHIFT, false));
      inputs.push_back(KeyInput(LOBYTE(scan), false));
      inputs.push_back(KeyInput(LOBYTE(scan), true));
      if (shift) inputs.push_back(KeyInput(VK_SHIFT, true));
    } else {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE;
      inputs.push_back(input);
      input.ki.dwFlags |= KEYEVENTF_KEYUP;
      inputs.push_back(input);
    }
    Send(inputs);
  }
}

int Keys(int AArgc, wchar_t** AArgv) {
  for (int i = 0; i < AArgc; ++i) {
    const std::wstring token = AArgv[i];
    WORD key = 0;
    if (token.rfind(L"sleep:", 0) == 0) {
      Sleep(static_cast<DWORD>(ParseNumber(token.substr(6))));
    } else if (token.rfind(L"t:", 0) == 0) {
      TypeText(token.substr(2));
    } else if ((token[0] == L'+' || token[0] == L'-') && KeyOf(token.substr(1), key)) {
      Send({KeyInput(key, token[0] == L'-')});
    } else {
      // A chord: modifiers down in order, the last key pressed and released, modifiers up in reverse.
      std::vector<WORD> chord;
      size_t start = 0;
      for (;;) {
        const size_t plus = token.find(L'+', start);
        const std::wstring part = token.substr(start, plus == std::wstring::npos ? std::wstring::npos : plus - start);
        if (!KeyOf(part, key)) return Fail(L"unknown key " + part, 2);
        chord.push_back(key);
        if (plus == std::wstring::npos) break;
        start = plus + 1;
      }
      std::vector<INPUT> inputs;
      for (WORD k : chord) inputs.push_back(KeyInput(k, false));
      for (auto k = chord.rbegin(); k != chord.rend(); ++k) inputs.push_back(KeyInput(*k, true));
      Send(inputs);
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Windows

void ListChildren(HWND AParent, int ADepth) {
  for (HWND child = GetWindow(AParent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    wchar_t rect[96];
    swprintf(rect, 96, L"%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    Out(std::wstring(ADepth * 2, L' ') + ClassOf(child) + L" " + (IsWindowVisible(child) ? L"visible " : L"hidden ") +
        rect + L" " + Quoted(TextOf(child)));
    ListChildren(child, ADepth + 1);
  }
}

bool Foreground(HWND AWindow) {
  // Wine lets any process set the foreground; the thread input attach makes the focus follow on Windows too.
  const DWORD self = GetCurrentThreadId(), target = GetWindowThreadProcessId(AWindow, nullptr);
  AttachThreadInput(self, target, TRUE);
  SetForegroundWindow(AWindow);
  AttachThreadInput(self, target, FALSE);
  return WaitFor([&] { return GetForegroundWindow() == AWindow; }, HangMs);
}

bool Idle(HWND AWindow, DWORD ATimeoutMs = HangMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(AWindow, WM_NULL, 0, 0, SMTO_NORMAL, ATimeoutMs, &result) != 0;
}

int LogOff(HWND AWindow) {
  DWORD pid = 0;
  GetWindowThreadProcessId(AWindow, &pid);
  std::vector<HWND> windows;
  for (HWND w : TopLevelWindows()) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) windows.push_back(w);
  }
  bool agreed = true;
  for (HWND w : windows) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &answer);
    Out(L"query " + ClassOf(w) + L" " + std::to_wstring(answer));
    agreed = agreed && answer != 0;
  }
  for (HWND w : windows) {
    if (!IsWindow(w)) continue;
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(w, WM_ENDSESSION, agreed, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &answer);
    Out(L"end " + ClassOf(w));
  }
  // The system ends the process once its windows have had WM_ENDSESSION: whatever was not written by then is lost.
  if (agreed) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process) {
      TerminateProcess(process, 0);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }
  return agreed ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------------------------
// Probes and places

int Probe(const std::wstring& AKind, const std::wstring& AName) {
  bool held = false;
  if (AKind == L"mutex") {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, AName.c_str());
    held = mutex != nullptr;
    if (mutex) CloseHandle(mutex);
  } else if (AKind == L"atom") {
    held = GlobalFindAtomW(AName.c_str()) != 0;
  } else if (AKind == L"hotkey") {
    // Ctrl+Shift+E: a registration fails while another window holds it.
    held = !RegisterHotKey(nullptr, 0xB0B, MOD_CONTROL | MOD_SHIFT, 'E');
    if (!held) UnregisterHotKey(nullptr, 0xB0B);
  } else {
    return Fail(L"unknown probe " + AKind, 2);
  }
  Out(held ? L"held" : L"free");
  return 0;
}

std::wstring VersionString(const std::vector<BYTE>& ABlock, const wchar_t* AName) {
  struct TTranslation {
    WORD Language, CodePage;
  }* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(ABlock.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof(TTranslation))
    return {};
  wchar_t path[128];
  swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->Language, translation->CodePage, AName);
  wchar_t* value = nullptr;
  if (!VerQueryValueW(ABlock.data(), path, reinterpret_cast<void**>(&value), &size) || !value) return {};
  return value;
}

std::wstring Folder(int ACsidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, ACsidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

int Places(const std::wstring& AExe) {
  DWORD handle = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(AExe.c_str(), &handle));
  if (block.empty() || !GetFileVersionInfoW(AExe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
    block.assign(1, 0);
  Out(L"CompanyName=" + VersionString(block, L"CompanyName"));
  Out(L"ProductName=" + VersionString(block, L"ProductName"));
  Out(L"ProductVersion=" + VersionString(block, L"ProductVersion"));
  Out(L"LocalAppData=" + Folder(CSIDL_LOCAL_APPDATA));
  Out(L"Documents=" + Folder(CSIDL_PERSONAL));
  Out(L"Startup=" + Folder(CSIDL_STARTUP));
  return 0;
}

int InstallPrinter(const std::wstring& AName, const std::wstring& APort) {
  RemoveTestPrinter(AName.c_str());
  if (!InstallTestPrinter(AName.c_str())) return Fail(L"printer not installed: " + std::to_wstring(GetLastError()));
  // Moved from FILE: to the port the Wine spooler maps to a file, so jobs print with no question.
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(AName.c_str()), &printer, &access)) return Fail(L"printer not opened");
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  bool moved = GetPrinterW(printer, 2, info.data(), needed, &needed);
  if (moved) {
    auto* details = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
    details->pPortName = const_cast<wchar_t*>(APort.c_str());
    details->pSecurityDescriptor = nullptr;
    moved = SetPrinterW(printer, 2, info.data(), 0);
  }
  ClosePrinter(printer);
  if (!moved) return Fail(L"port not set: " + std::to_wstring(GetLastError()));
  Out(L"installed");
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Measures

SIZE_T PeakWorkingSet(HANDLE AProcess) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  return GetProcessMemoryInfo(AProcess, &counters, sizeof(counters)) ? counters.PeakWorkingSetSize : 0;
}

// Every window of the tree painted: none has an update region left.
bool Painted(HWND AWindow) {
  if (GetUpdateRect(AWindow, nullptr, FALSE)) return false;
  for (HWND child = GetWindow(AWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (IsWindowVisible(child) && !Painted(child)) return false;
  return true;
}

// The input sent so far handled and its repaints done: the process waits for input with none queued, its window
// answers and has nothing left to paint.
bool Settle(HWND AWindow, DWORD ATimeoutMs) {
  DWORD pid = 0;
  GetWindowThreadProcessId(AWindow, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!process) return false;
  const bool idle = WaitForInputIdle(process, ATimeoutMs) == 0;
  CloseHandle(process);
  return idle && Idle(AWindow, ATimeoutMs) && WaitFor([&] { return Painted(AWindow); }, ATimeoutMs);
}

double MsSince(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - AStart).count();
}

int StartMeasure(const std::wstring& AClass, int AArgc, wchar_t** AArgv) {
  std::wstring command;
  for (int i = 0; i < AArgc; ++i) command += (i ? L" \"" : L"\"") + std::wstring(AArgv[i]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const auto start = std::chrono::steady_clock::now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return Fail(L"not started: " + std::to_wstring(GetLastError()));
  HWND window = nullptr;
  double createdMs = -1;
  const bool shown = WaitFor(
      [&] {
        for (HWND w : TopLevelWindows()) {
          DWORD pid = 0;
          GetWindowThreadProcessId(w, &pid);
          if (pid != process.dwProcessId || ClassOf(w) != AClass) continue;
          if (createdMs < 0) createdMs = MsSince(start);
          if (IsWindowVisible(w)) window = w;
        }
        // The thread answers only once it has left its start-up work; then nothing is left to paint.
        return window && Idle(window) && Painted(window);
      },
      60000);
  const double ms = MsSince(start);
  if (!shown) return Fail(L"no painted window of class " + AClass);
  // The peak of the start, with the work the first idle moments bring.
  Sleep(500);
  wchar_t line[128];
  swprintf(line, 128, L"window-ms %.1f", createdMs);
  Out(line);
  swprintf(line, 128, L"first-paint-ms %.1f", ms);
  Out(line);
  Out(L"peak-working-set " + std::to_wstring(PeakWorkingSet(process.hProcess)));
  Out(L"pid " + std::to_wstring(process.dwProcessId));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

// The file's times, read without opening it: Wine refuses to replace a file that any process holds open, whatever
// the sharing, so a stamp read through a handle could make the very save it waits for fail.
bool FileStamp(const std::wstring& AFile, FILETIME& AWritten, FILETIME& ACreated) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(AFile.c_str(), GetFileExInfoStandard, &data)) return false;
  AWritten = data.ftLastWriteTime;
  ACreated = data.ftCreationTime;
  return true;
}

int SaveMeasure(HWND AWindow, const std::wstring& AFile) {
  FILETIME written{}, created{};
  FileStamp(AFile, written, created);
  if (!Foreground(AWindow)) return Fail(L"not in the foreground");
  const auto start = std::chrono::steady_clock::now();
  Send({KeyInput(VK_CONTROL, false), KeyInput('S', false), KeyInput('S', true), KeyInput(VK_CONTROL, true)});
  // A save writes a new file and renames it over the old one: either time tells.
  const bool saved = WaitFor(
      [&] {
        FILETIME nowWritten{}, nowCreated{};
        return FileStamp(AFile, nowWritten, nowCreated) &&
               (CompareFileTime(&nowWritten, &written) != 0 || CompareFileTime(&nowCreated, &created) != 0);
      },
      60000);
  Idle(AWindow, 60000);
  if (!saved) return Fail(L"the file was not written");
  wchar_t line[64];
  swprintf(line, 64, L"save-ms %.1f", MsSince(start));
  Out(line);
  return 0;
}

int Hold(const std::wstring& AFile, const std::wstring& ARelease, DWORD ATimeoutMs) {
  HANDLE file = CreateFileW(AFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(L"not opened: " + std::to_wstring(GetLastError()));
  Out(L"held");
  WaitFor([&] { return GetFileAttributesW(ARelease.c_str()) != INVALID_FILE_ATTRIBUTES; }, ATimeoutMs);
  CloseHandle(file);
  Out(L"released");
  return 0;
}

int Run(int AArgc, wchar_t** AArgv) {
  if (AArgc < 2) return Fail(L"no command", 2);
  const std::wstring command = AArgv[1];
  auto arg = [&](int AIndex) { return AIndex < AArgc ? std::wstring(AArgv[AIndex]) : std::wstring(); };
  auto number = [&](int AIndex, long ADefault) { return AIndex < AArgc ? ParseNumber(AArgv[AIndex]) : ADefault; };
  auto window = [&](HWND& AWindow) {
    AWindow = FindAny(arg(2));
    return AWindow != nullptr;
  };
  HWND target = nullptr;

  if (command == L"windows") {
    for (HWND w : TopLevelWindows()) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      Out(Hex(reinterpret_cast<uintptr_t>(w)) + L" " + std::to_wstring(pid) +
          (IsWindowVisible(w) ? L" visible " : L" hidden ") + ClassOf(w) + L" " + Quoted(TextOf(w)));
    }
    return 0;
  }
  if (command == L"wait-window") {
    if (!WaitFor([&] { return (target = FindVisible(arg(2))) != nullptr; }, number(3, HangMs)))
      return Fail(L"no window of class " + arg(2));
    Out(Hex(reinterpret_cast<uintptr_t>(target)));
    return 0;
  }
  if (command == L"wait-gone")
    return WaitFor([&] { return FindVisible(arg(2)) == nullptr; }, number(3, HangMs)) ? 0 : Fail(L"still there");
  if (command == L"boxes") {
    for (HWND w : TopLevelWindows()) {
      if (!IsWindowVisible(w) || ClassOf(w) != L"#32770") continue;
      Out(L"box " + Quoted(TextOf(w)));
      for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c))
          Out(L"  " + ClassOf(c) + L" " + std::to_wstring(GetDlgCtrlID(c)) + L" " + Quoted(TextOf(c)));
    }
    return 0;
  }
  if (command == L"press") {
    if (!(target = FindVisible(arg(2)))) return Fail(L"no window of class " + arg(2));
    HWND button = GetDlgItem(target, static_cast<int>(number(3, IDOK)));
    if (!button) return Fail(L"no button " + arg(3));
    PostMessageW(target, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return 0;
  }
  if (command == L"children") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    ListChildren(target, 0);
    return 0;
  }
  if (command == L"foreground") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    return Foreground(target) ? 0 : Fail(L"not in the foreground");
  }
  if (command == L"keys") return Keys(AArgc - 2, AArgv + 2);
  if (command == L"click") {
    // A left click at a point of the screen, as the mouse gives it.
    SetCursorPos(static_cast<int>(number(2, 0)), static_cast<int>(number(3, 0)));
    INPUT press{};
    press.type = INPUT_MOUSE;
    press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    INPUT release = press;
    release.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    Send({press, release});
    return 0;
  }
  if (command == L"move") {
    SetCursorPos(static_cast<int>(number(2, 0)), static_cast<int>(number(3, 0)));
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    Send({move});
    return 0;
  }
  if (command == L"settle") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    return Settle(target, static_cast<DWORD>(number(3, 60000))) ? 0 : Fail(L"not settled");
  }
  if (command == L"post" || command == L"send") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    const UINT message = MessageNumber(arg(3));
    const WPARAM w = static_cast<WPARAM>(number(4, 0));
    const LPARAM l = static_cast<LPARAM>(number(5, 0));
    if (command == L"post") return PostMessageW(target, message, w, l) ? 0 : Fail(L"not posted");
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(target, message, w, l, SMTO_NORMAL, 20000, &result)) return Fail(L"no answer");
    Out(std::to_wstring(result));
    return 0;
  }
  if (command == L"style") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    Out(std::wstring(IsWindowVisible(target) ? L"visible" : L"hidden") +
        ((GetWindowLongPtrW(target, GWL_EXSTYLE) & WS_EX_TOPMOST) ? L" topmost" : L""));
    return 0;
  }
  if (command == L"front") {
    HWND foreground = GetForegroundWindow();
    Out(foreground ? ClassOf(foreground) : L"(none)");
    // EnumWindows goes down the z-order from the top.
    for (HWND w : TopLevelWindows())
      if (IsWindowVisible(w)) Out(ClassOf(w));
    return 0;
  }
  if (command == L"idle") {
    // Found again on each try: the window may be re-created meanwhile (a change of its style).
    return WaitFor([&] { return window(target) && Idle(target); }, HangMs) ? 0 : Fail(L"no answer");
  }
  if (command == L"logoff") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    return LogOff(target);
  }
  if (command == L"probe") return Probe(arg(2), arg(3));
  if (command == L"hold") return Hold(arg(2), arg(3), static_cast<DWORD>(number(4, 120000)));
  if (command == L"places") return Places(arg(2));
  if (command == L"install-printer") return InstallPrinter(arg(2), arg(3));
  if (command == L"start-measure") return StartMeasure(arg(2), AArgc - 3, AArgv + 3);
  if (command == L"save-measure") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    return SaveMeasure(target, arg(3));
  }
  if (command == L"close-wait") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (AArgc > 4)
      PostMessageW(target, WM_COMMAND, static_cast<WPARAM>(number(4, 0)), 0);
    else
      PostMessageW(target, WM_CLOSE, 0, 0);
    const bool ended = process && WaitForSingleObject(process, static_cast<DWORD>(number(3, 30000))) == WAIT_OBJECT_0;
    if (process) CloseHandle(process);
    return ended ? 0 : Fail(L"the process did not end");
  }
  if (command == L"peak") {
    if (!window(target)) return Fail(L"no window of class " + arg(2));
    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    Out(std::to_wstring(process ? PeakWorkingSet(process) : 0));
    if (process) CloseHandle(process);
    return 0;
  }
  return Fail(L"unknown command " + command, 2);
}

}  // namespace

int wmain(int AArgc, wchar_t** AArgv) { return Run(AArgc, AArgv); }
