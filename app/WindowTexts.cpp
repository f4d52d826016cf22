#include "app/WindowTexts.h"

#include <vector>

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
    {},  // the failures as the layers below word them
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
    {{
        {FailureMessage::kRuntimeErrorInFull, "VÝNIMKA %1 (%2) %3"},
        {FailureMessage::kCannotOpenFileBecause, "Súbor \"%1\" sa nedá otvoriť. %2"},
        {FailureMessage::kCannotOpenFile, "Súbor \"%1\" sa nedá otvoriť"},
        {FailureMessage::kCannotCreateFileBecause, "Súbor \"%1\" sa nedá vytvoriť. %2"},
        {FailureMessage::kCannotCreateFile, "Súbor \"%1\" sa nedá vytvoriť"},
        {FailureMessage::kStreamReadError, "Chyba pri čítaní súboru"},
        {FailureMessage::kStreamWriteError, "Chyba pri zápise do súboru"},
        {FailureMessage::kOutOfMemory, "Nedostatok pamäte"},
        {FailureMessage::kUnexpectedError, "Neočakávaná chyba"},
        {FailureMessage::kSystemError, "Systémová chyba %1"},
        {FailureMessage::kFileOverLimit,
         "Veľkosť súboru presahuje %1, ale najväčšia povolená veľkosť je %2"},
        {FailureMessage::kFileTooLarge,
         "Veľkosť súboru je %1, ale najväčšia povolená veľkosť je %2"},
        {FailureMessage::kLengthMismatch, "Vyhradená dĺžka [%1] <> veľkosť súboru [%2]"},
        {FailureMessage::kShortRead,
         "(Prečítané [%1] <> veľkosť súboru [%2]) alebo (prečítané <> vyhradená dĺžka [%3])"},
        {FailureMessage::kPipeSilent, "Do rúry sa do jednej sekundy nič nezapísalo"},
        {FailureMessage::kNotRestoredKept,
         "%1; jeho predchádzajúci obsah sa nepodarilo obnoviť (%2); je uložený v súbore \"%3\""},
        {FailureMessage::kNotRestored, "%1; jeho predchádzajúci obsah sa nepodarilo obnoviť: %2"},
        {FailureMessage::kNotOnDisk,
         "Nový inštalačný súbor \"%1\" je na svojom mieste, ale nepodarilo sa ho zapísať na disk: "
         "%2"},
        {FailureMessage::kFolderNotOnDisk,
         "Nový inštalačný súbor \"%1\" je na svojom mieste, ale jeho priečinok sa nepodarilo "
         "zapísať na disk: %2"},
        {FailureMessage::kStrictPaddingFails,
         "Nový inštalačný súbor \"%1\" neprejde prísnou kontrolou výplne certifikátu vo Windows, "
         "rovnako ako jeho zdroj"},
        {FailureMessage::kStreamsNotKept, "Jeho alternatívne dátové prúdy sa nedajú zachovať"},
        {FailureMessage::kAccessListNotKept, "Jeho zoznam prístupových práv sa nedá zachovať: %1"},
        {FailureMessage::kAttributesNotKept,
         "Jeho zoznamy prístupových práv a rozšírené atribúty sa nedajú zachovať: %1"},
        {FailureMessage::kNotARegularFile, "Nie je to bežný súbor"},
        {FailureMessage::kOtherUsersLink,
         "Symbolický odkaz, ktorý v zdieľanom priečinku vlastní iný používateľ, sa nenasleduje"},
        {FailureMessage::kOtherUsersFolder,
         "Do priečinka, ktorý v zdieľanom priečinku vlastní iný používateľ, sa nezapisuje"},
        {FailureMessage::kOtherUsersFile,
         "Súbor, ktorý v zdieľanom priečinku vlastní iný používateľ, sa nenahrádza"},
        {FailureMessage::kOutputLocked, "Iný program mal súbor 10 sekúnd zamknutý"},
        {FailureMessage::kSourceChanged, "Zdrojový súbor SETUP \"%1\" sa počas kopírovania zmenil"},
        {FailureMessage::kChecksumNotUpdatable,
         "Kontrolný súčet súboru Setup EXE sa nedá aktualizovať"},
        {FailureMessage::kOutputIsInput, "Výstupný súbor SETUP je ten istý súbor ako %1"},
        {FailureMessage::kSourceSetupFileRole, "zdrojový súbor SETUP"},
        {FailureMessage::kPackageFileRole, "zdrojový súbor K-VConfig.bin"},
        {FailureMessage::kAnswerFileRole, "zdrojový súbor AutoInstall.srg"},
        {FailureMessage::kStoreCancelled, "Ukladanie bolo zrušené"},
        {FailureMessage::kNoReadBack,
         "Z nového inštalačného súboru \"%1\" sa nedajú späť prečítať údaje, ktoré sa doň uložili"},
        {FailureMessage::kOutputNotRegular, "Výstupný súbor SETUP \"%1\" nie je bežný súbor"},
        {FailureMessage::kSourceNotRegular, "Zdrojový súbor SETUP \"%1\" nie je bežný súbor"},
        {FailureMessage::kNoConfigArea,
         "Nekompatibilný súbor Setup - inštalačný súbor neobsahuje vyhradené miesto na uloženie "
         "konfigurácie"},
        {FailureMessage::kConfigTooLarge, "Veľkosť konfiguračných údajov > %1"},
        {FailureMessage::kInvalidImageList, "Neplatný zoznam obrázkov"},
        {FailureMessage::kReplaceImageFailed, "Obrázok sa nedá nahradiť"},
        {FailureMessage::kPackageTooLarge, "Veľkosť súboru > 1MB"},
        {FailureMessage::kInvalidFormat, "Neplatný / nepodporovaný formát súboru"},
        {FailureMessage::kHttpResolveFailed, "názov hostiteľa sa nedá preložiť na IP adresu"},
        {FailureMessage::kHttpTimeout, "Požiadavka bola prerušená po uplynutí časového limitu"},
        {FailureMessage::kHttpTooManyRedirects, "príliš veľa presmerovaní"},
        {FailureMessage::kHttpPlainOnly, "podporovaný je len nezabezpečený protokol HTTP"},
        {FailureMessage::kHttpCutOff, "spojenie sa ukončilo skôr, než prišla celá odpoveď"},
        {FailureMessage::kHttpHeadTooLarge, "hlavička odpovede je príliš veľká"},
        {FailureMessage::kHttpBadResponse, "neplatná odpoveď zo servera"},
        {FailureMessage::kHttpConnectFailed, "nedá sa pripojiť: %1 (chyba č. %2)"},
        {FailureMessage::kHttpNoMemory, "nedostatok pamäte"},
        {FailureMessage::kHttpInvalidProxyPort, "neplatný port proxy servera"},
        {FailureMessage::kHttpStatus, "stav HTTP %1"},
        {FailureMessage::kHttpBadRequest, "Chybná požiadavka"},
        {FailureMessage::kHttpForbidden, "Prístup zakázaný"},
        {FailureMessage::kHttpNotFound, "Nenájdené"},
        {FailureMessage::kHttpMethodNotAllowed, "Metóda nie je povolená"},
        {FailureMessage::kHttpRequestTimeout, "Časový limit požiadavky vypršal"},
        {FailureMessage::kHttpGone, "Už neexistuje"},
        {FailureMessage::kHttpInternalServerError, "Interná chyba servera"},
        {FailureMessage::kHttpBadGateway, "Chybná brána"},
        {FailureMessage::kHttpServiceUnavailable, "Služba nie je dostupná"},
        {FailureMessage::kHttpGatewayTimeout, "Časový limit brány vypršal"},
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
    {{
        {FailureMessage::kRuntimeErrorInFull, "VÝJIMKA %1 (%2) %3"},
        {FailureMessage::kCannotOpenFileBecause, "Soubor \"%1\" nelze otevřít. %2"},
        {FailureMessage::kCannotOpenFile, "Soubor \"%1\" nelze otevřít"},
        {FailureMessage::kCannotCreateFileBecause, "Soubor \"%1\" nelze vytvořit. %2"},
        {FailureMessage::kCannotCreateFile, "Soubor \"%1\" nelze vytvořit"},
        {FailureMessage::kStreamReadError, "Chyba při čtení souboru"},
        {FailureMessage::kStreamWriteError, "Chyba při zápisu do souboru"},
        {FailureMessage::kOutOfMemory, "Nedostatek paměti"},
        {FailureMessage::kUnexpectedError, "Neočekávaná chyba"},
        {FailureMessage::kSystemError, "Systémová chyba %1"},
        {FailureMessage::kFileOverLimit,
         "Velikost souboru přesahuje %1, ale největší povolená velikost je %2"},
        {FailureMessage::kFileTooLarge,
         "Velikost souboru je %1, ale největší povolená velikost je %2"},
        {FailureMessage::kLengthMismatch, "Vyhrazená délka [%1] <> velikost souboru [%2]"},
        {FailureMessage::kShortRead,
         "(Přečteno [%1] <> velikost souboru [%2]) nebo (přečteno <> vyhrazená délka [%3])"},
        {FailureMessage::kPipeSilent, "Do roury nebylo během jedné sekundy nic zapsáno"},
        {FailureMessage::kNotRestoredKept,
         "%1; jeho předchozí obsah se nepodařilo obnovit (%2); je uložen v souboru \"%3\""},
        {FailureMessage::kNotRestored, "%1; jeho předchozí obsah se nepodařilo obnovit: %2"},
        {FailureMessage::kNotOnDisk,
         "Nový instalační soubor \"%1\" je na svém místě, ale nepodařilo se jej zapsat na disk: "
         "%2"},
        {FailureMessage::kFolderNotOnDisk,
         "Nový instalační soubor \"%1\" je na svém místě, ale jeho složku se nepodařilo zapsat na "
         "disk: %2"},
        {FailureMessage::kStrictPaddingFails,
         "Nový instalační soubor \"%1\" neprojde přísnou kontrolou výplně certifikátu ve Windows, "
         "stejně jako jeho zdroj"},
        {FailureMessage::kStreamsNotKept, "Jeho alternativní datové proudy nelze zachovat"},
        {FailureMessage::kAccessListNotKept, "Jeho seznam přístupových práv nelze zachovat: %1"},
        {FailureMessage::kAttributesNotKept,
         "Jeho seznamy přístupových práv a rozšířené atributy nelze zachovat: %1"},
        {FailureMessage::kNotARegularFile, "Nejde o běžný soubor"},
        {FailureMessage::kOtherUsersLink,
         "Symbolický odkaz, který ve sdílené složce vlastní jiný uživatel, se nenásleduje"},
        {FailureMessage::kOtherUsersFolder,
         "Do složky, kterou ve sdílené složce vlastní jiný uživatel, se nezapisuje"},
        {FailureMessage::kOtherUsersFile,
         "Soubor, který ve sdílené složce vlastní jiný uživatel, se nenahrazuje"},
        {FailureMessage::kOutputLocked, "Jiný program měl soubor 10 sekund zamčený"},
        {FailureMessage::kSourceChanged, "Zdrojový soubor SETUP \"%1\" se během kopírování změnil"},
        {FailureMessage::kChecksumNotUpdatable,
         "Kontrolní součet souboru Setup EXE nelze aktualizovat"},
        {FailureMessage::kOutputIsInput, "Výstupní soubor SETUP je tentýž soubor jako %1"},
        {FailureMessage::kSourceSetupFileRole, "zdrojový soubor SETUP"},
        {FailureMessage::kPackageFileRole, "zdrojový soubor K-VConfig.bin"},
        {FailureMessage::kAnswerFileRole, "zdrojový soubor AutoInstall.srg"},
        {FailureMessage::kStoreCancelled, "Ukládání bylo zrušeno"},
        {FailureMessage::kNoReadBack,
         "Z nového instalačního souboru \"%1\" nelze zpět přečíst data, která do něj byla uložena"},
        {FailureMessage::kOutputNotRegular, "Výstupní soubor SETUP \"%1\" není běžný soubor"},
        {FailureMessage::kSourceNotRegular, "Zdrojový soubor SETUP \"%1\" není běžný soubor"},
        {FailureMessage::kNoConfigArea,
         "Nekompatibilní soubor Setup - instalační soubor neobsahuje vyhrazené místo pro uložení "
         "konfigurace"},
        {FailureMessage::kConfigTooLarge, "Velikost konfiguračních dat > %1"},
        {FailureMessage::kInvalidImageList, "Neplatný seznam obrázků"},
        {FailureMessage::kReplaceImageFailed, "Obrázek nelze nahradit"},
        {FailureMessage::kPackageTooLarge, "Velikost souboru > 1MB"},
        {FailureMessage::kInvalidFormat, "Neplatný / nepodporovaný formát souboru"},
        {FailureMessage::kHttpResolveFailed, "název hostitele nelze přeložit na IP adresu"},
        {FailureMessage::kHttpTimeout, "Požadavek byl přerušen po vypršení časového limitu"},
        {FailureMessage::kHttpTooManyRedirects, "příliš mnoho přesměrování"},
        {FailureMessage::kHttpPlainOnly, "podporován je pouze nezabezpečený protokol HTTP"},
        {FailureMessage::kHttpCutOff, "spojení bylo ukončeno dříve, než dorazila celá odpověď"},
        {FailureMessage::kHttpHeadTooLarge, "hlavička odpovědi je příliš velká"},
        {FailureMessage::kHttpBadResponse, "neplatná odpověď ze serveru"},
        {FailureMessage::kHttpConnectFailed, "nelze se připojit: %1 (chyba č. %2)"},
        {FailureMessage::kHttpNoMemory, "nedostatek paměti"},
        {FailureMessage::kHttpInvalidProxyPort, "neplatný port proxy serveru"},
        {FailureMessage::kHttpStatus, "stav HTTP %1"},
        {FailureMessage::kHttpBadRequest, "Chybný požadavek"},
        {FailureMessage::kHttpForbidden, "Přístup zakázán"},
        {FailureMessage::kHttpNotFound, "Nenalezeno"},
        {FailureMessage::kHttpMethodNotAllowed, "Metoda není povolena"},
        {FailureMessage::kHttpRequestTimeout, "Časový limit požadavku vypršel"},
        {FailureMessage::kHttpGone, "Již neexistuje"},
        {FailureMessage::kHttpInternalServerError, "Interní chyba serveru"},
        {FailureMessage::kHttpBadGateway, "Chybná brána"},
        {FailureMessage::kHttpServiceUnavailable, "Služba není dostupná"},
        {FailureMessage::kHttpGatewayTimeout, "Časový limit brány vypršel"},
    }},
};

// True when both texts hold each placeholder %1 ... %9 equally often.
constexpr bool SamePlaceholders(std::string_view a, std::string_view b) {
  for (char digit = '1'; digit <= '9'; ++digit) {
    const char placeholder[] = {'%', digit};
    const std::string_view p(placeholder, 2);
    std::size_t in_a = 0;
    std::size_t in_b = 0;
    for (std::size_t at = a.find(p); at != std::string_view::npos; at = a.find(p, at + 2))
      ++in_a;
    for (std::size_t at = b.find(p); at != std::string_view::npos; at = b.find(p, at + 2))
      ++in_b;
    if (in_a != in_b)
      return false;
  }
  return true;
}

// Every failure a lower layer may report has its translation, with the same values in it: a new
// failure text does not build until it has one in each language.
constexpr bool TranslatesEveryFailure(const TWindowTexts& texts) {
  if (!CoversEveryFailure(texts.Failures, &TFailureTranslation::Id, &TFailureTranslation::Text))
    return false;
  for (const TFailureTranslation& row : texts.Failures) {
    if (!SamePlaceholders(FailurePattern(row.Id), row.Text))
      return false;
  }
  return true;
}
static_assert(TranslatesEveryFailure(kSlovak));
static_assert(TranslatesEveryFailure(kCzech));

// True when the pattern has the value in double quotes: a file name, shown as it is.
bool IsQuotedValue(std::string_view pattern, std::size_t index) {
  const char quoted[] = {'"', '%', static_cast<char>('1' + index), '"'};
  return pattern.find(std::string_view(quoted, sizeof quoted)) != std::string_view::npos;
}

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

std::string FailureInLanguage(std::string_view text, TUiLanguage language) {
  if (language == TUiLanguage::kEnglish)
    return std::string(text);
  const TWindowTexts& texts = WindowTexts(language);
  std::vector<std::string> values;
  for (const FailurePatternRow& row : kFailurePatterns) {
    if (!MatchPattern(row.english, text, values))
      continue;
    // Each pattern has literal text, so a value is shorter than the text it came from.
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!IsQuotedValue(row.english, i))
        values[i] = FailureInLanguage(values[i], language);
    }
    return Fill(texts.Failures[static_cast<std::size_t>(row.id)].Text, values);
  }
  return std::string(text);
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
