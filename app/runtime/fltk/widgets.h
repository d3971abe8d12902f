// The FLTK widgets behind the control kinds that FLTK has no exact match for.
#pragma once

#include <FL/Fl_Box.H>

#include <functional>

#include "runtime/window_runtime.h"

namespace vidazoz::runtime::fltk {

// Where a widget's mouse events go: down, up, and a click when the up lands on the widget.
struct MouseSink {
  std::function<void(const MouseArgs&)> down;
  std::function<void(const MouseArgs&)> up;
  std::function<void()> click;
};

// A label or a picture that reports presses and releases of every button, and clicks of the
// left one only (as Windows reports a click), and never takes the focus.
class EventBox : public Fl_Box {
 public:
  EventBox(int x, int y, int w, int h, MouseSink sink, double twipsPerPixelX, double twipsPerPixelY);
  int handle(int event) override;

 private:
  MouseArgs Args() const;
  MouseSink sink_;
  bool leftPressed_ = false;  // a left press began here: its release inside is a click
  double twipsPerPixelX_, twipsPerPixelY_;
};

// A thin solid line from the widget's top-left corner to its bottom-right one.
class LineBox : public Fl_Box {
 public:
  LineBox(int x1, int y1, int x2, int y2);
  void draw() override;

 private:
  int dx_, dy_;
};

}  // namespace vidazoz::runtime::fltk
