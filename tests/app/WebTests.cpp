// The update check and the web pages against a loopback HTTP server on a thread of the test: what is asked of the
// server, how its answers are read, and what reaches the browser and the message box.
#include <gtest/gtest.h>

#include "foundation/cuWin32.h"

#include <winsock2.h>
#include <wininet.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
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

// How the server's answer goes out: at once; held until released, then at once; the head at once and the body one
// byte every TrickleMs; never (the request is read and left unanswered); the status line, or the last header, one
// byte every TrickleMs and never ended; or cut: the head announces twice the body, the body goes and the server
// closes.
enum class TManner { Whole, Held, Trickle, Silent, StatusTrickle, HeaderTrickle, Cut };

// Answers every connection, each on a thread of its own, with one configured response and keeps the requests it
// read. A slow answer goes on until the client leaves, the server stops or GuardMs pass: a download that never
// gives up fails its test instead of hanging it, and one left behind keeps no later connection waiting.
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
    for (std::thread& client : FClients) client.join();
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
  // Lets the held answers go.
  void Release() { FReleased = true; }
  std::vector<std::string> Requests() {
    std::lock_guard lock(FMutex);
    return FRequests;
  }
  // Whether the connection that brought request ARequest (counted from 0) is still being answered.
  bool Answering(size_t ARequest) {
    std::lock_guard lock(FMutex);
    return ARequest < FOpen.size() && FOpen[ARequest];
  }

 private:
  void Serve() {
    for (;;) {
      SOCKET client = accept(FListener, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      FClients.emplace_back([this, client] {
        const size_t request = AnswerClient(client);
        closesocket(client);
        std::lock_guard lock(FMutex);
        FOpen[request] = false;
      });
    }
  }

  // The request's number.
  size_t AnswerClient(SOCKET AClient) {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int n = recv(AClient, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      request.append(buffer, n);
    }
    std::string body;
    TManner manner;
    int status;
    size_t number;
    {
      std::lock_guard lock(FMutex);
      number = FRequests.size();
      FRequests.push_back(request);
      FOpen.push_back(true);
      body = FBody;
      manner = FManner;
      status = FStatus;
    }
    const std::string statusLine = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found");
    const size_t announced = manner == TManner::Cut ? 2 * body.size() : body.size();
    const std::string head = statusLine + "\r\nContent-Type: text/xml\r\nContent-Length: " +
                             std::to_string(announced) + "\r\nConnection: close\r\n\r\n";
    const auto guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(GuardMs);
    // What goes at once, and what goes a byte at a time after it.
    std::string whole;
    std::string slow;
    switch (manner) {
      case TManner::Held:
        while (!FReleased && ClientStays(AClient, guard)) {
        }
        [[fallthrough]];
      case TManner::Whole:
      case TManner::Cut: {
        const std::string response = head + body;
        send(AClient, response.data(), static_cast<int>(response.size()), 0);
        shutdown(AClient, SD_SEND);
        while (recv(AClient, buffer, sizeof(buffer), 0) > 0) {
        }
        return number;
      }
      case TManner::Trickle:
        whole = head;
        slow = body;
        break;
      case TManner::Silent:
        break;
      case TManner::StatusTrickle:
        slow = statusLine + std::string(GuardMs / TrickleMs, 'K');
        break;
      case TManner::HeaderTrickle:
        whole = statusLine + "\r\nX-Slow: ";
        slow = std::string(GuardMs / TrickleMs, 'x');
        break;
    }
    send(AClient, whole.data(), static_cast<int>(whole.size()), 0);
    for (size_t sent = 0; ClientStays(AClient, guard);)
      if (sent < slow.size() && send(AClient, &slow[sent++], 1, 0) != 1) break;
    return number;
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
  // Added to by the serving thread only, joined after it has ended.
  std::vector<std::thread> FClients;
  std::atomic<bool> FStopping = false;
  std::atomic<bool> FReleased = false;
  std::mutex FMutex;
  int FStatus = 200;
  std::string FBody;
  TManner FManner = TManner::Whole;
  std::vector<std::string> FRequests;
  std::vector<bool> FOpen;
};

// A small top-level window of this thread, shown at the screen's bottom-left corner above the others (away from the
// top-left one, where Wine shows the notification area of earlier tests), that hands what it receives to OnMessage.
class TTestWindow {
 public:
  static constexpr int Size = 100;

  TTestWindow() {
    static const ATOM registered = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = [](HWND AWindow, UINT AMessage, WPARAM AW, LPARAM AL) -> LRESULT {
        if (auto* self = reinterpret_cast<TTestWindow*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
            self && self->OnMessage && self->OnMessage(AMessage, AW, AL))
          return 0;
        return DefWindowProcW(AWindow, AMessage, AW, AL);
      };
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = L"QbWebTestWindow";
      return RegisterClassW(&windowClass);
    }();
    FWindow = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, MAKEINTATOM(registered), nullptr, WS_POPUP, 0,
                              Top(), Size, Size, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Never active: under Wine a window that was takes 2 s to destroy.
    SetWindowPos(FWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  }
  ~TTestWindow() { DestroyWindow(FWindow); }
  TTestWindow(const TTestWindow&) = delete;
  TTestWindow& operator=(const TTestWindow&) = delete;

  HWND Handle() const { return FWindow; }
  static int Top() { return GetSystemMetrics(SM_CYSCREEN) - Size; }
  // True when the message was handled.
  std::function<bool(UINT AMessage, WPARAM AW, LPARAM AL)> OnMessage;

 private:
  HWND FWindow;
};

// Once AAsking holds, asks a window of the constructing thread, from another thread, a question every 50 ms, in
// turn: a sent WM_NULL, a posted message and a mouse move over it. A thread that serves its messages and its input
// answers each at once; one that leaves a question unanswered for MaxWaitMs, far beyond a busy machine's delay and
// far below the loopback server's guard (a wait that ignored the deadline lasts that long), has stopped serving
// them.
class TResponsivenessProbe {
 public:
  static constexpr UINT MaxWaitMs = 20000;

  explicit TResponsivenessProbe(std::function<bool()> AAsking = [] { return true; })
      : FAnswer(CreateEventW(nullptr, FALSE, FALSE, nullptr)), FAsking(std::move(AAsking)) {
    FWindow.OnMessage = [this](UINT AMessage, WPARAM AW, LPARAM AL) {
      if (AMessage == WM_APP)
        FPosted = static_cast<int>(AW);
      else if (AMessage == WM_MOUSEMOVE)
        ++FMoves;
      else
        return false;
      SetEvent(FAnswer);
      return true;
    };
    FThread = std::thread([this] { Ask(); });
  }
  ~TResponsivenessProbe() {
    Stop();
    CloseHandle(FAnswer);
  }

  // Ends the questions, serving this thread's messages until the last one is answered.
  void Stop() {
    if (!FThread.joinable()) return;
    FStopping = true;
    PumpUntil([this] { return FDone.load(); });
    FThread.join();
  }
  int Answered() const { return FAnswered; }
  int Missed() const { return FMissed; }
  // The kinds of the questions missed (0 sent, 1 posted, 2 input), read once the probe has stopped.
  const std::string& MissedKinds() const { return FMissedKinds; }

 private:
  void Ask() {
    while (!FStopping && !FAsking()) Sleep(1);
    for (int question = 0; !FStopping; ++question) {
      const std::optional<bool> answered = Answers(question);
      if (answered && *answered) ++FAnswered;
      if (answered && !*answered) {
        ++FMissed;
        FMissedKinds += " " + std::to_string(question % 3);
      }
      Sleep(50);
    }
    FDone = true;
  }

  // Nothing when the question could not be asked: the pointer's place lies under another program's window.
  std::optional<bool> Answers(int AQuestion) {
    const HWND window = FWindow.Handle();
    switch (AQuestion % 3) {
      case 0: {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, MaxWaitMs, &result) != 0;
      }
      case 1:
        PostMessageW(window, WM_APP, AQuestion, 0);
        return AwaitAnswer([&] { return FPosted == AQuestion; });
      default: {
        // The pointer goes to the one of two points of the window (at the screen's corner) it is farther from, so
        // each question moves it. Any move that reaches the window afterwards answers: Wine may merge the move
        // with one of its own that puts the pointer back where X had it.
        POINT at{};
        GetCursorPos(&at);
        const int left = TTestWindow::Size / 4;
        const int right = TTestWindow::Size * 3 / 4;
        const int x = std::abs(at.x - left) < std::abs(at.x - right) ? right : left;
        const int y = TTestWindow::Top() + TTestWindow::Size / 2;
        if (WindowFromPoint({x, y}) != window) return std::nullopt;
        INPUT move{};
        move.type = INPUT_MOUSE;
        move.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        move.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        const int moves = FMoves;
        SendInput(1, &move, sizeof(move));
        return AwaitAnswer([&] { return FMoves > moves; });
      }
    }
  }

  // Whether the window's answer made AAnswered hold within MaxWaitMs.
  bool AwaitAnswer(const std::function<bool()>& AAnswered) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(MaxWaitMs);
    while (!AAnswered()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0 || WaitForSingleObject(FAnswer, static_cast<DWORD>(left)) != WAIT_OBJECT_0) return AAnswered();
    }
    return true;
  }

  TTestWindow FWindow;
  HANDLE FAnswer;
  std::atomic<int> FPosted = -1;
  std::atomic<int> FMoves = 0;
  std::function<bool()> FAsking;
  std::atomic<bool> FStopping = false;
  std::atomic<bool> FDone = false;
  std::atomic<int> FAnswered = 0;
  std::atomic<int> FMissed = 0;
  std::string FMissedKinds;
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

TEST_F(WebTest, AStatusLineOrHeaderTrickledWithoutEndIsReportedAtTheDeadlineWhileMessagesAndInputAreServed) {
  struct TCase {
    const char* Name;
    TManner Manner;
  };
  const TCase cases[] = {{"status line", TManner::StatusTrickle}, {"header", TManner::HeaderTrickle}};
  Commands.TimeoutMs = 1500;
  const std::u16string timedOut =
      u"Can't open URL: " + Server.Base() + u"appinfo.xml\r\n" + SysErrorMessage(ERROR_INTERNET_TIMEOUT);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Server.Answer(200, "", c.Manner);
    const size_t request = Server.Requests().size();
    TResponsivenessProbe probe;
    const std::u16string error = ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); });
    // Reported while the server still trickles: the worker left behind ends when the server stops.
    EXPECT_TRUE(Server.Answering(request));
    probe.Stop();
    EXPECT_EQ(error, timedOut);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(probe.Missed(), 0) << "missed kinds:" << probe.MissedKinds();
    EXPECT_GE(probe.Answered(), 3);
    EXPECT_EQ(Server.Requests().size(), request + 1);
  }
}

TEST_F(WebTest, ACommandServedDuringADownloadStartsNoSecondOneAndTheFirstReportsItsAnswer) {
  Server.Answer(200, AppInfoText, TManner::Held);
  std::u16string secondError = u"(not run)";
  TTestWindow window;
  window.OnMessage = [&](UINT AMessage, WPARAM, LPARAM) {
    if (AMessage != WM_APP) return false;
    secondError = ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); });
    Server.Release();
    return true;
  };
  PostMessageW(window.Handle(), WM_APP, 0, 0);
  EXPECT_EQ(ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); }), u"(none)");
  EXPECT_EQ(secondError, u"(none)");
  EXPECT_EQ(Messages, std::vector<std::u16string>{u"Excellent! You have the latest version of the program"});
  EXPECT_EQ(Server.Requests().size(), 1u);
}

TEST_F(WebTest, AnAnswerShorterThanItAnnouncedIsAFailedDownload) {
  Identity.Version = u"1.0.3";
  Server.Answer(200, AppInfoText, TManner::Cut);
  const std::u16string error = ErrorOf([&] { Commands.CheckForUpdates(u"ENU"); });
  const std::u16string prefix = u"Can't open URL: " + Server.Base() + u"appinfo.xml\r\n";
  EXPECT_EQ(error.rfind(prefix, 0), 0u) << std::string(error.begin(), error.end());
  EXPECT_GT(error.size(), prefix.size());
  EXPECT_TRUE(Messages.empty());
}

TEST_F(WebTest, APageNoBrowserCouldOpenIsReportedWithItsAddress) {
  Commands.Browser = [this](const std::u16string& AAddress) {
    Opened.push_back(AAddress);
    return false;
  };
  Identity.Version = u"1.0.3";
  Button = IDOK;
  Commands.OpenOnlineHelpPage(u"ENU");
  Commands.OpenWebResource(u"DEU", u"ThemesPage");
  Commands.CheckForUpdates(u"ENU");
  const std::vector<std::u16string> pages{u"http://q.example/en/help/en.html", u"https://q.example/themes/de",
                                          u"http://q.example/en/get"};
  EXPECT_EQ(Opened, pages);
  // The third report follows the newer-version question whose OK went to the download page.
  ASSERT_EQ(Messages.size(), 4u);
  Messages.erase(Messages.begin() + 2);
  Flags.erase(Flags.begin() + 2);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(Messages[i], u"The link \"" + pages[i] + u"\" could not be opened: no web browser was started.");
    EXPECT_EQ(Flags[i], UINT(MB_OK | MB_ICONWARNING));
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
