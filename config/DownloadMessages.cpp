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

}  // namespace

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
