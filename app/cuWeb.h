// The Help menu's web pages and the update check: the application-information file is downloaded from the
// update server every time, and the page addresses and current versions are taken from it.
#pragma once

#include "foundation/cuStreams.h"
#include "foundation/cuWin32.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class TKnot;

// The update server's base address. The environment variable below, when set and not empty, replaces it (the
// black-box tests point it at a loopback server); a missing trailing "/" is added.
constexpr std::u16string_view DefaultUpdateServer = u"https://quillbox.orrenwickstudios.com/";
constexpr std::u16string_view UpdateServerVariable = u"QUILLBOX_UPDATE_SERVER";
std::u16string UpdateServer();
// The update server's "appinfo.xml".
std::u16string AppInfoAddress();

// The time a whole download has, from its start to its last byte, and the most it reads: the information file is
// a few kilobytes.
constexpr unsigned DownloadTimeoutMs = 6000;
constexpr size_t MaxDownloadSize = 1 << 20;

// An HTTP GET of AAddress, always from the server, into AStream. The bytes are fetched on a worker thread while
// this thread goes on serving its messages; the answer must come whole (as long as it announced) within
// ATimeoutMs and hold at most MaxDownloadSize bytes. At the deadline this thread goes on at once, leaving the
// worker to end on its own. Raises EOSError "Unable to initialize WinInet." or "Can't open URL: " + the address,
// each followed by CR LF and the system's text (a time-out's, an aborted connection's for an answer cut short, or
// invalid data's for one too long). False, with nothing written, when the program was asked to end meanwhile (the
// download is dropped and the quit is left to the program's loop), and at once while another download is waited
// for: one request at a time, so a command served during a download starts none.
bool DownloadToStream(const std::u16string& AAddress, TStream& AStream, unsigned ATimeoutMs = DownloadTimeoutMs);
// The application-information file as text (see DecodeAppInfo); nothing when the program is ending.
std::optional<std::u16string> DownloadAppInfo(unsigned ATimeoutMs = DownloadTimeoutMs);

// What the user is told when no browser could be started for AAddress, as for a link in the text.
std::u16string BrowserNotStartedText(std::u16string_view AAddress);

// What the running program's version block says.
struct TProgramIdentity {
  std::u16string Company;
  std::u16string Product;
  std::u16string Version;
};

// The commands. Every one downloads the file anew under the busy cursor; failures raise, to reach the
// application's error report. A command whose download the program's end interrupts does nothing more, and one
// served while another's download is waited for does nothing at all.
class TWebCommands {
 public:
  // Fills the identity; false when the version block could not be read.
  using TIdentityReader = std::function<bool(TProgramIdentity&)>;
  // Gets only addresses that passed IsBrowsableUrl; true when a browser was started, else the user is told.
  using TBrowser = std::function<bool(const std::u16string& AAddress)>;
  using TMessageBox = std::function<int(const std::u16string& AText, UINT AFlags)>;

  explicit TWebCommands(TIdentityReader AIdentity);

  // Seams: the default web browser and the program's message box unless replaced.
  TBrowser Browser;
  TMessageBox MessageBox;
  // The time each download has (the tests shorten it).
  unsigned TimeoutMs = DownloadTimeoutMs;

  // AAttribute of "Applications"/AKey, localized for ALanguage (a program language such as "ENU") and opened.
  // Raises message 2055 when the address is missing or unsafe; only a safe one is opened.
  void OpenApplicationPage(TKnot& AInfo, std::u16string_view AKey, std::u16string_view AAttribute,
                           std::u16string_view ALanguage);
  // Nothing after the download when the identity cannot be read.
  void OpenWebPage(std::u16string_view AAttribute, std::u16string_view ALanguage);
  void OpenOnlineHelpPage(std::u16string_view ALanguage) { OpenWebPage(u"OnlineHelpPage", ALanguage); }
  void OpenHomePage(std::u16string_view ALanguage) { OpenWebPage(u"HomePage", ALanguage); }
  void OpenCommunityPage(std::u16string_view ALanguage) { OpenWebPage(u"CommunityPage", ALanguage); }
  void OpenForumPage(std::u16string_view ALanguage) { OpenWebPage(u"ForumPage", ALanguage); }
  // AAttribute of "Resources" ("ThemesPage"), localized and opened.
  void OpenWebResource(std::u16string_view ALanguage, std::u16string_view AAttribute);
  // Message 2057 when the running version is listed as current, else 2056 with OK going to "DownloadPage".
  void CheckForUpdates(std::u16string_view ALanguage);

 private:
  // False when the program is ending.
  bool DownloadAndParse(TKnot& AInfo);
  void OpenAddress(std::u16string_view AAddress, TKnot& AInfo, std::u16string_view ALanguage);

  TIdentityReader FIdentity;
};
