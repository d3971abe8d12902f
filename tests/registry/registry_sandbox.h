// A registry of its own for each test: on Linux a fresh, empty Wine prefix that the registry
// layer is pointed at (WINEPREFIX, HOME), removed afterwards; on Windows the scratch key Root(),
// cleared before and after (see sandbox_platform.h). The tests only use Root() and the class roots.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "advapi32.h"
#include "temp_dir.h"
#include "sandbox_platform.h"

namespace vidazoz::testing {

class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = std::make_unique<SandboxPlatform>(SandboxPlatform::Start::Empty,
                                                  std::vector<std::string>{"HKCU\\" + Root()});
    HKEY probe = nullptr;
    const LONG status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_QUERY_VALUE, &probe);
    ASSERT_EQ(status, ERROR_SUCCESS);
  }

  // Where a test keeps its keys (below HKEY_CURRENT_USER, as -2147483647).
  static constexpr std::int32_t kHive = static_cast<std::int32_t>(0x80000001u);
  static std::string Root() { return "Software\\VidazozTest"; }

  // Stores exactly these bytes the way another program might, bypassing cRegistry. The byte
  // after the data is no NUL, so a string is not given one it was not passed.
  static LONG SetRaw(const std::string& section, const std::string& name, DWORD type, const std::string& data) {
    const std::string guarded = data + '#';
    HKEY key = nullptr;
    LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, section.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(guarded.data()),
                              static_cast<DWORD>(data.size()));
    ::RegCloseKey(key);
    return status;
  }

  // The stored type and bytes of a value, read without cRegistry; type -1 when it is absent.
  struct Raw {
    long type = -1;
    std::string data;
    bool operator==(const Raw&) const = default;
  };
  static Raw GetRaw(HKEY hive, const std::string& section, const std::string& name) {
    Raw raw;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(hive, section.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return raw;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
          ERROR_SUCCESS) {
        data.resize(size);
        raw = {static_cast<long>(type), data};
      }
    }
    ::RegCloseKey(key);
    return raw;
  }
  static Raw GetRaw(const std::string& section, const std::string& name) {
    return GetRaw(HKEY_CURRENT_USER, section, name);
  }

 private:
  std::unique_ptr<SandboxPlatform> platform_;
};

}  // namespace vidazoz::testing
