// Registry reads through cRegistry over a real Wine prefix's files.
// The prefix: $VIDAZOZ_BENCH_PREFIX, else the tests' booted template, else `wineboot -i` now.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "advapi32.h"
#include "cRegistry.h"
#include "wow64_process.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class BenchPrefixes {
 public:
  BenchPrefixes() {
    char pattern[] = "/tmp/vidazoz-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    const fs::path source = Source();
    for (const char* copy : {"a", "b", "written"}) {
      fs::create_directories(root_ / copy);
      for (const char* name : {"system.reg", "user.reg", "userdef.reg"})
        if (fs::exists(source / name)) fs::copy_file(source / name, root_ / copy / name);
    }
  }
  ~BenchPrefixes() { fs::remove_all(root_); }
  fs::path A() const { return root_ / "a"; }
  fs::path B() const { return root_ / "b"; }
  // Kept apart: a prefix our writers have used is read differently (see AfterAWrite).
  fs::path Written() const { return root_ / "written"; }

 private:
  fs::path Source() {
    if (const char* given = std::getenv("VIDAZOZ_BENCH_PREFIX")) return given;
    // build/bench/registry_bench -> build/test-cache/wine-template, made by the Wine tests.
    const fs::path cached = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "test-cache/wine-template";
    if (fs::exists(cached / "system.reg")) return cached;
    const fs::path booted = root_ / "booted";
    // Never the real ~/.wine: Wine runs with a private HOME and prefix.
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEPREFIX", booted.c_str(), 1);
    setenv("HOME", root_.c_str(), 1);
    const char* const commands[][3] = {{"wineboot", "-i", nullptr}, {"wineserver", "-w", nullptr}};
    for (const auto& argv : commands) {
      pid_t pid = 0;
      if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
        waitpid(pid, nullptr, 0);
    }
    return booted;
  }
  fs::path root_;
};

BenchPrefixes& Prefixes() {
  static BenchPrefixes prefixes;
  return prefixes;
}

void KeyExistsWarm(benchmark::State& state, const char* path, bool wow64 = false,
                   const fs::path& prefix = Prefixes().A()) {
  setenv("WINEPREFIX", prefix.c_str(), 1);
  vidazoz::SetWow64Process(wow64);
  vidazoz::cRegistry reg;
  reg.ClassKey(vidazoz::kHKEY_LOCAL_MACHINE);
  reg.SectionKey(path);
  // The first calls answer from the file's text; after a few the tree is loaded and kept.
  const vidazoz::Boolean expected = reg.KeyExists();
  for (int i = 0; i < 32; ++i) reg.KeyExists();
  for (auto _ : state) {
    if (reg.KeyExists() != expected) state.SkipWithError("answer changed");
  }
  vidazoz::SetWow64Process(false);
}

void BM_KeyExistsWarm_Present(benchmark::State& state) {
  KeyExistsWarm(state, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
}
void BM_KeyExistsWarm_Absent(benchmark::State& state) {
  KeyExistsWarm(state, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0");
}

// In a prefix our writers have used, readers also follow their change count in the lock file.
void BM_KeyExistsWarm_AfterAWrite(benchmark::State& state) {
  setenv("WINEPREFIX", Prefixes().Written().c_str(), 1);
  vidazoz::cRegistry writer;
  writer.ClassKey(vidazoz::kHKEY_CURRENT_USER);
  writer.SectionKey("Software\\VidazozBench");
  writer.CreateKey();
  KeyExistsWarm(state, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", false, Prefixes().Written());
}

// As the program asks: a 32-bit process, through Wow6432Node.
void BM_KeyExistsWarm_Wow64_Present(benchmark::State& state) {
  KeyExistsWarm(state, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", true);
}
void BM_KeyExistsWarm_Wow64_Absent(benchmark::State& state) {
  KeyExistsWarm(state, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0", true);
}

// A change of prefix drops the cache: each call answers from system.reg's text again, as the
// first calls of a new process do.
void BM_KeyExistsCold_HeaderScan(benchmark::State& state) {
  vidazoz::cRegistry reg;
  reg.ClassKey(vidazoz::kHKEY_LOCAL_MACHINE);
  reg.SectionKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  bool flip = false;
  for (auto _ : state) {
    setenv("WINEPREFIX", (flip ? Prefixes().A() : Prefixes().B()).c_str(), 1);
    flip = !flip;
    if (reg.KeyExists() != vidazoz::Boolean::True) state.SkipWithError("key missing");
  }
  state.SetLabel(std::to_string(fs::file_size(Prefixes().A() / "system.reg")) + " bytes");
}

// A value read needs the tree: each call parses system.reg whole (the prefix changes each time).
void BM_ValueCold_SystemRegParse(benchmark::State& state) {
  bool flip = false;
  for (auto _ : state) {
    setenv("WINEPREFIX", (flip ? Prefixes().A() : Prefixes().B()).c_str(), 1);
    flip = !flip;
    HKEY key = nullptr;
    DWORD size = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_QUERY_VALUE,
                      &key) != 0 ||
        RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, nullptr, &size) != 0)
      state.SkipWithError("value missing");
    RegCloseKey(key);
  }
}

BENCHMARK(BM_KeyExistsWarm_Present);
BENCHMARK(BM_KeyExistsWarm_Absent);
BENCHMARK(BM_KeyExistsWarm_AfterAWrite);
BENCHMARK(BM_KeyExistsWarm_Wow64_Present);
BENCHMARK(BM_KeyExistsWarm_Wow64_Absent);
BENCHMARK(BM_KeyExistsCold_HeaderScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValueCold_SystemRegParse)->Unit(benchmark::kMillisecond);

}  // namespace
