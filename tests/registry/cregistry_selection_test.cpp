#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cRegistry.h"
#include "mock_registry_api.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::StrEq;
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

TEST(CRegistrySelection, StartsEmptyAndReadsBackExactlyWhatWasSet) {
  cRegistry r(std::make_shared<NiceMock<MockRegistryApi>>());
  EXPECT_EQ(r.ClassKey(), 0);
  EXPECT_EQ(r.SectionKey(), "");
  EXPECT_EQ(r.ValueKey(), "");
  EXPECT_EQ(r.ValueType(), 0);
  EXPECT_TRUE(r.Default().IsEmpty());
  EXPECT_EQ(r.Machine(), "");

  r.ClassKey(12345);  // no root handle: stored anyway
  r.SectionKey("\\odd\\\\path\\");
  r.ValueKey("Ünïcode name");
  r.ValueType(99);
  r.Default(Variant(std::int16_t{-7}));
  EXPECT_EQ(r.ClassKey(), 12345);
  EXPECT_EQ(r.SectionKey(), "\\odd\\\\path\\");
  EXPECT_EQ(r.ValueKey(), "Ünïcode name");
  EXPECT_EQ(r.ValueType(), 99);
  EXPECT_EQ(r.Default(), Variant(std::int16_t{-7}));
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
  EXPECT_EQ(ClassErrorSource(), ExecutableBaseName() + ".cRegistry");
  EXPECT_FALSE(ExecutableBaseName().empty());
  EXPECT_EQ(ExecutableBaseName().find('.'), std::string::npos) << "the extension is dropped";
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
