#include "wineserver_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "io_status.h"
#include "safe_open.h"

namespace vidazoz::wineprefix {
namespace {

// Wine prints a value wider than 32 bits as its high part, then the low part in 8 digits.
std::string Hex(unsigned long long v) {
  char buf[40];
  if (v >> 32) {
    std::snprintf(buf, sizeof buf, "%llx%08llx", v >> 32, v & 0xffffffffULL);
  } else {
    std::snprintf(buf, sizeof buf, "%llx", v);
  }
  return buf;
}

bool IsDir(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string DebianTmpName(const std::string& prefixDir) {
  struct stat st {};
  const UniqueFd fd = OpenRegularForReading((prefixDir + "/wineserver").c_str(), /*noFollow=*/true, st);
  if (!fd) return {};
  char buf[256];
  const ssize_t got = ::read(fd.Get(), buf, sizeof buf);
  if (got <= 0) return {};
  std::string name(buf, static_cast<std::size_t>(got));
  if (const std::size_t end = name.find('\n'); end != std::string::npos) name.resize(end);
  while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
  if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos || name == "." || name == "..")
    return {};
  return name;
}

struct flock ByteZero(short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 1;
  return fl;
}

bool HeldByOther(int fd) {
  struct flock fl = ByteZero(F_WRLCK);
  return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

// A folder Wine would run a server in: ours, and closed to everyone else.
bool Trusted(int dirFd) {
  struct stat st {};
  return ::fstat(dirFd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

UniqueFd OpenDir(int at, const char* name) {
  return UniqueFd(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The server lock file in `serverDir` (".../server-<dev>-<ino>"), when its folders are trusted;
// with `create`, the folders and the file are made as Wine makes them. An empty fd with errno
// 0 means no server can run there.
UniqueFd OpenServerLock(const std::string& serverDir, bool create, int lockMode) {
  const std::size_t slash = serverDir.rfind('/');
  const std::string base = serverDir.substr(0, slash), server = serverDir.substr(slash + 1);
  auto none = [](int err) {
    errno = err;
    return UniqueFd();
  };
  auto nothingThere = [](int err) { return err == ENOENT || err == EACCES || err == EPERM || err == EROFS; };
  if (create && ::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) return none(nothingThere(errno) ? 0 : errno);
  UniqueFd baseFd = OpenDir(AT_FDCWD, base.c_str());
  if (!baseFd) return none(nothingThere(errno) || errno == ELOOP || errno == ENOTDIR ? 0 : errno);
  if (!Trusted(baseFd.Get())) return none(0);
  if (create && ::mkdirat(baseFd.Get(), server.c_str(), 0700) != 0 && errno != EEXIST)
    return none(nothingThere(errno) ? 0 : errno);
  UniqueFd serverFd = OpenDir(baseFd.Get(), server.c_str());
  if (!serverFd) return none(nothingThere(errno) || errno == ELOOP || errno == ENOTDIR ? 0 : errno);
  if (!Trusted(serverFd.Get())) return none(0);
  UniqueFd lock(::openat(serverFd.Get(), "lock",
                         lockMode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0), 0600));
  if (!lock) return none(nothingThere(errno) || errno == ELOOP ? 0 : errno);
  struct stat st {};
  if (::fstat(lock.Get(), &st) != 0) return none(errno);
  if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) return none(0);
  return lock;
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

std::vector<std::string> WineserverLockPaths(const std::string& prefixDir) {
  struct stat st {};
  if (::stat(prefixDir.c_str(), &st) != 0) return {};
  const std::string server = "server-" + Hex(st.st_dev) + "-" + Hex(st.st_ino);
  const std::string uid = std::to_string(::getuid());
  std::vector<std::string> paths = {"/tmp/.wine-" + uid + "/" + server + "/lock"};
  if (IsDir("/run/user/" + uid)) paths.push_back("/run/user/" + uid + "/wine/" + server + "/lock");
  if (const std::string name = DebianTmpName(prefixDir); !name.empty())
    paths.push_back("/tmp/" + name + "/" + server + "/lock");
  return paths;
}

bool WineserverRunning(const std::string& prefixDir) {
  for (const std::string& path : WineserverLockPaths(prefixDir)) {
    const UniqueFd fd = OpenServerLock(Parent(path), /*create=*/false, O_RDONLY);
    if (fd && HeldByOther(fd.Get())) return true;
  }
  return false;
}

LONG WineserverExclusion::Acquire(const std::string& prefixDir) {
  held_.clear();
  const std::vector<std::string> paths = WineserverLockPaths(prefixDir);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    UniqueFd fd = OpenServerLock(Parent(paths[i]), /*create=*/i == 0, O_RDWR);
    if (!fd) {
      if (errno == 0) continue;  // no server can start there
      held_.clear();
      return StatusFromErrno(errno);
    }
    struct flock fl = ByteZero(F_WRLCK);
    if (::fcntl(fd.Get(), F_OFD_SETLK, &fl) != 0) {
      const int err = errno;
      held_.clear();
      return err == EAGAIN || err == EACCES ? ERROR_SHARING_VIOLATION : ERROR_REGISTRY_IO_FAILED;
    }
    held_.push_back(std::move(fd));
  }
  return ERROR_SUCCESS;
}

}  // namespace vidazoz::wineprefix
