#include "base/FailureMessages.h"

namespace kv {

namespace {

// The placeholder number (1 to 9) at pattern[i], or 0 where there is none.
std::size_t PlaceholderAt(std::string_view pattern, std::size_t i) {
  if (pattern[i] != '%' || i + 1 >= pattern.size() || pattern[i + 1] < '1' || pattern[i + 1] > '9')
    return 0;
  return static_cast<std::size_t>(pattern[i + 1] - '0');
}

bool MatchFrom(std::string_view pattern, std::string_view text, std::vector<std::string>& values) {
  if (pattern.empty())
    return text.empty();
  const std::size_t number = PlaceholderAt(pattern, 0);
  if (number == 0)
    return !text.empty() && text[0] == pattern[0] &&
           MatchFrom(pattern.substr(1), text.substr(1), values);
  if (values.size() < number)
    values.resize(number);
  for (std::size_t length = 0; length <= text.size(); ++length) {
    if (MatchFrom(pattern.substr(2), text.substr(length), values)) {
      values[number - 1] = std::string(text.substr(0, length));
      return true;
    }
  }
  return false;
}

template <typename Values>
std::string FillFrom(std::string_view pattern, const Values& values) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const std::size_t number = PlaceholderAt(pattern, i);
    if (number != 0 && number <= values.size()) {
      text += values.begin()[static_cast<std::ptrdiff_t>(number - 1)];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

}  // namespace

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
  return FillFrom(pattern, values);
}

std::string Fill(std::string_view pattern, const std::vector<std::string>& values) {
  return FillFrom(pattern, values);
}

std::string FailureMessageText(FailureMessage id, std::initializer_list<std::string_view> values) {
  return Fill(FailurePattern(id), values);
}

bool MatchPattern(std::string_view pattern, std::string_view text,
                  std::vector<std::string>& values) {
  values.clear();
  return MatchFrom(pattern, text, values);
}

}  // namespace kv
