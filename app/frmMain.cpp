#include "frmMain.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "download_link.h"

namespace vidazoz {
namespace {

using runtime::ControlKind;
using runtime::ControlSpec;
using runtime::Picture;

constexpr Colour kWindowColour = 0xE1E1E1;
constexpr runtime::Font kRegular{"Arial", 8.25, false};
constexpr runtime::Font kBold{"Arial", 8.25, true};

constexpr runtime::FormSpec kLayout{"Dodivezozu Software :: Vidazoz", kWindowColour, 6375, 1185};

// The control table, in twips. Lines run from (left, top) to (left + width, top + height).
constexpr std::array<ControlSpec, frmMain::kControlCount> kControls{{
    {.name = "picLogo", .kind = ControlKind::Image, .caption = "", .picture = Picture::Logo,
     .left = 120, .top = 120, .width = 960, .height = 960},
    {.name = "LabResult", .kind = ControlKind::Label,
     .caption = "Click The 'Check' Button To Check If .Net Framework 2.0 Is Installed!",
     .left = 1200, .top = 240, .width = 4935, .height = 255, .font = kRegular,
     .backColour = kWindowColour, .tabIndex = 0},
    {.name = "LineSep1", .kind = ControlKind::Line, .caption = "",
     .left = 1200, .top = 600, .width = 5040, .height = 0},
    {.name = "imgDwn", .kind = ControlKind::Image, .caption = "", .picture = Picture::Download,
     .left = 1200, .top = 720, .width = 300, .height = 300, .visible = false},
    {.name = "LnkDwn", .kind = ControlKind::Label, .caption = "Download Latest .Net Framework Ver",
     .left = 1560, .top = 760, .width = 3090, .height = 210, .font = kBold,
     .foreColour = 0xBD7913, .backColour = kWindowColour, .visible = false, .tabIndex = 2},
    {.name = "cmdExit", .kind = ControlKind::Button, .caption = "Exit",
     .left = 4800, .top = 720, .width = 495, .height = 375, .font = kRegular, .tabIndex = 3},
    {.name = "btnCheck", .kind = ControlKind::Button, .caption = "Check",
     .left = 5400, .top = 720, .width = 855, .height = 375, .font = kBold, .tabIndex = 1},
    {.name = "LinAbout", .kind = ControlKind::Line, .caption = "",
     .left = 120, .top = 1200, .width = 6120, .height = 0, .visible = false},
    {.name = "labAbout", .kind = ControlKind::Label, .caption = kAboutText,
     .left = 240, .top = 1320, .width = 5940, .height = 210, .font = kRegular, .visible = false, .tabIndex = 4},
}};

using Order = std::array<runtime::ControlId, frmMain::kControlCount>;

// By tab index, the controls without one after the rest, ties in table order.
constexpr Order MakeTabOrder() {
  Order order{};
  for (runtime::ControlId id = 0; id < order.size(); ++id) order[id] = id;
  const auto key = [](runtime::ControlId id) {
    return std::pair{kControls[id].tabIndex < 0 ? INT_MAX : kControls[id].tabIndex, id};
  };
  std::sort(order.begin(), order.end(), [&](auto a, auto b) { return key(a) < key(b); });
  return order;
}

constexpr Order kTabOrder = MakeTabOrder();

// Only buttons take the focus; the first shown one in tab order has it at start. A table
// without one does not compile.
constexpr runtime::ControlId MakeFirstFocus() {
  for (runtime::ControlId id : kTabOrder) {
    if (kControls[id].kind == ControlKind::Button && kControls[id].visible) return id;
  }
  throw "no shown button takes the focus";
}

constexpr runtime::ControlId kFirstFocus = MakeFirstFocus();

}  // namespace

frmMain::frmMain(runtime::WindowRuntime& runtime, system::SystemServices& services, RegistryFactory makeRegistry)
    : runtime_(runtime), services_(services), makeRegistry_(std::move(makeRegistry)) {}

const runtime::FormSpec& frmMain::Layout() const { return kLayout; }
std::span<const runtime::ControlSpec> frmMain::Controls() const { return kControls; }
std::span<const runtime::ControlId> frmMain::TabOrder() const { return kTabOrder; }
runtime::ControlId frmMain::FirstFocus() const { return kFirstFocus; }

void frmMain::Click(runtime::ControlId control) {
  switch (control) {
    case btnCheck: return btnCheck_Click();
    case cmdExit: return cmdExit_Click();
    case LnkDwn: return LnkDwn_Click();
    case imgDwn: return imgDwn_Click();
    default: return;
  }
}

void frmMain::MouseDown(runtime::ControlId control, const runtime::MouseArgs& args) {
  switch (control) {
    case picLogo: return picLogo_MouseDown(args);
    case LnkDwn: return LnkDwn_MouseDown(args);
    case imgDwn: return imgDwn_MouseDown(args);
    default: return;
  }
}

void frmMain::MouseUp(runtime::ControlId control, const runtime::MouseArgs& args) {
  switch (control) {
    case picLogo: return picLogo_MouseUp(args);
    case LnkDwn: return LnkDwn_MouseUp(args);
    case imgDwn: return imgDwn_MouseUp(args);
    default: return;
  }
}

void frmMain::Form_Initialize() {
  // The handle is kept untested: a failed load leaves 0, which the unload step frees all the same.
  hShell32_ = services_.LoadLibraryA("shell32.dll");
  services_.InitCommonControls();
}

void frmMain::Form_Unload() { services_.FreeLibrary(hShell32_); }

void frmMain::btnCheck_Click() { RunFrameworkCheck(*this, makeRegistry_); }

void frmMain::cmdExit_Click() { runtime_.End(); }

void frmMain::picLogo_MouseDown(const runtime::MouseArgs&) {
  runtime_.SetVisible(LinAbout, true);
  runtime_.SetVisible(labAbout, true);
  runtime_.SetFormHeight(kHeightAboutShown);
}

void frmMain::picLogo_MouseUp(const runtime::MouseArgs&) {
  runtime_.SetVisible(LinAbout, false);
  runtime_.SetVisible(labAbout, false);
  runtime_.SetFormHeight(kHeightShown);
}

void frmMain::LnkDwn_Click() { OpenDownloadPage(runtime_, services_); }
void frmMain::LnkDwn_MouseDown(const runtime::MouseArgs&) { runtime_.SetForeColour(LnkDwn, kLinkPressedColour); }
void frmMain::LnkDwn_MouseUp(const runtime::MouseArgs&) { runtime_.SetForeColour(LnkDwn, kLinkReleasedColour); }
void frmMain::imgDwn_Click() { LnkDwn_Click(); }
void frmMain::imgDwn_MouseDown(const runtime::MouseArgs&) { runtime_.SetForeColour(LnkDwn, kLinkPressedColour); }
void frmMain::imgDwn_MouseUp(const runtime::MouseArgs&) { runtime_.SetForeColour(LnkDwn, kLinkReleasedColour); }

void frmMain::SetResultCaption(const std::string& caption) { runtime_.SetCaption(LabResult, caption); }
void frmMain::SetResultColour(Colour colour) { runtime_.SetForeColour(LabResult, colour); }
void frmMain::SetResultBold(bool bold) { runtime_.SetFontBold(LabResult, bold); }
void frmMain::SetDownloadLinkVisible(bool visible) { runtime_.SetVisible(LnkDwn, visible); }
void frmMain::SetDownloadImageVisible(bool visible) { runtime_.SetVisible(imgDwn, visible); }
void frmMain::ShowMessage(const std::string& text, std::int32_t style, const std::string& title) {
  runtime_.MsgBox(text, style, title);
}

}  // namespace vidazoz
