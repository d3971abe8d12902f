#include "widgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace vidazoz::runtime::fltk {

PushButton::PushButton(int x, int y, int w, int h, EventTarget target) : Fl_Button(x, y, w, h), target_(target) {
  when(FL_WHEN_NEVER);  // the click goes out from handle()
}

int PushButton::handle(int event) {
  // Only the left button presses a push button, as on Windows; the others are taken and ignored,
  // so a right click neither clicks nor moves the focus.
  const bool mouse = event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG;
  if (mouse && (event == FL_DRAG ? !Fl::event_state(FL_BUTTON1) : Fl::event_button() != FL_LEFT_MOUSE)) return 1;
  if (event == FL_RELEASE) clear_changed();
  const int taken = Fl_Button::handle(event);
  // Without a callback, Fl_Button marks a release that presses it as a change; the key and
  // shortcut events it takes are the ones that press it.
  const bool pressed = event == FL_RELEASE ? changed() != 0 : event == FL_KEYBOARD || event == FL_SHORTCUT;
  if (taken && pressed) target_.form.Click(target_.id);
  return taken;
}

EventBox::EventBox(int x, int y, int w, int h, EventTarget target, double twipsPerPixelX, double twipsPerPixelY)
    : Fl_Box(x, y, w, h), target_(target), twipsPerPixelX_(twipsPerPixelX), twipsPerPixelY_(twipsPerPixelY) {}

MouseArgs EventBox::Args() const {
  // FLTK numbers the buttons left 1, middle 2, right 3; the handlers expect 1, 4, 2.
  static constexpr int kButton[] = {0, 1, 4, 2};
  const int b = Fl::event_button();
  const int state = Fl::event_state();
  return {.button = (b >= 1 && b <= 3) ? kButton[b] : 0,
          .shift = ((state & FL_SHIFT) ? 1 : 0) | ((state & FL_CTRL) ? 2 : 0) | ((state & FL_ALT) ? 4 : 0),
          .x = static_cast<Twips>(std::lround((Fl::event_x() - x()) * twipsPerPixelX_)),
          .y = static_cast<Twips>(std::lround((Fl::event_y() - y()) * twipsPerPixelY_))};
}

void EventBox::draw() {
  draw_box();
  // At the control's own corner: FLTK's default insets a left-aligned label by 3 pixels.
  draw_label(x(), y(), w(), h());
}

int EventBox::handle(int event) {
  switch (event) {
    case FL_PUSH:
      if (Fl::event_button() == FL_LEFT_MOUSE) leftPressed_ = true;
      target_.form.MouseDown(target_.id, Args());
      return 1;  // also makes this widget receive the release
    case FL_DRAG:
      return 1;
    case FL_RELEASE: {
      const bool left = Fl::event_button() == FL_LEFT_MOUSE;
      const bool click = left && leftPressed_ && Fl::event_inside(this);
      if (left) leftPressed_ = false;
      target_.form.MouseUp(target_.id, Args());
      if (click) target_.form.Click(target_.id);
      return 1;
    }
    default:
      return Fl_Box::handle(event);
  }
}

LineBox::LineBox(int x1, int y1, int x2, int y2)
    : Fl_Box(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1),
      dx_(x2 - x1),
      dy_(y2 - y1) {
  box(FL_NO_BOX);
}

void LineBox::draw() {
  fl_color(labelcolor());
  fl_line_style(FL_SOLID, 1);
  const int x0 = dx_ >= 0 ? x() : x() + w() - 1;
  const int y0 = dy_ >= 0 ? y() : y() + h() - 1;
  fl_line(x0, y0, x0 + dx_, y0 + dy_);
  fl_line_style(0);
}

}  // namespace vidazoz::runtime::fltk
