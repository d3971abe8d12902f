#include "change_counter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "safe_open.h"

namespace vidazoz::wineprefix {
namespace {

// The count at the start of the file; a short or empty file counts as zero.
bool ReadCount(int fd, std::uint64_t& count) {
  std::uint64_t value = 0;
  ssize_t got;
  do {
    got = ::pread(fd, &value, sizeof value, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return false;
  if (got < static_cast<ssize_t>(sizeof value)) value = 0;
  count = value;
  return true;
}

}  // namespace

void ChangeCounter::Follow(const std::string& lockPath) {
  if (fd_) return;
  struct stat st {};
  // A description of its own: the writer's flock stays the writer's.
  fd_ = OpenRegularForReading(lockPath.c_str(), /*noFollow=*/true, st);
}

std::uint64_t ChangeCounter::Read(const std::string& lockPath) {
  if (!fd_) {
    const auto now = LookAgain::Clock::now();
    if (!look_.NeedsLook(now)) return kUnknown;
    look_.Looked(now);
    Follow(lockPath);
    if (!fd_) return kUnknown;
  }
  std::uint64_t count = 0;
  if (!ReadCount(fd_.Get(), count)) {
    fd_.Reset();
    return kUnknown;
  }
  // Never kUnknown itself, so that a count is always told from no count.
  return count == kUnknown ? 0 : count;
}

std::uint64_t ChangeCounter::ReadHeld(int lockFd) {
  std::uint64_t count = 0;
  if (!ReadCount(lockFd, count)) return kUnknown;
  return count == kUnknown ? 0 : count;
}

bool ChangeCounter::Bump(int lockFd) {
  std::uint64_t count = 0;
  if (!ReadCount(lockFd, count)) return false;
  ++count;
  ssize_t put;
  do {
    put = ::pwrite(lockFd, &count, sizeof count, 0);
  } while (put < 0 && errno == EINTR);
  return put == static_cast<ssize_t>(sizeof count);
}

}  // namespace vidazoz::wineprefix
