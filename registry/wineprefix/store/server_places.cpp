// Wine's rules for naming a prefix's server folder, upstream's and Debian's.
#include "server_places.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "safe_open.h"
#include "unique_fd.h"

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

std::string RunUserDir() { return "/run/user/" + std::to_string(::getuid()); }

bool ValidName(const std::string& name) {
  return !name.empty() && name.size() <= NAME_MAX && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

}  // namespace

std::string TmpRoot() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && dir[0] == '/' ? dir : "/tmp";
}

bool DebianUsesTmpName() { return !IsDir(RunUserDir()); }

std::string DebianTmpName(const std::string& prefixDir) {
  struct stat st {};
  const UniqueFd fd = OpenRegularForReading((prefixDir + "/wineserver").c_str(), /*noFollow=*/true, st);
  if (!fd || !OwnedByUs(st)) return {};
  char buf[NAME_MAX + 2];
  const ssize_t got = ::read(fd.Get(), buf, sizeof buf);
  if (got <= 0 || got > NAME_MAX) return {};  // Wine writes the bare name, no newline
  std::string name(buf, static_cast<std::size_t>(got));
  return ValidName(name) ? name : std::string();
}

std::string MakeDebianTmpName(const std::string& prefixDir) {
  // Every string is made before anything is created, so that a failed allocation never leaves
  // a folder or a file behind.
  std::string made = TmpRoot() + "/wine-XXXXXX";
  std::string name = "wine-XXXXXX";
  const std::string file = prefixDir + "/wineserver";
  // The name is written under a private name, then linked into place: a reader never sees half
  // a name, and a name file that appeared meanwhile (a server starting) is kept.
  std::string staging = file + ".vidazoz-wine-XXXXXX";
  if (::mkdtemp(made.data()) == nullptr) return {};
  std::copy(made.end() - 6, made.end(), name.end() - 6);
  std::copy(made.end() - 6, made.end(), staging.end() - 6);
  bool linked = false;
  int err = 0;
  {
    const UniqueFd fd(::open(staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0400));
    if (!fd) {
      err = errno;
      ::rmdir(made.c_str());
      errno = err;
      return {};
    }
    linked = ::write(fd.Get(), name.data(), name.size()) == static_cast<ssize_t>(name.size()) &&
             ::fsync(fd.Get()) == 0 && ::link(staging.c_str(), file.c_str()) == 0;
    err = errno;
  }
  ::unlink(staging.c_str());
  if (linked) return name;
  ::rmdir(made.c_str());
  if (err == EEXIST) {
    if (std::string theirs = DebianTmpName(prefixDir); !theirs.empty()) return theirs;
  }
  errno = err;
  return {};
}

std::string ServerFolderName(const struct stat& prefix) {
  return "server-" + Hex(prefix.st_dev) + "-" + Hex(prefix.st_ino);
}

std::vector<ServerPlace> ServerPlaces(const std::string& prefixDir) {
  struct stat st {};
  if (::stat(prefixDir.c_str(), &st) != 0) return {};
  const bool debian = DebianUsesTmpName();
  return ServerPlaces(st, debian, DebianTmpName(prefixDir));
}

std::vector<ServerPlace> ServerPlaces(const struct stat& prefix, bool debianUsesTmpName, const std::string& debianName) {
  const std::string server = "/" + ServerFolderName(prefix);
  const std::string uid = std::to_string(::getuid());
  std::vector<ServerPlace> places;
  auto add = [&](std::string base, bool starting) {
    for (const ServerPlace& p : places)
      if (p.base == base) return;
    places.push_back({base, base + server, starting});
  };
  add("/tmp/.wine-" + uid, true);
  const bool runUser = !debianUsesTmpName;
  if (runUser) add(RunUserDir() + "/wine", true);
  if (!debianName.empty()) {
    add(TmpRoot() + "/" + debianName, !runUser);
    add("/tmp/" + debianName, !runUser);  // a server started without TMPDIR
  }
  return places;
}

}  // namespace vidazoz::wineprefix
