// Four UTF-16 code units in one 64-bit word, for scans that look at four at a time. A unit
// below `limit` shows as its top bit in UnitsBelow(). A borrow may mark units after a marked
// one falsely, never before it, so whether any is marked is exact, and so is the first
// marked unit; scans find that one unit by unit.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace tavelin {

constexpr std::uint64_t kUnitLanes = 0x0001000100010001u;
constexpr std::uint64_t kUnitTops = 0x8000800080008000u;

// Whether words read from UTF-16LE bytes hold their units in order in the lanes.
constexpr bool kLittleEndianLanes = std::endian::native == std::endian::little;

// The four units at `p`, which need not be aligned.
inline std::uint64_t FourUnits(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Units below `limit` (at most 0x8000), marked by their top bit.
constexpr std::uint64_t UnitsBelow(std::uint64_t w, std::uint64_t limit) {
  return (w - limit * kUnitLanes) & ~w & kUnitTops;
}

// Units equal to `unit`, marked by their top bit.
constexpr std::uint64_t UnitsEqual(std::uint64_t w, char16_t unit) {
  return UnitsBelow(w ^ (unit * kUnitLanes), 1);
}

// The low bytes of four units that are all below 0x100, as four bytes in order (read from a
// little-endian word), and the reverse: four bytes widened to four units.
constexpr std::uint32_t NarrowFourUnits(std::uint64_t w) {
  w = (w | (w >> 8)) & 0x0000FFFF0000FFFFu;
  return static_cast<std::uint32_t>(w | (w >> 16));
}
constexpr std::uint64_t WidenFourBytes(std::uint32_t bytes) {
  std::uint64_t w = bytes;
  w = (w | (w << 16)) & 0x0000FFFF0000FFFFu;
  return (w | (w << 8)) & 0x00FF00FF00FF00FFu;
}

// Eight units in one vector, for scans that look at eight at a time: one SSE2 register on
// x86. Comparisons give a mask with every bit of a unit that matched set.
using EightUnits = std::uint16_t __attribute__((vector_size(16)));
using EightUnitMask = std::int16_t __attribute__((vector_size(16)));

// The eight units at `p`, which need not be aligned, as this machine holds units.
inline EightUnits LoadEightUnits(const void* p) {
  EightUnits v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Eight units that are all below 0x100 as their eight low bytes, in order, at `out`.
inline void NarrowEightUnits(EightUnits units, void* out) {
  using EightBytes = std::uint8_t __attribute__((vector_size(8)));
  const EightBytes bytes = __builtin_convertvector(units, EightBytes);
  std::memcpy(out, &bytes, sizeof bytes);
}

inline bool AnyUnit(EightUnitMask mask) {
  std::uint64_t halves[2];
  std::memcpy(halves, &mask, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

// Where the first unit marked in the mask stands (0 to 7), or 8 when none is.
inline unsigned FirstUnit(EightUnitMask mask) {
  std::uint64_t halves[2];
  std::memcpy(halves, &mask, sizeof halves);
  for (unsigned half = 0; half < 2; ++half) {
    if (halves[half] == 0) continue;
    // Within a half the units stand in memory order, lowest bits first on a little-endian
    // machine.
    const int bit = std::endian::native == std::endian::little ? std::countr_zero(halves[half])
                                                               : std::countl_zero(halves[half]);
    return 4 * half + static_cast<unsigned>(bit) / 16;
  }
  return 8;
}

// Eight bytes of text as eight UTF-16LE units, the 16 bytes at `out`; false, with nothing
// written, when one of them is not ASCII. Only for a little-endian machine.
inline bool WidenEightAscii(const char* text, void* out) {
  std::uint64_t w;
  std::memcpy(&w, text, sizeof w);
  if ((w & 0x8080808080808080u) != 0) return false;
  const std::uint64_t units[2] = {WidenFourBytes(static_cast<std::uint32_t>(w)),
                                  WidenFourBytes(static_cast<std::uint32_t>(w >> 32))};
  std::memcpy(out, units, sizeof units);
  return true;
}

}  // namespace tavelin
