// The update check and the web pages against a loopback HTTP server on a thread of the test: what is asked of the
// server, how its answers are read, and what reaches the browser and the message box.
#include <gtest/gtest.h>

#include "foundation/cuWin32.h"

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cuWeb.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuWebSupport.h"

namespace {

// Answers every connection with one configured response and keeps the requests it read.
class TLoopbackServer {
 public:
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
    closesocket(FListener);
    FThread.join();
    WSACleanup();
  }

  int Port() const { return FPort; }
  std::u16string Base() const { return u"http://127.0.0.1:" + IntToStr(FPort) + u"/"; }
  void Answer(int AStatus, std::string ABody) {
    std::lock_guard lock(FMutex);
    FStatus = AStatus;
    FBody = std::move(ABody);
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
      std::string response;
      {
        std::lock_guard lock(FMutex);
        FRequests.push_back(request);
        response = "HTTP/1.1 " + std::to_string(FStatus) + (FStatus == 200 ? " OK" : " Not Found") +
                   "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(FBody.size()) +
                   "\r\nConnection: close\r\n\r\n" + FBody;
      }
      send(client, response.data(), static_cast<int>(response.size()), 0);
      shutdown(client, SD_SEND);
      while (recv(client, buffer, sizeof(buffer), 0) > 0) {
      }
      closesocket(client);
    }
  }

  SOCKET FListener;
  int FPort = 0;
  std::thread FThread;
  std::mutex FMutex;
  int FStatus = 200;
  std::string FBody;
  std::vector<std::string> FRequests;
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

TEST_F(WebTest, AnAddressWithABlankOrAQuoteNeverReachesTheBrowser) {
  Commands.OpenCommunityPage(u"ENU");
  Commands.OpenForumPage(u"ENU");
  EXPECT_TRUE(Opened.empty());
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
