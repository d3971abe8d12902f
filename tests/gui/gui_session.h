// Driving the real window as a person would: a private Xvfb, the program started in it,
// xdotool for the mouse, and root-window screenshots read back as pixels.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vidazoz::testing {

using Env = std::vector<std::pair<std::string, std::string>>;

// A child process stopped by its pid when it goes away.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const Env& env, int extraFd = -1);
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  pid_t Pid() const { return pid_; }
  // The exit status once the process has ended within `timeout`, otherwise nothing.
  std::optional<int> Wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct Rgb {
  std::uint8_t r, g, b;
  bool Near(Rgb o, int tolerance) const;
};

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
};

class Screenshot {
 public:
  static Screenshot Read(const std::filesystem::path& ppm);
  Rgb At(int x, int y) const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The bounding box of the pixels exactly of `colour`.
  Rect Extent(Rgb colour) const;
  // How many pixels of `area` lie within `tolerance` of `colour`.
  int Count(Rect area, Rgb colour, int tolerance) const;
  // The bounding box of the pixels of `area` farther than `tolerance` from `background`.
  Rect Ink(Rect area, Rgb background, int tolerance) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> rgb_;
};

class Xvfb {
 public:
  Xvfb();
  const std::string& Display() const { return display_; }

 private:
  std::optional<Child> server_;
  std::string display_;
};

// The program in its own Xvfb. `env` adds to the display (WINEPREFIX, HOME, PATH, ...).
class GuiSession {
 public:
  explicit GuiSession(const Env& env);

  std::string Window() const { return window_; }
  Rect Geometry() const;  // the client area on the screen
  void MouseMove(int x, int y) const;  // relative to the client area
  void MouseDown(int button = 1) const;
  void MouseUp(int button = 1) const;
  void Click(int x, int y, int button = 1) const;
  void Key(const std::string& key) const;  // to the window under the pointer
  void KeyTo(const std::string& window, const std::string& key) const;
  // The id of a visible window whose name matches the regular expression, once it appears.
  std::string WaitForWindow(const std::string& name) const;
  bool WaitForNoWindow(const std::string& name, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // A screenshot, also kept as <name>.png under the build's gui-shots folder for people to see.
  Screenshot Shot(const std::string& name) const;
  // Shots until `ready` holds or `timeout` passes; returns the last one.
  Screenshot ShotWhen(const std::string& name, const std::function<bool(const Screenshot&)>& ready,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  Child& Program() { return *program_; }
  // What xprop says of one property of the window ("WM_CLASS(STRING) = ...").
  std::string Property(const std::string& name) const;
  // The sizes (width x height) of the images in the window's _NET_WM_ICON, in order.
  std::vector<std::pair<int, int>> IconSizes() const;

 private:
  std::string Xdotool(const std::vector<std::string>& args) const;
  Env displayEnv_;
  Xvfb xvfb_;
  std::optional<Child> program_;
  std::string window_;
};

// The centre of a control of the window, in client pixels at 96 dpi.
std::pair<int, int> CentreOf(std::size_t control);
Rect PixelsOf(std::size_t control);

}  // namespace vidazoz::testing
