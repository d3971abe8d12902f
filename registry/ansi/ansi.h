// Conversion between the program's strings (UTF-8) and the ANSI code page used at every
// platform call: Windows-1252 off Windows, CP_ACP on Windows. A character the code page
// lacks becomes '?'.
#pragma once

#include <string>
#include <string_view>

namespace vidazoz::ansi {

std::string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::string_view ansi);

// UTF-16 forms, for a platform layer that keeps names and data as UTF-16 (as Wine does).
std::u16string ToUtf16(std::string_view ansi);
std::string FromUtf16(std::u16string_view utf16);

// Code points of the UTF-8 text (invalid bytes count one each), for lengths counted in characters.
std::u32string DecodeUtf8(std::string_view utf8);
std::string EncodeUtf8(std::u32string_view text);

}  // namespace vidazoz::ansi
