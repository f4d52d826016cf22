// Small text, file and CRC routines shared by the whole program. All strings are byte strings
// that may hold zero bytes; letter case is folded only for the ASCII letters a to z.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kv {

// The value of a hexadecimal digit (0-9, A-F, a-f), or -1 for any other byte.
int HexDigitValue(char c);

// ASCII-only case folding and comparison.
char AsciiUpper(char c);
std::string AsciiUpperCase(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
// Removes characters of codes 0 to 32 at both ends.
std::string_view TrimControl(std::string_view text);

// The extension of a path's file-name part, from its last "." (dot included); empty when the
// name has none. "/", "\\" and ":" separate folders.
std::string ExtractFileExt(std::string_view path);

// True when text begins with prefix byte for byte; an empty prefix always matches.
bool HasPrefix(std::string_view prefix, std::string_view text);
// As HasPrefix, comparing after folding a to z to upper case.
bool HasPrefixText(std::string_view prefix, std::string_view text);
// HasPrefix when case_sensitive, else HasPrefixText.
bool HasPrefixEx(std::string_view prefix, std::string_view text, bool case_sensitive);

// The bytes spelt by pairs of hexadecimal digits; blanks and control characters (01h-20h) may
// stand before each pair; the first byte that is not a digit ends the conversion.
std::string HexToBytes(std::string_view text);

// XOR of each byte with the mask repeated over the input; an empty mask changes nothing.
std::string ApplyMask(std::string_view input, std::string_view mask);
// The same, on the bytes where they are.
void ApplyMaskInPlace(std::span<char> data, std::string_view mask);

// The process-wide linear congruential generator behind MakeRandomString. It starts at seed 0
// and is never seeded by the program, so every run draws the same sequence.
class RandomGenerator {
 public:
  static RandomGenerator& Process();
  // A value below n (0 when n is 0).
  std::uint32_t Below(std::uint32_t n);
  void Reset(std::uint32_t seed = 0) { seed_ = seed; }

 private:
  std::uint32_t seed_ = 0;
};

// A string of min_length to max_length bytes, each in 20h to 5Fh.
std::string MakeRandomString(int min_length, int max_length);

// Loads a whole file of at most max_size bytes. On failure content is empty and error says why;
// on success error is empty.
bool LoadFileToString(const std::string& file_name, std::int64_t max_size, std::string& content,
                      std::string& error);

// "%d %s" with the count divided by 1024 while it is an exact multiple (at most to TB).
std::string FormatByteSize(std::int64_t count);

// The CRC-32 of data as 8 upper-case hexadecimal digits.
std::string CrcHexText(std::string_view data);
// Appends the CRC text to a non-empty string; always true.
bool AppendCrcHex(std::string& data);
// Checks and removes a trailing CRC text (digits in either case); an empty string passes.
// On failure the string is left unchanged.
bool CheckAndStripCrcHex(std::string& data);

}  // namespace kv
