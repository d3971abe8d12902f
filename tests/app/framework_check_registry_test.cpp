// The check against a real registry, seeded with Wine's own `reg` tool: on Linux our layer over
// a Wine prefix, under wine64 Wine's advapi32. Both must give the same verdicts.
#include <gtest/gtest.h>

#include "framework_check.h"
#include "sandbox_platform.h"

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

std::string Check() {
  CaptionOnly display;
  RunFrameworkCheck(display, [] { return std::make_unique<cRegistry>(); });
  return display.caption;
}

TEST(FrameworkCheckOnARealRegistry, VerdictFollowsThePolicyKeysWineReports) {
  SandboxPlatform sandbox(SandboxPlatform::Start::Booted, {kPolicy});
  EXPECT_EQ(Check(), kVerdictNone.caption);

  // A value-less key with a sibling: existence is all that counts, and v1.1 alone is old.
  ASSERT_EQ(sandbox.Reg({"add", std::string(kPolicy) + "\\v1.1", "/f"}).exitCode, 0);
  ASSERT_EQ(sandbox.Reg({"add", std::string(kPolicy) + "\\Standards", "/f"}).exitCode, 0);
  EXPECT_EQ(Check(), kVerdictOld.caption);

  // Names match without regard to case, as Windows matches them.
  ASSERT_EQ(sandbox.Reg({"add", std::string(kPolicy) + "\\V2.0", "/v", "50727", "/d", "50727-50727", "/f"}).exitCode,
            0);
  EXPECT_EQ(Check(), kVerdictInstalled.caption);

  ASSERT_EQ(sandbox.Reg({"delete", std::string(kPolicy) + "\\V2.0", "/f"}).exitCode, 0);
  EXPECT_EQ(Check(), kVerdictOld.caption);
}

}  // namespace
}  // namespace vidazoz
