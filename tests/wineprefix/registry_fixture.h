// Each test gets its own empty prefix folder (no Wine needed) and a clean environment.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "advapi32.h"
#include "temp_dir.h"
#ifndef _WIN32
#include "wineserver_probe.h"
#endif

namespace vidazoz::testing {

#ifndef _WIN32
// Writers make the server folder Wine would use for their prefix (/tmp/.wine-<uid>/server-...);
// removes those of every folder in `tree` that hold nothing but the lock, as tests leave them.
inline void RemoveServerFolders(const std::filesystem::path& tree) {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto clean = [](const fs::path& dir) {
    const std::vector<std::string> locks = wineprefix::WineserverLockPaths(dir.string());
    if (locks.empty()) return;
    const fs::path server = fs::path(locks.front()).parent_path();
    std::error_code ignored;
    int entries = 0;
    for (fs::directory_iterator it(server, ignored), end; !ignored && it != end; it.increment(ignored)) ++entries;
    if (ignored || entries != 1 || !fs::is_regular_file(server / "lock", ignored)) return;
    fs::remove(server / "lock", ignored);
    fs::remove(server, ignored);
  };
  if (!fs::is_directory(tree, ec)) return;
  clean(tree);
  for (fs::recursive_directory_iterator it(tree, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec)) clean(it->path());
}
#endif

class RegistryTest : public ::testing::Test {
 protected:
#ifndef _WIN32
  // Under Wine the prefix's own server makes and keeps its folder.
  ~RegistryTest() override { RemoveServerFolders(dir_.Path()); }
#endif

  std::string PrefixDir() const { return (dir_.Path() / "prefix").string(); }

  HKEY Create(HKEY root, const char* path, LPSTR cls = nullptr, DWORD options = 0) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, cls, options, KEY_ALL_ACCESS, nullptr, &key, &disposition), 0) << path;
    return key;
  }
  void SetString(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              0);
  }
  void SetDword(HKEY key, const char* name, DWORD v) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), 0);
  }

  TempDir dir_{"vidazoz-reg"};
  ScopedEnv home_{"HOME", dir_.Path().string()};
  ScopedEnv prefix_{"WINEPREFIX", PrefixDir()};
};

inline HKEY Bogus(ULONG_PTR v) { return reinterpret_cast<HKEY>(v); }

}  // namespace vidazoz::testing
