// One .reg file of a prefix: its parsed branch, cached and revalidated with one stat, and
// its durable replacement.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>
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

  // The branch as the file holds it: a reload when the file changed. The stat that tells is
  // skipped while `generation` (our writers' change count) is what it was at the last stat and
  // that stat is younger than kExternalChangeWindow; `force` always stats. The pointer stays
  // valid for the caller even if a later call reloads.
  std::shared_ptr<RegBranch> Current(std::uint64_t generation, bool force = false);

  // While the tree is not loaded: whether the key at `path` exists, from the file's text
  // (key_scan.h). nullopt when the tree should answer: it is loaded, the text was unclear, or
  // this version of the file was asked kScanBudget times already, when parsing it pays.
  std::optional<bool> ExistsWithoutTree(const std::vector<std::u16string_view>& path);
  static constexpr int kScanBudget = 16;

  bool Exists() const { return identity_.exists; }
  // False when some line was not understood: then the file is never rewritten.
  bool Complete() const { return complete_; }
  // The file's "#arch=" value, empty when it has none.
  const std::string& Arch() const { return arch_; }
  const std::string& Path() const { return path_; }

  // Replaces the file with the current branch: temporary file in the same folder, fsync,
  // rename, fsync of the folder. Keeps the old file's mode. Returns a Win32 status.
  LONG Save();

  // Forgets the cached branch (after a failed save, the memory no longer matches the file).
  void Invalidate() { loaded_ = false; }

 private:
  void Load();

  std::string path_;
  std::string saveBuffer_;  // kept between saves: a fresh 1.7 MB string costs page faults each time
  bool loaded_ = false;
  FileIdentity identity_;
  std::uint64_t seenGeneration_ = 0;
  FileIdentity scannedIdentity_;
  int scans_ = 0;
  // Paths whose last name is missing in that version of the file (its parent exists, no link on
  // the way): any key under one is absent without another pass.
  std::vector<std::vector<std::u16string>> missing_;
  std::chrono::steady_clock::time_point lastStat_{};
  bool complete_ = true;
  std::string arch_;
  std::shared_ptr<RegBranch> branch_;
};

}  // namespace vidazoz::wineprefix
