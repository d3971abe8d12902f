// The check as the Linux program runs it (a 32-bit process under WoW64) on real prefixes: its
// verdict follows the keys a 32-bit installer writes, as the 32-bit release's does. Linux only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include "advapi32.h"
#include "framework_check.h"
#include "sandbox_platform.h"
#include "wow64_process.h"

namespace vidazoz {
namespace {

using testing::SandboxPlatform;

constexpr const char* kPolicy = "HKLM\\SOFTWARE\\Microsoft\\.NETFramework\\policy";

class CaptionOnly : public VerdictDisplay {
 public:
  void SetResultCaption(const std::string& c) override { caption = c; }
  void SetResultColour(Colour) override {}
  void SetResultBold(bool) override {}
  void SetDownloadLinkVisible(bool) override {}
  void SetDownloadImageVisible(bool) override {}
  void ShowMessage(const std::string& text, std::int32_t, const std::string&) override { caption = "message:" + text; }
  std::string caption;
};

class AsTheProgram : public ::testing::Test {
 protected:
  AsTheProgram() { SetWow64Process(true); }
  ~AsTheProgram() override { SetWow64Process(false); }

  static std::string Check() {
    CaptionOnly display;
    RunFrameworkCheck(display, [] { return std::make_unique<cRegistry>(); });
    return display.caption;
  }
};

TEST_F(AsTheProgram, VerdictOfA64BitPrefixIsThe32BitViews) {
  SandboxPlatform sandbox(SandboxPlatform::Start::Booted, {});
  const struct {
    const char* what;
    std::vector<std::string> reg;  // a `wine reg` command, run before the check
    std::string_view verdict;
  } steps[] = {
      {"nothing installed", {}, kVerdictNone.caption},
      {"only a 64-bit 2.0",
       {"add", std::string(kPolicy) + "\\v2.0", "/v", "50727", "/d", "50727-50727", "/f", "/reg:64"},
       kVerdictNone.caption},
      {"a 32-bit 1.1 beside it", {"add", std::string(kPolicy) + "\\v1.1", "/f", "/reg:32"}, kVerdictOld.caption},
      {"a 32-bit 2.0", {"add", std::string(kPolicy) + "\\v2.0", "/v", "50727", "/d", "50727-50727", "/f", "/reg:32"},
       kVerdictInstalled.caption},
  };
  for (const auto& step : steps) {
    if (!step.reg.empty()) {
      ASSERT_EQ(sandbox.Reg(step.reg).exitCode, 0) << step.what;
    }
    EXPECT_EQ(Check(), step.verdict) << step.what;
  }
}

TEST_F(AsTheProgram, VerdictOfA32BitPrefixIsUnchanged) {
  SandboxPlatform sandbox(SandboxPlatform::Start::Empty, {});  // our layer writes #arch=win32
  auto create = [](const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    RegCloseKey(key);
  };
  create("Software\\Wow6432Node\\Microsoft\\.NETFramework\\policy\\v2.0");  // an ordinary key here
  EXPECT_EQ(Check(), kVerdictNone.caption);
  create("Software\\Microsoft\\.NETFramework\\policy\\v2.0");
  EXPECT_EQ(Check(), kVerdictInstalled.caption);
}

}  // namespace
}  // namespace vidazoz

#endif
