// Strings as Wine stores them in value data: UTF-16 code units, two bytes each, low byte first.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vidazoz::wineprefix {

// The units of bytes into `units` (whose capacity is reused); an odd last byte is left out.
inline std::u16string_view UnitsFromBytes(std::span<const std::uint8_t> bytes, std::u16string& units) {
  units.resize(bytes.size() / 2);
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return units;
}

inline std::u16string UnitsFromBytes(std::span<const std::uint8_t> bytes) {
  std::u16string units;
  UnitsFromBytes(bytes, units);
  return units;
}

// The bytes of units into `bytes`, replacing what it held.
inline void BytesFromUnits(std::u16string_view units, std::vector<std::uint8_t>& bytes) {
  bytes.resize(units.size() * 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
}

}  // namespace vidazoz::wineprefix
