// Encoding and checked decoding of the helper's frames.
#include "frame.h"

namespace vidazoz::live {
namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t GetU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::vector<std::uint8_t> EncodeFrame(const Frame& frame) {
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderSize + kMinFrameBody + frame.payload.size());
  PutU32(out, static_cast<std::uint32_t>(kMinFrameBody + frame.payload.size()));
  PutU32(out, frame.id);
  out.push_back(static_cast<std::uint8_t>(frame.kind));
  out.insert(out.end(), frame.payload.begin(), frame.payload.end());
  return out;
}

FrameReader::Result FrameReader::Next(Frame& out) {
  const std::size_t have = buffer_.size() - start_;
  if (have < kHeaderSize) return Result::NeedMore;
  const std::uint32_t body = GetU32(buffer_.data() + start_);
  if (body < kMinFrameBody || body > kMaxFrameBody) return Result::Bad;
  if (have - kHeaderSize < body) return Result::NeedMore;
  const std::uint8_t* p = buffer_.data() + start_ + kHeaderSize;
  out.id = GetU32(p);
  out.kind = static_cast<Kind>(p[4]);
  out.payload.assign(p + kMinFrameBody, p + body);
  start_ += kHeaderSize + body;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  return Result::Ready;
}

std::size_t FrameReader::Missing() const {
  const std::size_t have = buffer_.size() - start_;
  if (have < kHeaderSize) return kHeaderSize - have;
  const std::uint32_t body = GetU32(buffer_.data() + start_);
  if (body < kMinFrameBody || body > kMaxFrameBody) return 1;
  return have - kHeaderSize < body ? kHeaderSize + body - have : 1;
}

PayloadWriter& PayloadWriter::U8(std::uint8_t v) {
  out_.push_back(v);
  return *this;
}

PayloadWriter& PayloadWriter::U32(std::uint32_t v) {
  PutU32(out_, v);
  return *this;
}

PayloadWriter& PayloadWriter::Str(std::u16string_view s) {
  PutU32(out_, static_cast<std::uint32_t>(s.size()));
  for (const char16_t c : s) {
    out_.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return *this;
}

PayloadWriter& PayloadWriter::Bytes(std::span<const std::uint8_t> b) {
  PutU32(out_, static_cast<std::uint32_t>(b.size()));
  out_.insert(out_.end(), b.begin(), b.end());
  return *this;
}

bool PayloadReader::U8(std::uint8_t& v) {
  if (in_.size() - at_ < 1) return false;
  v = in_[at_++];
  return true;
}

bool PayloadReader::U32(std::uint32_t& v) {
  if (in_.size() - at_ < 4) return false;
  v = GetU32(in_.data() + at_);
  at_ += 4;
  return true;
}

bool PayloadReader::Str(std::u16string& s) {
  std::uint32_t count = 0;
  if (!U32(count) || (in_.size() - at_) / 2 < count) return false;
  s.resize(count);
  for (std::uint32_t i = 0; i < count; ++i, at_ += 2)
    s[i] = static_cast<char16_t>(in_[at_] | in_[at_ + 1] << 8);
  return true;
}

bool PayloadReader::Bytes(std::vector<std::uint8_t>& b) {
  std::uint32_t count = 0;
  if (!U32(count) || in_.size() - at_ < count) return false;
  b.assign(in_.begin() + static_cast<std::ptrdiff_t>(at_), in_.begin() + static_cast<std::ptrdiff_t>(at_ + count));
  at_ += count;
  return true;
}

}  // namespace vidazoz::live
