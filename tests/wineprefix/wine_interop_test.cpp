// With real Wine: what Wine writes we read, what we write Wine reads, and a running
// wineserver we cannot reach stops our writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "advapi32.h"
#include "cRegistry.h"
#include "reg_text.h"
#include "wine_prefix.h"
#include "wineserver_probe.h"

namespace vidazoz::testing {
namespace {

class WineInterop : public ::testing::Test {
 protected:
  TempDir home_{"vidazoz-home"};
  ScopedEnv homeEnv_{"HOME", home_.Path().string()};
  std::unique_ptr<WinePrefix> prefix_ = WinePrefix::Booted();
  std::unique_ptr<ScopedEnv> active_ = prefix_->Activate();
};

LONG WriteString(HKEY root, const char* path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status != 0) return status;
  status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status;
}

TEST_F(WineInterop, AKeyWineAddedIsSeenByCRegistry) {
  const CommandResult add = prefix_->Reg({"add", "HKLM\\Software\\Vidazoz\\FromWine", "/v", "x", "/d", "1", "/f"});
  ASSERT_EQ(add.exitCode, 0) << add.output;
  cRegistry reg;
  reg.ClassKey(kHKEY_LOCAL_MACHINE);
  reg.SectionKey("SOFTWARE\\vidazoz\\FromWine");
  EXPECT_EQ(reg.KeyExists(), Boolean::True);
  reg.SectionKey("Software\\Vidazoz\\NotFromWine");
  EXPECT_EQ(reg.KeyExists(), Boolean::False);
  reg.SectionKey("Software\\Microsoft\\Windows NT\\CurrentVersion");
  EXPECT_EQ(reg.KeyExists(), Boolean::True) << "wineboot's own keys";
}

TEST_F(WineInterop, WhatWeWriteWineReads) {
  ASSERT_EQ(WriteString(HKEY_CURRENT_USER, "Software\\Vidazoz\\FromUs", "Greeting", "hello wine"), 0);
  ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, "Software\\Vidazoz\\Machine", "", "caf\xE9"), 0);
  const std::string before = ReadText(prefix_->File("system.reg"));

  const CommandResult user = prefix_->Reg({"query", "HKCU\\Software\\Vidazoz\\FromUs", "/v", "Greeting"});
  EXPECT_EQ(user.exitCode, 0) << user.output;
  EXPECT_NE(user.output.find("hello wine"), std::string::npos) << user.output;
  const CommandResult machine = prefix_->Reg({"query", "HKLM\\Software\\Vidazoz\\Machine"});
  EXPECT_EQ(machine.exitCode, 0) << machine.output;
  EXPECT_NE(machine.output.find("REG_SZ"), std::string::npos) << machine.output;
  EXPECT_EQ(machine.output.find("not a valid registry file"), std::string::npos) << machine.output;

  // Wine saved the files again on exit: had it rejected ours, it would have left them alone.
  const std::string after = ReadText(prefix_->File("system.reg"));
  EXPECT_NE(after.find("[Software\\\\Vidazoz\\\\Machine]"), std::string::npos);
  EXPECT_NE(after.find("@=\"caf\\xe9\""), std::string::npos) << "stored as UTF-16, escaped as Wine escapes";
  const CommandResult stock = prefix_->Reg({"query", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", "/v",
                                            "CurrentVersion"});
  EXPECT_EQ(stock.exitCode, 0) << stock.output;
}

TEST_F(WineInterop, AWriteChangesOnlyWhatItMust) {
  const std::string before = ReadText(prefix_->File("system.reg"));
  ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, "Software\\Vidazoz\\Machine", "", "x"), 0);
  std::string after = ReadText(prefix_->File("system.reg"));
  // The one new block comes out; everything else must be Wine's bytes, untouched.
  const std::size_t start = after.find("[Software\\\\Vidazoz\\\\Machine] ");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = after.find("\n\n", start);
  ASSERT_NE(end, std::string::npos);
  EXPECT_NE(after.substr(start, end + 2 - start).find("\n@=\"x\"\n"), std::string::npos);
  after.erase(start, end + 2 - start);
  EXPECT_TRUE(after == before) << "a write changed other parts of system.reg";
}

TEST_F(WineInterop, WritesAreRefusedWhileAWineserverRunsThatWeCannotReach) {
  // No helper to start: the server's registry cannot be reached, and its files are its own.
  const ScopedEnv noHelper("VIDAZOZ_LIVE_HELPER", home_.Path().string() + "/missing.exe");
  ASSERT_EQ(WriteString(HKEY_CURRENT_USER, "Software\\Vidazoz", "Before", "1"), 0);
  // The server goes to the background; its output must not hold our pipe open.
  const CommandResult start = RunCommand({"sh", "-c", "exec wineserver -p >/dev/null 2>&1"}, prefix_->Environment());
  ASSERT_EQ(start.exitCode, 0) << start.output;
  for (int i = 0; i < 100 && !wineprefix::WineserverRunning(prefix_->Path().string()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(wineprefix::WineserverRunning(prefix_->Path().string()));

  EXPECT_EQ(WriteString(HKEY_CURRENT_USER, "Software\\Vidazoz", "During", "2"), ERROR_SHARING_VIOLATION);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vidazoz", 0, KEY_READ, &key), 0) << "reads go on";
  EXPECT_EQ(RegQueryValueExA(key, "Before", nullptr, nullptr, nullptr, nullptr), 0);
  RegCloseKey(key);

  prefix_->StopServer();
  for (int i = 0; i < 200 && wineprefix::WineserverRunning(prefix_->Path().string()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(WriteString(HKEY_CURRENT_USER, "Software\\Vidazoz", "After", "3"), 0);
}

}  // namespace
}  // namespace vidazoz::testing
