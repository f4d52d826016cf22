#include "contents/SetupContents.h"

#include <map>
#include <memory>

#include "base/Failure.h"
#include "config/PackageParser.h"
#include "config/ScrambledValues.h"
#include "contents/AuthenticodeCheck.h"
#include "contents/SignerTrust.h"
#include "crypto/Digest.h"
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

// Digests of the file's content with every algorithm its signatures name, in one pass.
class ContentHasher {
 public:
  explicit ContentHasher(const std::vector<ReadSignature>& signatures) {
    for (const ReadSignature& read : signatures) {
      DigestAlgorithm algorithm;
      const char* name = nullptr;
      if (read.problem.empty() && DigestOf(read.signature.digest_kind, algorithm, name) &&
          !digests_.contains(algorithm)) {
        digests_.emplace(algorithm, std::make_unique<Digest>(algorithm));
      }
    }
  }
  void Update(std::string_view bytes) {
    for (auto& [algorithm, digest] : digests_)
      digest->Update(bytes);
  }
  void Update(DigestAlgorithm algorithm, std::string_view bytes) {
    digests_.at(algorithm)->Update(bytes);
  }
  ContentDigests Finish() {
    ContentDigests values;
    for (auto& [algorithm, digest] : digests_) {
      std::string value;
      if (digest->Finish(value))
        values[algorithm] = value;
    }
    return values;
  }

 private:
  std::map<DigestAlgorithm, std::unique_ptr<Digest>> digests_;
};

void HashRanges(FileStream& file, const std::vector<ByteRange>& ranges, ContentHasher& hasher) {
  std::string block(kHashBlockSize, '\0');
  for (const ByteRange& range : ranges) {
    file.Seek(range.offset);
    for (std::int64_t left = range.size; left > 0;) {
      const std::size_t want = static_cast<std::size_t>(
          std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size())));
      file.ReadBuffer(std::span<char>(block.data(), want));
      hasher.Update(std::string_view(block.data(), want));
      left -= static_cast<std::int64_t>(want);
    }
  }
}

// The steps of every signature, the verdict over them, and the fields of the first signature.
void CheckSignatures(const std::vector<ReadSignature>& signatures, const ContentDigests& content,
                     const InspectOptions& options, SignatureFindings& findings) {
  findings.RootsGiven = !options.TrustedRootsPem.empty();
  for (const ReadSignature& read : signatures)
    findings.Signatures.push_back(CheckSignature(read, content, options.TrustedRootsPem));
  DecideVerdict(findings);
  const SignatureEntry& first = findings.Signatures.front();
  findings.SignerSubject = first.Signer;
  findings.SignerIssuer = first.Issuer;
  findings.SigningTime = first.SigningTime;
  findings.TimeStamp = signatures.front().signature.time_stamp;
  findings.DigestAlgorithm = first.DigestAlgorithm;
  const SignatureStep& step = first.Steps.front();
  if (step.Name == std::string_view(kStepContentDigest) && step.State == StepState::kPasses)
    findings.Digest = DigestState::kMatches;
  else if (step.Name == std::string_view(kStepContentDigest) && step.State == StepState::kFails)
    findings.Digest = DigestState::kDoesNotMatch;
  else
    findings.NotCheckedReason = step.Detail;
}

void Refuse(SignatureFindings& findings, const char* step, const std::string& reason) {
  findings.NotCheckedReason = reason;
  findings.Verdict = AuthenticodeVerdict::kInvalid;
  findings.VerdictStep = step;
  findings.VerdictReason = std::string(step) + ": " + reason;
}

void CheckPeSignature(FileStream& file, const TPeHeaders& headers, const InspectOptions& options,
                      SignatureFindings& findings) {
  PeSignedLayout layout;
  switch (ReadPeSignedLayout(file, headers, layout)) {
    case PeSignatureStatus::kUnsigned:
      findings.NotCheckedReason = "the file is not signed";
      findings.Verdict = AuthenticodeVerdict::kAbsent;
      return;
    case PeSignatureStatus::kMalformed:
      findings.Present = true;
      findings.StrictPadding = PaddingState::kFails;
      Refuse(findings, kStepCertificateTable, layout.problem);
      return;
    case PeSignatureStatus::kSigned:
      break;
  }
  findings.Present = true;
  findings.StrictPadding = PaddingState::kPasses;
  std::vector<ReadSignature> signatures;
  for (const PeCertificateEntry& entry : layout.entries) {
    if (!entry.strict_padding)
      findings.StrictPadding = PaddingState::kFails;
    ReadSignatures(entry.signature, signatures);
  }
  ContentHasher hasher(signatures);
  HashRanges(file, layout.hashed, hasher);
  CheckSignatures(signatures, hasher.Finish(), options, findings);
}

void CheckMsiSignature(CompoundFile& package, const InspectOptions& options,
                       SignatureFindings& findings) {
  MsiSignatureStreams streams;
  std::string error;
  if (!ReadMsiSignatureStreams(package, streams, error)) {
    findings.NotCheckedReason = "the package cannot be read: " + error;
    return;
  }
  if (!streams.is_signed) {
    findings.NotCheckedReason = "the file is not signed";
    findings.Verdict = AuthenticodeVerdict::kAbsent;
    return;
  }
  findings.Present = true;
  std::vector<ReadSignature> signatures;
  ReadSignatures(streams.signature, signatures);
  ContentHasher hasher(signatures);
  if (streams.has_pre_hash) {
    // The digest of the directory's metadata comes first, with each algorithm.
    ContentHasher metadata(signatures);
    if (!FeedMsiPreHashMetadata(
            package, [&](std::string_view bytes) { metadata.Update(bytes); }, error)) {
      Refuse(findings, kStepStructure, "the package cannot be read: " + error);
      return;
    }
    for (const auto& [algorithm, pre_hash] : metadata.Finish())
      hasher.Update(algorithm, pre_hash);
  }
  if (!FeedMsiSignedContent(
          package, [&](std::string_view bytes) { hasher.Update(bytes); }, error)) {
    Refuse(findings, kStepStructure, "the package cannot be read: " + error);
    return;
  }
  CheckSignatures(signatures, hasher.Finish(), options, findings);
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

void Inspect(SetupInspection& record, const InspectOptions& options) {
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
      CheckMsiSignature(package, options, signature);
    else
      signature.NotCheckedReason = "the package cannot be read: " + error;
  } else if (ReadPeHeaders(*file, headers) == PeHeaderStatus::kFound) {
    record.Kind = SetupFileKind::kPe;
    CheckPeSignature(*file, headers, options, signature);
  } else {
    signature.NotCheckedReason = "the file is neither an executable nor an installer package";
  }
  signature.ChainTrust = signature.Present ? SignerTrustText(record.FileName) : "";
  ReadStoredData(*file, record);
}

// The blob of the first signature of a signed executable or installer package; empty when there
// is none.
std::string ReadFirstSignatureBlob(FileStream& file) {
  std::string magic(kCompoundFileSignature.size(), '\0');
  file.Seek(0);
  magic.resize(file.Read(magic));
  std::string error;
  if (magic == kCompoundFileSignature) {
    CompoundFile package;
    MsiSignatureStreams streams;
    if (package.Open(file, error) && ReadMsiSignatureStreams(package, streams, error))
      return streams.signature;
    return "";
  }
  TPeHeaders headers;
  PeSignedLayout layout;
  if (ReadPeHeaders(file, headers) == PeHeaderStatus::kFound &&
      ReadPeSignedLayout(file, headers, layout) == PeSignatureStatus::kSigned &&
      !layout.entries.empty()) {
    return layout.entries.front().signature;
  }
  return "";
}

}  // namespace

SignedDigest ReadSignedDigest(const std::string& file_name) {
  SignedDigest result;
  RunIgnoringFailure([&] {
    const std::unique_ptr<FileStream> file = Files().Open(file_name, OpenMode::kRead);
    std::vector<ReadSignature> signatures;
    ReadSignatures(ReadFirstSignatureBlob(*file), signatures);
    DigestAlgorithm algorithm;
    const char* name = nullptr;
    if (!signatures.empty() && signatures.front().problem.empty() &&
        DigestOf(signatures.front().signature.digest_kind, algorithm, name)) {
      result.Algorithm = name;
      result.Value = signatures.front().signature.digest;
    }
  });
  return result;
}

SetupInspection InspectSetupFile(const std::string& file_name, const InspectOptions& options) {
  SetupInspection record;
  record.FileName = file_name;
  RunReportingFailure([&] { Inspect(record, options); }, record.ReadError);
  SignatureFindings& signature = record.Signature;
  if (signature.Digest == DigestState::kNotChecked && signature.NotCheckedReason.empty())
    signature.NotCheckedReason = "the file could not be read";
  if (signature.Verdict != AuthenticodeVerdict::kValid && signature.VerdictReason.empty()) {
    signature.VerdictReason = record.ReadError.empty() || signature.Present
                                  ? signature.NotCheckedReason
                                  : "the file could not be read: " + record.ReadError;
  }
  return record;
}

}  // namespace kv
