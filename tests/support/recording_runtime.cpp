#include "recording_runtime.h"

#include <stdexcept>

namespace vidazoz::testing {

int RecordingRuntime::Run(runtime::Form& form) {
  form_ = &form;
  Record("Initialize");
  form.Initialize();
  controls_.clear();
  for (const runtime::ControlSpec& layout : form.Controls()) {
    controls_.push_back({std::string(layout.caption), layout.foreColour, layout.font.bold, layout.visible});
  }
  formHeight_ = form.Layout().clientHeight + runtime::kFrameHeightAllowance;
  Record("Create");
  return 0;
}

void RecordingRuntime::SetCaption(runtime::ControlId control, const std::string& caption) {
  Record("caption " + Name(control) + " " + caption);
  controls_.at(control).caption = caption;
}

void RecordingRuntime::SetForeColour(runtime::ControlId control, Colour colour) {
  Record("colour " + Name(control) + " " + std::to_string(colour));
  controls_.at(control).foreColour = colour;
}

void RecordingRuntime::SetFontBold(runtime::ControlId control, bool bold) {
  Record("bold " + Name(control) + " " + (bold ? "1" : "0"));
  controls_.at(control).bold = bold;
}

void RecordingRuntime::SetVisible(runtime::ControlId control, bool visible) {
  Record("visible " + Name(control) + " " + (visible ? "1" : "0"));
  controls_.at(control).visible = visible;
}

void RecordingRuntime::SetFormHeight(runtime::Twips outerHeight) {
  Record("height " + std::to_string(outerHeight));
  formHeight_ = outerHeight;
}

runtime::WindowHandle RecordingRuntime::Handle() const {
  if (failHandle) throw std::runtime_error("no window handle");
  return handle;
}

int RecordingRuntime::MsgBox(const std::string& prompt, std::int32_t style, const std::string& title) {
  Record("MsgBox");
  messages.push_back(prompt + "|" + std::to_string(style) + "|" + title);
  return 1;
}

void RecordingRuntime::End() {
  Record("End");
  ended_ = true;
}

void RecordingRuntime::Press(runtime::ControlId control, int button) {
  form_->MouseDown(control, {.button = button});
}

void RecordingRuntime::Release(runtime::ControlId control, int button) {
  form_->MouseUp(control, {.button = button});
}

void RecordingRuntime::ClickOn(runtime::ControlId control) {
  Press(control);
  Release(control);
  form_->Click(control);
}

void RecordingRuntime::Close() {
  Record("Unload");
  form_->Unload();
  closed_ = true;
}

std::vector<std::string> RecordingRuntime::VisibleControls() const {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].visible) names.push_back(Name(i));
  }
  return names;
}

std::string RecordingRuntime::Name(runtime::ControlId control) const {
  return std::string(form_->Controls()[control].name);
}

}  // namespace vidazoz::testing
