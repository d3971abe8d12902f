#include "handle_table.h"

namespace vidazoz::wineprefix {
namespace {

// Handle values stay small and aligned like Wine's, well below the predefined roots.
constexpr std::uintptr_t kFirst = 0x40, kLimit = 0x40000000, kStep = 4;

}  // namespace

HKEY HandleTable::Add(OpenKey key) {
  // Values are not reused soon, so a stale handle is refused instead of reaching a new key.
  do {
    next_ = next_ + kStep >= kLimit ? kFirst : next_ + kStep;
  } while (open_.contains(next_));
  open_.emplace(next_, std::move(key));
  return reinterpret_cast<HKEY>(next_);
}

OpenKey* HandleTable::Find(HKEY handle) {
  auto it = open_.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == open_.end() ? nullptr : &it->second;
}

bool HandleTable::Remove(HKEY handle) { return open_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0; }

void HandleTable::MarkDeleted(const PrefixRegistry* prefix, const KeyLocation& location) {
  for (auto& [value, key] : open_)
    if (key.prefix.get() == prefix && SameLocation(key.location, location)) key.deleted = true;
}

}  // namespace vidazoz::wineprefix
