#include "branch_store.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "change_counter.h"
#include "key_scan.h"
#include "key_scan.h"
#include "io_status.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {
namespace {

FileIdentity IdentityOf(const struct stat& st) {
  return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

FileIdentity StatIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return IdentityOf(st);
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A symlinked file is replaced where it really lives, so the link stays a link.
std::string RealTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

std::shared_ptr<RegBranch> BranchStore::Current(std::uint64_t generation, bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (loaded_ && !force && generation == seenGeneration_ && now - lastStat_ < kExternalChangeWindow) return branch_;
  seenGeneration_ = generation;
  lastStat_ = now;
  if (!loaded_ || StatIdentity(path_) != identity_) Load();
  return branch_;
}

void BranchStore::Load() {
  auto branch = std::make_shared<RegBranch>();
  // Stat first: should the file be replaced during the read, the next call sees a new identity.
  identity_ = StatIdentity(path_);
  std::error_code error;
  const ParseResult result = LoadRegFile(path_, *branch, error);
  // A missing file is an empty branch; one we cannot read is empty too, and never rewritten.
  complete_ = error ? error == std::errc::no_such_file_or_directory : result.complete;
  arch_ = result.arch;
  if (error) identity_ = {};
  branch_ = std::move(branch);
  loaded_ = true;
}

std::optional<bool> BranchStore::ExistsWithoutTree(const std::vector<std::u16string_view>& path) {
  if (loaded_ || scans_ >= kScanBudget) return std::nullopt;
  UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return errno == ENOENT ? std::optional<bool>(path.empty()) : std::nullopt;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return std::nullopt;
  if (IdentityOf(st) != scannedIdentity_) {
    scannedIdentity_ = IdentityOf(st);
    scans_ = 0;
    missing_.clear();
  }
  for (const std::vector<std::u16string>& gone : missing_) {
    if (gone.size() > path.size()) continue;
    std::size_t i = 0;
    while (i < gone.size() && SameName(gone[i], path[i])) ++i;
    if (i == gone.size()) return false;
  }
  ++scans_;
  std::size_t existing = 0;
  const std::optional<bool> found = ScanForKey(fd.Get(), path, &existing);
  if (found == false && existing < path.size())
    missing_.emplace_back(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(existing) + 1);
  return found;
}

LONG BranchStore::Save() {
  const std::string target = RealTarget(path_);
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
  const std::string temp = dir + "/." + target.substr(slash + 1) + ".vidazoz-new";

  struct stat old {};
  const bool hadOld = ::stat(target.c_str(), &old) == 0;
  WriteRegFile(*branch_, saveBuffer_);
  const std::string& text = saveBuffer_;

  // Writers hold the prefix lock, so a leftover from a killed writer is ours to replace.
  ::unlink(temp.c_str());
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd) return StatusFromErrno(errno);
  int err = 0;
  if (hadOld) {
    if (::fchmod(fd.Get(), old.st_mode & 07777) != 0) err = errno;
    // Only root can give a file away; for others the owner is already right.
    if (err == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
      // Not root: the file stays ours, which is what the next writer needs anyway.
    }
  }
  struct stat written {};
  if (err == 0 && !WriteAll(fd.Get(), text)) err = errno != 0 ? errno : EIO;
  if (err == 0 && ::fsync(fd.Get()) != 0) err = errno;
  if (err == 0 && ::fstat(fd.Get(), &written) != 0) err = errno;
  fd.Reset();
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    Invalidate();
    return StatusFromErrno(err);
  }
  UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd || ::fsync(dirFd.Get()) != 0) {
    // The new file is in place but may not survive a crash yet: do not claim success.
    Invalidate();
    return ERROR_REGISTRY_IO_FAILED;
  }
  identity_ = IdentityOf(written);  // stat follows a symlinked path to this same file
  complete_ = true;
  return ERROR_SUCCESS;
}

}  // namespace vidazoz::wineprefix
