// What a setup file holds, for people and for scripts: its kind and size; its Authenticode
// signature and whether the signed digest still matches the content; its configuration data
// area; the stored package and answer file. Only reads the file; never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/ConfigPackage.h"

namespace kv {

enum class SetupFileKind { kUnreadable, kOther, kPe, kMsi };
enum class DigestState { kNotChecked, kMatches, kDoesNotMatch };

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

SetupInspection InspectSetupFile(const std::string& file_name);

}  // namespace kv
