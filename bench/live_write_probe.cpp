// One cRegistry value write after another on the prefix $WINEPREFIX names (a live one, in
// measure_live.sh): prints the median and the slowest of N writes, the first one left out
// (it starts the helper).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cRegistry.h"

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  vidazoz::cRegistry reg;
  reg.ClassKey(vidazoz::kHKEY_CURRENT_USER);
  reg.SectionKey("Software\\VidazozBench");
  reg.CreateKey();
  reg.ValueKey("Counter");
  reg.ValueType(vidazoz::kREG_DWORD);
  reg.Value(vidazoz::Variant(std::int32_t{0}));  // the helper starts here
  std::vector<double> ms;
  for (int i = 1; i <= runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    reg.Value(vidazoz::Variant(std::int32_t{i}));
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  if (reg.Value().ToLong() != runs) {
    std::fprintf(stderr, "the last write did not read back\n");
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%.3f %.3f\n", ms[ms.size() / 2], ms.back());
  return 0;
}
