// One .reg file of a prefix: its parsed branch, cached and revalidated with one stat, and
// its durable replacement.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <memory>
#include <string>

#include "advapi32.h"
#include "reg_file.h"

namespace vidazoz::wineprefix {

// What identifies a version of the file: a replaced or rewritten file differs in one of these.
struct FileIdentity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtimeSec = 0;
  long mtimeNsec = 0;
  bool operator==(const FileIdentity&) const = default;
};

class BranchStore {
 public:
  explicit BranchStore(std::string path) : path_(std::move(path)) {}

  // The branch as the file holds it now: one stat, and a reload when the file changed. The
  // pointer stays valid for the caller even if a later call reloads.
  std::shared_ptr<RegBranch> Current();

  bool Exists() const { return identity_.exists; }
  // False when some line was not understood: then the file is never rewritten.
  bool Complete() const { return complete_; }
  const std::string& Path() const { return path_; }

  // Replaces the file with the current branch: temporary file in the same folder, fsync,
  // rename, fsync of the folder. Keeps the old file's mode. Returns a Win32 status.
  LONG Save();

  // Forgets the cached branch (after a failed save, the memory no longer matches the file).
  void Invalidate() { loaded_ = false; }

 private:
  void Load();

  std::string path_;
  bool loaded_ = false;
  FileIdentity identity_;
  bool complete_ = true;
  std::shared_ptr<RegBranch> branch_;
};

}  // namespace vidazoz::wineprefix
