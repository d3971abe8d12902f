// Whether a wineserver runs for a prefix: it holds a write lock on byte 0 of <serverdir>/lock
// for its whole life. Only writers ask; reads never probe.
#pragma once

#include <string>
#include <vector>

#include "advapi32.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {

// The lock files a server for this prefix would hold, in every place Wine (upstream or
// Debian's) may put its server folder; missing ones included. The first is where this Wine
// puts it.
std::vector<std::string> WineserverLockPaths(const std::string& prefixDir);

// Only folders that are ours and private count: a server could not start in any other.
bool WineserverRunning(const std::string& prefixDir);

// Keeps a server from starting while we replace a file: holds the server's own lock byte, on
// the lock file Wine would create (made as Wine makes it when missing: a folder 0700 of ours,
// the file 0600) and on every other one that exists. A server starting meanwhile finds it
// held and exits with status 2; its Wine client tries again a moment later, after our save.
// Open-file-description locks: closing another descriptor of the file never drops them.
class WineserverExclusion {
 public:
  // ERROR_SUCCESS with the locks held; 32 when a server runs for the prefix (nothing is held
  // then); 1016 or 5 when a lock could not be taken for another reason.
  LONG Acquire(const std::string& prefixDir);

 private:
  std::vector<UniqueFd> held_;
};

}  // namespace vidazoz::wineprefix
