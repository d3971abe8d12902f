// GDI bitmaps of the program's two BMP files, which are compiled into the executable (the
// resource table lists only the icon, the version record and the manifest).
#pragma once

#include <cstdint>
#include <span>

#include "runtime/win32/gdi_object.h"

namespace vidazoz::runtime::win32 {

// A device-dependent bitmap of an uncompressed BMP file; empty when the file is malformed.
GdiBitmap BitmapFromBmpFile(std::span<const std::uint8_t> file);

}  // namespace vidazoz::runtime::win32
