// The calls' strings: ANSI text (Windows-1252) of the A calls, UTF-16 of the W calls, as the
// UTF-16 units and bytes Wine stores.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ansi.h"
#include "utf16le.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

// The types whose data the A calls convert; every other type passes as it is stored.
inline bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

inline std::u16string ToUnits(const char* ansi) {  // NULL reads as ""
  return ansi == nullptr ? std::u16string() : ansi::ToUtf16(ansi);
}

inline std::u16string ToUnits(const char16_t* wide) {  // NULL reads as ""
  return wide == nullptr ? std::u16string() : std::u16string(wide);
}

// A name as an A caller (Char char: ANSI) or a W caller (Char WCHAR) receives it.
template <typename Char>
std::basic_string<Char> NameForCaller(std::u16string_view units) {
  if constexpr (std::is_same_v<Char, char>) {
    return ansi::FromUtf16(units);
  } else {
    return std::u16string(units);
  }
}

// String data as the A calls return it.
inline std::string AnsiFromStored(std::span<const std::uint8_t> data) { return ansi::FromUtf16(UnitsFromBytes(data)); }

// ANSI text as a string value stores it.
inline void StoredFromAnsi(std::string_view ansi, std::vector<std::uint8_t>& data) {
  BytesFromUnits(ansi::ToUtf16(ansi), data);
}

}  // namespace vidazoz::wineprefix
