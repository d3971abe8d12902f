#include "posix_services.h"

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

// The opener runs as a grandchild: the intermediate child exits as soon as the opener has been
// exec'd, so the window waits only for that and no zombie is left behind for the opener.
void StartDetached(const std::string& program, const std::string& argument) {
  const pid_t middle = fork();
  if (middle < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (middle == 0) {
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
    pid_t opener = 0;
    _exit(posix_spawnp(&opener, program.c_str(), nullptr, nullptr, argv, environ) == 0 ? 0 : kSpawnFailed);
  }
  int status = 0;
  while (waitpid(middle, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cannot start " + program);
}

}  // namespace

std::intptr_t PosixServices::ShellExecuteA(runtime::WindowHandle, const std::string&, const std::string& file,
                                           const std::string&, const std::string&, int) {
  StartDetached("xdg-open", file);
  return kShellSuccess;
}

std::unique_ptr<SystemServices> MakePlatformServices() { return std::make_unique<PosixServices>(); }

}  // namespace vidazoz::system
