// The reg command's text: UTF-8 at the program's edges, UTF-16 at the registry calls.
#pragma once

#include <string>
#include <string_view>

namespace vidazoz::reg {

// UTF-8 to UTF-16; a byte that is not UTF-8 becomes U+FFFD.
std::u16string Utf16(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view utf16);
// ASCII case-insensitive equality, as the reg switches and root names are matched.
bool SameAscii(std::u16string_view a, std::u16string_view b);

// A quoted string's escapes in a .reg file, as Wine's regedit writes and reads them: the letter
// after the backslash and the character it stands for. A string is written up to its first NUL,
// so \0 is only ever read.
struct RegEscape {
  char16_t letter, character;
};
inline constexpr RegEscape kRegEscapes[] = {
    {u'\\', u'\\'}, {u'"', u'"'}, {u'n', u'\n'}, {u'r', u'\r'}, {u'0', u'\0'}};

}  // namespace vidazoz::reg
