#include "app/RunCommandLine.h"

#include <system_error>
#include <utility>

#include "app/CommandLine.h"
#include "app/StoreInputs.h"
#include "base/Failure.h"
#include "config/ConfigPackage.h"
#include "setupfile/SetupWriter.h"

namespace kv {

namespace {

bool ObtainPackageText(const TCommandLineValues& values, std::string& text, std::string& error) {
  if (!values.PackageFile.empty())
    return ReadPackageInput(values.PackageFile, text, error) == TInputFailure::kNone;
  if (!values.ServerURL.empty())
    return DownloadPackageFromServer(values.ServerURL, text, error);
  error = "K-VConfig file name or URL for download must be specified";
  return false;
}

bool ObtainAnswerFile(const std::string& file_name, std::string& content, std::string& error) {
  if (file_name.empty())
    return true;
  return ReadAnswerInput(file_name, content, error) == TInputFailure::kNone;
}

// Writes the configured copy; a failed write leaves the output file as it was. A warning about
// the output once in place is passed on in error.
bool StoreOutput(const TCommandLineValues& values, const std::string& package_text,
                 const std::string& answer_file, std::string& error) {
  std::string reason;
  if (StoreConfigToSetup(values.SourceFile, values.OutputFile, package_text, answer_file, reason,
                         error)) {
    return true;
  }
  error = "Saving " + StoredFilesText(answer_file) + "to new setup file fail : " + reason;
  return false;
}

bool Run(const std::vector<std::string>& arguments, std::string& error) {
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
}

}  // namespace

bool RunCommandLine(const std::vector<std::string>& arguments, std::string& error) {
  error.clear();
  return RunReportingFailure([&] { return Run(arguments, error); }, error);
}

}  // namespace kv
