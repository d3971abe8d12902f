// The W calls: names and string data outside the ANSI code page reach the registry whole, with
// advapi32's sizing rules. Runs on our layer and, in the Windows build, on Wine's advapi32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "advapi32.h"
#include "registry_sandbox.h"

namespace vidazoz {
namespace {

using testing::RegistrySandbox;

static_assert(sizeof(WCHAR) == sizeof(char16_t));

// u"" text as the platform's WCHAR (wchar_t on Windows, char16_t here).
const WCHAR* W(const char16_t* text) { return reinterpret_cast<const WCHAR*>(text); }
std::u16string U(const WCHAR* text) { return reinterpret_cast<const char16_t*>(text); }

std::u16string RootW() { return u"Software\\VidazozTest"; }

std::vector<BYTE> Bytes(std::u16string_view units) {
  std::vector<BYTE> bytes(units.size() * 2);
  std::memcpy(bytes.data(), units.data(), bytes.size());
  return bytes;
}

class WideCalls : public RegistrySandbox {
 protected:
  void SetUp() override {
    RegistrySandbox::SetUp();
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(RootW().c_str()), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override { RegCloseKey(root_); }

  // Sets `count` bytes of `data`; a unit '#' follows them, so no NUL lies past what was given.
  LONG SetW(HKEY key, const std::u16string& name, DWORD type, std::u16string_view data, DWORD count) {
    const std::vector<BYTE> bytes = Bytes(std::u16string(data) + u'#');
    return RegSetValueExW(key, W(name.c_str()), 0, type, bytes.data(), count);
  }
  std::vector<std::u16string> SubkeysW(HKEY key) {
    std::vector<std::u16string> names;
    WCHAR name[300];
    for (DWORD i = 0; RegEnumKeyW(key, i, name, 300) == ERROR_SUCCESS; ++i) names.push_back(U(name));
    return names;
  }
  HKEY root_ = nullptr;
};

TEST_F(WideCalls, NamesOutsideTheAnsiCodePageRoundTripWhole) {
  const struct {
    const char16_t* name;
    const char16_t* otherCase;  // the same name in another case: keys and values match it
    bool inAnsi;                // whether the A calls can name it at all
  } cases[] = {
      {u"plain", u"PLAIN", true},
      {u"café", u"CAFÉ", true},
      {u"日本語", u"日本語", false},
      {u"Ωμέγα", u"ΩΜΈΓΑ", false},
      {u"emoji \U0001F600", u"EMOJI \U0001F600", false},
  };
  for (const auto& c : cases) {
    const std::u16string name = c.name;
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(root_, W(c.name), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition), 0);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetW(key, name, REG_SZ, name + u'\0', static_cast<DWORD>((name.size() + 1) * 2)), 0);
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root_, W(c.otherCase), 0, KEY_READ, &again), 0) << "case-insensitive open";
    BYTE data[64] = {};
    DWORD type = 0, cb = sizeof data;
    ASSERT_EQ(RegQueryValueExW(again, W(c.otherCase), nullptr, &type, data, &cb), 0);
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(cb, (name.size() + 1) * 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data), name.size()), name);

    WCHAR valueName[64];
    DWORD cch = 64;
    cb = sizeof data;
    ASSERT_EQ(RegEnumValueW(again, 0, valueName, &cch, nullptr, &type, data, &cb), 0);
    EXPECT_EQ(U(valueName), name);
    EXPECT_EQ(cch, name.size());
    RegCloseKey(again);

    // Through the A calls the name is what Windows-1252 makes of it: '?' for what it lacks.
    HKEY viaAnsi = nullptr;
    if (c.inAnsi) {  // Latin-1 units are their own Windows-1252 bytes
      const std::string ansiPath = "Software\\VidazozTest\\" + std::string(name.begin(), name.end());
      EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ansiPath.c_str(), 0, KEY_READ, &viaAnsi), 0);
      RegCloseKey(viaAnsi);
    }
  }
  const std::vector<std::u16string> listed = SubkeysW(root_);
  std::vector<std::u16string> expected;
  for (const auto& c : cases) expected.push_back(c.name);
  std::sort(expected.begin(), expected.end());
  std::vector<std::u16string> sortedListed = listed;
  std::sort(sortedListed.begin(), sortedListed.end());
  EXPECT_EQ(sortedListed, expected);

  // The A listing turns the Japanese name into question marks, which name no key.
  char ansiName[64];
  bool sawMarks = false;
  for (DWORD i = 0; RegEnumKeyA(root_, i, ansiName, sizeof ansiName) == ERROR_SUCCESS; ++i)
    if (std::string(ansiName) == "???") sawMarks = true;
  EXPECT_TRUE(sawMarks);
  HKEY none = nullptr;
  EXPECT_EQ(RegOpenKeyExA(root_, "???", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
}

TEST_F(WideCalls, StringSizingAndTermination) {
  // "ab" without its NUL; "xy" whose NUL lies just past the count (Windows counts it in).
  ASSERT_EQ(SetW(root_, u"bare", REG_SZ, u"ab", 4), 0);
  ASSERT_EQ(SetW(root_, u"nulPast", REG_SZ, std::u16string(u"xy\0", 3), 4), 0);
  ASSERT_EQ(SetW(root_, u"bin", REG_BINARY, std::u16string(u"xy\0", 3), 4), 0);
  const struct {
    const char* what;
    const char16_t* name;
    DWORD room;
    LONG status;
    DWORD size;
    std::u16string_view starts;  // the buffer then begins with these units; empty: untouched
  } cases[] = {
      {"no NUL, exact room: none added", u"bare", 4, 0, 4, u"ab#"},
      {"no NUL, one byte more: none added", u"bare", 5, 0, 4, u"ab#"},
      {"no NUL, a unit more: terminated, not counted", u"bare", 6, 0, 4, std::u16string_view(u"ab\0", 3)},
      {"NUL just past the count was stored", u"nulPast", 6, 0, 6, std::u16string_view(u"xy\0", 3)},
      {"binary keeps its count", u"bin", 8, 0, 4, u"xy#"},
      {"too small", u"nulPast", 4, ERROR_MORE_DATA, 6, u""},
  };
  for (const auto& c : cases) {
    std::u16string buffer(8, u'#');
    DWORD cb = c.room, type = 0;
    EXPECT_EQ(RegQueryValueExW(root_, W(c.name), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &cb), c.status)
        << c.what;
    EXPECT_EQ(cb, c.size) << c.what;
    if (c.starts.empty()) {
      EXPECT_EQ(buffer, std::u16string(8, u'#')) << c.what << ": untouched";
    } else {
      EXPECT_EQ(std::u16string_view(buffer).substr(0, c.starts.size()), c.starts) << c.what;
    }
  }
  DWORD type = 0xdead;
  EXPECT_EQ(RegQueryValueExW(root_, W(u"missing"), nullptr, &type, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 0xdeadu) << "the W call leaves the type of a missing value alone";
}

TEST_F(WideCalls, NameBuffersAndClass) {
  WCHAR cls[] = {u'K', u'l', u'ä', u's', u's', 0};
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root_, W(u"Classy"), 0, cls, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  ASSERT_EQ(SetW(key, u"longish", REG_DWORD, u"\x0007\x0000", 4), 0);

  const struct {
    const char* what;
    DWORD room;
    LONG status;
    DWORD cchAfter;
    std::u16string_view cls;  // what the buffer holds; empty: untouched
  } classes[] = {
      {"fits", 6, 0, 5, u"Kläss"},
      {"one short: nothing written", 5, ERROR_INSUFFICIENT_BUFFER, 5, u""},
      {"zero room only learns the length", 0, 0, 5, u""},
  };
  for (const auto& c : classes) {
    std::u16string buffer(8, u'#');
    DWORD cch = c.room, values = 99;
    EXPECT_EQ(RegQueryInfoKeyW(key, reinterpret_cast<WCHAR*>(buffer.data()), &cch, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
              c.status)
        << c.what;
    EXPECT_EQ(cch, c.cchAfter) << c.what;
    EXPECT_EQ(values, 1u) << c.what << ": the counts come whatever the class did";
    if (c.cls.empty()) {
      EXPECT_EQ(buffer, std::u16string(8, u'#')) << c.what;
    } else {
      EXPECT_EQ(std::u16string_view(buffer.c_str()), c.cls) << c.what;
    }
  }

  // A value name that does not fit: ERROR_MORE_DATA, the type and data size still reported, the
  // count kept.
  WCHAR name[8];
  DWORD cch = 7, type = 0, cb = 0;
  BYTE data[8];
  cb = sizeof data;
  EXPECT_EQ(RegEnumValueW(key, 0, name, &cch, nullptr, &type, data, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cch, 7u);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(cb, 4u);
  cch = 8;
  EXPECT_EQ(RegEnumValueW(key, 0, name, &cch, nullptr, &type, data, &cb), 0);
  EXPECT_EQ(U(name), u"longish");
  EXPECT_EQ(RegEnumValueW(key, 1, name, &cch, nullptr, &type, data, &cb), ERROR_NO_MORE_ITEMS);

  WCHAR sub[7];
  EXPECT_EQ(RegEnumKeyW(root_, 0, sub, 6), ERROR_MORE_DATA) << "\"Classy\" needs 7 with its NUL";
  EXPECT_EQ(RegEnumKeyW(root_, 0, sub, 7), 0);
  EXPECT_EQ(U(sub), u"Classy");

  EXPECT_EQ(RegDeleteValueW(key, W(u"LONGISH")), 0);
  EXPECT_EQ(RegDeleteValueW(key, W(u"longish")), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyW(root_, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyW(root_, W(u"CLASSY")), 0);
  EXPECT_EQ(RegOpenKeyExW(root_, W(u"Classy"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  HKEY self = nullptr;
  EXPECT_EQ(RegConnectRegistryW(nullptr, HKEY_LOCAL_MACHINE, &self), 0);
  EXPECT_EQ(self, HKEY_LOCAL_MACHINE);
}

}  // namespace
}  // namespace vidazoz
