// The picture files of resources/, compiled into the program (see embed.cmake).
#pragma once

#include <cstdint>
#include <span>

namespace vidazoz::runtime::fltk::embedded {
std::span<const std::uint8_t> logo_bmp();
std::span<const std::uint8_t> download_bmp();
std::span<const std::uint8_t> vidazoz_ico();
}  // namespace vidazoz::runtime::fltk::embedded
