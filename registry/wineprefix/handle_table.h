// The key handles this process has open. A handle names its key by location, so it
// survives the cache reloading a branch.
#pragma once

#include <cstddef>
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
};

class HandleTable {
 public:
  // Live handles a process may hold, as Windows and Wine cap theirs; far below the values
  // handles can take, so finding a free value stays short.
  static constexpr std::size_t kDefaultLimit = std::size_t{1} << 20;

  // Makes room for one more handle, so that the next Add cannot fail: a call reserves before
  // it changes anything. False when the process holds `Limit()` handles already; throws
  // bad_alloc when memory is short.
  bool Reserve();
  // Needs a Reserve since the last Add.
  HKEY Add(OpenKey key) noexcept;
  OpenKey* Find(HKEY handle);
  bool Remove(HKEY handle);
  void MarkDeleted(const PrefixRegistry* prefix, const KeyLocation& location);

  std::size_t Size() const { return open_.size(); }
  std::size_t Limit() const { return limit_; }
  // Tests reach the cap without a million keys; it never rises above the default.
  void SetLimit(std::size_t limit) { limit_ = limit < kDefaultLimit ? limit : kDefaultLimit; }

 private:
  using Map = std::unordered_map<std::uintptr_t, OpenKey>;
  Map open_;
  Map::node_type spare_;  // the node the next Add fills
  std::size_t limit_ = kDefaultLimit;
  std::uintptr_t next_ = 0x40;
};

}  // namespace vidazoz::wineprefix
