#include "app/RunCommandLine.h"

#include <system_error>
#include <utility>

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
bool StoreOutput(const TCommandLineValues& values, SetupSourceCache& source,
                 const std::string& package_text, const std::string& answer_file,
                 std::string& error) {
  std::string reason;
  if (StoreConfigToSetup(source, values.SourceFile, values.OutputFile, package_text, answer_file,
                         reason, error)) {
    return true;
  }
  error = "Saving " + StoredFilesText(answer_file) + "to new setup file fail : " + reason;
  return false;
}

}  // namespace

bool StoreFromValues(const TCommandLineValues& values,
                     const std::vector<TRunInputFile>& more_inputs, SetupSourceCache& source,
                     TStoredData& stored, std::string& error) {
  if (values.SourceFile.empty()) {
    error = "Source setup file name is not specified";
    return false;
  }
  if (values.OutputFile.empty()) {
    error = "Output setup file name is not specified";
    return false;
  }
  // Before any input is opened: the output must not replace one of them.
  std::vector<TRunInputFile> inputs = {{kSourceSetupFileRole, values.SourceFile},
                                       {kPackageFileRole, values.PackageFile},
                                       {kAnswerFileRole, values.AnswerFile}};
  inputs.insert(inputs.end(), more_inputs.begin(), more_inputs.end());
  if (!CheckOutputIsNoInput(values.OutputFile, inputs, error))
    return false;
  std::string package_text;
  if (!ObtainPackageText(values, package_text, error))
    return false;
  TKVConfigBinData package;
  if (!ParseConfigPackage(package_text, package, error))
    return false;
  stored.PackageText = package.RawText;
  if (!ObtainAnswerFile(values.AnswerFile, stored.AnswerFile, error))
    return false;
  return StoreOutput(values, source, stored.PackageText, stored.AnswerFile, error);
}

bool RunCommandLine(const std::vector<std::string>& arguments, std::string& error) {
  error.clear();
  return RunReportingFailure(
      [&] {
        SetupSourceCache source;
        TStoredData stored;
        return StoreFromValues(ParseSwitches(arguments), {}, source, stored, error);
      },
      error);
}

}  // namespace kv
