// Key creation and deletion: CreateKey, DeleteKey, DeleteValue. Always on the local registry.
#include "ansi.h"
#include "cRegistry.h"

namespace vidazoz {
namespace {
constexpr REGSAM kWriteAccess = 0x3F;
}

Boolean cRegistry::CreateKey() {
  char noClass[] = "";
  SECURITY_ATTRIBUTES security{0, nullptr, 0};
  HKEY created = nullptr;
  DWORD disposition = 0;
  if (api_->RegCreateKeyExA(HiveHandle(classKey_), ansi::FromUtf8(sectionKey_).c_str(), 0, noClass, 0,
                            kWriteAccess, &security, &created, &disposition) != ERROR_SUCCESS)
    Raise(regerr::Registry, "Failed to create registry Key: '" + sectionKey_);
  api_->RegCloseKey(created);
  return Boolean::True;
}

Boolean cRegistry::DeleteKey() {
  if (api_->RegDeleteKeyA(HiveHandle(classKey_), ansi::FromUtf8(sectionKey_).c_str()) != ERROR_SUCCESS)
    Raise(regerr::Registry,
          "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_);
  return Boolean::True;
}

Boolean cRegistry::DeleteValue() {
  HKEY opened = nullptr;
  if (api_->RegOpenKeyExA(HiveHandle(classKey_), ansi::FromUtf8(sectionKey_).c_str(), 0, kWriteAccess,
                          &opened) != ERROR_SUCCESS)
    Raise(regerr::Registry, "Failed to open key '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                                "' for delete access");
  LONG status;
  {
    KeyHandle key(*api_);
    *key.Out() = opened;
    status = api_->RegDeleteValueA(key.Get(), ansi::FromUtf8(valueKey_).c_str());
  }
  if (status != ERROR_SUCCESS)
    Raise(regerr::Registry, "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" +
                                sectionKey_ + "',Key: '" + valueKey_);
  return Boolean::True;
}

}  // namespace vidazoz
