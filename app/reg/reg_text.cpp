// Conversions between the program's UTF-8 and the registry's UTF-16.
#include "reg_text.h"

#include "ansi.h"

namespace vidazoz::reg {

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  for (char32_t c : ansi::DecodeUtf8(utf8)) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf8(std::u16string_view utf16) {
  std::u32string points;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      points += static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      points += U'\uFFFD';
    } else {
      points += u;
    }
  }
  return ansi::EncodeUtf8(points);
}

bool SameAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace vidazoz::reg
