// StrToUL: C's strtoul, bounded by the end of the span instead of a NUL.
#include "c_number.h"

#include "hex_digits.h"

namespace vidazoz::wineprefix {

std::uint64_t StrToUL(const char* p, const char* end, unsigned base, const char** stop) {
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
