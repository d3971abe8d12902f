#include "prefix_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <thread>

#include "io_status.h"
#include "safe_open.h"

namespace vidazoz::wineprefix {

LONG PrefixLock::Acquire(int dirFd, const char* lockName, std::chrono::milliseconds deadline) {
  // Private from the start: anyone who can open it can hold a lock on it.
  fd_.Reset(::openat(dirFd, lockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
  if (!fd_) return StatusFromErrno(errno);
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0) return StatusFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return ERROR_REGISTRY_IO_FAILED;
  if (!OwnedByUs(st)) return ERROR_ACCESS_DENIED;
  // One made by an older version may be open to others; from now on it is not.
  if ((st.st_mode & 077) != 0 && ::fchmod(fd_.Get(), 0600) != 0) return StatusFromErrno(errno);

  const auto until = std::chrono::steady_clock::now() + deadline;
  auto pause = std::chrono::microseconds(200);
  while (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return ERROR_REGISTRY_IO_FAILED;
    if (std::chrono::steady_clock::now() >= until) return ERROR_LOCK_VIOLATION;
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
  }
  // The server's places are named after the folder checked, never after what its path names now.
  folder_ = HeldFolderPath(dirFd);
  if (folder_.empty()) return ERROR_REGISTRY_IO_FAILED;
  return server_.Acquire(folder_);
}

}  // namespace vidazoz::wineprefix
