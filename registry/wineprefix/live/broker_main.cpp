// vidazoz-live-broker <prefix> <server folder> <server pid> <wine loader> <helper>: starts the
// helper for that server, listens in the server's folder, and leaves the foreground process
// with 0 once it listens, 2 when another broker holds the folder, 1 when it cannot serve.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker.h"
#include "broker_link.h"
#include "live_prefix.h"
#include "running_server.h"

using namespace vidazoz;
using namespace vidazoz::live;
using wineprefix::UniqueFd;

namespace {

enum Outcome : char { kServing = 0, kFailed = 1, kBusy = 2 };

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The broker's lock in the server folder, held for its whole life: one broker per server. A
// lock file removed by a broker that was leaving is taken again from the new file.
UniqueFd TakeLock(const std::string& path, Outcome& why) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) break;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
      why = errno == EWOULDBLOCK ? kBusy : kFailed;
      return {};
    }
    struct stat held {}, named {};
    if (::fstat(fd.Get(), &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::getuid() &&
        ::lstat(path.c_str(), &named) == 0 && SameFile(held, named))
      return fd;
  }
  why = kFailed;
  return {};
}

// A socket left by a broker that died is removed; one that answers means a broker serves.
Outcome ClearSocket(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? kServing : kFailed;
  if (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid()) return kFailed;  // not ours to remove
  UniqueFd probe;
  switch (ConnectBroker(path, probe)) {
    case BrokerReach::Connected: return kBusy;
    case BrokerReach::Refused: return kFailed;
    case BrokerReach::Absent: break;
  }
  return ::unlink(path.c_str()) == 0 || errno == ENOENT ? kServing : kFailed;
}

UniqueFd Listen(const std::string& path, struct stat& bound) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return {};
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
  if (::lstat(path.c_str(), &bound) != 0 || ::listen(fd.Get(), 64) != 0) {
    ::unlink(path.c_str());
    return {};
  }
  return fd;
}

void Report(int fd, Outcome outcome) {
  const char byte = static_cast<char>(outcome);
  while (::write(fd, &byte, 1) < 0 && errno == EINTR) {
  }
  ::close(fd);
}

// Everything after the fork: the outcome goes to `report` as soon as it is known.
int Serve(const std::string& prefixDir, const std::string& serverDir, pid_t server, const std::string& loader,
          const std::string& helperProgram, int report) {
  ::setsid();
  const std::string socketPath = BrokerSocketPath(serverDir);
  const std::string lockPath = serverDir + "/" + kBrokerLockName;
  struct stat folder {};
  if (socketPath.empty() || ::lstat(serverDir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
      folder.st_uid != ::getuid() || (folder.st_mode & 077) != 0) {
    Report(report, kFailed);
    return 1;
  }
  Outcome why = kFailed;
  const UniqueFd lock = TakeLock(lockPath, why);
  if (!lock) {
    Report(report, why);
    return 1;
  }
  // Looked at right before Wine starts: a Wine program started where no server runs starts one.
  const std::optional<wineprefix::RunningServer> now = wineprefix::FindRunningServer(prefixDir);
  if (!now || now->pid != server || (why = ClearSocket(socketPath)) != kServing) {
    ::unlink(lockPath.c_str());
    Report(report, now && now->pid == server ? why : kFailed);
    return 1;
  }
  std::unique_ptr<HelperProcess> helper = HelperProcess::Start(loader, helperProgram, prefixDir);
  std::vector<std::uint8_t> reply;
  const LONG hello = helper ? helper->Link().Call(Kind::Hello, {}, LivePrefix::kStartDeadline, reply) : ERROR_REGISTRY_IO_FAILED;
  struct stat bound {};
  UniqueFd listener = hello == ERROR_SUCCESS ? Listen(socketPath, bound) : UniqueFd();
  if (!listener) {
    ::unlink(lockPath.c_str());
    Report(report, kFailed);
    return 1;
  }
  Report(report, kServing);
  Broker(std::move(helper), static_cast<std::uint32_t>(hello), std::move(listener), prefixDir, server).Run();
  // Only what is still ours: a socket or lock someone put in their place stays.
  struct stat named {};
  if (::lstat(socketPath.c_str(), &named) == 0 && SameFile(named, bound)) ::unlink(socketPath.c_str());
  ::unlink(lockPath.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return kFailed;
  // Nothing our parent left open stays open here: a lock it held would live as long as we do.
  ::close_range(3, ~0u, 0);
  ::umask(077);  // the socket is made 0700 by bind
  const std::string prefixDir = argv[1], serverDir = argv[2], loader = argv[4], helper = argv[5];
  char* end = nullptr;
  const long server = std::strtol(argv[3], &end, 10);
  if (*end != '\0' || server <= 0) return kFailed;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return kFailed;
  const pid_t child = ::fork();
  if (child < 0) return kFailed;
  if (child == 0) {
    ::close(pipeFds[0]);
    ::_exit(Serve(prefixDir, serverDir, static_cast<pid_t>(server), loader, helper, pipeFds[1]));
  }
  ::close(pipeFds[1]);
  char outcome = kFailed;
  ssize_t n;
  while ((n = ::read(pipeFds[0], &outcome, 1)) < 0 && errno == EINTR) {
  }
  return n == 1 ? outcome : static_cast<char>(kFailed);
}
