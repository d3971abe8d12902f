#include "gui_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "fake_services.h"
#include "frmMain.h"
#include "recording_runtime.h"
#include "temp_dir.h"
#include "wine_prefix.h"

extern char** environ;

namespace vidazoz::testing {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> MergedEnvironment(const Env& env) {
  std::vector<std::string> out;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& [k, v] : env) overridden = overridden || k == name;
    if (!overridden) out.push_back(entry);
  }
  for (const auto& [k, v] : env) out.push_back(k + "=" + v);
  return out;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const Env& env, int extraFd) {
  std::vector<std::string> envStrings = MergedEnvironment(env);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (extraFd >= 0) posix_spawn_file_actions_adddup2(&actions, extraFd, 3);
  const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
}

Child::~Child() {
  if (status_ || pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (!Wait(2s)) {
    kill(pid_, SIGKILL);
    Wait(2s);
  }
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!status_) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(10ms);
  }
  return status_;
}

bool Rgb::Near(Rgb o, int tolerance) const {
  return std::abs(r - o.r) <= tolerance && std::abs(g - o.g) <= tolerance && std::abs(b - o.b) <= tolerance;
}

Screenshot Screenshot::Read(const fs::path& ppm) {
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int maxval = 0;
  Screenshot s;
  in >> magic >> s.width_ >> s.height_ >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255 || s.width_ <= 0 || s.height_ <= 0)
    throw std::runtime_error("not an 8-bit PPM: " + ppm.string());
  s.rgb_.resize(static_cast<std::size_t>(s.width_) * s.height_ * 3);
  in.read(reinterpret_cast<char*>(s.rgb_.data()), static_cast<std::streamsize>(s.rgb_.size()));
  if (!in) throw std::runtime_error("truncated PPM: " + ppm.string());
  return s;
}

Rgb Screenshot::At(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  return {rgb_.at(i), rgb_.at(i + 1), rgb_.at(i + 2)};
}

Rect Screenshot::Extent(Rgb colour) const {
  int x0 = width_, y0 = height_, x1 = -1, y1 = -1;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (At(x, y).Near(colour, 0)) {
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
  return x1 < 0 ? Rect{} : Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

int Screenshot::Count(Rect area, Rgb colour, int tolerance) const {
  int n = 0;
  for (int y = std::max(0, area.y); y < std::min(height_, area.y + area.h); ++y)
    for (int x = std::max(0, area.x); x < std::min(width_, area.x + area.w); ++x)
      n += At(x, y).Near(colour, tolerance) ? 1 : 0;
  return n;
}

Rect Screenshot::Ink(Rect area, Rgb background, int tolerance) const {
  int x0 = width_, y0 = height_, x1 = -1, y1 = -1;
  for (int y = std::max(0, area.y); y < std::min(height_, area.y + area.h); ++y)
    for (int x = std::max(0, area.x); x < std::min(width_, area.x + area.w); ++x)
      if (!At(x, y).Near(background, tolerance)) {
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
  return x1 < 0 ? Rect{} : Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

Xvfb::Xvfb() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-dpi", "96",
                                           "-nolisten", "tcp", "-br", "-nocursor"},
                  Env{}, fds[1]);
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not report a display");
  display_ = ":" + number;
}

GuiSession::GuiSession(const Env& env) {
  displayEnv_ = {{"DISPLAY", xvfb_.Display()}};
  Env programEnv = env;
  programEnv.emplace_back("DISPLAY", xvfb_.Display());
  program_.emplace(std::vector<std::string>{VIDAZOZ_EXE}, programEnv);
  std::istringstream ids(Xdotool({"search", "--sync", "--onlyvisible", "--name", "Dodivezozu Software :: Vidazoz"}));
  ids >> window_;
  if (window_.empty()) throw std::runtime_error("the window did not appear");
}

std::string GuiSession::Xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  const CommandResult r = RunCommand(argv, displayEnv_);
  if (r.exitCode != 0) throw std::runtime_error("xdotool failed: " + r.output);
  return r.output;
}

Rect GuiSession::Geometry() const {
  std::istringstream lines(Xdotool({"getwindowgeometry", "--shell", window_}));
  Rect g;
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::stoi(line.substr(eq + 1));
    if (key == "X") g.x = value;
    if (key == "Y") g.y = value;
    if (key == "WIDTH") g.w = value;
    if (key == "HEIGHT") g.h = value;
  }
  return g;
}

std::string GuiSession::Property(const std::string& name) const {
  const CommandResult r = RunCommand({"xprop", "-id", window_, name}, displayEnv_);
  if (r.exitCode != 0) throw std::runtime_error("xprop failed: " + r.output);
  return r.output;
}

std::vector<std::pair<int, int>> GuiSession::IconSizes() const {
  // The property is a list of 32-bit numbers: width, height, then width x height pixels, repeated.
  const CommandResult r = RunCommand({"xprop", "-id", window_, "-notype", "32c", "_NET_WM_ICON"}, displayEnv_);
  std::string values = r.output.substr(r.output.find('=') == std::string::npos ? r.output.size() : r.output.find('=') + 1);
  std::replace(values.begin(), values.end(), ',', ' ');
  std::istringstream in(values);
  std::vector<long long> numbers;
  for (long long v; in >> v;) numbers.push_back(v);
  std::vector<std::pair<int, int>> sizes;
  for (std::size_t i = 0; i + 1 < numbers.size();) {
    const auto w = numbers[i], h = numbers[i + 1];
    sizes.emplace_back(static_cast<int>(w), static_cast<int>(h));
    i += 2 + static_cast<std::size_t>(w * h);
  }
  return sizes;
}

void GuiSession::MouseMove(int x, int y) const {
  Xdotool({"mousemove", "--sync", "--window", window_, std::to_string(x), std::to_string(y)});
}
void GuiSession::MouseDown(int button) const { Xdotool({"mousedown", std::to_string(button)}); }
void GuiSession::MouseUp(int button) const { Xdotool({"mouseup", std::to_string(button)}); }
void GuiSession::Click(int x, int y, int button) const {
  MouseMove(x, y);
  Xdotool({"click", std::to_string(button)});
}

void GuiSession::Key(const std::string& key) const { Xdotool({"key", key}); }

void GuiSession::KeyTo(const std::string& window, const std::string& key) const {
  // Keys go to the window under the pointer: there is no window manager to give the focus.
  Xdotool({"mousemove", "--sync", "--window", window, "5", "5"});
  Xdotool({"key", key});
}

std::string GuiSession::WaitForWindow(const std::string& name) const {
  std::istringstream ids(Xdotool({"search", "--sync", "--onlyvisible", "--name", name}));
  std::string id;
  ids >> id;
  return id;
}

bool GuiSession::WaitForNoWindow(const std::string& name, std::chrono::milliseconds timeout) const {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    if (RunCommand({"xdotool", "search", "--onlyvisible", "--name", name}, displayEnv_).exitCode != 0) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

Screenshot GuiSession::Shot(const std::string& name) const {
  TempDir dir("vidazoz-shot");
  const fs::path ppm = dir.Path() / "shot.ppm";
  const CommandResult r = RunCommand({"/usr/bin/import", "-window", "root", "-depth", "8", "ppm:" + ppm.string()}, displayEnv_);
  if (r.exitCode != 0) throw std::runtime_error("import failed: " + r.output);
  fs::create_directories(VIDAZOZ_SHOT_DIR);
  RunCommand({"/usr/bin/convert", ppm.string(), (fs::path(VIDAZOZ_SHOT_DIR) / (name + ".png")).string()});
  return Screenshot::Read(ppm);
}

Screenshot GuiSession::ShotWhen(const std::string& name, const std::function<bool(const Screenshot&)>& ready,
                                std::chrono::milliseconds timeout) const {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    Screenshot s = Shot(name);
    if (ready(s) || std::chrono::steady_clock::now() >= until) return s;
    std::this_thread::sleep_for(50ms);
  }
}

Rect PixelsOf(std::size_t control) {
  RecordingRuntime runtime;
  FakeServices services;
  const frmMain form(runtime, services, nullptr);
  const auto& c = form.Controls()[control];
  const auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
  return {px(c.left), px(c.top), px(c.left + c.width) - px(c.left), px(c.top + c.height) - px(c.top)};
}

std::pair<int, int> CentreOf(std::size_t control) {
  const Rect r = PixelsOf(control);
  return {r.x + r.w / 2, r.y + r.h / 2};
}

}  // namespace vidazoz::testing
