#include "fltk_runtime.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "message_box.h"
#include "runtime/embedded_pictures.h"
#include "runtime/picture_decoder.h"
#include "widgets.h"
#include "x11_window.h"

namespace vidazoz::runtime::fltk {
namespace {

constexpr double kStandardDpi = 96;
constexpr const char* kWindowClass = "vidazoz";
constexpr Fl_Font kArial = FL_FREE_FONT;
constexpr Fl_Font kArialBold = FL_FREE_FONT + 1;

Fl_Color ToFl(Colour c) { return fl_rgb_color(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Fontconfig resolves the face (a metric-compatible substitute where Arial is missing).
void RegisterFonts() {
  Fl::set_font(kArial, " Arial");
  Fl::set_font(kArialBold, "BArial");
}

std::unique_ptr<Fl_RGB_Image> ToImage(const pictures::Pixels& p) {
  // Fl_RGB_Image keeps a pointer to the pixels; copy() makes it own a copy.
  Fl_RGB_Image view(p.data.data(), p.width, p.height, p.channels);
  return std::unique_ptr<Fl_RGB_Image>(static_cast<Fl_RGB_Image*>(view.copy()));
}

std::span<const std::uint8_t> PictureFile(Picture picture) {
  switch (picture) {
    case Picture::Logo: return embedded::logo_bmp();
    case Picture::Download: return embedded::download_bmp();
    case Picture::None: return {};
  }
  return {};
}

// FLTK reads its global options from /etc/fltk and ~/.fltk the first time one is asked for, and
// writes both files back when they lack an options group. This program has no configuration and
// writes nothing, so it marks the options read (a name FLTK keeps private, reached the one way
// the language allows: an explicit instantiation) and gives them FLTK's own defaults.
void UseDefaultFltkOptions();
template <unsigned char* optionsRead>
struct FltkOptionsRead {
  friend void UseDefaultFltkOptions() {
    *optionsRead = 1;
    Fl::option(Fl::OPTION_ARROW_FOCUS, false);
    Fl::option(Fl::OPTION_VISIBLE_FOCUS, true);
    Fl::option(Fl::OPTION_DND_TEXT, true);
    Fl::option(Fl::OPTION_SHOW_TOOLTIPS, true);
    Fl::option(Fl::OPTION_FNFC_USES_GTK, true);
  }
};
template struct FltkOptionsRead<&Fl::options_read_>;

// The main window: closing runs the unload step; Escape does not close it. FLTK reports the
// close box to the window's callback only, never to handle().
class MainWindow : public Fl_Double_Window {
 public:
  MainWindow(int x, int y, int w, int h, Form& form) : Fl_Double_Window(x, y, w, h), form_(form) {
    callback([](Fl_Widget* w, void*) {
      if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
      auto* self = static_cast<MainWindow*>(w);
      self->form_.Unload();
      self->hide();
    });
  }

 private:
  Form& form_;
};

}  // namespace

int FltkRuntime::Scale::X(Twips t) const { return static_cast<int>(std::lround(t / twipsPerPixelX)); }
int FltkRuntime::Scale::Y(Twips t) const { return static_cast<int>(std::lround(t / twipsPerPixelY)); }
int FltkRuntime::Scale::FontPixels(double points) const {
  return static_cast<int>(std::lround(points * kTwipsPerInch / 72.0 / twipsPerPixelY));
}

FltkRuntime::FltkRuntime() = default;
FltkRuntime::~FltkRuntime() = default;

int FltkRuntime::Run(Form& form) {
  UseDefaultFltkOptions();
  form.Initialize();
  float dpiX = 0, dpiY = 0;
  Fl::screen_dpi(dpiX, dpiY);
  // A resolution the screen does not report sensibly is taken as the standard one.
  const auto usable = [](float dpi) { return dpi >= 48 && dpi <= 480 ? std::round(dpi) : kStandardDpi; };
  scale_.twipsPerPixelX = kTwipsPerInch / usable(dpiX);
  scale_.twipsPerPixelY = kTwipsPerInch / usable(dpiY);
  RegisterFonts();
  CreateWindow(form);
  return Fl::run();
}

void FltkRuntime::CreateWindow(Form& form) {
  const FormSpec& layout = form.Layout();
  const int w = scale_.X(layout.clientWidth);
  const int h = scale_.Y(layout.clientHeight);
  int sx = 0, sy = 0, sw = 0, sh = 0;
  Fl::screen_work_area(sx, sy, sw, sh);
  const int titleBar = scale_.Y(kFrameHeightAllowance - kFrameWidthAllowance / 2);  // frame above the client
  const int outerH = scale_.Y(layout.clientHeight + kFrameHeightAllowance);
  const int x = sx + (sw - w) / 2;
  const int y = sy + (sh - outerH) / 2 + titleBar;

  window_ = std::make_unique<MainWindow>(x, y, w, h, form);
  window_->copy_label(std::string(layout.caption).c_str());
  window_->xclass(kWindowClass);  // WM_CLASS, which the desktop entry's StartupWMClass names
  window_->color(ToFl(layout.backColour));
  window_->resizable(nullptr);
  window_->size_range(w, h, w, h);

  // Children in the form's tab order, so Tab walks the focusable ones in it.
  const auto specs = form.Controls();
  controls_.assign(specs.size(), nullptr);
  for (ControlId id : form.TabOrder()) controls_.at(id) = CreateControl(form, id, specs[id]);
  window_->end();

  const auto icons = pictures::DecodeIcon32(embedded::vidazoz_ico());
  std::vector<const Fl_RGB_Image*> iconViews;
  for (const auto& icon : icons) {
    images_.push_back(ToImage(icon));
    iconViews.push_back(images_.back().get());
  }
  window_->icons(iconViews.data(), static_cast<int>(iconViews.size()));

  window_->show();
  RestrictDecorations(*window_);
  controls_.at(form.FirstFocus())->take_focus();
}

Fl_Widget* FltkRuntime::CreateControl(Form& form, ControlId id, const ControlSpec& layout) {
  const int x = scale_.X(layout.left), y = scale_.Y(layout.top);
  const int w = scale_.X(layout.left + layout.width) - x, h = scale_.Y(layout.top + layout.height) - y;
  const int fontPx = scale_.FontPixels(layout.font.points);
  Fl_Widget* widget = nullptr;
  switch (layout.kind) {
    case ControlKind::Button:
      widget = new PushButton(x, y, w, h, {form, id});
      break;
    case ControlKind::Line:
      widget = new LineBox(x, y, scale_.X(layout.left + layout.width), scale_.Y(layout.top + layout.height));
      widget->labelcolor(layout.foreColour == kDefaultColour ? FL_BLACK : ToFl(layout.foreColour));
      break;
    case ControlKind::Label:
    case ControlKind::Image: {
      auto* box = new EventBox(x, y, w, h, {form, id}, scale_.twipsPerPixelX, scale_.twipsPerPixelY);
      box->box(FL_NO_BOX);
      if (layout.kind == ControlKind::Image) {
        const auto file = PictureFile(layout.picture);
        if (!file.empty()) {
          images_.push_back(ToImage(pictures::DecodeBmp24(file)));
          box->image(images_.back().get());
          box->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
        }
      } else {
        box->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
        box->labelcolor(layout.foreColour == kDefaultColour ? FL_BLACK : ToFl(layout.foreColour));
      }
      widget = box;
      break;
    }
  }
  if (layout.kind == ControlKind::Label || layout.kind == ControlKind::Button) {
    widget->copy_label(std::string(layout.caption).c_str());
    widget->labelfont(layout.font.bold ? kArialBold : kArial);
    widget->labelsize(fontPx);
  }
  if (!layout.visible) widget->hide();
  return widget;
}

void FltkRuntime::Repaint() {
  // Labels paint no background of their own, so the window repaints what lies behind them.
  if (window_) window_->redraw();
}

void FltkRuntime::SetCaption(ControlId control, const std::string& caption) {
  controls_.at(control)->copy_label(caption.c_str());
  Repaint();
}

void FltkRuntime::SetForeColour(ControlId control, Colour colour) {
  controls_.at(control)->labelcolor(ToFl(colour));
  Repaint();
}

void FltkRuntime::SetFontBold(ControlId control, bool bold) {
  controls_.at(control)->labelfont(bold ? kArialBold : kArial);
  Repaint();
}

void FltkRuntime::SetVisible(ControlId control, bool visible) {
  Fl_Widget* widget = controls_.at(control);
  if (visible) widget->show();
  else widget->hide();
  Repaint();
}

void FltkRuntime::SetFormHeight(Twips outerHeight) {
  if (!window_) return;
  const int h = std::max(1, scale_.Y(outerHeight - kFrameHeightAllowance));
  // A fixed-size window keeps its size hints equal to its size; FLTK updates them on resize.
  window_->size_range(window_->w(), h, window_->w(), h);
  window_->size(window_->w(), h);
}

WindowHandle FltkRuntime::Handle() const {
  if (!window_ || !window_->shown()) throw std::runtime_error("the window is not shown");
  return NativeHandle(*window_);
}

int FltkRuntime::MsgBox(const std::string& prompt, std::int32_t style, const std::string& title) {
  return ShowMessageBox(prompt, style, title, {kArial, scale_.FontPixels(8.25)});
}

void FltkRuntime::End() { std::exit(0); }

}  // namespace vidazoz::runtime::fltk

namespace vidazoz::runtime {
std::unique_ptr<WindowRuntime> MakePlatformRuntime() { return std::make_unique<fltk::FltkRuntime>(); }
}  // namespace vidazoz::runtime
