// The picture files of resources/, compiled into the program (see embed.cmake).
#pragma once

#include <cstdint>
#include <span>

namespace vidazoz::runtime::embedded {
std::span<const std::uint8_t> logo_bmp();
std::span<const std::uint8_t> download_bmp();
#ifndef _WIN32
std::span<const std::uint8_t> vidazoz_ico();  // Windows carries the icon as a resource instead
#endif
}  // namespace vidazoz::runtime::embedded
