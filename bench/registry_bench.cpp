// Registry reads through cRegistry over a real Wine prefix's files.
// The prefix: $VIDAZOZ_BENCH_PREFIX, else a copy of the tests' booted template.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "advapi32.h"
#include "cRegistry.h"
#include "wine_prefix.h"
#include "wow64_process.h"

namespace {

namespace fs = std::filesystem;

using vidazoz::testing::WinePrefix;

// Three prefixes holding the source's registry files and nothing else, removed at exit with
// the server folders our writers made for them.
class BenchPrefixes {
 public:
  BenchPrefixes() {
    const fs::path source = Source();
    for (auto* copy : {&a_, &b_, &written_}) {
      *copy = WinePrefix::Empty();
      for (const char* name : {"system.reg", "user.reg", "userdef.reg"})
        if (fs::exists(source / name)) fs::copy_file(source / name, (*copy)->File(name));
    }
  }
  const fs::path& A() const { return a_->Path(); }
  const fs::path& B() const { return b_->Path(); }
  // Kept apart: a prefix our writers have used is read differently (see AfterAWrite).
  const fs::path& Written() const { return written_->Path(); }

 private:
  fs::path Source() {
    if (const char* given = std::getenv("VIDAZOZ_BENCH_PREFIX")) return given;
    booted_ = WinePrefix::Booted();
    return booted_->Path();
  }
  std::unique_ptr<WinePrefix> booted_, a_, b_, written_;
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
