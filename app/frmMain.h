// frmMain: the one window of the program, its controls and its event handlers. Platform-neutral:
// it reaches the screen through the window runtime and the platform through the system services.
#pragma once

#include <array>
#include <span>
#include <string>

#include "framework_check.h"
#include "runtime/window_runtime.h"
#include "system/system_services.h"

namespace vidazoz {

class frmMain final : public runtime::Form, public VerdictDisplay {
 public:
  // The controls, in the order of the control table.
  enum Control : runtime::ControlId {
    picLogo, LabResult, LineSep1, imgDwn, LnkDwn, cmdExit, btnCheck, LinAbout, labAbout, kControlCount
  };

  static constexpr runtime::Twips kHeightShown = 1665;
  static constexpr runtime::Twips kHeightAboutShown = 2085;

  frmMain(runtime::WindowRuntime& runtime, system::SystemServices& services, RegistryFactory makeRegistry);

  // runtime::Form
  const runtime::FormSpec& Layout() const override;
  std::span<const runtime::ControlSpec> Controls() const override;
  std::span<const runtime::ControlId> TabOrder() const override;
  runtime::ControlId FirstFocus() const override;
  void Initialize() override { Form_Initialize(); }
  void Unload() override { Form_Unload(); }
  void Click(runtime::ControlId control) override;
  void MouseDown(runtime::ControlId control, const runtime::MouseArgs& args) override;
  void MouseUp(runtime::ControlId control, const runtime::MouseArgs& args) override;

  // The event handlers.
  void Form_Initialize();
  void Form_Unload();
  void btnCheck_Click();
  void cmdExit_Click();
  void picLogo_MouseDown(const runtime::MouseArgs& args);
  void picLogo_MouseUp(const runtime::MouseArgs& args);
  void LnkDwn_Click();
  void LnkDwn_MouseDown(const runtime::MouseArgs& args);
  void LnkDwn_MouseUp(const runtime::MouseArgs& args);
  void imgDwn_Click();
  void imgDwn_MouseDown(const runtime::MouseArgs& args);
  void imgDwn_MouseUp(const runtime::MouseArgs& args);

  system::ModuleHandle hShell32() const { return hShell32_; }

  // VerdictDisplay: the framework check's view of LabResult, LnkDwn and imgDwn.
  void SetResultCaption(const std::string& caption) override;
  void SetResultColour(Colour colour) override;
  void SetResultBold(bool bold) override;
  void SetDownloadLinkVisible(bool visible) override;
  void SetDownloadImageVisible(bool visible) override;
  void ShowMessage(const std::string& text, std::int32_t style, const std::string& title) override;

 private:
  runtime::WindowRuntime& runtime_;
  system::SystemServices& services_;
  RegistryFactory makeRegistry_;
  system::ModuleHandle hShell32_ = 0;
};

inline constexpr std::string_view kAboutText =
    "Vidazoz 1.02 - Copyright (c) Dodivezozu Software. All rights reserved.";

}  // namespace vidazoz
