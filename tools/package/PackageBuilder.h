// Writes configuration package texts: header, KEY=VALUE entries, the scrambled company name and
// logo, and the "SIGNATURE" entry over every byte written before it. Long values are split into
// "~" continuation lines. Every function returns false with an error text on bad input.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/ScrambledValues.h"

namespace kv::tool {

using PackageEntry = std::pair<std::string, std::string>;

struct PackageContent {
  std::vector<PackageEntry> entries;  // written in this order, before the company entries
  std::string company;
  std::string logo;  // PNG bytes; empty: no logo entry
  std::string line_end = "\r\n";
  std::size_t piece_width = 76;  // longest piece of a split value; 0 never splits
};

// Signs message; returns false with an error text when it cannot.
using SignFunction =
    std::function<bool(std::string_view message, std::string& signature, std::string& error)>;

// Reads an entry list: KEY=VALUE lines (LF or CR LF); blank lines and lines starting with "#"
// are skipped. Rejects what a package cannot carry unchanged: keys with blanks or control
// characters, the keys this tool writes itself, values with blanks at either end, values that
// end with "~", zero bytes. Errors name the line as "line N: ...".
bool ReadEntryList(std::string_view text, std::vector<PackageEntry>& entries, std::string& error);

// True when the list sets a non-empty server URL.
bool HasServerUrl(const std::vector<PackageEntry>& entries);

// A scrambled value: base64 of (marker + payload) masked, with the CRC text of the base64.
std::string ScrambleValue(const ScrambledValueRule& rule, std::string_view payload);

// "KEY=VALUE" with its line end, the value split into pieces of at most piece_width characters
// where neither side of a cut is a blank or control character.
std::string FormatEntry(std::string_view key, std::string_view value, std::string_view line_end,
                        std::size_t piece_width);

// The whole package. The logo must be a PNG file; the result must fit the 1 MiB package limit.
bool BuildPackage(const PackageContent& content, const SignFunction& sign, std::string& package,
                  std::string& error);

}  // namespace kv::tool
