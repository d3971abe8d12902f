// The warning for answers read from the files of a prefix whose server we cannot reach.
#ifndef _WIN32
#include "registry_freshness.h"

#include <mutex>

#include "process_state.h"

namespace vidazoz {

std::optional<std::string> StaleRegistryWarning() {
  wineprefix::ProcessState& process = wineprefix::ProcessState::Instance();
  std::lock_guard lock(process.Mutex());
  const std::shared_ptr<wineprefix::PrefixRegistry> prefix = process.CurrentPrefix();
  if (!prefix->Live().Unreachable()) return std::nullopt;
  return "a Wine server is running for " + prefix->Location().dir + "; this answer may be up to 30 s old";
}

}  // namespace vidazoz

#endif
