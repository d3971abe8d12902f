// Whether a wineserver runs for a prefix: it holds a write lock on byte 0 of <serverdir>/lock
// for its whole life. Only writers ask; reads never probe.
#pragma once

#include <string>
#include <vector>

#include "unique_fd.h"

namespace vidazoz::wineprefix {

// The lock files a server for this prefix would hold, in every place Wine (upstream or
// Debian's) may put its server folder; missing ones included.
std::vector<std::string> WineserverLockPaths(const std::string& prefixDir);

bool WineserverRunning(const std::string& prefixDir);

// Keeps a server from starting while we replace a file: takes the server's own lock byte on
// each lock file that exists. A Wine launch in that moment fails instead of loading a file
// that is about to change under it; we hold it for milliseconds.
class WineserverExclusion {
 public:
  // False when a server runs for the prefix (nothing is held then).
  bool Acquire(const std::string& prefixDir);

 private:
  std::vector<UniqueFd> held_;
};

}  // namespace vidazoz::wineprefix
