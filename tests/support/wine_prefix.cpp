#include "wine_prefix.h"

#include "live_wine.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace vidazoz::testing {
namespace fs = std::filesystem;

namespace {

fs::path TestCacheDir() {
  if (const char* dir = std::getenv("VIDAZOZ_TEST_CACHE")) return dir;
#ifdef VIDAZOZ_TEST_CACHE_DIR
  return VIDAZOZ_TEST_CACHE_DIR;
#else
  return fs::temp_directory_path() / "vidazoz-test-cache";
#endif
}

class FileLock {
 public:
  explicit FileLock(const fs::path& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path.string());
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

std::vector<std::pair<std::string, std::string>> WineEnv(const fs::path& prefix, const fs::path& home) {
  return {{"WINEPREFIX", prefix.string()},
          {"HOME", home.string()},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"DISPLAY", ""}};
}

void CopyTree(const fs::path& from, const fs::path& to) {
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

// Makes the template once per cache folder, under a lock shared by all test processes.
fs::path BootedTemplate() {
  const fs::path cache = TestCacheDir();
  fs::create_directories(cache);
  const fs::path done = cache / "wine-template";
  FileLock lock(cache / "wine-template.lock");
  if (fs::exists(done / "system.reg")) return done;

  TempDir work("vidazoz-wineboot");
  const fs::path prefix = work.Path() / "prefix";
  const auto env = WineEnv(prefix, work.Path());
  const CommandResult boot = RunCommand({"wineboot", "-i"}, env);
  RunCommand({"wineserver", "-w"}, env);
  if (!fs::exists(prefix / "system.reg"))
    throw std::runtime_error("wineboot -i made no registry: " + boot.output);
  fs::remove_all(done);
  const fs::path staging = cache / "wine-template.staging";
  fs::remove_all(staging);
  CopyTree(prefix, staging);
  fs::rename(staging, done);
  return done;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env) {
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& [k, v] : env) overridden = overridden || k == name;
    if (!overridden) envStrings.push_back(entry);
  }
  for (const auto& [k, v] : env)
    if (!(k == "DISPLAY" && v.empty())) envStrings.push_back(k + "=" + v);

  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::array<int, 2> pipeFds{};
  if (pipe2(pipeFds.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  CommandResult result;
  if (rc != 0) {
    close(pipeFds[0]);
    result.output = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
    return result;
  }
  // A daemon the command starts (wineserver -p) inherits the pipe and keeps it open, so the
  // end of the output is the child's exit, not end-of-file.
  char buffer[4096];
  int status = 0;
  bool exited = false;
  for (;;) {
    pollfd pfd{pipeFds[0], POLLIN, 0};
    const int ready = poll(&pfd, 1, exited ? 0 : 50);
    if (ready > 0 && (pfd.revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
      if (n > 0) {
        result.output.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0 && exited) break;
      if (n == 0) {  // end of file: only the exit is left to wait for
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        exited = true;
        break;
      }
      if (errno == EINTR) continue;
    }
    if (exited) break;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) exited = true;  // drain what is already buffered, then stop
  }
  close(pipeFds[0]);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

WinePrefix::WinePrefix() : dir_("vidazoz-prefix"), prefix_(dir_.Path() / "prefix") {}

std::unique_ptr<WinePrefix> WinePrefix::Booted() {
  const fs::path templ = BootedTemplate();
  std::unique_ptr<WinePrefix> p(new WinePrefix());
  // drive_c is large and Wine only reads it: hard links make the copy cheap. The files Wine
  // rewrites are real copies (it writes in place through a file with more than one link).
  // Across filesystems (a temp folder elsewhere than the build) links cannot be made: copy.
  std::error_code linking;
  fs::copy(templ, p->prefix_,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks | fs::copy_options::create_hard_links,
           linking);
  if (linking) {
    fs::remove_all(p->prefix_);
    fs::copy(templ, p->prefix_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  for (const char* name : {"system.reg", "user.reg", "userdef.reg", "wineserver", ".update-timestamp"}) {
    const fs::path file = p->prefix_ / name;
    if (!fs::exists(file)) continue;
    fs::remove(file);
    fs::copy_file(templ / name, file);
  }
  return p;
}

std::unique_ptr<WinePrefix> WinePrefix::Empty() {
  std::unique_ptr<WinePrefix> p(new WinePrefix());
  fs::create_directories(p->prefix_);
  return p;
}

// Then the folder goes, with the server folders, which now hold nothing but the lock.
WinePrefix::~WinePrefix() { StopServer(); }

std::vector<std::pair<std::string, std::string>> WinePrefix::Environment() const {
  return WineEnv(prefix_, dir_.Path());
}

CommandResult WinePrefix::Reg(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"wine", "reg"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Wine(argv);
}

CommandResult WinePrefix::Wine(const std::vector<std::string>& argv,
                               const std::vector<std::pair<std::string, std::string>>& extraEnv) const {
  auto env = Environment();
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  // On a loaded machine Wine's launcher now and then fails to start the program at all (start.exe
  // reports it); nothing ran, so running it again is what a person would do.
  CommandResult r;
  for (int attempt = 0; attempt < 3; ++attempt) {
    r = RunCommand(argv, env);
    RunCommand({"wineserver", "-w"}, env);
    if (r.output.find("ShellExecuteEx failed") == std::string::npos) break;
  }
  return r;
}

void WinePrefix::StopServer() const {
  // Only a prefix that Wine has touched can have a server; -k on an untouched one is harmless.
  if (fs::exists(prefix_ / "system.reg") || fs::exists(prefix_ / "wineserver"))
    RunCommand({"wineserver", "-k"}, Environment());
}

std::unique_ptr<ScopedEnv> WinePrefix::Activate() const {
  return std::make_unique<ScopedEnv>("WINEPREFIX", prefix_.string());
}

}  // namespace vidazoz::testing
