// The update check and the web pages against a loopback HTTP server on a thread of the test: what is asked of the
// server, how its answers are read, and what reaches the browser and the message box.
#include <gtest/gtest.h>

#include "foundation/cuWin32.h"

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cuWeb.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuWebSupport.h"
#include "framework/fwApplication.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

// How the server's answer goes out: at once, one byte every TrickleMs, or never (the request is read and left
// unanswered).
enum class TManner { Whole, Trickle, Silent };

// Answers every connection with one configured response and keeps the requests it read. A slow answer goes on
// until the client leaves, the server stops or GuardMs pass: a download that never gives up fails its test
// instead of hanging it.
class TLoopbackServer {
 public:
  static constexpr int TrickleMs = 100;
  static constexpr int GuardMs = HangMs;

  TLoopbackServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    listen(FListener, 8);
    FThread = std::thread([this] { Serve(); });
  }
  ~TLoopbackServer() {
    FStopping = true;
    closesocket(FListener);
    FThread.join();
    WSACleanup();
  }

  int Port() const { return FPort; }
  std::u16string Base() const { return u"http://127.0.0.1:" + IntToStr(FPort) + u"/"; }
  void Answer(int AStatus, std::string ABody, TManner AManner = TManner::Whole) {
    std::lock_guard lock(FMutex);
    FStatus = AStatus;
    FBody = std::move(ABody);
    FManner = AManner;
  }
  std::vector<std::string> Requests() {
    std::lock_guard lock(FMutex);
    return FRequests;
  }

 private:
  void Serve() {
    for (;;) {
      SOCKET client = accept(FListener, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        request.append(buffer, n);
      }
      std::string head;
      std::string body;
      TManner manner;
      {
        std::lock_guard lock(FMutex);
        FRequests.push_back(request);
        head = "HTTP/1.1 " + std::to_string(FStatus) + (FStatus == 200 ? " OK" : " Not Found") +
               "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(FBody.size()) +
               "\r\nConnection: close\r\n\r\n";
        body = FBody;
        manner = FManner;
      }
      if (manner == TManner::Whole) {
        const std::string response = head + body;
        send(client, response.data(), static_cast<int>(response.size()), 0);
        shutdown(client, SD_SEND);
        while (recv(client, buffer, sizeof(buffer), 0) > 0) {
        }
      } else {
        const auto guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(GuardMs);
        if (manner == TManner::Trickle) send(client, head.data(), static_cast<int>(head.size()), 0);
        for (size_t sent = 0; ClientStays(client, guard);)
          if (manner == TManner::Trickle && sent < body.size() && send(client, &body[sent++], 1, 0) != 1) break;
      }
      closesocket(client);
    }
  }

  // Waits TrickleMs; false once the client has left, the server stops or the guard has passed.
  bool ClientStays(SOCKET AClient, std::chrono::steady_clock::time_point AGuard) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(AClient, &readable);
    timeval wait{0, TrickleMs * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) > 0) {
      char buffer[256];
      if (recv(AClient, buffer, sizeof(buffer), 0) <= 0) return false;
    }
    return !FStopping && std::chrono::steady_clock::now() < AGuard;
  }

  SOCKET FListener;
  int FPort = 0;
  std::thread FThread;
  std::atomic<bool> FStopping = false;
  std::mutex FMutex;
  int FStatus = 200;
  std::string FBody;
  TManner FManner = TManner::Whole;
  std::vector<std::string> FRequests;
};

// Once AAsking holds, asks a window of the constructing thread from another thread, question after question, to
// answer WM_NULL, and counts the answers that thread gave: one that serves its messages while it waits answers
// them during the wait.
class TResponsivenessProbe {
 public:
  explicit TResponsivenessProbe(std::function<bool()> AAsking)
      : FWindow(CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)),
        FAsking(std::move(AAsking)) {
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FStatic = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TResponsivenessProbe::Answer)));
    FThread = std::thread([this] { Ask(); });
  }
  ~TResponsivenessProbe() {
    Stop();
    DestroyWindow(FWindow);
  }

  // Ends the questions, serving this thread's messages until the last one is answered.
  void Stop() {
    if (!FThread.joinable()) return;
    FStopping = true;
    PumpUntil([this] { return FDone.load(); });
    FThread.join();
  }
  int Answered() const { return FAnswered; }

 private:
  static LRESULT CALLBACK Answer(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
    auto* probe = reinterpret_cast<TResponsivenessProbe*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
    if (AMessage == WM_NULL) ++probe->FAnswered;
    return CallWindowProcW(probe->FStatic, AWindow, AMessage, AWParam, ALParam);
  }
  void Ask() {
    while (!FStopping && !FAsking()) Sleep(1);
    while (!FStopping) {
      SendMessageW(FWindow, WM_NULL, 0, 0);
      Sleep(20);
    }
    FDone = true;
  }

  HWND FWindow;
  WNDPROC FStatic = nullptr;
  std::function<bool()> FAsking;
  std::atomic<bool> FStopping = false;
  std::atomic<bool> FDone = false;
  int FAnswered = 0;  // on the window's thread
  std::thread FThread;
};

const char* const AppInfoText =
    "<AppInfo>\r\n"
    "  <Applications>\r\n"
    "    <QuillBox ActualVersions=\"1.0.4, &quot;1.1,beta&quot;,  1.0.5-RC \" "
    "DownloadPage=\"http://q.example/%lang%/get\""
    " OnlineHelpPage=\"http://q.example/%lang%/help/%lang%.html\" HomePage=\"http://q.example/\xC4\""
    " CommunityPage=\"http://q.example/a b\" ForumPage=\"http://q.example/&quot;x\"/>\r\n"
    "  </Applications>\r\n"
    "  <Resources ThemesPage=\"https://q.example/themes/%lang%\"/>\r\n"
    "  <AppLangToWebLang DefaultWebLang=\"xx\">\r\n"
    "    <Map AppLang=\"ENU\" WebLang=\"en\"/>\r\n"
    "    <Map AppLang=\"DEU\" WebLang=\"de\"/>\r\n"
    "  </AppLangToWebLang>\r\n"
    "</AppInfo>\r\n";

class WebTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), WStr(Server.Base()));
    Server.Answer(200, AppInfoText);
    Commands.Browser = [this](const std::u16string& AAddress) {
      Opened.push_back(AAddress);
      return true;
    };
    Commands.MessageBox = [this](const std::u16string& AText, UINT AFlags) {
      Messages.push_back(AText);
      Flags.push_back(AFlags);
      return Button;
    };
  }
  void TearDown() override { SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), nullptr); }

  std::u16string ErrorOf(const std::function<void()>& ACommand) {
    try {
      ACommand();
    } catch (const Exception& e) {
      return e.Message();
    }
    return u"(none)";
  }

  TLoopbackServer Server;
  TProgramIdentity Identity{u"OrrenwickStudios", u"Quill Box", u"1.0.5-rc"};
  TWebCommands Commands{[this](TProgramIdentity& AIdentity) {
    AIdentity = Identity;
    return true;
  }};
  std::vector<std::u16string> Opened;
  std::vector<std::u16string> Messages;
  std::vector<UINT> Flags;
  int Button = IDCANCEL;
};

TEST_F(WebTest, EveryCommandAsksTheServerAgainAsAppWeb) {
  EXPECT_EQ(UpdateServer(), Server.Base());
  Commands.OpenOnlineHelpPage(u"ENU");
  Commands.OpenOnlineHelpPage(u"ENU");
  Commands.CheckForUpdates(u"ENU");
  const std::vector<std::string> requests = Server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (const std::string& request : requests) {
    EXPECT_EQ(request.rfind("GET /appinfo.xml HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: AppWeb\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("no-cache"), std::string::npos) << request;
  }
}

TEST_F(WebTest, WithoutTheVariableTheServerIsTheHttpsConstant) {
  SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), nullptr);
  EXPECT_EQ(UpdateServer(), DefaultUpdateServer);
  EXPECT_EQ(AppInfoAddress().rfind(u"https://", 0), 0u);
  SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), L"http://127.0.0.1:1");
  EXPECT_EQ(AppInfoAddress(), u"http://127.0.0.1:1/appinfo.xml");
}

TEST_F(WebTest, LangIsReplacedEverywhereAndAnUnmappedLanguageTakesTheDefault) {
  Commands.OpenOnlineHelpPage(u"ENU");
  Commands.OpenOnlineHelpPage(u"FRA");
  Commands.OpenWebResource(u"DEU", u"ThemesPage");
  EXPECT_EQ(Opened, (std::vector<std::u16string>{u"http://q.example/en/help/en.html",
                                                 u"http://q.example/xx/help/xx.html", u"https://q.example/themes/de"}));
}

TEST_F(WebTest, AFileWithAUtf8MarkIsReadAsUtf8AndOneWithoutAsAnsi) {
  // The home page ends in the byte C4: "Ä" in the ANSI code page; after a mark, UTF-8 "Ä" is C3 84.
  Commands.OpenHomePage(u"ENU");
  std::string marked = std::string("\xEF\xBB\xBF") + AppInfoText;
  marked.replace(marked.find('\xC4'), 1, "\xC3\x84");
  Server.Answer(200, marked);
  Commands.OpenHomePage(u"ENU");
  EXPECT_EQ(Opened, (std::vector<std::u16string>{u"http://q.example/\u00C4", u"http://q.example/\u00C4"}));
}

TEST_F(WebTest, VersionsCompareTrimmedIgnoringCaseAndAQuotedCommaStaysInItsEntry) {
  Commands.CheckForUpdates(u"ENU");
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], u"Excellent! You have the latest version of the program");
  EXPECT_EQ(Flags[0], UINT(MB_OK | MB_ICONINFORMATION));

  Identity.Version = u"1.0.3";
  Commands.CheckForUpdates(u"ENU");
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages[1],
            u"The newer version of the program is available: 1.0.4, 1.1,beta, 1.0.5-RC. You currently use the version: "
            u"1.0.3.\r\n\r\nPress OK to go on the program download page");
  EXPECT_EQ(Flags[1], UINT(MB_OKCANCEL | MB_ICONINFORMATION));
  EXPECT_TRUE(Opened.empty());
  Button = IDOK;
  Commands.CheckForUpdates(u"DEU");
  EXPECT_EQ(Opened, (std::vector<std::u16string>{u"http://q.example/de/get"}));
}

TEST_F(WebTest, AMissingEntryOrA404PageGivesTheNotFoundMessage) {
  const std::u16string notFound = u"The information about the program is not found on the website";
  Identity.Product = u"Other Program";
  EXPECT_EQ(ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); }), notFound);
  EXPECT_EQ(ErrorOf([&] { Commands.OpenForumPage(u"ENU"); }), notFound);
  Identity.Product = u"Quill Box";
  Server.Answer(404, "<html><body>Not found</body></html>");
  EXPECT_EQ(ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); }), notFound);
  EXPECT_EQ(ErrorOf([&] { Commands.OpenOnlineHelpPage(u"ENU"); }), notFound);
  EXPECT_EQ(ErrorOf([&] { Commands.OpenWebResource(u"ENU", u"ThemesPage"); }), notFound);
  EXPECT_TRUE(Opened.empty());
  EXPECT_TRUE(Messages.empty());
}

TEST_F(WebTest, AClosedPortGivesTheAddressAndWinInetsText) {
  const std::u16string address = u"http://127.0.0.1:1/appinfo.xml";
  SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), L"http://127.0.0.1:1/");
  const std::u16string error = ErrorOf([&] { Commands.OpenHomePage(u"ENU"); });
  const std::u16string prefix = u"Can't open URL: " + address + u"\r\n";
  ASSERT_EQ(error.rfind(prefix, 0), 0u) << std::string(error.begin(), error.end());
  EXPECT_GT(error.size(), prefix.size());
  TMemoryStream stream;
  EXPECT_THROW(DownloadToStream(address, stream), EOSError);
  EXPECT_EQ(stream.Size(), 0);
}

TEST_F(WebTest, ATrickledOversizeOrSilentAnswerEndsAtTheDeadlineWithOneReportWhileTheThreadAnswersMessages) {
  using namespace std::chrono;
  constexpr unsigned deadline = 1500;
  struct TCase {
    const char* Name;
    TManner Manner;
    std::string Body;
    bool RunsToDeadline;
  };
  const TCase cases[] = {
      {"trickle", TManner::Trickle, std::string(100000, 'x'), true},
      {"oversize", TManner::Whole, std::string(MaxDownloadSize + 1, 'x'), false},
      {"silent", TManner::Silent, "", true},
  };
  const std::u16string prefix = u"Can't open URL: " + Server.Base() + u"appinfo.xml\r\n";
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Server.Answer(200, c.Body, c.Manner);
    // The oversize answer has all the time a busy machine needs: it ends by its size.
    Commands.TimeoutMs = c.RunsToDeadline ? deadline : HangMs;
    // Asked while the download waits for the server's answer.
    const size_t asked = Server.Requests().size();
    TResponsivenessProbe probe([&] { return Server.Requests().size() > asked; });
    const auto start = steady_clock::now();
    const std::u16string error = ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); });
    const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
    const int answered = probe.Answered();
    probe.Stop();
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << std::string(error.begin(), error.end());
    EXPECT_GT(error.size(), prefix.size());
    EXPECT_TRUE(Messages.empty());
    if (c.RunsToDeadline) {
      // Never sooner than the deadline; without it the server would hold the download until its guard.
      EXPECT_GE(elapsed, deadline - 50);
      EXPECT_LT(elapsed, TLoopbackServer::GuardMs);
      EXPECT_GE(answered, 1);
    } else {
      EXPECT_EQ(error, prefix + SysErrorMessage(ERROR_INVALID_DATA));
    }
  }
}

TEST_F(WebTest, ClosingTheProgramDuringADownloadEndsItWithoutAReportAndLeavesTheQuitToTheLoop) {
  using namespace std::chrono;
  Server.Answer(200, "", TManner::Silent);
  Commands.TimeoutMs = 2000;
  for (bool withApplication : {false, true}) {
    SCOPED_TRACE(withApplication ? "application" : "plain loop");
    if (withApplication) StartFramework();
    SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR AId, DWORD) {
      KillTimer(nullptr, AId);
      PostQuitMessage(0);
    });
    // Wine does not wake a blocked WinInet call when its handle closes: there the worker ends with the call's own
    // time-out, at the deadline at the latest, and the quit is what keeps the report away.
    const auto start = steady_clock::now();
    EXPECT_EQ(ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); }), u"(none)");
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), TLoopbackServer::GuardMs);
    EXPECT_TRUE(Messages.empty());
    if (withApplication) {
      EXPECT_TRUE(Application->Terminated());
      EndFramework();
    } else {
      MSG quit;
      EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
  }
}

TEST_F(WebTest, ARefusedAddressNeverReachesTheBrowserAndTheUserIsToldItIsNotFound) {
  const std::u16string notFound = u"The information about the program is not found on the website";
  EXPECT_EQ(ErrorOf([&] { Commands.OpenCommunityPage(u"ENU"); }), notFound);
  EXPECT_EQ(ErrorOf([&] { Commands.OpenForumPage(u"ENU"); }), notFound);
  const char* const pages[] = {
      "http://q.example/a&#9;b", "http://q.example/&#127;", "ftp://q.example/help", "file:///C:/Windows/notepad.exe",
      "javascript:alert(1)",     "http://",                 "  http://q.example/",
  };
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    Server.Answer(200, std::string("<AppInfo><Applications><QuillBox OnlineHelpPage=\"") + page +
                           "\"/></Applications><Resources ThemesPage=\"" + page + "\"/></AppInfo>");
    EXPECT_EQ(ErrorOf([&] { Commands.OpenOnlineHelpPage(u"ENU"); }), notFound);
    EXPECT_EQ(ErrorOf([&] { Commands.OpenWebResource(u"ENU", u"ThemesPage"); }), notFound);
  }
  EXPECT_TRUE(Opened.empty());
  EXPECT_TRUE(Messages.empty());
}

TEST(WebStrings, TheEnglishTableHoldsTheMessagesAsTheFallbacksSpellThem) {
  EXPECT_EQ(TLocalization::LoadStringForLanguage(IdWebInfoNotFound, LangEnglishUS),
            u"The information about the program is not found on the website");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(IdWebNewerVersion, LangEnglishUS),
            u"The newer version of the program is available: %1. You currently use the version: %2.\r\n\r\n"
            u"Press OK to go on the program download page");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(IdWebLatestVersion, LangEnglishUS),
            u"Excellent! You have the latest version of the program");
}

TEST(WebWithoutIdentity, NothingIsOpenedWhenTheVersionBlockCannotBeRead) {
  TLoopbackServer server;
  server.Answer(200, AppInfoText);
  SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), WStr(server.Base()));
  TWebCommands commands([](TProgramIdentity&) { return false; });
  int calls = 0;
  commands.Browser = [&](const std::u16string&) { return ++calls > 0; };
  commands.MessageBox = [&](const std::u16string&, UINT) { return ++calls; };
  commands.OpenOnlineHelpPage(u"ENU");
  commands.CheckForUpdates(u"ENU");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(server.Requests().size(), 2u);
  SetEnvironmentVariableW(WStr(std::u16string(UpdateServerVariable)), nullptr);
}

}  // namespace
