// Downloads the package text from the KV server with one HTTP GET (several when a proxy account
// is given), checks that the body looks like a package and returns the body or a message in the
// selected language (UTF-8). Never throws.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "net/HttpClient.h"

namespace kv {

// Called at least once a second while a request waits for the network.
using PumpHook = std::function<void()>;

// Returns true with the body in result, or false with the error message in result.
bool DownloadPackage(const std::string& language, const std::string& expected_start,
                     const std::string& url, const std::string& proxy_host,
                     const std::string& proxy_port, const std::string& proxy_user,
                     const std::string& proxy_password, std::string& result,
                     const PumpHook& pump = {});

// The HTTP client and the inactivity time-out of each attempt; tests replace them.
struct DownloadOptions {
  HttpGetFunction get = HttpGet;
  std::chrono::milliseconds timeout = kDefaultHttpInactivityTimeout;
};

// As above, with the client and time-out taken from options.
bool DownloadPackage(const std::string& language, const std::string& expected_start,
                     const std::string& url, const std::string& proxy_host,
                     const std::string& proxy_port, const std::string& proxy_user,
                     const std::string& proxy_password, std::string& result, const PumpHook& pump,
                     const DownloadOptions& options);

// The translation of an English message in the table of language ("EN", "SK", "CZ").
std::string LookupMessage(const std::string& english, const std::string& language);

}  // namespace kv
