// The check against a real registry, seeded with Wine's own `reg` tool: on Linux our layer over
// a Wine prefix, under wine64 Wine's advapi32. Both must give the same verdicts. On Linux also
// as the program runs it, a 32-bit process under WoW64: its verdict follows the keys a 32-bit
// installer writes, as the 32-bit release's does.
#include <gtest/gtest.h>

#include "framework_check.h"
#include "sandbox_platform.h"

#ifndef _WIN32
#include "advapi32.h"
#include "wow64_process.h"
#endif

namespace vidazoz {
namespace {

using testing::SandboxPlatform;

constexpr const char* kPolicy = "HKLM\\SOFTWARE\\Microsoft\\.NETFramework\\policy";

// The caption of the verdict the check returns, or the message it showed instead.
std::string Check() {
  MessageOnlyDisplay display;
  const Verdict* verdict = RunFrameworkCheck(display, [] { return std::make_unique<cRegistry>(); });
  return verdict != nullptr ? std::string(verdict->caption) : "message:" + display.message;
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

#ifndef _WIN32
class AsTheProgram : public ::testing::Test {
 protected:
  AsTheProgram() { SetWow64Process(true); }
  ~AsTheProgram() override { SetWow64Process(false); }
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

#endif

}  // namespace
}  // namespace vidazoz
