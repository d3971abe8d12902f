// Starting a program with posix_spawn, its attribute and file-action objects held for the call.
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace vidazoz::live {

class Spawn {
 public:
  // The child starts with every signal unblocked, whatever the caller blocks.
  Spawn();
  ~Spawn();
  Spawn(const Spawn&) = delete;
  Spawn& operator=(const Spawn&) = delete;

  void Stream(int target, int from) { posix_spawn_file_actions_adddup2(&actions_, from, target); }
  void StreamFromNull(int target, int flags) { posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", flags, 0); }
  // A process group of its own: a Ctrl-C meant for the caller does not reach it.
  void OwnGroup();
  // Runs `args` (args[0] is the program); envp null for this process's environment. 0 and pid
  // set, or an errno.
  int Run(std::vector<std::string> args, char* const* envp, pid_t& pid);

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
  short flags_ = POSIX_SPAWN_SETSIGMASK;
};

}  // namespace vidazoz::live
