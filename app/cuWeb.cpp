#include "app/cuWeb.h"

#include "document/text/diTextorElement.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWebSupport.h"
#include "framework/fwApplication.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr DWORD BlockSize = 4096;

struct TCloseKernelHandle {
  void operator()(HANDLE AHandle) const { CloseHandle(AHandle); }
};
using TKernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, TCloseKernelHandle>;

// One download, shared by the thread that waits for it, the worker thread that fetches it and, once given up, the
// thread that closes its handles: whichever lets go last frees it, so the worker owns everything it touches. The
// worker fetches the bytes and nothing else. The waiting thread gives up at the deadline or at the program's end
// and goes on without the worker, whose result is dropped. Giving up closes the WinInet handles, which ends a
// blocked call on Windows. Wine ends none that way:
// its worker ends when the server stops or a connection's time-out (what was left of the deadline) passes between
// two bytes, which a server trickling its status line or headers never lets happen.
class TDownload {
 public:
  // The download with its worker running.
  static std::shared_ptr<TDownload> Start(std::u16string AAddress, unsigned ATimeoutMs) {
    auto download = std::shared_ptr<TDownload>(new TDownload(std::move(AAddress), ATimeoutMs));
    std::thread([download] { download->Run(); }).detach();
    return download;
  }
  TDownload(const TDownload&) = delete;
  TDownload& operator=(const TDownload&) = delete;

  TClock::time_point Deadline() const { return FDeadline; }
  // Set when the worker has ended: what it left may be read from then on.
  HANDLE Finished() const { return FFinished.get(); }
  bool HasFinished() const { return WaitForSingleObject(FFinished.get(), 0) == WAIT_OBJECT_0; }
  void Cancel() {
    std::lock_guard lock(FMutex);
    FCancelled = true;
    CloseHandles();
  }

  // What the worker left: the bytes, or the failure and whether WinInet started at all.
  const std::string& Bytes() const { return FBytes; }
  DWORD Error() const { return FError; }
  bool Started() const { return FStarted; }

 private:
  TDownload(std::u16string AAddress, unsigned ATimeoutMs)
      : FAddress(std::move(AAddress)),
        FTimeoutMs(ATimeoutMs),
        FDeadline(TClock::now() + std::chrono::milliseconds(ATimeoutMs)),
        FFinished(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!FFinished) {
      const DWORD error = GetLastError();
      throw EOSError(SysErrorMessage(error), error);
    }
  }

  void Run() noexcept {
    try {
      FError = Fetch();
    } catch (...) {
      FError = ERROR_NOT_ENOUGH_MEMORY;  // only the growing buffer can throw
    }
    if (FError != ERROR_SUCCESS && TClock::now() >= FDeadline) FError = ERROR_INTERNET_TIMEOUT;
    {
      std::lock_guard lock(FMutex);
      CloseHandles();
    }
    SetEvent(FFinished.get());
  }

  DWORD Fetch() {
    const HINTERNET session =
        Keep(FSession, InternetOpenW(L"AppWeb", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return GetLastError();
    FStarted = true;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
      DWORD timeout = FTimeoutMs;
      InternetSetOptionW(session, option, &timeout, sizeof(timeout));
    }
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(WStr(FAddress), 0, 0, &parts)) return GetLastError();
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    const std::u16string host = FromWide(parts.lpszHostName, parts.dwHostNameLength);
    const std::u16string path = FromWide(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                FromWide(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const HINTERNET connection = Keep(FConnection, InternetConnectW(session, WStr(host), parts.nPort, nullptr,
                                                                    nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return GetLastError();
    if (!LimitCalls(connection, {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                 INTERNET_OPTION_RECEIVE_TIMEOUT}))
      return ERROR_INTERNET_TIMEOUT;
    // Never an answer from the cache, and none left in it: the file changes with every release.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    const HINTERNET request =
        Keep(FRequest, HttpOpenRequestW(connection, L"GET", WStr(path), nullptr, nullptr, nullptr, flags, 0));
    if (!request) return GetLastError();
    if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return GetLastError();
    for (;;) {
      if (!LimitCalls(request, {INTERNET_OPTION_RECEIVE_TIMEOUT})) return ERROR_INTERNET_TIMEOUT;
      // Only what has arrived is read: a full block would wait for a trickling server's every byte.
      DWORD available = 0;
      if (!InternetQueryDataAvailable(request, &available, 0, 0)) return GetLastError();
      char buffer[BlockSize];
      DWORD read = 0;
      if (available > 0 && !InternetReadFile(request, buffer, std::min(available, BlockSize), &read))
        return GetLastError();
      if (read == 0) return Whole(request) ? ERROR_SUCCESS : ERROR_INTERNET_CONNECTION_ABORTED;
      FBytes.append(buffer, read);
      if (FBytes.size() > MaxDownloadSize) return ERROR_INVALID_DATA;
    }
  }

  // False when the server announced more bytes than came before it closed the connection.
  bool Whole(HINTERNET ARequest) const {
    DWORD announced = 0;
    DWORD size = sizeof(announced);
    return !HttpQueryInfoW(ARequest, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size, nullptr) ||
           FBytes.size() >= announced;
  }

  // Gives AHandle's blocking calls what is left of the deadline; false when nothing is left or the download was
  // cancelled.
  bool LimitCalls(HINTERNET AHandle, std::initializer_list<DWORD> AOptions) const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(FDeadline - TClock::now()).count();
    if (left <= 0 || FCancelled) return false;
    for (DWORD option : AOptions) {
      DWORD timeout = static_cast<DWORD>(left);
      InternetSetOptionW(AHandle, option, &timeout, sizeof(timeout));
    }
    return true;
  }

  // Leaves a new handle for a cancel to close; one that comes after the cancel is closed at once. The last error
  // stays as the call left it.
  HINTERNET Keep(HINTERNET& ASlot, HINTERNET AHandle) {
    const DWORD error = GetLastError();
    std::lock_guard lock(FMutex);
    if (AHandle && FCancelled) {
      InternetCloseHandle(AHandle);
      AHandle = nullptr;
    }
    ASlot = AHandle;
    SetLastError(error);
    return AHandle;
  }

  // Under FMutex. After a cancel the worker may still call WinInet with a handle closed here; it fails.
  void CloseHandles() {
    for (HINTERNET* slot : {&FRequest, &FConnection, &FSession}) {
      if (*slot) InternetCloseHandle(*slot);
      *slot = nullptr;
    }
  }

  const std::u16string FAddress;
  const DWORD FTimeoutMs;
  const TClock::time_point FDeadline;
  TKernelHandle FFinished;
  std::mutex FMutex;
  std::atomic<bool> FCancelled = false;
  HINTERNET FSession = nullptr;
  HINTERNET FConnection = nullptr;
  HINTERNET FRequest = nullptr;
  std::string FBytes;
  DWORD FError = ERROR_SUCCESS;
  bool FStarted = false;
};

// Handles the messages waiting for this thread; false once the program has been asked to end (the quit stays for
// the program's loop).
bool ServeMessages() {
  if (Application) {
    Application->ProcessMessages();
    return !Application->Terminated();
  }
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

// Set while a download is waited for: a command served meanwhile starts no second one.
std::atomic<bool> DownloadWaiting = false;

struct TDownloadWaitingScope {
  ~TDownloadWaitingScope() { DownloadWaiting = false; }
};

std::u16string NotFoundText() {
  return FormatLocStrOr(IdWebInfoNotFound, u"The information about the program is not found on the website", {});
}

}  // namespace

std::u16string UpdateServer() {
  std::u16string server(DefaultUpdateServer);
  const DWORD size = GetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), nullptr, 0);
  if (size > 1) {
    std::vector<wchar_t> value(size);
    const DWORD length = GetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), value.data(), size);
    if (length > 0 && length < size) server = FromWide(value.data(), length);
  }
  if (server.back() != u'/') server += u'/';
  return server;
}

std::u16string AppInfoAddress() { return UpdateServer() + u"appinfo.xml"; }

std::u16string BrowserNotStartedText(std::u16string_view AAddress) {
  return FormatLocStrOr(IdLinkNotStarted, u"The link \"%1\" could not be opened: no web browser was started.",
                        {AAddress});
}

bool DownloadToStream(const std::u16string& AAddress, TStream& AStream, unsigned ATimeoutMs) {
  if (DownloadWaiting.exchange(true)) return false;
  const TDownloadWaitingScope waiting;
  const std::shared_ptr<TDownload> download = TDownload::Start(AAddress, ATimeoutMs);
  const HANDLE finished = download->Finished();
  bool ending = false;
  for (;;) {
    ending = !ServeMessages();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(download->Deadline() - TClock::now()).count();
    if (ending || left <= 0) break;
    if (MsgWaitForMultipleObjectsEx(1, &finished, static_cast<DWORD>(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
        WAIT_OBJECT_0)
      break;
  }
  const bool done = download->HasFinished();
  // Under Wine closing a handle that a blocked call holds can wait for that call, as long as a server keeps it
  // busy: the window's thread leaves the closing to a thread of its own.
  if (!done) std::thread([download] { download->Cancel(); }).detach();
  if (ending) return false;
  const DWORD error = done ? download->Error() : ERROR_INTERNET_TIMEOUT;
  if (error != ERROR_SUCCESS) {
    // What the worker left is read only once it has ended.
    const std::u16string prefix =
        !done || download->Started() ? u"Can't open URL: " + AAddress : u"Unable to initialize WinInet.";
    throw EOSError(prefix + u"\r\n" + SysErrorMessage(error), error);
  }
  AStream.WriteBytes(download->Bytes());
  return true;
}

std::optional<std::u16string> DownloadAppInfo(unsigned ATimeoutMs) {
  TMemoryStream stream;
  if (!DownloadToStream(AppInfoAddress(), stream, ATimeoutMs)) return std::nullopt;
  return DecodeAppInfo(stream.Memory(), static_cast<size_t>(stream.Size()));
}

TWebCommands::TWebCommands(TIdentityReader AIdentity)
    : Browser([](const std::u16string& AAddress) { return OpenInDefaultBrowser(AAddress); }),
      MessageBox([](const std::u16string& AText, UINT AFlags) { return ShowMessageBox(AText, {}, AFlags); }),
      FIdentity(std::move(AIdentity)) {}

bool TWebCommands::DownloadAndParse(TKnot& AInfo) {
  const std::optional<std::u16string> text = DownloadAppInfo(TimeoutMs);
  if (text) ParseAppInfo(AInfo, *text);
  return text.has_value();
}

void TWebCommands::OpenAddress(std::u16string_view AAddress, TKnot& AInfo, std::u16string_view ALanguage) {
  // An address the browser must not get is, to the user, no address at all: the same message tells it.
  const std::u16string address = LocalizeWebAddress(AAddress, MapAppLangToWebLang(AInfo, ALanguage));
  if (!IsBrowsableUrl(address)) throw Exception(NotFoundText());
  if (!Browser(address)) MessageBox(BrowserNotStartedText(address), MB_OK | MB_ICONWARNING);
}

void TWebCommands::OpenApplicationPage(TKnot& AInfo, std::u16string_view AKey, std::u16string_view AAttribute,
                                       std::u16string_view ALanguage) {
  OpenAddress(ApplicationAttribute(AInfo, AKey, AAttribute), AInfo, ALanguage);
}

void TWebCommands::OpenWebPage(std::u16string_view AAttribute, std::u16string_view ALanguage) {
  TBusyCursor busy;
  TKnot info;
  if (!DownloadAndParse(info)) return;
  TProgramIdentity identity;
  if (!FIdentity || !FIdentity(identity)) return;
  OpenApplicationPage(info, ApplicationKey(identity.Product), AAttribute, ALanguage);
}

void TWebCommands::OpenWebResource(std::u16string_view ALanguage, std::u16string_view AAttribute) {
  TBusyCursor busy;
  TKnot info;
  if (!DownloadAndParse(info)) return;
  OpenAddress(ResourceAttribute(info, AAttribute), info, ALanguage);
}

void TWebCommands::CheckForUpdates(std::u16string_view ALanguage) {
  TKnot info;
  TProgramIdentity identity;
  std::u16string key;
  std::vector<std::u16string> versions;
  {
    TBusyCursor busy;
    if (!DownloadAndParse(info)) return;
    if (!FIdentity || !FIdentity(identity)) return;
    key = ApplicationKey(identity.Product);
    versions = SplitVersionList(ApplicationAttribute(info, key, u"ActualVersions"));
  }
  if (versions.empty()) throw Exception(NotFoundText());
  if (IsCurrentVersion(versions, identity.Version)) {
    MessageBox(FormatLocStrOr(IdWebLatestVersion, u"Excellent! You have the latest version of the program", {}),
               MB_OK | MB_ICONINFORMATION);
    return;
  }
  const std::u16string text =
      FormatLocStrOr(IdWebNewerVersion,
                     u"The newer version of the program is available: %1. You currently use the version: %2.\r\n\r\n"
                     u"Press OK to go on the program download page",
                     {JoinVersionList(versions), identity.Version});
  if (MessageBox(text, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK)
    OpenApplicationPage(info, key, u"DownloadPage", ALanguage);
}
