#include "branch_store.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "change_counter.h"
#include "file_ops.h"
#include "io_status.h"
#include "key_scan.h"
#include "reg_load.h"
#include "safe_open.h"
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

bool WriteAll(FileOps& ops, int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ops.Write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A new file next to the one it will replace, under a name nobody can guess ahead (another
// user could otherwise block saves in a sticky folder by taking a fixed name). Removed unless
// renamed into place.
class TempFile {
 public:
  TempFile(FileOps& ops, const std::string& dir, const std::string& name, mode_t mode) : ops_(ops) {
    for (int attempt = 0; attempt < 16; ++attempt) {
      unsigned long long random = 0;
      if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
        random ^= static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                  (static_cast<unsigned long long>(::getpid()) << 32) ^ static_cast<unsigned long long>(attempt);
      char suffix[20];
      std::snprintf(suffix, sizeof suffix, "%016llx", random);
      path_ = dir + "/." + name + ".vidazoz-" + suffix;
      // Created with its final mode: never readable by others in between.
      fd_.Reset(ops.Open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (fd_ || errno != EEXIST) break;
    }
    if (!fd_) path_.clear();
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.Reset();
    if (!path_.empty()) ops_.Unlink(path_.c_str());
  }
  int Fd() const { return fd_.Get(); }
  bool Renamed(const std::string& to) {
    fd_.Reset();
    if (ops_.Rename(path_.c_str(), to.c_str()) != 0) return false;
    path_.clear();
    return true;
  }

 private:
  FileOps& ops_;
  std::string path_;
  UniqueFd fd_;
};

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
  FileIdentity identity;
  State state = State::Missing;
  int readErrno = 0;
  std::string arch;
  struct stat st {};
  // Only a regular file, opened without blocking: a FIFO or a device reads as unreadable.
  const UniqueFd fd = OpenRegularForReading(path_.c_str(), /*noFollow=*/false, st);
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
      identity = IdentityOf(st);
      state = result.complete ? State::Whole : State::Damaged;
      arch = std::move(result.arch);
    }
  }
  // All or nothing: nothing from here on throws.
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
    case State::Unreadable: return readErrno_ == EACCES ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
  }
  return ERROR_REGISTRY_IO_FAILED;
}

std::optional<bool> BranchStore::ExistsWithoutTree(const std::vector<std::u16string_view>& path) {
  if (loaded_ || scans_ >= kScanBudget) return std::nullopt;
  struct stat st {};
  UniqueFd fd = OpenRegularForReading(path_.c_str(), /*noFollow=*/false, st);
  if (!fd) return errno == ENOENT ? std::optional<bool>(path.empty()) : std::nullopt;
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
  if (const LONG refused = WriteRefusal()) return refused;
  FileOps& ops = FileOps::Current();
  const std::size_t slash = path_.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash);
  const std::string name = path_.substr(slash + 1);
  WriteRegFile(*branch_, saveBuffer_);

  // A new file gets what Wine's would (0666 less the umask); a replaced one keeps its mode as
  // it is now (a chmod leaves the identity alone).
  struct stat now {};
  const bool replacing = ::stat(path_.c_str(), &now) == 0;
  const mode_t mode = replacing ? now.st_mode & 0777 : 0666;
  TempFile temp(ops, dir, name, mode);
  if (temp.Fd() < 0) return StatusFromErrno(errno);
  // The umask may have narrowed the mode; widening it back to the old file's shows nothing new.
  if (replacing && ops.Fchmod(temp.Fd(), mode) != 0) return StatusFromErrno(errno);
  struct stat written {};
  if (!WriteAll(ops, temp.Fd(), saveBuffer_)) return StatusFromErrno(errno);
  if (ops.Fsync(temp.Fd()) != 0) return StatusFromErrno(errno);
  if (::fstat(temp.Fd(), &written) != 0) return StatusFromErrno(errno);
  // Onto the name itself: a symlink planted there is replaced, its target never touched.
  if (!temp.Renamed(path_)) return StatusFromErrno(errno);
  UniqueFd dirFd(ops.Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  // Until the folder is synced the new file may not survive a crash: do not claim success.
  if (!dirFd || ops.Fsync(dirFd.Get()) != 0) return ERROR_REGISTRY_IO_FAILED;
  identity_ = IdentityOf(written);
  state_ = State::Whole;
  return ERROR_SUCCESS;
}

}  // namespace vidazoz::wineprefix
