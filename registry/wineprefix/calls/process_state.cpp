#include "process_state.h"

#include <cstdlib>
#include <string_view>

namespace vidazoz::wineprefix {

ProcessState& ProcessState::Instance() {
  static ProcessState state;
  return state;
}

std::shared_ptr<PrefixRegistry> ProcessState::CurrentPrefix() {
  auto env = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string_view(value != nullptr ? value : "");
  };
  // The common cases without building a string: $WINEPREFIX unchanged; or, without it, HOME
  // and XDG_DATA_HOME unchanged and ~/.wine looked at less than a window ago.
  const std::string_view named = env("WINEPREFIX");
  const auto now = LookAgain::Clock::now();
  if (prefix_ && !named.empty() && !prefix_->Location().isPrivate && prefix_->Location().dir == named) return prefix_;
  if (prefix_ && named.empty() && unnamed_.located && env("HOME") == unnamed_.home &&
      env("XDG_DATA_HOME") == unnamed_.dataHome && !unnamedLook_.NeedsLook(now))
    return prefix_;
  unnamed_ = {named.empty(), std::string(env("HOME")), std::string(env("XDG_DATA_HOME"))};
  unnamedLook_.Looked(now);
  PrefixLocation where = LocatePrefix();
  if (!prefix_ || !(prefix_->Location() == where)) prefix_ = std::make_shared<PrefixRegistry>(std::move(where));
  return prefix_;
}

REGSAM GrantedAccess(REGSAM desired) {
  constexpr REGSAM kGenericRead = 0x80000000, kGenericWrite = 0x40000000, kGenericExecute = 0x20000000,
                   kGenericAll = 0x10000000, kMaximumAllowed = 0x02000000;
  REGSAM granted = desired & 0x00FFFFFF;
  if (desired & (kGenericAll | kMaximumAllowed)) granted |= KEY_ALL_ACCESS;
  if (desired & (kGenericRead | kGenericExecute)) granted |= KEY_READ;
  if (desired & kGenericWrite) granted |= KEY_WRITE;
  return granted;
}

}  // namespace vidazoz::wineprefix
