// A real wineserver of the installed Wine serving a test's prefix, and private mount namespaces
// that choose which of Debian's server folders it uses (/run/user/<uid> present or not).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "server_folders.h"  // RemoveServerFolders, for the tests that stop a server

namespace vidazoz::testing {

// Whether /run/user/<uid> exists decides where Debian's Wine puts its server folder. Missing
// and Present give the child an empty private /run/user, with or without /run/user/<uid>.
enum class RunUser { AsIs, Missing, Present };

// The exit status InRunUser gives when this machine cannot make a private mount namespace.
inline constexpr int kNoNamespace = 97;

// Runs `body` in a child process, in its own mount namespace when `runUser` asks for one, and
// returns the child's exit status: body's result, kNoNamespace, 98 when it threw, or 99 when it
// crashed. Whatever the child mounted disappears with it.
int InRunUser(RunUser runUser, const std::function<int()>& body);

class LiveWine {
 public:
  using Env = std::vector<std::pair<std::string, std::string>>;

  // Whether the installed Wine has a wineserver to run.
  static bool Installed();

  // A server for `prefix` (an existing folder), run with `env` added to this process's
  // environment and WINEPREFIX set; it is not started yet.
  explicit LiveWine(std::filesystem::path prefix, Env env = {});
  LiveWine(const LiveWine&) = delete;
  LiveWine& operator=(const LiveWine&) = delete;
  ~LiveWine();

  // Starts `wineserver -f -p` (foreground, staying without clients). True once it serves (its
  // registry loaded, waiting for requests); false when it exited first, e.g. with status 2
  // because its lock was held.
  bool Start(std::chrono::milliseconds deadline = std::chrono::seconds(15));
  pid_t Pid() const { return pid_; }
  // The exit status once it exited (-1 before; 128+signal when killed).
  int ExitStatus() const { return exitStatus_; }
  bool Running();
  // The server folder it runs in, from its own open files ("" until it serves).
  const std::filesystem::path& ServerDir() const { return serverDir_; }

  // `wineserver -k` for this prefix only, which saves and exits; SIGINT to its pid (the same
  // signal) when -k cannot reach it, e.g. because its folder was removed. Waits for the exit,
  // then removes the server folder and a Debian base folder left empty.
  void Stop();

 private:
  bool Reap(bool wait);
  Env FullEnv() const;

  std::filesystem::path prefix_;
  Env env_;
  pid_t pid_ = 0;
  int exitStatus_ = -1;
  std::filesystem::path serverDir_;
};

}  // namespace vidazoz::testing
