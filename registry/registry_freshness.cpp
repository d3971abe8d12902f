// The warning for answers read from the files of a prefix whose server we cannot reach.
#ifndef _WIN32
#include "registry_freshness.h"

#include "key_call.h"

namespace vidazoz {

std::optional<std::string> StaleRegistryWarning() {
  wineprefix::KeyCall call;
  const std::shared_ptr<wineprefix::PrefixRegistry> prefix = call.CurrentPrefix();
  if (!prefix->Live().Unreachable()) return std::nullopt;
  return "a Wine server is running for " + prefix->Location().dir + "; this answer may be up to 30 s old";
}

}  // namespace vidazoz

#endif
