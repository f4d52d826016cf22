// A small HTTP server on 127.0.0.1 for the download tests. It serves one connection at a time on
// its own thread: reads the request head, asks the handler what to do and closes the connection.
// The same code runs natively and, built for Windows, under Wine.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kv::test {

struct SeenRequest {
  std::string method;
  std::string target;   // as sent: a path, or an absolute URL when sent to a proxy
  std::string version;  // "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;
  // The value of a header (name compared ASCII case-insensitive), empty when absent.
  std::string Header(const std::string& name) const;
};

struct Reply {
  enum class Kind {
    kSend,     // send bytes, then close
    kSilent,   // send nothing and keep the connection open until the client gives up
    kEndless,  // send bytes, then repeat without end until the client gives up
    kTrickle,  // send bytes, then repeat one byte every interval until the client gives up
  };
  Kind kind = Kind::kSend;
  std::string bytes;
  // What kEndless and kTrickle repeat (default: body bytes 'x').
  std::string repeat{};
  std::chrono::milliseconds interval{100};  // kTrickle only
};

using Handler = std::function<Reply(const SeenRequest&)>;

class TestHttpServer {
 public:
  explicit TestHttpServer(Handler handler);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;
  std::vector<SeenRequest> Requests() const;

 private:
  void Serve();
  void ServeConnection(std::intptr_t connection);

  Handler handler_;
  std::intptr_t listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<SeenRequest> requests_;
  std::thread thread_;
};

// A complete response with Content-Length and Connection: close.
std::string HttpResponse(int status, const std::string& reason, const std::string& body,
                         const std::string& extra_headers = "");
// A TCP port on 127.0.0.1 on which nothing listens.
std::uint16_t ClosedPort();
// The user name of a "Proxy-Authorization: Basic ..." header.
std::optional<std::string> ProxyUserName(const SeenRequest& request);
// The password of the same header.
std::optional<std::string> ProxyPassword(const SeenRequest& request);
// The highest memory use of this process so far, in bytes (resident set or working set).
std::size_t PeakMemoryBytes();
// Sets an environment variable of this process (empty value: removes it).
void SetEnvironmentValue(const std::string& name, const std::string& value);

}  // namespace kv::test
