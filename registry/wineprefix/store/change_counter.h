// A count of the writes our processes made to a prefix, kept in the first 8 bytes of the
// prefix's lock file. A reader that sees it unchanged knows no process of ours replaced a file
// without a stat of each; files replaced by others (Wine) are caught by a stat at most
// kExternalChangeWindow after the last one. Read with pread, never mapped: a file someone
// truncates must not raise SIGBUS in the caller.
#pragma once

#include <cstdint>
#include <string>

#include "look_again.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {

class ChangeCounter {
 public:
  // The current count, or kUnknown while the lock file is not there (or is no regular file);
  // the file is looked for again at most once per window, which a stat of the files covers.
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  std::uint64_t Read(const std::string& lockPath);
  // Called by a writer of this process once it holds the lock: from now on the count is read
  // at every call, so another process's next write is seen at once.
  void Follow(const std::string& lockPath);

  // The count as a writer holding the lock reads it from its own descriptor; kUnknown when it
  // cannot be read.
  static std::uint64_t ReadHeld(int lockFd);
  // Called by a writer holding the lock (fd open read-write) after a file was replaced.
  // False when the count could not be written.
  [[nodiscard]] static bool Bump(int lockFd);

 private:
  UniqueFd fd_;
  LookAgain look_;  // when the missing lock file is looked for again
};

}  // namespace vidazoz::wineprefix
