#include "tests/net/TestHttpServer.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <psapi.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "setupfile/ZNTUtils.h"

namespace kv::test {
namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr int kSendFlags = 0;
void CloseSocket(Socket s) {
  ::closesocket(s);
}
void StartSockets() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  static_cast<void>(started);
}
#else
using Socket = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
void CloseSocket(Socket s) {
  ::close(s);
}
void StartSockets() {}
#endif

constexpr int kWaitMilliseconds = 50;
constexpr std::size_t kMaxHeadBytes = 65536;
constexpr std::size_t kEndlessChunkBytes = 65536;

Socket AsSocket(std::intptr_t value) {
  return static_cast<Socket>(value);
}

// Waits until the socket can be read (or written); false after kWaitMilliseconds.
bool WaitReady(Socket s, bool for_write) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{0, kWaitMilliseconds * 1000};
  const int n = ::select(static_cast<int>(s) + 1, for_write ? nullptr : &set,
                         for_write ? &set : nullptr, nullptr, &wait);
  return n > 0;
}

Socket ListenOnLoopback(std::uint16_t& port) {
  StartSockets();
  const Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(s, 16) != 0) {
    CloseSocket(s);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t size = sizeof(address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  port = ntohs(address.sin_port);
  return s;
}

// Parses "METHOD target VERSION" and the header lines of a request head.
SeenRequest ParseHead(const std::string& head) {
  SeenRequest request;
  std::size_t line_end = head.find("\r\n");
  const std::string first = head.substr(0, line_end);
  const std::size_t a = first.find(' ');
  const std::size_t b = first.find(' ', a + 1);
  request.method = first.substr(0, a);
  request.target = first.substr(a + 1, b - a - 1);
  request.version = b == std::string::npos ? "" : first.substr(b + 1);
  while (line_end != std::string::npos) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string line = head.substr(start, line_end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos)
      continue;
    request.headers.emplace_back(line.substr(0, colon),
                                 std::string(TrimControl(line.substr(colon + 1))));
  }
  return request;
}

bool SendAll(Socket s, const std::string& bytes, const std::atomic<bool>& stopping) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (stopping)
      return false;
    if (!WaitReady(s, true))
      continue;
    const int n = ::send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), kSendFlags);
    if (n <= 0)
      return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Sends one byte of pattern after another, every interval, until the peer is gone or the
// server stops.
void Trickle(Socket s, const std::string& pattern, std::chrono::milliseconds interval,
             const std::atomic<bool>& stopping) {
  for (std::size_t next = 0;; next = (next + 1) % pattern.size()) {
    if (!SendAll(s, pattern.substr(next, 1), stopping))
      return;
    const auto due = std::chrono::steady_clock::now() + interval;
    while (std::chrono::steady_clock::now() < due) {
      if (stopping)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

// Holds the connection until the peer closes it or the server stops.
void WaitForClose(Socket s, const std::atomic<bool>& stopping) {
  char byte;
  while (!stopping) {
    if (WaitReady(s, false) && ::recv(s, &byte, 1, 0) <= 0)
      return;
  }
}

std::string DecodeBase64(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    const std::size_t value = kAlphabet.find(c);
    if (value == std::string::npos)
      break;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

std::optional<std::string> BasicCredentials(const SeenRequest& request) {
  const std::string value = request.Header("Proxy-Authorization");
  if (!HasPrefixText("Basic ", value))
    return std::nullopt;
  return DecodeBase64(value.substr(6));
}

}  // namespace

std::string SeenRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreAsciiCase(key, name))
      return value;
  }
  return {};
}

TestHttpServer::TestHttpServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = static_cast<std::intptr_t>(ListenOnLoopback(port_));
  thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
  stopping_ = true;
  thread_.join();
  CloseSocket(AsSocket(listener_));
}

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<SeenRequest> TestHttpServer::Requests() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TestHttpServer::Serve() {
  while (!stopping_) {
    if (!WaitReady(AsSocket(listener_), false))
      continue;
    const Socket connection = ::accept(AsSocket(listener_), nullptr, nullptr);
    ServeConnection(static_cast<std::intptr_t>(connection));
    CloseSocket(connection);
  }
}

void TestHttpServer::ServeConnection(std::intptr_t value) {
  const Socket connection = AsSocket(value);
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHeadBytes) {
    if (stopping_)
      return;
    if (!WaitReady(connection, false))
      continue;
    const int n = ::recv(connection, buffer, sizeof(buffer), 0);
    if (n <= 0)
      return;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const SeenRequest request = ParseHead(head.substr(0, head.find("\r\n\r\n")));
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  const Reply reply = handler_(request);
  if (!SendAll(connection, reply.bytes, stopping_))
    return;
  if (reply.kind == Reply::Kind::kSilent)
    WaitForClose(connection, stopping_);
  if (reply.kind != Reply::Kind::kEndless && reply.kind != Reply::Kind::kTrickle)
    return;
  const std::string repeat = reply.repeat.empty() ? std::string(1, 'x') : reply.repeat;
  if (reply.kind == Reply::Kind::kTrickle) {
    Trickle(connection, repeat, reply.interval, stopping_);
    return;
  }
  // Whole copies of the pattern, about kEndlessChunkBytes at a time.
  std::string chunk;
  while (chunk.size() < kEndlessChunkBytes)
    chunk += repeat;
  while (SendAll(connection, chunk, stopping_)) {
  }
}

std::string HttpResponse(int status, const std::string& reason, const std::string& body,
                         const std::string& extra_headers) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n" + extra_headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::uint16_t ClosedPort() {
  std::uint16_t port = 0;
  CloseSocket(ListenOnLoopback(port));
  return port;
}

std::optional<std::string> ProxyUserName(const SeenRequest& request) {
  const std::optional<std::string> credentials = BasicCredentials(request);
  if (!credentials)
    return std::nullopt;
  return credentials->substr(0, credentials->find(':'));
}

std::optional<std::string> ProxyPassword(const SeenRequest& request) {
  const std::optional<std::string> credentials = BasicCredentials(request);
  if (!credentials || credentials->find(':') == std::string::npos)
    return std::nullopt;
  return credentials->substr(credentials->find(':') + 1);
}

std::size_t PeakMemoryBytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)))
    return 0;
  return counters.PeakWorkingSetSize;
#else
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;  // reported in KiB
#endif
}

void SetEnvironmentValue(const std::string& name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  if (value.empty())
    ::unsetenv(name.c_str());
  else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

}  // namespace kv::test
