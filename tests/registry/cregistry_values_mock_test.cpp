// Value reads and writes against the registry double: exact calls, connections, and the
// failures a real registry cannot be made to produce on demand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "cRegistry.h"
#include "mock_registry_api.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::NotNull;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StrEq;
using testing::FakeKey;
using testing::MockRegistryApi;
using namespace std::string_literals;

const HKEY kRemote = FakeKey(30);
const HKEY kOpened = FakeKey(10);
const HKEY kCreated = FakeKey(20);

class CRegistryValuesMock : public ::testing::Test {
 protected:
  CRegistryValuesMock() : r(api) {
    r.ClassKey(kHKEY_LOCAL_MACHINE);
    r.SectionKey("Software\\Tools");
    r.ValueKey("Size");
    ON_CALL(*api, RegOpenKeyExA).WillByDefault(DoAll(SetArgPointee<4>(kOpened), Return(ERROR_SUCCESS)));
    ON_CALL(*api, RegCreateKeyExA).WillByDefault(DoAll(SetArgPointee<7>(kCreated), Return(ERROR_SUCCESS)));
    ON_CALL(*api, RegConnectRegistryA).WillByDefault(DoAll(SetArgPointee<2>(kRemote), Return(ERROR_SUCCESS)));
  }

  // A stored value as the double hands it out: type and size on the first query
  // (ERROR_MORE_DATA when it does not fit), then the data, never more than the caller says its
  // buffer holds.
  void Stores(DWORD type, std::string data, DWORD reportedSize) {
    ON_CALL(*api, RegQueryValueExA(kOpened, _, _, _, _, _))
        .WillByDefault([=](HKEY, LPCSTR, LPDWORD, LPDWORD t, LPBYTE buffer, LPDWORD cb) {
          *t = type;
          if (*cb < data.size()) {
            *cb = reportedSize;
            return ERROR_MORE_DATA;
          }
          std::memcpy(buffer, data.data(), data.size());
          *cb = static_cast<DWORD>(data.size());
          return ERROR_SUCCESS;
        });
  }

  std::shared_ptr<NiceMock<MockRegistryApi>> api = std::make_shared<NiceMock<MockRegistryApi>>();
  cRegistry r;
};

TEST_F(CRegistryValuesMock, AReadOpensForQueryingUnderTheConnectionAndReleasesBoth) {
  r.Machine("localhost");
  Stores(REG_DWORD, "\x07\0\0\0"s, 4);
  InSequence order;
  EXPECT_CALL(*api, RegConnectRegistryA(StrEq("\\\\localhost"), HKEY_LOCAL_MACHINE, NotNull()));
  EXPECT_CALL(*api, RegOpenKeyExA(kRemote, StrEq("Software\\Tools"), 0, KEY_QUERY_VALUE, NotNull()));
  EXPECT_CALL(*api, RegQueryValueExA(kOpened, StrEq("Size"), nullptr, NotNull(), NotNull(), Pointee(0u)));
  EXPECT_CALL(*api, RegQueryValueExA(kOpened, StrEq("Size"), nullptr, NotNull(), NotNull(), Pointee(4u)));
  EXPECT_CALL(*api, RegCloseKey(kOpened));
  EXPECT_CALL(*api, RegCloseKey(kRemote));
  EXPECT_EQ(r.Value(), Variant(std::int32_t{7}));
}

TEST_F(CRegistryValuesMock, AWriteCreatesUnderTheConnectionWithFullAccessAndReleasesBoth) {
  r.Machine("localhost");
  r.ValueType(kREG_DWORD);
  InSequence order;
  EXPECT_CALL(*api, RegConnectRegistryA(StrEq("\\\\localhost"), HKEY_LOCAL_MACHINE, NotNull()));
  EXPECT_CALL(*api, RegCreateKeyExA(kRemote, StrEq("Software\\Tools"), 0, StrEq(""), 0, 0x3Fu,
                                    Pointee(AllOf(Field(&SECURITY_ATTRIBUTES::nLength, 0u),
                                                  Field(&SECURITY_ATTRIBUTES::lpSecurityDescriptor, nullptr),
                                                  Field(&SECURITY_ATTRIBUTES::bInheritHandle, 0))),
                                    NotNull(), NotNull()));
  EXPECT_CALL(*api, RegSetValueExA(kCreated, StrEq("Size"), 0, REG_DWORD, NotNull(), 4u))
      .WillOnce([](HKEY, LPCSTR, DWORD, DWORD, const BYTE* data, DWORD) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), 4), "\xFE\xFF\xFF\xFF");
        return ERROR_SUCCESS;
      });
  EXPECT_CALL(*api, RegCloseKey(kCreated));
  EXPECT_CALL(*api, RegCloseKey(kRemote));
  r.Value(Variant(std::int16_t{-2}));
}

TEST_F(CRegistryValuesMock, AFailedConnectionEndsAReadWithDefaultAndAWriteWithAnError) {
  r.Machine("elsewhere");
  r.Default(Variant("fallback"));
  r.ValueType(kREG_SZ);
  EXPECT_CALL(*api, RegConnectRegistryA(StrEq("\\\\elsewhere"), _, _)).WillRepeatedly(Return(ERROR_BAD_NETPATH));
  EXPECT_CALL(*api, RegOpenKeyExA).Times(0);
  EXPECT_CALL(*api, RegCreateKeyExA).Times(0);
  EXPECT_CALL(*api, RegCloseKey).Times(0);
  r.ValueType(99);
  EXPECT_EQ(r.Value(), Variant("fallback"));
  EXPECT_EQ(r.ValueType(), 99);
  try {
    r.Value(Variant(std::int32_t{5}));
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 26001);
    EXPECT_EQ(e.Description(),
              "Failed to set registry value Key: '-2147483646',Section: 'Software\\Tools',Key: 'Size' to value: '5'");
  }
}

TEST_F(CRegistryValuesMock, ARefusedSetRaisesAfterClosingTheKey) {
  r.ValueType(kREG_DWORD);
  {
    InSequence order;
    EXPECT_CALL(*api, RegSetValueExA).WillOnce(Return(ERROR_ACCESS_DENIED));
    EXPECT_CALL(*api, RegCloseKey(kCreated));
  }
  try {
    r.Value(Variant(std::int32_t{5}));
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), static_cast<std::int32_t>(0x800469A9u));
    EXPECT_EQ(e.Number(), -2147194455);
    EXPECT_EQ(e.Source(), ClassErrorSource());
    EXPECT_EQ(e.Description(),
              "Failed to set registry value Key: '-2147483646',Section: 'Software\\Tools',Key: 'Size' to value: '5'");
  }
}

TEST_F(CRegistryValuesMock, AKeyThatCannotBeCreatedRaises26001AndWritesNothing) {
  r.ValueType(kREG_BINARY);
  EXPECT_CALL(*api, RegCreateKeyExA).WillOnce(Return(ERROR_ACCESS_DENIED));
  EXPECT_CALL(*api, RegSetValueExA).Times(0);
  EXPECT_CALL(*api, RegCloseKey).Times(0);
  try {
    r.Value(Variant(ByteArray{{1, 0xAB}, 1}));
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 26001);
    EXPECT_EQ(e.Description(),
              "Failed to set registry value Key: '-2147483646',Section: 'Software\\Tools',Key: 'Size' to value: "
              "'01 AB'");
  }
}

TEST_F(CRegistryValuesMock, RefusedInputClosesTheKeyItCreated) {
  for (const auto& [type, value] : {std::pair{kREG_BINARY, Variant("x")}, std::pair{kREG_DWORD, Variant("x")}}) {
    EXPECT_CALL(*api, RegSetValueExA).Times(0);
    EXPECT_CALL(*api, RegCloseKey(kCreated)).Times(1);
    r.ValueType(type);
    EXPECT_THROW(r.Value(value), Error);
    ::testing::Mock::VerifyAndClearExpectations(api.get());
  }
}

TEST_F(CRegistryValuesMock, SizesThatChangeBetweenTheQueriesNeverLeakIntoTheResult) {
  // An ANSI read may be sized in UTF-16 bytes first and come back shorter.
  Stores(REG_SZ, "abc"s + '\0', 8);
  EXPECT_EQ(r.Value(), Variant("abc"));
  // A value that grew in between: the second query is refused and the buffer stays zeroed.
  ON_CALL(*api, RegQueryValueExA(kOpened, _, _, _, _, _))
      .WillByDefault([](HKEY, LPCSTR, LPDWORD, LPDWORD t, LPBYTE, LPDWORD cb) {
        *t = REG_BINARY;
        *cb = *cb == 0 ? 2 : 100;
        return ERROR_MORE_DATA;
      });
  EXPECT_EQ(r.Value(), Variant(ByteArray{{0, 0}, 0}));
}

TEST_F(CRegistryValuesMock, AnUnreadableValueOrKeyGivesDefault) {
  r.Default(Variant(std::int16_t{3}));
  EXPECT_CALL(*api, RegQueryValueExA).WillOnce(Return(ERROR_ACCESS_DENIED));
  EXPECT_CALL(*api, RegCloseKey(kOpened));
  EXPECT_EQ(r.Value(), Variant(std::int16_t{3}));
  ::testing::Mock::VerifyAndClearExpectations(api.get());

  EXPECT_CALL(*api, RegOpenKeyExA).WillOnce(Return(ERROR_ACCESS_DENIED));
  EXPECT_CALL(*api, RegCloseKey).Times(0);
  EXPECT_EQ(r.Value(), Variant(std::int16_t{3}));
  EXPECT_EQ(r.ValueType(), 0);
}

}  // namespace
}  // namespace vidazoz
