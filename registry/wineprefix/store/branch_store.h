// One .reg file of a prefix: its parsed branch, cached and revalidated with one stat, and
// its durable replacement.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>
#include <string>

#include "file_identity.h"
#include "look_again.h"
#include "reg_file.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

class BranchStore {
 public:
  explicit BranchStore(std::string path);

  // The branch as the file holds it: a reload when the file changed. The stat that tells is
  // skipped while `generation` (our writers' change count) is what it was at the last stat and
  // that stat is younger than kExternalChangeWindow; `force` always stats. The pointer stays
  // valid for the caller even if a later call reloads.
  std::shared_ptr<RegBranch> Current(std::uint64_t generation, bool force = false);
  // For a writer holding the prefix lock: the branch as the file in the folder dirFd holds
  // (the one the writer checked) is now. `heldCount` is the change count read under the lock:
  // the cache is kept only when it was proven the file at that very count (loaded or saved
  // then) and the file still looks the same; anything else is read again, since a file's
  // look alone can be fooled (a reused inode, stamps of one second).
  std::shared_ptr<RegBranch> CurrentIn(int dirFd, std::uint64_t heldCount);
  // A writer holding the lock saved the branch and then set the change count to `count`.
  void SavedAt(std::uint64_t count) {
    provenCount_ = count;
    look_.KnownAt(count);
  }
  // A writer of this process took the change count from `before` to `after` saving another
  // file: a store current at `before` is as current at `after`, and needs no stat for it.
  void OtherSaved(std::uint64_t before, std::uint64_t after) {
    if (look_.Generation() == before) look_.KnownAt(after);
  }

  // While the tree is not loaded: whether the key at `path` exists, from the file's text
  // (key_scan.h). nullopt when the tree should answer: it is loaded, the text was unclear, or
  // this version of the file was asked kScanBudget times already, when parsing it pays.
  // `existing` receives how many leading names of the path name existing keys.
  std::optional<bool> ExistsWithoutTree(const std::vector<std::u16string_view>& path, std::size_t* existing = nullptr);
  static constexpr int kScanBudget = 16;
  static constexpr off_t kScanLimit = off_t{32} << 20;  // larger files are parsed at once

  bool Exists() const { return identity_.exists; }
  // ERROR_SUCCESS when the file may be replaced by what we hold: it is missing or was read whole.
  // Else ERROR_REGISTRY_CORRUPT when some line was not understood, ERROR_ACCESS_DENIED when it
  // could not be read for lack of permission, ERROR_BADDB when it is too large or mostly holes
  // to be read, ERROR_REGISTRY_IO_FAILED when it is no regular file or reading failed: such a
  // file is never rewritten.
  [[nodiscard]] LONG WriteRefusal() const;
  // The file's "#arch=" value, empty when it has none.
  const std::string& Arch() const { return arch_; }
  const std::string& Path() const { return path_; }
  // Whether the file in the folder dirFd holds may be written by us.
  bool Writable(int dirFd) const;

  // Replaces the file in the folder dirFd holds with the current branch: a private temporary
  // file in that folder
  // made with the final mode, fsync, rename onto the name itself (a symlink there is replaced,
  // never written through), fsync of the folder. Keeps the file's mode. Returns a
  // Win32 status; the caller invalidates on failure.
  [[nodiscard]] LONG Save(int dirFd);

  // Forgets the cached branch: the next read loads the file again, and this process's
  // volatile keys, which no file holds, are carried into it (volatile_keys.h).
  void Invalidate() noexcept { loaded_ = false; }

 private:
  enum class State { Missing, Whole, Damaged, Unreadable };
  // Reads the file into a new branch and only then replaces identity, tree and state together.
  void Load(int dirFd, const char* name);

  std::string path_;
  std::string name_;  // the file's name in its folder
  RegFileText text_;  // the last save's text: the next save renders only what changed
  bool loaded_ = false;
  FileIdentity identity_;
  LookAgain look_;  // when the file is stat'ed again
  // The change count at which the cached branch was known to be the file: read before it was
  // loaded, or set after our own save.
  std::uint64_t provenCount_ = ~std::uint64_t{0};
  FileIdentity scannedIdentity_;
  int scans_ = 0;
  // Paths whose last name is missing in that version of the file (its parent exists, no link on
  // the way): any key under one is absent without another pass.
  std::vector<std::vector<std::u16string>> missing_;
  State state_ = State::Missing;
  int readErrno_ = 0;   // why an Unreadable file could not be read
  std::string arch_;
  std::shared_ptr<RegBranch> branch_;
  // While the file cannot be read: the tree last read whole, holding this process's volatile
  // keys whose parents the unreadable file does not show, until it can be read again.
  std::shared_ptr<RegBranch> aside_;
};

}  // namespace vidazoz::wineprefix
