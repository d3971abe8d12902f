#include "text_verdict.h"

#include <array>
#include <utility>

namespace vidazoz {
namespace {

constexpr std::array<std::pair<const Verdict*, int>, 3> kStatuses = {{
    {&kVerdictInstalled, kExitInstalled},
    {&kVerdictOld, kExitOld},
    {&kVerdictNone, kExitNone},
}};

}  // namespace

int CheckAsText(std::ostream& out, std::ostream& err, const RegistryFactory& makeRegistry,
                const ProbeObserver& observe) {
  // Only the caption and the message box have a meaning on a terminal.
  MessageOnlyDisplay display;
  if (const Verdict* verdict = RunFrameworkCheck(display, makeRegistry, observe)) {
    for (const auto& [known, status] : kStatuses) {
      if (verdict != known) continue;
      if (out << verdict->caption << '\n' << std::flush) return status;
      err << "vidazoz: cannot write the verdict to standard output\n";
      return kExitCannotWrite;
    }
  }
  err << (display.message.empty() ? std::string(kRegistryErrorMessage) : display.message) << '\n';
  return kExitCheckFailed;
}

}  // namespace vidazoz
