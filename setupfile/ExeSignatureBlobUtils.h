// The configuration data area of a setup file: a DER OCTET STRING after a private object
// identifier in the signature blob near the end of the file, found by a tail search for the
// marker. Also the PE checksum repair that follows a change to an executable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "setupfile/FileStream.h"

namespace kv {

// DER of OID 1.3.6.1.4.1.52417.2.1.9999 followed by the OCTET STRING tag (15 bytes).
inline constexpr std::string_view kConfigAreaMarkerHex = "060C2B060104018399410201CE0F04";
inline constexpr std::size_t kConfigAreaMarkerLength = 15;

// Tail search parameters of the data area.
inline constexpr std::int64_t kAreaSearchChunkSize = 262144;
inline constexpr int kAreaSearchAlignmentBits = 16;
inline constexpr std::int64_t kAreaSearchStart = -1048576;
inline constexpr int kAreaSearchTrailingCount = 8;

// Searches [start, end of stream) for the last occurrence of pattern that is followed by
// trailing_count bytes inside the window. A negative start counts from the end; alignment_bits
// 1..30 align the start down. Returns found, the match position and the trailing bytes.
// Throws StreamReadError when the stream cannot be read.
bool FindLastPatternInStream(FileStream& stream, std::int64_t chunk_size, int alignment_bits,
                             std::int64_t start_offset, std::string_view pattern,
                             int trailing_count, std::int64_t& position, std::string& trailing);

// Decodes the DER length at the start of bytes: the short form, or the long form with 1 to 4
// length bytes. Returns false for an empty input, 80h, 85h..FFh or too few bytes.
bool DecodeDerLength(std::string_view bytes, std::uint32_t& length, int& header_size);

// Finds the area in an open stream: its position and length. No message on failure.
bool LocateConfigArea(FileStream& stream, std::int64_t& position, std::uint32_t& length);

// Reads the whole area (exactly its length in bytes); area is empty when not found.
bool ReadConfigArea(FileStream& stream, std::string& area);

// Brings the PE optional header's checksum up to date. Uses the given read-write stream or
// opens file_name itself (other writers denied). When a runtime error caused the failure, error
// holds its message ("Stream read error"); otherwise error is left empty.
bool UpdatePeChecksum(const std::string& file_name, FileStream* stream, std::string& error);

}  // namespace kv
