#include "prefix_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "file_ops.h"
#include "io_status.h"
#include "key_scan.h"
#include "prefix_lock.h"
#include "safe_open.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {
namespace {

constexpr const char* kLockName = ".vidazoz-registry.lock";

// system.reg's architecture, in the folder dirFd holds, from its first lines without parsing
// the file: "win32" when it names none (Wine's reading) or does not exist (what a new prefix gets).
std::string MachineArch(int dirFd) {
  struct stat st {};
  const UniqueFd fd = OpenRegFileForReading(dirFd, "system.reg", st);
  std::string arch = fd ? DeclaredArch(fd.Get()) : std::string();
  return arch.empty() ? "win32" : arch;
}

// Creates the prefix folder and any missing parents, each made durable in its parent: a new
// folder whose entry is lost in a crash takes every file in it along. Returns an errno.
int MakeFolders(const std::string& dir, mode_t mode) {
  FileOps& ops = FileOps::Current();
  std::size_t at = 1;
  while (at <= dir.size()) {
    std::size_t end = dir.find('/', at);
    if (end == std::string::npos) end = dir.size();
    const std::string path = dir.substr(0, end);
    at = end + 1;
    struct stat st {};
    if (path.empty() || path.back() == '/' || ::stat(path.c_str(), &st) == 0) continue;
    if (ops.Mkdir(path.c_str(), mode) != 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    const std::string parent = path.substr(0, path.rfind('/'));
    UniqueFd parentFd(ops.Open(AT_FDCWD, parent.empty() ? "/" : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!parentFd || ops.Fsync(parentFd.Get()) != 0) return errno != 0 ? errno : EIO;
  }
  return 0;
}

// Wine runs only in a prefix the user owns; nor do we write anyone else's. The folder is
// resolved once and held: every later step of the call acts on it, whatever its path names by
// then (someone who can write the parent folder may swap the prefix for a link meanwhile).
LONG OpenOwnedPrefix(const std::string& dir, UniqueFd& fd) {
  fd.Reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!fd || ::fstat(fd.Get(), &st) != 0) return StatusFromErrno(errno);
  return OwnedByUs(st) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The prefix folder, made first when it is missing (a new prefix).
LONG OpenOrMakeOwnedPrefix(const PrefixLocation& location, UniqueFd& fd) {
  const LONG status = OpenOwnedPrefix(location.dir, fd);
  if (fd || errno != ENOENT) return status;
  if (const int err = MakeFolders(location.dir, location.isPrivate ? 0700 : 0777)) return StatusFromErrno(err);
  return OpenOwnedPrefix(location.dir, fd);
}

// Holds the caller's mutex again however the scope is left.
class Relock {
 public:
  explicit Relock(std::mutex& m) : m_(m) { m_.unlock(); }
  Relock(const Relock&) = delete;
  Relock& operator=(const Relock&) = delete;
  ~Relock() { m_.lock(); }

 private:
  std::mutex& m_;
};

std::string FilePath(const PrefixLocation& location, Branch branch) {
  // No usable prefix: a name that opens nothing, never a file at the root.
  return location.dir.empty() ? std::string() : location.dir + "/" + std::string(FileName(branch));
}

}  // namespace

RegBranch& RegistrySnapshot::BranchOf(Branch branch) {
  auto& pinned = pinned_[Index(branch)];
  if (!pinned && source_ == Source::ServerWhenLive) {
    pinned = prefix_.Live().Current(branch, !polled_);
    polled_ = true;
  }
  if (!pinned) pinned = prefix_.Store(branch).Current(Generation());
  return *pinned;
}

std::uint64_t RegistrySnapshot::Generation() {
  if (!generation_) generation_ = prefix_.Generation();
  return *generation_;
}

RegKey& RegistrySnapshot::Root(Branch branch) { return BranchOf(branch).root; }

PrefixRegistry::PrefixRegistry(PrefixLocation location)
    : location_(std::move(location)),
      lockPath_(location_.dir.empty() ? std::string() : location_.dir + "/" + kLockName),
      stores_{BranchStore(FilePath(location_, Branch::Machine)), BranchStore(FilePath(location_, Branch::User)),
              BranchStore(FilePath(location_, Branch::UserDefault))},
      live_(location_.dir) {}

LONG PrefixRegistry::PrepareNewFile(Branch branch, RegBranch& fresh, int dirFd) {
  fresh.rootComment = std::string(RootComment(branch));
  // Wine rejects a user file whose #arch differs from system.reg's.
  fresh.options = {"#arch=" + (branch == Branch::Machine ? std::string("win32") : MachineArch(dirFd))};
  return ERROR_SUCCESS;
}

LONG PrefixRegistry::Change(Branch branch, std::mutex& held, const BranchChange& change) {
  if (location_.dir.empty()) return ERROR_BAD_PATHNAME;
  try {
    UniqueFd dir;
    if (const LONG status = OpenOrMakeOwnedPrefix(location_, dir)) return status;
    PrefixLock lock;
    {
      // Waiting for another writer must not stop this process's readers and writers.
      const Relock relock(held);
      if (const LONG status = lock.Acquire(dir.Get(), kLockName)) return status;
    }
    return ChangeLocked(branch, change, lock, dir.Get());
  } catch (const std::bad_alloc&) {
    Store(branch).Invalidate();  // whatever the change did in memory is dropped
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    Store(branch).Invalidate();
    throw;
  }
}

LONG PrefixRegistry::ChangeLocked(Branch branch, const BranchChange& change, const PrefixLock& lock, int dirFd) {
  const int lockFd = lock.Fd();
  // The count in the folder checked: a path named now may lead into another prefix.
  counter_.Follow(lock.FolderPath() + "/" + kLockName);
  BranchStore& store = Store(branch);
  // The change is saved to the file: it reads the files, never a running server's registry.
  RegistrySnapshot snapshot(*this, RegistrySnapshot::Source::FilesOnly);
  // Re-read under the lock unless the cache is proven current, from the folder checked.
  const std::uint64_t heldCount = ChangeCounter::ReadHeld(lockFd);
  snapshot.pinned_[Index(branch)] = store.CurrentIn(dirFd, heldCount);
  RegBranch& fresh = snapshot.BranchOf(branch);
  if (const LONG refused = store.WriteRefusal()) return refused;
  // Wine ignores a user file whose architecture differs from system.reg's; keep it as it is.
  if (branch != Branch::Machine && !store.Arch().empty() && store.Arch() != MachineArch(dirFd))
    return ERROR_REGISTRY_CORRUPT;
  if (store.Exists()) {
    if (!store.Writable(dirFd)) return ERROR_ACCESS_DENIED;
  } else if (fresh.rootComment.empty()) {
    PrepareNewFile(branch, fresh, dirFd);
  }

  bool changed = false;
  const LONG status = change(snapshot, changed);
  if (status != ERROR_SUCCESS && changed) store.Invalidate();  // memory no longer matches the file
  if (status != ERROR_SUCCESS || !changed) return status;
  const LONG saved = store.Save(dirFd);
  if (saved != ERROR_SUCCESS) {
    store.Invalidate();  // the change is on no disk: forget it, and a retry writes it again
    return saved;
  }
  // A count not written only delays other processes' look by one window; the file is safe,
  // though our next write under the lock then reads it again.
  const bool bumped = heldCount != ChangeCounter::kUnknown && ChangeCounter::Bump(lockFd);
  const std::uint64_t savedAt = bumped ? ChangeCounter::ReadHeld(lockFd) : ChangeCounter::kUnknown;
  store.SavedAt(savedAt);
  if (savedAt == heldCount + 1)
    for (BranchStore& other : stores_)
      if (&other != &store) other.OtherSaved(heldCount, savedAt);
  return ERROR_SUCCESS;
}

}  // namespace vidazoz::wineprefix
