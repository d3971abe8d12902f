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

UniqueFd OpenRegFileForReading(int dirFd, const char* path, struct stat& st) {
  UniqueFd fd = OpenRegularForReading(dirFd, path, /*noFollow=*/false, st);
  if (!fd) return fd;
  // Holes: far fewer blocks than bytes. A small file, or one a compressing file system stores
  // in a fraction of its size, stays well inside the margin.
  constexpr off_t kHoleFloor = off_t{16} << 20;
  const bool mostlyHoles = st.st_size > kHoleFloor && st.st_blocks < st.st_size / 512 / 16;
  if (st.st_size > kMaxRegFileSize || mostlyHoles) {
    errno = EFBIG;
    return UniqueFd();
  }
  return fd;
}

std::string HeldFolderPath(int dirFd) {
  std::string path = "/proc/self/fd/" + std::to_string(dirFd);
  struct stat held {}, named {};
  if (::fstat(dirFd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
      held.st_ino != named.st_ino)
    return {};
  return path;
}

bool OwnedByUs(const struct stat& st) { return st.st_uid == ::geteuid(); }

}  // namespace vidazoz::wineprefix
