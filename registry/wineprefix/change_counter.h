// A count of the writes our processes made to a prefix, kept in the first 8 bytes of the
// prefix's lock file and read through a shared mapping. A reader that sees it unchanged knows
// no process of ours replaced a file, without a system call; files replaced by others (Wine)
// are caught by a stat at most kExternalChangeWindow after the last one.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vidazoz::wineprefix {

inline constexpr std::chrono::milliseconds kExternalChangeWindow{2};

class ChangeCounter {
 public:
  ChangeCounter() = default;
  ChangeCounter(const ChangeCounter&) = delete;
  ChangeCounter& operator=(const ChangeCounter&) = delete;
  ~ChangeCounter();

  // The current count, or nullopt-like kUnknown while the lock file is not there (mapping is
  // retried at most once per window).
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  std::uint64_t Read(const std::string& lockPath);

  // Called by a writer holding the lock (fd open read-write) after a file was replaced.
  static void Bump(int lockFd);

 private:
  const std::uint64_t* mapped_ = nullptr;
  std::chrono::steady_clock::time_point lastAttempt_{};
};

}  // namespace vidazoz::wineprefix
