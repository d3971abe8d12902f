// The registry of one prefix: its three branch files, read through a per-process cache and
// changed under the prefix's writer lock.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "branch.h"
#include "branch_store.h"
#include "change_counter.h"
#include "key_path.h"
#include "live_prefix.h"
#include "prefix_location.h"
#include "wow64_view.h"

namespace vidazoz::wineprefix {

class PrefixLock;
class PrefixRegistry;

// A consistent picture for one call: each branch is checked once, then kept. While a wineserver
// serves the prefix, the branches are the server's, not the files'.
class RegistrySnapshot final : public BranchSource {
 public:
  enum class Source { ServerWhenLive, FilesOnly };
  explicit RegistrySnapshot(PrefixRegistry& prefix, Source source = Source::ServerWhenLive)
      : prefix_(prefix), source_(source) {}
  RegKey& Root(Branch branch) override;
  RegBranch& BranchOf(Branch branch);
  // The prefix's change count, read once per snapshot: each read is a system call.
  std::uint64_t Generation();

 private:
  friend class PrefixRegistry;
  PrefixRegistry& prefix_;
  Source source_;
  bool polled_ = false;  // the server was asked once in this snapshot what changed
  std::array<std::shared_ptr<RegBranch>, 3> pinned_;
  std::optional<std::uint64_t> generation_;
};

// A change to one branch. It returns a status and sets `changed` when the branch now differs
// from the file; it must leave the branch untouched when it fails.
using BranchChange = std::function<LONG(RegistrySnapshot& snapshot, bool& changed)>;

class PrefixRegistry {
 public:
  explicit PrefixRegistry(PrefixLocation location);

  const PrefixLocation& Location() const { return location_; }
  BranchStore& Store(Branch branch) { return stores_[Index(branch)]; }
  // Our writers' change count for this prefix (see ChangeCounter).
  std::uint64_t Generation() { return counter_.Read(lockPath_); }
  // The running wineserver's side of the prefix, when there is one.
  live::LivePrefix& Live() { return live_; }
  // What this process knows of the prefix's 32/64-bit views; kept, as the stores are, under the
  // caller's mutex.
  MachineViewFacts& ViewFacts() { return viewFacts_; }

  // Runs `change` on fresh data under the prefix's lock and saves the branch durably.
  // `held` is the caller's mutex, locked: it is let go while the lock is waited for, and held
  // again before anything cached is touched. After any failure the cache matches the file,
  // but for this process's volatile keys, which stay.
  // Refusals: ERROR_REGISTRY_CORRUPT when the file did not parse whole,
  // ERROR_SHARING_VIOLATION while a wineserver runs for the prefix, ERROR_LOCK_VIOLATION when
  // the lock stayed taken, ERROR_ACCESS_DENIED when the prefix or its file cannot be written by
  // us (or is not ours), ERROR_BAD_PATHNAME when no usable prefix is named, ERROR_OUTOFMEMORY,
  // ERROR_REGISTRY_IO_FAILED for other I/O failures.
  [[nodiscard]] LONG Change(Branch branch, std::mutex& held, const BranchChange& change);

 private:
  LONG PrepareNewFile(Branch branch, RegBranch& fresh, int dirFd);
  // dirFd: the prefix folder as checked, held for the whole change.
  LONG ChangeLocked(Branch branch, const BranchChange& change, const PrefixLock& lock, int dirFd);

  PrefixLocation location_;
  std::string lockPath_;
  ChangeCounter counter_;
  std::array<BranchStore, 3> stores_;
  live::LivePrefix live_;
  MachineViewFacts viewFacts_;
};

}  // namespace vidazoz::wineprefix
