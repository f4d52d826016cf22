// The download's message table: seven English texts, each with its Slovak and Czech translation
// in Windows-1250 bytes. LookupMessage (declared in DownloadPackage.h) reads it.
#pragma once

#include <string>

namespace kv {

enum class DownloadLanguage { kNone, kEnglish, kSlovak, kCzech };

// "EN", "SK" or "CZ" in any letter case; any other code selects no table.
DownloadLanguage SelectDownloadLanguage(const std::string& code);

// The translation of english (compared ASCII case-insensitive) in the table of language, or
// english itself for kNone, kEnglish or a text that is not in the table.
std::string TranslateDownloadMessage(const std::string& english, DownloadLanguage language);

// The Windows-1250 text in UTF-8, the program's encoding of text.
std::string Windows1250ToUtf8(const std::string& text);

}  // namespace kv
