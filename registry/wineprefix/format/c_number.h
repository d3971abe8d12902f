// C's blanks and strtoul over a span of text, as Wine's loader relies on them when it reads a
// key's time, a dword or a hex byte.
#pragma once

#include <cstdint>

namespace vidazoz::wineprefix {

inline bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline const char* SkipCSpace(const char* p, const char* end) {
  while (p < end && IsCSpace(*p)) ++p;
  return p;
}

inline bool OnlySpaceLeft(const char* p, const char* end) { return SkipCSpace(p, end) == end; }

// C's strtoul over [p, end): leading space, a sign, "0x" before a hex digit, saturating on
// overflow. *stop is p when there are no digits.
std::uint64_t StrToUL(const char* p, const char* end, unsigned base, const char** stop);

}  // namespace vidazoz::wineprefix
