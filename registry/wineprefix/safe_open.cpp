// Opening files others may have planted.
#include "safe_open.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vidazoz::wineprefix {

UniqueFd OpenRegularForReading(int dirFd, const char* path, bool noFollow, struct stat& st) {
  UniqueFd fd(::openat(dirFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (noFollow ? O_NOFOLLOW : 0)));
  if (!fd) return fd;
  if (::fstat(fd.Get(), &st) != 0) return UniqueFd();
  if (!S_ISREG(st.st_mode)) {
    errno = ENXIO;
    return UniqueFd();
  }
  return fd;
}

UniqueFd OpenRegularForReading(const char* path, bool noFollow, struct stat& st) {
  return OpenRegularForReading(AT_FDCWD, path, noFollow, st);
}

bool OwnedByUs(const struct stat& st) { return st.st_uid == ::geteuid(); }

}  // namespace vidazoz::wineprefix
