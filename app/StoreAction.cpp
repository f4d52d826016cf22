#include "app/StoreAction.h"

#include <algorithm>
#include <vector>

#include "app/StoreInputs.h"
#include "base/Failure.h"
#include "config/DownloadMessages.h"
#include "setupfile/SetupWriter.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr const char* kLineBreak = "\r\n";

std::string TrimmedField(TStoreWindow& window, TStoreField field) {
  return std::string(TrimControl(window.ReadField(field)));
}

// Shows a message unless the window is closing.
void Report(TStoreWindow& window, TMessageKind kind, const std::string& text) {
  if (!window.CloseRequested())
    window.ShowMessageBox({kind, TMessageButtons::kOk, text});
}

void ReportError(TStoreWindow& window, const std::string& text) {
  Report(window, TMessageKind::kError, text);
}

// The signature question; true only for "&Ignore" while the window stays open.
bool IgnoreSignatureState(TStoreWindow& window, std::uint8_t state, const TWindowTexts& texts) {
  if (state == SignatureValid)
    return true;
  if (window.CloseRequested())
    return false;
  const std::string text =
      state == SignatureInvalid ? texts.SignatureInvalid : texts.SignatureMissing;
  const TMessageAnswer answer =
      window.ShowMessageBox({TMessageKind::kWarning, TMessageButtons::kCancelIgnore, text});
  return answer == TMessageAnswer::kIgnore && !window.CloseRequested();
}

// A loose file's loader text behind the file it names; a setup file's look-up failure names the
// file.
std::string InputFailureText(TInputFailure failure, const char* not_found, const char* load_failed,
                             const std::string& file_name, const std::string& error) {
  return Fill(failure == TInputFailure::kLoadFailed ? load_failed : not_found,
              {QuotedFileName(file_name), error});
}

// The downloader's message comes in the window's language already ("Error : %s" of its table); the
// client's reason in it is put in that language too.
std::string DownloadFailureInLanguage(const std::string& error, TUiLanguage language) {
  std::string pattern =
      Windows1250ToUtf8(LookupMessage("Error : %s", WindowTexts(language).DownloadLanguage));
  const std::size_t value = pattern.find("%s");
  if (value == std::string::npos)
    return error;
  pattern.replace(value, 2, "%1");
  std::vector<std::string> reason;
  if (!MatchPattern(pattern, error, reason))
    return error;
  return Fill(pattern, {FailureInLanguage(reason[0], language)});
}

}  // namespace

void TStoreToSetupAction::Run(TStoreWindow& window) {
  window.EnableStoreButton(false);
  std::string error;
  if (!RunReportingFailure([&] { Store(window); }, error)) {
    // A failure of the report itself leaves nothing to tell the user; the button comes back.
    RunIgnoringFailure([&] { ReportError(window, FailureInLanguage(error, services_.Language)); });
  }
  window.EnableStoreButton(true);
}

void TStoreToSetupAction::Store(TStoreWindow& window) {
  const TWindowTexts& texts = WindowTexts(services_.Language);
  // What the layers below report, in the window's language.
  const auto shown = [this](const std::string& failure) {
    return FailureInLanguage(failure, services_.Language);
  };
  // The writer's warnings, one a line, each on a line of its own in the window's language.
  const auto shown_lines = [&shown](const std::string& warnings) {
    std::string text;
    for (std::size_t begin = 0; begin < warnings.size();) {
      const std::size_t end = std::min(warnings.find('\n', begin), warnings.size());
      text += kLineBreak + shown(warnings.substr(begin, end - begin));
      begin = end + 1;
    }
    return text;
  };
  const std::string source = TrimmedField(window, TStoreField::kOriginalSetupFile);
  if (source.empty())
    return ReportError(window, texts.OriginalSetupMissing);

  std::string package_text;
  std::string error;
  std::string package_file;
  if (window.ServerUrlSelected()) {
    const std::string url = TrimmedField(window, TStoreField::kKVServerURL);
    if (url.empty())
      return ReportError(window, texts.ServerUrlMissing);
    if (!DownloadPackageFromServer(
            url, package_text, error, [&window] { window.Pump(); }, services_.Download,
            texts.DownloadLanguage)) {
      return ReportError(window, DownloadFailureInLanguage(error, services_.Language));
    }
  } else {
    package_file = TrimmedField(window, TStoreField::kKVConfigFile);
    if (package_file.empty())
      return ReportError(window, texts.PackageFileMissing);
    const TInputFailure failure = ReadPackageInput(package_file, package_text, error);
    if (failure != TInputFailure::kNone)
      return ReportError(window,
                         InputFailureText(failure, texts.PackageNotFound, texts.PackageLoadFailed,
                                          package_file, shown(error)));
  }
  if (window.CloseRequested())
    return;

  TKVConfigBinData package;
  if (!services_.Parse(package_text, package, error)) {
    // A package without a server URL fails without a reason; that ends the action silently.
    if (!error.empty())
      ReportError(window, Fill(texts.ParseFailed, {shown(error)}));
    return;
  }
  if (!IgnoreSignatureState(window, package.SignatureState, texts))
    return;

  // Read only now: the user may have changed it during the download or the question.
  const std::string answer_file = TrimmedField(window, TStoreField::kAutoinstallSRG);
  std::string answer_content;
  if (!answer_file.empty()) {
    const TInputFailure failure = ReadAnswerInput(answer_file, answer_content, error);
    if (failure != TInputFailure::kNone)
      return ReportError(window,
                         InputFailureText(failure, texts.AnswerNotFound, texts.AnswerLoadFailed,
                                          answer_file, shown(error)));
  }
  if (window.CloseRequested())
    return;

  std::string output;
  if (!window.ChooseOutputFile(SaveDialogSetup(source, remembered_output_, services_.Language),
                               output))
    return;
  remembered_output_ = output;
  if (window.CloseRequested())
    return;

  // Writing over an input would destroy what the store is made from.
  if (!CheckOutputIsNoInput(output,
                            {{kSourceSetupFileRole, source},
                             {kPackageFileRole, package_file},
                             {kAnswerFileRole, answer_file}},
                            error)) {
    return ReportError(window, shown(error));
  }

  const std::size_t stored = answer_content.empty() ? 0 : 1;  // with the answer file or not
  std::string warning;
  // The window keeps answering during the copy; a close asked for meanwhile abandons it.
  const StoreProgress progress = [&window](std::int64_t done, std::int64_t total) {
    window.ShowProgress(done, total);
    return !window.CloseRequested();
  };
  if (!StoreConfigToSetup(source, output, package.RawText, answer_content, error, warning,
                          progress))
    return ReportError(window, texts.SaveFailed[stored] + std::string(kLineBreak) + shown(error));
  last_stored_ = output;
  const bool is_signed = package.SignatureState == SignatureValid;
  Report(window, is_signed && warning.empty() ? TMessageKind::kInformation : TMessageKind::kWarning,
         (is_signed ? texts.SavedSigned : texts.SavedUnsigned)[stored] + std::string(kLineBreak) +
             QuotedFileName(output) + shown_lines(warning));
}

}  // namespace kv
