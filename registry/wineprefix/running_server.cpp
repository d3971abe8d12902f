// The lock holder of the prefix's server folder, in each place Wine may put that folder.
#include "running_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unique_fd.h"
#include "wineserver_probe.h"

namespace vidazoz::wineprefix {
namespace {

// A server runs only in folders of ours closed to others; a lock anywhere else proves nothing.
bool Private(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::optional<RunningServer> FindRunningServer(const std::string& prefixDir) {
  for (const std::string& lockPath : WineserverLockPaths(prefixDir)) {
    const std::string serverDir = lockPath.substr(0, lockPath.rfind('/'));
    if (!Private(serverDir) || !Private(serverDir.substr(0, serverDir.rfind('/')))) continue;
    const UniqueFd fd(::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    if (::fcntl(fd.Get(), F_GETLK, &fl) != 0 || fl.l_type == F_UNLCK || fl.l_pid <= 0) continue;
    RunningServer server{fl.l_pid, {}};
    char exe[4096];
    const std::string link = "/proc/" + std::to_string(fl.l_pid) + "/exe";
    const ssize_t n = ::readlink(link.c_str(), exe, sizeof exe - 1);
    if (n > 0) server.exe.assign(exe, static_cast<std::size_t>(n));
    return server;
  }
  return std::nullopt;
}

}  // namespace vidazoz::wineprefix
