// Hexadecimal digits as Wine's registry files hold them: written in lower case, read in either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vidazoz::wineprefix {

inline constexpr char kHexDigits[] = "0123456789abcdef";

inline bool IsHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

// The value of a character IsHexDigit accepts.
inline unsigned HexValue(unsigned char c) { return c <= '9' ? c - '0' : (c | 0x20u) - 'a' + 10; }

// Appends value in hex, zero-padded to minDigits (at most 8); returns the digits appended.
inline std::size_t AppendHexNumber(std::string& out, std::uint32_t value, int minDigits) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = kHexDigits[value & 15];
    value >>= 4;
  } while (value != 0);
  while (n < minDigits) digits[n++] = '0';
  for (int i = n - 1; i >= 0; --i) out.push_back(digits[i]);
  return static_cast<std::size_t>(n);
}

}  // namespace vidazoz::wineprefix
