// The store action driven through a scripted window over an in-memory file system, with a
// scripted HTTP client and the real parser (checking against the demo key): each case compares
// the ordered log of what the action did with the window, and what it left on disk.
#include "app/StoreAction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

#include "config/PackageParser.h"
#include "setupfile/SetupReader.h"
#include "setupfile/ZNTUtils.h"
#include "tests/support/FakeFileSystems.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

using Log = std::vector<std::string>;

const char* FieldName(TStoreField field) {
  switch (field) {
    case TStoreField::kOriginalSetupFile:
      return "source";
    case TStoreField::kKVServerURL:
      return "url";
    case TStoreField::kKVConfigFile:
      return "package";
    case TStoreField::kAutoinstallSRG:
      return "answer";
  }
  return "?";
}

const char* AnswerName(TMessageAnswer answer) {
  switch (answer) {
    case TMessageAnswer::kOk:
      return "OK";
    case TMessageAnswer::kCancel:
      return "Cancel";
    case TMessageAnswer::kIgnore:
      return "Ignore";
  }
  return "?";
}

// Answers from its script and logs every call the action makes.
class ScriptedWindow final : public TStoreWindow {
 public:
  std::map<TStoreField, std::string> fields;
  bool server_url = false;
  std::deque<TMessageAnswer> answers;  // for the questions, in order
  std::optional<std::string> save_as;  // none: the save dialog is cancelled
  std::function<void(ScriptedWindow&)> on_pump;
  std::function<void(ScriptedWindow&)> on_progress;  // the pump during the store's copy
  Log progress;                                      // "done/total" of each progress shown
  bool close_requested = false;
  bool message_fails = false;                    // showing a message box throws
  TUiLanguage language = TUiLanguage::kEnglish;  // of the titles
  Log log;
  TFileDialogSetup last_save;

  std::string ReadField(TStoreField field) override {
    log.push_back(std::string("read ") + FieldName(field));
    return fields[field];
  }
  bool ServerUrlSelected() override { return server_url; }
  void EnableStoreButton(bool enabled) override {
    log.push_back(enabled ? "button on" : "button off");
  }
  TMessageAnswer ShowMessageBox(const TMessageBoxContent& content) override {
    TMessageAnswer answer = TMessageAnswer::kOk;
    if (content.Buttons == TMessageButtons::kCancelIgnore) {
      answer = answers.empty() ? TMessageAnswer::kCancel : answers.front();
      if (!answers.empty())
        answers.pop_front();
    }
    log.push_back(std::string(MessageTitle(content.Kind, language)) + ": " + content.Text + " -> " +
                  AnswerName(answer));
    if (message_fails)
      throw std::runtime_error("no message box");
    return answer;
  }
  bool ChooseOutputFile(const TFileDialogSetup& setup, std::string& file_name) override {
    last_save = setup;
    log.push_back("save ." + setup.DefaultExt + " offering \"" + setup.FileName + "\" -> " +
                  (save_as ? *save_as : "cancel"));
    if (!save_as)
      return false;
    file_name = *save_as;
    return true;
  }
  void Pump() override {
    log.push_back("pump");
    if (on_pump)
      on_pump(*this);
  }
  void ShowProgress(std::int64_t done, std::int64_t total) override {
    // Figures told again while the store is busy are recorded once.
    const std::string figures = std::to_string(done) + "/" + std::to_string(total);
    if (progress.empty() || progress.back() != figures)
      progress.push_back(figures);
    if (on_progress)
      on_progress(*this);
  }
  bool CloseRequested() override { return close_requested; }
};

std::string SignedPackage() {
  const std::string folder = test::BinaryDir() + "/tests/config/signed/";
  const std::string signature = test::ReadFileBytes(folder + "crlf.sig");
  return test::ReadFileBytes(folder + "crlf.body") + "SIGNATURE=" + signature +
         CrcHexText(signature) + "\r\n";
}

const std::string kHeader = "Quillabrenthorst Configuration ver #2.00\r\n";
const std::string kUnsigned = kHeader + "KVSERVERURL=http://kv.example/\r\n";
const std::string kBadSignature = kUnsigned + "SIGNATURE=abc\r\n";
const std::string kNoUrl = kHeader + "RAURL=x\r\n";
const std::string kSource = "/w/setup.exe";
const std::string kMsiSource = "/w/SETUP.MSI";
const std::string kPackageFile = "/w/K-VConfig.bin";
const std::string kAnswerFile = "/w/AutoInstall.srg";
const std::string kOutput = "/w/out.exe";

// The scripted server answers every GET with the body (or fails with the reason), lets the
// window pump once while "waiting", and remembers the URL.
struct ScriptedServer {
  bool ok = true;
  std::string body = "";
  std::string url = "";
  std::string reason = "unreachable";  // of a failed GET

  TStoreServices Services() {
    TStoreServices services;
    services.Download.get = [this](const HttpGetSettings& settings) {
      url = settings.url;
      if (settings.pump)
        settings.pump();
      return HttpGetResult{ok, ok ? 200 : 0, ok ? body : "", ok ? "" : reason};
    };
    const std::string key = test::ReadFileBytes(test::SourceDir() + "/keys/demo-public.pem");
    services.Parse = [key](const std::string& text, TKVConfigBinData& data, std::string& error) {
      return ParseConfigPackageWithKey(text, data, error, key);
    };
    return services;
  }
};

struct Disk {
  test::MemoryFileSystem files;
  std::string source_bytes = test::WithConfigArea(test::MinimalPe() + std::string(5000, 's'), 4096);
  Disk() {
    files.Put(kSource, source_bytes);
    files.Put(kMsiSource, test::WithConfigArea(std::string(3000, 'm'), 4096));
  }
  std::string Blob(const std::string& file, const std::string& name) {
    ScopedFileSystem scope(files);
    std::string value = "<none>";
    ReadBlobFromSetup(file, name, value);
    return value;
  }
};

ScriptedWindow FileChoice(const std::string& package_file, std::optional<std::string> save_as,
                          const std::string& source = kSource) {
  ScriptedWindow window;
  window.fields[TStoreField::kOriginalSetupFile] = " " + source + "\t";
  window.fields[TStoreField::kKVConfigFile] = package_file;
  window.fields[TStoreField::kKVServerURL] = "http://ignored.example";
  window.save_as = std::move(save_as);
  return window;
}

// stored_file: the file the action then names as the one it stored.
Log RunAction(Disk& disk, ScriptedWindow& window, ScriptedServer server = {},
              std::string* stored_file = nullptr) {
  ScopedFileSystem scope(disk.files);
  TStoreToSetupAction action(server.Services());
  action.Run(window);
  if (stored_file)
    *stored_file = action.LastStoredFile();
  return window.log;
}

const std::string kReadUpToPackage[] = {"button off", "read source", "read package"};

Log Expect(std::initializer_list<std::string> middle) {
  Log log(std::begin(kReadUpToPackage), std::end(kReadUpToPackage));
  log.insert(log.end(), middle);
  log.push_back("button on");
  return log;
}

TEST(StoreActionTest, FileChoiceBranches) {
  struct Row {
    const char* name;
    std::string package;  // the package file's content; empty: no such file
    std::string package_field;
    std::deque<TMessageAnswer> answers;
    std::optional<std::string> save_as;
    Log log;
    std::string stored;  // the package stored in kOutput; empty: no output
  };
  const std::string big(1048577, 'x');
  const std::string saved = "was saved to new setup file\r\n\"" + kOutput + "\"";
  const Row rows[] = {
      {"blank package field",
       kUnsigned,
       " \t ",
       {},
       kOutput,
       Expect({"Error: K-VConfig.bin file name is not specified -> OK"}),
       ""},
      {"package file over 1 MiB",
       big,
       kPackageFile,
       {},
       kOutput,
       Expect({"Error: Can't load K-VConfig data from \"" + kPackageFile +
               "\" : File size is 1048577, but max allowed size is 1048576 -> OK"}),
       ""},
      {"package missing in a setup executable",
       kUnsigned,
       kSource,
       {},
       kOutput,
       Expect({"Error: K-VConfig.bin not found in \"" + kSource + "\" -> OK"}),
       ""},
      {"unparsable package",
       "garbage",
       kPackageFile,
       {},
       kOutput,
       Expect({"Error: Parsing KV Config data fail : Invalid / unsupported file format -> OK"}),
       ""},
      {"package without server URL ends silently",
       kNoUrl,
       kPackageFile,
       {},
       kOutput,
       Expect({}),
       ""},
      {"valid signature: no question",
       SignedPackage(),
       kPackageFile,
       {},
       kOutput,
       Expect({"read answer", "save .exe offering \"\" -> " + kOutput,
               "Information: SIGNED K-VConfig.bin " + saved + " -> OK"}),
       SignedPackage()},
      {"invalid signature, Ignore",
       kBadSignature,
       kPackageFile,
       {TMessageAnswer::kIgnore},
       kOutput,
       Expect({"Warning: K-VConfig.bin signature is INVALID. -> Ignore", "read answer",
               "save .exe offering \"\" -> " + kOutput,
               "Warning: UNSIGNED K-VConfig.bin " + saved + " -> OK"}),
       kBadSignature},
      {"missing signature, Ignore",
       kUnsigned,
       kPackageFile,
       {TMessageAnswer::kIgnore},
       kOutput,
       Expect({"Warning: K-VConfig.bin signature is MISSING. -> Ignore", "read answer",
               "save .exe offering \"\" -> " + kOutput,
               "Warning: UNSIGNED K-VConfig.bin " + saved + " -> OK"}),
       kUnsigned},
      {"invalid signature, Cancel",
       kBadSignature,
       kPackageFile,
       {TMessageAnswer::kCancel},
       kOutput,
       Expect({"Warning: K-VConfig.bin signature is INVALID. -> Cancel"}),
       ""},
      {"missing signature, Cancel",
       kUnsigned,
       kPackageFile,
       {TMessageAnswer::kCancel},
       kOutput,
       Expect({"Warning: K-VConfig.bin signature is MISSING. -> Cancel"}),
       ""},
      {"save dialog cancelled",
       SignedPackage(),
       kPackageFile,
       {},
       std::nullopt,
       Expect({"read answer", "save .exe offering \"\" -> cancel"}),
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Disk disk;
    disk.files.Put(kPackageFile, row.package);
    ScriptedWindow window = FileChoice(row.package_field, row.save_as);
    window.answers = row.answers;
    std::string stored_file;
    EXPECT_EQ(RunAction(disk, window, {}, &stored_file), row.log);
    EXPECT_EQ(stored_file, row.stored.empty() ? "" : kOutput);
    EXPECT_EQ(disk.files.Exists(kOutput), !row.stored.empty());
    // A store shows its copy's progress from 0 up to the whole source, which is what it wrote.
    const std::string size = std::to_string(disk.source_bytes.size());
    const Log shown = {"0/" + size, size + "/" + size};
    EXPECT_EQ(window.progress, row.stored.empty() ? Log{} : shown);
    if (!row.stored.empty()) {
      EXPECT_EQ(disk.Blob(kOutput, "KVConfig"), row.stored);
    }
    EXPECT_EQ(disk.files.Get(kSource), disk.source_bytes);
    EXPECT_EQ(disk.files.Get(kPackageFile), row.package);
  }
}

TEST(StoreActionTest, SourceAndServerChoice) {
  struct Row {
    const char* name;
    std::string source_field;
    std::string url_field;
    ScriptedServer server;
    Log log;
    std::string url;  // requested
  };
  const Row rows[] = {
      {"empty source",
       "",
       "http://kv.example",
       {},
       {"button off", "read source", "Error: Original SETUP file name is not specified -> OK",
        "button on"},
       ""},
      {"blank source",
       " \t\r\n",
       "http://kv.example",
       {},
       {"button off", "read source", "Error: Original SETUP file name is not specified -> OK",
        "button on"},
       ""},
      // The package file field holds a name, but the download choice is selected.
      {"blank URL",
       kSource,
       "  ",
       {},
       {"button off", "read source", "read url", "Error: KV Server URL is not specified -> OK",
        "button on"},
       ""},
      {"unparsable download",
       kSource,
       " http://kv.example/a/ ",
       {true, "<html>"},
       {"button off", "read source", "read url", "pump", "Error: Wrong server response -> OK",
        "button on"},
       "http://kv.example/a//kvconfig_bin.php"},
      {"download fails",
       kSource,
       "kv.example",
       {false},
       {"button off", "read source", "read url", "pump", "Error: Error : unreachable -> OK",
        "button on"},
       "http://kv.example/kvconfig_bin.php"},
      {"downloaded signed package",
       kSource,
       "http://kv.example",
       {true, SignedPackage()},
       {"button off", "read source", "read url", "pump", "read answer",
        "save .exe offering \"\" -> " + kOutput,
        "Information: SIGNED K-VConfig.bin was saved to new setup file\r\n\"" + kOutput +
            "\" -> OK",
        "button on"},
       "http://kv.example/kvconfig_bin.php"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Disk disk;
    ScriptedWindow window = FileChoice(kPackageFile, kOutput);
    window.fields[TStoreField::kOriginalSetupFile] = row.source_field;
    window.fields[TStoreField::kKVServerURL] = row.url_field;
    window.server_url = true;
    ScriptedServer server = row.server;
    {
      ScopedFileSystem scope(disk.files);
      TStoreToSetupAction action(server.Services());
      action.Run(window);
    }
    EXPECT_EQ(window.log, row.log);
    EXPECT_EQ(server.url, row.url);
  }
}

// In Slovak and Czech every message, title and dialog of the action is in that language, also the
// downloader's (converted from its Windows-1250 table).
TEST(StoreActionTest, SlovakAndCzechMessages) {
  struct Row {
    TUiLanguage language;
    bool server_url;
    std::string source_field;
    ScriptedServer server;
    std::string message;  // the last message box: "Title: text"
    std::string save_title;
  };
  const Row rows[] = {
      {TUiLanguage::kSlovak, true, "", {}, "Chyba: Nie je zadaný názov pôvodného súboru SETUP", ""},
      {TUiLanguage::kCzech,
       false,
       kSource,
       {},
       "Chyba: Není zadán název souboru K-VConfig.bin",
       ""},
      {TUiLanguage::kSlovak, true, kSource, {false}, "Chyba: Chyba : unreachable", ""},
      {TUiLanguage::kCzech,
       true,
       kSource,
       {true, "<html>"},
       "Chyba: Chybná odpověď ze servera",
       ""},
      {TUiLanguage::kSlovak,
       true,
       kSource,
       {true, SignedPackage()},
       "Informácia: PODPÍSANÝ K-VConfig.bin bol uložený do nového inštalačného súboru\r\n\"" +
           kOutput + "\"",
       "Vyberte nový súbor SETUP"},
      {TUiLanguage::kCzech,
       true,
       kSource,
       {true, SignedPackage()},
       "Informace: PODEPSANÝ K-VConfig.bin byl uložen do nového instalačního souboru\r\n\"" +
           kOutput + "\"",
       "Vyberte nový soubor SETUP"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    Disk disk;
    ScriptedWindow window = FileChoice("", kOutput);
    window.fields[TStoreField::kOriginalSetupFile] = row.source_field;
    window.server_url = row.server_url;
    window.language = row.language;
    ScriptedServer server = row.server;
    {
      ScopedFileSystem scope(disk.files);
      TStoreServices services = server.Services();
      services.Language = row.language;
      TStoreToSetupAction action(services);
      action.Run(window);
    }
    ASSERT_GE(window.log.size(), 2u);
    EXPECT_EQ(window.log[window.log.size() - 2], row.message + " -> OK");
    EXPECT_EQ(window.last_save.Title, row.save_title);
  }
}

// The literal parts of the lower layers' English failure texts that are long enough to tell: none
// may be left in a Slovak or Czech message.
std::vector<std::string> EnglishFailureParts() {
  std::vector<std::string> parts;
  for (const FailurePatternRow& row : kFailurePatterns) {
    std::string_view rest = row.english;
    while (!rest.empty()) {
      const std::size_t placeholder = std::min(rest.find('%'), rest.size());
      const std::string part(TrimControl(rest.substr(0, placeholder)));
      if (part.find(' ') != std::string::npos && part.size() >= 8)
        parts.push_back(part);
      rest.remove_prefix(std::min(placeholder + 2, rest.size()));
    }
  }
  return parts;
}

// What the layers below report reaches a Slovak or Czech window in its language, with the file
// names, numbers and system texts as they are; the English window shows the English text.
TEST(StoreActionTest, LowerLayerFailuresInTheWindowsLanguage) {
  struct Row {
    const char* name;
    std::function<void(Disk&, ScriptedWindow&, ScriptedServer&)> setup;
    std::string english;            // a part of the English message
    std::vector<std::string> kept;  // in every language's message
  };
  const auto download = [](ScriptedWindow& window) {
    window.server_url = true;
    window.fields[TStoreField::kKVServerURL] = "http://kv.example";
  };
  const Row rows[] = {
      {"package over 1 MiB",
       [](Disk& disk, ScriptedWindow&, ScriptedServer&) {
         disk.files.Put(kPackageFile, std::string(1048577, 'k'));
       },
       "\"/w/K-VConfig.bin\" : File size is 1048577, but max allowed size is 1048576",
       {"\"/w/K-VConfig.bin\"", "1048577"}},
      {"package file missing",
       [](Disk&, ScriptedWindow&, ScriptedServer&) {},
       "Cannot open file \"/w/K-VConfig.bin\". No such file or directory",
       {"\"/w/K-VConfig.bin\"", "No such file or directory"}},
      {"output is the answer file",
       [](Disk& disk, ScriptedWindow& window, ScriptedServer&) {
         disk.files.Put(kPackageFile, SignedPackage());
         disk.files.Put(kAnswerFile, "answers");
         window.fields[TStoreField::kAutoinstallSRG] = kAnswerFile;
         window.save_as = kAnswerFile;
       },
       "Output setup file is the same file as the source AutoInstall.srg file",
       {"AutoInstall.srg"}},
      {"area too small",
       [](Disk& disk, ScriptedWindow&, ScriptedServer&) {
         disk.files.Put(kPackageFile, SignedPackage());
         disk.files.Put(kSource, test::WithConfigArea(test::MinimalPe(), 16));
       },
       "fail:\r\nConfiguration data size > 16 B",
       {"16 B"}},
      {"source without an area",
       [](Disk& disk, ScriptedWindow&, ScriptedServer&) {
         disk.files.Put(kPackageFile, SignedPackage());
         disk.files.Put(kSource, test::MinimalPe());
       },
       "Not compatible Setup file - setup file does not contain dedicated space",
       {}},
      {"HTTP 404",
       [download](Disk&, ScriptedWindow& window, ScriptedServer& server) {
         download(window);
         server = {false, "", "", "Not Found"};
       },
       "Error : Not Found",
       {" : "}},
      {"no connection",
       [download](Disk&, ScriptedWindow& window, ScriptedServer& server) {
         download(window);
         server = {false, "", "", HttpConnectFailureText("Connection refused", 111)};
       },
       "Error : can't connect: Connection refused (Error #111)",
       {"Connection refused", "111"}},
      {"package of another version",
       [download](Disk&, ScriptedWindow& window, ScriptedServer& server) {
         download(window);
         server = {true, "Quillabrenthorst Configuration ver #3.00\r\n"};
       },
       "Parsing KV Config data fail : Invalid / unsupported file format",
       {}},
  };
  const std::vector<std::string> english_parts = EnglishFailureParts();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string english_message;
    for (const TUiLanguage language :
         {TUiLanguage::kEnglish, TUiLanguage::kSlovak, TUiLanguage::kCzech}) {
      Disk disk;
      ScriptedWindow window = FileChoice(kPackageFile, kOutput);
      ScriptedServer server;
      row.setup(disk, window, server);
      {
        ScopedFileSystem scope(disk.files);
        TStoreServices services = server.Services();
        services.Language = language;
        TStoreToSetupAction action(services);
        action.Run(window);
      }
      ASSERT_GE(window.log.size(), 2u);
      const std::string& message = window.log[window.log.size() - 2];
      for (const std::string& kept : row.kept)
        EXPECT_NE(message.find(kept), std::string::npos) << message;
      if (language == TUiLanguage::kEnglish) {
        EXPECT_NE(message.find(row.english), std::string::npos) << message;
        english_message = message;
        continue;
      }
      EXPECT_NE(message, english_message);
      for (const std::string& part : english_parts)
        EXPECT_EQ(message.find(part), std::string::npos) << message;
    }
  }
}

// The answer field is read after the download and the question, with the value it has then; the
// stored answer file comes from that name.
TEST(StoreActionTest, AnswerFieldIsReadAfterDownloadAndQuestion) {
  Disk disk;
  disk.files.Put(kAnswerFile, "answers");
  ScriptedWindow window = FileChoice(kPackageFile, kOutput);
  window.server_url = true;
  window.fields[TStoreField::kKVServerURL] = "http://kv.example";
  window.fields[TStoreField::kAutoinstallSRG] = "/w/old.srg";
  window.on_pump = [](ScriptedWindow& w) { w.fields[TStoreField::kAutoinstallSRG] = kAnswerFile; };
  window.answers = {TMessageAnswer::kIgnore};
  const Log log = RunAction(disk, window, {true, kUnsigned});
  const Log expected = {"button off",
                        "read source",
                        "read url",
                        "pump",
                        "Warning: K-VConfig.bin signature is MISSING. -> Ignore",
                        "read answer",
                        "save .exe offering \"\" -> " + kOutput,
                        "Warning: UNSIGNED K-VConfig.bin and AutoInstall.srg was saved to new "
                        "setup file\r\n\"" +
                            kOutput + "\" -> OK",
                        "button on"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(disk.Blob(kOutput, "AutoInstall"), "answers");
  EXPECT_EQ(disk.Blob(kOutput, "KVConfig"), kUnsigned);
}

// Answer-file failures name the file; a loose file's loader text follows " : ".
TEST(StoreActionTest, AnswerFileFailures) {
  struct Row {
    std::string field;
    std::string message;
  };
  const Row rows[] = {
      {"/w/none.srg", "Error: Can't load AutoInstall data from \"/w/none.srg\" : "},
      {kSource, "Error: AutoInstall.srg not found in \"" + kSource + "\" -> OK"},
      {kMsiSource, "Error: AutoInstall.srg not found in \"" + kMsiSource + "\" -> OK"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.field);
    Disk disk;
    disk.files.Put(kPackageFile, SignedPackage());
    ScriptedWindow window = FileChoice(kPackageFile, kOutput);
    window.fields[TStoreField::kAutoinstallSRG] = row.field;
    const Log log = RunAction(disk, window);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[3], "read answer");
    EXPECT_EQ(log[4].rfind(row.message, 0), 0u) << log[4];
    EXPECT_FALSE(disk.files.Exists(kOutput));
  }
}

// The save dialog follows the source's extension in any letter case, and offers the name chosen
// last time with this run's extension.
TEST(StoreActionTest, SaveDialogFollowsTheSourceAndRemembersTheName) {
  Disk disk;
  disk.files.Put(kPackageFile, SignedPackage());
  ScopedFileSystem scope(disk.files);
  ScriptedServer server;
  TStoreToSetupAction action(server.Services());
  struct Row {
    std::string source;
    std::string save_as;
    std::string offered;
    std::string extension;
  };
  const Row rows[] = {
      {kMsiSource, "/w/first.msi", "", "msi"},
      {kSource, "/w/second.exe", "/w/first.exe", "exe"},
      {"/w/Setup.Msi", "/w/third.MSI", "/w/second.msi", "msi"},
      {kSource, "/w/noext", "/w/third.exe", "exe"},
      {kMsiSource, "/w/x.msi", "/w/noext.msi", "msi"},
  };
  disk.files.Put("/w/Setup.Msi", test::WithConfigArea(std::string(3000, 'm'), 4096));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    ScriptedWindow window = FileChoice(kPackageFile, row.save_as, row.source);
    action.Run(window);
    EXPECT_EQ(window.last_save.Title, "Choose new SETUP file");
    EXPECT_EQ(window.last_save.DefaultExt, row.extension);
    EXPECT_EQ(window.last_save.FileName, row.offered);
    EXPECT_EQ(window.last_save.FilterIndex, 1);
    EXPECT_TRUE(window.last_save.Save);
    EXPECT_EQ(window.last_save.Filter.find("setup " + AsciiUpperCase(row.extension) + " file"), 0u)
        << window.last_save.Filter;
    EXPECT_TRUE(disk.files.Exists(row.save_as));
  }
}

// A write that fails, and outputs that name an input: one error box, no output of the store,
// every input and an earlier file of the output's name byte-identical.
TEST(StoreActionTest, RefusedAndFailedWritesLoseNothing) {
  struct Row {
    const char* name;
    std::string source;
    std::string output;
    std::string message_start;
  };
  const std::string no_area = "/w/plain.exe";
  const std::string same = "Error: Output setup file is the same file as the source ";
  const Row rows[] = {
      {"source without a data area", no_area, kOutput,
       "Error: Saving K-VConfig.bin and AutoInstall.srg to new setup file fail:\r\nNot "
       "compatible Setup file"},
      {"output is the source", kSource, kSource, same + "setup file -> OK"},
      {"output is the package file", kSource, kPackageFile, same + "K-VConfig.bin file -> OK"},
      {"output is the answer file", kSource, kAnswerFile, same + "AutoInstall.srg file -> OK"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Disk disk;
    disk.files.Put(kPackageFile, SignedPackage());
    disk.files.Put(kAnswerFile, "answers");
    disk.files.Put(no_area, test::MinimalPe() + std::string(3000, 'p'));
    disk.files.Put(kOutput, "earlier output");
    std::map<std::string, std::string> before;
    for (const std::string& file : {kSource, no_area, kPackageFile, kAnswerFile, kOutput})
      before[file] = disk.files.Get(file);
    ScriptedWindow window = FileChoice(kPackageFile, row.output, row.source);
    window.fields[TStoreField::kAutoinstallSRG] = kAnswerFile;
    std::string stored_file;
    const Log log = RunAction(disk, window, {}, &stored_file);
    EXPECT_EQ(stored_file, "");
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[4].rfind("save", 0), 0u);
    EXPECT_EQ(log[5].rfind(row.message_start, 0), 0u) << log[5];
    EXPECT_NE(log[5].find(" -> OK"), std::string::npos);
    for (const auto& [file, bytes] : before)
      EXPECT_EQ(disk.files.Get(file), bytes) << file;
  }
}

// A close asked for during the download ends the action there: no dialog, no read, no write.
// A failure inside the action is reported and the button is enabled again, even when the report
// fails.
TEST(StoreActionTest, CloseAndUnexpectedFailure) {
  {
    Disk disk;
    ScriptedWindow window = FileChoice(kPackageFile, kOutput);
    window.server_url = true;
    window.fields[TStoreField::kKVServerURL] = "http://kv.example";
    window.on_pump = [](ScriptedWindow& w) { w.close_requested = true; };
    const Log expected = {"button off", "read source", "read url", "pump", "button on"};
    EXPECT_EQ(RunAction(disk, window, {true, SignedPackage()}), expected);
    EXPECT_FALSE(disk.files.Exists(kOutput));
  }
  // One asked for while the store copies abandons the copy: the earlier output stays, no message.
  {
    Disk disk;
    disk.files.Put(kPackageFile, SignedPackage());
    disk.files.Put(kOutput, "earlier output");
    ScriptedWindow window = FileChoice(kPackageFile, kOutput);
    window.on_progress = [](ScriptedWindow& w) { w.close_requested = true; };
    EXPECT_EQ(RunAction(disk, window),
              Expect({"read answer", "save .exe offering \"\" -> " + kOutput}));
    EXPECT_EQ(window.progress.size(), 1u);
    EXPECT_EQ(disk.files.Get(kOutput), "earlier output");
  }
  {
    Disk disk;
    disk.files.Put(kPackageFile, SignedPackage());
    ScriptedWindow window = FileChoice(kPackageFile, kOutput);
    ScopedFileSystem scope(disk.files);
    TStoreServices services;
    services.Parse = [](const std::string&, TKVConfigBinData&, std::string&) -> bool {
      throw std::length_error("too long");
    };
    TStoreToSetupAction action(services);
    action.Run(window);
    EXPECT_EQ(window.log, Expect({"Error: too long -> OK"}));
    // A report that fails in turn still gives the button back.
    window.log.clear();
    window.message_fails = true;
    action.Run(window);
    EXPECT_EQ(window.log, Expect({"Error: too long -> OK"}));
  }
}

}  // namespace
}  // namespace kv
