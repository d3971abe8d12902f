// The check alone, for timing from exec to verdict: three probes, the verdict on stdout.
#include <iostream>

#include "framework_check.h"
#include "wow64_process.h"

namespace {

class ConsoleDisplay final : public vidazoz::VerdictDisplay {
 public:
  void SetResultCaption(const std::string& caption) override { std::cout << caption << '\n'; }
  void SetResultColour(vidazoz::Colour) override {}
  void SetResultBold(bool) override {}
  void SetDownloadLinkVisible(bool) override {}
  void SetDownloadImageVisible(bool) override {}
  void ShowMessage(const std::string& text, std::int32_t, const std::string&) override {
    std::cerr << text << '\n';
    failed = true;
  }
  bool failed = false;
};

}  // namespace

int main() {
  vidazoz::SetWow64Process(true);  // as the program itself does
  ConsoleDisplay display;
  vidazoz::RunFrameworkCheck(display, [] { return std::make_unique<vidazoz::cRegistry>(); });
  return display.failed ? 1 : 0;
}
