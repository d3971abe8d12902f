// What the runtime asks of X11 directly; kept apart because Xlib's macros clash with our names.
#pragma once

#include "runtime/window_runtime.h"

class Fl_Window;

namespace vidazoz::runtime::fltk {

// Asks the window manager for a thin frame with a title bar and a close box only: no minimize,
// no maximize, no resize.
void RestrictDecorations(Fl_Window& window);

// The X window id of a shown window.
WindowHandle NativeHandle(Fl_Window& window);

}  // namespace vidazoz::runtime::fltk
