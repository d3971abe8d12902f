// Creating and deleting keys and values: on a sandboxed registry, and on the double for the
// refusals and calls a real registry does not show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cRegistry.h"
#include "mock_registry_api.h"
#include "registry_sandbox.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StrEq;
using testing::FakeKey;
using testing::MockRegistryApi;
using testing::RegistrySandbox;

std::string DescriptionOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 26001);
    EXPECT_EQ(e.Source(), ClassErrorSource());
    return e.Description();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

class CRegistryKeys : public RegistrySandbox {
 protected:
  cRegistry Selecting(const std::string& section) {
    cRegistry r;
    r.ClassKey(kHive);
    r.SectionKey(section);
    return r;
  }
};

TEST_F(CRegistryKeys, CreateKeyMakesEveryMissingLevelAndAcceptsAnExistingKey) {
  cRegistry r = Selecting(Root() + "\\One\\Two\\Three");
  r.Machine("elsewhere");  // never consulted by key operations
  EXPECT_EQ(r.CreateKey(), Boolean::True);
  EXPECT_EQ(r.KeyExists(), Boolean::True);
  ASSERT_EQ(SetRaw(Root() + "\\One", "kept", REG_SZ, "x"), ERROR_SUCCESS);
  r.SectionKey(Root() + "\\One");
  EXPECT_EQ(r.CreateKey(), Boolean::True);
  EXPECT_EQ(GetRaw(Root() + "\\One", "kept").data, "x");
  EXPECT_EQ(r.SectionKey(), Root() + "\\One");
  EXPECT_EQ(r.Machine(), "\\\\elsewhere");
}

TEST_F(CRegistryKeys, DeleteKeyRefusesMissingKeysAndKeysWithSubKeys) {
  cRegistry r = Selecting(Root() + "\\Parent\\Child");
  r.CreateKey();
  r.SectionKey(Root() + "\\Parent");
  EXPECT_EQ(DescriptionOf([&] { r.DeleteKey(); }),
            "Failed to delete registry Key: '-2147483647',Section: 'Software\\VidazozTest\\Parent");
  EXPECT_EQ(r.KeyExists(), Boolean::True);

  r.SectionKey(Root() + "\\Parent\\Child");
  EXPECT_EQ(r.DeleteKey(), Boolean::True);
  EXPECT_EQ(r.KeyExists(), Boolean::False);
  EXPECT_EQ(DescriptionOf([&] { r.DeleteKey(); }),
            "Failed to delete registry Key: '-2147483647',Section: 'Software\\VidazozTest\\Parent\\Child");
  r.SectionKey(Root() + "\\Parent");
  EXPECT_EQ(r.DeleteKey(), Boolean::True);
}

TEST_F(CRegistryKeys, DeleteValueNamesWhatWasMissing) {
  ASSERT_EQ(SetRaw(Root(), "", REG_SZ, "default"), ERROR_SUCCESS);
  ASSERT_EQ(SetRaw(Root(), "Named", REG_SZ, "v"), ERROR_SUCCESS);
  cRegistry r = Selecting(Root());
  EXPECT_EQ(r.DeleteValue(), Boolean::True) << "an empty name is the unnamed value";
  EXPECT_EQ(GetRaw(Root(), "").type, -1);
  EXPECT_EQ(GetRaw(Root(), "Named").data, "v");

  r.ValueKey("Named");
  EXPECT_EQ(r.DeleteValue(), Boolean::True);
  EXPECT_EQ(DescriptionOf([&] { r.DeleteValue(); }),
            "Failed to delete registry Key: '-2147483647',Section: 'Software\\VidazozTest',Key: 'Named");

  r.SectionKey(Root() + "\\Absent");
  EXPECT_EQ(DescriptionOf([&] { r.DeleteValue(); }),
            "Failed to open key '-2147483647',Section: 'Software\\VidazozTest\\Absent' for delete access");
}

TEST(CRegistryKeysMock, RefusalsRaise26001AndLeaveNoHandleOpen) {
  auto api = std::make_shared<NiceMock<MockRegistryApi>>();
  cRegistry r(api);
  r.ClassKey(kHKEY_LOCAL_MACHINE);
  r.SectionKey("Software\\Tools");
  r.ValueKey("Size");
  r.Machine("elsewhere");
  EXPECT_CALL(*api, RegConnectRegistryA).Times(0);

  EXPECT_CALL(*api, RegCreateKeyExA(HKEY_LOCAL_MACHINE, StrEq("Software\\Tools"), 0, StrEq(""), 0, 0x3Fu, _, _, _))
      .WillOnce(Return(ERROR_ACCESS_DENIED));
  EXPECT_CALL(*api, RegCloseKey).Times(0);
  EXPECT_EQ(DescriptionOf([&] { r.CreateKey(); }), "Failed to create registry Key: 'Software\\Tools");
  ::testing::Mock::VerifyAndClearExpectations(api.get());

  EXPECT_CALL(*api, RegOpenKeyExA(HKEY_LOCAL_MACHINE, StrEq("Software\\Tools"), 0, 0x3Fu, _))
      .WillOnce(DoAll(SetArgPointee<4>(FakeKey(5)), Return(ERROR_SUCCESS)));
  {
    InSequence order;
    EXPECT_CALL(*api, RegDeleteValueA(FakeKey(5), StrEq("Size"))).WillOnce(Return(ERROR_ACCESS_DENIED));
    EXPECT_CALL(*api, RegCloseKey(FakeKey(5)));
  }
  EXPECT_EQ(DescriptionOf([&] { r.DeleteValue(); }),
            "Failed to delete registry Key: '-2147483646',Section: 'Software\\Tools',Key: 'Size");
  ::testing::Mock::VerifyAndClearExpectations(api.get());

  EXPECT_CALL(*api, RegDeleteKeyA(HKEY_LOCAL_MACHINE, StrEq("Software\\Tools"))).WillOnce(Return(ERROR_SUCCESS));
  EXPECT_EQ(r.DeleteKey(), Boolean::True);
}

}  // namespace
}  // namespace vidazoz
