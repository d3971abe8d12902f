// Probing for a prefix's wineserver and holding its lock in every place while we save.
#include "wineserver_probe.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "io_status.h"
#include "running_server.h"
#include "server_lock.h"
#include "server_places.h"

namespace vidazoz::wineprefix {

std::vector<std::string> WineserverLockPaths(const std::string& prefixDir) {
  std::vector<std::string> paths;
  for (const ServerPlace& place : ServerPlaces(prefixDir)) paths.push_back(place.server + "/lock");
  return paths;
}

bool WineserverRunning(const std::string& prefixDir) { return FindRunningServer(prefixDir).has_value(); }

LONG WineserverExclusion::Acquire(const std::string& prefixDir) {
  held_.clear();
  struct stat prefix {};
  if (::stat(prefixDir.c_str(), &prefix) != 0) return ERROR_SUCCESS;  // no prefix, no server
  // Each place is named once per acquisition, from one look at the folder and the name file.
  const bool debian = DebianUsesTmpName();
  std::string name = DebianTmpName(prefixDir);
  // A Debian server starting without a name file would make one with a random folder we could
  // not lock; made here as it makes it, the server takes our name and finds our lock. Never
  // while a server runs: its next client would start a second one under the new name.
  if (debian && name.empty()) {
    if (FindServerHoldingPrefix(prefix)) return ERROR_SHARING_VIOLATION;
    // A name file we cannot trust names a place we cannot hold.
    struct stat nameFile {};
    if (::lstat((prefixDir + "/wineserver").c_str(), &nameFile) == 0) return ERROR_ACCESS_DENIED;
    // Where we cannot make the folder or the name, a starting server cannot either.
    name = MakeDebianTmpName(prefixDir);
    if (name.empty() && errno != ENOENT && errno != EACCES && errno != EPERM && errno != EROFS && errno != ENOTDIR)
      return StatusFromErrno(errno);
  }
  for (const ServerPlace& place : ServerPlaces(prefix, debian, name)) {
    UniqueFd fd = OpenServerLock(place.server, /*create=*/place.starting, O_RDWR);
    if (!fd) {
      if (errno == 0) continue;  // no server can start there
      held_.clear();
      return StatusFromErrno(errno);
    }
    if (!TakeServerLock(fd.Get())) {
      const int err = errno;
      held_.clear();
      return err == EAGAIN || err == EACCES ? ERROR_SHARING_VIOLATION : ERROR_REGISTRY_IO_FAILED;
    }
    held_.push_back(std::move(fd));
  }
  // One whose folder was removed under it, or started with another TMPDIR, holds no lock we
  // can find; it still holds the prefix folder open.
  if (FindServerHoldingPrefix(prefix)) {
    held_.clear();
    return ERROR_SHARING_VIOLATION;
  }
  return ERROR_SUCCESS;
}

}  // namespace vidazoz::wineprefix
