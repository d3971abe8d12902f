// Key times as Wine keeps them: FILETIME, 100 ns ticks since 1601-01-01 UTC.
#pragma once

#include <chrono>
#include <cstdint>

namespace vidazoz::wineprefix {

// Signed, as Wine's own time type: a key time before 1970 is written as negative seconds.
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicks1601To1970 = 116'444'736'000'000'000;  // the Unix epoch

inline std::uint64_t FileTimeNow() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(kTicks1601To1970 + since1970.count() / 100);
}

}  // namespace vidazoz::wineprefix
