// Writes a configured copy of a setup file: a byte-for-byte copy of the source whose
// configuration data area holds the masked blob list ("Mask", "KVConfig", optional
// "AutoInstall"), with the PE checksum repaired for an ".exe" target and for any target whose
// source is a PE image, and a signed PE source's non-zero certificate padding of fewer than 8
// bytes zeroed (Windows' strict padding check refuses it; the signature does not cover it). The
// source is read through one open stream; the copy is built privately (in the target's folder, or
// where that cannot be renamed over the target, in a writable one), read back, and put in place of
// the target only when complete and the source did not change meanwhile: on failure the target is
// as it was and error holds the reason; the source is never written. Never throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FailureMessages.h"

namespace kv {

// One input of a run, for the output guard: what it is (for the message) and its file name.
struct TRunInputFile {
  std::string Role;
  std::string FileName;
};

// The roles of a run's inputs, as the guard's message names them.
inline constexpr const char* kSourceSetupFileRole =
    FailurePattern(FailureMessage::kSourceSetupFileRole);
inline constexpr const char* kPackageFileRole = FailurePattern(FailureMessage::kPackageFileRole);
inline constexpr const char* kAnswerFileRole = FailurePattern(FailureMessage::kAnswerFileRole);

// False, with a message naming the input, when output_file names one of inputs (any spelling,
// link or letter case); inputs with empty names are skipped. Reads no file's content and creates
// nothing, so it can run before a single input is opened.
bool CheckOutputIsNoInput(const std::string& output_file, const std::vector<TRunInputFile>& inputs,
                          std::string& error);

// What a run learns of its source setup file once, for every output it stores from it: the open
// stream, the file's state then, the data area, the checksum field, the certificate padding to
// zero and the sum of the source's checksum words (taken during the first complete copy). Every
// store checks that the source is still in that state before it relies on any of it, and fails with
// the "changed" message if not.
class SetupSourceCache {
 public:
  SetupSourceCache();
  ~SetupSourceCache();
  SetupSourceCache(const SetupSourceCache&) = delete;
  SetupSourceCache& operator=(const SetupSourceCache&) = delete;

  struct Opened;
  std::unique_ptr<Opened> opened;
};

// Told on the calling thread: the bytes copied so far and the source's size, 0 first, then after
// each step of the copy, and the last figures again every 20 ms while a step or the read-back and
// flush take longer (the copy is then built on a second thread). The figures never fall and end at
// the size. Returning false abandons the store: the target stays as it was and error says so.
using StoreProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

bool StoreConfigToSetup(const std::string& source_file, const std::string& target_file,
                        const std::string& package_text, const std::string& answer_file_text,
                        std::string& error);
// The same, and on success warning says what went wrong once the output was in place (its new
// name could not be made durable) and whether it fails Windows' strict certificate padding
// check as its source does (padding of 8 bytes or more); empty when neither, and on failure.
// progress, when given, hears of the copy's steps.
bool StoreConfigToSetup(const std::string& source_file, const std::string& target_file,
                        const std::string& package_text, const std::string& answer_file_text,
                        std::string& error, std::string& warning,
                        const StoreProgress& progress = {});
// The same, with what source holds of source_file from earlier stores of this run (a cache that
// another file name filled is refilled).
bool StoreConfigToSetup(SetupSourceCache& source, const std::string& source_file,
                        const std::string& target_file, const std::string& package_text,
                        const std::string& answer_file_text, std::string& error,
                        std::string& warning, const StoreProgress& progress = {});

}  // namespace kv
