// Changes to a prefix a wineserver serves: each one sent to the server through the helper, on
// the key our own walk found, so 32/64-bit views and links stay resolved as ours are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "key_path.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

class KeyCall;

// Whether changes through this call go to a running server (never to the files then).
bool ChangesGoLive(KeyCall& call);

// Each returns the server's status, or ERROR_REGISTRY_IO_FAILED when the helper died or
// answered garbage.
[[nodiscard]] LONG LiveSetValue(KeyCall& call, std::u16string_view name, DWORD type,
                                const std::vector<std::uint8_t>& data);
[[nodiscard]] LONG LiveDeleteValue(KeyCall& call, std::u16string_view name);
// Creates `at` plus `missing` below it; `created` tells whether the last key is new.
[[nodiscard]] LONG LiveCreateKey(KeyCall& call, const KeyLocation& at, const std::vector<std::u16string>& missing,
                   std::u16string_view cls, bool isVolatile, bool& created);
[[nodiscard]] LONG LiveDeleteKey(KeyCall& call, const KeyLocation& target);

}  // namespace vidazoz::wineprefix
