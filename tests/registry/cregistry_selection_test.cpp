#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cRegistry.h"
#include "mock_registry_api.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::NiceMock;
using ::testing::Property;
using ::testing::Return;
using ::testing::StrEq;
using ::testing::Throws;
using testing::MockRegistryApi;

TEST(CRegistrySelection, MachineIsNormalisedToTwoLeadingBackslashes) {
  cRegistry r(std::make_shared<NiceMock<MockRegistryApi>>());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"ab", ""},
      {"\\\\", ""},
      {"éé", ""},  // two characters, four bytes
      {"abc", "\\\\abc"},
      {"\\\\srv", "\\\\srv"},
      {"\\srv", "\\\\\\srv"},
      {"/srv", "\\\\/srv"},
  };
  for (const auto& [in, out] : cases) {
    r.Machine(in);
    EXPECT_EQ(r.Machine(), out) << "for " << in;
  }
}

// Nothing is checked or normalised: a new object asks for no hive and the empty path; no root
// handle, an odd path and an unknown type are used as set, and stay Unicode after ANSI calls.
TEST(CRegistrySelection, OperationsActOnTheSelectionExactlyAsSet) {
  auto api = std::make_shared<NiceMock<MockRegistryApi>>();
  cRegistry r(api);
  EXPECT_CALL(*api, RegOpenKeyExA(nullptr, StrEq(""), 0, KEY_QUERY_VALUE, _)).WillRepeatedly(Return(ERROR_INVALID_HANDLE));
  EXPECT_EQ(r.KeyExists(), Boolean::False);
  EXPECT_TRUE(r.Value().IsEmpty()) << "the initial Default";

  r.ClassKey(12345);
  r.SectionKey("\\odd\\\\Été\\");
  r.ValueKey("Ünïcode");
  r.ValueType(99);
  r.Default(Variant(std::int16_t{-7}));
  const HKEY hive = HiveHandle(12345);
  const auto ansiPath = StrEq("\\odd\\\\\xC9t\xE9\\");
  EXPECT_CALL(*api, RegOpenKeyExA(hive, ansiPath, 0, KEY_QUERY_VALUE, _)).WillOnce(Return(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(r.Value(), Variant(std::int16_t{-7}));
  EXPECT_CALL(*api, RegCreateKeyExA(hive, ansiPath, _, _, _, _, _, _, _)).WillOnce(Return(ERROR_SUCCESS));
  EXPECT_CALL(*api, RegSetValueExA).Times(0);
  const auto selection = HasSubstr("Key: '12345',Section: '\\odd\\\\Été\\',Key: 'Ünïcode'");
  EXPECT_THAT([&] { r.Value(Variant("x")); },
              Throws<Error>(AllOf(Property(&Error::Number, regerr::SetValue), Property(&Error::Description, selection))));
  EXPECT_EQ(r.SectionKey(), "\\odd\\\\Été\\");
  EXPECT_EQ(r.ValueKey(), "Ünïcode");
  EXPECT_EQ(r.ValueType(), 99);
}

TEST(CRegistryKeyExists, OpensForQueryingOnTheLocalRegistryAndClosesWhatItOpened) {
  auto api = std::make_shared<NiceMock<MockRegistryApi>>();
  cRegistry r(api);
  r.ClassKey(kHKEY_LOCAL_MACHINE);
  r.SectionKey("Software\\Été");
  r.Machine("elsewhere");

  EXPECT_CALL(*api, RegConnectRegistryA(_, _, _)).Times(0);
  EXPECT_CALL(*api, RegOpenKeyExA(HKEY_LOCAL_MACHINE, StrEq("Software\\\xC9t\xE9"), 0, KEY_QUERY_VALUE, _))
      .WillOnce([](HKEY, LPCSTR, DWORD, REGSAM, PHKEY out) {
        *out = testing::FakeKey(77);
        return ERROR_SUCCESS;
      });
  EXPECT_CALL(*api, RegCloseKey(testing::FakeKey(77))).WillOnce(Return(ERROR_SUCCESS));
  EXPECT_EQ(r.KeyExists(), Boolean::True);
}

TEST(CRegistryKeyExists, EveryFailureStatusIsFalseWithoutAnError) {
  auto api = std::make_shared<NiceMock<MockRegistryApi>>();
  cRegistry r(api);
  EXPECT_CALL(*api, RegCloseKey(_)).Times(0);
  for (LONG status : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_BAD_PATHNAME}) {
    EXPECT_CALL(*api, RegOpenKeyExA(_, _, _, _, _)).WillOnce(Return(status));
    EXPECT_EQ(r.KeyExists(), Boolean::False) << status;
  }
}

TEST(CRegistryErrors, CarryTheExecutableNameAsTheirSource) {
  auto api = std::make_shared<NiceMock<MockRegistryApi>>();
  ON_CALL(*api, RegDeleteKeyA).WillByDefault(Return(ERROR_ACCESS_DENIED));
  EXPECT_THAT([&] { cRegistry(api).DeleteKey(); }, Throws<Error>(Property(&Error::Source, "registry_tests.cRegistry")))
      << "this program is registry_tests(.exe)";
  const Error e = RuntimeError(errnum::TypeMismatch);
  EXPECT_EQ(e.Number(), 13);
  EXPECT_EQ(e.Description(), "Type mismatch");
}

TEST(CRegistryHive, HandlesAreSignExtendedLikeThePredefinedRoots) {
  EXPECT_EQ(HiveHandle(kHKEY_LOCAL_MACHINE), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(HiveHandle(kHKEY_CLASSES_ROOT), HKEY_CLASSES_ROOT);
  EXPECT_EQ(HiveHandle(0), nullptr);
}

}  // namespace
}  // namespace vidazoz
