// The key handles this process has open. A handle names its key by location, so it
// survives the cache reloading a branch.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "advapi32.h"
#include "key_path.h"

namespace vidazoz::wineprefix {

class PrefixRegistry;

struct OpenKey {
  std::shared_ptr<PrefixRegistry> prefix;
  KeyLocation location;
  REGSAM access = 0;
  bool deleted = false;  // its key was deleted through this process: later use gives 1018
  bool wow32 = false;    // opened in the 32-bit view, which what is opened below it keeps
};

class HandleTable {
 public:
  HKEY Add(OpenKey key);
  OpenKey* Find(HKEY handle);
  bool Remove(HKEY handle);
  void MarkDeleted(const PrefixRegistry* prefix, const KeyLocation& location);

 private:
  std::unordered_map<std::uintptr_t, OpenKey> open_;
  std::uintptr_t next_ = 0x40;
};

}  // namespace vidazoz::wineprefix
