// An open-addressing index of names by (owner, hash), for the lists a hostile file builds out
// of order: a million names cost no allocation apiece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidazoz::wineprefix {

// Where names sit in the lists of keys that came out of order, by (key, NameHash(name)).
class NameIndex {
 public:
  // Calls isIt(position) for each position stored under (key, hash) until one returns true.
  template <typename IsIt>
  bool Find(const void* key, std::uint64_t hash, IsIt isIt) const {
    if (slots_.empty()) return false;
    for (std::size_t i = Home(key, hash);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& slot = slots_[i];
      if (slot.key == nullptr) return false;
      if (slot.key == key && slot.hash == hash && isIt(slot.position)) return true;
    }
  }

  void Add(const void* key, std::uint64_t hash, std::size_t position) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    Place({key, hash, position});
    ++used_;
  }

  void Clear() {
    slots_ = {};
    used_ = 0;
  }

 private:
  struct Slot {
    const void* key = nullptr;
    std::uint64_t hash = 0;
    std::size_t position = 0;
  };

  std::size_t Home(const void* key, std::uint64_t hash) const {
    std::uint64_t h = hash ^ (reinterpret_cast<std::uintptr_t>(key) * 0x9e3779b97f4a7c15ull);
    h = (h ^ (h >> 31)) * 0xbf58476d1ce4e5b9ull;
    return static_cast<std::size_t>(h ^ (h >> 29)) & (slots_.size() - 1);
  }

  void Place(const Slot& slot) {
    std::size_t i = Home(slot.key, slot.hash);
    while (slots_[i].key != nullptr) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = slot;
  }

  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
    for (const Slot& slot : old)
      if (slot.key != nullptr) Place(slot);
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace vidazoz::wineprefix
