#include "app/BatchRun.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "app/BatchReceipt.h"
#include "app/CommandLine.h"
#include "app/CsvReader.h"
#include "app/RunCommandLine.h"
#include "app/StoreInputs.h"
#include "base/Failure.h"
#include "contents/SetupContents.h"
#include "crypto/Digest.h"
#include "setupfile/FileStream.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr const char* kListFileRole = "list file";
constexpr const char* kReceiptFileRole = "receipt file";

enum class TColumn { kOut, kCf, kCu, kAi };
struct TColumnName {
  TColumn column;
  std::string_view name;
};
constexpr TColumnName kColumns[] = {
    {TColumn::kOut, "out"}, {TColumn::kCf, "cf"}, {TColumn::kCu, "cu"}, {TColumn::kAi, "ai"}};

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool IsFolder(const std::string& name) {
  std::error_code ignored;
  return std::filesystem::is_directory(PathOf(name), ignored);
}

std::string Sha256(std::string_view bytes) {
  std::string digest;
  Digest sha256(DigestAlgorithm::kSha256);
  sha256.Update(bytes);
  if (!sha256.Finish(digest))
    digest.clear();
  return digest;
}

// A file by its identity on its volume, whatever name leads to it.
struct TFileKey {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t index_high = 0;
  bool operator==(const TFileKey&) const = default;
};
struct TFileKeyHash {
  std::size_t operator()(const TFileKey& key) const {
    return std::hash<std::uint64_t>()(
        (key.volume * 0x9E3779B97F4A7C15ull ^ key.index) * 0x9E3779B97F4A7C15ull ^ key.index_high);
  }
};

// The identity of an existing regular file; none when it does not exist or cannot be opened.
std::optional<TFileKey> KeyOfFile(const std::string& file_name) {
  std::optional<TFileKey> key;
  RunIgnoringFailure([&] {
    if (file_name.empty() || !Files().Exists(file_name) || Files().IsSpecialFile(file_name))
      return;
    const FileState state = Files().Open(file_name, OpenMode::kRead)->State();
    key = TFileKey{state.volume, state.index, state.index_high};
  });
  return key;
}

// The output's name with links and "." or ".." resolved as far as the path exists, hashed: two rows
// naming one output by different spellings get the same value.
std::size_t NameKey(const std::string& file_name) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::weakly_canonical(PathOf(file_name), error);
  if (error)
    path = PathOf(file_name).lexically_normal();
  return std::hash<std::string>()(Utf8Of(path));
}

// One row to store: the switch values of a single run, and where the row comes from.
struct TBatchRow {
  TCommandLineValues Values;
  int Line = 0;
  std::string Input;  // a folder row's configured setup file
};

class TBatch {
 public:
  TBatch(const TCommandLineValues& values, TBatchConsole& console, int rows)
      : values_(values), console_(console), rows_(rows) {
    more_inputs_ = {{kListFileRole, values.ListFile}, {kReceiptFileRole, values.ReceiptFile}};
  }

  // Starts the receipt, when one is asked for; false with the reason when it cannot be.
  bool Begin(std::string& error) {
    digest_ = ReadSignedDigest(values_.SourceFile);
    if (values_.ReceiptFile.empty())
      return true;
    const TRunInputFile inputs[] = {{kSourceSetupFileRole, values_.SourceFile},
                                    {kPackageFileRole, values_.PackageFile},
                                    {kAnswerFileRole, values_.AnswerFile},
                                    {kListFileRole, values_.ListFile}};
    for (const TRunInputFile& input : inputs) {
      if (!input.FileName.empty() && Files().IsSameFile(values_.ReceiptFile, input.FileName)) {
        error = "Receipt file is the same file as the " + input.Role;
        return false;
      }
    }
    receipt_ = std::make_unique<TBatchReceipt>(values_.ReceiptFile, values_.SourceFile, digest_);
    return true;
  }

  void Store(TBatchRow row) {
    ++row_;
    console_.Progress(row_, rows_);
    TReceiptRow receipt;
    receipt.Row = row_;
    receipt.Line = row.Line;
    receipt.Input = row.Input;
    receipt.Output = row.Values.OutputFile;
    bool skipped = false;
    std::string error;
    const bool stored = RunReportingFailure(
        [&] {
          if (!row.Input.empty() && !TakeOwnData(row, skipped, error))
            return false;
          return StoreRow(row.Values, receipt, error);
        },
        error);
    receipt.Result = stored ? "ok" : skipped ? "skipped" : "failed";
    receipt.Error = error;
    (stored ? written_ : skipped ? skipped_ : failed_) += 1;
    std::string line = "row " + std::to_string(row_);
    if (row.Line > 0)
      line += " (line " + std::to_string(row.Line) + ")";
    line += ": " +
            std::string(stored    ? "ok"
                        : skipped ? "skipped"
                                  : "FAILED") +
            " " + QuotedFileName(skipped ? row.Input : row.Values.OutputFile);
    // A stored row may carry a warning about its output once in place (the folder not synced).
    console_.Line(error.empty() ? line : line + ": " + error);
    // A receipt that cannot be written stops no row; the run reports it at its end.
    if (receipt_ && !RunReportingFailure([&] { receipt_->Add(receipt); }, receipt_error_))
      receipt_.reset();
  }

  // The summary line; the receipt put in place. False with the reason when any row failed or the
  // receipt could not be written.
  bool Finish(std::string& error) {
    console_.Line(std::to_string(row_) + (row_ == 1 ? " row: " : " rows: ") +
                  std::to_string(written_) + " written, " + std::to_string(failed_) + " failed, " +
                  std::to_string(skipped_) + " skipped");
    if (!receipt_error_.empty()) {
      error = "Receipt file " + QuotedFileName(values_.ReceiptFile) +
              " could not be written: " + receipt_error_;
      return false;
    }
    if (receipt_) {
      const auto key = KeyOfFile(values_.ReceiptFile);
      if (key && written_files_.contains(*key)) {
        error = "Receipt file " + QuotedFileName(values_.ReceiptFile) + " is the output of row " +
                std::to_string(written_files_.at(*key)) + "; the receipt was not written";
        return false;
      }
      if (!RunReportingFailure([&] { receipt_->Finish(written_, failed_, skipped_); }, error)) {
        error = "Receipt file " + QuotedFileName(values_.ReceiptFile) +
                " could not be written: " + error;
        return false;
      }
    }
    return failed_ == 0;
  }

 private:
  // A folder row keeps the package and the answer file of the setup it is redone from; one
  // without a package is skipped.
  static bool TakeOwnData(TBatchRow& row, bool& skipped, std::string& error) {
    std::string text;
    if (ReadPackageInput(row.Input, text, error) != TInputFailure::kNone) {
      skipped = true;
      return false;
    }
    row.Values.PackageFile = row.Input;
    std::string ignored;
    if (ReadAnswerInput(row.Input, text, ignored) == TInputFailure::kNone)
      row.Values.AnswerFile = row.Input;
    return true;
  }

  bool StoreRow(const TCommandLineValues& values, TReceiptRow& receipt, std::string& error) {
    // A second row naming an output of this run would replace what the first wrote (or meant to
    // write: two customers for one file is a fault of the list).
    int earlier = 0;
    if (!values.OutputFile.empty()) {
      earlier = named_outputs_.emplace(NameKey(values.OutputFile), row_).first->second;
      if (const auto key = KeyOfFile(values.OutputFile); key && written_files_.contains(*key))
        earlier = written_files_.at(*key);
    }
    if (earlier != 0 && earlier != row_) {
      error = "Output setup file is named by row " + std::to_string(earlier) + " as well";
      return false;
    }
    // Every output as the only store of a run writes it: with the mask of a run's first store.
    RandomGenerator::Process().Reset();
    TStoredData stored;
    if (!StoreFromValues(values, more_inputs_, source_, stored, error))
      return false;
    receipt.PackageSha256 = Sha256(stored.PackageText);
    if (!stored.AnswerFile.empty())
      receipt.AnswerFileSha256 = Sha256(stored.AnswerFile);
    const FileState state = Files().Open(values.OutputFile, OpenMode::kRead)->State();
    receipt.Size = state.size;
    written_files_[{state.volume, state.index, state.index_high}] = row_;
    return true;
  }

  const TCommandLineValues& values_;
  TBatchConsole& console_;
  const int rows_;
  std::vector<TRunInputFile> more_inputs_;
  // The source read once for every row: its area, its checksum's sum, its state to check.
  SetupSourceCache source_;
  SignedDigest digest_;
  std::unique_ptr<TBatchReceipt> receipt_;
  std::string receipt_error_;
  // Outputs named and written so far, by their names' hashes and by identity, with their rows:
  // the one thing that grows with the list (a few numbers per output).
  std::unordered_map<std::size_t, int> named_outputs_;
  std::unordered_map<TFileKey, int, TFileKeyHash> written_files_;
  int row_ = 0;
  int written_ = 0;
  int failed_ = 0;
  int skipped_ = 0;
};

// --- a CSV list

std::string ListPlace(const std::string& list_file, int line) {
  return "List file " + QuotedFileName(list_file) + ", line " + std::to_string(line) + ": ";
}

bool IsBlankRecord(const std::vector<std::string>& fields) {
  for (const std::string& field : fields) {
    if (!TrimControl(field).empty())
      return false;
  }
  return true;
}

// The column of each header field; false with the reason for a name that is no column, a column
// named twice or no "out" column.
bool ReadHeader(CsvReader& reader, const std::string& list_file, std::vector<TColumn>& columns,
                std::string& error) {
  std::vector<std::string> fields;
  if (!reader.Next(fields, error)) {
    error = "List file " + QuotedFileName(list_file) +
            (error.empty() ? " has no header row" : ", " + error);
    return false;
  }
  bool has_out = false;
  for (const std::string& field : fields) {
    const std::string_view name = TrimControl(field);
    const TColumnName* found = nullptr;
    for (const TColumnName& known : kColumns) {
      if (EqualsIgnoreAsciiCase(name, known.name))
        found = &known;
    }
    if (found == nullptr) {
      error = ListPlace(list_file, 1) + "unknown column \"" + std::string(name) +
              "\" (the columns are out, cf, cu and ai)";
      return false;
    }
    for (const TColumn column : columns) {
      if (column == found->column) {
        error = ListPlace(list_file, 1) + "column \"" + std::string(found->name) + "\" named twice";
        return false;
      }
    }
    has_out = has_out || found->column == TColumn::kOut;
    columns.push_back(found->column);
  }
  if (!has_out) {
    error = ListPlace(list_file, 1) + "no \"out\" column";
    return false;
  }
  return true;
}

// The next row that is not blank; false at the end, or with error set for malformed text.
bool NextRecord(CsvReader& reader, const std::vector<TColumn>& columns,
                const std::string& list_file, std::vector<std::string>& fields,
                std::string& error) {
  while (reader.Next(fields, error)) {
    if (IsBlankRecord(fields))
      continue;
    if (fields.size() > columns.size()) {
      error = ListPlace(list_file, reader.RecordLine()) + std::to_string(fields.size()) +
              " fields, but the header names " + std::to_string(columns.size()) + " columns";
      return false;
    }
    return true;
  }
  if (!error.empty())
    error = "List file " + QuotedFileName(list_file) + ", " + error;
  return false;
}

// A cell's path: relative ones from the list's folder.
std::string ListPath(const std::filesystem::path& list_folder, std::string_view cell) {
  if (cell.empty())
    return "";
  return Utf8Of(list_folder / PathOf(std::string(cell)));
}

// The switch values of a row: the list's cells, and the run's switches for columns it lacks.
TCommandLineValues RowValues(const TCommandLineValues& run, const std::vector<TColumn>& columns,
                             const std::vector<std::string>& fields) {
  TCommandLineValues values = run;
  values.OutputFile.clear();
  const std::filesystem::path folder = PathOf(run.ListFile).parent_path();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string_view cell = i < fields.size() ? TrimControl(fields[i]) : "";
    switch (columns[i]) {
      case TColumn::kOut:
        values.OutputFile = ListPath(folder, cell);
        break;
      case TColumn::kCf:
        values.PackageFile = ListPath(folder, cell);
        break;
      case TColumn::kCu:
        values.ServerURL = std::string(cell);
        break;
      case TColumn::kAi:
        values.AnswerFile = ListPath(folder, cell);
        break;
    }
  }
  return values;
}

TBatchOutcome RunList(const TCommandLineValues& values, TBatchConsole& console,
                      std::string& error) {
  if (!values.OutputFile.empty()) {
    error =
        "-out: names the output folder of a folder list; a list file names its outputs in "
        "its \"out\" column";
    return TBatchOutcome::kNotRun;
  }
  const std::unique_ptr<FileStream> list = Files().Open(values.ListFile, OpenMode::kRead);
  const auto read = [&list](std::span<char> buffer) { return list->Read(buffer); };
  // A first pass checks the whole list and counts its rows before anything is stored.
  std::vector<TColumn> columns;
  std::vector<std::string> fields;
  int rows = 0;
  {
    CsvReader reader(read);
    if (!ReadHeader(reader, values.ListFile, columns, error))
      return TBatchOutcome::kNotRun;
    while (NextRecord(reader, columns, values.ListFile, fields, error))
      ++rows;
    if (!error.empty())
      return TBatchOutcome::kNotRun;
  }
  TBatch batch(values, console, rows);
  if (!batch.Begin(error))
    return TBatchOutcome::kNotRun;
  list->Seek(0);
  CsvReader reader(read);
  columns.clear();
  ReadHeader(reader, values.ListFile, columns, error);
  for (int row = 0; row < rows && NextRecord(reader, columns, values.ListFile, fields, error);
       ++row) {
    batch.Store({RowValues(values, columns, fields), reader.RecordLine(), ""});
  }
  // A list changed between the passes ends early; its rows so far are reported all the same.
  const std::string list_error = error;
  if (!batch.Finish(error))
    return TBatchOutcome::kSomeFailed;
  error = list_error;
  return error.empty() ? TBatchOutcome::kAllStored : TBatchOutcome::kSomeFailed;
}

// --- a folder of configured setup files

// The setup files of a folder (".exe" and ".msi", not in subfolders), in the order the folder
// lists them, handed to each as they are found.
template <typename Each>
void ForEachSetupFile(const std::string& folder, Each&& each) {
  for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder))) {
    const std::string name = Utf8Of(entry.path().filename());
    std::error_code ignored;
    if ((IsExeFileName(name) || IsMsiFileName(name)) && entry.is_regular_file(ignored))
      each(entry.path());
  }
}

TBatchOutcome RunFolder(const TCommandLineValues& values, TBatchConsole& console,
                        std::string& error) {
  if (!values.PackageFile.empty() || !values.ServerURL.empty() || !values.AnswerFile.empty()) {
    error =
        "-cf:, -cu: and -ai: are not used with a folder list: each setup file keeps its own "
        "package and answer file";
    return TBatchOutcome::kNotRun;
  }
  if (values.OutputFile.empty()) {
    error = "Output folder name is not specified";
    return TBatchOutcome::kNotRun;
  }
  if (!IsFolder(values.OutputFile)) {
    error = "Output folder " + QuotedFileName(values.OutputFile) + " is not a folder";
    return TBatchOutcome::kNotRun;
  }
  std::error_code same_error;
  if (std::filesystem::equivalent(PathOf(values.ListFile), PathOf(values.OutputFile), same_error)) {
    error = "Output folder " + QuotedFileName(values.OutputFile) +
            " is the folder of the setup files it would replace";
    return TBatchOutcome::kNotRun;
  }
  int rows = 0;
  ForEachSetupFile(values.ListFile, [&rows](const std::filesystem::path&) { ++rows; });
  TBatch batch(values, console, rows);
  if (!batch.Begin(error))
    return TBatchOutcome::kNotRun;
  const std::filesystem::path output_folder = PathOf(values.OutputFile);
  int row = 0;
  ForEachSetupFile(values.ListFile, [&](const std::filesystem::path& input) {
    // A file added to the folder meanwhile waits for the next run.
    if (row++ >= rows)
      return;
    TCommandLineValues row_values = values;
    row_values.OutputFile = Utf8Of(output_folder / input.filename());
    batch.Store({row_values, 0, Utf8Of(input)});
  });
  return batch.Finish(error) ? TBatchOutcome::kAllStored : TBatchOutcome::kSomeFailed;
}

}  // namespace

bool IsBatchRun(const std::vector<std::string>& arguments) {
  return !ParseSwitches(arguments).ListFile.empty();
}

TBatchOutcome RunBatch(const std::vector<std::string>& arguments, TBatchConsole& console,
                       std::string& error) {
  error.clear();
  TBatchOutcome outcome = TBatchOutcome::kNotRun;
  const TCommandLineValues values = ParseSwitches(arguments);
  const bool ran = RunReportingFailure(
      [&] {
        if (values.SourceFile.empty()) {
          error = "Source setup file name is not specified";
          return;
        }
        outcome = IsFolder(values.ListFile) ? RunFolder(values, console, error)
                                            : RunList(values, console, error);
      },
      error);
  return ran ? outcome : TBatchOutcome::kNotRun;
}

}  // namespace kv
