#include "tools/reservearea/ReserveArea.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/RuntimeError.h"
#include "setupfile/ZNTUtils.h"
#include "tools/reservearea/AreaCertificate.h"
#include "tools/reservearea/DerSignedData.h"
#include "tools/reservearea/RunProgram.h"

namespace kv {

namespace {

constexpr char kSigner[] = "osslsigncode";
constexpr std::string_view kPeMagic = "MZ";
constexpr std::string_view kMsiMagic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::size_t kMagicLength = 8;

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// A private working folder beside the output file, so that the finished file only has to be
// renamed into place. Removed with everything in it when the operation ends.
class WorkFolder {
 public:
  bool Create(const std::string& output_file, std::string& error) {
    std::filesystem::path parent = std::filesystem::path(output_file).parent_path();
    if (parent.empty())
      parent = ".";
    std::string pattern = (parent / ".reservearea-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      error = "Cannot write beside the output file " + Quoted(output_file) + ": " +
              std::strerror(errno);
      return false;
    }
    path_ = pattern;
    return true;
  }
  ~WorkFolder() {
    if (path_.empty())
      return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "Cannot read " + Quoted(path);
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = "Cannot write " + Quoted(path);
    return false;
  }
  return true;
}

// The input must be a PE executable or an MSI package without a data area of its own.
bool CheckInput(const std::string& input_file, std::string& error) {
  try {
    std::unique_ptr<FileStream> stream = Files().Open(input_file, OpenMode::kRead);
    std::string magic(kMagicLength, '\0');
    magic.resize(stream->Read(magic));
    if (!HasPrefix(kPeMagic, magic) && magic != kMsiMagic) {
      error =
          "The input file " + Quoted(input_file) + " is neither a PE executable nor an MSI package";
      return false;
    }
    std::int64_t position = 0;
    std::uint32_t length = 0;
    if (LocateConfigArea(*stream, position, length)) {
      error = "The input file " + Quoted(input_file) + " already has a configuration data area (" +
              std::to_string(length) + " bytes at offset " + std::to_string(position) + ")";
      return false;
    }
    return true;
  } catch (const RuntimeError& e) {
    error = "Cannot read the input file: " + e.Message();
    return false;
  }
}

bool RunSigner(const std::vector<std::string>& arguments, const std::string& log_file,
               const std::string& failure, std::string& error) {
  const ProgramResult result = RunProgram(arguments, log_file);
  if (!result.started) {
    error = result.error + " (is the osslsigncode package installed?)";
    return false;
  }
  if (result.exit_code != 0) {
    error = failure + "; " + kSigner + " said:\n" + std::string(TrimControl(result.output));
    return false;
  }
  return true;
}

// The signed file must hold exactly the requested area, all zero, inside the search window.
bool CheckArea(const std::string& signed_file, std::uint32_t area_size, std::int64_t& position,
               std::string& error) {
  try {
    std::unique_ptr<FileStream> stream = Files().Open(signed_file, OpenMode::kRead);
    std::uint32_t length = 0;
    std::string area;
    if (!LocateConfigArea(*stream, position, length) || length != area_size ||
        !ReadConfigArea(*stream, area)) {
      error =
          "The area did not land in the last MiB of the signed file, the only part readers "
          "search (the signature is not at the end of the file, or the area is too large)";
      return false;
    }
    if (area.find_first_not_of('\0') != std::string::npos) {
      error = "The area in the signed file is not all zero bytes";
      return false;
    }
    return true;
  } catch (const RuntimeError& e) {
    error = "Cannot read the signed file: " + e.Message();
    return false;
  }
}

}  // namespace

bool ParseAreaSize(std::string_view text, std::uint32_t& size, std::string& error) {
  std::uint64_t value = 0;
  bool valid = !text.empty();
  for (const char c : text) {
    if (c < '0' || c > '9' || value > kMaxReservedAreaSize) {
      valid = false;
      break;
    }
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (!valid || value == 0 || value > kMaxReservedAreaSize) {
    error = "The area size must be a whole number of bytes from 1 to " +
            std::to_string(kMaxReservedAreaSize) + ", not \"" + std::string(text) + "\"";
    return false;
  }
  size = static_cast<std::uint32_t>(value);
  return true;
}

bool ReserveConfigArea(const ReserveAreaRequest& request, std::int64_t& area_position,
                       std::string& error) {
  if (request.area_size == 0 || request.area_size > kMaxReservedAreaSize) {
    error = "The area size must be from 1 to " + std::to_string(kMaxReservedAreaSize) + " bytes";
    return false;
  }
  if (!CheckInput(request.input_file, error))
    return false;
  WorkFolder work;
  if (!work.Create(request.output_file, error))
    return false;

  const std::string log = work.File("osslsigncode.log");
  const std::string signature = work.File("signature.der");
  if (!RunSigner({kSigner, "extract-signature", "-in", request.input_file, "-out", signature}, log,
                 "Cannot take the signature out of " + Quoted(request.input_file) +
                     " (is the file signed?)",
                 error))
    return false;

  std::string original;
  std::string certificate;
  std::string extended;
  if (!ReadWholeFile(signature, original, error) ||
      !MakeAreaCertificate(request.area_size, certificate, error) ||
      !AddCertificateToSignedData(original, certificate, extended, error))
    return false;
  const std::string extended_file = work.File("signature-with-area.der");
  if (!WriteWholeFile(extended_file, extended, error))
    return false;

  std::vector<std::string> attach = {kSigner, "attach-signature", "-sigin", extended_file};
  if (!request.ca_file.empty())
    attach.insert(attach.end(), {"-CAfile", request.ca_file});
  const std::string signed_file = work.File("signed");
  attach.insert(attach.end(), {"-in", request.input_file, "-out", signed_file});
  if (!RunSigner(attach, log,
                 "Cannot put the extended signature back (a signer whose CA is not in the "
                 "system's store needs --ca-file)",
                 error))
    return false;
  if (!CheckArea(signed_file, request.area_size, area_position, error))
    return false;

  std::error_code failure;
  std::filesystem::rename(signed_file, request.output_file, failure);
  if (failure) {
    error =
        "Cannot write the output file " + Quoted(request.output_file) + ": " + failure.message();
    return false;
  }
  return true;
}

}  // namespace kv
