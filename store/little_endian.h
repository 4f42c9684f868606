// Numbers stored least significant byte first, as a REG_DWORD, a hive and its logs hold them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavelin {

constexpr std::uint16_t LittleEndian16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
constexpr std::uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(LittleEndian16(p)) |
         static_cast<std::uint32_t>(LittleEndian16(p + 2)) << 16;
}
constexpr std::uint64_t LittleEndian64(const unsigned char* p) {
  return static_cast<std::uint64_t>(LittleEndian32(p)) |
         static_cast<std::uint64_t>(LittleEndian32(p + 4)) << 32;
}

// The same, `at` bytes into `bytes`, which must hold them.
inline std::uint16_t LittleEndian16(std::string_view bytes, std::size_t at) {
  return LittleEndian16(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}
inline std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  return LittleEndian32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}
inline std::uint64_t LittleEndian64(std::string_view bytes, std::size_t at) {
  return LittleEndian64(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

// Writes the number's four bytes over `at`.. in `bytes`, which must hold them.
inline void PutLittleEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace tavelin
