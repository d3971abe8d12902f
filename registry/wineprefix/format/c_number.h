// C's blanks and strtoul over a span of text, as Wine's loader relies on them when it reads a
// key's time, a dword or a hex byte.
#pragma once

#include <cstdint>

#include "hex_digits.h"

namespace vidazoz::wineprefix {

inline bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline const char* SkipCSpace(const char* p, const char* end) {
  while (p < end && IsCSpace(*p)) ++p;
  return p;
}

inline bool OnlySpaceLeft(const char* p, const char* end) { return SkipCSpace(p, end) == end; }

// C's strtoul over [p, end): leading space, a sign, "0x" before a hex digit, saturating on
// overflow. *stop is p when there are no digits.
// Inline: the loader reads a number on every key header and dword.
inline std::uint64_t StrToUL(const char* p, const char* end, unsigned base, const char** stop) {
  const char* s = SkipCSpace(p, end);
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  if (base == 16 && end - s >= 3 && s[0] == '0' && (s[1] | 0x20) == 'x' && IsHexDigit(s[2])) s += 2;
  const char* digits = s;
  std::uint64_t value = 0;
  bool overflow = false;
  for (; s < end; ++s) {
    unsigned d;
    if (*s >= '0' && *s <= '9') d = static_cast<unsigned>(*s - '0');
    else if (base == 16 && IsHexDigit(*s)) d = HexValue(*s);
    else break;
    if (d >= base) break;
    std::uint64_t next;
    if (__builtin_mul_overflow(value, base, &next) || __builtin_add_overflow(next, d, &next)) overflow = true;
    else value = next;
  }
  if (s == digits) {
    *stop = p;
    return 0;
  }
  *stop = s;
  if (overflow) return UINT64_MAX;
  return negative ? 0 - value : value;
}


}  // namespace vidazoz::wineprefix
