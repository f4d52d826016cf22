// What both drivers of the store operation (the unattended run and the main window) read alike:
// the package text from a configured setup file (its data area, then for an executable the
// legacy resource list), from a loose file or from the KV server, and the answer file from a
// configured setup file or a loose file. Never throws; failures come back with their text.
#pragma once

#include <cstdint>
#include <string>

#include "config/DownloadPackage.h"

namespace kv {

// Largest loose package or answer file, in bytes.
inline constexpr std::int64_t kMaxInputFileSize = 1048576;

enum class TInputFailure {
  kNone,        // read; the content is set
  kNotFound,    // a setup file holds no such blob; error names the file
  kLoadFailed,  // a loose file could not be loaded; error is the loader's text alone
};

// The file name between double-quote characters, as messages show it.
std::string QuotedFileName(const std::string& file_name);
// True when the extension of the file-name part is ".exe" / ".msi", ignoring ASCII case.
bool IsExeFileName(const std::string& file_name);
bool IsMsiFileName(const std::string& file_name);

// The package text named by file_name: blob "KVConfig" of a setup ".exe" or ".msi" (an ".exe"
// also its legacy entry "K-VConfig.bin"), any other name a loose file of at most 1 MiB.
TInputFailure ReadPackageInput(const std::string& file_name, std::string& text, std::string& error);

// The answer file named by file_name: blob "AutoInstall" of a setup ".exe" or ".msi", any other
// name a loose file of at most 1 MiB.
TInputFailure ReadAnswerInput(const std::string& file_name, std::string& content,
                              std::string& error);

// Downloads the package from server_url + "/kvconfig_bin.php" (nothing removed or added) without
// a proxy, with the downloader's messages in language ("EN", "SK", "CZ"). On failure error holds
// the downloader's message.
bool DownloadPackageFromServer(const std::string& server_url, std::string& text, std::string& error,
                               const PumpHook& pump = {}, const DownloadOptions& options = {},
                               const std::string& language = "EN");

// "K-VConfig.bin " followed by "and AutoInstall.srg " when an answer file is stored: what the
// messages about a store say was (or was not) saved.
std::string StoredFilesText(const std::string& answer_file_content);

}  // namespace kv
