// Before the check reads a prefix: which prefix it is, where that came from, and, when it
// cannot be read at all, one line saying why — so that "not installed" is never the answer
// for a registry that was never seen.
#pragma once

#include <optional>
#include <string>

namespace vidazoz::cli {

struct PrefixFinding {
  std::string dir;      // the prefix folder, absolute; may be empty when problem says why
  std::string source;   // "--prefix", "WINEPREFIX", "~/.wine" or "the default prefix"
  std::string problem;  // empty when the prefix holds a registry that can be read
};

// `option` is --prefix's argument as given. Reads the environment (WINEPREFIX, HOME,
// XDG_DATA_HOME) as the registry layer does; opens system.reg without following the
// promise of its name (a FIFO or device is refused, never waited on).
[[nodiscard]] PrefixFinding InspectPrefix(const std::optional<std::string>& option);

}  // namespace vidazoz::cli
