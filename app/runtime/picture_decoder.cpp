#include "runtime/picture_decoder.h"

#include <string>

namespace vidazoz::runtime::pictures {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr int kMaxSide = 1024;  // far above anything the program carries

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  if (at + 4 > b.size()) throw BadPicture("truncated picture");
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  if (at + 2 > b.size()) throw BadPicture("truncated picture");
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct InfoHeader {
  int width;
  int height;  // as stored: positive means bottom-up
  int bits;
};

InfoHeader ReadInfoHeader(std::span<const std::uint8_t> dib) {
  if (U32(dib, 0) != kInfoHeaderSize) throw BadPicture("unsupported bitmap header");
  const auto width = static_cast<std::int32_t>(U32(dib, 4));
  const auto height = static_cast<std::int32_t>(U32(dib, 8));
  if (U16(dib, 12) != 1 || U32(dib, 16) != 0) throw BadPicture("compressed or multi-plane bitmap");
  if (width <= 0 || width > kMaxSide || height == 0 || height > 2 * kMaxSide || height < -kMaxSide)
    throw BadPicture("bitmap size out of range");
  return {width, height, U16(dib, 14)};
}

// Copies bottom-up rows of `channels`-byte BGR(A) pixels into top-down RGB(A).
Pixels FlipRows(std::span<const std::uint8_t> rows, int width, int height, int channels, bool bottomUp) {
  const std::size_t stride = (static_cast<std::size_t>(width) * channels + 3) / 4 * 4;
  if (rows.size() < stride * height) throw BadPicture("truncated pixel data");
  Pixels out{width, height, channels, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * channels)};
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = rows.data() + stride * (bottomUp ? height - 1 - y : y);
    std::uint8_t* dst = out.data.data() + static_cast<std::size_t>(y) * width * channels;
    for (int x = 0; x < width; ++x, src += channels, dst += channels) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      if (channels == 4) dst[3] = src[3];
    }
  }
  return out;
}

}  // namespace

Pixels DecodeBmp24(std::span<const std::uint8_t> file) {
  if (file.size() < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M')
    throw BadPicture("not a BMP file");
  const InfoHeader info = ReadInfoHeader(file.subspan(kFileHeaderSize));
  if (info.bits != 24) throw BadPicture("BMP is not 24 bits per pixel");
  const std::uint32_t offset = U32(file, 10);
  if (offset > file.size()) throw BadPicture("BMP pixel offset beyond the file");
  const int height = info.height < 0 ? -info.height : info.height;
  return FlipRows(file.subspan(offset), info.width, height, 3, info.height > 0);
}

std::vector<Pixels> DecodeIcon32(std::span<const std::uint8_t> file) {
  if (U16(file, 0) != 0 || U16(file, 2) != 1) throw BadPicture("not an icon file");
  const std::uint16_t count = U16(file, 4);
  std::vector<Pixels> images;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::uint32_t size = U32(file, entry + 8);
    const std::uint32_t offset = U32(file, entry + 12);
    if (offset > file.size() || size > file.size() - offset) throw BadPicture("icon image beyond the file");
    const auto dib = file.subspan(offset, size);
    const InfoHeader info = ReadInfoHeader(dib);
    if (info.bits != 32) continue;
    // The stored height counts the colour image and its mask.
    if (info.height != 2 * info.width) throw BadPicture("icon image is not square");
    images.push_back(FlipRows(dib.subspan(kInfoHeaderSize), info.width, info.width, 4, true));
  }
  if (images.empty()) throw BadPicture("icon holds no 32-bit image");
  return images;
}

}  // namespace vidazoz::runtime::pictures
