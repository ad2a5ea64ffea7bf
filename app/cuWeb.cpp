#include "app/cuWeb.h"

#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWebSupport.h"

#include <wininet.h>

#include <vector>

namespace {

constexpr DWORD TimeoutMs = 6000;
constexpr DWORD BlockSize = 4096;

// Closes a WinInet handle on every way out.
class TInternetHandle {
 public:
  explicit TInternetHandle(HINTERNET AHandle) : FHandle(AHandle) {}
  ~TInternetHandle() {
    if (FHandle) InternetCloseHandle(FHandle);
  }
  TInternetHandle(const TInternetHandle&) = delete;
  TInternetHandle& operator=(const TInternetHandle&) = delete;
  HINTERNET Get() const { return FHandle; }

 private:
  HINTERNET FHandle;
};

[[noreturn]] void RaiseInternetError(std::u16string_view APrefix) {
  const DWORD code = GetLastError();
  throw EOSError(std::u16string(APrefix) + u"\r\n" + SysErrorMessage(code), code);
}

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

void DownloadToStream(const std::u16string& AAddress, TStream& AStream) {
  TInternetHandle session(InternetOpenW(L"AppWeb", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session.Get()) RaiseInternetError(u"Unable to initialize WinInet.");
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    DWORD timeout = TimeoutMs;
    InternetSetOptionW(session.Get(), option, &timeout, sizeof(timeout));
  }
  // Never an answer from the cache, and none left in it: the file changes with every release.
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
  TInternetHandle request(InternetOpenUrlW(session.Get(), WStr(AAddress), nullptr, 0, flags, 0));
  if (!request.Get()) RaiseInternetError(u"Can't open URL: " + AAddress);
  char buffer[BlockSize];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.Get(), buffer, BlockSize, &read)) RaiseInternetError(u"Can't open URL: " + AAddress);
    if (read == 0) break;
    AStream.WriteBuffer(buffer, read);
  }
}

std::u16string DownloadAppInfo() {
  TMemoryStream stream;
  DownloadToStream(AppInfoAddress(), stream);
  return DecodeAppInfo(stream.Memory(), static_cast<size_t>(stream.Size()));
}

TWebCommands::TWebCommands(TIdentityReader AIdentity)
    : Browser([](const std::u16string& AAddress) { return OpenInDefaultBrowser(AAddress); }),
      MessageBox([](const std::u16string& AText, UINT AFlags) { return ShowMessageBox(AText, {}, AFlags); }),
      FIdentity(std::move(AIdentity)) {}

void TWebCommands::DownloadAndParse(TKnot& AInfo) { ParseAppInfo(AInfo, DownloadAppInfo()); }

void TWebCommands::OpenAddress(std::u16string_view AAddress, TKnot& AInfo, std::u16string_view ALanguage) {
  if (AAddress.empty()) throw Exception(NotFoundText());
  const std::u16string address = LocalizeWebAddress(AAddress, MapAppLangToWebLang(AInfo, ALanguage));
  if (IsBrowsableUrl(address)) Browser(address);
}

void TWebCommands::OpenApplicationPage(TKnot& AInfo, std::u16string_view AKey, std::u16string_view AAttribute,
                                       std::u16string_view ALanguage) {
  OpenAddress(ApplicationAttribute(AInfo, AKey, AAttribute), AInfo, ALanguage);
}

void TWebCommands::OpenWebPage(std::u16string_view AAttribute, std::u16string_view ALanguage) {
  TBusyCursor busy;
  TKnot info;
  DownloadAndParse(info);
  TProgramIdentity identity;
  if (!FIdentity || !FIdentity(identity)) return;
  OpenApplicationPage(info, ApplicationKey(identity.Product), AAttribute, ALanguage);
}

void TWebCommands::OpenWebResource(std::u16string_view ALanguage, std::u16string_view AAttribute) {
  TBusyCursor busy;
  TKnot info;
  DownloadAndParse(info);
  OpenAddress(ResourceAttribute(info, AAttribute), info, ALanguage);
}

void TWebCommands::CheckForUpdates(std::u16string_view ALanguage) {
  TKnot info;
  TProgramIdentity identity;
  std::u16string key;
  std::vector<std::u16string> versions;
  {
    TBusyCursor busy;
    DownloadAndParse(info);
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
