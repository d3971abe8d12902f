// The framework check: which .NET Framework policy keys exist under HKEY_LOCAL_MACHINE,
// newest first, and the verdict that goes on the window.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "cRegistry.h"
#include "colour.h"

namespace vidazoz {

struct Probe {
  std::string_view version;
  std::int32_t hive;
  std::string_view keyPath;
};

inline constexpr std::array<Probe, 3> kProbes = {{
    {"2.0", kHKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0"},
    {"1.1", kHKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v1.1"},
    {"1.0", kHKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v1.0"},
}};

struct Verdict {
  std::string_view caption;
  Colour colour;
  bool offerDownload;
};

inline constexpr Verdict kVerdictInstalled{"The .Net Framework 2.0 Is Installed On Your Computer!", 0x008000, false};
inline constexpr Verdict kVerdictOld{"You Have An Old Version Of The .Net Framework Installed!", 0x0080FF, true};
inline constexpr Verdict kVerdictNone{"You DO NOT Have The .Net Framework 2.0 Installed!", 0x0000FF, true};

// The verdict of each probe when its key is the first found, in probe order.
inline constexpr std::array<const Verdict*, 3> kProbeVerdicts = {&kVerdictInstalled, &kVerdictOld, &kVerdictOld};

inline constexpr std::string_view kRegistryErrorMessage =
    "There Was An Error Accessing The Registry, This Could Be Due To User Account Restrictions";
inline constexpr std::int32_t kErrorMessageStyle = 16;  // vbCritical: error icon, OK button
inline constexpr std::string_view kApplicationTitle = "Vidazoz";

// What the check needs of the window: three controls and a message box.
class VerdictDisplay {
 public:
  virtual ~VerdictDisplay() = default;
  virtual void SetResultCaption(const std::string& caption) = 0;
  virtual void SetResultColour(Colour colour) = 0;
  virtual void SetResultBold(bool bold) = 0;
  virtual void SetDownloadLinkVisible(bool visible) = 0;
  virtual void SetDownloadImageVisible(bool visible) = 0;
  virtual void ShowMessage(const std::string& text, std::int32_t style, const std::string& title) = 0;
};

// A display without controls, for a caller that takes the verdict RunFrameworkCheck returns:
// it keeps only the message an error shows.
class MessageOnlyDisplay final : public VerdictDisplay {
 public:
  void SetResultCaption(const std::string&) override {}
  void SetResultColour(Colour) override {}
  void SetResultBold(bool) override {}
  void SetDownloadLinkVisible(bool) override {}
  void SetDownloadImageVisible(bool) override {}
  void ShowMessage(const std::string& text, std::int32_t, const std::string&) override { message = text; }

  std::string message;
};

using RegistryFactory = std::function<std::unique_ptr<cRegistry>()>;

// Told of each probe as it is answered, for a caller that explains the verdict.
using ProbeObserver = std::function<void(const Probe& probe, bool found)>;

// The probe sequence alone: the verdict for the registry the object sees.
[[nodiscard]] const Verdict& ProbeFramework(cRegistry& registry, const ProbeObserver& observe = {});

// A press of Check: probes with one new registry object, displays the verdict, and reports
// any error in the message box, leaving the display as it was. Returns the verdict displayed
// (one of the kVerdict constants), or nullptr when an error was reported instead.
const Verdict* RunFrameworkCheck(VerdictDisplay& display, const RegistryFactory& makeRegistry,
                                 const ProbeObserver& observe = {});

}  // namespace vidazoz
