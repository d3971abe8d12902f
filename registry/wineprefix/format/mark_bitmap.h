// Where two marker bytes stand in a buffer, found in one vector pass: a pass that looks only at
// the lines those bytes start visits them without a library call per line.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vidazoz::wineprefix {

// The ways to build the bitmap, slowest first.
enum class MarkPass { kPlain, kSse2, kAvx2 };

// Whether this processor runs the pass; the fastest it runs is the one Build takes.
bool CanRunMarkPass(MarkPass pass);
MarkPass FastestMarkPass();

class MarkBitmap {
 public:
  MarkBitmap(char first, char second) : first_(first), second_(second) {}

  // The marked positions of the last buffer, in order; a value its user keeps in registers.
  class Visit {
   public:
    // The offset of the next marked position; Size() once none is left.
    std::size_t Next() {
      while (pending_ == 0) {
        if (word_ + 1 >= words_) return size_;
        pending_ = bits_[++word_];
      }
      const std::size_t at = word_ * 64 + static_cast<std::size_t>(std::countr_zero(pending_));
      pending_ &= pending_ - 1;
      return at;
    }

    // Leaves out the marks before `offset`; it never goes back.
    void SkipTo(std::size_t offset) {
      const std::size_t word = offset / 64;
      if (word < word_) return;
      if (word >= words_) {
        word_ = words_;
        pending_ = 0;
        return;
      }
      if (word > word_) {
        word_ = word;
        pending_ = bits_[word];
      }
      pending_ &= ~std::uint64_t{0} << (offset % 64);
    }

    std::size_t Size() const { return size_; }

   private:
    friend class MarkBitmap;
    Visit(const std::uint64_t* bits, std::size_t words, std::size_t size)
        : bits_(bits), words_(words), size_(size), pending_(words > 0 ? bits[0] : 0) {}

    const std::uint64_t* bits_;
    std::size_t words_, size_;
    std::size_t word_ = 0;
    std::uint64_t pending_;  // marks of that word not visited yet
  };

  // Marks every position of the buffer that holds either byte, forgetting the last buffer's.
  void Build(const char* data, std::size_t size, MarkPass pass = FastestMarkPass());

  // A visit of the marks, valid until the next Build.
  Visit Marks() const { return Visit(bits_.get(), words_, size_); }

 private:
  char first_, second_;
  std::size_t size_ = 0;
  std::size_t words_ = 0;     // in use; the positions past size_ are clear
  std::size_t capacity_ = 0;  // of bits_, in words
  std::unique_ptr<std::uint64_t[]> bits_;
};

}  // namespace vidazoz::wineprefix
