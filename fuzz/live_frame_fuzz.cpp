// The helper's frame reader on any byte stream, fed in chunks the first byte sizes: it never
// reads past what arrived, every frame it gives re-encodes to exactly the bytes it took, and
// it refuses (never waits on) a length out of bounds.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>
#include <vector>

#include "frame.h"
#include "fuzz_check.h"

using namespace vidazoz::live;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chunk = 1 + data[0] % 16;
  ++data;
  --size;
  FrameReader reader;
  std::vector<std::uint8_t> taken;  // what the frames given so far re-encode to
  bool bad = false;
  for (std::size_t at = 0; at < size && !bad; at += chunk) {
    const std::size_t n = at + chunk <= size ? chunk : size - at;
    reader.Feed({data + at, n});
    Frame frame;
    for (;;) {
      const FrameReader::Result r = reader.Next(frame);
      if (r == FrameReader::Result::NeedMore) {
        FUZZ_CHECK(reader.Missing() >= 1);
        break;
      }
      if (r == FrameReader::Result::Bad) {
        bad = true;
        break;
      }
      const std::vector<std::uint8_t> again = EncodeFrame(frame);
      FUZZ_CHECK(again.size() <= kHeaderSize + kMaxFrameBody);
      taken.insert(taken.end(), again.begin(), again.end());
      FUZZ_CHECK(taken.size() <= at + n);
      // Any payload reads as far as it holds and no further.
      PayloadReader in(frame.payload);
      std::u16string s;
      std::vector<std::uint8_t> b;
      std::uint32_t v = 0;
      while (in.Str(s) || in.Bytes(b) || in.U32(v)) {
      }
    }
  }
  FUZZ_CHECK(std::equal(taken.begin(), taken.end(), data));
  return 0;
}
