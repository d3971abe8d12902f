// The window runtime on FLTK 1.3 (X11): one fixed-size window, its controls from the form's
// table, twips converted at the screen's resolution.
#pragma once

#include <memory>
#include <vector>

#include "runtime/window_runtime.h"

class Fl_Double_Window;
class Fl_RGB_Image;
class Fl_Widget;

namespace vidazoz::runtime::fltk {

class FltkRuntime final : public WindowRuntime {
 public:
  FltkRuntime();
  ~FltkRuntime() override;

  int Run(Form& form) override;
  void SetCaption(ControlId control, const std::string& caption) override;
  void SetForeColour(ControlId control, Colour colour) override;
  void SetFontBold(ControlId control, bool bold) override;
  void SetVisible(ControlId control, bool visible) override;
  void SetFormHeight(Twips outerHeight) override;
  WindowHandle Handle() const override;
  int MsgBox(const std::string& prompt, std::int32_t style, const std::string& title) override;
  void End() override;

 private:
  struct Scale {
    double twipsPerPixelX = 15, twipsPerPixelY = 15;
    int X(Twips t) const;
    int Y(Twips t) const;
    int FontPixels(double points) const;
  };

  void CreateWindow(Form& form);
  Fl_Widget* CreateControl(Form& form, ControlId id, const ControlSpec& layout);
  void Repaint();

  Scale scale_;
  // Declared before the window, so they outlive the widgets that point at them.
  std::vector<std::unique_ptr<Fl_RGB_Image>> images_;
  std::unique_ptr<Fl_Double_Window> window_;
  std::vector<Fl_Widget*> controls_;  // owned by window_, in table order
};

}  // namespace vidazoz::runtime::fltk
