// A registry value as the store holds it: its root key, its type and its bytes, and what the
// program reads from them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/little_endian.h"

namespace tavelin {

// A predefined root key, as the registry numbers it.
using RootKey = std::uint32_t;
inline constexpr RootKey kCurrentUser = 0x80000001u;  // HKEY_CURRENT_USER

// Registry value types.
namespace regtype {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kDwordBigEndian = 5;
inline constexpr std::uint32_t kLink = 6;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace regtype

// One value as the registry holds it. String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is
// UTF-16LE, normally with its terminating NUL, exactly as the Windows API returns it.
struct RegValue {
  std::uint32_t type = regtype::kSz;
  std::vector<std::uint8_t> data;
  bool operator==(const RegValue&) const = default;
};

// A value's type and data where they stand, for reading it without a copy. It does not keep
// what it looks at alive.
struct RegValueView {
  std::uint32_t type = regtype::kSz;
  std::span<const std::uint8_t> data;

  RegValueView() = default;
  RegValueView(std::uint32_t valueType, std::span<const std::uint8_t> valueData)
      : type(valueType), data(valueData) {}
  // Implicit, so that whatever reads a stored value takes a RegValue as well.
  RegValueView(const RegValue& value) : type(value.type), data(value.data) {}

  RegValue copy() const { return {type, {data.begin(), data.end()}}; }
  bool operator==(const RegValueView& other) const {
    return type == other.type &&
           std::equal(data.begin(), data.end(), other.data.begin(), other.data.end());
  }
};

// Whether values of this type hold text (UTF-16LE in the registry).
constexpr bool IsStringType(std::uint32_t type) {
  return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

// A REG_DWORD's number, or nothing when its data is not four bytes.
inline std::optional<std::uint32_t> DwordOf(RegValueView value) {
  if (value.data.size() != 4) return std::nullopt;
  return LittleEndian32(value.data.data());
}
// A REG_DWORD's four bytes.
constexpr std::array<std::uint8_t, 4> DwordBytes(std::uint32_t number) {
  return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}
inline RegValue DwordValue(std::uint32_t number) {
  const std::array<std::uint8_t, 4> bytes = DwordBytes(number);
  return {regtype::kDword, {bytes.begin(), bytes.end()}};
}

// A value's text, as modReg::ReadRegString gives it.
std::string RegValueText(RegValueView value);
// Whether the value is REG_SZ data holding exactly this text and its terminating NUL.
bool IsTextValue(RegValueView value, std::string_view text);

}  // namespace tavelin
