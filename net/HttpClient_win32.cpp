// The GET on WinHTTP. The blocking WinHTTP calls run on a helper thread while the calling thread
// waits in steps of kPumpMilliseconds and calls the pump hook, so a window stays responsive.
// WinHTTP's own resolve, connect, send and receive time-outs end a silent request; the waiting
// thread gives up on one that runs past the total time-out. Redirects
// are followed here rather than by WinHTTP, so that they are counted and never lead to TLS.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "base/Failure.h"
#include "base/WinText_win32.h"
#include "net/HttpClient.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

constexpr int kPumpMilliseconds = 100;
constexpr DWORD kReadChunkBytes = 65536;
constexpr wchar_t kUserAgent[] = L"Mozilla/4.0";
constexpr wchar_t kAcceptHeader[] =
    L"Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

class Handle {
 public:
  explicit Handle(HINTERNET handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr)
      ::WinHttpCloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

// The message of a WinHTTP or system error number, without its line end; fallback when the
// system has no text for it.
std::string ErrorText(DWORD error, const std::string& fallback) {
  const std::string text = SystemMessageText(error, ::GetModuleHandleW(L"winhttp.dll"));
  return text.empty() ? fallback : text;
}

std::string TransportFailureText(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return kHttpResolveFailedText;
    case ERROR_WINHTTP_TIMEOUT:
    case ERROR_TIMEOUT:
    case WSAETIMEDOUT:  // some WinHTTP versions pass the socket's own time-out through
      return kHttpTimeoutText;
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return kHttpPlainOnlyText;
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
      return kHttpHeadTooLargeText;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return kHttpBadResponseText;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return HttpConnectFailureText(
          ErrorText(error, "A connection with the server could not be established"),
          static_cast<long>(error));
    default:
      return ErrorText(error, SystemErrorText(error)) + " (Error #" + std::to_string(error) + ")";
  }
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The target of a Location header, made absolute against the URL that answered with it.
std::string ResolveLocation(const std::string& base, const std::string& location) {
  if (location.find("://") != std::string::npos)
    return location;
  const std::size_t authority = base.find("://") + 3;
  if (HasPrefix("//", location))
    return base.substr(0, authority - 2) + location;
  const std::size_t path = base.find('/', authority);
  const std::string origin = base.substr(0, path);
  if (HasPrefix("/", location))
    return origin + location;
  const std::string base_path = path == std::string::npos ? "/" : base.substr(path);
  return origin + base_path.substr(0, base_path.find_last_of('/') + 1) + location;
}

// The parts of an http:// URL that WinHTTP needs.
struct UrlParts {
  std::wstring host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  std::wstring path;  // path and query
};

bool SplitUrl(const std::string& url, UrlParts& parts) {
  const std::wstring wide = Utf8ToWide(url);
  URL_COMPONENTS components{};
  components.dwStructSize = sizeof(components);
  components.dwHostNameLength = static_cast<DWORD>(-1);
  components.dwUrlPathLength = static_cast<DWORD>(-1);
  components.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &components))
    return false;
  if (components.nScheme != INTERNET_SCHEME_HTTP)
    return false;
  parts.host.assign(components.lpszHostName, components.dwHostNameLength);
  parts.port = components.nPort;
  parts.path.assign(components.lpszUrlPath, components.dwUrlPathLength);
  if (components.lpszExtraInfo != nullptr)
    parts.path.append(components.lpszExtraInfo, components.dwExtraInfoLength);
  if (parts.path.empty())
    parts.path = L"/";
  return true;
}

DWORD QueryStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  return status;
}

std::string QueryText(HINTERNET request, DWORD what) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
  if (size == 0)
    return {};
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  text.resize(size / sizeof(wchar_t));
  return WideToUtf8(text);
}

// Picks the strongest scheme both sides support and hands the proxy account to WinHTTP.
bool SetProxyCredentials(HINTERNET request, const HttpProxy& proxy) {
  DWORD supported = 0;
  DWORD first = 0;
  DWORD target = 0;
  if (!::WinHttpQueryAuthSchemes(request, &supported, &first, &target))
    return false;
  const DWORD preferred[] = {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM,
                             WINHTTP_AUTH_SCHEME_DIGEST, WINHTTP_AUTH_SCHEME_BASIC};
  for (const DWORD scheme : preferred) {
    if ((supported & scheme) == 0)
      continue;
    const std::wstring user = Utf8ToWide(proxy.user);
    const std::wstring password = Utf8ToWide(proxy.password);
    return ::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, user.c_str(),
                                   password.c_str(), nullptr) != FALSE;
  }
  return false;
}

bool SendAndReceive(HINTERNET request) {
  return ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                              0, 0) &&
         ::WinHttpReceiveResponse(request, nullptr);
}

// True when the response head is longer than kMaxHttpHeadBytes (for WinHTTP versions that do not
// apply WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE themselves).
bool HeadTooLarge(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  return size / sizeof(wchar_t) > kMaxHttpHeadBytes;
}

// The Content-Length of the response, if it has a valid one.
std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  const std::string text = QueryText(request, WINHTTP_QUERY_CONTENT_LENGTH);
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoull(text);
}

// Reads the body, stopping once it holds kMaxHttpBodyBytes or the request is abandoned. Only
// what has arrived is read each time, so a slow sender cannot keep a read waiting for a full
// buffer. Fails with the error number, or with 0 for a body that ended short of its announced
// length.
bool ReadBody(HINTERNET request, const std::atomic<bool>& abandoned, std::string& body,
              DWORD& error) {
  std::string chunk(kReadChunkBytes, '\0');
  while (body.size() < kMaxHttpBodyBytes) {
    if (abandoned) {
      error = ERROR_WINHTTP_TIMEOUT;
      return false;
    }
    DWORD available = 0;
    DWORD read = 0;
    if (!::WinHttpQueryDataAvailable(request, &available) ||
        (available > 0 && !::WinHttpReadData(request, chunk.data(),
                                             std::min<DWORD>(available, kReadChunkBytes), &read))) {
      error = ::GetLastError();
      return false;
    }
    if (read == 0)
      break;
    body.append(chunk, 0, std::min<std::size_t>(read, kMaxHttpBodyBytes - body.size()));
  }
  const std::optional<std::uint64_t> announced = ContentLength(request);
  if (body.size() < kMaxHttpBodyBytes && announced && body.size() < *announced) {
    error = 0;
    return false;
  }
  return true;
}

class Request {
 public:
  // abandoned: set by the waiting thread once it has given up on the request.
  Request(const HttpGetSettings& settings, const std::atomic<bool>& abandoned)
      : settings_(settings), abandoned_(abandoned) {}

  // Runs the whole GET with blocking WinHTTP calls.
  HttpGetResult Run() {
    Handle session(OpenSession());
    if (!session)
      return Failure(::GetLastError());
    const int timeout = static_cast<int>(settings_.inactivity_timeout.count());
    ::WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout);
    std::string url = settings_.url;
    for (int redirects = 0;; ++redirects) {
      UrlParts parts;
      if (!SplitUrl(url, parts))
        return Failure(kHttpPlainOnlyText);
      Handle connection(::WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0));
      if (!connection)
        return Failure(::GetLastError());
      Handle request(::WinHttpOpenRequest(connection.get(), L"GET", parts.path.c_str(), L"HTTP/1.0",
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
      if (!request)
        return Failure(::GetLastError());
      if (abandoned_)
        return Failure(kHttpTimeoutText);
      // The time-outs of WinHttpSetTimeouts do not cover the wait for the response head.
      DWORD head_timeout = static_cast<DWORD>(timeout);
      ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &head_timeout,
                         sizeof(head_timeout));
      DWORD head_limit = static_cast<DWORD>(kMaxHttpHeadBytes);
      ::WinHttpSetOption(request.get(), WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &head_limit,
                         sizeof(head_limit));
      DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
      ::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features,
                         sizeof(features));
      ::WinHttpAddRequestHeaders(request.get(), kAcceptHeader, static_cast<DWORD>(-1),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
      if (!SendAndReceive(request.get()))
        return Failure(::GetLastError());
      DWORD status = QueryStatus(request.get());
      if (status == 407 && settings_.proxy && !settings_.proxy->user.empty() &&
          SetProxyCredentials(request.get(), *settings_.proxy)) {
        if (!SendAndReceive(request.get()))
          return Failure(::GetLastError());
        status = QueryStatus(request.get());
      }
      if (HeadTooLarge(request.get()))
        return Failure(kHttpHeadTooLargeText);
      const std::string location = QueryText(request.get(), WINHTTP_QUERY_LOCATION);
      if (IsRedirect(status) && !location.empty()) {
        if (redirects == kMaxHttpRedirects)
          return Failure(kHttpTooManyRedirectsText);
        url = ResolveLocation(url, location);
        continue;
      }
      return Response(request.get(), static_cast<int>(status));
    }
  }

 private:
  HINTERNET OpenSession() const {
    if (!settings_.proxy) {
      return ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
    }
    const std::wstring proxy =
        Utf8ToWide(settings_.proxy->host + ":" + std::to_string(settings_.proxy->port));
    return ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(),
                         WINHTTP_NO_PROXY_BYPASS, 0);
  }

  HttpGetResult Response(HINTERNET request, int status) const {
    HttpGetResult result;
    result.status = status;
    DWORD error = 0;
    if (!ReadBody(request, abandoned_, result.body, error)) {
      // A connection that ends or breaks inside the body cuts the response off.
      if (error == 0 || error == ERROR_WINHTTP_CONNECTION_ERROR)
        return Failure(kHttpCutOffText);
      return Failure(error);
    }
    if (IsHttpFailureStatus(status)) {
      result.reason = HttpStatusFailureText(status, QueryText(request, WINHTTP_QUERY_STATUS_TEXT));
      return result;
    }
    result.ok = true;
    return result;
  }

  static HttpGetResult Failure(DWORD error) { return Failure(TransportFailureText(error)); }
  static HttpGetResult Failure(std::string reason) {
    HttpGetResult result;
    result.reason = std::move(reason);
    return result;
  }

  const HttpGetSettings& settings_;
  const std::atomic<bool>& abandoned_;
};

HttpGetResult RunCatching(const HttpGetSettings& settings, const std::atomic<bool>& abandoned) {
  HttpGetResult result;
  std::string error;
  if (!RunReportingFailure([&] { result = Request(settings, abandoned).Run(); }, error))
    result.reason = std::move(error);
  return result;
}

// What the waiting thread and the helper thread share. The helper holds it too, so that it can
// finish on its own after the waiting thread has given up.
struct SharedGet {
  // The helper never calls the pump hook, and must not keep the caller's copy alive.
  explicit SharedGet(const HttpGetSettings& get_settings) : settings(get_settings) {
    settings.pump = nullptr;
  }
  HttpGetSettings settings;
  std::atomic<bool> abandoned{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  HttpGetResult result;
};

}  // namespace

HttpGetResult HttpGet(const HttpGetSettings& settings) {
  if (!HasPrefixText("http://", settings.url)) {
    HttpGetResult result;
    result.reason = kHttpPlainOnlyText;
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + settings.total_timeout;
  const auto shared = std::make_shared<SharedGet>(settings);
  std::thread worker([shared] {
    HttpGetResult outcome = RunCatching(shared->settings, shared->abandoned);
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->result = std::move(outcome);
    shared->done = true;
    shared->finished.notify_one();
  });
  std::unique_lock<std::mutex> lock(shared->mutex);
  while (!shared->done) {
    shared->finished.wait_for(lock, std::chrono::milliseconds(kPumpMilliseconds));
    if (shared->done)
      continue;
    if (std::chrono::steady_clock::now() >= deadline) {
      // A synchronous WinHTTP call cannot be interrupted: the helper is left to end on its own
      // (it stops reading at its next chance) and the request counts as timed out.
      shared->abandoned = true;
      lock.unlock();
      worker.detach();
      HttpGetResult result;
      result.reason = kHttpTimeoutText;
      return result;
    }
    if (!settings.pump)
      continue;
    lock.unlock();
    settings.pump();
    lock.lock();
  }
  lock.unlock();
  worker.join();
  return std::move(shared->result);
}

}  // namespace kv
