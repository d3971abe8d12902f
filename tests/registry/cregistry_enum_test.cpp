// Listing value names and sub-key names into lists numbered from 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>

#include "cRegistry.h"
#include "mock_registry_api.h"
#include "registry_sandbox.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;
using testing::FakeKey;
using testing::MockRegistryApi;
using testing::RegistrySandbox;

class CRegistryEnum : public RegistrySandbox {
 protected:
  cRegistry Selecting(const std::string& section) {
    cRegistry r;
    r.ClassKey(kHive);
    r.SectionKey(section);
    r.Machine("elsewhere");  // listings never consult it
    return r;
  }
  // A list that a call must empty first.
  static NameList Stale() {
    NameList l;
    l.Resize(4);
    l(1) = "stale";
    return l;
  }
};

TEST_F(CRegistryEnum, ValueNamesComeNumberedFromOneWithTheUnnamedValueAsAnEmptyName) {
  for (const char* name : {"beta", "", "Alpha", "gamma"}) ASSERT_EQ(SetRaw(Root(), name, REG_SZ, "x"), 0);
  cRegistry r = Selecting(Root());
  NameList names = Stale();
  std::int32_t count = -1;
  EXPECT_EQ(r.EnumerateValues(names, count), Boolean::True);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(names.UBound(), 4);
  EXPECT_THAT(names.Items(), ::testing::UnorderedElementsAre("", "Alpha", "beta", "gamma"));
  EXPECT_EQ(r.SectionKey(), Root());
}

TEST_F(CRegistryEnum, SubKeyNamesComeNumberedFromOneUpTo254Characters) {
  // Directly below the hive: an ANSI path of 261 characters or more is refused whole.
  const std::string longest(254, 'k');
  cRegistry r = Selecting("P");
  for (const std::string& child : {std::string("b\\Grandchild"), std::string("Été"), longest}) {
    r.SectionKey("P\\" + child);
    r.CreateKey();
  }
  r.SectionKey("P");
  NameList names = Stale();
  std::int32_t count = -1;
  EXPECT_EQ(r.EnumerateSections(names, count), Boolean::True);
  EXPECT_EQ(count, 3);
  EXPECT_THAT(names.Items(), ::testing::UnorderedElementsAre("b", "Été", longest));
}

TEST_F(CRegistryEnum, ASubKeyNameOf255CharactersEndsTheListing) {
  cRegistry r = Selecting("P");
  for (const std::string& child : {std::string("a"), std::string("b"), std::string(255, 'm'), std::string("z")}) {
    r.SectionKey("P\\" + child);
    r.CreateKey();
  }
  r.SectionKey("P");
  NameList names;
  std::int32_t count = -1;
  EXPECT_EQ(r.EnumerateSections(names, count), Boolean::True);
  EXPECT_THAT(names.Items(), ElementsAre("a", "b"));
  EXPECT_EQ(count, 2);
}

TEST_F(CRegistryEnum, MissingAndEmptyKeysGiveAnEmptyListAndTrue) {
  cRegistry r = Selecting(Root() + "\\Empty");
  r.CreateKey();
  for (const std::string& section : {Root() + "\\Empty", Root() + "\\Absent"}) {
    r.SectionKey(section);
    NameList names = Stale();
    std::int32_t count = -1;
    EXPECT_EQ(r.EnumerateValues(names, count), Boolean::True);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.Empty());
    names = Stale();
    count = -1;
    EXPECT_EQ(r.EnumerateSections(names, count), Boolean::True);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.Empty());
  }
}

class CRegistryEnumMock : public ::testing::Test {
 protected:
  CRegistryEnumMock() : r(api) {
    ON_CALL(*api, RegOpenKeyExA).WillByDefault(DoAll(SetArgPointee<4>(FakeKey(9)), Return(ERROR_SUCCESS)));
  }
  std::shared_ptr<NiceMock<MockRegistryApi>> api = std::make_shared<NiceMock<MockRegistryApi>>();
  cRegistry r;
};

TEST_F(CRegistryEnumMock, ValueNamesUseTheLongestLengthAndStopAtTheFirstRefusal) {
  EXPECT_CALL(*api, RegOpenKeyExA(_, _, 0, KEY_QUERY_VALUE, _));
  EXPECT_CALL(*api, RegQueryInfoKeyA).WillOnce(DoAll(SetArgPointee<8>(DWORD{3}), Return(ERROR_SUCCESS)));
  const std::vector<std::string> stored = {"abc", "x", "toolong"};
  EXPECT_CALL(*api, RegEnumValueA(FakeKey(9), _, _, _, nullptr, nullptr, nullptr, nullptr))
      .Times(3)
      .WillRepeatedly([&](HKEY, DWORD i, LPSTR name, LPDWORD length, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
        EXPECT_EQ(*length, 4u) << "longest name plus its NUL, anew for each index";
        if (stored[i].size() >= *length) return ERROR_MORE_DATA;
        std::copy(stored[i].begin(), stored[i].end(), name);
        *length = static_cast<DWORD>(stored[i].size());
        return ERROR_SUCCESS;
      });
  EXPECT_CALL(*api, RegCloseKey(FakeKey(9)));
  NameList names;
  std::int32_t count = 0;
  EXPECT_EQ(r.EnumerateValues(names, count), Boolean::True);
  EXPECT_THAT(names.Items(), ElementsAre("abc", "x"));
  EXPECT_EQ(count, 2);
}

TEST_F(CRegistryEnumMock, SubKeyNamesUseA255CharacterBufferAndEndAtTheFirstNul) {
  EXPECT_CALL(*api, RegOpenKeyExA(_, _, 0, KEY_ENUMERATE_SUB_KEYS, _));
  EXPECT_CALL(*api, RegEnumKeyA(FakeKey(9), _, _, 255u))
      .WillOnce([](HKEY, DWORD i, LPSTR name, DWORD) {
        EXPECT_EQ(i, 0u);
        std::fill_n(name, 255, 'n');  // no NUL at all: all 255 characters
        return ERROR_SUCCESS;
      })
      .WillOnce([](HKEY, DWORD, LPSTR name, DWORD) {
        std::copy_n("ab\0cd", 6, name);
        return ERROR_SUCCESS;
      })
      .WillOnce(Return(ERROR_NO_MORE_ITEMS));
  NameList names;
  std::int32_t count = 0;
  r.EnumerateSections(names, count);
  EXPECT_THAT(names.Items(), ElementsAre(std::string(255, 'n'), "ab"));
}

TEST_F(CRegistryEnumMock, AFailureWhileListingSubKeysIsRaisedUnderItsOwnNumber) {
  EXPECT_CALL(*api, RegEnumKeyA)
      .WillOnce([](HKEY, DWORD, LPSTR name, DWORD) {
        name[0] = 'a';
        return ERROR_SUCCESS;
      })
      .WillOnce([](HKEY, DWORD, LPSTR, DWORD) -> LONG { throw std::bad_alloc(); });
  EXPECT_CALL(*api, RegCloseKey(FakeKey(9)));
  NameList names;
  std::int32_t count = 0;
  try {
    r.EnumerateSections(names, count);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), static_cast<std::int32_t>(0x800469AAu));
    EXPECT_EQ(e.Source(), ClassErrorSource());
    EXPECT_EQ(e.Description(), "Out of memory");
  }
}

TEST_F(CRegistryEnumMock, AFailureWhileListingValuesPassesOnWithItsOwnNumber) {
  EXPECT_CALL(*api, RegQueryInfoKeyA).WillOnce(Return(ERROR_SUCCESS));
  EXPECT_CALL(*api, RegEnumValueA).WillOnce([](HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) -> LONG {
    throw std::bad_alloc();
  });
  EXPECT_CALL(*api, RegCloseKey(FakeKey(9)));
  NameList names;
  std::int32_t count = 0;
  try {
    r.EnumerateValues(names, count);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), errnum::OutOfMemory);
  }
}

TEST_F(CRegistryEnumMock, AKeyWhoseStatisticsCannotBeReadListsNothing) {
  EXPECT_CALL(*api, RegQueryInfoKeyA).WillOnce(Return(ERROR_ACCESS_DENIED));
  EXPECT_CALL(*api, RegEnumValueA).Times(0);
  EXPECT_CALL(*api, RegCloseKey(FakeKey(9)));
  NameList names;
  std::int32_t count = 7;
  EXPECT_EQ(r.EnumerateValues(names, count), Boolean::True);
  EXPECT_EQ(count, 0);
  EXPECT_THAT(names.Items(), IsEmpty());
}

}  // namespace
}  // namespace vidazoz
