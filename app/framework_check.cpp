#include "framework_check.h"

namespace vidazoz {
namespace {

void Display(VerdictDisplay& display, const Verdict& verdict) {
  display.SetResultCaption(std::string(verdict.caption));
  display.SetResultColour(verdict.colour);
  display.SetResultBold(true);
  display.SetDownloadLinkVisible(verdict.offerDownload);
  display.SetDownloadImageVisible(verdict.offerDownload);
}

}  // namespace

const Verdict& ProbeFramework(cRegistry& registry, const ProbeObserver& observe) {
  for (std::size_t i = 0; i < kProbes.size(); ++i) {
    registry.ClassKey(kProbes[i].hive);
    registry.SectionKey(std::string(kProbes[i].keyPath));
    const bool found = registry.KeyExists() == Boolean::True;
    if (observe) observe(kProbes[i], found);
    if (found) return *kProbeVerdicts[i];
  }
  return kVerdictNone;
}

const Verdict* RunFrameworkCheck(VerdictDisplay& display, const RegistryFactory& makeRegistry,
                                 const ProbeObserver& observe) {
  std::unique_ptr<cRegistry> registry;
  try {
    registry = makeRegistry();
    const Verdict& verdict = ProbeFramework(*registry, observe);
    Display(display, verdict);
    return &verdict;
  } catch (const std::exception&) {
    display.ShowMessage(std::string(kRegistryErrorMessage), kErrorMessageStyle, std::string(kApplicationTitle));
    return nullptr;
  }
}

}  // namespace vidazoz
