// The FLTK widgets behind the control kinds. Those that report events send them to the form
// from their handle(), the one route events take here.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>

#include "runtime/window_runtime.h"

namespace vidazoz::runtime::fltk {

// The form and the row of its table that a widget's events are for.
struct EventTarget {
  Form& form;
  ControlId id;
};

// A push button that reports a click when a left press is released over it, or when Space or
// its shortcut presses it while it has the focus. Other mouse buttons do nothing.
class PushButton : public Fl_Button {
 public:
  PushButton(int x, int y, int w, int h, EventTarget target);
  int handle(int event) override;

 private:
  EventTarget target_;
};

// A label or a picture that reports presses and releases of every button, and clicks of the
// left one only (as Windows reports a click), and never takes the focus.
class EventBox : public Fl_Box {
 public:
  EventBox(int x, int y, int w, int h, EventTarget target, double twipsPerPixelX, double twipsPerPixelY);
  int handle(int event) override;
  void draw() override;

 private:
  MouseArgs Args() const;
  EventTarget target_;
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
