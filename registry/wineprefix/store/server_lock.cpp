// Opening and probing a wineserver's lock file in folders others may have planted.
#include "server_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lock_range.h"

namespace vidazoz::wineprefix {
namespace {

// A folder Wine would run a server in: ours, and closed to everyone else.
bool Trusted(int dirFd) {
  struct stat st {};
  return ::fstat(dirFd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

UniqueFd OpenDir(int at, const char* name) {
  return UniqueFd(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool NothingThere(int err) {
  return err == ENOENT || err == EACCES || err == EPERM || err == EROFS || err == ELOOP || err == ENOTDIR;
}

UniqueFd None(int err) {
  errno = err;
  return UniqueFd();
}

// One folder level: opened and checked, made 0700 first when missing (with `create`).
UniqueFd Level(int at, const std::string& name, bool create) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    UniqueFd fd = OpenDir(at, name.c_str());
    if (fd) return Trusted(fd.Get()) ? std::move(fd) : None(0);
    if (!create || errno != ENOENT) return None(NothingThere(errno) ? 0 : errno);
    // Made, then opened again; removed between the two, it is made again.
    if (::mkdirat(at, name.c_str(), 0700) != 0 && errno != EEXIST) return None(NothingThere(errno) ? 0 : errno);
  }
  return None(EAGAIN);
}

}  // namespace

UniqueFd OpenServerLock(const std::string& serverDir, bool create, int openMode) {
  const std::size_t slash = serverDir.rfind('/');
  const std::size_t baseSlash = slash == 0 || slash == std::string::npos ? std::string::npos : serverDir.rfind('/', slash - 1);
  if (baseSlash == std::string::npos) return None(0);
  const std::string root = baseSlash == 0 ? "/" : serverDir.substr(0, baseSlash);
  // The root (/tmp, $TMPDIR, /run/user/<uid>) is the system's or the user's, and may be a link.
  const UniqueFd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!rootFd) return None(NothingThere(errno) ? 0 : errno);
  const UniqueFd baseFd = Level(rootFd.Get(), serverDir.substr(baseSlash + 1, slash - baseSlash - 1), create);
  if (!baseFd) return UniqueFd();
  const UniqueFd serverFd = Level(baseFd.Get(), serverDir.substr(slash + 1), create);
  if (!serverFd) return UniqueFd();
  UniqueFd lock(::openat(serverFd.Get(), "lock",
                         openMode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0), 0600));
  if (!lock) return None(NothingThere(errno) ? 0 : errno);
  struct stat st {};
  if (::fstat(lock.Get(), &st) != 0) return None(errno);
  if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) return None(0);
  return lock;
}

pid_t LockHolder(int lockFd) {
  struct flock fl = LockRange(F_WRLCK, 1);
  if (::fcntl(lockFd, F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) return 0;
  return fl.l_pid > 0 ? fl.l_pid : -1;
}

bool TakeServerLock(int lockFd) {
  struct flock fl = LockRange(F_WRLCK, 1);
  return ::fcntl(lockFd, F_OFD_SETLK, &fl) == 0;
}

}  // namespace vidazoz::wineprefix
