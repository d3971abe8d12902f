// Reading a .reg file's lines in chunks.
#include "line_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vidazoz::wineprefix {

ReadChunk ReadFd(int fd, int* failure) {
  return [fd, failure](char* into, std::size_t capacity) -> std::ptrdiff_t {
    for (;;) {
      const ssize_t got = ::read(fd, into, capacity);
      if (got >= 0) return got;
      if (errno != EINTR) {
        if (failure != nullptr) *failure = errno;
        return -1;
      }
    }
  };
}

// Keeps the unfinished line, reads the next chunk behind it, and returns the end of the line
// when it is now complete. Lines already handed out are not kept.
const char* LineReader::Refill() {
  const std::size_t kept = static_cast<std::size_t>(end_ - cursor_);
  if (kept > 0 && cursor_ != buffer_.data()) std::memmove(buffer_.data(), cursor_, kept);
  if (buffer_.size() < kept + chunk_) buffer_.resize(kept + chunk_);
  const std::size_t room = buffer_.size() - kept;
  const std::ptrdiff_t got = read_(buffer_.data() + kept, room);
  if (got > 0 && static_cast<std::size_t>(got) == room) chunk_ = std::min(2 * chunk_, maxChunk_);
  if (got < 0) readFailed_ = true;
  if (got <= 0) endOfInput_ = true;
  const std::size_t filled = kept + static_cast<std::size_t>(got > 0 ? got : 0);
  cursor_ = buffer_.data();
  end_ = buffer_.data() + filled;
  if (got > 0 && std::memchr(buffer_.data() + kept, 0, static_cast<std::size_t>(got))) hasNul_ = true;
  return static_cast<const char*>(std::memchr(buffer_.data() + kept, '\n', filled - kept));
}

}  // namespace vidazoz::wineprefix
