// The GET on libcurl. The transfer runs through the multi interface so that this thread keeps
// control: it waits at most kPollMilliseconds at a time, calls the pump hook and watches for
// inactivity and the total time-out itself (curl's own time-outs measure average speed, not
// silence). Activity is a connection made, a whole header line or body bytes received.
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string_view>
#include <system_error>

#include "base/Failure.h"
#include "base/FailureMessages.h"
#include "base/Owned.h"
#include "net/HttpClient.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMilliseconds = 100;
constexpr char kAcceptHeader[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
constexpr char kUserAgent[] = "Mozilla/4.0";

// What the callbacks collect during one transfer.
struct Transfer {
  std::string status_line;  // of the latest response
  std::string body;
  bool capped = false;         // the body reached kMaxHttpBodyBytes and receiving stopped
  bool in_head = false;        // between a status line and the blank line that ends its head
  bool head_complete = false;  // the latest response's head ended with its blank line
  bool head_too_large = false;
  std::size_t head_bytes = 0;  // of every response to the latest request, interim ones included
  Clock::time_point last_activity = Clock::now();
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  transfer.last_activity = Clock::now();
  const size_t n = size * count;
  const size_t room = kMaxHttpBodyBytes - transfer.body.size();
  if (n <= room) {
    transfer.body.append(data, n);
    return n;
  }
  transfer.body.append(data, room);
  transfer.capped = true;
  return 0;  // a short count makes curl stop the transfer
}

// Called with each line of a response head, the status line and the closing blank line included.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  transfer.last_activity = Clock::now();
  const size_t n = size * count;
  const std::string_view line(data, n);
  if (!transfer.in_head) {
    // A new response (after a redirect or an authentication round) replaces the previous one.
    transfer.status_line = std::string(line);
    transfer.body.clear();
    transfer.capped = false;
    transfer.in_head = true;
    transfer.head_complete = false;
  }
  transfer.head_bytes += n;
  if (transfer.head_bytes > kMaxHttpHeadBytes) {
    transfer.head_too_large = true;
    return 0;  // a short count makes curl stop the transfer
  }
  if (TrimControl(line).empty()) {
    transfer.in_head = false;
    transfer.head_complete = true;
  }
  return n;
}

// Called once a connection is made, before each request is sent.
int OnConnected(void* user, char*, char*, int, int) {
  Transfer& transfer = *static_cast<Transfer*>(user);
  transfer.last_activity = Clock::now();
  // Nothing of this request's answer has arrived yet.
  transfer.status_line.clear();
  transfer.head_bytes = 0;
  transfer.in_head = false;
  transfer.head_complete = false;
  return CURL_PREREQFUNC_OK;
}

void EnsureCurlInitialised() {
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  static_cast<void>(init);
}

void ApplyProxy(CURL* easy, const std::optional<HttpProxy>& proxy) {
  if (!proxy) {
    // An empty proxy name disables every proxy, including the environment's *_proxy variables.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    return;
  }
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy->host.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(proxy->port));
  curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  if (proxy->user.empty())
    return;
  curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy->user.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
}

void ApplyRequest(CURL* easy, const HttpGetSettings& settings, curl_slist* headers,
                  Transfer& transfer) {
  curl_easy_setopt(easy, CURLOPT_URL, settings.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kMaxHttpRedirects));
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);
  ApplyProxy(easy, settings.proxy);
}

std::string TransportFailureText(CURL* easy, CURLcode code, const Transfer& transfer) {
  if (transfer.head_too_large)
    return kHttpHeadTooLargeText;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kHttpResolveFailedText;
    case CURLE_OPERATION_TIMEDOUT:
      return kHttpTimeoutText;
    case CURLE_TOO_MANY_REDIRECTS:
      return kHttpTooManyRedirectsText;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // Also what curl says about an answer without a status line.
      return transfer.status_line.empty() ? kHttpBadResponseText : kHttpPlainOnlyText;
    case CURLE_OUT_OF_MEMORY:
      // curl refuses a single header line of more than 100 KiB this way.
      return transfer.head_complete ? curl_easy_strerror(code) : kHttpHeadTooLargeText;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
      return kHttpBadResponseText;
    case CURLE_PARTIAL_FILE:
      return kHttpCutOffText;
    case CURLE_COULDNT_CONNECT: {
      long error = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &error);
      const std::string text = error != 0 ? std::generic_category().message(static_cast<int>(error))
                                          : std::string(curl_easy_strerror(code));
      return HttpConnectFailureText(text, error);
    }
    default:
      return curl_easy_strerror(code);
  }
}

// Runs the transfer to its end. Returns false when it was abandoned for inactivity or for
// taking longer than the total time-out.
bool RunTransfer(CURLM* multi, const HttpGetSettings& settings, const Transfer& transfer) {
  const Clock::time_point deadline = Clock::now() + settings.total_timeout;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0)
      return true;
    curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    if (settings.pump)
      settings.pump();
    const Clock::time_point now = Clock::now();
    if (now - transfer.last_activity >= settings.inactivity_timeout || now >= deadline)
      return false;
  }
}

// The transfer's own result code, or an error code if the multi handle reports none.
CURLcode FinishedCode(CURLM* multi) {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE)
      return message->data.result;
  }
  return CURLE_FAILED_INIT;
}

HttpGetResult Get(const HttpGetSettings& settings) {
  HttpGetResult result;
  if (!HasPrefixText("http://", settings.url)) {
    result.reason = kHttpPlainOnlyText;
    return result;
  }
  EnsureCurlInitialised();
  OwnedPtr<CURL, curl_easy_cleanup> easy(curl_easy_init());
  OwnedPtr<CURLM, curl_multi_cleanup> multi(curl_multi_init());
  OwnedPtr<curl_slist, curl_slist_free_all> headers(curl_slist_append(nullptr, kAcceptHeader));
  if (!easy || !multi || !headers) {
    result.reason = FailurePattern(FailureMessage::kHttpNoMemory);
    return result;
  }
  Transfer transfer;
  ApplyRequest(easy.get(), settings, headers.get(), transfer);
  curl_multi_add_handle(multi.get(), easy.get());
  const bool finished = RunTransfer(multi.get(), settings, transfer);
  CURLcode code = finished ? FinishedCode(multi.get()) : CURLE_OPERATION_TIMEDOUT;
  curl_multi_remove_handle(multi.get(), easy.get());
  if (code == CURLE_WRITE_ERROR && transfer.capped)
    code = CURLE_OK;  // stopped on purpose: the caller gets the bytes received so far
  if (code != CURLE_OK) {
    result.reason = TransportFailureText(easy.get(), code, transfer);
    return result;
  }
  if (!transfer.head_complete) {
    // curl accepts a connection that closes inside the head as a complete answer.
    result.reason = transfer.status_line.empty() ? kHttpBadResponseText : kHttpCutOffText;
    return result;
  }
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  result.status = static_cast<int>(status);
  result.body = std::move(transfer.body);
  if (IsHttpFailureStatus(result.status)) {
    result.reason = HttpStatusFailureText(result.status, HttpReasonPhrase(transfer.status_line));
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace

HttpGetResult HttpGet(const HttpGetSettings& settings) {
  HttpGetResult result;
  std::string error;
  if (!RunReportingFailure([&] { result = Get(settings); }, error))
    result.reason = std::move(error);
  return result;
}

}  // namespace kv
