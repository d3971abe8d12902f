// What looking for a prefix's wineserver costs when none runs, as a reader would ask before
// trusting the files: the lock probes in every server folder, then the kernel's lock list.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "running_server.h"
#include "wine_prefix.h"
#include "wineserver_probe.h"

namespace {

// A prefix our writers have used: its name file and lock files exist, as after any write. The
// shared test prefix removes those server folders with it.
class UsedPrefix {
 public:
  UsedPrefix() {
    vidazoz::wineprefix::WineserverExclusion exclusion;
    if (exclusion.Acquire(Path()) != 0) throw std::runtime_error("cannot take the server locks");
  }
  std::string Path() const { return prefix_->Path().string(); }

 private:
  std::unique_ptr<vidazoz::testing::WinePrefix> prefix_ = vidazoz::testing::WinePrefix::Empty();
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
