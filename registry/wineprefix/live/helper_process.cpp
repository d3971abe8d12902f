// posix_spawn of the helper under Wine, and its end.
#include "helper_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "process_spawn.h"

extern char** environ;

namespace vidazoz::live {
namespace {

bool Executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }
bool Readable(const std::string& path) { return !path.empty() && ::access(path.c_str(), R_OK) == 0; }

// This process's environment with the prefix named and Wine's debug output off.
std::vector<std::string> ChildEnvironment(const std::string& prefixDir) {
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (std::strncmp(*e, "WINEPREFIX=", 11) != 0 && std::strncmp(*e, "WINEDEBUG=", 10) != 0) env.emplace_back(*e);
  }
  env.push_back("WINEPREFIX=" + prefixDir);
  env.push_back("WINEDEBUG=-all");
  return env;
}

// $`envName`, else <bindir>/../`fromBindir` from this program's own folder, else `installed`,
// else `built`; "" when none is there.
std::string LibexecProgram(const char* envName, const std::string& fromBindir, const std::string& installed,
                           const std::string& built) {
  if (const char* test = std::getenv(envName); test != nullptr && *test != '\0') return test;
  // Installed programs find it from their own place (an install under any --prefix), then
  // where this build installs it, then in the build tree.
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string dir(self, static_cast<std::size_t>(n));
    dir.resize(dir.rfind('/') + 1);
    const std::string beside = dir + "../" + fromBindir;
    if (Readable(beside)) return beside;
  }
  if (Readable(installed)) return installed;
  return Readable(built) ? built : std::string();
}

}  // namespace

std::string HelperProgram() {
  return LibexecProgram("VIDAZOZ_LIVE_HELPER", VIDAZOZ_LIVE_HELPER_FROM_BINDIR, VIDAZOZ_LIVE_HELPER_INSTALLED,
                        VIDAZOZ_LIVE_HELPER_BUILT);
}

std::string BrokerProgram() {
  return LibexecProgram("VIDAZOZ_LIVE_BROKER", VIDAZOZ_LIVE_BROKER_FROM_BINDIR, VIDAZOZ_LIVE_BROKER_INSTALLED,
                        VIDAZOZ_LIVE_BROKER_BUILT);
}

std::string LoaderBeside(const std::string& serverExe) {
  const std::size_t slash = serverExe.rfind('/');
  if (slash == std::string::npos) return {};
  const std::string dir = serverExe.substr(0, slash + 1);
  for (const char* name : {"wine64", "wine"})
    if (Executable(dir + name)) return dir + name;
  return {};
}

std::unique_ptr<HelperProcess> HelperProcess::Start(const std::string& loader, const std::string& program,
                                                    const std::string& prefixDir) {
  if (!Executable(loader) || !Readable(program)) return nullptr;
  int toChild[2], fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0) return nullptr;
  wineprefix::UniqueFd toRead(toChild[0]), toWrite(toChild[1]);
  if (::pipe2(fromChild, O_CLOEXEC) != 0) return nullptr;
  wineprefix::UniqueFd fromRead(fromChild[0]), fromWrite(fromChild[1]);

  Spawn spawn;
  spawn.Stream(0, toRead.Get());
  spawn.Stream(1, fromWrite.Get());
  spawn.StreamFromNull(2, O_WRONLY);
  // Its own group: a Ctrl-C meant for the program does not cut a request in half.
  spawn.OwnGroup();
  std::vector<std::string> env = ChildEnvironment(prefixDir);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int err = spawn.Run({loader, program}, envp.data(), pid);
  if (err != 0) return nullptr;
  return std::make_unique<HelperProcess>(pid, Channel(std::move(toWrite), std::move(fromRead)));
}

bool HelperProcess::Exited() {
  if (pid_ < 0) return true;
  if (pid_ == 0) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == pid_ || (done < 0 && errno == ECHILD)) {
    pid_ = -1;  // reaped: nothing left to end
    return true;
  }
  return false;
}

HelperProcess::~HelperProcess() {
  channel_ = Channel(wineprefix::UniqueFd(), wineprefix::UniqueFd());
  if (pid_ <= 0) return;
  // It leaves at once on the closed pipe; one that hangs is ours to end, never left a zombie.
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace vidazoz::live
