// A window runtime without a window: it keeps the state each control would show and records
// every call in order, as text, so handler tests can check both effects and sequence.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/window_runtime.h"

namespace vidazoz::testing {

struct ControlState {
  std::string caption;
  Colour foreColour = runtime::kDefaultColour;
  bool bold = false;
  bool visible = false;
};

class RecordingRuntime final : public runtime::WindowRuntime {
 public:
  // Runs the form's initialisation and creates its controls; returns without an event loop.
  int Run(runtime::Form& form) override;

  void SetCaption(runtime::ControlId control, const std::string& caption) override;
  void SetForeColour(runtime::ControlId control, Colour colour) override;
  void SetFontBold(runtime::ControlId control, bool bold) override;
  void SetVisible(runtime::ControlId control, bool visible) override;
  void SetFormHeight(runtime::Twips outerHeight) override;
  runtime::WindowHandle Handle() const override;
  int MsgBox(const std::string& prompt, std::int32_t style, const std::string& title) override;
  void End() override;

  // What a person does: each delivers the events the toolkit would, in its order.
  void Press(runtime::ControlId control, int button = 1);
  void Release(runtime::ControlId control, int button = 1);
  void ClickOn(runtime::ControlId control);  // press, release, click
  void Close();                              // the close box

  const ControlState& State(runtime::ControlId control) const { return controls_.at(control); }
  std::vector<std::string> VisibleControls() const;
  runtime::Twips FormHeight() const { return formHeight_; }
  bool Ended() const { return ended_; }
  bool Closed() const { return closed_; }

  std::vector<std::string> calls;
  std::vector<std::string> messages;  // "prompt|style|title"
  runtime::WindowHandle handle = 0x2a0010;
  bool failHandle = false;  // Handle() throws, as when the window cannot be reached

 private:
  std::string Name(runtime::ControlId control) const;
  void Record(std::string call) { calls.push_back(std::move(call)); }

  runtime::Form* form_ = nullptr;
  std::vector<ControlState> controls_;
  runtime::Twips formHeight_ = 0;
  bool ended_ = false;
  bool closed_ = false;
};

}  // namespace vidazoz::testing
