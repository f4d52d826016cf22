#include "net/HttpClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "tests/net/TestHttpServer.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
using test::Reply;
using test::SeenRequest;
using test::TestHttpServer;
using Clock = std::chrono::steady_clock;

constexpr char kHtmlPage[] = "<html><body><h1>Access denied</h1></body></html>";

Reply Send(std::string bytes) {
  return Reply{Reply::Kind::kSend, std::move(bytes)};
}

HttpGetResult Get(const std::string& url, std::chrono::milliseconds timeout = 5s) {
  HttpGetSettings settings;
  settings.url = url;
  settings.inactivity_timeout = timeout;
  return HttpGet(settings);
}

// An absolute request target without an explicit ":80" (some clients name the default port).
std::string WithoutDefaultPort(std::string target) {
  const std::size_t port = target.find(":80/");
  if (port != std::string::npos)
    target.erase(port, 3);
  return target;
}

// Answers 407 until the account kvuser/secret arrives, then stands in for the origin server.
Reply ProxyReply(const SeenRequest& request) {
  if (test::ProxyUserName(request) == "kvuser" && test::ProxyPassword(request) == "secret")
    return Send(test::HttpResponse(200, "OK", "via proxy " + WithoutDefaultPort(request.target)));
  return Send(test::HttpResponse(407, "Proxy Authentication Required", kHtmlPage,
                                 "Proxy-Authenticate: Basic realm=\"kv\"\r\n"));
}

TEST(HttpClientTest, ReturnsBodyBytesUndecodedAndSendsTheFixedRequest) {
  const std::string body = std::string("Quillabrenthorst\0\x01\xE1\xFF\r\n", 23) + "end";
  TestHttpServer server([&](const SeenRequest&) {
    return Send(test::HttpResponse(
        200, "OK", body, "Content-Encoding: gzip\r\nContent-Type: text/plain; charset=utf-8\r\n"));
  });
  const HttpGetResult result = Get(server.Url("/kvconfig_bin.php"));
  EXPECT_TRUE(result.ok) << result.reason;
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body, body);

  const std::vector<SeenRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/kvconfig_bin.php");
  EXPECT_EQ(requests[0].version, "HTTP/1.0");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/4.0");
  EXPECT_EQ(requests[0].Header("Accept"),
            "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
  EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "");
}

TEST(HttpClientTest, StatusDecidesFailureAndReason) {
  struct Row {
    int status;
    std::string phrase;
    bool ok;
    std::string reason;
  };
  const Row rows[] = {
      {200, "OK", true, ""},
      {401, "Unauthorized", true, ""},  // the body comes back like any other
      {407, "Proxy Authentication Required", true, ""},
      {399, "Odd", true, ""},
      {400, "Bad Request", false, "Bad Request"},
      {404, "Not Found", false, "Not Found"},
      {500, "Server Trouble Today", false, "Server Trouble Today"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    TestHttpServer server([&](const SeenRequest&) {
      return Send(test::HttpResponse(row.status, row.phrase, kHtmlPage));
    });
    const HttpGetResult result = Get(server.Url("/p"));
    EXPECT_EQ(result.ok, row.ok);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.reason, row.reason);
    if (row.ok) {
      EXPECT_EQ(result.body, kHtmlPage);
    }
  }
}

TEST(HttpClientTest, FollowsAtMostFiveRedirects) {
  // "/r/N" redirects to "/r/N-1"; "/r/0" answers.
  TestHttpServer* self = nullptr;
  TestHttpServer server([&](const SeenRequest& request) {
    const int left = std::stoi(request.target.substr(3));
    if (left == 0)
      return Send(test::HttpResponse(200, "OK", "final"));
    // An absolute URL, an absolute path and a relative path in turn.
    const std::string next = std::to_string(left - 1);
    const std::string location = left % 3 == 0   ? self->Url("/r/" + next)
                                 : left % 3 == 1 ? "/r/" + next
                                                 : next;
    return Send(test::HttpResponse(302, "Found", "", "Location: " + location + "\r\n"));
  });
  self = &server;

  const HttpGetResult five = Get(server.Url("/r/5"));
  EXPECT_TRUE(five.ok) << five.reason;
  EXPECT_EQ(five.body, "final");
  EXPECT_EQ(server.Requests().size(), 6u);

  const HttpGetResult six = Get(server.Url("/r/6"));
  EXPECT_FALSE(six.ok);
  EXPECT_EQ(six.reason, kHttpTooManyRedirectsText);
  EXPECT_EQ(server.Requests().size(), 12u);  // six more, the last redirect not followed
}

TEST(HttpClientTest, NeverUsesTls) {
  TestHttpServer server([](const SeenRequest&) {
    return Send(
        test::HttpResponse(301, "Moved", "", "Location: https://127.0.0.1:1/kvconfig_bin.php\r\n"));
  });
  const HttpGetResult redirected = Get(server.Url("/p"));
  EXPECT_FALSE(redirected.ok);
  EXPECT_EQ(redirected.reason, kHttpPlainOnlyText);

  const HttpGetResult secure = Get("https://127.0.0.1:" + std::to_string(server.Port()) + "/p");
  EXPECT_FALSE(secure.ok);
  EXPECT_EQ(secure.reason, kHttpPlainOnlyText);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpClientTest, TransportFailuresHaveTheirTexts) {
  const HttpGetResult unresolved = Get("http://kv-server.invalid/kvconfig_bin.php");
  EXPECT_FALSE(unresolved.ok);
  EXPECT_EQ(unresolved.reason, kHttpResolveFailedText);

  const HttpGetResult refused =
      Get("http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/kvconfig_bin.php");
  EXPECT_FALSE(refused.ok);
  // "can't connect: " + the system's text + " (Error #" + its number + ")"
  const std::size_t number = refused.reason.rfind(" (Error #");
  ASSERT_NE(number, std::string::npos) << refused.reason;
  EXPECT_THAT(refused.reason.substr(0, number), testing::StartsWith("can't connect: "));
  EXPECT_GT(number, std::string("can't connect: ").size());
  const std::string digits = refused.reason.substr(number + 9);
  EXPECT_EQ(digits.back(), ')');
  EXPECT_EQ(digits.find_first_not_of("0123456789"), digits.size() - 1) << refused.reason;
  EXPECT_NE(digits, ")");
}

// Runs a GET against a server that accepts and stays silent, recording when the pump runs.
void ExpectSilentServerTimesOut(std::chrono::milliseconds timeout) {
  TestHttpServer server([](const SeenRequest&) { return Reply{Reply::Kind::kSilent, ""}; });
  std::vector<Clock::time_point> pumps;
  HttpGetSettings settings;
  settings.url = server.Url("/kvconfig_bin.php");
  settings.inactivity_timeout = timeout;
  settings.pump = [&] { pumps.push_back(Clock::now()); };
  const Clock::time_point start = Clock::now();
  const HttpGetResult result = HttpGet(settings);
  const Clock::duration took = Clock::now() - start;

  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.reason, kHttpTimeoutText);
  EXPECT_GE(took, timeout - 100ms);
  EXPECT_LT(took, timeout + 5s);
  ASSERT_FALSE(pumps.empty());
  Clock::time_point previous = start;
  for (const Clock::time_point pump : pumps) {
    EXPECT_LT(pump - previous, 1s);
    previous = pump;
  }
}

TEST(HttpClientTest, SilentServerTimesOutWhilePumping) {
  ExpectSilentServerTimesOut(1500ms);
}

TEST(HttpClientTest, SilentServerTimesOutAfterTwentySeconds) {
  ExpectSilentServerTimesOut(kDefaultHttpInactivityTimeout);
}

TEST(HttpClientTest, EndlessBodyStopsAtTheCap) {
  TestHttpServer server([](const SeenRequest&) {
    return Reply{Reply::Kind::kEndless, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"};
  });
  const HttpGetResult result = Get(server.Url("/kvconfig_bin.php"));
  EXPECT_TRUE(result.ok) << result.reason;
  EXPECT_EQ(result.body.size(), kMaxHttpBodyBytes);
  EXPECT_EQ(result.body.find_first_not_of('x'), std::string::npos);
}

TEST(HttpClientTest, ProxyReceivesTheAccount) {
  TestHttpServer proxy(ProxyReply);
  // The host exists for the proxy only: the request must not be made directly.
  const std::string url = "http://kv-server.invalid/kvconfig_bin.php";
  struct Row {
    std::string user;
    std::string password;
    int status;
    std::string body;
  };
  const Row rows[] = {
      {"kvuser", "secret", 200, "via proxy " + url},
      {"kvuser", "wrong", 407, kHtmlPage},
      {"", "", 407, kHtmlPage},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.user + ":" + row.password);
    HttpGetSettings settings;
    settings.url = url;
    settings.inactivity_timeout = 5s;
    settings.proxy = HttpProxy{"127.0.0.1", proxy.Port(), row.user, row.password};
    const HttpGetResult result = HttpGet(settings);
    EXPECT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.body, row.body);
    const std::vector<SeenRequest> requests = proxy.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(WithoutDefaultPort(requests.back().target), url);
    EXPECT_EQ(test::ProxyUserName(requests.back()).value_or(""), row.user);
  }
}

TEST(HttpClientTest, DirectRequestIgnoresProxyEnvironment) {
  TestHttpServer proxy(ProxyReply);
  TestHttpServer origin(
      [](const SeenRequest&) { return Send(test::HttpResponse(200, "OK", "direct")); });
  const char* const names[] = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
  for (const char* name : names)
    test::SetEnvironmentValue(name, proxy.Url(""));
  const HttpGetResult result = Get(origin.Url("/kvconfig_bin.php"));
  for (const char* name : names)
    test::SetEnvironmentValue(name, "");
  EXPECT_TRUE(result.ok) << result.reason;
  EXPECT_EQ(result.body, "direct");
  EXPECT_TRUE(proxy.Requests().empty());
}

}  // namespace
}  // namespace kv
