// Key creation and deletion: CreateKey, DeleteKey, DeleteValue. Always on the local registry.
#include "ansi.h"
#include "cRegistry.h"
#include "registry_api.h"

namespace vidazoz {

Boolean cRegistry::CreateKey() {
  KeyHandle key(*api_);
  if (key.CreateSection(classKey_, sectionKey_, kWriteAccess) != ERROR_SUCCESS)
    Raise(regerr::Registry, "Failed to create registry Key: '" + sectionKey_);
  return Boolean::True;
}

Boolean cRegistry::DeleteKey() {
  if (api_->RegDeleteKeyA(HiveHandle(classKey_), ansi::FromUtf8(sectionKey_).c_str()) != ERROR_SUCCESS)
    Raise(regerr::Registry,
          "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_);
  return Boolean::True;
}

Boolean cRegistry::DeleteValue() {
  KeyHandle key(*api_);
  if (key.OpenSection(classKey_, sectionKey_, kWriteAccess) != ERROR_SUCCESS)
    Raise(regerr::Registry, "Failed to open key '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                                "' for delete access");
  if (api_->RegDeleteValueA(key.Get(), ansi::FromUtf8(valueKey_).c_str()) != ERROR_SUCCESS)
    Raise(regerr::Registry, "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" +
                                sectionKey_ + "',Key: '" + valueKey_);
  return Boolean::True;
}

}  // namespace vidazoz
