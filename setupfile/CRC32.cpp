#include "setupfile/CRC32.h"

#include <array>
#include <cstddef>

namespace kv {

namespace {

constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;
constexpr std::size_t kSliceCount = 8;

using Table = std::array<std::uint32_t, 256>;

// Slice 0 is the one-byte table of the polynomial. Slice k advances a byte's contribution by k
// further zero bytes, so eight bytes are folded in one step with eight independent look-ups
// instead of eight dependent ones; the result is the one-byte table's, bit for bit.
constexpr std::array<Table, kSliceCount> MakeTables() {
  std::array<Table, kSliceCount> tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit)
      value = (value & 1u) != 0 ? (value >> 1) ^ kReflectedPolynomial : value >> 1;
    tables[0][i] = value;
  }
  for (std::size_t k = 1; k < kSliceCount; ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[k - 1][i];
      tables[k][i] = tables[0][previous & 0xFFu] ^ (previous >> 8);
    }
  }
  return tables;
}

constexpr std::array<Table, kSliceCount> kTables = MakeTables();

std::uint32_t Byte(const char* data, std::size_t index) {
  return static_cast<unsigned char>(data[index]);
}

}  // namespace

std::uint32_t ComputeCrc32(std::string_view data) {
  if (data.empty())
    return 0;
  std::uint32_t crc = 0xFFFFFFFFu;
  const char* p = data.data();
  std::size_t rest = data.size();
  // The first four bytes are combined with the register in little-endian order, whatever the
  // machine's byte order, as the one-byte steps would take them.
  for (; rest >= kSliceCount; rest -= kSliceCount, p += kSliceCount) {
    const std::uint32_t low =
        crc ^ (Byte(p, 0) | Byte(p, 1) << 8 | Byte(p, 2) << 16 | Byte(p, 3) << 24);
    crc = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^
          kTables[5][(low >> 16) & 0xFFu] ^ kTables[4][low >> 24] ^ kTables[3][Byte(p, 4)] ^
          kTables[2][Byte(p, 5)] ^ kTables[1][Byte(p, 6)] ^ kTables[0][Byte(p, 7)];
  }
  for (; rest > 0; --rest, ++p)
    crc = kTables[0][(crc ^ Byte(p, 0)) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace kv
