#include "config/DownloadPackage.h"

#include <optional>
#include <vector>

#include "base/Failure.h"
#include "base/FailureMessages.h"
#include "config/DownloadMessages.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

// One request of the attempt plan: through the proxy with a user name, or direct.
using Attempt = std::optional<HttpProxy>;

// The inputs the attempts share.
struct DownloadRequest {
  std::string url;
  std::string proxy_host;
  std::string proxy_port;
  std::string proxy_user;
  std::string proxy_password;
};

// "https://" loses its s (the package is always fetched over plain HTTP); a URL without a
// scheme gets "http://".
std::string NormaliseUrl(const std::string& url) {
  if (HasPrefixText("https://", url))
    return url.substr(0, 4) + url.substr(5);
  if (HasPrefixText("http://", url))
    return url;
  return "http://" + url;
}

// The same account in the two other spellings: for "u@d" they are "d/u" and "d\u", for "d\u"
// "u@d" and "d/u", for "d/u" "u@d" and "d\u". The first separator kind in the order @, \, /
// decides, at its first occurrence. Empty when the name has no separator.
std::vector<std::string> OtherUserSpellings(const std::string& user) {
  for (const char separator : {'@', '\\', '/'}) {
    const std::size_t at = user.find(separator);
    if (at == std::string::npos)
      continue;
    const std::string before = user.substr(0, at);
    const std::string after = user.substr(at + 1);
    if (separator == '@')
      return {after + "/" + before, after + "\\" + before};
    if (separator == '\\')
      return {after + "@" + before, before + "/" + after};
    return {after + "@" + before, before + "\\" + after};
  }
  return {};
}

// The proxy port as a number: empty means 80; anything but 1 to 65535 in digits is refused.
std::optional<std::uint16_t> ParseProxyPort(const std::string& text) {
  if (text.empty())
    return 80;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 65535)
      return std::nullopt;
  }
  if (value == 0)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::vector<Attempt> BuildAttemptPlan(const DownloadRequest& request, std::uint16_t port) {
  if (request.proxy_host.empty())
    return {std::nullopt};
  const auto proxied = [&](const std::string& user) {
    return Attempt(HttpProxy{request.proxy_host, port, user, request.proxy_password});
  };
  std::vector<Attempt> plan = {proxied(request.proxy_user), std::nullopt};
  for (const std::string& user : OtherUserSpellings(request.proxy_user))
    plan.push_back(proxied(user));
  return plan;
}

HttpGetResult RunAttempt(const Attempt& attempt, const std::optional<std::uint16_t>& port,
                         const std::string& url, const PumpHook& pump,
                         const DownloadOptions& options) {
  if (attempt && !port) {
    HttpGetResult refused;
    refused.reason = FailurePattern(FailureMessage::kHttpInvalidProxyPort);
    return refused;
  }
  HttpGetSettings settings;
  settings.url = url;
  settings.proxy = attempt;
  settings.inactivity_timeout = options.timeout;
  settings.pump = pump;
  return options.get(settings);
}

// The attempt's verdict on a body that arrived.
enum class BodyVerdict { kPackage, kHtmlPage, kWrong };

BodyVerdict JudgeBody(const std::string& body, const std::string& expected_start) {
  const std::string_view trimmed = TrimControl(body);
  if (expected_start.empty() || HasPrefixText(expected_start, trimmed))
    return BodyVerdict::kPackage;
  const std::string upper = AsciiUpperCase(trimmed);
  if (upper.find("<HTML") != std::string::npos || upper.find("<BODY") != std::string::npos)
    return BodyVerdict::kHtmlPage;
  return BodyVerdict::kWrong;
}

std::string ReplacePlaceholder(std::string text, const std::string& value) {
  const std::size_t at = text.find("%s");
  if (at != std::string::npos)
    text.replace(at, 2, value);
  return text;
}

bool Download(const DownloadLanguage language, const std::string& expected_start,
              const DownloadRequest& request, std::string& result, const PumpHook& pump,
              const DownloadOptions& options) {
  // The table's Slovak and Czech texts are Windows-1250; the result is UTF-8 like every text.
  const auto message = [language](const std::string& english) {
    return Windows1250ToUtf8(TranslateDownloadMessage(english, language));
  };
  result = message("Unknown Error");
  if (request.url.empty()) {
    result = message("Undefined KV server URL");
    return false;
  }
  const std::string url = NormaliseUrl(request.url);
  const std::optional<std::uint16_t> port = ParseProxyPort(request.proxy_port);
  const std::vector<Attempt> plan = BuildAttemptPlan(request, port.value_or(0));
  for (std::size_t index = 0; index < plan.size(); ++index) {
    // Only the first attempt's message is kept when every attempt fails.
    const bool first = index == 0;
    HttpGetResult response = RunAttempt(plan[index], port, url, pump, options);
    if (!response.ok) {
      if (first)
        result = ReplacePlaceholder(message("Error : %s"), response.reason);
      continue;
    }
    switch (JudgeBody(response.body, expected_start)) {
      case BodyVerdict::kPackage:
        result = std::move(response.body);
        return true;
      case BodyVerdict::kHtmlPage:
        if (first)
          result = message("Wrong server response");
        continue;
      case BodyVerdict::kWrong:
        result = message("Wrong server response");
        return false;
    }
  }
  return false;
}

}  // namespace

bool DownloadPackage(const std::string& language, const std::string& expected_start,
                     const std::string& url, const std::string& proxy_host,
                     const std::string& proxy_port, const std::string& proxy_user,
                     const std::string& proxy_password, std::string& result, const PumpHook& pump,
                     const DownloadOptions& options) {
  const DownloadLanguage selected = SelectDownloadLanguage(language);
  bool downloaded = false;
  std::string error;
  if (RunReportingFailure(
          [&] {
            const DownloadRequest request{url, proxy_host, proxy_port, proxy_user, proxy_password};
            downloaded = Download(selected, expected_start, request, result, pump, options);
          },
          error)) {
    return downloaded;
  }
  result = ReplacePlaceholder(TranslateDownloadMessage("Error : %s", selected), error);
  return false;
}

bool DownloadPackage(const std::string& language, const std::string& expected_start,
                     const std::string& url, const std::string& proxy_host,
                     const std::string& proxy_port, const std::string& proxy_user,
                     const std::string& proxy_password, std::string& result, const PumpHook& pump) {
  return DownloadPackage(language, expected_start, url, proxy_host, proxy_port, proxy_user,
                         proxy_password, result, pump, DownloadOptions{});
}

}  // namespace kv
