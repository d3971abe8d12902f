#include "posix_services.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

extern char** environ;

namespace vidazoz::system {
namespace {

constexpr int kSpawnFailed = 127;
constexpr std::intptr_t kShellSuccess = 42;  // any value above 32 means success to callers

// Closes a descriptor when it goes out of scope.
struct OwnedFd {
  int fd = -1;
  OwnedFd() = default;
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  ~OwnedFd() { Close(); }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// The opener runs as a grandchild: the intermediate child exits as soon as the opener has been
// exec'd, so the window waits only for that and no zombie is left behind for the opener. The
// intermediate child tells through a pipe whether the opener started: its exit status is lost
// when the program ignores SIGCHLD (the kernel reaps it and waitpid fails with ECHILD).
void StartDetached(const std::string& program, const std::string& argument) {
  OwnedFd readEnd, writeEnd;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  readEnd.fd = ends[0];
  writeEnd.fd = ends[1];
  const pid_t middle = fork();
  if (middle < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (middle == 0) {
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
    pid_t opener = 0;
    const char started = posix_spawnp(&opener, program.c_str(), nullptr, nullptr, argv, environ) == 0 ? 1 : 0;
    const bool told = ::write(ends[1], &started, 1) == 1;
    _exit(started && told ? 0 : kSpawnFailed);
  }
  writeEnd.Close();
  char started = 0;
  ssize_t n = 0;
  while ((n = ::read(readEnd.fd, &started, 1)) < 0 && errno == EINTR) {
  }
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  if (n != 1 || started != 1) throw std::runtime_error("cannot start " + program);
}

}  // namespace

std::intptr_t PosixServices::ShellExecuteA(runtime::WindowHandle, const std::string&, const std::string& file,
                                           const std::string&, const std::string&, int) {
  StartDetached("xdg-open", file);
  return kShellSuccess;
}

std::unique_ptr<SystemServices> MakePlatformServices() { return std::make_unique<PosixServices>(); }

}  // namespace vidazoz::system
