#include "prefix_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "unique_fd.h"
#include "wineserver_probe.h"

namespace vidazoz::wineprefix {
namespace {

constexpr const char* kLockName = "/.vidazoz-registry.lock";

LONG StatusFromErrno(int err) {
  return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
}

std::string ArchOption(const RegBranch& machine) {
  for (const std::string& option : machine.options)
    if (option.rfind("#arch=", 0) == 0) return option;
  return "#arch=win32";  // Wine's reading of a prefix without one, and what a new prefix gets
}

}  // namespace

RegBranch& RegistryView::BranchOf(Branch branch) {
  auto& pinned = pinned_[Index(branch)];
  if (!pinned) pinned = prefix_.Store(branch).Current();
  return *pinned;
}

RegKey& RegistryView::Root(Branch branch) { return BranchOf(branch).root; }

PrefixRegistry::PrefixRegistry(PrefixLocation location)
    : location_(std::move(location)),
      stores_{BranchStore(location_.dir + "/" + std::string(FileName(Branch::Machine))),
              BranchStore(location_.dir + "/" + std::string(FileName(Branch::User))),
              BranchStore(location_.dir + "/" + std::string(FileName(Branch::UserDefault)))} {}

LONG PrefixRegistry::PrepareNewFile(Branch branch, RegBranch& fresh) {
  fresh.rootComment = std::string(RootComment(branch));
  // Wine rejects a user file whose #arch differs from system.reg's.
  if (branch == Branch::Machine) {
    fresh.options = {"#arch=win32"};
  } else {
    fresh.options = {ArchOption(*Store(Branch::Machine).Current())};
  }
  return ERROR_SUCCESS;
}

LONG PrefixRegistry::Change(Branch branch, const BranchChange& change) {
  std::error_code ec;
  std::filesystem::create_directories(location_.dir, ec);
  if (ec) return StatusFromErrno(ec.value());

  UniqueFd lock(::open((location_.dir + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock) return StatusFromErrno(errno);
  while (::flock(lock.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) return ERROR_REGISTRY_IO_FAILED;
  }

  WineserverExclusion server;
  if (!server.Acquire(location_.dir)) return ERROR_SHARING_VIOLATION;

  BranchStore& store = Store(branch);
  RegistryView view(*this);
  RegBranch& fresh = view.BranchOf(branch);  // re-read under the lock when another writer changed it
  if (!store.Complete()) return ERROR_REGISTRY_CORRUPT;
  if (store.Exists()) {
    if (::faccessat(AT_FDCWD, store.Path().c_str(), W_OK, AT_EACCESS) != 0) return ERROR_ACCESS_DENIED;
  } else if (fresh.rootComment.empty()) {
    PrepareNewFile(branch, fresh);
  }

  bool changed = false;
  const LONG status = change(view, changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  return store.Save();
}

}  // namespace vidazoz::wineprefix
