// Reading and writing Wine's registry text format on a real system.reg.
// The file comes from $VIDAZOZ_SYSTEM_REG, or from a prefix made here with wineboot.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "reg_file.h"

namespace {
namespace fs = std::filesystem;
using namespace vidazoz::wineprefix;

// A prefix for the run, removed at exit with its wineserver stopped.
class BootedPrefix {
 public:
  BootedPrefix() {
    std::string pattern = (fs::temp_directory_path() / "vidazoz-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    Wine("wineboot -i && wineserver -w");
  }
  ~BootedPrefix() {
    Wine("wineserver -k");
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path SystemReg() const { return dir_ / "prefix" / "system.reg"; }

 private:
  void Wine(const std::string& command) const {
    const std::string env = "env -u DISPLAY WINEPREFIX='" + (dir_ / "prefix").string() + "' HOME='" + dir_.string() +
                            "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    [[maybe_unused]] const int rc = std::system((env + "sh -c '" + command + "' >/dev/null 2>&1").c_str());
  }
  fs::path dir_;
};

const fs::path& SystemRegPath() {
  static const fs::path path = [] {
    if (const char* given = std::getenv("VIDAZOZ_SYSTEM_REG")) return fs::path(given);
    static BootedPrefix prefix;
    return prefix.SystemReg();
  }();
  return path;
}

const std::string& SystemRegText() {
  static const std::string text = [] {
    std::ifstream in(SystemRegPath(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    if (s.str().empty()) throw std::runtime_error("no system.reg at " + SystemRegPath().string());
    return s.str();
  }();
  return text;
}

void BM_ParseSystemReg(benchmark::State& state) {
  const std::string& text = SystemRegText();
  for (auto _ : state) {
    auto branch = std::make_unique<RegBranch>();
    benchmark::DoNotOptimize(ParseRegFile(text, *branch).complete);
    state.PauseTiming();  // a process that loads the registry never frees it
    branch.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSystemReg)->Unit(benchmark::kMillisecond);

// As in a new process, every tree lands in memory never touched before: this adds the cost of
// faulting its pages in, which on some virtual machines is larger than the parse itself.
void BM_ParseSystemRegIntoFreshMemory(benchmark::State& state) {
  const std::string& text = SystemRegText();
  std::vector<std::unique_ptr<RegBranch>> kept;
  for (auto _ : state) {
    kept.push_back(std::make_unique<RegBranch>());
    benchmark::DoNotOptimize(ParseRegFile(text, *kept.back()).complete);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSystemRegIntoFreshMemory)->Unit(benchmark::kMillisecond)->Iterations(40);

// What a new process does for the framework check: read the file, parse it, look up keys.
void BM_LoadSystemRegAndFindThreeKeys(benchmark::State& state) {
  const std::size_t size = SystemRegText().size();
  const std::u16string_view paths[3][5] = {
      {u"Software", u"Microsoft", u"NET Framework Setup", u"NDP", u"v2.0.50727"},
      {u"Software", u"Microsoft", u"NET Framework Setup", u"NDP", u"v1.1.4322"},
      {u"Software", u"Microsoft", u"Windows NT", u"CurrentVersion", u"Fonts"}};
  for (auto _ : state) {
    auto branch = std::make_unique<RegBranch>();
    std::error_code error;
    LoadRegFile(SystemRegPath(), *branch, error);
    for (const auto& path : paths) {
      const RegKey* key = &branch->root;
      for (auto name : path) key = key ? key->FindSubkey(name) : nullptr;
      benchmark::DoNotOptimize(key);
    }
    state.PauseTiming();
    branch.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_LoadSystemRegAndFindThreeKeys)->Unit(benchmark::kMillisecond);

void BM_WriteSystemReg(benchmark::State& state) {
  RegBranch branch;
  ParseRegFile(SystemRegText(), branch);
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string text = WriteRegFile(branch);
    size = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_WriteSystemReg)->Unit(benchmark::kMillisecond);

}  // namespace
