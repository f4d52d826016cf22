#include "inspect/SetupContents.h"

#include <memory>

#include "base/Failure.h"
#include "config/PackageParser.h"
#include "config/ScrambledValues.h"
#include "crypto/Digest.h"
#include "inspect/SignerTrust.h"
#include "setupfile/AuthenticodeSignature.h"
#include "setupfile/BlobList.h"
#include "setupfile/CompoundFile.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/FileStream.h"
#include "setupfile/MsiSignature.h"
#include "setupfile/PeHeaders.h"
#include "setupfile/SetupReader.h"
#include "setupfile/ZNTUtils.h"

namespace kv {

namespace {

// The file is hashed in blocks of this size: few system calls, and far below the memory the
// inspection may take (16 MiB) even for a file of many GiB.
constexpr std::size_t kHashBlockSize = 1 << 20;
constexpr std::string_view kLegacyPackageName = "K-VConfig.bin";
// Entries whose values mean nothing to a reader: shown by their length only.
constexpr std::string_view kLengthOnlyKeys[] = {kCompanyRule.key, kCompanyLogoRule.key,
                                                "SIGNATURE"};

struct DigestName {
  AuthenticodeDigestKind kind;
  DigestAlgorithm algorithm;
  const char* name;
};
constexpr DigestName kDigestNames[] = {
    {AuthenticodeDigestKind::kSha1, DigestAlgorithm::kSha1, "SHA-1"},
    {AuthenticodeDigestKind::kSha256, DigestAlgorithm::kSha256, "SHA-256"},
    {AuthenticodeDigestKind::kSha384, DigestAlgorithm::kSha384, "SHA-384"},
    {AuthenticodeDigestKind::kSha512, DigestAlgorithm::kSha512, "SHA-512"},
};

// Takes what the signature blob says; false (with the reason) when it cannot be read or names a
// digest this program does not compute.
bool ReadSignatureBlob(std::string_view blob, SignatureFindings& findings,
                       AuthenticodeSignature& signature, const DigestName*& digest) {
  std::string error;
  if (!ReadAuthenticodeSignature(blob, signature, error)) {
    findings.NotCheckedReason = "the signature cannot be read: " + error;
    return false;
  }
  findings.SignerSubject = signature.signer_subject;
  findings.SignerIssuer = signature.signer_issuer;
  findings.SigningTime = signature.signing_time;
  findings.TimeStamp = signature.time_stamp;
  findings.DigestAlgorithm = signature.digest_algorithm_oid;
  digest = nullptr;
  for (const DigestName& known : kDigestNames) {
    if (known.kind == signature.digest_kind)
      digest = &known;
  }
  if (digest == nullptr) {
    findings.NotCheckedReason = "the digest algorithm " + signature.digest_algorithm_oid +
                                " is not one this program computes";
    return false;
  }
  findings.DigestAlgorithm = digest->name;
  return true;
}

void CompareDigest(Digest& computed, const AuthenticodeSignature& signature,
                   SignatureFindings& findings) {
  std::string value;
  if (!computed.Finish(value)) {
    findings.NotCheckedReason = "the crypto library failed to compute the digest";
    return;
  }
  findings.Digest = value == signature.digest ? DigestState::kMatches : DigestState::kDoesNotMatch;
}

void HashRanges(FileStream& file, const std::vector<ByteRange>& ranges, Digest& digest) {
  std::string block(kHashBlockSize, '\0');
  for (const ByteRange& range : ranges) {
    file.Seek(range.offset);
    for (std::int64_t left = range.size; left > 0;) {
      const std::size_t want = static_cast<std::size_t>(
          std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size())));
      file.ReadBuffer(std::span<char>(block.data(), want));
      digest.Update(std::string_view(block.data(), want));
      left -= static_cast<std::int64_t>(want);
    }
  }
}

void CheckPeSignature(FileStream& file, const TPeHeaders& headers, SignatureFindings& findings) {
  PeSignedLayout layout;
  switch (ReadPeSignedLayout(file, headers, layout)) {
    case PeSignatureStatus::kUnsigned:
      findings.NotCheckedReason = "the file is not signed";
      return;
    case PeSignatureStatus::kMalformed:
      findings.Present = true;
      findings.NotCheckedReason = layout.problem;
      return;
    case PeSignatureStatus::kSigned:
      break;
  }
  findings.Present = true;
  AuthenticodeSignature signature;
  const DigestName* digest = nullptr;
  if (!ReadSignatureBlob(layout.signature, findings, signature, digest))
    return;
  Digest computed(digest->algorithm);
  HashRanges(file, layout.hashed, computed);
  CompareDigest(computed, signature, findings);
}

void CheckMsiSignature(CompoundFile& package, SignatureFindings& findings) {
  MsiSignatureStreams streams;
  std::string error;
  if (!ReadMsiSignatureStreams(package, streams, error)) {
    findings.NotCheckedReason = "the package cannot be read: " + error;
    return;
  }
  if (!streams.is_signed) {
    findings.NotCheckedReason = "the file is not signed";
    return;
  }
  findings.Present = true;
  AuthenticodeSignature signature;
  const DigestName* digest = nullptr;
  if (!ReadSignatureBlob(streams.signature, findings, signature, digest))
    return;
  Digest computed(digest->algorithm);
  if (streams.has_pre_hash) {
    // The digest of the directory's metadata comes first.
    Digest metadata(digest->algorithm);
    std::string pre_hash;
    if (!FeedMsiPreHashMetadata(
            package, [&](std::string_view bytes) { metadata.Update(bytes); }, error) ||
        !metadata.Finish(pre_hash)) {
      findings.NotCheckedReason = "the package cannot be read: " + error;
      return;
    }
    computed.Update(pre_hash);
  }
  if (!FeedMsiSignedContent(
          package, [&](std::string_view bytes) { computed.Update(bytes); }, error)) {
    findings.NotCheckedReason = "the package cannot be read: " + error;
    return;
  }
  CompareDigest(computed, signature, findings);
}

bool IsLengthOnly(std::string_view key) {
  for (const std::string_view hidden : kLengthOnlyKeys) {
    if (EqualsIgnoreAsciiCase(key, hidden))
      return true;
  }
  return false;
}

// The entries up to and including the signature, which ends them.
std::vector<PackageEntryFinding> ReadEntries(const std::string& text) {
  std::vector<PackageEntryFinding> entries;
  PackageCursor cursor(text);
  PackageEntryView entry;
  while (ReadPackageEntry(cursor, entry)) {
    PackageEntryFinding finding;
    finding.Key = entry.key;
    finding.LengthOnly = IsLengthOnly(entry.key);
    finding.Length = entry.value.size();
    if (!finding.LengthOnly)
      finding.Value = entry.value;
    entries.push_back(std::move(finding));
    if (EqualsIgnoreAsciiCase(entry.key, "SIGNATURE"))
      break;
  }
  return entries;
}

void ReadStoredData(FileStream& file, SetupInspection& record) {
  AreaFindings& area = record.Area;
  std::string bytes;
  file.Seek(0);
  if (LocateConfigArea(file, area.Position, area.Size)) {
    area.Found = true;
    bytes.resize(area.Size);
    file.Seek(area.Position);
    file.ReadBuffer(bytes);
    std::size_t used = 0;
    area.ListReadable = MeasureBlobList(bytes, used);
    area.Used = used;
  }
  PackageFindings& package = record.Package;
  if (FindBlobInList(bytes, kPackageEntryName, package.Text)) {
    package.Store = PackageStore::kDataArea;
  } else if (record.Kind == SetupFileKind::kPe &&
             ReadLegacyBlob(record.FileName, std::string(kLegacyPackageName), package.Text)) {
    package.Store = PackageStore::kLegacyResource;
  }
  if (package.Store != PackageStore::kNone) {
    package.Parsed = ParseConfigPackage(package.Text, package.Package, package.ParseError);
    package.Entries = ReadEntries(package.Text);
  }
  record.Answer.Found = FindBlobInList(bytes, kAnswerFileEntryName, record.Answer.Text);
}

void Inspect(SetupInspection& record) {
  const std::unique_ptr<FileStream> file = Files().Open(record.FileName, OpenMode::kRead);
  record.Size = file->Size();
  record.Kind = SetupFileKind::kOther;
  std::string magic(kCompoundFileSignature.size(), '\0');
  file->Seek(0);
  magic.resize(file->Read(magic));
  TPeHeaders headers;
  SignatureFindings& signature = record.Signature;
  if (magic == kCompoundFileSignature) {
    record.Kind = SetupFileKind::kMsi;
    CompoundFile package;
    std::string error;
    if (package.Open(*file, error))
      CheckMsiSignature(package, signature);
    else
      signature.NotCheckedReason = "the package cannot be read: " + error;
  } else if (ReadPeHeaders(*file, headers) == PeHeaderStatus::kFound) {
    record.Kind = SetupFileKind::kPe;
    CheckPeSignature(*file, headers, signature);
  } else {
    signature.NotCheckedReason = "the file is neither an executable nor an installer package";
  }
  signature.ChainTrust = signature.Present ? SignerTrustText(record.FileName) : "";
  ReadStoredData(*file, record);
}

}  // namespace

SetupInspection InspectSetupFile(const std::string& file_name) {
  SetupInspection record;
  record.FileName = file_name;
  RunReportingFailure([&] { Inspect(record); }, record.ReadError);
  if (record.Signature.Digest == DigestState::kNotChecked &&
      record.Signature.NotCheckedReason.empty()) {
    record.Signature.NotCheckedReason = "the file could not be read";
  }
  return record;
}

}  // namespace kv
