// Finding, checking and starting the broker of a running server.
#include "broker_link.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "server_lock.h"
#include "server_places.h"
#include "process_spawn.h"

namespace vidazoz::live {
namespace {

bool OursAndClosed(const struct stat& st) { return st.st_uid == ::getuid() && (st.st_mode & 077) == 0; }

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

std::string ServerFolderOf(const std::string& prefixDir, pid_t server) {
  for (const wineprefix::ServerPlace& place : wineprefix::ServerPlaces(prefixDir)) {
    const wineprefix::UniqueFd lock = wineprefix::OpenServerLock(place.server, /*create=*/false, O_RDONLY);
    if (lock && wineprefix::LockHolder(lock.Get()) == server) return place.server;
  }
  return {};
}

std::string BrokerSocketPath(const std::string& serverDir) {
  const std::string path = serverDir + "/" + kBrokerSocketName;
  return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

bool PeerIsUs(int socketFd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
         peer.uid == ::getuid();
}

BrokerReach ConnectBroker(const std::string& socketPath, wineprefix::UniqueFd& out) {
  if (socketPath.empty()) return BrokerReach::Refused;
  struct stat folder {}, socketFile {};
  if (::lstat(FolderOf(socketPath).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) || !OursAndClosed(folder))
    return BrokerReach::Refused;
  if (::lstat(socketPath.c_str(), &socketFile) != 0) return errno == ENOENT ? BrokerReach::Absent : BrokerReach::Refused;
  if (!S_ISSOCK(socketFile.st_mode) || !OursAndClosed(socketFile)) return BrokerReach::Refused;
  wineprefix::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return BrokerReach::Refused;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  int rc;
  while ((rc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address)) != 0 && errno == EINTR) {
  }
  // A socket nobody listens on is what a broker that died leaves.
  if (rc != 0) return errno == ECONNREFUSED || errno == ENOENT ? BrokerReach::Absent : BrokerReach::Refused;
  if (!PeerIsUs(fd.Get())) return BrokerReach::Refused;
  out = std::move(fd);
  return BrokerReach::Connected;
}

BrokerStart StartBroker(const std::string& broker, const std::string& prefixDir, const std::string& serverDir,
                        pid_t server, const std::string& loader, const std::string& helper) {
  if (broker.empty() || ::access(broker.c_str(), X_OK) != 0) return BrokerStart::Failed;
  Spawn spawn;
  for (int fd = 0; fd < 3; ++fd) spawn.StreamFromNull(fd, fd == 0 ? O_RDONLY : O_WRONLY);
  pid_t pid = 0;
  if (spawn.Run({broker, prefixDir, serverDir, std::to_string(server), loader, helper}, nullptr, pid) != 0)
    return BrokerStart::Failed;
  // The program forks the broker off and exits once it listens (0), found one starting (2),
  // or failed: a short wait, bounded by the helper's own start deadline inside it.
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return BrokerStart::Failed;
  return WEXITSTATUS(status) == 0 ? BrokerStart::Serving : WEXITSTATUS(status) == 2 ? BrokerStart::Busy : BrokerStart::Failed;
}

std::unique_ptr<HelperProcess> OpenBroker(const std::string& prefixDir, pid_t server, const std::string& loader,
                                          const std::string& helper) {
  const std::string program = BrokerProgram();
  if (program.empty()) return nullptr;
  const std::string serverDir = ServerFolderOf(prefixDir, server);
  if (serverDir.empty()) return nullptr;
  const std::string socketPath = BrokerSocketPath(serverDir);
  wineprefix::UniqueFd fd;
  BrokerReach reach = ConnectBroker(socketPath, fd);
  if (reach == BrokerReach::Absent) {
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(prefixDir, ec).string();
    if (ec) return nullptr;
    const BrokerStart start = StartBroker(program, absolute, serverDir, server, loader, helper);
    if (start == BrokerStart::Failed) return nullptr;
    // Another process's broker is starting its helper: it listens within a helper's start.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while ((reach = ConnectBroker(socketPath, fd)) == BrokerReach::Absent && start == BrokerStart::Busy &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (reach != BrokerReach::Connected) return nullptr;
  wineprefix::UniqueFd writeEnd(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 0));
  if (!writeEnd) return nullptr;
  return std::make_unique<HelperProcess>(0, Channel(std::move(writeEnd), std::move(fd)));
}

}  // namespace vidazoz::live
