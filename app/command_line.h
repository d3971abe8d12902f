// The program's command line on Linux: the window by default, or the check as text (--check),
// on the Wine prefix the environment or --prefix names.
#pragma once

#include <functional>
#include <ostream>
#include <span>

#include "framework_check.h"

namespace vidazoz::cli {

inline constexpr int kExitUsage = 64;  // EX_USAGE

// The whole program: parses `args` (argv without argv[0]), then prints help or the version,
// runs the check as text, or calls `runWindow`. Returns the process status.
[[nodiscard]] int Main(std::span<const char* const> args, std::ostream& out, std::ostream& err,
                       const RegistryFactory& makeRegistry, const std::function<int()>& runWindow);

}  // namespace vidazoz::cli
