// The configuration package "K-VConfig.bin": a signed KEY=VALUE text. ParseConfigPackage checks
// the header, reads the entries into a TKVConfigBinData, unscrambles the scrambled values and has
// the signature verified. True means: header valid and a server URL was read.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

inline constexpr std::size_t kMaxPackageSize = 1048576;
inline constexpr const char* kPackageHeaderLine = "Quillabrenthorst Configuration ver #2.00";

enum SignatureState : std::uint8_t {
  SignatureMissing = 0,
  SignatureInvalid = 1,
  SignatureValid = 2,
};

struct TKVConfigBinData {
  std::string RawText;
  std::string ServerURL;
  std::string RAURL;
  std::string RegEmailTo;
  std::string RegSMTPServer;
  std::string RegSMTPPort;
  std::string RegSMTPSSL;
  std::string RegPublicKey1;
  std::string RegPublicKey2;
  std::string Company;
  std::string CompanyLogo;
  std::uint8_t SignatureState = SignatureMissing;
};

// "valid", "INVALID" or "missing", for reports of a package's signature state.
const char* SignatureStateName(std::uint8_t state);

// Fills data from text (RawText always holds text). On failure error holds the reason, which may
// be empty (no server URL); on success error is empty. Never throws.
bool ParseConfigPackage(const std::string& text, TKVConfigBinData& data, std::string& error);

}  // namespace kv
