// Wine prefixes for tests: each test gets its own, in a temporary folder, and the wineserver
// that any Wine command started for it is stopped when the prefix goes away.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace vidazoz::testing {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr, interleaved
};

// Runs a program (searched on PATH) without a shell, with extra environment entries.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env = {});

class WinePrefix {
 public:
  // A copy of a prefix made by `wineboot -i`. The first call in a build makes the template
  // (about 12 s) under the build's test cache; later calls, in any process, copy it.
  static std::unique_ptr<WinePrefix> Booted();
  // A folder with no registry files at all.
  static std::unique_ptr<WinePrefix> Empty();

  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;
  ~WinePrefix();

  const std::filesystem::path& Path() const { return prefix_; }
  std::filesystem::path File(const std::string& name) const { return prefix_ / name; }

  // `wine reg <args>` in this prefix; waits until its wineserver has saved and exited.
  CommandResult Reg(const std::vector<std::string>& args) const;
  // Any Wine program (e.g. {"wine64", "prog.exe"}); waits for the wineserver likewise.
  CommandResult Wine(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& extraEnv = {}) const;
  // The environment a Wine command for this prefix runs with.
  std::vector<std::pair<std::string, std::string>> Environment() const;
  // Stops this prefix's wineserver, if one runs.
  void StopServer() const;

  // Points this process's registry layer at the prefix until the returned object goes away.
  std::unique_ptr<ScopedEnv> Activate() const;

 private:
  WinePrefix();
  TempDir dir_;
  std::filesystem::path prefix_;
};

}  // namespace vidazoz::testing
