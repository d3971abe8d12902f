// The two registry views of a 64-bit prefix as a 64-bit process sees them, on a booted prefix.
// The same cases run over Wine's advapi32 under wine64; the 32-bit-process setting is ours alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "advapi32.h"
#include "sandbox_platform.h"
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "reg_text.h"
#include "temp_dir.h"
#include "wow64_process.h"
#endif

namespace vidazoz::testing {
namespace {

constexpr REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;

// Each of these keys (64-bit view paths under HKLM) holds its own path in "VzWhere", so that a
// case can tell which key a view led to.
const char* const kMarked[] = {
    "Software",
    "Software\\VzView",
    "Software\\VzView\\Only64",
    "Software\\Wow6432Node",
    "Software\\Wow6432Node\\VzView",
    "Software\\Wow6432Node\\VzView\\Only32",
    "Software\\Classes\\VzCls64",
    "Software\\Classes\\Wow6432Node",
    "Software\\Classes\\Wow6432Node\\VzCls32",
    "Software\\Classes\\Wow6432Node\\VzCls32\\Inner",
    "Software\\Classes\\AppID\\VzShared",  // Wine links Classes\Wow6432Node\AppID to it
    "System\\VzSys",
};

enum class Base { HKLM, HKCR, HKCU, Software32, Software64 };

struct ViewCase {
  const char* what;
  Base base;
  const char* path;
  REGSAM sam;
  LONG status;
  const char* landed;  // VzWhere of the key opened
};

class Views : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* path : kMarked) Mark(HKEY_LOCAL_MACHINE, path);
    Mark(HKEY_CURRENT_USER, "Software\\VzUser");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | k32, &software32_), 0);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | k64, &software64_), 0);
  }
  void TearDown() override {
    RegCloseKey(software32_);
    RegCloseKey(software64_);
  }

  static void Mark(HKEY root, const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | k64, nullptr, &key, nullptr), 0) << path;
    const std::string where = path;
    EXPECT_EQ(RegSetValueExA(key, "VzWhere", 0, REG_SZ, reinterpret_cast<const BYTE*>(where.c_str()),
                             static_cast<DWORD>(where.size() + 1)),
              0);
    RegCloseKey(key);
  }

  static std::string Where(HKEY key) {
    char text[300] = {};
    DWORD size = sizeof text;
    if (RegQueryValueExA(key, "VzWhere", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != 0)
      return "(unmarked)";
    return text;
  }

  HKEY HandleOf(Base base) const {
    switch (base) {
      case Base::HKLM: return HKEY_LOCAL_MACHINE;
      case Base::HKCR: return HKEY_CLASSES_ROOT;
      case Base::HKCU: return HKEY_CURRENT_USER;
      case Base::Software32: return software32_;
      case Base::Software64: return software64_;
    }
    return nullptr;
  }

  void Check(const ViewCase& c) const {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HandleOf(c.base), c.path, 0, KEY_READ | c.sam, &key), c.status) << c.what;
    if (key == nullptr) return;
    EXPECT_EQ(Where(key), c.landed != nullptr ? c.landed : "(no key)") << c.what;
    RegCloseKey(key);
  }

  // The sub-key names of a key, in order.
  static std::vector<std::string> Names(HKEY key) {
    std::vector<std::string> names;
    char name[300];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == 0; ++i) names.emplace_back(name);
    return names;
  }

  static DWORD SubkeyCount(HKEY key) {
    DWORD count = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              0);
    return count;
  }

  SandboxPlatform sandbox_{SandboxPlatform::Start::Booted, {}};
  HKEY software32_ = nullptr;
  HKEY software64_ = nullptr;
};

TEST_F(Views, OpenFindsTheKeyOfTheViewAsked) {
  const ViewCase cases[] = {
      {"64-bit by default", Base::HKLM, "Software\\VzView", 0, 0, "Software\\VzView"},
      {"KEY_WOW64_64KEY", Base::HKLM, "Software\\VzView", k64, 0, "Software\\VzView"},
      {"KEY_WOW64_32KEY", Base::HKLM, "Software\\VzView", k32, 0, "Software\\Wow6432Node\\VzView"},
      {"both flags: the 32-bit view", Base::HKLM, "Software\\VzView", k32 | k64, 0, "Software\\Wow6432Node\\VzView"},
      {"names in any case", Base::HKLM, "SOFTWARE\\vzview\\ONLY32", k32, 0, "Software\\Wow6432Node\\VzView\\Only32"},
      {"a 64-bit key is not in the 32-bit view", Base::HKLM, "Software\\VzView\\Only64", k32, ERROR_FILE_NOT_FOUND,
       nullptr},
      {"a 32-bit key is not in the 64-bit view", Base::HKLM, "Software\\VzView\\Only32", 0, ERROR_FILE_NOT_FOUND,
       nullptr},
      {"Software itself", Base::HKLM, "Software", k32, 0, "Software\\Wow6432Node"},
      {"Wow6432Node named outright", Base::HKLM, "Software\\Wow6432Node\\VzView", k32, 0,
       "Software\\Wow6432Node\\VzView"},
      {"classes", Base::HKLM, "Software\\Classes\\VzCls32", k32, 0, "Software\\Classes\\Wow6432Node\\VzCls32"},
      {"Classes itself", Base::HKLM, "Software\\Classes", k32, 0, "Software\\Classes\\Wow6432Node"},
      {"64-bit classes are not shared", Base::HKLM, "Software\\Classes\\VzCls64", k32, ERROR_FILE_NOT_FOUND, nullptr},
      {"no Wow6432Node inside the 32-bit classes", Base::HKLM, "Software\\Classes\\Wow6432Node", k32,
       ERROR_FILE_NOT_FOUND, nullptr},
      {"HKCR", Base::HKCR, "VzCls32\\Inner", k32, 0, "Software\\Classes\\Wow6432Node\\VzCls32\\Inner"},
      {"HKCR, 64-bit", Base::HKCR, "VzCls64", 0, 0, "Software\\Classes\\VzCls64"},
      {"HKCR, 32-bit key in the 64-bit view", Base::HKCR, "VzCls32", k64, ERROR_FILE_NOT_FOUND, nullptr},
      {"a shared key, through Wine's link", Base::HKLM, "Software\\Classes\\AppID\\VzShared", k32, 0,
       "Software\\Classes\\AppID\\VzShared"},
      {"a shared key under HKCR", Base::HKCR, "AppID\\VzShared", k32, 0, "Software\\Classes\\AppID\\VzShared"},
      {"HKLM\\System is not redirected", Base::HKLM, "System\\VzSys", k32, 0, "System\\VzSys"},
      {"HKCU\\Software is not redirected", Base::HKCU, "Software\\VzUser", k32, 0, "Software\\VzUser"},
      // A handle's key is the one its view found; what is opened below it lies below that key.
      {"below a 32-bit handle", Base::Software32, "VzView", 0, 0, "Software\\Wow6432Node\\VzView"},
      {"below a 32-bit handle, 64KEY", Base::Software32, "VzView\\Only32", k64, 0,
       "Software\\Wow6432Node\\VzView\\Only32"},
      {"below a 32-bit handle, classes", Base::Software32, "Classes\\VzCls32", 0, 0,
       "Software\\Classes\\Wow6432Node\\VzCls32"},
      {"below a 64-bit handle", Base::Software64, "VzView\\Only32", 0, ERROR_FILE_NOT_FOUND, nullptr},
  };
  for (const ViewCase& c : cases) Check(c);
}

TEST_F(Views, EnumerationAndCountsFollowTheView) {
  HKEY wow = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node", 0, KEY_READ | k64, &wow), 0);
  const std::vector<std::string> seen32 = Names(software32_);
  EXPECT_EQ(seen32, Names(wow)) << "the 32-bit Software lists Wow6432Node's sub-keys";
  EXPECT_EQ(SubkeyCount(software32_), seen32.size());
  EXPECT_EQ(std::count(seen32.begin(), seen32.end(), "Wow6432Node"), 0);
  const std::vector<std::string> seen64 = Names(software64_);
  EXPECT_EQ(std::count(seen64.begin(), seen64.end(), "Wow6432Node"), 1);
  EXPECT_EQ(SubkeyCount(software64_), seen64.size());
  RegCloseKey(wow);

  HKEY classes32 = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "VzCls32", 0, KEY_READ | k32, &classes32), 0);
  EXPECT_EQ(Names(classes32), std::vector<std::string>{"Inner"});
  RegCloseKey(classes32);
}

TEST_F(Views, CreateDeleteAndValuesLandInTheView) {
  const struct {
    const char* what;
    Base base;
    const char* path;
    REGSAM sam;
    const char* landed;  // the 64-bit view path under HKLM where the key appears
  } cases[] = {
      {"new chain, 32-bit", Base::HKLM, "Software\\VzNew\\Deeper", k32, "Software\\Wow6432Node\\VzNew\\Deeper"},
      {"new chain, 64-bit", Base::HKLM, "Software\\VzNew\\Deeper", 0, "Software\\VzNew\\Deeper"},
      {"below a key both views have", Base::HKLM, "Software\\VzView\\Made", k32,
       "Software\\Wow6432Node\\VzView\\Made"},
      {"classes", Base::HKLM, "Software\\Classes\\VzNewCls", k32, "Software\\Classes\\Wow6432Node\\VzNewCls"},
      {"HKCR", Base::HKCR, "VzNewHkcr", k32, "Software\\Classes\\Wow6432Node\\VzNewHkcr"},
      {"under a shared key", Base::HKCR, "AppID\\VzNewShared", k32, "Software\\Classes\\AppID\\VzNewShared"},
      {"below a 32-bit handle", Base::Software32, "VzRel", 0, "Software\\Wow6432Node\\VzRel"},
      {"not redirected", Base::HKLM, "System\\VzNewSys", k32, "System\\VzNewSys"},
  };
  for (const auto& c : cases) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HandleOf(c.base), c.path, 0, nullptr, 0, KEY_ALL_ACCESS | c.sam, nullptr, &key,
                              &disposition),
              0)
        << c.what;
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY)) << c.what;
    const DWORD v = 7;
    EXPECT_EQ(RegSetValueExA(key, "VzValue", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), 0) << c.what;
    RegCloseKey(key);
    HKEY found = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.landed, 0, KEY_READ | k64, &found), 0) << c.what;
    DWORD got = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(found, "VzValue", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size), 0)
        << c.what << ": the value went where the key did";
    RegCloseKey(found);
  }

  // RegDeleteKeyA names no view: it deletes below the handle's key, in its view.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\VzView\\Only32"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(software32_, "VzView\\Only32"), 0);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\VzView\\Only32", 0, KEY_READ | k64, &gone),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\VzView\\Only64", 0, KEY_READ, &gone), 0);
  RegCloseKey(gone);
}

#ifndef _WIN32
// Turns the 32-bit-process setting on for one scope.
class AsWow64Process {
 public:
  AsWow64Process() { SetWow64Process(true); }
  AsWow64Process(const AsWow64Process&) = delete;
  AsWow64Process& operator=(const AsWow64Process&) = delete;
  ~AsWow64Process() { SetWow64Process(false); }
};

TEST_F(Views, AProcessSetAs32BitSeesThe32BitViewByDefault) {
  AsWow64Process wow64;
  const ViewCase cases[] = {
      {"by default", Base::HKLM, "Software\\VzView", 0, 0, "Software\\Wow6432Node\\VzView"},
      {"64-bit key missing by default", Base::HKLM, "Software\\VzView\\Only64", 0, ERROR_FILE_NOT_FOUND, nullptr},
      {"KEY_WOW64_64KEY reaches the 64-bit view", Base::HKLM, "Software\\VzView\\Only64", k64, 0,
       "Software\\VzView\\Only64"},
      {"classes", Base::HKCR, "VzCls32", 0, 0, "Software\\Classes\\Wow6432Node\\VzCls32"},
      {"64-bit classes", Base::HKCR, "VzCls64", 0, ERROR_FILE_NOT_FOUND, nullptr},
      {"shared classes", Base::HKCR, "AppID\\VzShared", 0, 0, "Software\\Classes\\AppID\\VzShared"},
      {"HKCU unchanged", Base::HKCU, "Software\\VzUser", 0, 0, "Software\\VzUser"},
      {"a 64-bit handle keeps its view", Base::Software64, "VzView\\Only64", 0, 0, "Software\\VzView\\Only64"},
  };
  for (const ViewCase& c : cases) Check(c);

  // HKEY_CLASSES_ROOT used as it is: the 32-bit classes.
  HKEY classes32 = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node", 0, KEY_READ | k64, &classes32), 0);
  EXPECT_EQ(Names(HKEY_CLASSES_ROOT), Names(classes32));
  EXPECT_EQ(Where(HKEY_CLASSES_ROOT), "Software\\Classes\\Wow6432Node");
  RegCloseKey(classes32);
}

TEST(ViewsOnA32BitPrefix, OneViewWhateverTheFlags) {
  SandboxPlatform sandbox(SandboxPlatform::Start::Empty, {});  // our layer makes it #arch=win32
  for (const char* path : {"Software\\VzView", "Software\\Wow6432Node\\VzView", "Software\\Classes\\VzCls"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | k32, nullptr, &key, nullptr),
              0);
    ASSERT_EQ(RegSetValueExA(key, "VzWhere", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                             static_cast<DWORD>(std::string(path).size() + 1)),
              0);
    RegCloseKey(key);
  }
  AsWow64Process wow64;
  const struct {
    HKEY root;
    const char* path;
    REGSAM sam;
    const char* landed;
  } cases[] = {
      {HKEY_LOCAL_MACHINE, "Software\\VzView", 0, "Software\\VzView"},
      {HKEY_LOCAL_MACHINE, "Software\\VzView", k32, "Software\\VzView"},
      {HKEY_LOCAL_MACHINE, "Software\\VzView", k64, "Software\\VzView"},
      {HKEY_CLASSES_ROOT, "VzCls", k32, "Software\\Classes\\VzCls"},
  };
  for (const auto& c : cases) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(c.root, c.path, 0, KEY_READ | c.sam, &key), 0) << c.path << " " << c.sam;
    char text[100] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "VzWhere", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), 0);
    EXPECT_STREQ(text, c.landed) << c.path << " " << c.sam;
    RegCloseKey(key);
  }
}

// A fresh process answers whether a key exists from system.reg's text, without its tree: in the
// 32-bit view as the tree answers once loaded, whether the win64 prefix has Wow6432Node or not.
TEST(ViewsWithoutTree, AFreshProcessAnswersAsTheLoadedTree) {
  const std::string win64 = MachineHeader("win64"), win32 = MachineHeader("win32");
  const std::string only64 = "\n[Software\\\\Only64] 1700000000\n";
  const std::string only32 = "\n[Software\\\\Wow6432Node\\\\Only32] 1700000000\n";
  const struct {
    const char* what;
    std::string file;
    const char* path;
    LONG status;
  } cases[] = {
      {"win64: the 32-bit key", win64 + only64 + only32, "Software\\Only32", 0},
      {"win64: a 64-bit key is not seen", win64 + only64 + only32, "Software\\Only64", ERROR_FILE_NOT_FOUND},
      {"win64: Software is Wow6432Node", win64 + only64 + only32, "Software", 0},
      {"win64: below a missing 32-bit key", win64 + only64 + only32, "Software\\Only32\\Below", ERROR_FILE_NOT_FOUND},
      {"win64 without Wow6432Node: one view", win64 + only64, "Software\\Only64", 0},
      {"win64 without Wow6432Node: missing", win64 + only64, "Software\\Only32", ERROR_FILE_NOT_FOUND},
      {"win32: one view", win32 + only64, "Software\\Only64", 0},
  };
  TempDir dir("vidazoz-views");
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path prefix = dir.Path() / std::to_string(n++);
    WriteText(prefix / "system.reg", c.file);
    const pid_t pid = fork();
    if (pid == 0) {
      // 1: the text's answer is wrong; 2: the loaded tree's is; 3: they differ from each other.
      setenv("WINEPREFIX", prefix.c_str(), 1);
      SetWow64Process(true);
      HKEY key = nullptr;
      const LONG fromText = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ, &key);
      if (fromText == 0) RegCloseKey(key);
      HKEY software = nullptr;  // enumerating loads the tree
      char name[64];
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System", 0, KEY_READ, &software) == 0) {
        (void)RegEnumKeyA(software, 0, name, sizeof name);
        RegCloseKey(software);
      }
      (void)RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof name);
      const LONG fromTree = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ, &key);
      if (fromTree == 0) RegCloseKey(key);
      _exit(fromText != c.status ? 1 : fromTree != c.status ? 2 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}
#endif

}  // namespace
}  // namespace vidazoz::testing
