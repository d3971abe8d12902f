// The window runtime: what frmMain needs of a window toolkit and nothing more. Every position
// and size is in twips (1440 to the inch); each implementation converts to its own pixels.
// Implementations: FLTK (runtime/fltk), Win32, and the recording fake of the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "colour.h"

namespace vidazoz::runtime {

using Twips = std::int32_t;
using ControlId = std::size_t;     // index of the control in the table given to Run
using WindowHandle = std::uintptr_t;  // HWND on Windows, the X window id under X11

inline constexpr Twips kTwipsPerInch = 1440;
// Title bar and frame of a fixed thin-frame window: outer height = client height + this.
inline constexpr Twips kFrameHeightAllowance = 480;
inline constexpr Twips kFrameWidthAllowance = 90;

enum class ControlKind {
  Image,          // a picture at natural size, one bitmap pixel to 15 twips
  Label,          // one line of text, no background of its own
  Line,           // thin solid line from (left, top) to (left + width, top + height)
  Button,         // push button
};

// Pictures the program carries; each runtime maps them to its own resources.
enum class Picture { None, Logo, Download };

struct Font {
  std::string_view face = "Arial";
  double points = 8.25;
  bool bold = false;
};

inline constexpr Colour kDefaultColour = 0xFFFFFFFFu;  // the toolkit's own colour for the kind

struct ControlSpec {
  std::string_view name;  // the control's name, for diagnostics and tests
  ControlKind kind;
  std::string_view caption;  // labels and buttons
  Picture picture = Picture::None;
  Twips left = 0, top = 0, width = 0, height = 0;
  Font font{};
  Colour foreColour = kDefaultColour;
  Colour backColour = kDefaultColour;  // painted only by toolkits that paint label backgrounds
  bool visible = true;
  int tabIndex = -1;  // the form's tab order (Form::TabOrder); -1: after every indexed control
};

struct FormSpec {
  std::string_view caption;
  Colour backColour;
  Twips clientWidth, clientHeight;  // at start; the window is fixed-size and centred
};

struct MouseArgs {
  int button = 1;  // 1 left, 2 right, 4 middle
  int shift = 0;   // 1 shift, 2 control, 4 alt
  Twips x = 0, y = 0;
};

// The window object as the runtime sees it: its layout and its event handlers.
class Form {
 public:
  virtual ~Form() = default;
  virtual const FormSpec& Layout() const = 0;
  virtual std::span<const ControlSpec> Controls() const = 0;
  // Every control once, in tab order: the runtime creates them in this order, so Tab walks the
  // ones that take the focus in it.
  virtual std::span<const ControlId> TabOrder() const = 0;
  // The control that has the focus when the window first shows.
  virtual ControlId FirstFocus() const = 0;

  virtual void Initialize() = 0;  // before the window and its controls exist
  virtual void Unload() = 0;      // the window is being closed; it goes away afterwards
  virtual void Click(ControlId control) = 0;
  virtual void MouseDown(ControlId control, const MouseArgs& args) = 0;
  virtual void MouseUp(ControlId control, const MouseArgs& args) = 0;
};

class WindowRuntime {
 public:
  virtual ~WindowRuntime() = default;

  // Runs the start-up object: form.Initialize(), then the window and its controls from the
  // form's table in its tab order, centred and shown with the focus on its first focus;
  // dispatches events until the window is closed (after form.Unload()). Returns the process
  // exit status.
  virtual int Run(Form& form) = 0;

  virtual void SetCaption(ControlId control, const std::string& caption) = 0;
  virtual void SetForeColour(ControlId control, Colour colour) = 0;
  virtual void SetFontBold(ControlId control, bool bold) = 0;
  virtual void SetVisible(ControlId control, bool visible) = 0;
  // The window's outer height (client + kFrameHeightAllowance); it grows or shrinks at the
  // bottom, keeping its position and width.
  virtual void SetFormHeight(Twips outerHeight) = 0;
  virtual WindowHandle Handle() const = 0;

  // A modal message box; style 16 is the error icon with one OK button. Returns the button
  // pressed (1 for OK).
  virtual int MsgBox(const std::string& prompt, std::int32_t style, const std::string& title) = 0;
  // Ends the process at once with status 0; no unload step runs.
  virtual void End() = 0;
};

// The platform's runtime, defined by its implementation.
std::unique_ptr<WindowRuntime> MakePlatformRuntime();

}  // namespace vidazoz::runtime
