#include "config/DownloadMessages.h"

#include "config/DownloadPackage.h"
#include "setupfile/ZNTUtils.h"

namespace kv {
namespace {

struct MessageRow {
  const char* english;
  const char* slovak;  // Windows-1250
  const char* czech;   // Windows-1250
};

// Adjacent literals keep a letter that is also a hex digit out of the preceding byte escape.
constexpr MessageRow kMessages[] = {
    {"Error", "Chyba", "Chyba"},
    {"Unknown Error", "Nezn\xE1ma chyba", "Nezn\xE1ma chyba"},
    {"Undefined KV server URL", "Nedefinovan\xE1 adresa KV servera",
     "Nedefinovan\xE1 adresa KV servera"},
    {"Undefined target file name",
     "Nedefinovan\xE9 meno cie\xBEov\xE9ho s\xFA"
     "boru",
     "Nedefinovan\xE9 jm\xE9no c\xEDlov\xE9ho souboru"},
    {"Saving file \"%s\" fail",
     "Zlyhalo ulo\x9E"
     "enie s\xFA"
     "boru \"%s\"",
     "Selhalo ulo\x9E"
     "en\xED souboru \"%s\""},
    {"Wrong server response", "Chybn\xE1 odpove\xEF zo servera",
     "Chybn\xE1 odpov\xEC\xEF ze servera"},
    {"Error : %s", "Chyba : %s", "Chyba : %s"},
};

// The characters of the bytes 0x80 to 0xFF in Windows-1250; U+FFFD where the code page has none.
constexpr char16_t kWindows1250High[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021, 0xFFFD, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

void AppendUtf8(std::string& text, char16_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Windows1250ToUtf8(const std::string& text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (const char byte : text) {
    const auto value = static_cast<unsigned char>(byte);
    AppendUtf8(utf8, value < 0x80 ? static_cast<char16_t>(value) : kWindows1250High[value - 0x80]);
  }
  return utf8;
}

DownloadLanguage SelectDownloadLanguage(const std::string& code) {
  if (EqualsIgnoreAsciiCase(code, "EN"))
    return DownloadLanguage::kEnglish;
  if (EqualsIgnoreAsciiCase(code, "SK"))
    return DownloadLanguage::kSlovak;
  if (EqualsIgnoreAsciiCase(code, "CZ"))
    return DownloadLanguage::kCzech;
  return DownloadLanguage::kNone;
}

std::string TranslateDownloadMessage(const std::string& english, DownloadLanguage language) {
  if (language != DownloadLanguage::kSlovak && language != DownloadLanguage::kCzech)
    return english;
  for (const MessageRow& row : kMessages) {
    if (EqualsIgnoreAsciiCase(english, row.english))
      return language == DownloadLanguage::kSlovak ? row.slovak : row.czech;
  }
  return english;
}

std::string LookupMessage(const std::string& english, const std::string& language) {
  return TranslateDownloadMessage(english, SelectDownloadLanguage(language));
}

}  // namespace kv
