// cRegistry over a Wine prefix's registry files: a whole file-type association (22 durable
// writes) on a fresh prefix beside 22 bare durable replacements of the same file, and listing
// a key with 10,000 sub-keys.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cRegistry.h"
#include "registry_freshness.h"
#include "wine_prefix.h"

namespace {

namespace fs = std::filesystem;
using vidazoz::Boolean;
using vidazoz::cRegistry;
using vidazoz::testing::WinePrefix;

// The registry files of a booted prefix: a copy of the tests' template, made once for the run.
const WinePrefix& Booted() {
  static const std::unique_ptr<WinePrefix> booted = WinePrefix::Booted();
  return *booted;
}

// Every verb and an icon: 11 rows, each under both class roots. False when a write failed.
bool Associate(benchmark::State& state) {
  try {
    cRegistry r;
    r.CreateEXEAssociation("C:\\Program Files\\Vidazoz\\viewer.exe", "Vidazoz.Doc", "Vidazoz document", "vzd",
                           "&Open", Boolean::True, "&Print", Boolean::True, "&New", Boolean::True, "", 0);
    return true;
  } catch (const vidazoz::Error& e) {
    state.SkipWithError(e.Description().c_str());
    return false;
  }
}

// Times whole associations, each on a new prefix seeded from `seed` (empty when null). With
// `loaded`, the process has read the prefix's system.reg before the clock starts, so what is timed
// is the association's changes alone, as in a program that has used the registry before.
void TimeAssociations(benchmark::State& state, const fs::path* seed, bool loaded = false) {
  for (auto _ : state) {
    state.PauseTiming();
    auto prefix = WinePrefix::Empty();
    if (seed != nullptr)
      for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) fs::copy_file(*seed / name, prefix->File(name));
    auto active = prefix->Activate();
    // The process lets go of the last iteration's prefix, and frees its tree, when a call first
    // names the new one; that belongs to no association, so it happens before the clock starts.
    benchmark::DoNotOptimize(vidazoz::StaleRegistryWarning());
    if (loaded) {
      cRegistry reader;
      reader.ClassKey(vidazoz::kHKEY_LOCAL_MACHINE);
      reader.SectionKey("SOFTWARE\\Classes");
      // Listing loads the file's tree (an existence check can be answered without it).
      vidazoz::NameList names;
      std::int32_t count = 0;
      reader.EnumerateSections(names, count);
      if (count == 0) {
        state.SkipWithError("the booted prefix has no SOFTWARE\\Classes");
        break;
      }
    }
    state.ResumeTiming();
    if (!Associate(state)) break;
    state.PauseTiming();
    active.reset();
    prefix.reset();
    state.ResumeTiming();
  }
  state.counters["writes"] = 22;
}

void BM_CreateEXEAssociation_EmptyPrefix(benchmark::State& state) { TimeAssociations(state, nullptr); }
BENCHMARK(BM_CreateEXEAssociation_EmptyPrefix)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CreateEXEAssociation_BootedPrefix(benchmark::State& state) { TimeAssociations(state, &Booted().Path()); }
BENCHMARK(BM_CreateEXEAssociation_BootedPrefix)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CreateEXEAssociation_BootedPrefixAlreadyRead(benchmark::State& state) {
  TimeAssociations(state, &Booted().Path(), true);
}
BENCHMARK(BM_CreateEXEAssociation_BootedPrefixAlreadyRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor under the association's writes, measured in the same run: as many bare durable
// replacements (write, fsync, rename, folder fsync) of the file they change, system.reg (both
// class roots live in it).
void ReplaceDurably(const fs::path& dir, const std::string& name, const std::string& text) {
  const std::string temp = (dir / ("." + name + ".bench")).string();
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  ok = ok && std::rename(temp.c_str(), (dir / name).c_str()) == 0;
  const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ok = ok && folder >= 0 && ::fsync(folder) == 0;
  if (folder >= 0) ::close(folder);
  if (!ok) throw std::runtime_error("bare replacement failed");
}

void BM_BareDurableReplacement_BootedPrefix(benchmark::State& state) {
  std::ifstream in(Booted().File("system.reg"), std::ios::binary);
  const std::string system(std::istreambuf_iterator<char>(in), {});
  const auto prefix = WinePrefix::Empty();
  for (auto _ : state)
    for (int i = 0; i < 22; ++i) ReplaceDurably(prefix->Path(), "system.reg", system);
  state.counters["writes"] = 22;
}
BENCHMARK(BM_BareDurableReplacement_BootedPrefix)->Unit(benchmark::kMillisecond)->UseRealTime();

// A system.reg holding Software\VidazozBench with `count` empty sub-keys, in Wine's format.
void WriteManySubKeys(const fs::path& prefix, int count) {
  std::ofstream out(prefix / "system.reg", std::ios::binary);
  out << "WINE REGISTRY Version 2\n;; All keys relative to \\\\REGISTRY\\\\Machine\n\n#arch=win32\n";
  char name[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "Key%05d", i);
    out << "\n[Software\\\\VidazozBench\\\\" << name << "] 1700000000\n#time=1da1b5e5c3a0000\n";
  }
}

void BM_EnumerateSections_10000SubKeys(benchmark::State& state) {
  const auto prefix = WinePrefix::Empty();
  const auto active = prefix->Activate();
  WriteManySubKeys(prefix->Path(), 10000);
  cRegistry r;
  r.ClassKey(vidazoz::kHKEY_LOCAL_MACHINE);
  r.SectionKey("Software\\VidazozBench");
  vidazoz::NameList names;
  std::int32_t count = 0;
  for (auto _ : state) {
    r.EnumerateSections(names, count);
    benchmark::DoNotOptimize(names);
  }
  if (count != 10000) state.SkipWithError(("listed " + std::to_string(count) + " sub-keys").c_str());
  state.counters["subkeys"] = count;
}
BENCHMARK(BM_EnumerateSections_10000SubKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
