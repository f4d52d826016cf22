// The download's decisions, driven by a scripted HTTP client.
#include "config/DownloadPackage.h"

#include "config/DownloadMessages.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

namespace kv {
namespace {

using namespace std::chrono_literals;

constexpr char kExpected[] = "Quillabrenthorst Configuration ver #";
constexpr char kPackage[] = "Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=x\r\n";
constexpr char kHtml[] = "<html><body>Proxy error</body></html>";

HttpGetResult Body(std::string body) {
  return HttpGetResult{true, 200, std::move(body), ""};
}
HttpGetResult Failed(std::string reason) {
  return HttpGetResult{false, 0, "", std::move(reason)};
}

// Answers the scripted results in order (the last one again when the script runs out) and
// records what each request asked for.
class ScriptedClient {
 public:
  explicit ScriptedClient(std::deque<HttpGetResult> script) : script_(std::move(script)) {}

  DownloadOptions Options() {
    DownloadOptions options;
    options.get = [this](const HttpGetSettings& settings) {
      requests.push_back(settings);
      const HttpGetResult next = script_.front();
      if (script_.size() > 1)
        script_.pop_front();
      return next;
    };
    options.timeout = 1234ms;
    return options;
  }

  // "direct", or "proxy:" + the user name, per request.
  std::vector<std::string> Route() const {
    std::vector<std::string> route;
    for (const HttpGetSettings& request : requests)
      route.push_back(request.proxy ? "proxy:" + request.proxy->user : "direct");
    return route;
  }

  std::vector<HttpGetSettings> requests;

 private:
  std::deque<HttpGetResult> script_;
};

struct Outcome {
  bool ok;
  std::string text;
};

Outcome Download(ScriptedClient& client, const std::string& url,
                 const std::string& expected = kExpected, const std::string& language = "EN",
                 const std::string& proxy_host = "", const std::string& proxy_user = "",
                 const std::string& proxy_port = "8080") {
  std::string text = "stale";
  const bool ok = DownloadPackage(language, expected, url, proxy_host, proxy_port, proxy_user, "pw",
                                  text, {}, client.Options());
  return {ok, text};
}

TEST(LookupMessageTest, TranslatesEveryRowInWindows1250) {
  struct Row {
    std::string english;
    std::string slovak;
    std::string czech;
  };
  const Row rows[] = {
      {"Error", "Chyba", "Chyba"},
      {"Unknown Error", "Nezn\xE1ma chyba", "Nezn\xE1ma chyba"},
      {"Undefined KV server URL", "Nedefinovan\xE1 adresa KV servera",
       "Nedefinovan\xE1 adresa KV servera"},
      {"Undefined target file name",
       "Nedefinovan\xE9 meno cie\xBEov\xE9ho s\xFA"
       "boru",
       "Nedefinovan\xE9 jm\xE9no c\xEDlov\xE9ho souboru"},
      {"Saving file \"%s\" fail",
       "Zlyhalo ulo\x9E"
       "enie s\xFA"
       "boru \"%s\"",
       "Selhalo ulo\x9E"
       "en\xED souboru \"%s\""},
      {"Wrong server response", "Chybn\xE1 odpove\xEF zo servera",
       "Chybn\xE1 odpov\xEC\xEF ze servera"},
      {"Error : %s", "Chyba : %s", "Chyba : %s"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.english);
    EXPECT_EQ(LookupMessage(row.english, "SK"), row.slovak);
    EXPECT_EQ(LookupMessage(row.english, "sk"), row.slovak);
    EXPECT_EQ(LookupMessage(row.english, "CZ"), row.czech);
    EXPECT_EQ(LookupMessage(row.english, "EN"), row.english);
    EXPECT_EQ(LookupMessage(row.english, "DE"), row.english);
    EXPECT_EQ(LookupMessage(row.english, ""), row.english);
  }
  EXPECT_EQ(LookupMessage("wrong SERVER response", "cz"), rows[5].czech);
  EXPECT_EQ(LookupMessage("Not in the table", "SK"), "Not in the table");
}

TEST(DownloadPackageTest, FetchesEveryUrlOverPlainHttp) {
  const std::pair<std::string, std::string> rows[] = {
      {"https://host/p", "http://host/p"},
      {"HTTPS://host/p", "HTTP://host/p"},
      {"hTtPs://host:8443/p", "hTtP://host:8443/p"},
      {"host/p", "http://host/p"},
      {"http://host/p", "http://host/p"},
      {"HTTP://host/p", "HTTP://host/p"},
      {" host/p", "http:// host/p"},  // not trimmed
  };
  for (const auto& [given, requested] : rows) {
    SCOPED_TRACE(given);
    ScriptedClient client({Body(kPackage)});
    EXPECT_TRUE(Download(client, given).ok);
    ASSERT_EQ(client.requests.size(), 1u);
    EXPECT_EQ(client.requests[0].url, requested);
    EXPECT_FALSE(client.requests[0].proxy);
    EXPECT_EQ(client.requests[0].inactivity_timeout, 1234ms);
  }
}

TEST(LookupMessageTest, Windows1250BecomesUtf8) {
  struct Row {
    std::string english;
    const char* language;
    std::string utf8;
  };
  const Row rows[] = {
      {"Unknown Error", "SK", "Neznáma chyba"},
      {"Undefined target file name", "SK", "Nedefinované meno cieľového súboru"},
      {"Undefined target file name", "CZ", "Nedefinované jméno cílového souboru"},
      {"Saving file \"%s\" fail", "SK", "Zlyhalo uloženie súboru \"%s\""},
      {"Saving file \"%s\" fail", "CZ", "Selhalo uložení souboru \"%s\""},
      {"Wrong server response", "SK", "Chybná odpoveď zo servera"},
      {"Wrong server response", "CZ", "Chybná odpověď ze servera"},
      {"Error : %s", "EN", "Error : %s"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(Windows1250ToUtf8(LookupMessage(row.english, row.language)), row.utf8) << row.english;
  EXPECT_EQ(Windows1250ToUtf8(std::string("\x81\x8A\x9E\xFF", 4)), "\uFFFDŠž˙");
}

TEST(DownloadPackageTest, EmptyUrlMakesNoRequest) {
  ScriptedClient client({Body(kPackage)});
  EXPECT_EQ(Download(client, "").text, "Undefined KV server URL");
  // The table's Windows-1250 text comes out as UTF-8.
  EXPECT_EQ(Download(client, "", kExpected, "SK").text, "Nedefinovaná adresa KV servera");
  EXPECT_EQ(Download(client, "", kExpected, "CZ").text, "Nedefinovaná adresa KV servera");
  EXPECT_FALSE(Download(client, "").ok);
  EXPECT_TRUE(client.requests.empty());
}

TEST(DownloadPackageTest, JudgesTheBody) {
  struct Row {
    std::string body;
    std::string expected;
    bool ok;
  };
  const Row rows[] = {
      {kPackage, kExpected, true},
      {"\r\n\r\n \t quillabrenthorst configuration ver #2.00\r\n", kExpected, true},
      {"Quillabrenthorst Configuration ver #3.00\r\n", kExpected, true},
      {std::string("\0\x01 Quillabrenthorst Configuration ver #", 39), kExpected, true},
      {"Quillabrenthorst Configuration ver ", kExpected, false},
      {kHtml, kExpected, false},
      {"ERROR", kExpected, false},
      {"", kExpected, false},
      {"", "", true},
      {kHtml, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    ScriptedClient client({Body(row.body)});
    const Outcome outcome = Download(client, "kv.example/kvconfig_bin.php", row.expected);
    EXPECT_EQ(outcome.ok, row.ok);
    EXPECT_EQ(outcome.text, row.ok ? row.body : "Wrong server response");  // body untrimmed
    EXPECT_EQ(client.requests.size(), 1u);
  }
}

TEST(DownloadPackageTest, FailedRequestNamesTheReason) {
  const std::pair<std::string, std::string> rows[] = {
      {"EN", "Error : Not Found"},
      {"SK", "Chyba : Not Found"},
      {"CZ", "Chyba : Not Found"},
      {"DE", "Error : Not Found"},
  };
  for (const auto& [language, text] : rows) {
    ScriptedClient client({Failed("Not Found")});
    const Outcome outcome = Download(client, "kv/p", kExpected, language);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, text);
  }
}

TEST(DownloadPackageTest, AttemptPlanSpellsTheProxyAccount) {
  const std::pair<std::string, std::vector<std::string>> rows[] = {
      {"a", {"proxy:a", "direct"}},
      {"", {"proxy:", "direct"}},
      {"a@b", {"proxy:a@b", "direct", "proxy:b/a", "proxy:b\\a"}},
      {"b\\a", {"proxy:b\\a", "direct", "proxy:a@b", "proxy:b/a"}},
      {"b/a", {"proxy:b/a", "direct", "proxy:a@b", "proxy:b\\a"}},
      {"@", {"proxy:@", "direct", "proxy:/", "proxy:\\"}},
      // "@" is looked for before "\" and "/", and only its first occurrence counts.
      {"x@y\\z@w", {"proxy:x@y\\z@w", "direct", "proxy:y\\z@w/x", "proxy:y\\z@w\\x"}},
      {"d/e\\u", {"proxy:d/e\\u", "direct", "proxy:u@d/e", "proxy:d/e/u"}},
  };
  for (const auto& [user, route] : rows) {
    SCOPED_TRACE(user);
    ScriptedClient client({Failed("Proxy down")});
    const Outcome outcome = Download(client, "kv/p", kExpected, "EN", "proxy.local", user);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, "Error : Proxy down");
    EXPECT_EQ(client.Route(), route);
    for (const HttpGetSettings& request : client.requests) {
      if (!request.proxy)
        continue;
      EXPECT_EQ(request.proxy->host, "proxy.local");
      EXPECT_EQ(request.proxy->port, 8080);
      EXPECT_EQ(request.proxy->password, "pw");
    }
  }
  ScriptedClient direct({Failed("down")});
  Download(direct, "kv/p", kExpected, "EN", "", "a@b");
  EXPECT_EQ(direct.Route(), std::vector<std::string>{"direct"});
}

TEST(DownloadPackageTest, ProxyPortIsCheckedBeforeUse) {
  const std::pair<std::string, int> good[] = {{"", 80}, {"1", 1}, {"000080", 80}, {"65535", 65535}};
  for (const auto& [text, port] : good) {
    ScriptedClient client({Body(kPackage)});
    EXPECT_TRUE(Download(client, "kv/p", kExpected, "EN", "proxy", "a", text).ok);
    ASSERT_TRUE(client.requests.at(0).proxy);
    EXPECT_EQ(client.requests[0].proxy->port, port);
  }
  for (const std::string text : {"0", "65536", "99999999999", "80a", " 80", "-1"}) {
    SCOPED_TRACE(text);
    ScriptedClient client({Body(kPackage)});
    const Outcome outcome = Download(client, "kv/p", kExpected, "EN", "proxy", "a@b", text);
    // Only the direct attempt reaches the client; it succeeds.
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(client.Route(), std::vector<std::string>{"direct"});
  }
  ScriptedClient client({Failed("down")});
  EXPECT_EQ(Download(client, "kv/p", kExpected, "EN", "proxy", "a", "x").text,
            "Error : invalid proxy port");
}

TEST(DownloadPackageTest, KeepsTheFirstAttemptsMessage) {
  struct Row {
    const char* name;
    std::deque<HttpGetResult> script;
    std::size_t requests;
    Outcome outcome;
  };
  const Row rows[] = {
      {"error then html", {Failed("Bad Gateway"), Body(kHtml)}, 4, {false, "Error : Bad Gateway"}},
      {"html then error", {Body(kHtml), Failed("x")}, 4, {false, "Wrong server response"}},
      // A body that is neither a package nor a page ends the plan at once.
      {"html then text", {Body(kHtml), Body("Go away")}, 2, {false, "Wrong server response"}},
      {"error then text", {Failed("x"), Body("Go away")}, 2, {false, "Wrong server response"}},
      {"error then package", {Failed("x"), Body(kPackage)}, 2, {true, kPackage}},
      {"html, error, package", {Body(kHtml), Failed("x"), Body(kPackage)}, 3, {true, kPackage}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedClient client(row.script);
    const Outcome outcome = Download(client, "kv/p", kExpected, "EN", "proxy", "a@b");
    EXPECT_EQ(outcome.ok, row.outcome.ok);
    EXPECT_EQ(outcome.text, row.outcome.text);
    EXPECT_EQ(client.requests.size(), row.requests);
  }
}

TEST(DownloadPackageTest, PassesThePumpAndSurvivesAThrowingClient) {
  int pumped = 0;
  DownloadOptions options;
  options.get = [](const HttpGetSettings& settings) {
    settings.pump();
    return Body(kPackage);
  };
  std::string text;
  EXPECT_TRUE(DownloadPackage(
      "EN", kExpected, "kv/p", "", "", "", "", text, [&] { ++pumped; }, options));
  EXPECT_EQ(pumped, 1);

  options.get = [](const HttpGetSettings&) -> HttpGetResult { throw std::runtime_error("boom"); };
  EXPECT_FALSE(DownloadPackage("SK", kExpected, "kv/p", "", "", "", "", text, {}, options));
  EXPECT_EQ(text, "Chyba : boom");
}

}  // namespace
}  // namespace kv
