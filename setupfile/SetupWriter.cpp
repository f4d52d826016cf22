#include "setupfile/SetupWriter.h"

#include <memory>
#include <new>

#include "setupfile/ByteReader.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/RuntimeError.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

constexpr int kMaskMinLength = 59;
constexpr int kMaskMaxLength = 117;

// Mask, package, optional answer file and the end entry, masked and CRC-protected.
std::string BuildBlobList(const std::string& package_text, const std::string& answer_file_text) {
  std::string list;
  std::string package = package_text;
  AppendCrcHex(package);
  const std::string mask = MakeRandomString(kMaskMinLength, kMaskMaxLength);
  if (!mask.empty()) {
    WriteBlobEntry(list, "Mask", mask);
    package = ApplyMask(package, mask);
  }
  WriteBlobEntry(list, "KVConfig", package);
  if (!answer_file_text.empty()) {
    std::string answer = answer_file_text;
    AppendCrcHex(answer);
    WriteBlobEntry(list, "AutoInstall", ApplyMask(answer, mask));
  }
  WriteBlobEntry(list, "", "");
  return list;
}

// Copies the source into a new target and writes the list at the area's position.
void WriteConfiguredCopy(FileStream& source, const std::string& target_file,
                         std::int64_t area_position, const std::string& list) {
  const std::unique_ptr<FileStream> target = Files().Open(target_file, OpenMode::kCreate);
  const std::int64_t size = source.Size();
  target->SetSize(size);
  source.Seek(0);
  target->Seek(0);
  CopyStreamData(source, *target, size);
  target->Seek(area_position);
  target->Write(list);
}

}  // namespace

void WriteBlobEntry(std::string& list, const std::string& name, const std::string& value) {
  AppendU32LE(list, static_cast<std::uint32_t>(name.size()));
  list += name;
  AppendU32LE(list, static_cast<std::uint32_t>(value.size()));
  list += value;
}

void DeleteFailedOutput(const std::string& source_file, const std::string& target_file) {
  if (Files().IsSameFile(source_file, target_file) || Files().IsSpecialFile(target_file))
    return;
  Files().Delete(target_file);
}

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
  // Writing over the source would destroy it, and the clean-up after a failure would delete it.
  if (!CheckOutputIsNoInput(target_file, {{kSourceSetupFileRole, source_file}}, error))
    return false;
  // A folder, a device or a pipe cannot take the copy, and must not be deleted afterwards.
  if (Files().IsSpecialFile(target_file)) {
    error = "Output setup file \"" + target_file + "\" is not a regular file";
    return false;
  }
  bool succeeded = false;
  bool source_opened = false;
  try {
    const std::string list = BuildBlobList(package_text, answer_file_text);
    const std::unique_ptr<FileStream> source = Files().Open(source_file, OpenMode::kRead);
    source_opened = true;
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
      WriteConfiguredCopy(*source, target_file, area_position, list);
      std::string checksum_error;
      if (EqualsIgnoreAsciiCase(ExtractFileExt(target_file), ".exe") &&
          !UpdatePeChecksum(target_file, nullptr, checksum_error)) {
        error = checksum_error.empty() ? "Can't update Setup EXE checksum" : checksum_error;
      } else {
        succeeded = true;
      }
    }
  } catch (const RuntimeError& e) {
    error = e.Message();
  } catch (const std::bad_alloc&) {
    error = OutOfMemoryError().Message();
  }
  if (!succeeded && source_opened)
    DeleteFailedOutput(source_file, target_file);
  return succeeded;
}

}  // namespace kv
