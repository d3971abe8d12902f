// Where a test's registry lives; the one part of a registry fixture that differs by platform.
//
// Linux: a fresh Wine prefix (booted, or without any registry files) that this process's
// registry layer points at, with HOME beside it; the whole prefix goes away afterwards.
// Windows (the cross-built tests run under wine64, each run in a prefix of its own): the
// process's real registry. The scratch keys are removed on entry and on exit, so the cases of
// one run cannot see each other's keys.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "wine_prefix.h"

namespace vidazoz::testing {

class SandboxPlatform {
 public:
  enum class Start { Empty, Booted };

  // scratchKeys in `reg` notation, e.g. "HKCU\\Software\\VidazozTest".
  explicit SandboxPlatform(Start start, std::vector<std::string> scratchKeys);
  SandboxPlatform(const SandboxPlatform&) = delete;
  SandboxPlatform& operator=(const SandboxPlatform&) = delete;
  ~SandboxPlatform();

  // Wine's `reg` tool on this registry (reg.exe on Windows): an independent way to seed and
  // inspect what the code under test sees. Arguments as `reg` takes them.
  CommandResult Reg(const std::vector<std::string>& args) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vidazoz::testing
