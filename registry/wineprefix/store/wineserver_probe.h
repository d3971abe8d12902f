// Whether a wineserver runs for a prefix, and keeping one from starting while we save: a
// server holds a write lock on byte 0 of <serverdir>/lock for its whole life.
#pragma once

#include <string>
#include <vector>

#include "unique_fd.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

// The lock files a server for this prefix may hold, in every place upstream or Debian's Wine
// puts its server folder; missing ones included. Upstream's comes first.
std::vector<std::string> WineserverLockPaths(const std::string& prefixDir);

// Only folders that are ours and private count: a server could not start in any other.
bool WineserverRunning(const std::string& prefixDir);

// Keeps a server from starting while we replace a file: holds the server's own lock byte in
// every place a server starting now would use, each made as Wine makes it when missing (folders
// 0700 of ours, the file 0600, and Debian's name file), and on every other one that exists. A
// server starting meanwhile finds it held and exits with status 2; its Wine client tries again
// a moment later, after our save. Open-file-description locks: closing another descriptor of
// the file never drops them.
class WineserverExclusion {
 public:
  // ERROR_SUCCESS with the locks held; ERROR_SHARING_VIOLATION when a server runs for the
  // prefix, found by its lock or by the prefix folder it holds open (nothing is held then);
  // ERROR_REGISTRY_IO_FAILED or ERROR_ACCESS_DENIED when a lock could not be taken for another
  // reason.
  [[nodiscard]] LONG Acquire(const std::string& prefixDir);

 private:
  std::vector<UniqueFd> held_;
};

}  // namespace vidazoz::wineprefix
