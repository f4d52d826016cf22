#include "app/RunCommandLine.h"

#include <new>
#include <system_error>
#include <utility>

#include "app/CommandLine.h"
#include "config/ConfigPackage.h"
#include "config/DownloadPackage.h"
#include "setupfile/SetupReader.h"
#include "setupfile/SetupWriter.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr std::int64_t kMaxInputFileSize = 1048576;
constexpr const char* kDownloadLanguage = "EN";
constexpr const char* kExpectedDownloadStart = "Quillabrenthorst Configuration ver #";
constexpr const char* kDownloadPath = "/kvconfig_bin.php";
constexpr const char* kPackageBlobName = "KVConfig";
constexpr const char* kLegacyPackageName = "K-VConfig.bin";
constexpr const char* kAnswerFileBlobName = "AutoInstall";

bool IsExeFile(const std::string& path) {
  return EqualsIgnoreAsciiCase(ExtractFileExt(path), ".exe");
}

bool IsMsiFile(const std::string& path) {
  return EqualsIgnoreAsciiCase(ExtractFileExt(path), ".msi");
}

std::string Quoted(const std::string& file_name) {
  return "\"" + file_name + "\"";
}

// The package text from a setup file's data area, or from the legacy resource list of an
// executable.
bool ReadPackageFromSetup(const std::string& file_name, std::string& text, std::string& error) {
  if (ReadBlobFromSetup(file_name, kPackageBlobName, text))
    return true;
  if (IsExeFile(file_name) && ReadLegacyBlob(file_name, kLegacyPackageName, text))
    return true;
  error = "K-VConfig.bin not found in " + Quoted(file_name);
  return false;
}

bool ObtainPackageText(const TCommandLineValues& values, std::string& text, std::string& error) {
  if (!values.PackageFile.empty()) {
    if (IsExeFile(values.PackageFile) || IsMsiFile(values.PackageFile))
      return ReadPackageFromSetup(values.PackageFile, text, error);
    return LoadFileToString(values.PackageFile, kMaxInputFileSize, text, error);
  }
  if (!values.ServerURL.empty()) {
    std::string result;
    if (!DownloadPackage(kDownloadLanguage, kExpectedDownloadStart,
                         values.ServerURL + kDownloadPath, "", "", "", "", result)) {
      error = result;
      return false;
    }
    text = std::move(result);
    return true;
  }
  error = "K-VConfig file name or URL for download must be specified";
  return false;
}

bool ObtainAnswerFile(const std::string& file_name, std::string& content, std::string& error) {
  if (file_name.empty())
    return true;
  if (IsExeFile(file_name) || IsMsiFile(file_name)) {
    if (ReadBlobFromSetup(file_name, kAnswerFileBlobName, content))
      return true;
    error = "AutoInstall.srg not found in " + Quoted(file_name);
    return false;
  }
  return LoadFileToString(file_name, kMaxInputFileSize, content, error);
}

std::string SavingFailed(const std::string& answer_file, const std::string& reason) {
  return std::string("Saving K-VConfig.bin ") +
         (answer_file.empty() ? "" : "and AutoInstall.srg ") + "to new setup file fail : " + reason;
}

// Writes the configured copy; a failed write leaves the output file as it was.
bool StoreOutput(const TCommandLineValues& values, const std::string& package_text,
                 const std::string& answer_file, std::string& error) {
  std::string reason;
  if (StoreConfigToSetup(values.SourceFile, values.OutputFile, package_text, answer_file, reason)) {
    return true;
  }
  error = SavingFailed(answer_file, reason);
  return false;
}

}  // namespace

bool RunCommandLine(const std::vector<std::string>& arguments, std::string& error) {
  error.clear();
  try {
    const TCommandLineValues values = ParseSwitches(arguments);
    if (values.SourceFile.empty()) {
      error = "Source setup file name is not specified";
      return false;
    }
    if (values.OutputFile.empty()) {
      error = "Output setup file name is not specified";
      return false;
    }
    // Before any input is opened: the output must not replace one of them.
    if (!CheckOutputIsNoInput(values.OutputFile,
                              {{kSourceSetupFileRole, values.SourceFile},
                               {kPackageFileRole, values.PackageFile},
                               {kAnswerFileRole, values.AnswerFile}},
                              error)) {
      return false;
    }
    std::string package_text;
    if (!ObtainPackageText(values, package_text, error))
      return false;
    TKVConfigBinData package;
    if (!ParseConfigPackage(package_text, package, error))
      return false;
    std::string answer_file;
    if (!ObtainAnswerFile(values.AnswerFile, answer_file, error))
      return false;
    return StoreOutput(values, package.RawText, answer_file, error);
  } catch (const std::bad_alloc&) {
    error = "Out of memory";
    return false;
  }
}

}  // namespace kv
