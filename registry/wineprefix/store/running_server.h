// Which wineserver serves a prefix now: its lock held in any place Wine puts it, else a
// wineserver process of ours holding the prefix folder open.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace vidazoz::wineprefix {

struct RunningServer {
  pid_t pid = 0;
  std::string exe;  // the server binary, /proc/<pid>/exe resolved ("" when unreadable)
};

// The wineserver that serves `prefixDir` now, if any: its lock held in any folder upstream or
// Debian's Wine uses, else a wineserver process of our uid holding the prefix folder open.
std::optional<RunningServer> FindRunningServer(const std::string& prefixDir);

// The second half alone: a wineserver process of our uid holding the prefix folder open.
std::optional<RunningServer> FindServerHoldingPrefix(const std::string& prefixDir);
std::optional<RunningServer> FindServerHoldingPrefix(const struct stat& prefix);

}  // namespace vidazoz::wineprefix
