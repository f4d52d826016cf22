#include <windows.h>

#include "base/WinText_win32.h"

#include <limits>

#include "base/FailureMessages.h"

namespace kv {

namespace {

// The API counts characters in an int.
constexpr std::size_t kMaxCount = static_cast<std::size_t>(std::numeric_limits<int>::max());

unsigned long system_error_language = kSystemErrorLanguageEnglish;

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > kMaxCount)
    return {};
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (n <= 0)
    return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty() || text.size() > kMaxCount)
    return {};
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0)
    return {};
  std::string narrow(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

void SetSystemErrorLanguage(unsigned long language_id) {
  system_error_language = language_id;
}

std::string SystemMessageText(unsigned long error, void* module) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if (module != nullptr)
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  wchar_t* buffer = nullptr;
  DWORD n = ::FormatMessageW(flags, module, error, system_error_language,
                             reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 && system_error_language != kSystemErrorLanguageUser) {
    n = ::FormatMessageW(flags, module, error, kSystemErrorLanguageUser,
                         reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  }
  std::wstring text = n > 0 ? std::wstring(buffer, n) : std::wstring();
  if (buffer != nullptr)
    ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.pop_back();
  }
  return WideToUtf8(text);
}

std::string SystemErrorText(unsigned long error) {
  const std::string text = SystemMessageText(error, nullptr);
  return text.empty() ? FailureMessageText(FailureMessage::kSystemError, {std::to_string(error)})
                      : text;
}

}  // namespace kv
