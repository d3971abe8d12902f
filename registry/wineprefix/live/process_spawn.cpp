#include "process_spawn.h"

#include <signal.h>

#include <cerrno>

extern char** environ;

namespace vidazoz::live {

Spawn::Spawn() {
  posix_spawn_file_actions_init(&actions_);
  posix_spawnattr_init(&attr_);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr_, &none);
}

Spawn::~Spawn() {
  posix_spawn_file_actions_destroy(&actions_);
  posix_spawnattr_destroy(&attr_);
}

void Spawn::OwnGroup() {
  posix_spawnattr_setpgroup(&attr_, 0);
  flags_ |= POSIX_SPAWN_SETPGROUP;
}

int Spawn::Run(std::vector<std::string> args, char* const* envp, pid_t& pid) {
  if (args.empty()) return EINVAL;
  posix_spawnattr_setflags(&attr_, flags_);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return ::posix_spawn(&pid, argv[0], &actions_, &attr_, argv.data(), envp != nullptr ? envp : environ);
}

}  // namespace vidazoz::live
