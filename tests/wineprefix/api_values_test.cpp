// Values through the A calls: Wine's size rules, NUL handling and statuses.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "registry_fixture.h"

namespace vidazoz::testing {
namespace {

using namespace std::string_view_literals;

class Values : public RegistryTest {
 protected:
  void SetUp() override { key_ = Create(HKEY_CURRENT_USER, "Values"); }
  void TearDown() override { RegCloseKey(key_); }

  LONG SetRaw(const char* name, DWORD type, const void* data, DWORD count) {
    return RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), count);
  }
  // The stored size (in the A view) and type of a value.
  DWORD SizeOf(const char* name, DWORD* type = nullptr) {
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExA(key_, name, nullptr, type, nullptr, &cb), 0) << name;
    return cb;
  }
  HKEY key_ = nullptr;
};

TEST_F(Values, QuerySizing) {
  SetString(key_, "s", "zeta");
  SetDword(key_, "d", 7);
  ASSERT_EQ(SetRaw("bin0", REG_BINARY, "", 0), 0);
  ASSERT_EQ(SetRaw("sz0", REG_SZ, "", 0), 0);
  ASSERT_EQ(SetRaw("nonul", REG_SZ, "abcdef", 3), 0);

  const struct {
    const char* what;
    const char* name;
    DWORD cb;
    LONG status;
    DWORD cbAfter;
    std::string_view bytes;  // what the buffer then starts with; empty: untouched
  } cases[] = {
      {"string, no room", "s", 0, ERROR_MORE_DATA, 5, ""sv},
      {"string, too small", "s", 4, ERROR_MORE_DATA, 5, ""sv},
      {"string, exact", "s", 5, 0, 5, "zeta\0"sv},
      {"string, roomy", "s", 9, 0, 5, "zeta\0#"sv},
      {"dword, no room", "d", 0, ERROR_MORE_DATA, 4, ""sv},
      {"dword", "d", 4, 0, 4, "\7\0\0\0"sv},
      {"empty binary", "bin0", 0, 0, 0, ""sv},
      {"empty binary, room", "bin0", 4, 0, 0, ""sv},
      {"empty string, room", "sz0", 4, 0, 0, ""sv},
      {"no NUL, exact", "nonul", 3, 0, 3, "abc#"sv},
      {"no NUL, room: terminated but not counted", "nonul", 4, 0, 3, "abc\0"sv},
      {"missing value", "nope", 4, ERROR_FILE_NOT_FOUND, 4, ""sv},
  };
  for (const auto& c : cases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    DWORD cb = c.cb, type = 0xdead;
    EXPECT_EQ(RegQueryValueExA(key_, c.name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &cb), c.status)
        << c.what;
    EXPECT_EQ(cb, c.cbAfter) << c.what;
    if (c.bytes.empty()) {
      EXPECT_EQ(buffer[0], '#') << c.what << ": buffer untouched";
    } else {
      EXPECT_EQ(std::string_view(buffer, c.bytes.size()), c.bytes) << c.what;
    }
    if (c.status == ERROR_FILE_NOT_FOUND) {
      EXPECT_EQ(type, REG_NONE) << c.what;
    }
  }
}

TEST_F(Values, QueryArgumentForms) {
  SetString(key_, "", "default");
  SetString(key_, "Name", "v");
  DWORD cb = 99, type = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Name", nullptr, &type, nullptr, &cb), 0);
  EXPECT_EQ(cb, 2u) << "data NULL: the size needed";
  EXPECT_EQ(type, REG_SZ);
  BYTE buffer[4];
  EXPECT_EQ(RegQueryValueExA(key_, "Name", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key_, "NAME", nullptr, nullptr, nullptr, nullptr), 0) << "an existence test";
  EXPECT_EQ(RegQueryValueExA(key_, "gone", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  cb = 99;
  EXPECT_EQ(RegQueryValueExA(key_, "gone", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(cb, 0u) << "data NULL: the size is cleared";
  EXPECT_EQ(RegQueryValueExA(key_, nullptr, nullptr, nullptr, nullptr, &cb), 0);
  EXPECT_EQ(cb, 8u) << "NULL names the default value";
  EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, nullptr, nullptr, &cb), 0);
  EXPECT_EQ(RegQueryValueExA(nullptr, "Name", nullptr, nullptr, nullptr, &cb), ERROR_INVALID_HANDLE);

  HKEY readOnly = nullptr, enumOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Values", 0, KEY_QUERY_VALUE, &readOnly), 0);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Values", 0, KEY_ENUMERATE_SUB_KEYS, &enumOnly), 0);
  EXPECT_EQ(RegQueryValueExA(enumOnly, "Name", nullptr, nullptr, nullptr, &cb), ERROR_ACCESS_DENIED);
  type = 0xdead;
  EXPECT_EQ(RegQueryValueExA(enumOnly, "Name", nullptr, &type, buffer, &cb), ERROR_ACCESS_DENIED);
  EXPECT_EQ(type, REG_NONE) << "a refused query reports no type";
  EXPECT_EQ(RegSetValueExA(readOnly, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(readOnly, "Name"), ERROR_ACCESS_DENIED);
  RegCloseKey(readOnly);
  RegCloseKey(enumOnly);

  // One variable for the type and the size: the size is read before the type is written.
  char text[8] = {};
  DWORD both = sizeof text;
  EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, &both, reinterpret_cast<BYTE*>(text), &both), 0);
  EXPECT_STREQ(text, "default");
  EXPECT_EQ(both, 8u);
  both = 2;
  EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, &both, reinterpret_cast<BYTE*>(text), &both), ERROR_MORE_DATA);
  EXPECT_EQ(both, 8u);

  HKEY doomed = Create(key_, "Doomed");
  ASSERT_EQ(RegDeleteKeyA(doomed, ""), 0);
  type = 0xdead;
  cb = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(doomed, "Name", nullptr, &type, buffer, &cb), ERROR_KEY_DELETED);
  EXPECT_EQ(type, REG_NONE) << "a deleted key's query reports no type";
  RegCloseKey(doomed);
}

TEST_F(Values, SetStoresAsWineDoes) {
  const char abcdef[] = "abcdef";
  EXPECT_EQ(SetRaw("withNul", REG_SZ, "abc", 3), 0);
  EXPECT_EQ(SizeOf("withNul"), 4u) << "a NUL just past the count is taken in";
  EXPECT_EQ(SetRaw("cut", REG_SZ, abcdef, 3), 0);
  EXPECT_EQ(SizeOf("cut"), 3u) << "no NUL past the count: stored without one";
  EXPECT_EQ(SetRaw("expandCut", REG_EXPAND_SZ, abcdef, 3), 0);
  EXPECT_EQ(SizeOf("expandCut"), 3u);
  EXPECT_EQ(SetRaw("multi", REG_MULTI_SZ, "a\0b\0", 5), 0);
  EXPECT_EQ(SizeOf("multi"), 5u);
  EXPECT_EQ(SetRaw("zero", REG_SZ, "abc", 0), 0);
  EXPECT_EQ(SizeOf("zero"), 0u);
  const std::uint16_t half = 0x5678;
  DWORD type = 0;
  EXPECT_EQ(SetRaw("short", REG_DWORD, &half, 2), 0);
  EXPECT_EQ(SizeOf("short", &type), 2u);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(SetRaw("custom", 0x12345, "xy", 2), 0);
  EXPECT_EQ(SizeOf("custom", &type), 2u);
  EXPECT_EQ(type, 0x12345u);

  // A string round trip through Windows-1252.
  SetString(key_, "accent", "caf\xE9 \x80");
  char buffer[16] = {};
  DWORD cb = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key_, "accent", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb), 0);
  EXPECT_STREQ(buffer, "caf\xE9 \x80");

  EXPECT_EQ(SetRaw("null", REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExA(key_, "reserved", 1, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), 0)
      << "reserved is ignored";
  EXPECT_EQ(RegSetValueExA(nullptr, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_INVALID_HANDLE);
  const std::string longest(16383, 'v'), tooLong(16384, 'v');
  EXPECT_EQ(SetRaw(longest.c_str(), REG_SZ, "a", 2), 0);
  EXPECT_EQ(SetRaw(tooLong.c_str(), REG_SZ, "a", 2), ERROR_INVALID_PARAMETER);
}

TEST_F(Values, DeleteValue) {
  SetString(key_, "", "default");
  SetString(key_, "zeta", "z");
  EXPECT_EQ(RegDeleteValueA(key_, "missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key_, nullptr), 0) << "NULL is the default value";
  EXPECT_EQ(RegDeleteValueA(key_, ""), ERROR_FILE_NOT_FOUND) << "already gone";
  EXPECT_EQ(RegDeleteValueA(key_, "ZETA"), 0);
  EXPECT_EQ(RegQueryValueExA(key_, "zeta", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(nullptr, "zeta"), ERROR_INVALID_HANDLE);
}

TEST_F(Values, EnumValueBuffers) {
  ASSERT_EQ(SetRaw("abc", REG_BINARY, "1234567", 7), 0);
  const struct {
    const char* what;
    DWORD cch;
    DWORD cb;
    bool withData;
    LONG status;
    DWORD cchAfter;
    DWORD cbAfter;
    const char* name;  // what the name buffer holds after; null: untouched
    bool dataCopied;
  } cases[] = {
      {"fits", 4, 16, true, 0, 3, 7, "abc", true},
      {"name without room for NUL", 3, 16, true, ERROR_MORE_DATA, 3, 7, "ab", true},
      {"name buffer of 1", 1, 16, true, ERROR_MORE_DATA, 1, 7, "", true},
      {"name buffer of 0", 0, 16, true, ERROR_MORE_DATA, 0, 7, nullptr, true},
      {"data too small", 16, 6, true, ERROR_MORE_DATA, 16, 7, nullptr, false},
      {"both too small", 2, 1, true, ERROR_MORE_DATA, 2, 7, nullptr, false},
      {"no data buffer", 16, 1, false, 0, 3, 7, "abc", false},
  };
  for (const auto& c : cases) {
    char name[16], data[16];
    std::memset(name, '#', sizeof name);
    std::memset(data, '#', sizeof data);
    DWORD cch = c.cch, cb = c.cb, type = 0;
    EXPECT_EQ(RegEnumValueA(key_, 0, name, &cch, nullptr, &type, c.withData ? reinterpret_cast<BYTE*>(data) : nullptr,
                            &cb),
              c.status)
        << c.what;
    EXPECT_EQ(cch, c.cchAfter) << c.what;
    EXPECT_EQ(cb, c.cbAfter) << c.what;
    if (c.name == nullptr) {
      EXPECT_EQ(name[0], '#') << c.what;
    } else {
      EXPECT_STREQ(name, c.name) << c.what;
    }
    EXPECT_EQ(std::memcmp(data, "1234567", 7) == 0, c.dataCopied) << c.what;
  }
  char name[16];
  DWORD cch = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumValueA(key_, 0, nullptr, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumValueA(key_, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumValueA(nullptr, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(Values, EnumValueOrderIsWines) {
  for (const char* n : {"z", "\xE9", "E", "ab", "a-b", "a b", "9", "10", ""}) SetString(key_, n, "x");
  std::vector<std::string> seen;
  for (DWORD i = 0;; ++i) {
    char name[16];
    DWORD cch = sizeof name;
    const LONG status = RegEnumValueA(key_, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, 0);
    seen.emplace_back(name);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"", "10", "9", "a b", "a-b", "ab", "E", "z", "\xE9"}));
}

}  // namespace
}  // namespace vidazoz::testing
