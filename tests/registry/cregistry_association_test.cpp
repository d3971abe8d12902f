// File-type association: the rows written, their order, and the selection left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cRegistry.h"
#include "mock_registry_api.h"
#include "registry_sandbox.h"

namespace vidazoz {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::NiceMock;
using ::testing::Return;
using testing::FakeKey;
using testing::MockRegistryApi;
using testing::RegistrySandbox;
using namespace std::string_literals;

const std::int32_t kHKCR = kHKEY_CLASSES_ROOT;
const std::int32_t kHKLM = kHKEY_LOCAL_MACHINE;

// One value write as the platform saw it: "<hive>:<key path>=<text>", the text without its NUL.
// Every row goes to the default value as REG_SZ; the double checks that as it records.
class RecordingRegistry {
 public:
  RecordingRegistry() {
    ON_CALL(*api, RegCreateKeyExA).WillByDefault([this](HKEY hive, LPCSTR path, DWORD, LPSTR, DWORD, REGSAM,
                                                        const SECURITY_ATTRIBUTES*, PHKEY out, LPDWORD) {
      pending_ = (hive == HKEY_CLASSES_ROOT ? "HKCR:"s : hive == HKEY_LOCAL_MACHINE ? "HKLM:"s : "?:"s) + path;
      *out = FakeKey(1);
      return ERROR_SUCCESS;
    });
    ON_CALL(*api, RegSetValueExA)
        .WillByDefault([this](HKEY, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
          EXPECT_STREQ(name, "");
          EXPECT_EQ(type, REG_SZ);
          writes.push_back(pending_ + "=" + std::string(reinterpret_cast<const char*>(data), size - 1));
          return failNext-- > 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        });
  }
  std::shared_ptr<NiceMock<MockRegistryApi>> api = std::make_shared<NiceMock<MockRegistryApi>>();
  std::vector<std::string> writes;
  int failNext = 0;

 private:
  std::string pending_;
};

class CRegistryAssociation : public ::testing::Test {
 protected:
  RecordingRegistry registry;
  cRegistry r{registry.api};
};

TEST_F(CRegistryAssociation, TheFourRequiredArgumentsWriteEightRowsUnderBothClassRoots) {
  r.ValueType(kREG_BINARY);
  r.ValueKey("leftover");
  r.CreateEXEAssociation("  C:\\Tools\\viewer.exe ", "Vidazoz.Doc", "Vidazoz document", "vzd");
  EXPECT_THAT(registry.writes,
              ElementsAre("HKCR:.vzd=Vidazoz.Doc", "HKLM:SOFTWARE\\Classes\\.vzd=Vidazoz.Doc",
                          "HKCR:Vidazoz.Doc=Vidazoz document", "HKLM:SOFTWARE\\Classes\\Vidazoz.Doc=Vidazoz document",
                          "HKCR:Vidazoz.Doc\\shell\\open=&Open", "HKLM:SOFTWARE\\Classes\\Vidazoz.Doc\\shell\\open=&Open",
                          "HKCR:Vidazoz.Doc\\shell\\open\\command=\"C:\\Tools\\viewer.exe\" \"%1\"",
                          "HKLM:SOFTWARE\\Classes\\Vidazoz.Doc\\shell\\open\\command=\"C:\\Tools\\viewer.exe\" \"%1\""));
  EXPECT_EQ(r.ClassKey(), kHKLM);
  EXPECT_EQ(r.SectionKey(), "Vidazoz.Doc\\shell\\open\\command");
  EXPECT_EQ(r.ValueKey(), "");
  EXPECT_EQ(r.ValueType(), kREG_SZ);
}

TEST_F(CRegistryAssociation, EveryVerbAndTheIconFollowInTableOrder) {
  r.CreateEXEAssociation("\"C:\\a b\\v.exe\"", "C", "D", ".x", "", Boolean::True, "", Boolean::True, "",
                         static_cast<Boolean>(1), "", 0);
  std::vector<std::string> hkcr;
  for (std::size_t i = 0; i < registry.writes.size(); i += 2) {
    hkcr.push_back(registry.writes[i]);
    EXPECT_EQ(registry.writes[i + 1], "HKLM:SOFTWARE\\Classes\\" + registry.writes[i].substr(5));
  }
  EXPECT_THAT(hkcr, ElementsAre("HKCR:..x=C", "HKCR:C=D", "HKCR:C\\shell\\open=&Open",
                                "HKCR:C\\shell\\open\\command=\"C:\\a b\\v.exe\" \"%1\"", "HKCR:C\\shell\\print=&Print",
                                "HKCR:C\\shell\\print\\command=\"C:\\a b\\v.exe\" /p \"%1\"",
                                "HKCR:C\\shell\\add=&Install .x", "HKCR:C\\shell\\add\\command=\"C:\\a b\\v.exe\" /a \"%1\"",
                                "HKCR:C\\shell\\new=&New", "HKCR:C\\shell\\new\\command=\"C:\\a b\\v.exe\" /n \"%1\"",
                                "HKCR:C\\DefaultIcon=\"C:\\a b\\v.exe\",0"));
  EXPECT_EQ(registry.writes.size(), 22u);
  EXPECT_EQ(r.SectionKey(), "C\\DefaultIcon");
}

TEST_F(CRegistryAssociation, MenuTextsAndProgramPathsAreUsedAsGiven) {
  r.CreateEXEAssociation("v.exe\"", "C", "D", "x", "Ö&ffnen", Boolean::True, "Drucken", Boolean::False, "Neu",
                         Boolean::True, "Einbauen", 7);
  EXPECT_THAT(registry.writes,
              ::testing::IsSupersetOf({"HKCR:C\\shell\\open=\xD6&ffnen", "HKCR:C\\shell\\print=Drucken",
                                       "HKCR:C\\shell\\add=Einbauen", "HKCR:C\\DefaultIcon=\"v.exe\",7",
                                       "HKCR:C\\shell\\open\\command=\"v.exe\" \"%1\""}));
  EXPECT_EQ(registry.writes.size(), 18u) << "no new verb";

  for (const auto& [path, quoted] : std::vector<std::pair<std::string, std::string>>{
           {"\"v.exe", "\"v.exe\""}, {"   ", "\""}, {"", "\""}, {"\"a\"", "\"a\""}}) {
    registry.writes.clear();
    r.CreateEXEAssociation(path, "C", "D", "x", "&Open", Boolean::False, "", Boolean::False, "", Boolean::False, "", -2);
    ASSERT_EQ(registry.writes.size(), 8u);
    EXPECT_EQ(registry.writes[6], "HKCR:C\\shell\\open\\command=" + quoted + " \"%1\"") << path;
  }
}

TEST_F(CRegistryAssociation, AFailedWriteEndsTheAssociationWhereItStood) {
  registry.failNext = 1;  // the extension row under HKEY_CLASSES_ROOT
  try {
    r.CreateEXEAssociation("v.exe", "C", "D", "x");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), regerr::SetValue);
    EXPECT_EQ(e.Description(), "Failed to set registry value Key: '-2147483648',Section: '.x',Key: '' to value: 'C'");
  }
  EXPECT_EQ(registry.writes.size(), 1u) << "the second root was never reached";
  EXPECT_EQ(r.ClassKey(), kHKCR);
  EXPECT_EQ(r.SectionKey(), ".x");
}

TEST_F(CRegistryAssociation, AdditionalVerbsNeedGroupsOfThreeAndAClassUnderTheClassesRoot) {
  r.ClassKey(kHKEY_CURRENT_USER);
  r.SectionKey("before");
  for (std::size_t n : {1u, 2u, 4u, 5u}) {
    try {
      r.CreateAdditionalEXEAssociations("C", std::vector<Variant>(n, Variant("v")));
      FAIL() << n;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), static_cast<std::int32_t>(0x800469ACu));
      EXPECT_EQ(e.Source(), ClassErrorSource());
      EXPECT_EQ(e.Description(),
                "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    }
    EXPECT_EQ(r.SectionKey(), "before");
  }

  EXPECT_CALL(*registry.api, RegOpenKeyExA(HKEY_CLASSES_ROOT, ::testing::StrEq("C"), 0, KEY_QUERY_VALUE, _))
      .WillOnce(Return(ERROR_FILE_NOT_FOUND))
      .WillOnce(Return(ERROR_SUCCESS));
  try {
    r.CreateAdditionalEXEAssociations("C", {"edit", "&Edit", "e.exe %1"});
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), static_cast<std::int32_t>(0x800469ADu));
    EXPECT_EQ(e.Description(), "Error - attempt to create additional associations before class defined.");
  }
  EXPECT_EQ(r.SectionKey(), "C");
  EXPECT_EQ(r.ClassKey(), kHKEY_CURRENT_USER) << "the class is looked for without changing the hive";

  r.CreateAdditionalEXEAssociations("C", {});
  EXPECT_THAT(registry.writes, IsEmpty());
  EXPECT_EQ(r.ClassKey(), kHKEY_CURRENT_USER);
}

TEST_F(CRegistryAssociation, AdditionalVerbsAreWrittenAsGivenAndFailedStepsArePassedOver) {
  ON_CALL(*registry.api, RegOpenKeyExA).WillByDefault(Return(ERROR_SUCCESS));
  registry.failNext = 1;  // the first Text under HKCR
  r.CreateAdditionalEXEAssociations(
      "C", {"edit", "&Edit", "notepad %1", Variant(ByteArray{{1}, 0}), "lost", "lost too", "", "lost", "lost too",
            std::int16_t{7}, Variant(), std::int32_t{-1}});
  EXPECT_THAT(registry.writes,
              ElementsAre("HKCR:C\\shell\\edit=&Edit", "HKCR:C\\shell\\edit\\command=notepad %1",
                          "HKLM:SOFTWARE\\Classes\\C\\shell\\edit\\command=notepad %1", "HKCR:C\\shell\\7=",
                          "HKLM:SOFTWARE\\Classes\\C\\shell\\7=", "HKCR:C\\shell\\7\\command=-1",
                          "HKLM:SOFTWARE\\Classes\\C\\shell\\7\\command=-1"));
  EXPECT_EQ(r.ClassKey(), kHKLM);
  EXPECT_EQ(r.SectionKey(), "C\\shell\\7\\command");
  EXPECT_EQ(r.ValueKey(), "");
  EXPECT_EQ(r.ValueType(), kREG_SZ);
}

class CRegistryAssociationStored : public RegistrySandbox {};

TEST_F(CRegistryAssociationStored, AnAssociationCanBeExtendedAtOnceByTheSameObject) {
  cRegistry r;
  r.CreateEXEAssociation("C:\\v.exe", "Vidazoz.Doc", "Document", "vzd", "", Boolean::False, "", Boolean::False, "",
                         Boolean::False, "", 2);
  r.CreateAdditionalEXEAssociations("Vidazoz.Doc", {"edit", "&Edit", "C:\\v.exe /e %1"});

  EXPECT_EQ(GetRaw(HKEY_CLASSES_ROOT, ".vzd", ""), (Raw{REG_SZ, "Vidazoz.Doc"s + '\0'}));
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\Vidazoz.Doc\\DefaultIcon", ""),
            (Raw{REG_SZ, "\"C:\\v.exe\",2"s + '\0'}));
  EXPECT_EQ(GetRaw(HKEY_CLASSES_ROOT, "Vidazoz.Doc\\shell\\edit\\command", ""),
            (Raw{REG_SZ, "C:\\v.exe /e %1"s + '\0'}));
  EXPECT_EQ(GetRaw(HKEY_CLASSES_ROOT, "Vidazoz.Doc\\shell\\open\\command", "").data, "\"C:\\v.exe\" \"%1\""s + '\0');
}

}  // namespace
}  // namespace vidazoz
