#include "temp_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>

#include "lock_range.h"
#include "safe_open.h"

namespace vidazoz::wineprefix {

TempFile::~TempFile() {
  fd_.Reset();
  if (!name_.empty()) ops_.Unlink(dirFd_, name_.c_str());
}

int TempFile::Create(std::string_view name, mode_t mode) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned long long random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
      random ^= static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<unsigned long long>(::getpid()) << 32) ^ static_cast<unsigned long long>(attempt);
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%016llx", random);
    std::string candidate = "." + std::string(name) + ".vidazoz-" + suffix;
    // Created with its final mode: never readable by others in between.
    fd_.Reset(ops_.Open(dirFd_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd_) {
      name_ = std::move(candidate);
      // Held by this open file until it closes, whoever else in the process opens the file.
      struct flock lock = LockRange(F_WRLCK, 0);
      (void)::fcntl(fd_.Get(), F_OFD_SETLK, &lock);
      return 0;
    }
    if (errno != EEXIST) break;
  }
  return errno;
}

void TempFile::RemoveLeftovers(FileOps& ops, int dirFd, std::string_view name) {
  const std::string stem = "." + std::string(name) + ".vidazoz-";
  UniqueFd listFd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* const list = listFd ? ::fdopendir(listFd.Get()) : nullptr;
  if (list == nullptr) return;
  (void)listFd.Release();  // the DIR owns it now
  const std::unique_ptr<DIR, int (*)(DIR*)> closer(list, ::closedir);
  while (const dirent* entry = ::readdir(list)) {
    const std::string_view found(entry->d_name);
    if (!found.starts_with(stem) || found.size() != stem.size() + 16 ||
        found.substr(stem.size()).find_first_not_of("0123456789abcdef") != std::string_view::npos)
      continue;
    struct stat st {};
    const UniqueFd fd = OpenRegularForReading(dirFd, entry->d_name, /*noFollow=*/true, st);
    if (!fd || !OwnedByUs(st)) continue;
    // A read lock is refused while a live writer holds its file's write lock.
    struct flock lock = LockRange(F_RDLCK, 0);
    if (::fcntl(fd.Get(), F_OFD_SETLK, &lock) != 0) continue;
    ops.Unlink(dirFd, entry->d_name);
  }
}

int TempFile::SetMode(mode_t mode) { return ops_.Fchmod(fd_.Get(), mode) == 0 ? 0 : errno; }

int TempFile::Write(std::string_view text) { return Write(std::vector<std::string_view>{text}); }

int TempFile::Write(const std::vector<std::string_view>& pieces) {
  std::vector<iovec> left;
  left.reserve(pieces.size());
  for (const std::string_view piece : pieces)
    if (!piece.empty()) left.push_back({const_cast<char*>(piece.data()), piece.size()});
  for (std::size_t next = 0; next < left.size();) {
    const int count = static_cast<int>(std::min<std::size_t>(left.size() - next, IOV_MAX));
    ssize_t n = ops_.Writev(fd_.Get(), &left[next], count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? EIO : errno;
    // A short write leaves the rest of a piece, and those after it.
    for (; n > 0 && static_cast<std::size_t>(n) >= left[next].iov_len; ++next) n -= static_cast<ssize_t>(left[next].iov_len);
    if (n > 0) {
      left[next].iov_base = static_cast<char*>(left[next].iov_base) + n;
      left[next].iov_len -= static_cast<std::size_t>(n);
    }
  }
  return 0;
}

int TempFile::Sync() { return ops_.Fsync(fd_.Get()) == 0 ? 0 : errno; }

int TempFile::Keep(const std::string& target) {
  if (ops_.Rename(dirFd_, name_.c_str(), target.c_str()) != 0) return errno;
  name_.clear();
  return ops_.Fsync(dirFd_) == 0 ? 0 : kFolderNotSynced;
}

}  // namespace vidazoz::wineprefix
