#include "temp_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

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
      return 0;
    }
    if (errno != EEXIST) break;
  }
  return errno;
}

int TempFile::SetMode(mode_t mode) { return ops_.Fchmod(fd_.Get(), mode) == 0 ? 0 : errno; }

int TempFile::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ops_.Write(fd_.Get(), text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? EIO : errno;
    text.remove_prefix(static_cast<std::size_t>(n));
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
