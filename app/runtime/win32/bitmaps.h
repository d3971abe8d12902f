// The program's two bitmaps, compiled into the executable (the resource table lists only the
// icon, the version record and the manifest), turned into GDI bitmaps.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/win32/gdi_object.h"

namespace vidazoz::runtime::win32 {

namespace embedded {
std::span<const std::uint8_t> logo_bmp();
std::span<const std::uint8_t> download_bmp();
}  // namespace embedded

// A device-dependent bitmap of an uncompressed BMP file; empty when the file is malformed.
Bitmap BitmapFromBmpFile(std::span<const std::uint8_t> file);

}  // namespace vidazoz::runtime::win32
