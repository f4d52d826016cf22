// The download with the real HTTP client against servers and a proxy on 127.0.0.1.
#include <gtest/gtest.h>

#include <mutex>

#include "config/ConfigPackage.h"
#include "config/DownloadPackage.h"
#include "tests/net/TestHttpServer.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::Reply;
using test::SeenRequest;
using test::TestHttpServer;

constexpr char kExpected[] = "Quillabrenthorst Configuration ver #";
constexpr char kPackage[] = "Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=x\r\n";
constexpr char kHtml[] = "<HTML><BODY>Please log in</BODY></HTML>";

Reply Send(int status, const std::string& reason, const std::string& body,
           const std::string& headers = "") {
  return Reply{Reply::Kind::kSend, test::HttpResponse(status, reason, body, headers)};
}

struct Outcome {
  bool ok;
  std::string text;
};

Outcome Download(const std::string& url, const std::string& proxy_host = "",
                 const std::string& proxy_port = "", const std::string& proxy_user = "",
                 std::chrono::milliseconds timeout = 5s) {
  DownloadOptions options;
  options.timeout = timeout;
  std::string text;
  const bool ok = DownloadPackage("EN", kExpected, url, proxy_host, proxy_port, proxy_user,
                                  "secret", text, {}, options);
  return {ok, text};
}

TEST(DownloadServerTest, AnswersOfTheServer) {
  struct Row {
    std::string name;
    Reply reply;
    Outcome outcome;
  };
  const Row rows[] = {
      {"package", Send(200, "OK", kPackage), {true, kPackage}},
      {"html page", Send(200, "OK", kHtml), {false, "Wrong server response"}},
      {"short text", Send(200, "OK", "ERROR"), {false, "Wrong server response"}},
      {"not found", Send(404, "Not Found", kHtml), {false, "Error : Not Found"}},
      {"unauthorized", Send(401, "Unauthorized", kHtml), {false, "Wrong server response"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TestHttpServer server([&](const SeenRequest&) { return row.reply; });
    // "https://" is fetched over plain HTTP from the same port.
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port());
    const Outcome outcome = Download(url + "/kvconfig_bin.php");
    EXPECT_EQ(outcome.ok, row.outcome.ok);
    EXPECT_EQ(outcome.text, row.outcome.text);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/kvconfig_bin.php");
  }
}

TEST(DownloadServerTest, TransportFailures) {
  EXPECT_EQ(Download("kv-server.invalid/kvconfig_bin.php").text,
            "Error : can't resolve hostname to IP address");

  TestHttpServer silent([](const SeenRequest&) { return Reply{Reply::Kind::kSilent, ""}; });
  const Outcome timed_out = Download(silent.Url("/kvconfig_bin.php"), "", "", "", 1s);
  EXPECT_FALSE(timed_out.ok);
  EXPECT_EQ(timed_out.text, "Error : Request aborted on timeout");
}

TEST(DownloadServerTest, EndlessBodyIsCutForTheParserToRefuse) {
  TestHttpServer server([](const SeenRequest&) {
    return Reply{Reply::Kind::kEndless, "HTTP/1.0 200 OK\r\n\r\n" + std::string(kPackage)};
  });
  const Outcome outcome = Download(server.Url("/kvconfig_bin.php"));
  EXPECT_TRUE(outcome.ok);
  // One byte more than the largest package the parser accepts.
  EXPECT_EQ(outcome.text.size(), kMaxPackageSize + 1);
  EXPECT_EQ(outcome.text.substr(0, sizeof(kPackage) - 1), kPackage);
  TKVConfigBinData data;
  std::string error;
  EXPECT_FALSE(ParseConfigPackage(outcome.text, data, error));
  EXPECT_EQ(error, "File size > 1MB");
}

// The proxy and the origin server write one log, request by request: "direct" for the origin,
// "proxy:" + user name for a proxy request that carries an account.
class ProxyPlanTest : public testing::Test {
 protected:
  // Declared before the servers, whose threads write to it.
  std::mutex mutex_;
  std::vector<std::string> log_;

  void Log(const std::string& entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(entry);
  }
  std::vector<std::string> TakeLog() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(log_, {});
  }

  std::string accepted_user_ = "corp\\kvuser";
  TestHttpServer proxy_{[this](const SeenRequest& request) {
    const std::optional<std::string> user = test::ProxyUserName(request);
    if (!user)  // a client's first try without an account
      return Send(407, "Proxy Authentication Required", kHtml,
                  "Proxy-Authenticate: Basic realm=\"kv\"\r\n");
    Log("proxy:" + *user);
    if (*user == accepted_user_ && test::ProxyPassword(request) == "secret")
      return Send(200, "OK", kPackage);
    return Send(407, "Proxy Authentication Required", kHtml,
                "Proxy-Authenticate: Basic realm=\"kv\"\r\n");
  }};
  // Answers direct requests with a login page, as a captive portal would.
  TestHttpServer origin_{[this](const SeenRequest&) {
    Log("direct");
    return Send(200, "OK", kHtml);
  }};
  std::string proxy_port_ = std::to_string(proxy_.Port());
};

TEST_F(ProxyPlanTest, EverySpellingReachesTheProxy) {
  const std::string url = origin_.Url("/kvconfig_bin.php");
  struct Row {
    std::string user;
    std::vector<std::string> log;
  };
  const Row rows[] = {
      {"a", {"proxy:a", "direct"}},
      {"a@b", {"proxy:a@b", "direct", "proxy:b/a", "proxy:b\\a"}},
      {"b\\a", {"proxy:b\\a", "direct", "proxy:a@b", "proxy:b/a"}},
      {"b/a", {"proxy:b/a", "direct", "proxy:a@b", "proxy:b\\a"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.user);
    const Outcome outcome = Download(url, "127.0.0.1", proxy_port_, row.user);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, "Wrong server response");
    EXPECT_EQ(TakeLog(), row.log);
  }
}

TEST_F(ProxyPlanTest, FourthSpellingFetchesThePackage) {
  // The host name exists for the proxy only.
  const Outcome outcome = Download("http://kv-server.invalid/kvconfig_bin.php", "127.0.0.1",
                                   proxy_port_, "kvuser@corp");
  EXPECT_TRUE(outcome.ok) << outcome.text;
  EXPECT_EQ(outcome.text, kPackage);
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"proxy:kvuser@corp", "proxy:corp/kvuser",
                                                 "proxy:corp\\kvuser"}));
}

TEST_F(ProxyPlanTest, UnreachableProxyGivesTheFirstMessage) {
  const Outcome outcome = Download(origin_.Url("/kvconfig_bin.php"), "127.0.0.1",
                                   std::to_string(test::ClosedPort()), "a");
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.text.rfind("Error : can't connect: ", 0), 0u) << outcome.text;
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"direct"});
}

}  // namespace
}  // namespace kv
