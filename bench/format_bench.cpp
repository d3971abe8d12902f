// Reading and writing Wine's registry text format on a real system.reg.
// The file comes from $VIDAZOZ_SYSTEM_REG, or from a booted prefix of the tests' support.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "reg_file.h"
#include "wine_prefix.h"

namespace {
namespace fs = std::filesystem;
using namespace vidazoz::wineprefix;

// The file given, else a booted prefix's: a copy of the tests' template, removed at exit.
const fs::path& SystemRegPath() {
  static const fs::path path = [] {
    if (const char* given = std::getenv("VIDAZOZ_SYSTEM_REG")) return fs::path(given);
    static const std::unique_ptr<vidazoz::testing::WinePrefix> prefix = vidazoz::testing::WinePrefix::Booted();
    return prefix->File("system.reg");
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

// A hostile file's order must not make loading quadratic: names sorted as Wine writes them, or
// all reversed, either as the values of one key or as sibling keys. $VIDAZOZ_ORDER_BENCH_MB sets
// the size (50 by default); the reversed files should take at most 3x the time of the sorted ones.
const std::string& OrderedText(bool keys, bool reversed) {
  static std::string texts[2][2];
  std::string& text = texts[keys][reversed];
  if (!text.empty()) return text;
  const char* mb = std::getenv("VIDAZOZ_ORDER_BENCH_MB");
  const std::size_t size = (mb ? std::strtoull(mb, nullptr, 10) : 50) << 20;
  const std::size_t lineSize = keys ? 28 : 26;
  const std::size_t count = size / lineSize;
  text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
  if (!keys) text += "\n[Many] 1700000000\n";
  char line[64];
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t n = reversed ? count - 1 - i : i;
    if (keys) std::snprintf(line, sizeof line, "\n[k%09zu] 1\n\"v\"=dword:1\n", n);
    else std::snprintf(line, sizeof line, "\"v%09zu\"=dword:%08zx\n", n, n & 0xffffffff);
    text += line;
  }
  return text;
}

void BM_ParseByNameOrder(benchmark::State& state) {
  const std::string& text = OrderedText(state.range(0) != 0, state.range(1) != 0);
  for (auto _ : state) {
    auto branch = std::make_unique<RegBranch>();
    benchmark::DoNotOptimize(ParseRegFile(text, *branch).complete);
    state.PauseTiming();
    branch.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(std::string(state.range(0) ? "sibling keys" : "values") + (state.range(1) ? ", reversed" : ", sorted"));
}
BENCHMARK(BM_ParseByNameOrder)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3);

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

// A save after one value changed under Software\Classes, the place a file-type association
// writes: what the incremental rendering costs once its buffers are warm.
void BM_RenderAfterOneChange(benchmark::State& state) {
  RegBranch branch;
  ParseRegFile(SystemRegText(), branch);
  RegKey& classes = branch.root.AddSubkey(u"Software").AddSubkey(u"Classes");
  RegKey& key = classes.AddSubkey(u".vzd");
  RegFileText text;
  std::uint32_t counter = 0;
  for (int warm = 0; warm < 2; ++warm) benchmark::DoNotOptimize(text.Render(branch).data());
  for (auto _ : state) {
    ++counter;
    key.SetValue(u"", 4, {static_cast<std::uint8_t>(counter), 0, 0, 0});
    benchmark::DoNotOptimize(text.Render(branch).data());
  }
}
BENCHMARK(BM_RenderAfterOneChange)->Unit(benchmark::kMillisecond);

}  // namespace
