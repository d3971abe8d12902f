// A boolean as it crosses the cRegistry interface: 16 bits, -1 true, 0 false.
#pragma once

#include <cstdint>

namespace vidazoz {

enum class Boolean : std::int16_t { False = 0, True = -1 };

constexpr Boolean ToBoolean(bool b) { return b ? Boolean::True : Boolean::False; }
// Any non-zero value counts as set.
constexpr bool IsSet(Boolean b) { return static_cast<std::int16_t>(b) != 0; }

}  // namespace vidazoz
