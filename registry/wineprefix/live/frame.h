// The frames between the registry layer and its helper under Wine: a length, a request id, a
// kind and a payload, little-endian. Every length that comes from the pipe is checked first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vidazoz::live {

enum class Kind : std::uint8_t {
  Hello = 1,     // -> status
  Poll = 2,      // -> status, u32 mask of branches changed since the last poll
  Snapshot = 3,  // u8 branch -> status, bytes of the branch as Wine saves it
  CreateKey = 4, // u8 branch, str path, str class, u32 options -> status, u32 disposition
  SetValue = 5,  // u8 branch, str path, str name, u32 type, bytes data -> status
  DeleteValue = 6,  // u8 branch, str path, str name -> status
  DeleteKey = 7,    // u8 branch, str path -> status
  Info = 8,         // the broker's own: -> status, u32 helper pid, u32 clients accepted so far
  Reply = 0x80,     // u32 status, then what the request's kind says
};

// A snapshot of a large HKLM is a few MB; anything near this is a broken peer.
inline constexpr std::uint32_t kMaxFrameBody = 256u << 20;
inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::uint32_t kMinFrameBody = 5;  // id and kind

struct Frame {
  std::uint32_t id = 0;
  Kind kind = Kind::Reply;
  std::vector<std::uint8_t> payload;
};

std::vector<std::uint8_t> EncodeFrame(const Frame& frame);

// Collects bytes as they arrive and hands out whole frames.
class FrameReader {
 public:
  enum class Result { NeedMore, Ready, Bad };
  void Feed(std::span<const std::uint8_t> bytes) { buffer_.insert(buffer_.end(), bytes.begin(), bytes.end()); }
  // Ready fills `out`; Bad when the length is out of bounds (nothing after it can be trusted).
  Result Next(Frame& out);
  // How many bytes the next frame still lacks, at least 1 while NeedMore.
  std::size_t Missing() const;

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;
};

class PayloadWriter {
 public:
  PayloadWriter& U8(std::uint8_t v);
  PayloadWriter& U32(std::uint32_t v);
  PayloadWriter& Str(std::u16string_view s);  // u32 count of UTF-16 units, then the units
  PayloadWriter& Bytes(std::span<const std::uint8_t> b);  // u32 count, then the bytes
  std::vector<std::uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

// Reads a payload; each read fails (false) rather than go past the end.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const std::uint8_t> in) : in_(in) {}
  bool U8(std::uint8_t& v);
  bool U32(std::uint32_t& v);
  bool Str(std::u16string& s);
  bool Bytes(std::vector<std::uint8_t>& b);
  bool AtEnd() const { return at_ == in_.size(); }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t at_ = 0;
};

}  // namespace vidazoz::live
