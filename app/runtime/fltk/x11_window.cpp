#include "x11_window.h"

#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace vidazoz::runtime::fltk {

void RestrictDecorations(Fl_Window& window) {
  struct MotifHints {
    unsigned long flags, functions, decorations;
    long inputMode;
    unsigned long status;
  };
  constexpr unsigned long kFunctions = 1, kDecorations = 2;
  constexpr unsigned long kFuncMove = 4, kFuncClose = 32;
  constexpr unsigned long kDecorBorder = 2, kDecorTitle = 8, kDecorMenu = 16;
  MotifHints hints{kFunctions | kDecorations, kFuncMove | kFuncClose, kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
  const Atom atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(fl_display, fl_xid(&window), atom, atom, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&hints), 5);
}

WindowHandle NativeHandle(Fl_Window& window) { return static_cast<WindowHandle>(fl_xid(&window)); }

}  // namespace vidazoz::runtime::fltk
