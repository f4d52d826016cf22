#include "app/StoreInputs.h"

#include <utility>

#include "setupfile/SetupReader.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr const char* kExpectedDownloadStart = "Quillabrenthorst Configuration ver #";
constexpr const char* kDownloadPath = "/kvconfig_bin.php";
constexpr const char* kPackageBlobName = "KVConfig";
constexpr const char* kLegacyPackageName = "K-VConfig.bin";
constexpr const char* kAnswerFileBlobName = "AutoInstall";

TInputFailure LoadLooseFile(const std::string& file_name, std::string& content,
                            std::string& error) {
  if (LoadFileToString(file_name, kMaxInputFileSize, content, error))
    return TInputFailure::kNone;
  return TInputFailure::kLoadFailed;
}

}  // namespace

std::string QuotedFileName(const std::string& file_name) {
  return "\"" + file_name + "\"";
}

bool IsExeFileName(const std::string& file_name) {
  return EqualsIgnoreAsciiCase(ExtractFileExt(file_name), ".exe");
}

bool IsMsiFileName(const std::string& file_name) {
  return EqualsIgnoreAsciiCase(ExtractFileExt(file_name), ".msi");
}

TInputFailure ReadPackageInput(const std::string& file_name, std::string& text,
                               std::string& error) {
  error.clear();
  if (!IsExeFileName(file_name) && !IsMsiFileName(file_name))
    return LoadLooseFile(file_name, text, error);
  if (ReadBlobFromSetup(file_name, kPackageBlobName, text))
    return TInputFailure::kNone;
  if (IsExeFileName(file_name) && ReadLegacyBlob(file_name, kLegacyPackageName, text))
    return TInputFailure::kNone;
  error = "K-VConfig.bin not found in " + QuotedFileName(file_name);
  return TInputFailure::kNotFound;
}

TInputFailure ReadAnswerInput(const std::string& file_name, std::string& content,
                              std::string& error) {
  error.clear();
  if (!IsExeFileName(file_name) && !IsMsiFileName(file_name))
    return LoadLooseFile(file_name, content, error);
  if (ReadBlobFromSetup(file_name, kAnswerFileBlobName, content))
    return TInputFailure::kNone;
  error = "AutoInstall.srg not found in " + QuotedFileName(file_name);
  return TInputFailure::kNotFound;
}

bool DownloadPackageFromServer(const std::string& server_url, std::string& text, std::string& error,
                               const PumpHook& pump, const DownloadOptions& options,
                               const std::string& language) {
  error.clear();
  std::string result;
  if (!DownloadPackage(language, kExpectedDownloadStart, server_url + kDownloadPath, "", "", "", "",
                       result, pump, options)) {
    error = std::move(result);
    return false;
  }
  text = std::move(result);
  return true;
}

std::string StoredFilesText(const std::string& answer_file_content) {
  return std::string("K-VConfig.bin ") +
         (answer_file_content.empty() ? "" : "and AutoInstall.srg ");
}

}  // namespace kv
