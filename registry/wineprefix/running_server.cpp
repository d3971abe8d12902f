// Finding the wineserver of a prefix: its lock first, then the processes holding the prefix open.
#include "running_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "server_lock.h"
#include "server_places.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {
namespace {

std::string ExeOf(pid_t pid) {
  char buf[PATH_MAX];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Whether the process behind `procFd` (/proc/<pid>) is a wineserver: Wine's own binary is
// "wineserver", Debian's "wineserver64" or "wineserver32".
bool IsWineserver(int procFd) {
  const UniqueFd comm(::openat(procFd, "comm", O_RDONLY | O_CLOEXEC));
  char name[16] = {};
  return comm && ::read(comm.Get(), name, sizeof name - 1) >= 10 && std::strncmp(name, "wineserver", 10) == 0;
}

bool HoldsOpen(int procFd, const struct stat& target) {
  const UniqueFd fdDirFd(::openat(procFd, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fdDirFd) return false;
  const int dup = ::dup(fdDirFd.Get());
  if (dup < 0) return false;
  const std::unique_ptr<DIR, int (*)(DIR*)> fds(::fdopendir(dup), ::closedir);
  if (!fds) {
    ::close(dup);
    return false;
  }
  while (const dirent* entry = ::readdir(fds.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat st {};
    if (::fstatat(fdDirFd.Get(), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode) && st.st_dev == target.st_dev &&
        st.st_ino == target.st_ino)
      return true;
  }
  return false;
}

}  // namespace

std::optional<RunningServer> FindServerHoldingPrefix(const std::string& prefixDir) {
  struct stat prefix {};
  if (::stat(prefixDir.c_str(), &prefix) != 0) return std::nullopt;
  const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return std::nullopt;
  const uid_t uid = ::getuid();
  while (const dirent* entry = ::readdir(proc.get())) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    const UniqueFd procFd(::openat(::dirfd(proc.get()), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat owner {};
    if (!procFd || ::fstat(procFd.Get(), &owner) != 0 || owner.st_uid != uid) continue;
    if (!IsWineserver(procFd.Get()) || !HoldsOpen(procFd.Get(), prefix)) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
    return RunningServer{pid, ExeOf(pid)};
  }
  return std::nullopt;
}

std::optional<RunningServer> FindRunningServer(const std::string& prefixDir) {
  bool everyStartingPlaceFree = true;
  for (const ServerPlace& place : ServerPlaces(prefixDir)) {
    const UniqueFd lock = OpenServerLock(place.server, /*create=*/false, O_RDONLY);
    const pid_t holder = lock ? LockHolder(lock.Get()) : 0;
    if (holder > 0) return RunningServer{holder, ExeOf(holder)};
    // -1: a writer of ours holds it to keep servers out; no server can hold it then.
    if (place.starting && (!lock || holder != 0)) everyStartingPlaceFree = false;
  }
  // Without a name file a Debian server starting now would pick a folder we cannot name.
  if (DebianUsesTmpName() && DebianTmpName(prefixDir).empty()) everyStartingPlaceFree = false;
  // A server started in this environment would hold one of these locks: with all of them in
  // place and free, none did. Only one whose folder was removed under it, or one started with
  // another TMPDIR, is left unseen; writers look for those too.
  if (everyStartingPlaceFree) return std::nullopt;
  return FindServerHoldingPrefix(prefixDir);
}

}  // namespace vidazoz::wineprefix
