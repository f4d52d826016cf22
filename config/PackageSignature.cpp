// The package signature check and the base64 decoder it shares with the package parser.
#include "config/PackageSignature.h"

#include <array>
#include <exception>

#include "config/PackageParser.h"
#include "crypto/RsaVerify.h"

namespace kv {
namespace {

constexpr char kPad = '=';
constexpr std::size_t kGroupLength = 4;
constexpr std::uint8_t kNoLetter = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeLetterValues() {
  std::array<std::uint8_t, 256> values{};
  values.fill(kNoLetter);
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  return values;
}
constexpr std::array<std::uint8_t, 256> kLetterValues = MakeLetterValues();

std::uint32_t LetterValue(char c) {
  const std::uint8_t value = kLetterValues[static_cast<unsigned char>(c)];
  return value == kNoLetter ? 0 : value;
}

// A signature text is decoded only when every character that DecodeBase64 reads belongs to the
// alphabet or is the pad character; a stray character must not turn into some 6-bit value that
// happens to verify.
bool HasOnlyBase64Groups(const std::string& text) {
  const std::size_t used = text.size() / kGroupLength * kGroupLength;
  for (std::size_t i = 0; i < used; ++i) {
    if (text[i] != kPad && kLetterValues[static_cast<unsigned char>(text[i])] == kNoLetter)
      return false;
  }
  return true;
}

}  // namespace

std::string DecodeBase64(const std::string& text) {
  std::string bytes;
  const std::size_t groups = text.size() / kGroupLength;
  bytes.reserve(groups * 3);
  for (std::size_t group = 0; group < groups; ++group) {
    const std::string_view letters = std::string_view(text).substr(group * kGroupLength, 4);
    const std::uint32_t bits = (LetterValue(letters[0]) << 18) | (LetterValue(letters[1]) << 12) |
                               (LetterValue(letters[2]) << 6) | LetterValue(letters[3]);
    bytes.push_back(static_cast<char>((bits >> 16) & 0xFF));
    if (letters[2] == kPad)
      continue;
    bytes.push_back(static_cast<char>((bits >> 8) & 0xFF));
    if (letters[3] == kPad)
      continue;
    bytes.push_back(static_cast<char>(bits & 0xFF));
  }
  return bytes;
}

bool VerifyPackageSignature(const std::string& signed_text, const std::string& signature_base64,
                            const std::string& public_key_pem) {
  return VerifySignedRange(signed_text, signature_base64, public_key_pem);
}

bool VerifySignedRange(std::string_view signed_text, const std::string& signature_base64,
                       const std::string& public_key_pem) {
  try {
    if (public_key_pem.empty() || !HasOnlyBase64Groups(signature_base64))
      return false;
    const std::string signature = DecodeBase64(signature_base64);
    return VerifyRsaSha512Pkcs1(signed_text, signature, public_key_pem);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kv
