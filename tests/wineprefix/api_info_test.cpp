// Sub-key listing and key statistics; links and the predefined roots.
#include <cstring>
#include <string>
#include <vector>

#include "registry_fixture.h"

namespace vidazoz::testing {
namespace {

std::vector<std::string> SubkeysOf(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[300];
    const LONG status = RegEnumKeyA(key, i, name, sizeof name);
    if (status != 0) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
      break;
    }
    names.emplace_back(name);
  }
  return names;
}

TEST_F(RegistryTest, EnumKey) {
  HKEY key = Create(HKEY_CURRENT_USER, "List");
  for (const char* n : {"zeta", "b1", "B2", "Alpha", "[brk", "_under", "~t", "beta"}) RegCloseKey(Create(key, n));
  EXPECT_EQ(SubkeysOf(key), (std::vector<std::string>{"[brk", "_under", "Alpha", "b1", "B2", "beta", "zeta", "~t"}))
      << "Wine's order: lower-cased units, so [ and _ come before letters";

  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(RegEnumKeyA(key, 2, buffer, 5), ERROR_MORE_DATA) << "the name must fit with its NUL";
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(RegEnumKeyA(key, 2, buffer, 6), 0);
  EXPECT_STREQ(buffer, "Alpha");
  EXPECT_EQ(RegEnumKeyA(key, 8, buffer, 6), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyA(nullptr, 0, buffer, 6), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegEnumKeyA(key, 0, nullptr, 6), ERROR_INVALID_PARAMETER);
  HKEY valuesOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "List", 0, KEY_QUERY_VALUE, &valuesOnly), 0);
  EXPECT_EQ(RegEnumKeyA(valuesOnly, 0, buffer, 6), ERROR_ACCESS_DENIED);
  RegCloseKey(valuesOnly);
  RegCloseKey(key);

  EXPECT_EQ(SubkeysOf(HKEY_USERS), (std::vector<std::string>{".Default", "S-1-5-21-0-0-0-1000"}));
}

TEST_F(RegistryTest, QueryInfoKeyCounts) {
  HKEY key = Create(HKEY_CURRENT_USER, "Info");
  const std::string e30(30, '\xE9');
  RegCloseKey(Create(key, e30.c_str()));
  RegCloseKey(Create(key, "short"));
  SetString(key, "_under", "_under");  // 14 bytes as stored (UTF-16 with NUL)
  SetString(key, "x", "ab");
  DWORD subkeys = 0, maxSub = 0, maxClass = 9, values = 0, maxName = 0, maxData = 0, sd = 9;
  FILETIME ft{};
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, &maxClass, &values, &maxName,
                             &maxData, &sd, &ft),
            0);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(maxSub, 30u) << "UTF-16 units, no NUL";
  EXPECT_EQ(maxClass, 0u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 6u);
  EXPECT_EQ(maxData, 14u) << "the stored byte count";
  EXPECT_EQ(sd, 0u);
  EXPECT_NE(ft.dwHighDateTime, 0u);

  ASSERT_EQ(RegDeleteValueA(key, "_under"), 0);
  ASSERT_EQ(RegDeleteKeyA(key, e30.c_str()), 0);
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr, &values, &maxName, &maxData,
                             nullptr, nullptr),
            0);
  EXPECT_EQ(maxSub, 5u) << "recomputed after deletes";
  EXPECT_EQ(maxName, 1u);
  EXPECT_EQ(maxData, 6u);
  EXPECT_EQ(RegQueryInfoKeyA(nullptr, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_INVALID_HANDLE);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryInfoKeyClassBuffer) {
  char cls[] = "text";
  HKEY key = Create(HKEY_CURRENT_USER, "Classy", cls);
  const struct {
    DWORD cch;
    LONG status;
    DWORD cchAfter;
    const char* buffer;
  } cases[] = {{0, 0, 4, "zz"}, {4, ERROR_MORE_DATA, 3, "tex"}, {5, 0, 4, "text"}};
  for (const auto& c : cases) {
    char buffer[8] = "zz";
    DWORD cch = c.cch;
    EXPECT_EQ(RegQueryInfoKeyA(key, buffer, &cch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              c.status)
        << c.cch;
    EXPECT_EQ(cch, c.cchAfter) << c.cch;
    EXPECT_STREQ(buffer, c.buffer) << c.cch;
  }
  RegCloseKey(key);
  HKEY plain = Create(HKEY_CURRENT_USER, "Plain", const_cast<LPSTR>(""));
  char buffer[4] = "zz";
  DWORD cch = 0;
  EXPECT_EQ(RegQueryInfoKeyA(plain, buffer, &cch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            0)
      << "the value listing's call: an empty class buffer on a key without class";
  EXPECT_EQ(cch, 0u);
  EXPECT_EQ(RegQueryInfoKeyA(plain, buffer, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_INVALID_PARAMETER)
      << "a class buffer without its length";
  RegCloseKey(plain);
}

TEST_F(RegistryTest, ALinkValueAloneMakesNoLink) {
  // Only a key marked #link in the file is followed (store tests); a value does not do it.
  HKEY target = Create(HKEY_LOCAL_MACHINE, "Software\\Target\\Inner");
  RegCloseKey(target);
  HKEY plain = Create(HKEY_LOCAL_MACHINE, "Software\\NotALink");
  const std::u16string path = u"\\Registry\\Machine\\Software\\Target";
  EXPECT_EQ(RegSetValueExA(plain, "SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(path.data()),
                           static_cast<DWORD>(path.size() * 2)),
            0);
  HKEY inner = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\NotALink\\Inner", 0, KEY_READ, &inner), ERROR_FILE_NOT_FOUND);
  RegCloseKey(plain);
}

TEST_F(RegistryTest, RootsLeadWhereWineMapsThem) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Classes\\.viz"));
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current\\Cfg"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "Mine"));
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".VIZ", 0, KEY_READ, &k), 0);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, "Cfg", 0, KEY_READ, &k), 0);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "S-1-5-21-0-0-0-1000\\Mine", 0, KEY_READ, &k), 0);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Mine", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  RegCloseKey(Create(HKEY_USERS, ".Default\\Def"));
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Def", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, "S-9", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_ACCESS_DENIED)
      << "no file holds other users";
}

}  // namespace
}  // namespace vidazoz::testing
