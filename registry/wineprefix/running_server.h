// Which wineserver, if any, serves a prefix now: the process holding its lock, and its binary.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vidazoz::wineprefix {

struct RunningServer {
  pid_t pid = 0;
  std::string exe;  // /proc/<pid>/exe resolved
};

std::optional<RunningServer> FindRunningServer(const std::string& prefixDir);

}  // namespace vidazoz::wineprefix
