// When a cached answer about a prefix's files must be looked for again: after a write of ours
// (the change count moved) or once the last look is older than a window, which is how long a
// change made by others (Wine) may go unseen.
#pragma once

#include <chrono>
#include <cstdint>

namespace vidazoz::wineprefix {

inline constexpr std::chrono::milliseconds kExternalChangeWindow{2};

class LookAgain {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether the answer last looked for at `generation` (our writers' change count) may be stale.
  bool NeedsLook(std::uint64_t generation, Clock::time_point now) const {
    return generation != generation_ || NeedsLook(now);
  }
  // The same where no change count tells of our writes: the window alone decides.
  bool NeedsLook(Clock::time_point now) const { return now - looked_ >= kExternalChangeWindow; }

  void Looked(std::uint64_t generation, Clock::time_point now) {
    generation_ = generation;
    looked_ = now;
  }
  void Looked(Clock::time_point now) { looked_ = now; }

  // A write of ours left the answer as it was and the count at `generation`: no look is owed for it.
  void KnownAt(std::uint64_t generation) { generation_ = generation; }
  std::uint64_t Generation() const { return generation_; }

 private:
  std::uint64_t generation_ = 0;
  Clock::time_point looked_{};
};

}  // namespace vidazoz::wineprefix
