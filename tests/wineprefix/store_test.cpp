// Where the registry lives and how its files are read and written, within one process.
#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/file.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "change_counter.h"
#include "prefix_location.h"
#include "disk_seams.h"
#include "reg_file.h"
#include "reg_text.h"
#include "registry_fixture.h"
#include "wineserver_probe.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

bool Exists(HKEY root, const char* path) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key);
  if (status == 0) RegCloseKey(key);
  return status == 0;
}

LONG CreateOnly(HKEY root, const char* path) {
  HKEY key = nullptr;
  const LONG status = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == 0) RegCloseKey(key);
  return status;
}

TEST_F(RegistryTest, MissingPrefixReadsAsEmpty) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key), 0);
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software"));
  DWORD subkeys = 9;
  EXPECT_EQ(RegQueryInfoKeyA(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(subkeys, 0u);
  char name[8];
  EXPECT_EQ(RegEnumKeyA(HKEY_CLASSES_ROOT, 0, name, sizeof name), ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(fs::exists(PrefixDir())) << "reading makes nothing";
}

TEST_F(RegistryTest, TheCheckProbesAnsweredFromTheFileText) {
  WriteText(fs::path(PrefixDir()) / "system.reg",
            MachineHeader() + "\n[Software\\\\Microsoft\\\\.NETFramework\\\\policy\\\\v1.1] 1700000000\n");
  const char* policy = "SOFTWARE\\Microsoft\\.NETFramework\\policy\\";
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, (std::string(policy) + "v2.0").c_str()));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, (std::string(policy) + "v1.1").c_str()));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, (std::string(policy) + "v2.0\\Deeper").c_str()));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "software\\microsoft"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Other"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Other\\Below"));
}

TEST_F(RegistryTest, WritesGoToTheRightFileAndReadBack) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Vidazoz");
  SetString(key, "Name", "value");
  RegCloseKey(key);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Mine"));
  RegCloseKey(Create(HKEY_USERS, ".Default\\Theirs"));
  const std::string system = ReadText(fs::path(PrefixDir()) / "system.reg");
  EXPECT_EQ(system.rfind(MachineHeader("win32"), 0), 0u) << "a new prefix is 32-bit:\n" << system;
  EXPECT_NE(system.find("[Software\\\\Vidazoz]"), std::string::npos);
  EXPECT_NE(system.find("\"Name\"=\"value\""), std::string::npos);
  EXPECT_NE(ReadText(fs::path(PrefixDir()) / "user.reg").find("[Software\\\\Mine]"), std::string::npos);
  EXPECT_NE(ReadText(fs::path(PrefixDir()) / "userdef.reg").find("[Theirs]"), std::string::npos);

  // Another process sees it from the files alone.
  wineprefix::RegBranch branch;
  EXPECT_TRUE(wineprefix::ParseRegFile(system, branch).complete);
}

TEST_F(RegistryTest, NewUserFileTakesTheArchOfSystemReg) {
  WriteText(fs::path(PrefixDir()) / "system.reg", MachineHeader("win64"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Mine"));
  const std::string user = ReadText(fs::path(PrefixDir()) / "user.reg");
  EXPECT_NE(user.find("\n#arch=win64\n"), std::string::npos) << "Wine rejects a mismatched user.reg:\n" << user;
}

TEST_F(RegistryTest, UserFileOfAnotherArchIsNeverRewritten) {
  WriteText(fs::path(PrefixDir()) / "system.reg", MachineHeader("win64"));
  const std::string user =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n"
      "\n[Software\\\\Old] 1700000000\n";
  WriteText(fs::path(PrefixDir()) / "user.reg", user);
  EXPECT_EQ(CreateOnly(HKEY_CURRENT_USER, "Software\\New"), ERROR_REGISTRY_CORRUPT) << "Wine would not load it";
  EXPECT_EQ(ReadText(fs::path(PrefixDir()) / "user.reg"), user);
}

TEST_F(RegistryTest, PrefixFollowsTheEnvironment) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "InFirst"));
  const fs::path second = dir_.Path() / "second";
  {
    ScopedEnv other("WINEPREFIX", second.string());
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "InFirst"));
    RegCloseKey(Create(HKEY_CURRENT_USER, "InSecond"));
  }
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "InFirst"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "InSecond"));
  EXPECT_TRUE(fs::exists(second / "user.reg"));
}

TEST_F(RegistryTest, WithoutWineprefixHomeWineThenThePrivatePrefix) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = saved != nullptr ? saved : "";
  unsetenv("WINEPREFIX");
  unsetenv("XDG_DATA_HOME");
  const fs::path home = dir_.Path();
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Private"));
  const fs::path privateSystem = home / ".local/share/vidazoz/prefix/system.reg";
  EXPECT_NE(ReadText(privateSystem).find("#arch=win32"), std::string::npos);

  WriteText(home / ".wine/system.reg", MachineHeader() + "\n[Software\\\\FromWine] 1700000000\n");
  std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);  // ~/.wine is looked at once per window
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\FromWine")) << "~/.wine holds a registry now";
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Private"));
  fs::remove(home / ".wine/system.reg");

  {
    ScopedEnv xdg("XDG_DATA_HOME", (home / "xdg").string());
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Xdg"));
    EXPECT_TRUE(fs::exists(home / "xdg/vidazoz/prefix/system.reg"));
  }
  if (saved != nullptr) setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
}

TEST_F(RegistryTest, ThePrefixFollowsWineAndXdgRules) {
  // Never a prefix shared by every user (HOME unset) or one per working folder (relative).
  ScopedEnv xdg("XDG_DATA_HOME", "");
  struct passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  unsetenv("WINEPREFIX");
  unsetenv("HOME");
  EXPECT_EQ(wineprefix::LocatePrefix().dir, std::string(me->pw_dir) + "/.local/share/vidazoz/prefix") << "HOME unset";
  setenv("HOME", dir_.Path().c_str(), 1);
  setenv("XDG_DATA_HOME", "relative", 1);
  EXPECT_EQ(wineprefix::LocatePrefix().dir, (dir_.Path() / ".local/share/vidazoz/prefix").string())
      << "a relative XDG_DATA_HOME is ignored";

  const fs::path cwd = fs::current_path();
  fs::current_path(dir_.Path());
  setenv("WINEPREFIX", "relative/prefix", 1);
  EXPECT_EQ(wineprefix::LocatePrefix().dir, "");
  EXPECT_EQ(CreateOnly(HKEY_CURRENT_USER, "Software\\Here"), ERROR_BAD_PATHNAME);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software"));
  fs::current_path(cwd);
  EXPECT_FALSE(fs::exists(dir_.Path() / "relative")) << "Wine refuses a relative WINEPREFIX too";
}

TEST_F(RegistryTest, FileModeIsKept) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "First"));
  const fs::path user = fs::path(PrefixDir()) / "user.reg";
  ASSERT_EQ(::chmod(user.c_str(), 0600), 0);
  // The new file is never more open than the old one, not even before its mode is set.
  HookedDisk disk;
  unsigned created = 0777;
  disk.before = [&](HookedDisk::Op op, const char*, int fd) {
    struct stat st {};
    if (op == HookedDisk::Op::Fchmod && ::fstat(fd, &st) == 0) created = st.st_mode & 0777;
    return 0;
  };
  {
    const InstalledDisk installed(disk);
    RegCloseKey(Create(HKEY_CURRENT_USER, "Second"));
  }
  EXPECT_EQ(created & ~0600u, 0u) << std::oct << created;
  EXPECT_EQ(ModeOf(user), 0600u);
  EXPECT_NE(ReadText(user).find("[Second]"), std::string::npos);
}

TEST_F(RegistryTest, ASymlinkedFileIsReplacedNeverWrittenThrough) {
  // A .reg swapped for a link between the checks and the save: the save replaces the name.
  RegCloseKey(Create(HKEY_CURRENT_USER, "First"));
  const fs::path user = fs::path(PrefixDir()) / "user.reg";
  const fs::path victim = dir_.Path() / ".profile";
  WriteText(victim, "echo hello\n");
  HookedDisk disk;
  bool swapped = false;
  disk.before = [&](HookedDisk::Op op, const char*, int) {
    if (op == HookedDisk::Op::Open && !swapped) {
      swapped = true;
      fs::remove(user);
      fs::create_symlink(victim, user);
    }
    return 0;
  };
  {
    const InstalledDisk installed(disk);
    RegCloseKey(Create(HKEY_CURRENT_USER, "Second"));
  }
  EXPECT_FALSE(fs::is_symlink(user));
  EXPECT_NE(ReadText(user).find("[Second]"), std::string::npos);
  EXPECT_EQ(ReadText(victim), "echo hello\n") << "the link's target is never written";
}

// Runs `call` in a thread while the prefix's writer lock is held here, then runs `meanwhile`
// once the writer has opened the lock file to wait for it, and lets the lock go.
LONG WhileTheWriterWaits(const std::string& lockPath, const std::function<void()>& meanwhile,
                         const std::function<LONG()>& call) {
  const int held = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (held < 0 || flock(held, LOCK_SH) != 0) return -1;
  struct stat lock {};
  fstat(held, &lock);
  auto openers = [&] {
    int n = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      struct stat st {};
      if (stat(fd.path().c_str(), &st) == 0 && st.st_dev == lock.st_dev && st.st_ino == lock.st_ino) ++n;
    }
    return n;
  };
  const int before = openers();
  std::atomic<LONG> status{-1};
  std::thread writer([&] { status = call(); });
  while (openers() == before && status == -1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  meanwhile();
  close(held);
  writer.join();
  return status;
}

TEST_F(RegistryTest, APrefixSwappedMidChangeLeavesTheOtherPrefixAlone) {
  // Whoever can write the prefix's parent swaps it for a link to another prefix of ours while
  // a change runs: the change ends in the folder it checked (its lock, the server's places, its
  // file), and the other prefix is untouched.
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Mine"));
  const fs::path prefix = PrefixDir(), moved = dir_.Path() / "moved", other = dir_.Path() / "other";
  const std::string otherText = MachineHeader() + "\n[Software\\\\Theirs] 1700000000\n\"v\"=\"1\"\n";
  WriteText(other / "system.reg", otherText);
  HookedDisk disk;
  int n = 0;
  // No moment: while the change waits for the writer lock.
  for (const std::optional<HookedDisk::Op> moment :
       {std::optional<HookedDisk::Op>(), std::optional(HookedDisk::Op::Open), std::optional(HookedDisk::Op::Write),
        std::optional(HookedDisk::Op::Rename)}) {
    SCOPED_TRACE(n);
    bool swapped = false;
    auto swap = [&] {
      swapped = true;
      fs::rename(prefix, moved);
      fs::create_directory_symlink(other, prefix);
    };
    disk.before = [&](HookedDisk::Op op, const char*, int) {
      if (op == moment && !swapped) swap();
      return 0;
    };
    const std::string key = "Software\\New" + std::to_string(n++);
    const LONG status = [&] {
      if (!moment) return WhileTheWriterWaits(prefix / ".vidazoz-registry.lock", swap, [&] {
        return CreateOnly(HKEY_LOCAL_MACHINE, key.c_str());
      });
      const InstalledDisk installed(disk);
      return CreateOnly(HKEY_LOCAL_MACHINE, key.c_str());
    }();
    ASSERT_TRUE(swapped);
    fs::remove(prefix);
    fs::rename(moved, prefix);
    EXPECT_EQ(ReadText(other / "system.reg"), otherText) << "the other prefix is not written";
    EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator()), 1) << "nor made anything in";
    for (const std::string& lock : wineprefix::WineserverLockPaths(other.string()))
      EXPECT_FALSE(fs::exists(fs::path(lock).parent_path())) << "nor are its server's places held";
    EXPECT_EQ(status, 0);
    std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, key.c_str())) << "the change is in the checked folder";
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Mine"));
  }
}

TEST_F(RegistryTest, ASaveRemovesOnlyWhatDeadWritersLeft) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "First"));
  const fs::path prefix = PrefixDir(), victim = dir_.Path() / "victim";
  WriteText(victim, "kept\n");
  const std::string ours = ".user.reg.vidazoz-";
  const struct {
    std::string name;
    const char* what;
    bool removed;
  } planted[] = {
      {ours + "0123456789abcdef", "a dead writer's", true},
      {ours + "00000000000000aa", "a live writer's (its lock held)", false},
      {ours + "00000000000000bb", "a link with our pattern", false},
      {ours + "00000000000000cc", "another user's", false},
      {"reg1a2b3c4d.tmp", "Wine's", false},
      {ours + "0123", "not a name we make", false},
      {".system.reg.vidazoz-00000000000000dd", "another file's, left for its own save", false},
  };
  for (const auto& p : planted) WriteText(prefix / p.name, "WINE REGISTRY Version 2\n");
  fs::remove(prefix / planted[2].name);
  fs::create_symlink(victim, prefix / planted[2].name);
  ASSERT_EQ(::chown((prefix / planted[3].name).c_str(), 65534, 65534), 0);
  const int live = ::open((prefix / planted[1].name).c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(live, F_OFD_SETLK, &lock), 0);

  RegCloseKey(Create(HKEY_CURRENT_USER, "Second"));
  ::close(live);
  for (const auto& p : planted) EXPECT_EQ(fs::exists(fs::symlink_status(prefix / p.name)), !p.removed) << p.what;
  EXPECT_EQ(ReadText(victim), "kept\n");
  EXPECT_NE(ReadText(prefix / "user.reg").find("[Second]"), std::string::npos);
}

TEST_F(RegistryTest, AnArchAfterALongHeaderIsReadAsTheParserReadsIt) {
  for (const std::size_t pad : {std::size_t{0}, std::size_t{9000}}) {
    SCOPED_TRACE(pad);
    const fs::path prefix = dir_.Path() / ("arch" + std::to_string(pad));
    const ScopedEnv env("WINEPREFIX", prefix.string());
    std::string header = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
    while (header.size() < pad) header += ";" + std::string(59, '-') + "\n";
    WriteText(prefix / "system.reg", header + "#arch=win64\n\n[Software\\\\Wow6432Node\\\\Only32] 1700000000\n");
    auto open32 = [] {
      HKEY key = nullptr;
      const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Only32", 0, KEY_READ | KEY_WOW64_32KEY, &key);
      return status != 0 ? status : RegCloseKey(key);
    };
    EXPECT_EQ(open32(), 0) << "from the file's text";
    DWORD subkeys = 0;  // the tree is loaded
    ASSERT_EQ(RegQueryInfoKeyA(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(open32(), 0) << "from the tree";
    RegCloseKey(Create(HKEY_CURRENT_USER, "New"));
    EXPECT_NE(ReadText(prefix / "user.reg").find("\n#arch=win64\n"), std::string::npos) << "as system.reg says";
  }
}

TEST_F(RegistryTest, DamagedFileIsReadAsFarAsItGoesButNeverRewritten) {
  const fs::path system = fs::path(PrefixDir()) / "system.reg";
  const std::string text = MachineHeader() +
                           "\n[Software\\\\Before] 1700000000\n\"v\"=\"1\"\n"
                           "\nthis line means nothing\n"
                           "\n[Software\\\\After] 1700000000\n\"w\"=\"unterminated\n";
  WriteText(system, text);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Before"));

  HKEY before = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Before", 0, KEY_ALL_ACCESS, &before), 0);
  const BYTE data[] = "2";
  EXPECT_EQ(RegSetValueExA(before, "v", 0, REG_SZ, data, 2), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegDeleteValueA(before, "v"), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(CreateOnly(HKEY_LOCAL_MACHINE, "Software\\New"), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Before"), ERROR_REGISTRY_CORRUPT);
  RegCloseKey(before);
  EXPECT_EQ(ReadText(system), text) << "not a byte changed";
  EXPECT_EQ(CreateOnly(HKEY_CURRENT_USER, "Other"), 0) << "the other files are still written";

  // Cut mid-line, as a torn copy would be.
  const std::string torn = MachineHeader() + "\n[Software\\\\Kept] 1700000000\n\"v\"=\"1\"\n\n[Software\\\\Cu";
  WriteText(system, torn);
  // A file replaced by someone else is noticed within the window (our writers are seen at once).
  std::this_thread::sleep_for(wineprefix::kExternalChangeWindow * 2);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Kept"));
  EXPECT_EQ(CreateOnly(HKEY_LOCAL_MACHINE, "Software\\New"), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(ReadText(system), torn);
}

TEST_F(RegistryTest, LinksAreFollowed) {
  const fs::path system = fs::path(PrefixDir()) / "system.reg";
  WriteText(system, MachineHeader() + "\n[Software\\\\Target\\\\Inner] 1700000000\n\"here\"=\"yes\"\n" +
                        LinkBlock("Software\\\\Link", "\\REGISTRY\\MACHINE\\Software\\Target") +
                        LinkBlock("Software\\\\Dangling", "\\Registry\\Machine\\Software\\Made") +
                        LinkBlock("Software\\\\Loop", "\\Registry\\Machine\\Software\\Loop") +
                        LinkBlock("Software\\\\Broken", "Registry\\Machine\\Software\\Target") +
                        LinkBlock("Software\\\\ToUser", "\\Registry\\User\\S-1-5-21-0-0-0-1000\\Software") +
                        LinkBlock("Software\\\\ToUsers", "\\Registry\\User"));
  HKEY inner = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\link\\Inner", 0, KEY_READ, &inner), 0);
  DWORD cb = 0;
  EXPECT_EQ(RegQueryValueExA(inner, "here", nullptr, nullptr, nullptr, &cb), 0);
  RegCloseKey(inner);

  EXPECT_EQ(CreateOnly(HKEY_LOCAL_MACHINE, "Software\\Link\\Made"), 0);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Target\\Made")) << "created under the target";
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Dangling"));
  EXPECT_EQ(CreateOnly(HKEY_LOCAL_MACHINE, "Software\\Dangling"), 0);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Made")) << "a dangling link's target is created";
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Loop\\X"));
  EXPECT_EQ(CreateOnly(HKEY_LOCAL_MACHINE, "Software\\Loop\\X"), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Broken"));
  EXPECT_EQ(CreateOnly(HKEY_LOCAL_MACHINE, "Software\\ToUser\\Across"), 0);
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Software\\Across")) << "a link into user.reg";
  EXPECT_NE(ReadText(system).find("#link"), std::string::npos) << "the links stay links";

  HKEY users = nullptr;  // a link to HKEY_USERS itself, which no file holds
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\ToUsers", 0, KEY_ALL_ACCESS, &users), 0);
  char name[32];
  EXPECT_EQ(RegEnumKeyA(users, 0, name, sizeof name), 0);
  EXPECT_STREQ(name, ".Default");
  const BYTE data[] = "x";
  EXPECT_EQ(RegSetValueExA(users, "v", 0, REG_SZ, data, 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegQueryValueExA(users, "v", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(users, "v"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(users);
}

}  // namespace
}  // namespace vidazoz::testing
