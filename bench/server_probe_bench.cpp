// What looking for a prefix's wineserver costs when none runs, as a reader would ask before
// trusting the files: the lock probes in every server folder, then the kernel's lock list.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "running_server.h"
#include "server_folders.h"
#include "wineserver_probe.h"

namespace {

namespace fs = std::filesystem;

// A prefix our writers have used: its name file and lock files exist, as after any write.
class UsedPrefix {
 public:
  UsedPrefix() {
    char pattern[] = "/tmp/vidazoz-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    vidazoz::wineprefix::WineserverExclusion exclusion;
    if (exclusion.Acquire(root_.string()) != 0) throw std::runtime_error("cannot take the server locks");
  }
  ~UsedPrefix() {
    vidazoz::testing::RemoveServerFoldersOf(root_.string());
    fs::remove_all(root_);
  }
  std::string Path() const { return root_.string(); }

 private:
  fs::path root_;
};

void BM_FindRunningServer_NoneRuns(benchmark::State& state) {
  const UsedPrefix prefix;
  for (auto _ : state) {
    if (vidazoz::wineprefix::FindRunningServer(prefix.Path())) state.SkipWithError("a server runs for it");
  }
}
BENCHMARK(BM_FindRunningServer_NoneRuns);

// The part that needs no server folder: the kernel's lock list and the few processes in it.
void BM_FindServerHoldingPrefix_NoneRuns(benchmark::State& state) {
  const UsedPrefix prefix;
  for (auto _ : state) {
    if (vidazoz::wineprefix::FindServerHoldingPrefix(prefix.Path())) state.SkipWithError("a server runs for it");
  }
}
BENCHMARK(BM_FindServerHoldingPrefix_NoneRuns);

}  // namespace
