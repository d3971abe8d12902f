#include "wineserver_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

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
  std::ifstream in(prefixDir + "/wineserver");
  std::string name;
  std::getline(in, name);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.pop_back();
  if (name.find('/') != std::string::npos || name == "." || name == "..") return {};
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
  return ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

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
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd && HeldByOther(fd.Get())) return true;
  }
  return false;
}

bool WineserverExclusion::Acquire(const std::string& prefixDir) {
  held_.clear();
  for (const std::string& path : WineserverLockPaths(prefixDir)) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd) {
      // Not ours to write: we can still ask whether someone holds it.
      UniqueFd ro(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (ro && HeldByOther(ro.Get())) {
        held_.clear();
        return false;
      }
      continue;
    }
    struct flock fl = ByteZero(F_WRLCK);
    if (::fcntl(fd.Get(), F_SETLK, &fl) != 0) {
      held_.clear();
      if (errno == EAGAIN || errno == EACCES) return false;
      continue;
    }
    held_.push_back(std::move(fd));
  }
  return true;
}

}  // namespace vidazoz::wineprefix
