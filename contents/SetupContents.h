// What a setup file holds, for people and for scripts: its kind and size; its Authenticode
// signatures, every step of their check and the verdict; its configuration data area; the
// stored package and answer file. Only reads the file; never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/ConfigPackage.h"

namespace kv {

enum class SetupFileKind { kUnreadable, kOther, kPe, kMsi };
enum class DigestState { kNotChecked, kMatches, kDoesNotMatch };

// Whether a signed file may be trusted as its signer made it: every step of every signature
// passes (valid), one fails (invalid), none fails but one could not be made (not checked), or
// the file carries no signature (absent).
enum class AuthenticodeVerdict { kNotChecked, kValid, kInvalid, kAbsent };
enum class StepState { kPasses, kFails, kNotChecked, kNone };  // kNone: nothing to check
enum class PaddingState { kNotApplicable, kPasses, kFails };

// The steps of a signature, in the order they are checked; the certificate table and the
// structure are steps of the file, named in a verdict that fails before any signature.
inline constexpr const char* kStepCertificateTable = "certificate table";
inline constexpr const char* kStepStructure = "structure";
inline constexpr const char* kStepContentDigest = "content digest";
inline constexpr const char* kStepMessageDigest = "messageDigest";
inline constexpr const char* kStepSignature = "signature";
inline constexpr const char* kStepTimeStamp = "time stamp";
inline constexpr const char* kStepChain = "chain";

struct SignatureStep {
  const char* Name = "";
  StepState State = StepState::kNotChecked;
  std::string Detail;  // why it fails or was not checked; what it found
};

// One signature of the file (nested ones after the one holding them), with its steps.
struct SignatureEntry {
  bool Nested = false;
  std::string Signer;
  std::string Issuer;
  std::string DigestAlgorithm;
  std::string SigningTime;
  std::string TimeStamp;  // "YYYY-MM-DD HH:MM:SS UTC" and its kind, or empty
  std::vector<SignatureStep> Steps;
};

struct SignatureFindings {
  bool Present = false;
  std::string SignerSubject;
  std::string SignerIssuer;
  std::string SigningTime;      // "YYYY-MM-DD HH:MM:SS UTC" or empty
  std::string TimeStamp;        // the same form, or empty
  std::string DigestAlgorithm;  // "SHA-256", or the algorithm's object identifier
  DigestState Digest = DigestState::kNotChecked;
  std::string NotCheckedReason;  // why, when Digest is kNotChecked
  std::string ChainTrust;        // what this computer says of the signer's chain, or why not
  AuthenticodeVerdict Verdict = AuthenticodeVerdict::kNotChecked;
  std::string VerdictStep;    // the first step that failed or could not be made
  std::string VerdictReason;  // "<step> of signature N: why", empty when valid
  bool RootsGiven = false;    // the chains were checked against roots the caller named
  std::vector<SignatureEntry> Signatures;
  PaddingState StrictPadding = PaddingState::kNotApplicable;
};

struct AreaFindings {
  bool Found = false;
  std::int64_t Position = 0;
  std::uint32_t Size = 0;
  bool ListReadable = false;  // the blob list ends inside the area; Used is valid
  std::uint64_t Used = 0;
};

// One package entry as written; values of scrambled entries and the signature by length only.
struct PackageEntryFinding {
  std::string Key;
  std::string Value;
  bool LengthOnly = false;
  std::size_t Length = 0;
};

enum class PackageStore { kNone, kDataArea, kLegacyResource };

struct PackageFindings {
  PackageStore Store = PackageStore::kNone;
  std::string Text;
  TKVConfigBinData Package;
  bool Parsed = false;
  std::string ParseError;
  std::vector<PackageEntryFinding> Entries;
};

struct AnswerFindings {
  bool Found = false;
  std::string Text;
};

struct SetupInspection {
  std::string FileName;
  SetupFileKind Kind = SetupFileKind::kUnreadable;
  std::string ReadError;  // why the file, or a part of it, could not be read
  std::int64_t Size = 0;
  SignatureFindings Signature;
  AreaFindings Area;
  PackageFindings Package;
  AnswerFindings Answer;
};

// Root certificates (PEM texts) against which the signers' chains are checked; without them the
// chains are checked against the machine's store on Windows, and not at all elsewhere.
struct InspectOptions {
  std::vector<std::string> TrustedRootsPem;
};

SetupInspection InspectSetupFile(const std::string& file_name, const InspectOptions& options = {});

// The file digest an Authenticode-signed setup file's first signature holds: what the file was
// signed as, read from the signature alone (the file is not hashed). Empty when the file is not
// signed, cannot be read, or its signature names no digest this program knows.
struct SignedDigest {
  std::string Algorithm;  // "SHA-256", ...
  std::string Value;      // the digest's bytes
};
SignedDigest ReadSignedDigest(const std::string& file_name);

}  // namespace kv
