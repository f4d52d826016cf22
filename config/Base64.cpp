#include "config/Base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kv {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr std::size_t kGroupLength = 4;
constexpr std::size_t kGroupBytes = 3;
constexpr std::uint32_t kLetterBits = 6;
constexpr std::uint32_t kLetterMask = 0x3F;
constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeLetterValues() {
  std::array<std::uint8_t, 256> values{};
  values.fill(kNotInAlphabet);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  return values;
}
constexpr std::array<std::uint8_t, 256> kLetterValues = MakeLetterValues();

bool IsLetter(char c) {
  return kLetterValues[static_cast<unsigned char>(c)] != kNotInAlphabet;
}

// The 6 bits of a letter; the pad and foreign characters give zero bits.
std::uint32_t LetterBits(char c) {
  const std::uint8_t value = kLetterValues[static_cast<unsigned char>(c)];
  return value == kNotInAlphabet ? 0 : value;
}

// Decodes groups of four characters from text into out and returns the bytes written. Each
// group is read before its bytes are written and gives at most three, so out may be text itself.
std::size_t DecodeGroups(const char* text, std::size_t groups, char* out) {
  std::size_t length = 0;
  for (std::size_t group = 0; group < groups; ++group) {
    const char* letters = text + group * kGroupLength;
    const char third = letters[2];
    const char fourth = letters[3];
    const std::uint32_t bits = LetterBits(letters[0]) << 18 | LetterBits(letters[1]) << 12 |
                               LetterBits(third) << 6 | LetterBits(fourth);
    out[length++] = static_cast<char>(bits >> 16);
    if (third == kPad)
      continue;
    out[length++] = static_cast<char>(bits >> 8);
    if (fourth == kPad)
      continue;
    out[length++] = static_cast<char>(bits);
  }
  return length;
}

}  // namespace

std::string DecodeBase64(std::string_view text) {
  const std::size_t groups = text.size() / kGroupLength;
  std::string bytes(groups * kGroupBytes, '\0');
  bytes.resize(DecodeGroups(text.data(), groups, bytes.data()));
  return bytes;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + kGroupBytes - 1) / kGroupBytes * kGroupLength);
  for (std::size_t i = 0; i < bytes.size(); i += kGroupBytes) {
    const std::size_t count = std::min(kGroupBytes, bytes.size() - i);
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < kGroupBytes; ++k) {
      const std::uint32_t byte = k < count ? static_cast<unsigned char>(bytes[i + k]) : 0;
      bits = bits << 8 | byte;
    }
    for (std::size_t k = 0; k < kGroupLength; ++k) {
      const std::uint32_t shift = kLetterBits * static_cast<std::uint32_t>(kGroupLength - 1 - k);
      text.push_back(k <= count ? kAlphabet[(bits >> shift) & kLetterMask] : kPad);
    }
  }
  return text;
}

bool IsBase64Text(std::string_view text, Base64Check check) {
  if (check == Base64Check::kWholeGroups) {
    text = text.substr(0, text.size() / kGroupLength * kGroupLength);
    return std::all_of(text.begin(), text.end(), [](char c) { return c == kPad || IsLetter(c); });
  }
  const std::size_t padding = std::min(text.find(kPad), text.size());
  return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(padding), IsLetter) &&
         text.find_first_not_of(kPad, padding) == std::string_view::npos;
}

std::string DecodeBase64Value(std::string_view text) {
  return IsBase64Text(text, Base64Check::kPaddingLast) ? DecodeBase64(text) : std::string();
}

void DecodeBase64ValueInPlace(std::string& text) {
  if (!IsBase64Text(text, Base64Check::kPaddingLast)) {
    text.clear();
    return;
  }
  text.resize(DecodeGroups(text.data(), text.size() / kGroupLength, text.data()));
}

}  // namespace kv
