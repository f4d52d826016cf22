// The one conversion between the program's UTF-8 byte strings and the wide strings of the Win32
// API (the program runs with UTF-8 as its ANSI code page, so the two agree), and the system's
// message text for an error number. Windows only.
#pragma once

#include <string>

namespace kv {

// Invalid sequences become U+FFFD; a text the API cannot count (2 GiB or more) becomes empty.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// The language system error texts are asked for in: a Windows language identifier; US English
// (the unattended run's console output) unless the windows set the user's language (0).
inline constexpr unsigned long kSystemErrorLanguageEnglish = 0x0409;
inline constexpr unsigned long kSystemErrorLanguageUser = 0;
void SetSystemErrorLanguage(unsigned long language_id);

// The system's message for an error number, without its trailing line end and full stop, in the
// language set (in any the system has when it has none in that one); "System error N" when the
// system has none.
std::string SystemErrorText(unsigned long error);
// The message of an error number from a module's message table or the system's; empty when
// neither has one.
std::string SystemMessageText(unsigned long error, void* module);

}  // namespace kv
