// Decoders for the two picture formats the program carries: 24-bit uncompressed BMP files
// and the 32-bit images of an .ico. They hand back top-down pixels a toolkit can show.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace vidazoz::runtime::pictures {

struct Pixels {
  int width = 0;
  int height = 0;
  int channels = 0;  // 3: RGB, 4: RGBA
  std::vector<std::uint8_t> data;  // top row first, no padding
};

class BadPicture : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A BMP file with a 40-byte info header, 24 bits per pixel, no compression.
Pixels DecodeBmp24(std::span<const std::uint8_t> file);

// Every 32-bit image of an .ico, in directory order, with its alpha channel.
std::vector<Pixels> DecodeIcon32(std::span<const std::uint8_t> file);

}  // namespace vidazoz::runtime::pictures
