#include "platform.h"

#include <cstdlib>
#include <string_view>

namespace vidazoz::wineprefix {

Platform& Platform::Instance() {
  static Platform platform;
  return platform;
}

std::shared_ptr<PrefixRegistry> Platform::CurrentPrefix() {
  auto env = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string_view(value != nullptr ? value : "");
  };
  // The common cases without building a string: $WINEPREFIX unchanged; or, without it, HOME
  // and XDG_DATA_HOME unchanged and ~/.wine looked at less than a window ago.
  const std::string_view named = env("WINEPREFIX");
  const auto now = std::chrono::steady_clock::now();
  if (prefix_ && !named.empty() && !prefix_->Location().isPrivate && prefix_->Location().dir == named) return prefix_;
  if (prefix_ && named.empty() && unnamed_.located && env("HOME") == unnamed_.home &&
      env("XDG_DATA_HOME") == unnamed_.dataHome && now - unnamed_.at < kExternalChangeWindow)
    return prefix_;
  unnamed_ = {named.empty(), std::string(env("HOME")), std::string(env("XDG_DATA_HOME")), now};
  PrefixLocation where = LocatePrefix();
  if (!prefix_ || !(prefix_->Location() == where)) prefix_ = std::make_shared<PrefixRegistry>(std::move(where));
  return prefix_;
}

LONG LookupHandle(Platform& platform, HKEY handle, KeyRef& out) {
  if (handle == nullptr) return ERROR_INVALID_HANDLE;
  if (IsPredefinedHandle(handle)) {
    std::optional<KeyLocation> root = RootLocation(handle);
    if (!root) return ERROR_INVALID_HANDLE;
    out = KeyRef{platform.CurrentPrefix(), std::move(*root), KEY_ALL_ACCESS, true, platform.Wow64Process()};
    return ERROR_SUCCESS;
  }
  const OpenKey* open = platform.Handles().Find(handle);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (open->deleted) return ERROR_KEY_DELETED;
  out = KeyRef{open->prefix, open->location, open->access, false, open->wow32};
  return ERROR_SUCCESS;
}

WalkView ViewOf(const KeyRef& ref, bool wow32) { return ViewOf(*ref.prefix, wow32, ref.predefined); }

KeyAccess Access(RegistryView& view, const KeyRef& ref) {
  if (ref.location.usersRoot) return {ERROR_SUCCESS, nullptr, true};
  // A root used as it is shows its own view: HKEY_CLASSES_ROOT of a 32-bit process is the 32-bit one.
  Resolution r = Resolve(view, ref.location, {}, ViewOf(ref, ref.wow32));
  if (r.status == ERROR_SUCCESS && r.missing.empty()) return {ERROR_SUCCESS, r.key, r.key == nullptr};
  if (ref.predefined) {
    static RegKey empty{u""};  // never written to: callers only read through it
    return {ERROR_SUCCESS, &empty, false};
  }
  return {ERROR_KEY_DELETED, nullptr, false};  // deleted by another process
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
