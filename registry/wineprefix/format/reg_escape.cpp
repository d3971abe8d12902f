#include "reg_escape.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "hex_digits.h"

namespace vidazoz::wineprefix {
namespace {

bool IsOctalDigit(unsigned c) { return c >= '0' && c <= '7'; }

// Whether any of the eight bytes is 0.
bool HasZeroByte(std::uint64_t word) { return ((word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL) != 0; }

// The letter escapes Wine writes for control characters; 0 means "write it in octal".
char LetterEscape(char16_t c) {
  switch (c) {
    case 7: return 'a';
    case 8: return 'b';
    case 9: return 't';
    case 10: return 'n';
    case 11: return 'v';
    case 12: return 'f';
    case 13: return 'r';
    case 27: return 'e';
    default: return 0;
  }
}

std::size_t AppendOctal(std::string& out, unsigned value, bool threeDigits) {
  char digits[3];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  } while (value != 0);
  while (threeDigits && n < 3) digits[n++] = '0';
  for (int i = n - 1; i >= 0; --i) out.push_back(digits[i]);
  return static_cast<std::size_t>(n);
}

}  // namespace

std::size_t AppendEscaped(std::string& out, std::u16string_view s, std::string_view quoted, FinalNul finalNul) {
  const std::size_t before = out.size();
  const std::size_t n = s.size();
  // The ASCII units that need a backslash, as a bit set: asked once per unit.
  std::uint64_t escaped[2] = {0, std::uint64_t{1} << ('\\' - 64)};
  for (const char q : quoted)
    if (static_cast<unsigned char>(q) < 0x80) escaped[q >> 6] |= std::uint64_t{1} << (q & 63);
  auto plain = [&](char16_t c) { return c >= 0x20 && c < 0x80 && (escaped[c >> 6] >> (c & 63) & 1) == 0; };
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = s[i];
    const bool hasNext = i + 1 < n;
    if (plain(c)) {
      // Most text needs no escape: a run of it is copied at once.
      std::size_t end = i + 1;
      while (end < n && plain(s[end])) ++end;
      const std::size_t at = out.size();
      out.resize(at + (end - i));
      for (std::size_t k = i; k < end; ++k) out[at + (k - i)] = static_cast<char>(s[k]);
      i = end - 1;
    } else if (c >= 0x20 && c < 0x80) {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c > 0x7F) {
      // A following hex digit would be read as part of the escape: then the width is fixed.
      const bool pad = hasNext && s[i + 1] < 0x80 && IsHexDigit(s[i + 1]);
      out += "\\x";
      AppendHexNumber(out, c, pad ? 4 : 1);
    } else if (c == 0 && !hasNext && finalNul == FinalNul::kImplied) {
      // The reader appends it.
    } else if (const char letter = LetterEscape(c)) {
      out.push_back('\\');
      out.push_back(letter);
    } else {
      out.push_back('\\');
      AppendOctal(out, c, hasNext && IsOctalDigit(s[i + 1]));
    }
  }
  return out.size() - before;
}

Unescaped AppendUnescaped(std::u16string& out, const char* from, const char* end, char delimiter) {
  Unescaped result;
  // No byte yields more than one unit (a 4-byte UTF-8 sequence yields two): room for the most
  // there can be, written through a pointer and trimmed at the end.
  const std::size_t base = out.size();
  out.resize(base + (end > from ? static_cast<std::size_t>(end - from) : 0));
  char16_t* const first = out.data() + base;
  char16_t* o = first;
  const std::uint64_t delimiters = 0x0101010101010101ULL * static_cast<unsigned char>(delimiter);
  const char* p = from;
  while (p < end && *p != delimiter) {
    // Most text is plain ASCII: such runs are found eight bytes at a time and copied at once.
    const char* run = p;
    for (std::uint64_t word; end - p >= 8; p += 8) {
      std::memcpy(&word, p, 8);
      if ((word & 0x8080808080808080ULL) != 0 || HasZeroByte(word ^ 0x5C5C5C5C5C5C5C5CULL) ||
          HasZeroByte(word ^ delimiters))
        break;
    }
    while (p < end && static_cast<unsigned char>(*p) < 0x80 && *p != '\\' && *p != delimiter) ++p;
    if (p != run) {
      o = std::copy(run, p, o);
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '\\') {
      if (++p == end) break;  // a lone backslash ends the line: no closing delimiter
      c = static_cast<unsigned char>(*p);
      switch (c) {
        case 'a': *o++ = u'\a'; ++p; continue;
        case 'b': *o++ = u'\b'; ++p; continue;
        case 'e': *o++ = u'\x1b'; ++p; continue;
        case 'f': *o++ = u'\f'; ++p; continue;
        case 'n': *o++ = u'\n'; ++p; continue;
        case 'r': *o++ = u'\r'; ++p; continue;
        case 't': *o++ = u'\t'; ++p; continue;
        case 'v': *o++ = u'\v'; ++p; continue;
        case 'x': {
          ++p;
          if (p == end || !IsHexDigit(static_cast<unsigned char>(*p))) {
            *o++ = u'x';
            continue;
          }
          unsigned value = 0;
          for (int digits = 0; digits < 4 && p < end && IsHexDigit(static_cast<unsigned char>(*p)); ++digits)
            value = value * 16 + HexValue(static_cast<unsigned char>(*p++));
          *o++ = static_cast<char16_t>(value);
          continue;
        }
        default:
          if (IsOctalDigit(c)) {
            unsigned value = 0;
            for (int digits = 0; digits < 3 && p < end && IsOctalDigit(static_cast<unsigned char>(*p)); ++digits)
              value = value * 8 + static_cast<unsigned>(*p++ - '0');
            *o++ = static_cast<char16_t>(value);
            continue;
          }
          break;  // any other escaped character stands for itself
      }
    }
    ++p;
    if (c < 0x80) {
      *o++ = c;
      continue;
    }
    // UTF-8: a bad sequence is dropped up to the byte that broke it.
    int trail = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC0 && c < 0xE0 ? 1 : 0;
    char32_t code = c & (0x3F >> trail);
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    const int length = trail;
    bool good = trail > 0;
    for (; good && trail > 0; --trail) {
      const unsigned char t = p < end ? static_cast<unsigned char>(*p) ^ 0x80 : 0xFF;
      if (t >= 0x40) {
        good = false;
        break;
      }
      code = (code << 6) | t;
      ++p;
    }
    if (!good || code < kMinimum[length] || code > 0x10FFFF) {
      result.lossless = false;
      continue;
    }
    if (code <= 0xFFFF) {
      *o++ = static_cast<char16_t>(code);
    } else {
      code -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 | (code >> 10));
      *o++ = static_cast<char16_t>(0xDC00 | (code & 0x3FF));
    }
  }
  out.resize(base + static_cast<std::size_t>(o - first));
  if (p < end && *p == delimiter) result.next = p + 1;
  return result;
}

}  // namespace vidazoz::wineprefix
