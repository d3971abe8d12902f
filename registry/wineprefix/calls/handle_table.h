// The key handles this process has open. A handle names its key by location, so it
// survives the cache reloading a branch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "key_path.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

class PrefixRegistry;

// The key a handle names: the prefix and the place it lives in, the rights the handle grants and
// the view it sees. Kept in the table for an opened handle, made afresh for a predefined root.
struct HandleKey {
  std::shared_ptr<PrefixRegistry> prefix;
  KeyLocation location;
  REGSAM access = 0;
  bool wow32 = false;       // the 32-bit view, which what is opened below it keeps
  bool predefined = false;  // a root: never deleted, and it reads as empty while no file holds it
  bool deleted = false;     // its key was deleted through this process: later use fails with
                            // ERROR_KEY_DELETED
};

class HandleTable {
 public:
  // Live handles a process may hold, as Windows and Wine cap theirs; far below the values
  // handles can take, so finding a free value stays short.
  static constexpr std::size_t kDefaultLimit = std::size_t{1} << 20;

  using Map = std::unordered_map<std::uintptr_t, HandleKey>;

  // Room for one more handle, taken before a call changes anything so that handing the handle
  // back cannot fail. Several may be outstanding at once: a create lets go of the process
  // mutex while it waits for the prefix lock. Unused room is given back on destruction.
  class Slot {
   public:
    Slot(Slot&& other) noexcept : table_(std::exchange(other.table_, nullptr)), node_(std::move(other.node_)) {}
    Slot& operator=(Slot&&) = delete;
    ~Slot() {
      if (table_ != nullptr) --table_->reserved_;
    }

   private:
    friend class HandleTable;
    Slot(HandleTable* table, Map::node_type node) : table_(table), node_(std::move(node)) {}
    HandleTable* table_;
    Map::node_type node_;
  };

  // nullopt when the process holds `Limit()` handles (reserved ones counted) already; throws
  // bad_alloc when memory is short.
  [[nodiscard]] std::optional<Slot> Reserve();
  [[nodiscard]] HKEY Add(Slot slot, HandleKey key) noexcept;
  HandleKey* Find(HKEY handle);
  [[nodiscard]] bool Remove(HKEY handle);
  void MarkDeleted(const PrefixRegistry* prefix, const KeyLocation& location);

  std::size_t Size() const { return open_.size(); }
  std::size_t Limit() const { return limit_; }
  // Tests reach the cap without a million keys; it never rises above the default.
  void SetLimit(std::size_t limit) { limit_ = limit < kDefaultLimit ? limit : kDefaultLimit; }

 private:
  Map open_;
  std::size_t reserved_ = 0;  // slots handed out and not yet used or given back
  std::size_t limit_ = kDefaultLimit;
  std::uintptr_t next_ = 0x40;
};

}  // namespace vidazoz::wineprefix
