#include "tools/reservearea/ReserveArea.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/Failure.h"
#include "setupfile/DerSignedData.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/ZNTUtils.h"
#include "tools/reservearea/AreaCertificate.h"
#include "tools/reservearea/RunProgram.h"
#include "tools/reservearea/SignatureDigests.h"

namespace kv {

namespace {

constexpr char kSigner[] = "osslsigncode";
constexpr std::string_view kPeMagic = "MZ";
constexpr std::string_view kMsiMagic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::size_t kMagicLength = 8;
// The digest of an MSI's MsiDigitalSignatureEx stream, present when the signature covers it.
constexpr std::string_view kMsiExtendedDigestName = "MsiDigitalSignatureEx";

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

enum class SetupKind { kExecutable, kMsi };

// Runs a check that reads a file: a failure to read becomes "Cannot read the " + what + ": " and
// the failure's message.
template <typename Check>
bool CheckReading(const char* what, std::string& error, Check&& check) {
  bool passed = false;
  std::string failure;
  if (RunReportingFailure([&] { passed = check(); }, failure))
    return passed;
  error = std::string("Cannot read the ") + what + ": " + failure;
  return false;
}

// The input must be a PE executable or an MSI package without a data area of its own.
bool CheckInput(const std::string& input_file, SetupKind& kind, std::string& error) {
  return CheckReading("input file", error, [&] {
    std::unique_ptr<FileStream> stream = Files().Open(input_file, OpenMode::kRead);
    std::string magic(kMagicLength, '\0');
    magic.resize(stream->Read(magic));
    if (HasPrefix(kPeMagic, magic)) {
      kind = SetupKind::kExecutable;
    } else if (magic == kMsiMagic) {
      kind = SetupKind::kMsi;
    } else {
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
  });
}

// Runs osslsigncode and keeps what it printed in the operation's log.
class Signer {
 public:
  Signer(std::string log_file, std::string& tool_log)
      : log_file_(std::move(log_file)), tool_log_(tool_log) {}

  // False with error set when osslsigncode could not be run at all.
  bool Run(const std::vector<std::string>& arguments, int& exit_code, std::string& output,
           std::string& error) {
    std::vector<std::string> command = {kSigner};
    command.insert(command.end(), arguments.begin(), arguments.end());
    tool_log_ += "$";
    for (const std::string& argument : command)
      tool_log_ += " " + argument;
    tool_log_ += "\n";
    const ProgramResult result = RunProgram(command, log_file_);
    if (!result.started) {
      error = result.error + " (is the osslsigncode package installed?)";
      return false;
    }
    tool_log_ += result.output;
    exit_code = result.exit_code;
    output = result.output;
    return true;
  }

  // The digests osslsigncode reports for file; with ca_file a full check of the signer's and
  // the time stamp's chains, whose verdict is chain_ok.
  bool Digests(const std::string& file, const std::string& ca_file, std::vector<DigestPair>& pairs,
               bool& chain_ok, std::string& error) {
    std::vector<std::string> arguments = {"verify"};
    if (!ca_file.empty())
      arguments.insert(arguments.end(), {"-CAfile", ca_file, "-TSA-CAfile", ca_file});
    arguments.insert(arguments.end(), {"-in", file});
    int exit_code = 0;
    std::string output;
    if (!Run(arguments, exit_code, output, error))
      return false;
    pairs = ReadDigestPairs(output);
    chain_ok = exit_code == 0;
    return true;
  }

 private:
  std::string log_file_;
  std::string& tool_log_;
};

std::vector<std::string> DigestNames(const std::vector<DigestPair>& pairs) {
  std::vector<std::string> names;
  for (const DigestPair& pair : pairs)
    names.push_back(pair.name);
  return names;
}

bool HasDigest(const std::vector<DigestPair>& pairs, std::string_view name) {
  for (const DigestPair& pair : pairs) {
    if (pair.name == name)
      return true;
  }
  return false;
}

bool ExtractSignature(Signer& signer, const std::string& file, const std::string& signature_file,
                      std::string& signature, std::string& error) {
  int exit_code = 0;
  std::string output;
  if (!signer.Run({"extract-signature", "-in", file, "-out", signature_file}, exit_code, output,
                  error))
    return false;
  if (exit_code != 0 || !ReadWholeFile(signature_file, signature, error)) {
    error = "Cannot take the signature out of " + Quoted(file) + " (is the file signed?)";
    return false;
  }
  return true;
}

// The result's signature must be the input's with the area certificate added as the last
// certificate: signer infos, signed and unsigned attributes and the signed content unchanged.
bool CheckOnlyCertificateAdded(std::string_view before, std::string_view after,
                               const std::string& certificate, std::string& error) {
  SignedDataParts input;
  SignedDataParts output;
  if (!SplitSignedData(before, input, error) || !SplitSignedData(after, output, error))
    return false;
  input.certificates.push_back(certificate);
  if (input != output) {
    error = "The signature put back differs from the input's by more than the added certificate";
    return false;
  }
  return true;
}

bool CheckPeChecksum(const std::string& file, std::string& error) {
  return CheckReading("signed file", error, [&] {
    std::unique_ptr<FileStream> stream = Files().Open(file, OpenMode::kRead);
    const PeChecksumPair pair = ComputePeChecksumPair(*stream);
    if (pair.stored == pair.computed)
      return true;
    error = "The PE checksum of the signed file is wrong";
    return false;
  });
}

// The signed file must hold exactly the requested area, all zero, inside the search window.
bool CheckArea(const std::string& signed_file, std::uint32_t area_size, std::int64_t& position,
               std::string& error) {
  return CheckReading("signed file", error, [&] {
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
  });
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

bool ReserveConfigArea(const ReserveAreaRequest& request, ReserveAreaResult& result,
                       std::string& error) {
  result = ReserveAreaResult();
  if (request.area_size == 0 || request.area_size > kMaxReservedAreaSize) {
    error = "The area size must be from 1 to " + std::to_string(kMaxReservedAreaSize) + " bytes";
    return false;
  }
  SetupKind kind = SetupKind::kExecutable;
  if (!CheckInput(request.input_file, kind, error))
    return false;
  WorkFolder work;
  if (!work.Create(request.output_file, error))
    return false;
  Signer signer(work.File("osslsigncode.log"), result.tool_log);

  // The input's signature must match its contents: an area added to a broken signature would
  // only hide the damage.
  std::string original;
  std::vector<DigestPair> input_digests;
  bool chain_ok = false;
  std::string mismatch;
  if (!ExtractSignature(signer, request.input_file, work.File("signature.der"), original, error) ||
      !signer.Digests(request.input_file, "", input_digests, chain_ok, error))
    return false;
  if (!DigestsMatch(input_digests, mismatch)) {
    error = "The signature of the input file " + Quoted(request.input_file) +
            " does not match its contents (" + mismatch + "); refusing to extend it";
    return false;
  }

  std::string certificate;
  std::string extended;
  if (!MakeAreaCertificate(request.area_size, certificate, error) ||
      !AddCertificateToSignedData(original, certificate, extended, error))
    return false;
  const std::string extended_file = work.File("signature-with-area.der");
  if (!WriteWholeFile(extended_file, extended, error))
    return false;

  // osslsigncode checks the chain of trust after attaching and fails when it cannot build one,
  // but writes the file all the same; the checks below decide instead.
  std::vector<std::string> attach = {"attach-signature", "-sigin", extended_file};
  if (HasDigest(input_digests, kMsiExtendedDigestName))
    attach.push_back("-add-msi-dse");  // the signature covers this stream: keep it
  const std::string signed_file = work.File("signed");
  attach.insert(attach.end(), {"-in", request.input_file, "-out", signed_file});
  int exit_code = 0;
  std::string output;
  if (!signer.Run(attach, exit_code, output, error))
    return false;
  std::error_code missing;
  const std::uintmax_t signed_size = std::filesystem::file_size(signed_file, missing);
  if (missing || signed_size == 0) {
    error = "Cannot put the extended signature back into a copy of " + Quoted(request.input_file);
    return false;
  }

  std::vector<DigestPair> output_digests;
  std::string after;
  if (!signer.Digests(signed_file, request.ca_file, output_digests, chain_ok, error))
    return false;
  if (!DigestsMatch(output_digests, mismatch) ||
      DigestNames(output_digests) != DigestNames(input_digests)) {
    error = "Putting the signature back broke it: the digests of the result (" +
            (mismatch.empty() ? std::string("their kinds") : mismatch) +
            ") do not match its contents";
    return false;
  }
  if (!request.ca_file.empty() && !chain_ok) {
    error = "The signature of the result does not verify against the trust anchors in " +
            Quoted(request.ca_file);
    return false;
  }
  if (!ExtractSignature(signer, signed_file, work.File("signature-after.der"), after, error) ||
      !CheckOnlyCertificateAdded(original, after, certificate, error))
    return false;
  if (kind == SetupKind::kExecutable && !CheckPeChecksum(signed_file, error))
    return false;
  if (!CheckArea(signed_file, request.area_size, result.area_position, error))
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
