#include "branch_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "change_counter.h"
#include "file_ops.h"
#include "io_status.h"
#include "key_scan.h"
#include "reg_load.h"
#include "safe_open.h"
#include "temp_file.h"
#include "unique_fd.h"
#include "volatile_keys.h"

namespace vidazoz::wineprefix {

BranchStore::BranchStore(std::string path) : path_(std::move(path)), name_(path_.substr(path_.rfind('/') + 1)) {}

std::shared_ptr<RegBranch> BranchStore::Current(std::uint64_t generation, bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (loaded_ && !force && !look_.NeedsLook(generation, now)) return branch_;
  look_.Looked(generation, now);
  if (!loaded_ || IdentityAt(AT_FDCWD, path_.c_str()) != identity_) {
    Load(AT_FDCWD, path_.c_str());
    provenCount_ = generation;  // read before the file was opened
  }
  return branch_;
}

std::shared_ptr<RegBranch> BranchStore::CurrentIn(int dirFd, std::uint64_t heldCount) {
  look_.Looked(heldCount, LookAgain::Clock::now());
  // A count of 0 under the lock: no writer of ours ever finished a save here, whenever we loaded.
  const bool proven = loaded_ && heldCount != ChangeCounter::kUnknown &&
                      (heldCount == provenCount_ || (heldCount == 0 && provenCount_ == ChangeCounter::kUnknown));
  if (!proven || IdentityAt(dirFd, name_.c_str()) != identity_) {
    Load(dirFd, name_.c_str());
    provenCount_ = heldCount;
  }
  return branch_;
}

bool BranchStore::Writable(int dirFd) const {
  return ::faccessat(dirFd, name_.c_str(), W_OK, AT_EACCESS) == 0;
}

void BranchStore::Load(int dirFd, const char* name) {
  auto branch = std::make_shared<RegBranch>();
  FileIdentity identity;
  State state = State::Missing;
  int readErrno = 0;
  std::string arch;
  struct stat st {};
  // Only a regular file, opened without blocking: a FIFO or a device reads as unreadable.
  const UniqueFd fd = OpenRegFileForReading(dirFd, name, st);
  if (!fd) {
    readErrno = errno;
    if (readErrno != ENOENT) state = State::Unreadable;
  } else {
    std::error_code error;
    ParseResult result = LoadRegFd(fd.Get(), *branch, error);
    if (error) {
      // Left without an identity, the next look reads it again.
      state = State::Unreadable;
      readErrno = error.value();
    } else {
      // The identity of what was read: should the file be replaced meanwhile, the next stat differs.
      identity = IdentityOf(st, fd.Get());
      state = result.complete ? State::Whole : State::Damaged;
      arch = std::move(result.arch);
    }
  }
  // This process's volatile keys are in no file: they live on in the tree read anew. A file
  // that cannot be read shows none of their parents: those wait aside until it can.
  std::shared_ptr<RegBranch> aside = state == State::Unreadable && !aside_ ? branch_ : aside_;
  if (aside && state != State::Unreadable && branch_ != aside) {
    CarryVolatileKeys(branch_->root, aside->root);  // made while it could not be read
    CarryVolatileKeys(aside->root, branch->root);
    aside.reset();
  } else if (branch_) {
    CarryVolatileKeys(branch_->root, branch->root);
  }
  // All or nothing: nothing from here on throws.
  aside_ = std::move(aside);
  identity_ = identity;
  state_ = state;
  readErrno_ = readErrno;
  arch_.swap(arch);
  branch_ = std::move(branch);
  loaded_ = true;
}

LONG BranchStore::WriteRefusal() const {
  switch (state_) {
    case State::Missing:
    case State::Whole: return ERROR_SUCCESS;
    case State::Damaged: return ERROR_REGISTRY_CORRUPT;
    case State::Unreadable:
      if (readErrno_ == EFBIG) return ERROR_BADDB;  // see OpenRegFileForReading
      return readErrno_ == EACCES ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
  }
  return ERROR_REGISTRY_IO_FAILED;
}

std::optional<bool> BranchStore::ExistsWithoutTree(const std::vector<std::u16string_view>& path,
                                                   std::size_t* existing) {
  if (existing != nullptr) *existing = 0;
  if (loaded_ || scans_ >= kScanBudget) return std::nullopt;
  struct stat st {};
  UniqueFd fd = OpenRegFileForReading(AT_FDCWD, path_.c_str(), st);
  if (!fd) return errno == ENOENT ? std::optional<bool>(path.empty()) : std::nullopt;
  // A pass over a big file costs what its parse costs, and is made again for each question.
  if (st.st_size > kScanLimit) return std::nullopt;
  if (const FileIdentity identity = IdentityOf(st, fd.Get()); identity != scannedIdentity_) {
    scannedIdentity_ = identity;
    scans_ = 0;
    missing_.clear();
  }
  for (const std::vector<std::u16string>& gone : missing_) {
    if (gone.size() > path.size()) continue;
    std::size_t i = 0;
    while (i < gone.size() && SameName(gone[i], path[i])) ++i;
    if (i == gone.size()) {
      if (existing != nullptr) *existing = gone.size() - 1;
      return false;
    }
  }
  ++scans_;
  std::size_t deepest = 0;
  const std::optional<bool> found = ScanForKey(fd.Get(), path, &deepest);
  if (found == false && deepest < path.size())
    missing_.emplace_back(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(deepest) + 1);
  if (existing != nullptr) *existing = deepest;
  return found;
}

LONG BranchStore::Save(int dirFd) {
  if (const LONG refused = WriteRefusal()) return refused;
  const RegFileText::Pieces& text = text_.Render(*branch_, static_cast<std::size_t>(identity_.size));

  // A new file gets what Wine's would (0666 less the umask); a replaced one keeps its mode as
  // it is now (a chmod leaves the identity alone).
  struct stat now {};
  const bool replacing = ::fstatat(dirFd, name_.c_str(), &now, 0) == 0;
  const mode_t mode = replacing ? now.st_mode & 0777 : 0666;
  // Under the lock no other writer of ours is mid-save: a file of ours left here is a dead one's.
  TempFile::RemoveLeftovers(FileOps::Current(), dirFd, name_);
  TempFile temp(FileOps::Current(), dirFd);
  struct stat written {};
  int err = temp.Create(name_, mode);
  // The umask may have narrowed the mode; widening it back to the old file's shows nothing new.
  if (err == 0 && replacing) err = temp.SetMode(mode);
  if (err == 0) err = temp.Write(text);
  if (err == 0) err = temp.Sync();
  if (err == 0) err = temp.Keep(name_);
  // Until the folder is synced the new file may not survive a crash: do not claim success.
  if (err == TempFile::kFolderNotSynced) return ERROR_REGISTRY_IO_FAILED;
  if (err != 0) return StatusFromErrno(err);
  // The identity of the file in place (the rename itself set its ctime); when it cannot be
  // told, the next look reads the file again.
  identity_ = ::fstat(temp.Fd(), &written) == 0 ? IdentityOf(written, temp.Fd()) : FileIdentity{};
  state_ = State::Whole;
  return ERROR_SUCCESS;
}

}  // namespace vidazoz::wineprefix
