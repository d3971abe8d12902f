// LineReader: the one way every pass over a .reg file reads its lines, from a text in memory or
// from a file in chunks, so the parser, the key scan and the #arch read split lines alike.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vidazoz::wineprefix {

// Fills up to `capacity` bytes at `into`; returns the count, 0 at the end, or -1 on an error.
using ReadChunk = std::function<std::ptrdiff_t(char* into, std::size_t capacity)>;

// Reads fd from its offset, again when a signal interrupts; a failure's errno goes to *failure.
ReadChunk ReadFd(int fd, int* failure = nullptr);

// Lines as Wine's reader sees them: without the LF and one CR before it, and cut at a NUL.
// From chunks, only the unfinished line is kept between reads.
class LineReader {
 public:
  explicit LineReader(std::string_view text)
      : cursor_(text.data()), end_(text.data() + text.size()),
        hasNul_(!text.empty() && std::memchr(text.data(), 0, text.size()) != nullptr) {}  // an empty view may be null
  // Chunks start small and double up to maxChunk while the file fills them: a small file never
  // touches a big buffer, and a big one is not read in many small calls.
  LineReader(ReadChunk read, std::size_t maxChunk)
      : read_(std::move(read)), chunk_(std::min(kFirstChunk, maxChunk)), maxChunk_(maxChunk) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, valid until the next call; false at the end of the input or after a read error.
  bool Next(std::string_view& line) {
    const char* nl = cursor_ < end_ ? static_cast<const char*>(std::memchr(cursor_, '\n', static_cast<std::size_t>(end_ - cursor_))) : nullptr;
    while (nl == nullptr && read_ && !endOfInput_) nl = Refill();
    if (cursor_ >= end_) return false;
    ++lineNumber_;
    const char* start = cursor_;
    const char* stop = nl != nullptr ? nl : end_;
    cursor_ = nl != nullptr ? nl + 1 : end_;
    if (nl != nullptr && stop > start && stop[-1] == '\r') --stop;
    cutAtNul_ = false;
    if (hasNul_) {
      if (const void* nul = std::memchr(start, 0, static_cast<std::size_t>(stop - start))) {
        cutAtNul_ = true;
        stop = static_cast<const char*>(nul);
      }
    }
    line = std::string_view(start, static_cast<std::size_t>(stop - start));
    return true;
  }

  std::size_t LineNumber() const { return lineNumber_; }  // of the last line Next gave, from 1
  bool CutAtNul() const { return cutAtNul_; }             // whether that line held a NUL
  bool ReadFailed() const { return readFailed_; }

 private:
  static constexpr std::size_t kFirstChunk = 16u << 10;

  const char* Refill();

  const char* cursor_ = nullptr;
  const char* end_ = nullptr;
  bool hasNul_ = false;
  bool cutAtNul_ = false;
  std::size_t lineNumber_ = 0;

  ReadChunk read_;
  std::string buffer_;
  std::size_t chunk_ = 0;
  std::size_t maxChunk_ = 0;
  bool endOfInput_ = false;
  bool readFailed_ = false;
};

}  // namespace vidazoz::wineprefix
