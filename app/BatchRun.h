// A batch run: many configured copies of one source ("-src:") in one unattended run. "-list:"
// names a CSV list with a row per output (columns out, cf, cu, ai, paths relative to the list's
// folder), or a folder of configured setup files that are redone into the "-out:" folder, each
// with its own package and answer file. Each row is stored as a single run stores it; a failing
// row stops no other. Rows are read as they are run, so memory does not grow with the list.
#pragma once

#include <string>
#include <vector>

namespace kv {

// Where a batch reports.
class TBatchConsole {
 public:
  virtual ~TBatchConsole() = default;
  // One line (without its line end): a row's outcome, then the summary.
  virtual void Line(const std::string& text) = 0;
  // Row row of rows is about to be stored.
  virtual void Progress(int row, int rows) = 0;
};

enum class TBatchOutcome {
  kAllStored,   // every row written or skipped
  kSomeFailed,  // a row failed, or the receipt could not be written (error says why)
  kNotRun,      // nothing was stored: error says why
};

// True when the arguments name a list ("-list:" with a value).
bool IsBatchRun(const std::vector<std::string>& arguments);

// Runs the batch the arguments name; error is set for kNotRun and for a receipt that could not
// be written. Never throws.
TBatchOutcome RunBatch(const std::vector<std::string>& arguments, TBatchConsole& console,
                       std::string& error);

}  // namespace kv
