// Windows text conversions shared by the platform backends: UTF-8 byte strings to and from the
// wide strings of the Win32 API, and the system's message text for an error number.
#pragma once

#include <string>

namespace kv {

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// The system's message for an error number, without its trailing line end and full stop;
// "System error N" when the system has none.
std::string SystemErrorText(unsigned long error);
// The message of an error number from a module's message table or the system's; empty when
// neither has one.
std::string SystemMessageText(unsigned long error, void* module);

}  // namespace kv
