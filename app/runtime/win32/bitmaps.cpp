#include "runtime/win32/bitmaps.h"

#include <cstring>

namespace vidazoz::runtime::win32 {

GdiBitmap BitmapFromBmpFile(std::span<const std::uint8_t> file) {
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  if (file.size() < sizeof fh + sizeof ih) return {};
  std::memcpy(&fh, file.data(), sizeof fh);
  std::memcpy(&ih, file.data() + sizeof fh, sizeof ih);
  if (fh.bfType != 0x4D42 || ih.biSize < sizeof ih || ih.biCompression != BI_RGB || ih.biWidth <= 0 ||
      ih.biHeight == 0 || (ih.biBitCount != 24 && ih.biBitCount != 32))
    return {};
  const std::size_t stride = ((static_cast<std::size_t>(ih.biWidth) * ih.biBitCount + 31) / 32) * 4;
  const std::size_t rows = static_cast<std::size_t>(ih.biHeight < 0 ? -ih.biHeight : ih.biHeight);
  if (fh.bfOffBits > file.size() || file.size() - fh.bfOffBits < stride * rows) return {};

  BITMAPINFO info{};
  info.bmiHeader = ih;
  info.bmiHeader.biSize = sizeof ih;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBitmap(screen, &info.bmiHeader, CBM_INIT, file.data() + fh.bfOffBits, &info,
                                  DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return GdiBitmap(bitmap);
}

}  // namespace vidazoz::runtime::win32
