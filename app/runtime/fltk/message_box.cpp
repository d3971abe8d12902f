#include "message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace vidazoz::runtime::fltk {
namespace {

constexpr std::int32_t kIconMask = 0x70;
constexpr std::int32_t kCritical = 0x10;

// The error icon: a red disc with a white cross.
class ErrorIcon : public Fl_Box {
 public:
  using Fl_Box::Fl_Box;
  void draw() override {
    fl_color(fl_rgb_color(200, 30, 30));
    fl_pie(x(), y(), w(), h(), 0, 360);
    fl_color(FL_WHITE);
    fl_line_style(FL_SOLID | FL_CAP_ROUND, 3);
    const int m = w() / 3;
    fl_line(x() + m, y() + m, x() + w() - m, y() + h() - m);
    fl_line(x() + w() - m, y() + m, x() + m, y() + h() - m);
    fl_line_style(0);
  }
};

}  // namespace

int ShowMessageBox(const std::string& prompt, std::int32_t style, const std::string& title, MessageFont font) {
  constexpr int kMargin = 12, kIcon = 32, kButtonW = 75, kButtonH = 23;
  fl_font(font.regular, font.size);
  int textW = 0, textH = 0;
  fl_measure(prompt.c_str(), textW, textH, 0);
  const bool withIcon = (style & kIconMask) == kCritical;
  const int textX = kMargin + (withIcon ? kIcon + kMargin : 0);
  const int w = std::max(textX + textW + kMargin, kButtonW + 2 * kMargin);
  const int body = std::max(withIcon ? kIcon : 0, textH);
  const int h = kMargin + body + kMargin + kButtonH + kMargin;

  Fl_Window box((Fl::w() - w) / 2, (Fl::h() - h) / 2, w, h);
  box.copy_label(title.c_str());
  box.color(FL_WHITE);
  if (withIcon) new ErrorIcon(kMargin, kMargin, kIcon, kIcon);
  auto* text = new Fl_Box(textX, kMargin + (body - textH) / 2, textW, textH);
  text->copy_label(prompt.c_str());
  text->labelfont(font.regular);
  text->labelsize(font.size);
  text->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP);
  auto* ok = new Fl_Button(w - kMargin - kButtonW, h - kMargin - kButtonH, kButtonW, kButtonH, "OK");
  ok->labelfont(font.regular);
  ok->labelsize(font.size);
  ok->shortcut(FL_Enter);
  ok->callback([](Fl_Widget* b, void*) { b->window()->hide(); });
  box.end();
  box.set_modal();
  // Windows gives the focus back to the control that had it when the box closes.
  Fl_Widget* const hadFocus = Fl::focus();
  box.show();
  ok->take_focus();
  while (box.shown()) Fl::wait();
  if (hadFocus && hadFocus->window() && hadFocus->window()->shown()) hadFocus->take_focus();
  return 1;  // IDOK, also for Escape and the close box
}

}  // namespace vidazoz::runtime::fltk
