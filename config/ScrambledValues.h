// The scrambled package values: the value is the base64 text of (marker + payload) XOR the
// repeating mask, followed by the CRC text of that base64 text. Shared by the parser and by the
// tool that writes packages.
#pragma once

#include <string_view>

namespace kv {

struct ScrambledValueRule {
  std::string_view key;
  std::string_view marker;
  std::string_view mask;
};

inline constexpr ScrambledValueRule kCompanyRule{"COMPANYX", "TXT*", "*XBVendors"};
inline constexpr ScrambledValueRule kCompanyLogoRule{"COMPANYLOGOX", "PNG*", "*XBVendorsIcon"};

}  // namespace kv
