// Changing a key under the lock of the file it lives in now: a name on the way to it may have
// become a link into another file since its handle was opened.
#pragma once

#include <functional>
#include <mutex>

#include "key_path.h"

namespace vidazoz::wineprefix {

class PrefixRegistry;

// Runs with the key resolved on fresh data, under the lock of the file the walk ended in
// (`at.key` is null at HKEY_USERS itself). Same contract as BranchChange.
using KeyChange = std::function<LONG(Resolution& at, bool& changed)>;

// When a walk that ended in another branch than the one locked is followed there.
enum class FollowMove {
  Always,
  // A create that finds every name present writes nothing, so it answers under the lock it holds.
  OnlyWhenSomethingMissing,
};

// Resolves `location` and then `names` in `view`, and runs `change` on the branch the walk ends
// in; when a concurrent writer moves the key into another branch meanwhile, follows it there.
// `held` is the caller's process mutex, let go while waiting for the prefix lock. The first lock
// taken is the branch a walk over the cache ends in.
[[nodiscard]] LONG ChangeKeyWhereItLives(PrefixRegistry& prefix, std::mutex& held, const KeyLocation& location,
                           const PathNames& names, const WalkView& view, const KeyChange& change);

// The same with the first branch to lock already known, and `follow` saying when to move.
[[nodiscard]] LONG ChangeKeyWhereItLives(PrefixRegistry& prefix, std::mutex& held, const KeyLocation& location,
                           const PathNames& names, const WalkView& view, Branch first, FollowMove follow,
                           const KeyChange& change);

// Drops the prefix's cached branches when the scope is left by an exception: what a throw
// interrupted may have changed memory and not the file.
class DropCachesOnThrow {
 public:
  explicit DropCachesOnThrow(PrefixRegistry& prefix) : prefix_(prefix) {}
  DropCachesOnThrow(const DropCachesOnThrow&) = delete;
  DropCachesOnThrow& operator=(const DropCachesOnThrow&) = delete;
  ~DropCachesOnThrow();

 private:
  PrefixRegistry& prefix_;
  int uncaught_ = std::uncaught_exceptions();
};

}  // namespace vidazoz::wineprefix
