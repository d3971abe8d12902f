// A modal message box in the manner of the Windows one: icon, text, one OK button.
#pragma once

#include <cstdint>
#include <string>

namespace vidazoz::runtime::fltk {

struct MessageFont {
  int regular;  // FLTK font index
  int size;     // pixels
};

// Shows the box over the screen's centre until the user dismisses it; returns 1 (OK).
// Style 16 draws the error icon; other icons are not needed by the program.
int ShowMessageBox(const std::string& prompt, std::int32_t style, const std::string& title, MessageFont font);

}  // namespace vidazoz::runtime::fltk
