// ExpandEnvironmentStringsA and RtlMoveMemory where kernel32 is absent.
#ifndef _WIN32

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "ansi.h"
#include "kernel32.h"

extern char** environ;

namespace {

// Case folding of the ANSI code page's letters (ASCII and the Latin-1 range).
char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0x0161 || c == 0x0153 || c == 0x017E) return static_cast<char16_t>(c - 1);  // š œ ž
  if (c == 0x00FF) return 0x0178;                                                       // ÿ
  return c;
}

// Variable names compare without case, folded over the ANSI code page's letters only (key names
// follow the registry's own rule).
bool SameVariableName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

// The value of the variable named (in ANSI) `name`, in ANSI; the first match in the
// environment wins when several differ only in case.
std::optional<std::string> Lookup(std::string_view name) {
  const std::u16string wanted = vidazoz::ansi::ToUtf16(name);
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string_view entry = *e;
    const auto eq = entry.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    if (SameVariableName(vidazoz::ansi::ToUtf16(vidazoz::ansi::FromUtf8(entry.substr(0, eq))), wanted))
      return vidazoz::ansi::FromUtf8(entry.substr(eq + 1));
  }
  return std::nullopt;
}

std::string Expand(std::string_view src) {
  std::string out;
  std::size_t i = 0;
  while (i < src.size()) {
    const auto open = src.find('%', i);
    if (open == std::string_view::npos) {
      out.append(src.substr(i));
      break;
    }
    out.append(src.substr(i, open - i));
    const auto close = src.find('%', open + 1);
    if (close == std::string_view::npos) {  // unterminated: the rest stays as written
      out.append(src.substr(open));
      break;
    }
    const std::string_view name = src.substr(open + 1, close - open - 1);
    const auto value = name.empty() ? std::nullopt : Lookup(name);
    if (value) {
      out.append(*value);
    } else {
      out.append(src.substr(open, close - open + 1));
    }
    i = close + 1;
  }
  return out;
}

}  // namespace

DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
  const std::string result = Expand(lpSrc == nullptr ? std::string_view() : std::string_view(lpSrc));
  const std::size_t needed = result.size() + 1;
  if (lpDst != nullptr && nSize > 0) {
    const std::size_t copied = std::min<std::size_t>(result.size(), nSize - 1);
    std::memcpy(lpDst, result.data(), copied);
    lpDst[copied] = '\0';
  }
  return static_cast<DWORD>(needed);
}

void RtlMoveMemory(void* Destination, const void* Source, std::size_t Length) {
  std::memmove(Destination, Source, Length);
}

#endif
