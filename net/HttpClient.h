// A synchronous plain-HTTP GET with an optional proxy, an inactivity time-out and a pump hook.
// Every call sets up and releases its own connection state; nothing is shared between calls.
// Never throws: a failed request comes back with ok false and a reason text.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/FailureMessages.h"

namespace kv {

// The body is cut off once it holds this many bytes (one more than the largest package), so a
// broken or hostile server cannot fill the memory; the package parser rejects such a body.
inline constexpr std::size_t kMaxHttpBodyBytes = 1048576 + 1;
// At most this many redirects in a row are followed.
inline constexpr int kMaxHttpRedirects = 5;
inline constexpr std::chrono::milliseconds kDefaultHttpInactivityTimeout{20000};
// A request that is still receiving after this long is abandoned as timed out, so a server that
// sends a byte now and then (never silent long enough for the inactivity time-out) cannot hold it
// for ever. Generous: a whole 1 MiB package arrives in this time even at 4 KB/s.
inline constexpr std::chrono::milliseconds kDefaultHttpTotalTimeout{300000};
// The response head (status line and header lines) may not be longer than this.
inline constexpr std::size_t kMaxHttpHeadBytes = 65536;

// The client's own reason texts for transport failures.
inline constexpr const char* kHttpResolveFailedText =
    FailurePattern(FailureMessage::kHttpResolveFailed);
inline constexpr const char* kHttpTimeoutText = FailurePattern(FailureMessage::kHttpTimeout);
inline constexpr const char* kHttpTooManyRedirectsText =
    FailurePattern(FailureMessage::kHttpTooManyRedirects);
inline constexpr const char* kHttpPlainOnlyText = FailurePattern(FailureMessage::kHttpPlainOnly);
inline constexpr const char* kHttpCutOffText = FailurePattern(FailureMessage::kHttpCutOff);
inline constexpr const char* kHttpHeadTooLargeText =
    FailurePattern(FailureMessage::kHttpHeadTooLarge);
inline constexpr const char* kHttpBadResponseText =
    FailurePattern(FailureMessage::kHttpBadResponse);

struct HttpProxy {
  std::string host;
  std::uint16_t port = 80;
  std::string user;  // empty: no proxy authentication
  std::string password;
};

struct HttpGetSettings {
  std::string url;                 // "http://host[:port]/path"; no other scheme is accepted
  std::optional<HttpProxy> proxy;  // none: a direct connection, whatever the system settings say
  std::chrono::milliseconds inactivity_timeout = kDefaultHttpInactivityTimeout;
  std::chrono::milliseconds total_timeout = kDefaultHttpTotalTimeout;  // redirects included
  std::function<void()> pump;  // called at least once a second while waiting; must not throw
};

struct HttpGetResult {
  bool ok = false;
  int status = 0;      // the last response status, 0 when none arrived
  std::string body;    // raw bytes, at most kMaxHttpBodyBytes
  std::string reason;  // after a failure: the reason phrase or the client's own text
};

// Performs the GET. Fails on a name that does not resolve, a connection that cannot be made,
// inactivity longer than the time-out, a request longer than the total time-out, too many
// redirects, a response that is not HTTP, has a head over kMaxHttpHeadBytes or ends before its
// announced length, or a status of 400 or more other than 401 and 407 (whose bodies come back
// like any other).
HttpGetResult HttpGet(const HttpGetSettings& settings);

// Replaceable GET, so that callers can be tested with a scripted client.
using HttpGetFunction = std::function<HttpGetResult(const HttpGetSettings&)>;

// Shared by the backends.
// True for a status the GET reports as a failure.
bool IsHttpFailureStatus(int status);
// "can't connect: " + system text + " (Error #" + number + ")".
std::string HttpConnectFailureText(const std::string& system_text, long number);
// The reason phrase of a status line such as "HTTP/1.1 404 Not Found\r\n" (empty if it has none).
std::string HttpReasonPhrase(const std::string& status_line);
// The reason text of a failing status: its phrase, or "HTTP status " + number without one.
std::string HttpStatusFailureText(int status, const std::string& phrase);

}  // namespace kv
