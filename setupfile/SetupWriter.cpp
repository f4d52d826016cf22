#include "setupfile/SetupWriter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "base/ByteReader.h"
#include "base/Failure.h"
#include "base/RuntimeError.h"
#include "setupfile/BlobList.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/PeHeaders.h"
#include "setupfile/SetupReader.h"
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

// The copy goes in steps of this size: each step's bytes start on their way to the disk while
// the next are copied, and are summed for the checksum while still in the cache.
constexpr std::int64_t kCopyStepSize = 8 * 1048576;

// The checksum words of the source's first size bytes, always from the one open stream and never
// past size. Summed on a second thread beside the copy where the stream allows that and a thread
// can be started (a 1 GiB copy took 0.45 s instead of 0.59 s), else by the copying thread after
// each step.
class SourceWordSum {
 public:
  SourceWordSum(FileStream& source, std::int64_t size, std::int64_t field)
      : source_(source), size_(size), field_(field) {
    if (field_ < 0 || !source_.ReadsAtFromAnyThread())
      return;
    // Where no thread is to be had (a process limit), the copying thread sums instead.
    RunIgnoringFailure([this] { worker_ = std::thread([this] { SumOnWorker(); }); });
  }
  ~SourceWordSum() {
    cancel_ = true;
    if (worker_.joinable())
      worker_.join();
  }
  SourceWordSum(const SourceWordSum&) = delete;
  SourceWordSum& operator=(const SourceWordSum&) = delete;

  // Called by the copying thread once the step's bytes are copied.
  void AfterStep(std::int64_t offset, std::int64_t count) {
    if (field_ >= 0 && !worker_.joinable())
      sum_ += SumPeRange(source_, offset, count, field_);
  }

  // The sum, once the copy is complete. Throws the runtime error that ended the worker.
  std::uint64_t Total() {
    if (worker_.joinable()) {
      worker_.join();
      if (failure_)
        throw *failure_;
    }
    return sum_;
  }

 private:
  void SumOnWorker() noexcept {
    try {
      for (std::int64_t offset = 0; offset < size_ && !cancel_; offset += kCopyStepSize)
        sum_ += SumPeRange(source_, offset, std::min(kCopyStepSize, size_ - offset), field_);
    } catch (...) {
      failure_ = CurrentRuntimeError();
    }
  }

  FileStream& source_;
  const std::int64_t size_;
  const std::int64_t field_;
  std::uint64_t sum_ = 0;
  std::atomic<bool> cancel_ = false;
  std::optional<RuntimeError> failure_;
  std::thread worker_;  // last: starts once the fields it uses exist
};

// How often a caller with a progress callback hears of a store that is busy: the window handles
// its messages at each call. Run on the calling thread, the flush of a fresh 2 GiB copy kept the
// window from answering for 1.5 s under Wine on a virtual disk, and a step from a slow source can
// take as long, so the copy is built beside the calling thread, which waits in short slices.
constexpr auto kProgressInterval = std::chrono::milliseconds(20);

// The figures of a store's progress, told on the calling thread. Run starts the work on a second
// thread, and the calling thread tells every figure the work tells, in order and each answered
// before the work goes on, and the last one again every kProgressInterval while the work is busy
// between two (a step from a slow source, the read-back, the flush). Without a callback, or where
// no thread can be started, the work runs on the calling thread and tells its figures directly.
class ProgressRelay {
 public:
  ProgressRelay(const StoreProgress& progress, std::int64_t total)
      : progress_(progress), total_(total) {}
  ProgressRelay(const ProgressRelay&) = delete;
  ProgressRelay& operator=(const ProgressRelay&) = delete;

  // Tells done of the total; false once the caller asked to abandon the store (at this or an
  // earlier call).
  bool Tell(std::int64_t done) {
    if (!progress_)
      return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!on_worker_) {
      lock.unlock();
      TellHere(done);
      return !abandoned_;
    }
    // Once abandoned, the caller may no longer be listening.
    if (abandoned_)
      return false;
    told_ = done;
    pending_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !pending_; });
    return !abandoned_;
  }

  // Tells 0 first, then runs work, which throws nothing, unless the caller abandoned the store at
  // that; returns when the work has ended.
  void Run(const std::function<void()>& work) {
    if (progress_) {
      TellHere(0);
      if (abandoned_)
        return;
      on_worker_ = true;
      RunIgnoringFailure([&] {
        worker_ = std::thread([this, &work] {
          work();
          const std::lock_guard<std::mutex> lock(mutex_);
          ended_ = true;
          changed_.notify_all();
        });
      });
    }
    if (!worker_.joinable()) {
      on_worker_ = false;
      return work();
    }
    // Also when the callback throws: the work is told to stop and waited for first.
    struct Ending {
      ProgressRelay& relay;
      ~Ending() { relay.EndWork(); }
    } ending{*this};
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      changed_.wait_for(lock, kProgressInterval, [this] { return pending_ || ended_; });
      if (ended_)
        break;
      const bool told = pending_;
      const std::int64_t done = told_;
      lock.unlock();
      TellHere(done);
      lock.lock();
      if (told) {
        pending_ = false;
        changed_.notify_all();
      }
    }
  }

  bool Abandoned() const { return abandoned_; }

  // Whether the caller hears of the progress.
  bool Told() const { return static_cast<bool>(progress_); }

 private:
  void EndWork() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!ended_) {
        abandoned_ = true;
        pending_ = false;
        changed_.notify_all();
      }
    }
    worker_.join();
  }

  void TellHere(std::int64_t done) {
    if (!progress_(done, total_))
      abandoned_ = true;
  }

  const StoreProgress& progress_;
  const std::int64_t total_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool on_worker_ = false;
  bool pending_ = false;
  bool ended_ = false;
  std::int64_t told_ = 0;
  std::atomic<bool> abandoned_ = false;
  std::thread worker_;
};

// Reads the list back out of the complete copy the way a configured setup file is read, and
// compares what it holds with what was meant.
bool ReadsBackAsStored(FileStream& copy, const std::string& package_text,
                       const std::string& answer_file_text) {
  std::string package;
  std::string answer;
  const bool has_answer = ReadBlobFromStream(copy, std::string(kAnswerFileEntryName), answer);
  return ReadBlobFromStream(copy, std::string(kPackageEntryName), package) &&
         package == package_text && has_answer == !answer_file_text.empty() &&
         answer == answer_file_text;
}

struct StoredData {
  const std::string& package_text;
  const std::string& answer_file_text;
  const std::string& list;
};

}  // namespace

struct SetupSourceCache::Opened {
  std::string file_name;
  std::unique_ptr<FileStream> stream;
  FileState state;
  bool has_area = false;
  std::int64_t area_position = 0;
  std::uint32_t area_length = 0;
  std::int64_t field = -1;
  std::optional<std::uint64_t> sum;  // once a copy of the whole source was complete
  // The padding of the certificate entries that every copy zeroes, so that it passes Windows'
  // strict padding check, and whether an entry fails that check in a way zeroing cannot mend.
  std::vector<ByteRange> padding_to_zero;
  bool padding_fails = false;
};

SetupSourceCache::SetupSourceCache() = default;
SetupSourceCache::~SetupSourceCache() = default;

namespace {

std::string SourceChangedMessage(const std::string& source_file) {
  return FailureMessageText(FailureMessage::kSourceChanged, {source_file});
}

// Certificate entries end on 8-byte boundaries: padding that passes the strict check is shorter.
constexpr std::int64_t kCertificateAlignment = 8;

// The padding the copies of a signed PE source zero: that of every entry that fails Windows'
// strict padding check with fewer than 8 bytes, outside the area. Any other failing entry (8
// bytes or more after its SignedData, or a SignedData that cannot be read) is left as it is, as
// its length and the table's are what the file's structure relies on, and sets padding_fails.
void FindPaddingToZero(SetupSourceCache::Opened& source) {
  TPeHeaders headers;
  PeSignedLayout layout;
  if (ReadPeHeaders(*source.stream, headers) != PeHeaderStatus::kFound ||
      ReadPeSignedLayout(*source.stream, headers, layout) != PeSignatureStatus::kSigned) {
    return;
  }
  const std::int64_t area_end = source.area_position + source.area_length;
  for (const PeCertificateEntry& entry : layout.entries) {
    if (entry.strict_padding)
      continue;
    const ByteRange& padding = entry.padding;
    const bool outside_area =
        padding.offset >= area_end || padding.offset + padding.size <= source.area_position;
    if (padding.size > 0 && padding.size < kCertificateAlignment && outside_area)
      source.padding_to_zero.push_back(padding);
    else
      source.padding_fails = true;
  }
}

// The source as the cache holds it: opened, its area located and its checksum field found on
// first use (or for another file name); afterwards checked unchanged. Null with error set when
// it changed since.
SetupSourceCache::Opened* OpenSource(SetupSourceCache& cache, const std::string& source_file,
                                     std::string& error) {
  if (cache.opened && cache.opened->file_name == source_file) {
    if (cache.opened->stream->State() != cache.opened->state) {
      error = SourceChangedMessage(source_file);
      return nullptr;
    }
    return cache.opened.get();
  }
  cache.opened.reset();
  auto opened = std::make_unique<SetupSourceCache::Opened>();
  opened->file_name = source_file;
  opened->stream = Files().Open(source_file, OpenMode::kRead);
  opened->state = opened->stream->State();
  opened->stream->Seek(0);
  opened->has_area = LocateConfigArea(*opened->stream, opened->area_position, opened->area_length);
  if (opened->has_area)
    opened->field = FindPeChecksumField(*opened->stream);
  if (opened->field >= 0)
    FindPaddingToZero(*opened);
  cache.opened = std::move(opened);
  return cache.opened.get();
}

// Whether the copy holds only zero bytes where its padding was zeroed.
bool PaddingReadsBackZero(FileStream& copy, const std::vector<ByteRange>& zeroed) {
  for (const ByteRange& range : zeroed) {
    std::string bytes(static_cast<std::size_t>(range.size), '\1');
    if (copy.ReadAt(range.offset, bytes) != bytes.size() ||
        bytes.find_first_not_of('\0') != std::string::npos) {
      return false;
    }
  }
  return true;
}

// Builds the configured copy in target: the source's bytes (read through the one open stream, up
// to the size it had when it was opened), the list at the area's position, the certificate
// padding zeroed where the source's fails the strict check and, for an executable (by the
// target's name or by the source's content), the checksum, from the sum of the source's words
// (taken beside the first complete copy) and the bytes the list and the padding replaced. Before
// the last write the copy is read back and the source checked for changes; at the end it is
// flushed.
bool BuildCopy(SetupSourceCache::Opened& source, FileStream& target, const std::string& target_file,
               const StoredData& data, ProgressRelay& relay, std::string& error) {
  const std::int64_t field = source.field;
  const std::int64_t size = source.state.size;
  target.SetSize(size);
  source.stream->Seek(0);
  target.Seek(0);
  SourceWordSum source_sum(*source.stream, size, source.sum ? -1 : field);
  for (std::int64_t offset = 0; offset < size; offset += kCopyStepSize) {
    const std::int64_t count = std::min(kCopyStepSize, size - offset);
    CopyStreamData(*source.stream, target, count);
    target.StartFlush(offset, count);
    source_sum.AfterStep(offset, count);
    if (!relay.Tell(offset + count)) {
      error = FailurePattern(FailureMessage::kStoreCancelled);
      return false;
    }
  }
  const std::uint64_t copied_sum = source.sum ? *source.sum : source_sum.Total();
  // The bytes the list replaces, for the checksum: from the copy, which is what the sum must
  // describe, not from the source, which may have changed since.
  std::string replaced(field >= 0 ? data.list.size() : 0, '\0');
  if (target.ReadAt(source.area_position, replaced) != replaced.size())
    throw StreamReadError();
  const std::string zeros(kCertificateAlignment, '\0');
  std::vector<std::string> padding_replaced;
  for (const ByteRange& range : source.padding_to_zero) {
    std::string& bytes = padding_replaced.emplace_back(static_cast<std::size_t>(range.size), '\0');
    if (target.ReadAt(range.offset, bytes) != bytes.size())
      throw StreamReadError();
  }
  target.Seek(source.area_position);
  target.Write(data.list);
  for (const ByteRange& range : source.padding_to_zero) {
    target.Seek(range.offset);
    target.Write(std::span<const char>(zeros.data(), static_cast<std::size_t>(range.size)));
  }
  if (!ReadsBackAsStored(target, data.package_text, data.answer_file_text) ||
      !PaddingReadsBackZero(target, source.padding_to_zero)) {
    error = FailureMessageText(FailureMessage::kNoReadBack, {target_file});
    return false;
  }
  if (source.stream->State() != source.state) {
    error = SourceChangedMessage(source.file_name);
    return false;
  }
  if (field >= 0) {
    source.sum = copied_sum;
    std::vector<PeChecksumChange> changes{{source.area_position, replaced, data.list}};
    for (std::size_t i = 0; i < padding_replaced.size(); ++i) {
      changes.push_back({source.padding_to_zero[i].offset, padding_replaced[i],
                         std::string_view(zeros).substr(0, padding_replaced[i].size())});
    }
    std::string value;
    AppendU32LE(value, PeChecksumAfterChanges(copied_sum, size, field, changes));
    target.Seek(field);
    target.Write(value);
  }
  // Where progress is told, here rather than in the commit, so that the window hears of the store
  // while the copy's bytes go to the disk. Elsewhere the commit's flush is the only one: a second
  // one costs each output of a list a journal write.
  if (relay.Told())
    target.Flush();
  return true;
}

// Builds the configured copy (beside the calling thread where progress is told) and puts it in
// place of the target, unless the caller abandoned the store first. Where the replacement allows
// it, it is put in place on the copy's thread too: on Windows that is a rename and a flush, or an
// overwrite in place that copies the whole output twice.
bool WriteConfiguredCopy(SetupSourceCache::Opened& source, const std::string& target_file,
                         const StoredData& data, const StoreProgress& progress, std::string& error,
                         std::string& warning) {
  if (source.field < 0 && EqualsIgnoreAsciiCase(ExtractFileExt(target_file), ".exe")) {
    error = FailurePattern(FailureMessage::kChecksumNotUpdatable);
    return false;
  }
  const std::unique_ptr<OutputReplacement> output = Files().BeginOutput(target_file);
  // The target's name may have come to lead to the source since the names were compared.
  if (output->Replaces(source.state)) {
    error = FailureMessageText(FailureMessage::kOutputIsInput, {kSourceSetupFileRole});
    return false;
  }
  ProgressRelay relay(progress, source.state.size);
  const bool commit_beside = output->CommitsFromAnyThread();
  bool built = false;
  bool committed = false;
  relay.Run([&] {
    built = RunReportingFailure(
        [&] {
          if (!BuildCopy(source, output->Stream(), target_file, data, relay, error))
            return false;
          if (commit_beside && !relay.Abandoned()) {
            output->Commit();
            committed = true;
          }
          return true;
        },
        error);
  });
  if (!committed && relay.Abandoned()) {
    error = FailurePattern(FailureMessage::kStoreCancelled);
    return false;
  }
  if (!built)
    return false;
  if (!committed)
    output->Commit();
  warning = output->Warning();
  // The copy keeps a padding that could not be zeroed: the source fails the check as well.
  if (source.padding_fails) {
    const std::string padding =
        FailureMessageText(FailureMessage::kStrictPaddingFails, {target_file});
    warning = warning.empty() ? padding : warning + "\n" + padding;
  }
  return true;
}

}  // namespace

bool CheckOutputIsNoInput(const std::string& output_file, const std::vector<TRunInputFile>& inputs,
                          std::string& error) {
  error.clear();
  for (const TRunInputFile& input : inputs) {
    if (!input.FileName.empty() && Files().IsSameFile(output_file, input.FileName)) {
      error = FailureMessageText(FailureMessage::kOutputIsInput, {input.Role});
      return false;
    }
  }
  return true;
}

bool StoreConfigToSetup(const std::string& source_file, const std::string& target_file,
                        const std::string& package_text, const std::string& answer_file_text,
                        std::string& error) {
  std::string warning;
  return StoreConfigToSetup(source_file, target_file, package_text, answer_file_text, error,
                            warning);
}

bool StoreConfigToSetup(const std::string& source_file, const std::string& target_file,
                        const std::string& package_text, const std::string& answer_file_text,
                        std::string& error, std::string& warning, const StoreProgress& progress) {
  SetupSourceCache source;
  return StoreConfigToSetup(source, source_file, target_file, package_text, answer_file_text, error,
                            warning, progress);
}

bool StoreConfigToSetup(SetupSourceCache& cache, const std::string& source_file,
                        const std::string& target_file, const std::string& package_text,
                        const std::string& answer_file_text, std::string& error,
                        std::string& warning, const StoreProgress& progress) {
  error.clear();
  warning.clear();
  bool succeeded = false;
  RunReportingFailure(
      [&] {
        // Putting the copy in place of the source would destroy it.
        if (!CheckOutputIsNoInput(target_file, {{kSourceSetupFileRole, source_file}}, error))
          return;
        // A folder, a device or a pipe cannot be replaced by the copy.
        if (Files().IsSpecialFile(target_file)) {
          error = FailureMessageText(FailureMessage::kOutputNotRegular, {target_file});
          return;
        }
        // The area is searched from the end of the source: a pipe or a device has none.
        if (Files().IsSpecialFile(source_file)) {
          error = FailureMessageText(FailureMessage::kSourceNotRegular, {source_file});
          return;
        }
        const std::string list = BuildBlobList(package_text, answer_file_text);
        SetupSourceCache::Opened* source = OpenSource(cache, source_file, error);
        if (source == nullptr)
          return;
        if (!source->has_area) {
          error = FailurePattern(FailureMessage::kNoConfigArea);
        } else if (source->area_length < list.size()) {
          error = FailureMessageText(FailureMessage::kConfigTooLarge,
                                     {FormatByteSize(source->area_length)});
        } else {
          succeeded =
              WriteConfiguredCopy(*source, target_file, {package_text, answer_file_text, list},
                                  progress, error, warning);
        }
      },
      error);
  return succeeded;
}

}  // namespace kv
