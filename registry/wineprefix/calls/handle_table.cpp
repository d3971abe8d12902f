// Handle values, their keys, and the cap on how many a process holds.
#include "handle_table.h"

#include <cassert>

namespace vidazoz::wineprefix {
namespace {

// Handle values stay small and aligned like Wine's, well below the predefined roots.
constexpr std::uintptr_t kFirst = 0x40, kLimit = 0x40000000, kStep = 4;
static_assert((kLimit - kFirst) / kStep > 4 * HandleTable::kDefaultLimit, "a free value must be near");

}  // namespace

std::optional<HandleTable::Slot> HandleTable::Reserve() {
  if (open_.size() + reserved_ >= limit_) return std::nullopt;
  Map scratch;
  Map::node_type node = scratch.extract(scratch.emplace(0, HandleKey{}).first);
  open_.reserve(open_.size() + reserved_ + 1);  // no rehash, hence no allocation, in Add
  ++reserved_;
  return Slot(this, std::move(node));
}

HKEY HandleTable::Add(Slot slot, HandleKey key) noexcept {
  assert(slot.table_ == this && !slot.node_.empty());
  // Values are not reused soon, so a stale handle is refused instead of reaching a new key.
  // With at most limit_ live handles among far more values, the walk ends quickly.
  do {
    next_ = next_ + kStep >= kLimit ? kFirst : next_ + kStep;
  } while (open_.contains(next_));
  slot.node_.key() = next_;
  slot.node_.mapped() = std::move(key);
  open_.insert(std::move(slot.node_));
  return reinterpret_cast<HKEY>(next_);
}

HandleKey* HandleTable::Find(HKEY handle) {
  auto it = open_.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == open_.end() ? nullptr : &it->second;
}

bool HandleTable::Remove(HKEY handle) { return open_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0; }

void HandleTable::MarkDeleted(const PrefixRegistry* prefix, const KeyLocation& location) {
  for (auto& [value, key] : open_)
    if (key.prefix.get() == prefix && SameLocation(key.location, location)) key.deleted = true;
}

}  // namespace vidazoz::wineprefix
