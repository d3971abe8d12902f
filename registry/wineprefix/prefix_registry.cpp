#include "prefix_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "io_status.h"
#include "unique_fd.h"
#include "wineserver_probe.h"

namespace vidazoz::wineprefix {
namespace {

constexpr const char* kLockName = "/.vidazoz-registry.lock";

// system.reg's architecture from its first lines, without parsing the file: "win32" when it
// names none (Wine's reading) or does not exist (what a new prefix gets).
std::string MachineArch(const std::string& dir) {
  std::ifstream in(dir + "/system.reg");
  std::string line;
  for (int n = 0; n < 64 && std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("#arch=", 0) == 0) return line.substr(6);
    if (!line.empty() && line.front() == '[') break;
  }
  return "win32";
}

}  // namespace

RegBranch& RegistryView::BranchOf(Branch branch) {
  auto& pinned = pinned_[Index(branch)];
  if (!pinned) pinned = prefix_.Store(branch).Current(prefix_.Generation());
  return *pinned;
}

RegKey& RegistryView::Root(Branch branch) { return BranchOf(branch).root; }

PrefixRegistry::PrefixRegistry(PrefixLocation location)
    : location_(std::move(location)),
      lockPath_(location_.dir + kLockName),
      stores_{BranchStore(location_.dir + "/" + std::string(FileName(Branch::Machine))),
              BranchStore(location_.dir + "/" + std::string(FileName(Branch::User))),
              BranchStore(location_.dir + "/" + std::string(FileName(Branch::UserDefault)))} {}

LONG PrefixRegistry::PrepareNewFile(Branch branch, RegBranch& fresh) {
  fresh.rootComment = std::string(RootComment(branch));
  // Wine rejects a user file whose #arch differs from system.reg's.
  fresh.options = {"#arch=" + (branch == Branch::Machine ? std::string("win32") : MachineArch(location_.dir))};
  return ERROR_SUCCESS;
}

LONG PrefixRegistry::Change(Branch branch, const BranchChange& change) {
  std::error_code ec;
  if (std::filesystem::create_directories(location_.dir, ec)) {
    // A new prefix folder must itself survive a crash, or so would not the files in it.
    const std::string parent = std::filesystem::path(location_.dir).parent_path().string();
    UniqueFd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentFd) ::fsync(parentFd.Get());
  }
  if (ec) return StatusFromErrno(ec.value());

  UniqueFd lock(::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock) return StatusFromErrno(errno);
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return ERROR_REGISTRY_IO_FAILED;
  }

  WineserverExclusion server;
  if (!server.Acquire(location_.dir)) return ERROR_SHARING_VIOLATION;

  BranchStore& store = Store(branch);
  store.Current(Generation(), /*force=*/true);  // re-read under the lock when another writer changed it
  RegistryView view(*this);
  RegBranch& fresh = view.BranchOf(branch);
  if (!store.Complete()) return ERROR_REGISTRY_CORRUPT;
  // Wine ignores a user file whose architecture differs from system.reg's; keep it as it is.
  if (branch != Branch::Machine && !store.Arch().empty() && store.Arch() != MachineArch(location_.dir))
    return ERROR_REGISTRY_CORRUPT;
  if (store.Exists()) {
    if (::faccessat(AT_FDCWD, store.Path().c_str(), W_OK, AT_EACCESS) != 0) return ERROR_ACCESS_DENIED;
  } else if (fresh.rootComment.empty()) {
    PrepareNewFile(branch, fresh);
  }

  bool changed = false;
  const LONG status = change(view, changed);
  if (status != ERROR_SUCCESS && changed) store.Invalidate();  // memory no longer matches the file
  if (status != ERROR_SUCCESS || !changed) return status;
  const LONG saved = store.Save();
  if (saved == ERROR_SUCCESS) ChangeCounter::Bump(lock.Get());
  return saved;
}

}  // namespace vidazoz::wineprefix
