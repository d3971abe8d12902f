// The marks of every pass the processor runs against a byte-by-byte reading, over buffers of
// every length around the 64-byte words, at every alignment, visited with and without skips.
#include "mark_bitmap.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vidazoz::testing {
namespace {

using wineprefix::MarkBitmap;
using wineprefix::MarkPass;

std::vector<std::size_t> Visited(MarkBitmap& marks, std::mt19937& random, std::size_t size, bool skipping) {
  std::vector<std::size_t> seen;
  MarkBitmap::Visit visit = marks.Marks();
  for (std::size_t at; (at = visit.Next()) < visit.Size();) {
    seen.push_back(at);
    if (skipping && random() % 4 == 0) {
      const std::size_t to = at + 1 + random() % 150;
      visit.SkipTo(to);
      seen.push_back(~std::size_t{0});  // stands for the skip's end in the expected list
      seen.push_back(std::min(to, size));
    }
  }
  return seen;
}

TEST(MarkBitmap, EveryPassMarksWhatABytewiseReadingFinds) {
  std::mt19937 random(20261209);
  const std::string alphabet("[#a\n\\]\0\x80\xff", 9);
  int passes = 0;
  for (const MarkPass pass : {MarkPass::kPlain, MarkPass::kSse2, MarkPass::kAvx2}) {
    if (!wineprefix::CanRunMarkPass(pass)) continue;
    ++passes;
    MarkBitmap marks('[', '#');
    for (int round = 0; round < 3000; ++round) {
      const std::size_t size = round < 300 ? static_cast<std::size_t>(round) : random() % 700;
      const std::size_t offset = random() % 64;  // the buffer at any alignment
      std::string storage(offset + size, '\0');
      for (char& c : storage) c = alphabet[random() % alphabet.size()];
      const char* data = storage.data() + offset;
      marks.Build(data, size, pass);
      ASSERT_EQ(marks.Marks().Size(), size);

      const bool skipping = round % 2 == 1;
      std::mt19937 replay = random;  // the same skips for the reading by bytes
      const std::vector<std::size_t> seen = Visited(marks, random, size, skipping);
      std::vector<std::size_t> expected;
      for (std::size_t at = 0; at < size; ++at) {
        if (data[at] != '[' && data[at] != '#') continue;
        expected.push_back(at);
        if (skipping && replay() % 4 == 0) {
          const std::size_t to = at + 1 + replay() % 150;
          expected.push_back(~std::size_t{0});
          expected.push_back(std::min(to, size));
          at = std::min(to, size) - 1;
        }
      }
      ASSERT_EQ(seen, expected) << "pass " << static_cast<int>(pass) << ", size " << size << ", offset " << offset;
    }
  }
  EXPECT_GE(passes, 1);
}

}  // namespace
}  // namespace vidazoz::testing
