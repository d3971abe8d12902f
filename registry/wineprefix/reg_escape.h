// String escaping of Wine's registry text format, both ways. Names, string data and classes
// are UTF-16 in memory and pure ASCII on disk.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vidazoz::wineprefix {

// Appends s as Wine's server writes it. Besides '\', the two characters in `quoted` get a
// backslash ("\"\"" for values and classes, "[]" for key names). A NUL that ends s is not
// written. Returns the number of characters appended (the hex wrapping counts them).
std::size_t AppendEscaped(std::string& out, std::u16string_view s, std::string_view quoted);

struct Unescaped {
  const char* next = nullptr;  // just past the closing delimiter; nullptr when there was none
  bool lossless = true;        // false when invalid UTF-8 was dropped, as Wine drops it
};

// Decodes the text from `from` up to the first unescaped `delimiter` (never reading at or past
// `end`), appending the UTF-16 units to out, as Wine's reader does.
Unescaped AppendUnescaped(std::u16string& out, const char* from, const char* end, char delimiter);

}  // namespace vidazoz::wineprefix
