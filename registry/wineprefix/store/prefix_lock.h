// The writer lock of a prefix: a private lock file in the prefix folder, waited for with a
// deadline, and the wineserver's own lock held alongside so no server starts mid-save.
#pragma once

#include <chrono>
#include <string>

#include "unique_fd.h"
#include "win32_types.h"
#include "wineserver_probe.h"

namespace vidazoz::wineprefix {

class PrefixLock {
 public:
  static constexpr std::chrono::milliseconds kDeadline{3000};

  // ERROR_SUCCESS with both held. ERROR_LOCK_VIOLATION when another holder kept the lock past
  // the deadline, ERROR_SHARING_VIOLATION while a wineserver runs, ERROR_ACCESS_DENIED when the
  // lock file is not ours, ERROR_REGISTRY_IO_FAILED for other failures.
  // The lock file is `lockName` in the folder dirFd holds, the one the caller checked, and the
  // server's places are those of that folder.
  [[nodiscard]] LONG Acquire(int dirFd, const char* lockName, std::chrono::milliseconds deadline = kDeadline);
  // The lock file, open read-write (it holds the change count).
  int Fd() const { return fd_.Get(); }
  // The held folder's /proc/self/fd path, as the lock was taken in it.
  const std::string& FolderPath() const { return folder_; }

 private:
  UniqueFd fd_;
  std::string folder_;
  WineserverExclusion server_;
};

}  // namespace vidazoz::wineprefix
