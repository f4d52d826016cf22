#include "app/WindowTexts.h"

namespace kv {

namespace {

constexpr unsigned kPrimaryLanguageMask = 0x3FF;
constexpr unsigned kLangCzech = 0x05;
constexpr unsigned kLangSlovak = 0x1B;

constexpr TWindowTexts kEnglish{
    "EN",
    "KV Setup configurator",
    "&Original SETUP file name",
    "KV &Server URL (for download K-VConfig.bin)",
    "K-VConfig.bin &file name   (also *.exe, *.msi with embedded K-VConfig may be used)",
    "&AutoInstall.srg file name   (also *.exe, *.msi with embedded AutoInstall may be used)",
    "Required for unattended installation. Leave blank for manual installation.",
    "Store to new SETUP",
    "Browse for the original SETUP file",
    "Browse for K-VConfig.bin",
    "Browse for AutoInstall.srg",
    "Show what a setup file holds...\tCtrl+I",
    "Show what the new setup file holds",

    "Choose original SETUP file",
    "Choose K-VConfig.bin",
    "Choose AutoInstall.srg",
    "Choose SETUP file to show",
    "Choose new SETUP file",
    "Setup Files|*.exe;*.msi|Setup EXE Files|*.exe|Setup MSI Files|*.msi|All Files (*.*)|*.*",
    "K-VConfig.bin (*.bin)|*.bin|All Files (*.*)|*.*",
    "AutoInstall.srg (*.srg)|*.srg|All Files (*.*)|*.*",
    "setup MSI file (*.msi)|*.msi|All Files (*.*)|*.*",
    "setup EXE file (*.exe)|*.exe|All Files (*.*)|*.*",

    "Error",
    "Warning",
    "Information",
    "OK",
    "Cancel",
    "&Ignore",

    "Original SETUP file name is not specified",
    "KV Server URL is not specified",
    "K-VConfig.bin file name is not specified",
    "K-VConfig.bin signature is INVALID.",
    "K-VConfig.bin signature is MISSING.",
    "K-VConfig.bin not found in %1",
    "AutoInstall.srg not found in %1",
    "Can't load K-VConfig data from %1 : %2",
    "Can't load AutoInstall data from %1 : %2",
    "Parsing KV Config data fail : %1",
    {"Saving K-VConfig.bin to new setup file fail:",
     "Saving K-VConfig.bin and AutoInstall.srg to new setup file fail:"},
    {"SIGNED K-VConfig.bin was saved to new setup file",
     "SIGNED K-VConfig.bin and AutoInstall.srg was saved to new setup file"},
    {"UNSIGNED K-VConfig.bin was saved to new setup file",
     "UNSIGNED K-VConfig.bin and AutoInstall.srg was saved to new setup file"},

    "Note",
    "Usage",
    "What the setup file holds",
    "Copy",
    "The text could not be put on the clipboard.",

    {"USAGE", "", "KVSetupConfigurator.exe [param1] [param2] ...", "",
     "Parameters: order of parameters is not important, and are case insensitive.", ""},
    {{
        {"-cf:<filename>",
         {"filename is source K-VConfig.bin or", "SETUP.exe / SETUP.msi with stored K-VConfig.bin",
          nullptr}},
        {"-cu:<KV server url>", {"URL for download K-VConfig.bin (if -cf is not used)"}},
        {"-ai:<filename>",
         {"filename is source AutoInstall.srg or",
          "SETUP.exe / SETUP.msi with stored AutoInstall.srg", nullptr}},
        {"-src:<filename>",
         {"source SETUP.exe / SETUP.msi file, from which output",
          "SETUP.exe / SETUP.msi will be cloned", nullptr}},
        {"-out:<filename>",
         {"output SETUP.exe / SETUP.msi file cloned from file",
          "specified by \"-src:\", where K-VConfig.bin and",
          "optional AutoInstall.srg will be stored"}},
        {"-list:<filename>",
         {"CSV list, one output per row: columns out, cf, cu, ai,",
          "paths relative to the list's folder, source -src:", nullptr}},
        {"-list:<folder>",
         {"with -out:<folder>: every configured setup file in the",
          "folder redone from -src: into the -out: folder", nullptr}},
        {"-receipt:<filename>",
         {"with -list: a JSON receipt with a row per output", nullptr, nullptr}},
    }},
};

constexpr TWindowTexts kSlovak{
    "SK",
    "Konfigurátor inštalácie KV",
    "Názov &pôvodného súboru SETUP",
    "&URL adresa KV servera (na stiahnutie K-VConfig.bin)",
    "Názov &súboru K-VConfig.bin   (možno použiť aj *.exe, *.msi s vloženým K-VConfig)",
    "Názov súboru &AutoInstall.srg   (možno použiť aj *.exe, *.msi s vloženým AutoInstall)",
    "Potrebné pre bezobslužnú inštaláciu. Pri ručnej inštalácii nechajte prázdne.",
    "Uložiť do nového SETUP",
    "Vyhľadať pôvodný súbor SETUP",
    "Vyhľadať K-VConfig.bin",
    "Vyhľadať AutoInstall.srg",
    "Zobraziť obsah inštalačného súboru...\tCtrl+I",
    "Zobraziť obsah nového inštalačného súboru",

    "Vyberte pôvodný súbor SETUP",
    "Vyberte K-VConfig.bin",
    "Vyberte AutoInstall.srg",
    "Vyberte súbor SETUP na zobrazenie",
    "Vyberte nový súbor SETUP",
    "Inštalačné súbory|*.exe;*.msi|Inštalačné súbory EXE|*.exe|Inštalačné súbory MSI|*.msi|"
    "Všetky súbory (*.*)|*.*",
    "K-VConfig.bin (*.bin)|*.bin|Všetky súbory (*.*)|*.*",
    "AutoInstall.srg (*.srg)|*.srg|Všetky súbory (*.*)|*.*",
    "inštalačný súbor MSI (*.msi)|*.msi|Všetky súbory (*.*)|*.*",
    "inštalačný súbor EXE (*.exe)|*.exe|Všetky súbory (*.*)|*.*",

    "Chyba",
    "Upozornenie",
    "Informácia",
    "OK",
    "Zrušiť",
    "&Ignorovať",

    "Nie je zadaný názov pôvodného súboru SETUP",
    "Nie je zadaná URL adresa KV servera",
    "Nie je zadaný názov súboru K-VConfig.bin",
    "Podpis K-VConfig.bin je NEPLATNÝ.",
    "Podpis K-VConfig.bin CHÝBA.",
    "K-VConfig.bin sa v súbore %1 nenašiel",
    "AutoInstall.srg sa v súbore %1 nenašiel",
    "Údaje K-VConfig sa nepodarilo načítať zo súboru %1 : %2",
    "Údaje AutoInstall sa nepodarilo načítať zo súboru %1 : %2",
    "Spracovanie údajov KV Config zlyhalo : %1",
    {"Uloženie K-VConfig.bin do nového inštalačného súboru zlyhalo:",
     "Uloženie K-VConfig.bin a AutoInstall.srg do nového inštalačného súboru zlyhalo:"},
    {"PODPÍSANÝ K-VConfig.bin bol uložený do nového inštalačného súboru",
     "PODPÍSANÝ K-VConfig.bin a AutoInstall.srg boli uložené do nového inštalačného súboru"},
    {"NEPODPÍSANÝ K-VConfig.bin bol uložený do nového inštalačného súboru",
     "NEPODPÍSANÝ K-VConfig.bin a AutoInstall.srg boli uložené do nového inštalačného súboru"},

    "Poznámka",
    "Použitie",
    "Obsah inštalačného súboru",
    "Kopírovať",
    "Text sa nepodarilo vložiť do schránky.",

    {"POUŽITIE", "", "KVSetupConfigurator.exe [param1] [param2] ...", "",
     "Parametre: na poradí parametrov nezáleží a veľkosť písmen sa nerozlišuje.", ""},
    {{
        {"-cf:<súbor>",
         {"súbor je zdrojový K-VConfig.bin alebo", "SETUP.exe / SETUP.msi s uloženým K-VConfig.bin",
          nullptr}},
        {"-cu:<URL KV servera>", {"URL na stiahnutie K-VConfig.bin (ak sa nepoužije -cf)"}},
        {"-ai:<súbor>",
         {"súbor je zdrojový AutoInstall.srg alebo",
          "SETUP.exe / SETUP.msi s uloženým AutoInstall.srg", nullptr}},
        {"-src:<súbor>",
         {"zdrojový súbor SETUP.exe / SETUP.msi, z ktorého sa",
          "naklonuje výstupný SETUP.exe / SETUP.msi", nullptr}},
        {"-out:<súbor>",
         {"výstupný súbor SETUP.exe / SETUP.msi, naklonovaný zo súboru",
          "zadaného v \"-src:\", do ktorého sa uloží K-VConfig.bin",
          "a voliteľne AutoInstall.srg"}},
        {"-list:<súbor>",
         {"zoznam CSV, jeden výstup na riadok: stĺpce out, cf, cu, ai,",
          "cesty relatívne k priečinku zoznamu, zdroj -src:", nullptr}},
        {"-list:<priečinok>",
         {"s -out:<priečinok>: každý nakonfigurovaný súbor setupu",
          "v priečinku sa znova vytvorí z -src: do priečinka -out:", nullptr}},
        {"-receipt:<súbor>",
         {"s -list: potvrdenie JSON s riadkom pre každý výstup", nullptr, nullptr}},
    }},
};

constexpr TWindowTexts kCzech{
    "CZ",
    "Konfigurátor instalace KV",
    "Název &původního souboru SETUP",
    "&URL adresa KV serveru (pro stažení K-VConfig.bin)",
    "Název &souboru K-VConfig.bin   (lze použít i *.exe, *.msi s vloženým K-VConfig)",
    "Název souboru &AutoInstall.srg   (lze použít i *.exe, *.msi s vloženým AutoInstall)",
    "Nutné pro bezobslužnou instalaci. Při ruční instalaci ponechte prázdné.",
    "Uložit do nového SETUP",
    "Vyhledat původní soubor SETUP",
    "Vyhledat K-VConfig.bin",
    "Vyhledat AutoInstall.srg",
    "Zobrazit obsah instalačního souboru...\tCtrl+I",
    "Zobrazit obsah nového instalačního souboru",

    "Vyberte původní soubor SETUP",
    "Vyberte K-VConfig.bin",
    "Vyberte AutoInstall.srg",
    "Vyberte soubor SETUP k zobrazení",
    "Vyberte nový soubor SETUP",
    "Instalační soubory|*.exe;*.msi|Instalační soubory EXE|*.exe|Instalační soubory MSI|*.msi|"
    "Všechny soubory (*.*)|*.*",
    "K-VConfig.bin (*.bin)|*.bin|Všechny soubory (*.*)|*.*",
    "AutoInstall.srg (*.srg)|*.srg|Všechny soubory (*.*)|*.*",
    "instalační soubor MSI (*.msi)|*.msi|Všechny soubory (*.*)|*.*",
    "instalační soubor EXE (*.exe)|*.exe|Všechny soubory (*.*)|*.*",

    "Chyba",
    "Upozornění",
    "Informace",
    "OK",
    "Zrušit",
    "&Ignorovat",

    "Není zadán název původního souboru SETUP",
    "Není zadána URL adresa KV serveru",
    "Není zadán název souboru K-VConfig.bin",
    "Podpis K-VConfig.bin je NEPLATNÝ.",
    "Podpis K-VConfig.bin CHYBÍ.",
    "K-VConfig.bin nebyl v souboru %1 nalezen",
    "AutoInstall.srg nebyl v souboru %1 nalezen",
    "Data K-VConfig se nepodařilo načíst ze souboru %1 : %2",
    "Data AutoInstall se nepodařilo načíst ze souboru %1 : %2",
    "Zpracování dat KV Config selhalo : %1",
    {"Uložení K-VConfig.bin do nového instalačního souboru selhalo:",
     "Uložení K-VConfig.bin a AutoInstall.srg do nového instalačního souboru selhalo:"},
    {"PODEPSANÝ K-VConfig.bin byl uložen do nového instalačního souboru",
     "PODEPSANÝ K-VConfig.bin a AutoInstall.srg byly uloženy do nového instalačního souboru"},
    {"NEPODEPSANÝ K-VConfig.bin byl uložen do nového instalačního souboru",
     "NEPODEPSANÝ K-VConfig.bin a AutoInstall.srg byly uloženy do nového instalačního souboru"},

    "Poznámka",
    "Použití",
    "Obsah instalačního souboru",
    "Kopírovat",
    "Text se nepodařilo vložit do schránky.",

    {"POUŽITÍ", "", "KVSetupConfigurator.exe [param1] [param2] ...", "",
     "Parametry: na pořadí parametrů nezáleží a velikost písmen se nerozlišuje.", ""},
    {{
        {"-cf:<soubor>",
         {"soubor je zdrojový K-VConfig.bin nebo", "SETUP.exe / SETUP.msi s uloženým K-VConfig.bin",
          nullptr}},
        {"-cu:<URL KV serveru>", {"URL pro stažení K-VConfig.bin (pokud není použit -cf)"}},
        {"-ai:<soubor>",
         {"soubor je zdrojový AutoInstall.srg nebo",
          "SETUP.exe / SETUP.msi s uloženým AutoInstall.srg", nullptr}},
        {"-src:<soubor>",
         {"zdrojový soubor SETUP.exe / SETUP.msi, ze kterého se",
          "naklonuje výstupní SETUP.exe / SETUP.msi", nullptr}},
        {"-out:<soubor>",
         {"výstupní soubor SETUP.exe / SETUP.msi, naklonovaný ze souboru",
          "zadaného v \"-src:\", do kterého se uloží K-VConfig.bin",
          "a volitelně AutoInstall.srg"}},
        {"-list:<soubor>",
         {"seznam CSV, jeden výstup na řádek: sloupce out, cf, cu, ai,",
          "cesty relativní ke složce seznamu, zdroj -src:", nullptr}},
        {"-list:<složka>",
         {"s -out:<složka>: každý nakonfigurovaný soubor setupu",
          "ve složce se znovu vytvoří z -src: do složky -out:", nullptr}},
        {"-receipt:<soubor>",
         {"s -list: potvrzení JSON s řádkem pro každý výstup", nullptr, nullptr}},
    }},
};

}  // namespace

TUiLanguage UiLanguageOf(unsigned language_id) {
  switch (language_id & kPrimaryLanguageMask) {
    case kLangSlovak:
      return TUiLanguage::kSlovak;
    case kLangCzech:
      return TUiLanguage::kCzech;
    default:
      return TUiLanguage::kEnglish;
  }
}

const TWindowTexts& WindowTexts(TUiLanguage language) {
  switch (language) {
    case TUiLanguage::kSlovak:
      return kSlovak;
    case TUiLanguage::kCzech:
      return kCzech;
    case TUiLanguage::kEnglish:
      break;
  }
  return kEnglish;
}

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    const std::size_t index = static_cast<std::size_t>(next - '1');
    if (pattern[i] == '%' && next >= '1' && next <= '9' && index < values.size()) {
      text += values.begin()[index];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

std::string WithoutMnemonic(std::string_view caption) {
  std::string name;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size())
      ++i;
    name += caption[i];
  }
  return name;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text)
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace kv
