// Runs the installed wineserver for a test prefix and stops it by its own means, never by name.
#include "live_wine.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "wine_prefix.h"
#include "server_folders.h"

extern char** environ;

namespace vidazoz::testing {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool WriteFile(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// A mount namespace of our own; as an unprivileged user, inside a user namespace that maps
// only our own ids (so files stay ours and getuid() is unchanged).
bool PrivateMounts() {
  if (::unshare(CLONE_NEWNS) == 0) return true;
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  WriteFile("/proc/self/setgroups", "deny");
  return WriteFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") &&
         WriteFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
}

bool EnterRunUser(RunUser runUser) {
  if (runUser == RunUser::AsIs) return true;
  if (!PrivateMounts() || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  // Without a /run/user to cover, a fresh /run holds our own.
  const char* cover = fs::is_directory("/run/user") ? "/run/user" : "/run";
  if (::mount("tmpfs", cover, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) return false;
  if (::mkdir("/run/user", 0755) != 0 && errno != EEXIST) return false;
  const std::string mine = "/run/user/" + std::to_string(::getuid());
  return runUser == RunUser::Missing || ::mkdir(mine.c_str(), 0700) == 0;
}

std::vector<std::string> EnvStrings(const LiveWine::Env& extra) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& [k, v] : extra) overridden = overridden || k == name;
    if (!overridden) out.push_back(entry);
  }
  for (const auto& [k, v] : extra) out.push_back(k + "=" + v);
  return out;
}

// Serving: the lock taken, the registry loaded, and the main loop waiting for requests.
bool Serving(pid_t pid, fs::path& serverDir) {
  const fs::path proc = "/proc/" + std::to_string(pid);
  std::ifstream syscall(proc / "syscall");
  long number = -1;
  if (!(syscall >> number) || (number != 232 && number != 281 && number != 441)) return false;  // epoll waits
  std::error_code ec;
  for (fs::directory_iterator it(proc / "fd", ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path target = fs::read_symlink(it->path(), ec);
    if (!ec && target.filename() == "lock" && target.parent_path().filename().string().rfind("server-", 0) == 0) {
      serverDir = target.parent_path();
      return true;
    }
  }
  return false;
}

}  // namespace

int InRunUser(RunUser runUser, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Nothing may leave the child but its status: an exception reaching the test framework
    // there would go on to run the parent's remaining tests, twice.
    int result = 98;
    try {
      result = EnterRunUser(runUser) ? body() : kNoNamespace;
    } catch (...) {
    }
    std::fflush(nullptr);
    ::_exit(result);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

bool LiveWine::Installed() { return RunCommand({"sh", "-c", "command -v wineserver"}).exitCode == 0; }

LiveWine::LiveWine(fs::path prefix, Env env) : prefix_(std::move(prefix)), env_(std::move(env)) {}

LiveWine::~LiveWine() { Stop(); }

LiveWine::Env LiveWine::FullEnv() const {
  Env env = env_;
  env.emplace_back("WINEPREFIX", prefix_.string());
  env.emplace_back("WINEDEBUG", "-all");
  return env;
}

bool LiveWine::Start(std::chrono::milliseconds deadline) {
  std::vector<std::string> envStrings = EnvStrings(FullEnv());
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  const char* argv[] = {"wineserver", "-f", "-p", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  exitStatus_ = -1;
  serverDir_.clear();
  const int rc = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = 0;
    return false;
  }
  const auto until = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < until) {
    if (Reap(/*wait=*/false)) return false;
    if (Serving(pid_, serverDir_)) return true;
    std::this_thread::sleep_for(5ms);
  }
  Stop();
  return false;
}

bool LiveWine::Reap(bool wait) {
  if (pid_ == 0) return true;
  int status = 0;
  pid_t done;
  while ((done = ::waitpid(pid_, &status, wait ? 0 : WNOHANG)) < 0 && errno == EINTR) {
  }
  if (done != pid_) return false;
  exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid_ = 0;
  return true;
}

bool LiveWine::Running() { return !Reap(/*wait=*/false); }

void LiveWine::Stop() {
  if (Running()) {
    const bool reached = RunCommand({"wineserver", "-k"}, FullEnv()).exitCode == 0;
    auto waitFor = [&](std::chrono::milliseconds limit) {
      const auto until = std::chrono::steady_clock::now() + limit;
      while (Running() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
      return !Running();
    };
    if (!waitFor(reached ? 5s : 0s)) {
      ::kill(pid_, SIGINT);
      if (!waitFor(15s)) {
        ::kill(pid_, SIGKILL);
        Reap(/*wait=*/true);
      }
    }
  }
  if (serverDir_.empty()) return;
  std::error_code ec;
  fs::remove_all(serverDir_, ec);
  // Debian's base folder is the prefix's own (named in its name file); upstream's and
  // /run/user/<uid>/wine are shared by every prefix and stay.
  const fs::path base = serverDir_.parent_path();
  if (base.filename().string().rfind("wine-", 0) == 0) fs::remove(base, ec);  // only when empty
  serverDir_.clear();
}

}  // namespace vidazoz::testing
