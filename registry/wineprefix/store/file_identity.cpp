// A file version's identity: stat fields plus the inode generation where the file system has one.
#include "file_identity.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include "unique_fd.h"

namespace vidazoz::wineprefix {

FileIdentity IdentityOf(const struct stat& st, int fd) {
  // The kernel writes an int here on some file systems and a long on others: a zeroed long
  // holds either.
  long generation = 0;
  if (fd >= 0 && ::ioctl(fd, FS_IOC_GETVERSION, &generation) != 0) generation = 0;
  return {true,
          st.st_dev,
          st.st_ino,
          st.st_size,
          st.st_mtim.tv_sec,
          st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec,
          st.st_ctim.tv_nsec,
          static_cast<std::uint64_t>(static_cast<unsigned long>(generation))};
}

FileIdentity IdentityAt(int dirFd, const char* path) {
  struct stat st {};
  if (::fstatat(dirFd, path, &st, 0) != 0) return {};
  // Only a regular file is opened (never a FIFO or device); without read access the stat alone
  // serves, and that file cannot be loaded anyway.
  if (!S_ISREG(st.st_mode)) return IdentityOf(st, -1);
  const UniqueFd fd(::openat(dirFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat now {};
  if (!fd || ::fstat(fd.Get(), &now) != 0) return IdentityOf(st, -1);
  return IdentityOf(now, fd.Get());
}

}  // namespace vidazoz::wineprefix
