#include "setupfile/SetupWriter.h"

#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <thread>

#include "base/ByteReader.h"
#include "base/RuntimeError.h"
#include "setupfile/BlobList.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr int kMaskMinLength = 59;
constexpr int kMaskMaxLength = 117;

// Mask, package, optional answer file and the end entry, masked and CRC-protected.
std::string BuildBlobList(const std::string& package_text, const std::string& answer_file_text) {
  return EncodeBlobList(MakeRandomString(kMaskMinLength, kMaskMaxLength), package_text,
                        answer_file_text);
}

// The configured copy under construction: a new file beside the output, renamed over it only when
// complete, and removed on every other path. A failed or killed run therefore never changes or
// deletes a file of the output's name.
class PendingOutput {
 public:
  explicit PendingOutput(const std::string& target_file)
      : target_file_(target_file), stream_(Files().CreateBeside(target_file, path_)) {}
  ~PendingOutput() {
    if (!committed_) {
      stream_.reset();
      Files().Delete(path_);
    }
  }
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  FileStream& Stream() { return *stream_; }

  // Pushes the copy to the disk, closes it and puts it in place of the output.
  void Commit() {
    stream_->Flush();
    stream_.reset();
    Files().Replace(path_, target_file_);
    committed_ = true;
  }

 private:
  std::string target_file_;
  std::string path_;
  std::unique_ptr<FileStream> stream_;
  bool committed_ = false;
};

// The checksum words of the source, summed on a second thread while the first copies the
// source: the copy's checksum differs only by the list's bytes, which are accounted for after.
// The stored checksum field is never read: it counts as zero.
class SourceChecksumSum {
 public:
  SourceChecksumSum(const std::string& source_file, std::int64_t field)
      : thread_([this, source_file, field] { Run(source_file, field); }) {}
  ~SourceChecksumSum() {
    if (thread_.joinable()) {
      cancel_ = true;
      thread_.join();
    }
  }
  SourceChecksumSum(const SourceChecksumSum&) = delete;
  SourceChecksumSum& operator=(const SourceChecksumSum&) = delete;

  // Waits for the sum; throws the runtime error that ended it.
  std::uint64_t Wait() {
    thread_.join();
    if (failure_)
      throw *failure_;
    return sum_;
  }

 private:
  void Run(const std::string& source_file, std::int64_t field) noexcept {
    try {
      const std::unique_ptr<FileStream> source = Files().Open(source_file, OpenMode::kRead);
      SumPeFile(*source, field, cancel_, sum_);
    } catch (const RuntimeError& e) {
      failure_ = e;
    } catch (const std::bad_alloc&) {
      failure_ = OutOfMemoryError();
    }
  }

  std::atomic<bool> cancel_ = false;
  std::uint64_t sum_ = 0;
  std::optional<RuntimeError> failure_;
  std::thread thread_;  // last: starts once the fields it uses exist
};

// Builds the configured copy beside the target and puts it in place: the source's bytes, the
// list at the area's position and, for an executable (by the target's name or by the source's
// content), the checksum. False with error when a target named ".exe" gets a source that is no
// PE image, whose checksum cannot be repaired.
bool WriteConfiguredCopy(FileStream& source, const std::string& source_file,
                         const std::string& target_file, std::int64_t area_position,
                         const std::string& list, std::string& error) {
  const std::int64_t field = FindPeChecksumField(source);
  if (field < 0 && EqualsIgnoreAsciiCase(ExtractFileExt(target_file), ".exe")) {
    error = "Can't update Setup EXE checksum";
    return false;
  }
  PendingOutput output(target_file);
  FileStream& target = output.Stream();
  std::optional<SourceChecksumSum> checksum_sum;
  if (field >= 0)
    checksum_sum.emplace(source_file, field);
  const std::int64_t size = source.Size();
  source.Seek(0);
  target.Seek(0);
  CopyStreamData(source, target, size);
  target.Seek(area_position);
  target.Write(list);
  if (checksum_sum) {
    std::string replaced(list.size(), '\0');
    source.Seek(area_position);
    source.ReadBuffer(replaced);
    const std::uint64_t sum = checksum_sum->Wait() - SumPeWords(replaced, area_position, field) +
                              SumPeWords(list, area_position, field);
    std::string value;
    AppendU32LE(value, FinishPeChecksum(sum, size));
    target.Seek(field);
    target.Write(value);
  }
  output.Commit();
  return true;
}

}  // namespace

bool CheckOutputIsNoInput(const std::string& output_file, const std::vector<TRunInputFile>& inputs,
                          std::string& error) {
  error.clear();
  for (const TRunInputFile& input : inputs) {
    if (!input.FileName.empty() && Files().IsSameFile(output_file, input.FileName)) {
      error = "Output setup file is the same file as the " + input.Role;
      return false;
    }
  }
  return true;
}

bool StoreConfigToSetup(const std::string& source_file, const std::string& target_file,
                        const std::string& package_text, const std::string& answer_file_text,
                        std::string& error) {
  error.clear();
  // Putting the copy in place of the source would destroy it.
  if (!CheckOutputIsNoInput(target_file, {{kSourceSetupFileRole, source_file}}, error))
    return false;
  // A folder, a device or a pipe cannot be replaced by the copy.
  if (Files().IsSpecialFile(target_file)) {
    error = "Output setup file \"" + target_file + "\" is not a regular file";
    return false;
  }
  // The area is searched from the end of the source: a pipe or a device has none.
  if (Files().IsSpecialFile(source_file)) {
    error = "Source setup file \"" + source_file + "\" is not a regular file";
    return false;
  }
  bool succeeded = false;
  try {
    const std::string list = BuildBlobList(package_text, answer_file_text);
    const std::unique_ptr<FileStream> source = Files().Open(source_file, OpenMode::kRead);
    source->Seek(0);
    std::int64_t area_position = 0;
    std::uint32_t area_length = 0;
    if (!LocateConfigArea(*source, area_position, area_length)) {
      error =
          "Not compatible Setup file - setup file does not contain dedicated space for storing "
          "configuration";
    } else if (area_length < list.size()) {
      error = "Configuration data size > " + FormatByteSize(area_length);
    } else {
      succeeded =
          WriteConfiguredCopy(*source, source_file, target_file, area_position, list, error);
    }
  } catch (const RuntimeError& e) {
    error = e.Message();
  } catch (const std::bad_alloc&) {
    error = OutOfMemoryError().Message();
  }
  return succeeded;
}

}  // namespace kv
