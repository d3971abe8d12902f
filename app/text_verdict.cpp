#include "text_verdict.h"

#include <array>
#include <utility>

namespace vidazoz {
namespace {

// Only the caption and the message box have a meaning on a terminal.
class TextDisplay final : public VerdictDisplay {
 public:
  void SetResultCaption(const std::string& caption) override { caption_ = caption; }
  void SetResultColour(Colour) override {}
  void SetResultBold(bool) override {}
  void SetDownloadLinkVisible(bool) override {}
  void SetDownloadImageVisible(bool) override {}
  void ShowMessage(const std::string& text, std::int32_t, const std::string&) override { message_ = text; }

  std::string caption_, message_;
};

constexpr std::array<std::pair<const Verdict*, int>, 3> kStatuses = {{
    {&kVerdictInstalled, kExitInstalled},
    {&kVerdictOld, kExitOld},
    {&kVerdictNone, kExitNone},
}};

}  // namespace

int CheckAsText(std::ostream& out, std::ostream& err, const RegistryFactory& makeRegistry,
                const ProbeObserver& observe) {
  TextDisplay display;
  RunFrameworkCheck(display, makeRegistry, observe);
  if (display.message_.empty()) {
    for (const auto& [verdict, status] : kStatuses) {
      if (display.caption_ == verdict->caption) {
        if (out << display.caption_ << '\n' << std::flush) return status;
        err << "vidazoz: cannot write the verdict to standard output\n";
        return kExitCannotWrite;
      }
    }
  }
  err << (display.message_.empty() ? std::string(kRegistryErrorMessage) : display.message_) << '\n';
  return kExitCheckFailed;
}

}  // namespace vidazoz
