// Changes through a handle, made in the file where the key lives now.
#include "key_change.h"

#include <exception>

#include "prefix_registry.h"

namespace vidazoz::wineprefix {
namespace {

// A status no Win32 call returns: the key lives in another branch now.
constexpr LONG kMoved = -1;
constexpr int kAttempts = 3;

}  // namespace

DropCachesOnThrow::~DropCachesOnThrow() {
  if (std::uncaught_exceptions() <= uncaught_) return;
  for (const Branch branch : kBranches) prefix_.Store(branch).Invalidate();
}

LONG ChangeKeyWhereItLives(PrefixRegistry& prefix, std::mutex& held, const KeyLocation& location,
                           const PathNames& names, const WalkView& walk, const KeyChange& change) {
  Branch first = location.branch;
  {
    // A first guess from the cache; the change checks it under the lock.
    RegistrySnapshot snapshot(prefix);
    const Resolution guess = Resolve(snapshot, location, names, walk);
    if (guess.key != nullptr) first = guess.at.branch;
  }
  return ChangeKeyWhereItLives(prefix, held, location, names, walk, first, FollowMove::Always, change);
}

LONG ChangeKeyWhereItLives(PrefixRegistry& prefix, std::mutex& held, const KeyLocation& location,
                           const PathNames& names, const WalkView& walk, Branch first, FollowMove follow,
                           const KeyChange& change) {
  const DropCachesOnThrow drop(prefix);
  Branch branch = first;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Branch found = branch;
    const LONG status = prefix.Change(branch, held, [&](RegistrySnapshot& fresh, bool& changed) -> LONG {
      Resolution r = Resolve(fresh, location, names, walk);
      if (r.status != ERROR_SUCCESS) return r.status;
      const bool mayStay = follow == FollowMove::OnlyWhenSomethingMissing && r.missing.empty();
      if (r.key != nullptr && r.at.branch != branch && !mayStay) {
        found = r.at.branch;
        return kMoved;
      }
      return change(r, changed);
    });
    if (status != kMoved) return status;
    branch = found;
  }
  return ERROR_ACCESS_DENIED;  // moved on every attempt: another writer keeps relinking it
}

}  // namespace vidazoz::wineprefix
