#include "net/HttpClient.h"

#include "setupfile/ZNTUtils.h"

namespace kv {

bool IsHttpFailureStatus(int status) {
  return status >= 400 && status != 401 && status != 407;
}

std::string HttpConnectFailureText(const std::string& system_text, long number) {
  return FailureMessageText(FailureMessage::kHttpConnectFailed,
                            {system_text, std::to_string(number)});
}

std::string HttpReasonPhrase(const std::string& status_line) {
  // "HTTP/x.y" SP status-code SP reason-phrase CRLF
  const std::size_t code = status_line.find(' ');
  if (code == std::string::npos)
    return {};
  const std::size_t phrase = status_line.find(' ', code + 1);
  if (phrase == std::string::npos)
    return {};
  return std::string(TrimControl(std::string_view(status_line).substr(phrase + 1)));
}

std::string HttpStatusFailureText(int status, const std::string& phrase) {
  if (!phrase.empty())
    return phrase;
  return FailureMessageText(FailureMessage::kHttpStatus, {std::to_string(status)});
}

}  // namespace kv
