// The real window under Xvfb, used with the mouse and judged by its pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <cmath>
#include <fstream>
#include <map>
#include <thread>

#include "cRegistry.h"
#include "frmMain.h"
#include "gui_session.h"
#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr Rgb kWindow{225, 225, 225};
constexpr Rgb kRed{255, 0, 0}, kOrange{255, 128, 0}, kGreen{0, 128, 0};
constexpr Rgb kLinkBlue{19, 121, 189};
constexpr Rgb kDownloadGreen{40, 160, 60};  // the face of the download picture
const std::string kAddress = "http://www.dodivezozu.com/support/dotnetfx_redirect.htm";

Rect OnScreen(Rect client, Rect control) { return {client.x + control.x, client.y + control.y, control.w, control.h}; }

// Enough pixels near a colour to be text or a picture of it, not stray antialiasing.
constexpr int kInk = 25;
constexpr int kTolerance = 40;

// A home, a prefix and a recording xdg-open first on PATH, all in one temporary folder.
class Desk {
 public:
  explicit Desk(std::unique_ptr<WinePrefix> prefix, bool withOpener = true) : prefix_(std::move(prefix)) {
    fs::create_directories(bin_);
    fs::create_directories(calls_);
    if (!withOpener) {
      isolated_ = true;
      return;
    }
    // Each run leaves its arguments in a file of its own, whole once it has its name.
    const fs::path opener = bin_ / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << calls_.string() << "/.$$\n/bin/mv "
                          << calls_.string() << "/.$$ " << calls_.string() << "/$$\n";
    fs::permissions(opener, fs::perms::owner_all);
  }
  Env Environment() const {
    return {{"WINEPREFIX", prefix_->Path().string()},
            {"HOME", dir_.Path().string()},
            {"PATH", isolated_ ? bin_.string() : bin_.string() + ":" + std::getenv("PATH")}};
  }
  // The arguments of each xdg-open run so far, after waiting up to `wait` for the first.
  std::vector<std::string> Opened(std::chrono::milliseconds wait = 0ms) const {
    std::vector<std::string> runs;
    for (auto deadline = std::chrono::steady_clock::now() + wait;;) {
      for (const auto& run : fs::directory_iterator(calls_)) {
        if (run.path().filename().string().starts_with(".")) continue;
        std::ifstream in(run.path());
        runs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
      if (!runs.empty() || std::chrono::steady_clock::now() > deadline) return runs;
      std::this_thread::sleep_for(10ms);
    }
  }
  const WinePrefix& Prefix() const { return *prefix_; }
  fs::path Home() const { return dir_.Path(); }

 private:
  TempDir dir_{"vidazoz-gui"};
  fs::path bin_ = dir_.Path() / "bin";
  fs::path calls_ = dir_.Path() / "opened";
  std::unique_ptr<WinePrefix> prefix_;
  bool isolated_ = false;  // PATH holds no opener at all
};

TEST(Window, StartsAt425By79CentredAndGrowsTo107WhileTheLogoIsHeld) {
  Desk desk(WinePrefix::Empty());
  GuiSession gui(desk.Environment());
  const Rect client = gui.Geometry();
  EXPECT_EQ(client.w, 425);
  EXPECT_EQ(client.h, 79);
  EXPECT_NEAR(client.x + client.w / 2, 512, 1);
  EXPECT_EQ(gui.IconSizes(), (std::vector<std::pair<int, int>>{{64, 64}, {48, 48}, {32, 32}, {16, 16}}));
  // A desktop matches the window to its entry by the class the entry names.
  std::ifstream entry(VIDAZOZ_DESKTOP_ENTRY);
  std::string wmClass;
  for (std::string line; std::getline(entry, line);)
    if (line.starts_with("StartupWMClass=")) wmClass = line.substr(line.find('=') + 1);
  ASSERT_FALSE(wmClass.empty()) << "the desktop entry names no window class";
  // The instance name, then the class, which the entry names.
  EXPECT_EQ(gui.Property("WM_CLASS"), "WM_CLASS(STRING) = \"vidazoz\", \"" + wmClass + "\"\n");

  const Screenshot start = gui.Shot("start");
  const Rect painted = start.Extent(kWindow);
  EXPECT_EQ(painted.x, client.x);
  EXPECT_EQ(painted.y, client.y);
  EXPECT_EQ(painted.w, 425);
  EXPECT_EQ(painted.h, 79);
  // Five controls at start: the logo, the prompt, the buttons; no link, no download picture.
  EXPECT_GT(start.Count(OnScreen(client, PixelsOf(frmMain::picLogo)), {40, 90, 200}, 60), 500) << "logo";
  EXPECT_GT(start.Count(OnScreen(client, PixelsOf(frmMain::LabResult)), {0, 0, 0}, 80), kInk) << "prompt";
  EXPECT_EQ(start.Count(OnScreen(client, PixelsOf(frmMain::LnkDwn)), kWindow, 0),
            PixelsOf(frmMain::LnkDwn).w * PixelsOf(frmMain::LnkDwn).h) << "link hidden";
  EXPECT_EQ(start.Count(OnScreen(client, PixelsOf(frmMain::imgDwn)), kWindow, 0), 400) << "picture hidden";

  const auto [lx, ly] = CentreOf(frmMain::picLogo);
  gui.MouseMove(lx, ly);
  gui.MouseDown(3);  // any button reveals
  const Screenshot held = gui.ShotWhen("about", [](const Screenshot& s) { return s.Extent(kWindow).h == 107; });
  EXPECT_EQ(held.Extent(kWindow).w, 425);
  EXPECT_EQ(held.Extent(kWindow).h, 107);
  EXPECT_EQ(gui.Geometry().h, 107);
  EXPECT_GT(held.Count(OnScreen(client, PixelsOf(frmMain::labAbout)), {0, 0, 0}, 80), kInk) << "about text";
  gui.MouseUp(3);
  const Screenshot released = gui.ShotWhen("released", [](const Screenshot& s) { return s.Extent(kWindow).h == 79; });
  EXPECT_EQ(released.Extent(kWindow).h, 79);
  EXPECT_EQ(gui.Geometry().y, client.y) << "grows and shrinks at the bottom only";
}

// The registry layer for Wine prefixes lands separately; until it does nothing is seen in one.
bool RegistryLayerReadsPrefixes(const WinePrefix& prefix) {
  const auto active = prefix.Activate();
  cRegistry registry;
  registry.ClassKey(kHKEY_LOCAL_MACHINE);
  registry.SectionKey("SOFTWARE\\Microsoft");
  return registry.KeyExists() == Boolean::True;
}

struct Installed {
  const char* name;
  std::vector<std::string> versions;
  Rgb colour;
  bool offer;
  friend void PrintTo(const Installed& i, std::ostream* os) { *os << i.name; }
};

class Verdicts : public ::testing::TestWithParam<Installed> {};

TEST_P(Verdicts, CheckPaintsTheVerdictAndShowsTheOfferUnless20IsThere) {
  const Installed& p = GetParam();
  std::unique_ptr<WinePrefix> prefix;
  if (p.versions.empty()) {
    prefix = WinePrefix::Empty();
  } else {
    prefix = WinePrefix::Booted();
    if (!RegistryLayerReadsPrefixes(*prefix)) GTEST_SKIP() << "the registry layer cannot read Wine prefixes yet";
    for (const auto& v : p.versions) {
      // What a 32-bit installer writes: the program reads the 32-bit view, as Vidazoz.exe would.
      const auto r = prefix->Reg({"add", "HKLM\\Software\\Microsoft\\.NETFramework\\policy\\v" + v, "/f", "/reg:32"});
      ASSERT_EQ(r.exitCode, 0) << r.output;
    }
  }
  Desk desk(std::move(prefix));
  GuiSession gui(desk.Environment());
  const Rect client = gui.Geometry();
  const auto [cx, cy] = CentreOf(frmMain::btnCheck);
  gui.Click(cx, cy);

  const Rect result = OnScreen(client, PixelsOf(frmMain::LabResult));
  // The verdict may run past the label's right edge, as far as the window's.
  const Rect verdictLine{result.x, result.y, client.x + client.w - result.x, result.h};
  const Screenshot s = gui.ShotWhen(std::string("verdict-") + p.name, [&](const Screenshot& shot) {
    return shot.Count(verdictLine, p.colour, kTolerance) > kInk;
  });
  EXPECT_GT(s.Count(verdictLine, p.colour, kTolerance), kInk);
  for (Rgb other : {kRed, kOrange, kGreen}) {
    if (!other.Near(p.colour, 0)) {
      EXPECT_LT(s.Count(verdictLine, other, 10), 3);
    }
  }
  const int link = s.Count(OnScreen(client, PixelsOf(frmMain::LnkDwn)), kLinkBlue, kTolerance);
  const int picture = s.Count(OnScreen(client, PixelsOf(frmMain::imgDwn)), kDownloadGreen, kTolerance);
  if (p.offer) {
    EXPECT_GT(link, kInk);
    EXPECT_GT(picture, 100);
  } else {
    EXPECT_EQ(link, 0);
    EXPECT_EQ(picture, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Prefixes, Verdicts,
                         ::testing::Values(Installed{"none", {}, kRed, true},
                                           Installed{"only11", {"1.1"}, kOrange, true},
                                           Installed{"has20", {"2.0", "1.1"}, kGreen, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Window, AnyButtonTurnsTheLinkRedWhileHeldAndOnlyTheLeftClickOpensTheAddressOnce) {
  Desk desk(WinePrefix::Empty());
  GuiSession gui(desk.Environment());
  const Rect client = gui.Geometry();
  const auto [cx, cy] = CentreOf(frmMain::btnCheck);
  gui.Click(cx, cy);
  const Rect link = OnScreen(client, PixelsOf(frmMain::LnkDwn));
  gui.ShotWhen("link-shown", [&](const Screenshot& s) { return s.Count(link, kLinkBlue, kTolerance) > kInk; });

  const auto [lx, ly] = CentreOf(frmMain::LnkDwn);
  gui.MouseMove(lx, ly);
  for (int button : {3, 2, 1}) {  // right, middle, then left
    const std::string name = "link-button" + std::to_string(button);
    gui.MouseDown(button);
    const Screenshot pressed =
        gui.ShotWhen(name + "-pressed", [&](const Screenshot& s) { return s.Count(link, kRed, kTolerance) > kInk; });
    EXPECT_GT(pressed.Count(link, kRed, kTolerance), kInk) << button;
    EXPECT_EQ(pressed.Count(link, kLinkBlue, kTolerance), 0) << button;
    EXPECT_TRUE(desk.Opened().empty()) << "nothing opens before the release of button " << button;
    gui.MouseUp(button);
    const Screenshot released = gui.ShotWhen(
        name + "-released", [&](const Screenshot& s) { return s.Count(link, kLinkBlue, kTolerance) > kInk; });
    EXPECT_GT(released.Count(link, kLinkBlue, kTolerance), kInk) << button;
    EXPECT_EQ(released.Count(link, kRed, 10), 0) << button;
    if (button != 1) {
      std::this_thread::sleep_for(300ms);  // an opener, had one started, has written by now
      EXPECT_TRUE(desk.Opened().empty()) << "button " << button << " opened the address";
    }
  }
  EXPECT_EQ(desk.Opened(3s), std::vector<std::string>{kAddress + "\n"});
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(desk.Opened().size(), 1U) << "one left click, one run";
  EXPECT_FALSE(gui.Program().Wait(0ms)) << "the window stays up while the browser opens";
}

TEST(Window, WithoutAnOpenerTheClickShowsTheModalErrorBox) {
  Desk desk(WinePrefix::Empty(), false);
  GuiSession gui(desk.Environment());
  const auto [cx, cy] = CentreOf(frmMain::btnCheck);
  gui.Click(cx, cy);
  const auto [ix, iy] = CentreOf(frmMain::imgDwn);
  gui.ShotWhen("offer", [&](const Screenshot& s) {
    return s.Count(OnScreen(gui.Geometry(), PixelsOf(frmMain::imgDwn)), kDownloadGreen, kTolerance) > 100;
  });
  gui.Key("Tab");  // the focus from Check, which the mouse pressed, to Exit
  gui.Click(ix, iy);
  const std::string box = gui.WaitForWindow("^Vidazoz$");
  const Screenshot shown = gui.Shot("error-box");
  EXPECT_GT(shown.Count({0, 0, shown.Width(), shown.Height()}, {200, 30, 30}, 10), 200) << "error icon";

  // Modal: the logo does nothing while the box is up.
  const auto [lx, ly] = CentreOf(frmMain::picLogo);
  gui.MouseMove(lx, ly);
  gui.MouseDown(1);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(gui.Geometry().h, 79);
  gui.MouseUp(1);

  gui.KeyTo(box, "Return");  // OK
  EXPECT_TRUE(gui.WaitForNoWindow("^Vidazoz$"));
  EXPECT_FALSE(gui.Program().Wait(0ms)) << "the window stays";

  // The focus is back where it was before the box: Space presses Exit.
  gui.MouseMove(200, 70);
  gui.Key("space");
  EXPECT_EQ(gui.Program().Wait(5s), 0) << "Space found no focused button after the box";
}

TEST(Window, TheFocusStartsOnCheckTabReachesExitAndNoKeyIsADefaultOrCancel) {
  Desk desk(WinePrefix::Empty());
  GuiSession gui(desk.Environment());
  const Rect client = gui.Geometry();
  const Rect result = OnScreen(client, PixelsOf(frmMain::LabResult));
  const Rect verdictLine{result.x, result.y, client.x + client.w - result.x, result.h};
  gui.MouseMove(200, 70);  // an empty part of the window: keys go where the pointer is

  gui.Key("Return");
  gui.Key("Escape");
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(gui.Program().Wait(0ms)) << "Escape closes nothing";
  EXPECT_EQ(gui.Shot("keys-ignored").Count(verdictLine, kRed, kTolerance), 0) << "Enter presses nothing";

  gui.Key("space");  // presses the focused button: Check
  const Screenshot checked = gui.ShotWhen(
      "keys-check", [&](const Screenshot& s) { return s.Count(verdictLine, kRed, kTolerance) > kInk; });
  EXPECT_GT(checked.Count(verdictLine, kRed, kTolerance), kInk);

  gui.Key("Tab");
  gui.Key("Tab");  // the cycle has two stops: back on Check
  gui.Key("Tab");
  gui.Key("space");  // Exit
  EXPECT_EQ(gui.Program().Wait(5s), 0);
}

// Every file and folder under `root` with its size and change time.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Tree(const fs::path& root) {
  std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    tree[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
  }
  return tree;
}

TEST(Window, ExitEndsTheProcessWithStatusZeroAndTheRunWroteNothingInTheHome) {
  Desk desk(WinePrefix::Empty());
  const fs::path home = desk.Home();
  const auto before = Tree(home);
  GuiSession gui(desk.Environment());
  const auto [cx, cy] = CentreOf(frmMain::btnCheck);
  gui.Click(cx, cy);
  gui.Key("Tab");  // the focus drawn on Exit
  const auto [lx, ly] = CentreOf(frmMain::picLogo);
  gui.MouseMove(lx, ly);
  gui.MouseDown(1);  // Exit also while the about text shows
  gui.MouseUp(1);
  const auto [ex, ey] = CentreOf(frmMain::cmdExit);
  gui.Click(ex, ey);
  EXPECT_EQ(gui.Program().Wait(5s), 0);
  EXPECT_EQ(Tree(home), before) << "the run wrote in the home folder";
}

TEST(Window, OnlyTheLeftButtonPressesAPushButton) {
  Desk desk(WinePrefix::Empty());
  GuiSession gui(desk.Environment());
  const Rect client = gui.Geometry();
  const Rect result = OnScreen(client, PixelsOf(frmMain::LabResult));
  const Rect verdictLine{result.x, result.y, client.x + client.w - result.x, result.h};
  const auto [cx, cy] = CentreOf(frmMain::btnCheck);
  const auto [ex, ey] = CentreOf(frmMain::cmdExit);
  for (int button : {3, 2}) {  // right, middle
    gui.Click(ex, ey, button);
    gui.Click(cx, cy, button);
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(gui.Program().Wait(0ms)) << "another button than the left one pressed Exit";
  EXPECT_EQ(gui.Shot("other-buttons").Count(verdictLine, kRed, kTolerance), 0)
      << "another button than the left one pressed Check";
  gui.Click(ex, ey, 1);
  EXPECT_EQ(gui.Program().Wait(5s), 0);
}

// Where the pictures and the labels' text begin, from their places in twips (15 to a pixel at
// 96 dpi), as the Windows program draws them. `inset` is the picture's own margin of the
// window's colour (the badge's 2 pixels), or the most a glyph's side bearing may add.
struct Placed {
  std::size_t control;
  int left, top, width, height;  // twips
  int inset;
  bool picture;
  const char* name;
};

TEST(Window, PicturesAndTextStartExactlyWhereTheirTwipsPlaceThem) {
  Desk desk(WinePrefix::Empty());
  GuiSession gui(desk.Environment());
  const Rect client = gui.Geometry();
  const auto [cx, cy] = CentreOf(frmMain::btnCheck);
  gui.Click(cx, cy);  // shows the link and the download picture
  const auto [lx, ly] = CentreOf(frmMain::picLogo);
  gui.MouseMove(lx, ly);
  gui.MouseDown(3);  // shows the about text
  const Screenshot s = gui.ShotWhen("positions", [&](const Screenshot& shot) {
    return shot.Extent(kWindow).h == 107 &&
           shot.Count(OnScreen(client, PixelsOf(frmMain::imgDwn)), kDownloadGreen, kTolerance) > 100;
  });
  gui.MouseUp(3);
  const Placed placed[] = {
      {frmMain::picLogo, 120, 120, 960, 960, 2, true, "picLogo"},
      {frmMain::imgDwn, 1200, 720, 300, 300, 0, true, "imgDwn"},
      {frmMain::LabResult, 1200, 240, 4935, 255, 1, false, "LabResult"},
      {frmMain::LnkDwn, 1560, 760, 3090, 210, 1, false, "LnkDwn"},
      {frmMain::labAbout, 240, 1320, 5940, 210, 1, false, "labAbout"},
  };
  const auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
  for (const Placed& p : placed) {
    const Rect at{client.x + px(p.left), client.y + px(p.top), px(p.left + p.width) - px(p.left),
                  px(p.top + p.height) - px(p.top)};
    // Room around the control for ink drawn out of place; the neighbours lie farther away.
    const Rect around{at.x - 3, at.y, at.w + 6, at.h};
    const Rect ink = s.Ink(around, kWindow, 40);
    if (p.picture) {
      EXPECT_EQ(ink.x, at.x + p.inset) << p.name;
      EXPECT_EQ(ink.y, at.y + p.inset) << p.name;
      EXPECT_EQ(ink.x + ink.w, at.x + at.w - p.inset) << p.name;
      EXPECT_EQ(ink.y + ink.h, at.y + at.h - p.inset) << p.name;
    } else {
      EXPECT_GE(ink.x, at.x) << p.name;
      EXPECT_LE(ink.x, at.x + p.inset) << p.name;
    }
  }
}

}  // namespace
}  // namespace vidazoz::testing
