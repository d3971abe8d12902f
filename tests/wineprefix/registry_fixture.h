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
#include "live_wine.h"
#endif

namespace vidazoz::testing {


class RegistryTest : public ::testing::Test {
 protected:
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
