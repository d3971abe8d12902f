// Against the installed wineserver, in every place upstream or Debian's Wine runs it: one
// already running is found and stops our writes; one starting mid-save cannot load the file we
// are replacing, so it never writes the old one back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "disk_seams.h"
#include "live_wine.h"
#include "reg_text.h"
#include "registry_fixture.h"
#include "running_server.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

enum class Change {
  kNone,
  kFolderRemoved,    // the server folder's base is gone: a reboot, a new login's /run/user
  kNameFileRemoved,  // $WINEPREFIX/wineserver is gone
  kOtherTmpDir,      // the server runs with a TMPDIR we do not have
};

struct Situation {
  const char* name;
  RunUser runUser;
  bool tmpDir;  // the server runs with TMPDIR set to a folder of the test's own
  Change change;
};

std::string NameOf(const ::testing::TestParamInfo<Situation>& info) { return info.param.name; }
void PrintTo(const Situation& situation, std::ostream* os) { *os << situation.name; }

class LiveServer : public RegistryTest, public ::testing::WithParamInterface<Situation> {
 protected:
  fs::path Prefix() const { return prefix_.empty() ? fs::path(PrefixDir()) : prefix_; }
  fs::path TmpDir() const { return dir_.Path() / "tmp"; }
  LiveWine::Env ServerEnv() const {
    if (!GetParam().tmpDir) return {};
    return {{"TMPDIR", TmpDir().string()}};
  }

  // Runs the case in a child whose /run/user is the situation's own. A machine that cannot
  // give it one still runs the situations that match its own /run/user.
  void Run(const std::function<void()>& body) {
    if (!LiveWine::Installed()) GTEST_SKIP() << "no wineserver installed";
    fs::create_directories(TmpDir());
    auto child = [&] {
      std::unique_ptr<ScopedEnv> tmp;
      if (GetParam().tmpDir && GetParam().change != Change::kOtherTmpDir)
        tmp = std::make_unique<ScopedEnv>("TMPDIR", TmpDir().string());
      body();
      return ::testing::Test::HasFailure() ? 1 : 0;
    };
    int status = InRunUser(GetParam().runUser, child);
    if (status == kNoNamespace) {
      const bool present = fs::is_directory("/run/user/" + std::to_string(getuid()));
      if (present != (GetParam().runUser == RunUser::Present))
        GTEST_SKIP() << "no private mount namespace here, and /run/user is not as this case needs";
      status = InRunUser(RunUser::AsIs, child);
    }
    EXPECT_EQ(status, 0) << "the case failed in its child (see above); 98: it threw, 99: it crashed";
  }

  // What became of the server folder of a server that ran and exited: left as it left it, or
  // gone with its base (a reboot, a new login), or the name file gone.
  void Apply(Change change, const fs::path& serverDir) {
    if (change == Change::kNone) {
      ASSERT_FALSE(serverDir.empty());
      fs::create_directories(serverDir);
      fs::permissions(serverDir.parent_path(), fs::perms::owner_all);
      fs::permissions(serverDir, fs::perms::owner_all);
      std::ofstream(serverDir / "lock").put('\0');
      fs::permissions(serverDir / "lock", fs::perms::owner_read | fs::perms::owner_write);
    } else if (change == Change::kFolderRemoved) {
      ASSERT_FALSE(serverDir.empty());
      fs::remove_all(serverDir.parent_path());
    } else if (change == Change::kNameFileRemoved) {
      const std::string name = ReadText(Prefix() / "wineserver");
      ASSERT_FALSE(name.empty());
      fs::remove(Prefix() / "wineserver");
      for (const fs::path& root : {fs::path("/tmp"), TmpDir()}) fs::remove_all(root / name);
    }
  }

  LONG Write(const char* text) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Live", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == 0)
      status = RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), std::strlen(text) + 1);
    RegCloseKey(key);
    return status;
  }
  fs::path prefix_;  // a booted prefix, when the case has one

  std::string Files() {
    std::string all;
    for (const char* name : {"user.reg", "system.reg", "userdef.reg", "wineserver"})
      all += std::string(name) + (fs::exists(Prefix() / name) ? ":" + ReadText(Prefix() / name) : " absent") + "\n";
    return all;
  }
};

class AlreadyRunning : public LiveServer {};
class StartingMidSave : public LiveServer {};

TEST_P(AlreadyRunning, IsFoundAndStopsOurWrites) {
  Run([&] {
    ASSERT_EQ(Write("before"), 0);
    LiveWine server(Prefix(), ServerEnv());
    ASSERT_TRUE(server.Start()) << "exit status " << server.ExitStatus();
    Apply(GetParam().change, server.ServerDir());

    const std::optional<wineprefix::RunningServer> found = wineprefix::FindRunningServer(Prefix());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->pid, server.Pid());
    EXPECT_NE(found->exe.find("wineserver"), std::string::npos) << found->exe;
    const std::string before = Files();
    EXPECT_EQ(Write("after"), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Files(), before) << "nothing written while the server owns the prefix";
    server.Stop();
    EXPECT_FALSE(wineprefix::FindRunningServer(Prefix()).has_value()) << "once it exited";
  });
}

TEST_P(StartingMidSave, CannotLoadTheFileBeingReplaced) {
  Run([&] {
    // Wine rewrites the files of a prefix it booted at exit: a server that loaded the old file
    // would write it back.
    const std::unique_ptr<WinePrefix> booted = WinePrefix::Booted();
    prefix_ = booted->Path();
    // Copies of the booted prefix share its name file, so its folder: this one gets its own,
    // so that removing it touches no other test's server.
    fs::remove(prefix_ / "wineserver");
    const ScopedEnv active("WINEPREFIX", prefix_.string());
    ASSERT_EQ(Write("old"), 0);
    {
      // Wine's own folder for this prefix, made by a server that ran and exited.
      LiveWine earlier(Prefix(), ServerEnv());
      ASSERT_TRUE(earlier.Start()) << "exit status " << earlier.ExitStatus();
      const fs::path serverDir = earlier.ServerDir();
      earlier.Stop();
      Apply(GetParam().change, serverDir);
    }
    LiveWine racer(Prefix(), ServerEnv());
    bool startedMidSave = false;
    HookedDisk disk;
    disk.before = [&](HookedDisk::Op op, const char*, int) {
      if (op == HookedDisk::Op::Rename && racer.ExitStatus() == -1 && !racer.Running())
        startedMidSave = racer.Start();
      return 0;
    };
    {
      const InstalledDisk installed(disk);
      ASSERT_EQ(Write("new"), 0);
    }
    EXPECT_FALSE(startedMidSave) << "a server started while the file was being replaced";
    EXPECT_EQ(racer.ExitStatus(), startedMidSave ? -1 : 2) << "it found its lock held";
    racer.Stop();  // had it started, it now writes back what it loaded
    LiveWine after(Prefix(), ServerEnv());
    EXPECT_TRUE(after.Start()) << "a server starts once the save is done; exit status " << after.ExitStatus();
    after.Stop();
    EXPECT_NE(ReadText(Prefix() / "user.reg").find("\"v\"=\"new\""), std::string::npos) << ReadText(Prefix() / "user.reg");
  });
}

INSTANTIATE_TEST_SUITE_P(
    Places, AlreadyRunning,
    ::testing::Values(Situation{"TmpNameFile", RunUser::Missing, false, Change::kNone},
                      Situation{"TmpDirSet", RunUser::Missing, true, Change::kNone},
                      Situation{"RunUser", RunUser::Present, false, Change::kNone},
                      Situation{"TmpFolderRemoved", RunUser::Missing, false, Change::kFolderRemoved},
                      Situation{"RunUserFolderRemoved", RunUser::Present, false, Change::kFolderRemoved},
                      Situation{"NameFileRemoved", RunUser::Missing, false, Change::kNameFileRemoved},
                      Situation{"ServerHasOtherTmpDir", RunUser::Missing, true, Change::kOtherTmpDir}),
    NameOf);

INSTANTIATE_TEST_SUITE_P(
    Places, StartingMidSave,
    ::testing::Values(Situation{"TmpFolderInPlace", RunUser::Missing, false, Change::kNone},
                      Situation{"TmpAfterReboot", RunUser::Missing, false, Change::kFolderRemoved},
                      Situation{"NoNameFile", RunUser::Missing, false, Change::kNameFileRemoved},
                      Situation{"TmpDirAfterReboot", RunUser::Missing, true, Change::kFolderRemoved},
                      Situation{"RunUserFreshLogin", RunUser::Present, false, Change::kFolderRemoved},
                      Situation{"RunUserInPlace", RunUser::Present, false, Change::kNone}),
    NameOf);

}  // namespace
}  // namespace vidazoz::testing
