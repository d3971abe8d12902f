// The .reg import reader on any bytes: no crash or sanitizer report, a refused file yields no
// step, and what it yields is bounded by the input (data at most doubles, when widened).
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "reg_import_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const vidazoz::reg::ImportFile file = vidazoz::reg::ParseImportFile(bytes);
  FUZZ_CHECK(file.error.empty() || file.steps.empty());
  const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  FUZZ_CHECK(file.steps.size() <= lines);
  for (const auto& step : file.steps) FUZZ_CHECK(step.data.size() <= 2 * size + 2);
  return 0;
}
