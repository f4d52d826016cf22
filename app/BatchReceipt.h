// The receipt of a batch run, for audit: one JSON document with the run's source and a row per
// output, written row by row into a private copy beside the receipt's file and put in its place,
// whole, when the run ends; an unfinished receipt never replaces an earlier one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "contents/SetupContents.h"
#include "setupfile/FileStream.h"

namespace kv {

struct TReceiptRow {
  int Row = 0;
  int Line = 0;       // the row's line in a list file; 0 for a folder
  std::string Input;  // the configured setup file a folder row is redone from; empty for a list
  std::string Output;
  std::string Result;  // "ok", "failed" or "skipped"
  std::string Error;   // why, when not "ok"
  std::int64_t Size = 0;
  std::string PackageSha256;     // digests' bytes; empty when nothing was stored
  std::string AnswerFileSha256;  // empty without an answer file
};

class TBatchReceipt {
 public:
  // Starts the receipt's private copy. Throws FileCreateError naming file_name.
  TBatchReceipt(const std::string& file_name, const std::string& source,
                const SignedDigest& source_digest);
  // Throw StreamWriteError; Finish puts the receipt in place.
  void Add(const TReceiptRow& row);
  void Finish(int written, int failed, int skipped);

 private:
  std::unique_ptr<OutputReplacement> output_;
  std::string digest_json_;
  int rows_ = 0;
};

// A JSON string of text: well-formed UTF-8 stays as it is (escapes only for the quote, the
// backslash and control characters); every other byte becomes \u00XX, so any bytes give valid
// JSON.
std::string JsonString(std::string_view text);

// Lower-case hexadecimal digits of bytes.
std::string HexText(std::string_view bytes);

}  // namespace kv
