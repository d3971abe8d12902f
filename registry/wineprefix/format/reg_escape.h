// String escaping of Wine's registry text format, both ways. Names, string data and classes
// are UTF-16 in memory and pure ASCII on disk.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vidazoz::wineprefix {

// A NUL that ends string data is implied: the reader appends one. A name or class holds no
// such NUL, so one that ends it is real and must be written, or the name would read back as its
// twin without it (Wine's own writer drops it, and merges the two on its next load).
enum class FinalNul { kImplied, kWritten };

// Appends s as Wine's server writes it. Besides '\', the two characters in `quoted` get a
// backslash ("\"\"" for values and classes, "[]" for key names). Returns the number of
// characters appended (the hex wrapping counts them).
std::size_t AppendEscaped(std::string& out, std::u16string_view s, std::string_view quoted,
                          FinalNul finalNul = FinalNul::kImplied);

struct Unescaped {
  const char* next = nullptr;  // just past the closing delimiter; nullptr when there was none
  bool lossless = true;        // false when invalid UTF-8 was dropped, as Wine drops it
};

// Decodes the text from `from` up to the first unescaped `delimiter` (never reading at or past
// `end`), appending the UTF-16 units to out, as Wine's reader does.
Unescaped AppendUnescaped(std::u16string& out, const char* from, const char* end, char delimiter);

}  // namespace vidazoz::wineprefix
