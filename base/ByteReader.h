// A bounds-checked cursor over bytes in memory. Every read either succeeds completely or fails
// and leaves the cursor where it was; nothing is ever read past the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

class ByteReader {
 public:
  explicit ByteReader(std::string_view data) : data_(data) {}

  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return data_.size() - pos_; }
  std::size_t Size() const { return data_.size(); }

  bool Seek(std::uint64_t position) {
    if (position > data_.size())
      return false;
    pos_ = static_cast<std::size_t>(position);
    return true;
  }
  bool Skip(std::uint64_t count) {
    if (count > Remaining())
      return false;
    pos_ += static_cast<std::size_t>(count);
    return true;
  }
  bool ReadBytes(std::uint64_t count, std::string_view& out) {
    if (count > Remaining())
      return false;
    out = data_.substr(pos_, static_cast<std::size_t>(count));
    pos_ += static_cast<std::size_t>(count);
    return true;
  }
  bool ReadU8(std::uint8_t& out) { return ReadLittleEndian(1, out); }
  bool ReadU16LE(std::uint16_t& out) { return ReadLittleEndian(2, out); }
  bool ReadU32LE(std::uint32_t& out) { return ReadLittleEndian(4, out); }
  bool ReadI32LE(std::int32_t& out) {
    std::uint32_t raw = 0;
    if (!ReadU32LE(raw))
      return false;
    out = static_cast<std::int32_t>(raw);
    return true;
  }

 private:
  template <typename T>
  bool ReadLittleEndian(std::size_t width, T& out) {
    if (width > Remaining())
      return false;
    T value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      value |=
          static_cast<T>(static_cast<T>(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i));
    }
    out = value;
    pos_ += width;
    return true;
  }

  std::string_view data_;
  std::size_t pos_ = 0;
};

// Little-endian encoders for building records in memory.
inline void AppendU32LE(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace kv
