// Finding the wineserver of a prefix: its lock first, then the processes holding the prefix open.
#include "running_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>
#include <vector>

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

// A wineserver lives in its server folder, named after the prefix folder it serves (the name
// stays when the folder is removed under it). Where that cannot be read, the prefix folder it
// holds open tells.
bool Serves(int procFd, const struct stat& prefix) {
  char cwd[PATH_MAX];
  const ssize_t n = ::readlinkat(procFd, "cwd", cwd, sizeof cwd - 1);
  if (n > 0) {
    std::string_view dir(cwd, static_cast<std::size_t>(n));
    if (dir.ends_with(" (deleted)")) dir.remove_suffix(10);
    return dir.substr(dir.rfind('/') + 1) == ServerFolderName(prefix);
  }
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
    if (::fstatat(fdDirFd.Get(), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode) && st.st_dev == prefix.st_dev &&
        st.st_ino == prefix.st_ino)
      return true;
  }
  return false;
}

// The pids holding a process lock for writing that starts at byte 0, as a wineserver holds its
// lock for its whole life, even on a lock file removed since: few, and read in one go.
std::optional<std::vector<pid_t>> LockHolders() {
  // Read whole and split in place: every save looks, and a stream per line costs more than the
  // read itself.
  const UniqueFd fd(::open("/proc/locks", O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string text;
  char buffer[16384];
  for (ssize_t got; (got = ::read(fd.Get(), buffer, sizeof buffer)) != 0;) {
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  std::vector<pid_t> pids;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    // id type mode access pid dev:inode start end; "->" lines are waiters and have one more field.
    std::string_view fields[7];
    int n = 0;
    while (n < 7) {
      const std::size_t start = line.find_first_not_of(' ');
      if (start == std::string_view::npos) break;
      line.remove_prefix(start);
      const std::size_t end = line.find(' ');
      fields[n++] = line.substr(0, end);
      line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    }
    if (n < 7 || fields[1] != "POSIX" || fields[3] != "WRITE" || fields[6] != "0") continue;
    long pid = 0;
    const auto [end, error] = std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), pid);
    if (error == std::errc() && end == fields[4].data() + fields[4].size() && pid > 0)
      pids.push_back(static_cast<pid_t>(pid));
  }
  return pids;
}

std::optional<RunningServer> ServerAmong(DIR* proc, const char* pidName, const struct stat& prefix) {
  const UniqueFd procFd(::openat(::dirfd(proc), pidName, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat owner {};
  if (!procFd || ::fstat(procFd.Get(), &owner) != 0 || owner.st_uid != ::getuid()) return std::nullopt;
  if (!IsWineserver(procFd.Get()) || !Serves(procFd.Get(), prefix)) return std::nullopt;
  const pid_t pid = static_cast<pid_t>(std::strtol(pidName, nullptr, 10));
  return RunningServer{pid, ExeOf(pid)};
}

}  // namespace

std::optional<RunningServer> FindServerHoldingPrefix(const std::string& prefixDir) {
  struct stat prefix {};
  if (::stat(prefixDir.c_str(), &prefix) != 0) return std::nullopt;
  return FindServerHoldingPrefix(prefix);
}

std::optional<RunningServer> FindServerHoldingPrefix(const struct stat& prefix) {
  const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return std::nullopt;
  if (const std::optional<std::vector<pid_t>> holders = LockHolders()) {
    for (const pid_t pid : *holders)
      if (auto server = ServerAmong(proc.get(), std::to_string(pid).c_str(), prefix)) return server;
    return std::nullopt;
  }
  while (const dirent* entry = ::readdir(proc.get())) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    if (auto server = ServerAmong(proc.get(), entry->d_name, prefix)) return server;
  }
  return std::nullopt;
}

std::optional<RunningServer> FindRunningServer(const std::string& prefixDir) {
  for (const ServerPlace& place : ServerPlaces(prefixDir)) {
    const UniqueFd lock = OpenServerLock(place.server, /*create=*/false, O_RDONLY);
    // -1 is an open-file-description lock: a writer of ours keeping servers out.
    if (const pid_t holder = lock ? LockHolder(lock.Get()) : 0; holder > 0) return RunningServer{holder, ExeOf(holder)};
  }
  // One whose folder was removed under it, whose name file is gone, or that runs with another
  // TMPDIR holds no lock we can name; it still holds its lock and the prefix folder open.
  return FindServerHoldingPrefix(prefixDir);
}

}  // namespace vidazoz::wineprefix
