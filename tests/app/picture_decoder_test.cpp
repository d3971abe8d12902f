// The picture decoder on the pictures the program carries, and on damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "runtime/picture_decoder.h"

namespace vidazoz::runtime::pictures {
namespace {

std::vector<std::uint8_t> Resource(const std::string& name) {
  std::ifstream in(std::filesystem::path(VIDAZOZ_RESOURCES) / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void ExpectPixel(const Pixels& p, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const std::size_t i = (static_cast<std::size_t>(y) * p.width + x) * p.channels;
  EXPECT_EQ(p.data[i], r) << x << "," << y;
  EXPECT_EQ(p.data[i + 1], g) << x << "," << y;
  EXPECT_EQ(p.data[i + 2], b) << x << "," << y;
}

TEST(Pictures, TheBitmapsAreOpaqueAtTheirSizesOnTheWindowColour) {
  const Pixels logo = DecodeBmp24(Resource("logo.bmp"));
  EXPECT_EQ(logo.width, 64);
  EXPECT_EQ(logo.height, 64);
  EXPECT_EQ(logo.channels, 3);
  for (auto [x, y] : {std::pair{0, 0}, {63, 0}, {0, 63}, {63, 63}}) ExpectPixel(logo, x, y, 225, 225, 225);
  const Pixels download = DecodeBmp24(Resource("download.bmp"));
  EXPECT_EQ(download.width, 20);
  EXPECT_EQ(download.height, 20);
  ExpectPixel(download, 0, 0, 225, 225, 225);
}

TEST(Pictures, TheIconCarriesFour32BitImagesTransparentAroundTheBadge) {
  const std::vector<Pixels> icons = DecodeIcon32(Resource("vidazoz.ico"));
  ASSERT_EQ(icons.size(), 4u);
  const int sizes[] = {64, 48, 32, 16};
  for (std::size_t i = 0; i < icons.size(); ++i) {
    EXPECT_EQ(icons[i].width, sizes[i]);
    EXPECT_EQ(icons[i].height, sizes[i]);
    EXPECT_EQ(icons[i].channels, 4);
    EXPECT_EQ(icons[i].data[3], 0) << "top-left corner transparent";
    const std::size_t centre = ((sizes[i] / 2) * sizes[i] + sizes[i] / 2) * 4;
    EXPECT_EQ(icons[i].data[centre + 3], 255) << "badge opaque";
  }
}

// A minimal 2 x 2 BMP: rows bottom-up, padded to 4 bytes.
std::vector<std::uint8_t> TinyBmp(std::uint16_t bits = 24, std::int32_t height = 2) {
  std::vector<std::uint8_t> f(14 + 40 + 16, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<std::uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, static_cast<std::uint32_t>(height));
  f[26] = 1;
  f[28] = static_cast<std::uint8_t>(bits);
  // bottom row: blue, green; top row: red, white (stored B, G, R)
  const std::uint8_t rows[] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
  std::copy(std::begin(rows), std::end(rows), f.begin() + 54);
  return f;
}

TEST(Pictures, RowsComeOutTopDownInRgbOrder) {
  const Pixels p = DecodeBmp24(TinyBmp());
  ExpectPixel(p, 0, 0, 255, 0, 0);
  ExpectPixel(p, 1, 0, 255, 255, 255);
  ExpectPixel(p, 0, 1, 0, 0, 255);
  ExpectPixel(p, 1, 1, 0, 255, 0);
}

TEST(Pictures, DamagedFilesAreRefusedNotRead) {
  auto truncated = TinyBmp();
  truncated.resize(truncated.size() - 1);
  EXPECT_THROW(DecodeBmp24(truncated), BadPicture);
  EXPECT_THROW(DecodeBmp24(TinyBmp(8)), BadPicture);
  EXPECT_THROW(DecodeBmp24(TinyBmp(24, 0x7fffffff)), BadPicture);
  auto farOffset = TinyBmp();
  farOffset[12] = 0x10;  // pixel offset far past the end
  EXPECT_THROW(DecodeBmp24(farOffset), BadPicture);
  EXPECT_THROW(DecodeBmp24({}), BadPicture);

  auto icon = Resource("vidazoz.ico");
  icon[6 + 16 * 3 + 12 + 3] = 0x7f;  // the 64 x 64 image's offset beyond the file
  EXPECT_THROW(DecodeIcon32(icon), BadPicture);
  EXPECT_THROW(DecodeIcon32(std::vector<std::uint8_t>(5, 0)), BadPicture);
}

}  // namespace
}  // namespace vidazoz::runtime::pictures
