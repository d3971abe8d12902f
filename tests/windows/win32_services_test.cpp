// The Windows services against the real kernel and shell (under wine64 here).
#include <windows.h>

#include <gtest/gtest.h>

#include "system/system_services.h"

namespace vidazoz::system {
namespace {

TEST(Win32Services, LoadAndFreeAreTheKernelsOwnAndAFailedLoadIsZero) {
  const auto services = MakePlatformServices();
  const ModuleHandle shell32 = services->LoadLibraryA("shell32.dll");
  ASSERT_NE(shell32, 0u);
  EXPECT_EQ(shell32, reinterpret_cast<ModuleHandle>(GetModuleHandleA("shell32.dll")));
  EXPECT_TRUE(services->FreeLibrary(shell32));

  EXPECT_EQ(services->LoadLibraryA("no-such-library-vidazoz.dll"), 0u);
  EXPECT_FALSE(services->FreeLibrary(0)) << "freeing the handle of a failed load is harmless";
  services->InitCommonControls();
}

TEST(Win32Services, ShellExecuteIsBoundAtItsFirstCallAndItsResultPassedBack) {
  const auto services = MakePlatformServices();
  EXPECT_EQ(GetModuleHandleA("shell32.dll"), nullptr) << "the program does not import shell32";

  // A file that does not exist: the shell answers through its result (2, file not found) and
  // nothing is started, so the test reaches no browser and no network.
  const std::intptr_t result =
      services->ShellExecuteA(0, "Open", "C:\\no-such-folder-vidazoz\\page.htm", "", "", SW_SHOWNORMAL);
  EXPECT_LE(result, 32);
  EXPECT_NE(GetModuleHandleA("shell32.dll"), nullptr) << "bound by name from shell32 at the first call";
  EXPECT_EQ(services->ShellExecuteA(0, "Open", "C:\\no-such-folder-vidazoz\\page.htm", "", "", SW_SHOWNORMAL),
            result)
      << "every call goes to the shell again";
}

}  // namespace
}  // namespace vidazoz::system
