// The one colour type of the program: the window's controls and the verdicts they show.
#pragma once

#include <cstdint>

namespace vidazoz {

using Colour = std::uint32_t;  // 0x00BBGGRR, as Windows' COLORREF

}  // namespace vidazoz
