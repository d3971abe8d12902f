// Value reads and writes against a real registry, one sandbox per test.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "ansi.h"
#include "cRegistry.h"
#include "registry_sandbox.h"

namespace vidazoz {
namespace {

using testing::RegistrySandbox;
using namespace std::string_literals;

class CRegistryValues : public RegistrySandbox {
 protected:
  cRegistry Selecting(const std::string& valueName, std::int32_t type = 0) {
    cRegistry r;
    r.ClassKey(kHive);
    r.SectionKey(Root());
    r.ValueKey(valueName);
    r.ValueType(type);
    return r;
  }
};

TEST_F(CRegistryValues, TextRoundTripsAndTheReadReportsItsType) {
  cRegistry r = Selecting("Greeting", kREG_SZ);
  r.Value(Variant("héllo wörld €"));
  r.ValueType(99);
  EXPECT_EQ(r.Value(), Variant("héllo wörld €"));
  EXPECT_EQ(r.ValueType(), kREG_SZ);
  EXPECT_EQ(GetRaw(Root(), "Greeting").data, "h\xE9llo w\xF6rld \x80"s + '\0') << "stored in the ANSI code page";
}

TEST_F(CRegistryValues, TheTextDecidesBetweenPlainAndExpandableString) {
  const std::vector<std::tuple<std::string, std::int32_t, long>> cases = {
      {"ab", kREG_EXPAND_SZ, REG_SZ},      {"%TEMP%\\x", kREG_SZ, REG_EXPAND_SZ}, {"100%", kREG_SZ, REG_SZ},
      {"%%", kREG_EXPAND_SZ, REG_SZ},      {"a%%", kREG_SZ, REG_SZ},              {"%%%", kREG_SZ, REG_EXPAND_SZ},
      {"x%y%", kREG_SZ, REG_EXPAND_SZ},    {"%é%", kREG_SZ, REG_EXPAND_SZ},
  };
  for (const auto& [text, selected, stored] : cases) {
    cRegistry r = Selecting("T", selected);
    r.Value(Variant(text));
    const auto raw = GetRaw(Root(), "T");
    EXPECT_EQ(raw.type, stored) << text;
    EXPECT_EQ(raw.data, ansi::FromUtf8(text) + '\0') << text;
  }
}

TEST_F(CRegistryValues, ExpandableStringsReadBackExpandedFromTheEnvironment) {
  testing::ScopedEnv var("VIDAZOZ_PLACE", "C:\\Tools");
  ASSERT_EQ(SetRaw(Root(), "Path", REG_EXPAND_SZ, "%vidazoz_place%\\bin;%VIDAZOZ_NOWHERE%;50%"s + '\0'),
            ERROR_SUCCESS);
  cRegistry r = Selecting("Path");
  EXPECT_EQ(r.Value(), Variant("C:\\Tools\\bin;%VIDAZOZ_NOWHERE%;50%"));
  EXPECT_EQ(r.ValueType(), kREG_EXPAND_SZ);

  // Written back, the expanded text still holds two percent signs apart: expandable again.
  r.Value(r.Value());
  EXPECT_EQ(GetRaw(Root(), "Path").type, REG_EXPAND_SZ);
  ASSERT_EQ(SetRaw(Root(), "Path", REG_EXPAND_SZ, "%vidazoz_place%"s + '\0'), ERROR_SUCCESS);
  r.Value(r.Value());
  EXPECT_EQ(GetRaw(Root(), "Path"), (Raw{REG_SZ, "C:\\Tools"s + '\0'}));
}

TEST_F(CRegistryValues, StringsDropOnlyAFinalNul) {
  const std::vector<std::tuple<DWORD, std::string, std::string>> cases = {
      {REG_SZ, "abc"s + '\0', "abc"},
      {REG_SZ, "abc", "abc"},  // stored without its NUL: nothing lost
      {REG_SZ, ""s + '\0', ""},
      {REG_SZ, "", ""},
      {REG_EXPAND_SZ, "", ""},
      {REG_MULTI_SZ, "a\0b\0\0"s, "a\0b\0"s},
      {REG_MULTI_SZ, "", ""},
  };
  for (const auto& [type, stored, read] : cases) {
    ASSERT_EQ(SetRaw(Root(), "S", type, stored), ERROR_SUCCESS);
    cRegistry r = Selecting("S");
    EXPECT_EQ(r.Value(), Variant(read)) << type << " " << stored.size();
    EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(type));
  }
}

TEST_F(CRegistryValues, NumbersAreStoredLittleEndianAsDwordForBothNumberTypes) {
  cRegistry r = Selecting("N", kREG_DWORD_BIG_ENDIAN);
  r.Value(Variant(std::int32_t{0x12345678}));
  EXPECT_EQ(GetRaw(Root(), "N"), (Raw{REG_DWORD, "\x78\x56\x34\x12"}));
  EXPECT_EQ(r.Value(), Variant(std::int32_t{0x12345678}));
  EXPECT_EQ(r.ValueType(), kREG_DWORD);

  r.Value(Variant(std::int16_t{-1}));
  EXPECT_EQ(GetRaw(Root(), "N"), (Raw{REG_DWORD, "\xFF\xFF\xFF\xFF"}));
  EXPECT_EQ(r.Value(), Variant(std::int32_t{-1}));
}

TEST_F(CRegistryValues, NumberReadsTakeAtMostFourBytesAndReverseBigEndian) {
  const std::vector<std::tuple<DWORD, std::string, std::int32_t>> cases = {
      {REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78", 0x12345678},
      {REG_DWORD, "\x01\x02\x03\x04\x05\x06\x07\x08", 0x04030201},
      {REG_DWORD_BIG_ENDIAN, "\x01\x02\x03\x04\x05\x06", 0x01020304},
      {REG_DWORD, "\x78\x56", 0x5678},
      {REG_DWORD, "", 0},
  };
  for (const auto& [type, stored, read] : cases) {
    ASSERT_EQ(SetRaw(Root(), "D", type, stored), ERROR_SUCCESS);
    cRegistry r = Selecting("D");
    EXPECT_EQ(r.Value(), Variant(read)) << type << " of " << stored.size() << " bytes";
    EXPECT_EQ(r.ValueType(), static_cast<std::int32_t>(type));
  }
}

TEST_F(CRegistryValues, BytesRoundTripFromIndexZeroAndOtherTypesReadAsBytes) {
  cRegistry r = Selecting("B", kREG_BINARY);
  r.Value(Variant(ByteArray{{0, 0x7F, 0xFF}, 5}));
  EXPECT_EQ(GetRaw(Root(), "B"), (Raw{REG_BINARY, "\x00\x7F\xFF"s}));
  EXPECT_EQ(r.Value(), Variant(ByteArray{{0, 0x7F, 0xFF}, 0}));

  r.Value(Variant(ByteArray{}));
  EXPECT_EQ(r.Value(), Variant(ByteArray{}));

  for (DWORD type : {REG_NONE, REG_QWORD, DWORD{0x12345}}) {
    ASSERT_EQ(SetRaw(Root(), "O", type, "\x01\x02"), ERROR_SUCCESS);
    cRegistry o = Selecting("O");
    EXPECT_EQ(o.Value(), Variant(ByteArray{{1, 2}, 0})) << type;
    EXPECT_EQ(o.ValueType(), static_cast<std::int32_t>(type));
  }
}

TEST_F(CRegistryValues, AMissingValueGivesDefaultAndKeepsTheType) {
  cRegistry fresh;
  EXPECT_TRUE(fresh.Value().IsEmpty());

  cRegistry r = Selecting("Absent", 42);
  r.Default(Variant(2.5));
  EXPECT_EQ(r.Value(), Variant(2.5));
  r.SectionKey(Root() + "\\NoSuchKey");
  EXPECT_EQ(r.Value(), Variant(2.5));
  r.ClassKey(12345);
  EXPECT_EQ(r.Value(), Variant(2.5));
  EXPECT_EQ(r.ValueType(), 42);
}

TEST_F(CRegistryValues, ValueExSetsTheSelectionAndFallsBackToDefaultOnlyForPlainText) {
  cRegistry r;
  r.ValueEx(kHive, Root(), "V", kREG_SZ, Variant("x"), Variant(""));
  EXPECT_EQ(GetRaw(Root(), "V"), (Raw{REG_SZ, "x"s + '\0'}));
  r.ValueEx(kHive, Root(), "V", kREG_EXPAND_SZ, Variant("x"), Variant());
  EXPECT_EQ(GetRaw(Root(), "V"), (Raw{REG_SZ, ""s + '\0'}));

  EXPECT_EQ(r.ValueEx(kHive, Root(), "V", 0, Variant("d")), Variant(""));
  EXPECT_EQ(r.ClassKey(), kHive);
  EXPECT_EQ(r.SectionKey(), Root());
  EXPECT_EQ(r.ValueKey(), "V");
  EXPECT_EQ(r.ValueType(), kREG_SZ);
  EXPECT_EQ(r.Default(), Variant("d"));
}

TEST_F(CRegistryValues, RefusedWritesRaiseTheirNumbersAndWriteNoValue) {
  cRegistry r = Selecting("Size", 0);
  try {
    r.Value(Variant(std::int16_t{5}));
    FAIL() << "type 0 cannot be written";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), regerr::SetValue);
    EXPECT_EQ(e.Source(), ClassErrorSource());
    EXPECT_EQ(e.Description(),
              "Failed to set registry value Key: '-2147483647',Section: 'Software\\VidazozTest',Key: 'Size' to "
              "value: '5'");
  }
  EXPECT_EQ(r.KeyExists(), Boolean::True) << "the key is created before the type is looked at";

  r.ValueType(kREG_DWORD);
  for (const Variant& v : {Variant("5"), Variant(5.0), Variant()}) {
    try {
      r.Value(v);
      FAIL() << "a number write needs an integer";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), errnum::TypeMismatch);
    }
  }
  r.ValueType(kREG_BINARY);
  try {
    r.Value(Variant("bytes?"));
    FAIL() << "a byte write needs an array of bytes";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), regerr::Registry);
  }
  r.ValueType(kREG_SZ);
  EXPECT_THROW(r.Value(Variant(ByteArray{{1}, 0})), Error) << "an array of bytes has no text form";
  EXPECT_EQ(GetRaw(Root(), "Size").type, -1);
}

TEST_F(CRegistryValues, WritesToAHiveThatIsNoRootRaise26001) {
  cRegistry r = Selecting("V", kREG_SZ);
  r.ClassKey(12345);
  try {
    r.Value(Variant("v"));
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), regerr::Registry);
    EXPECT_EQ(e.Description(),
              "Failed to set registry value Key: '12345',Section: 'Software\\VidazozTest',Key: 'V' to value: 'v'");
  }
}

#ifndef _WIN32
TEST_F(CRegistryValues, TheLocalMachinesOwnNamesConnectToThisRegistry) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  for (const std::string& name : {std::string(host), "localhost"s, "\\\\LOCALHOST"s}) {
    cRegistry r = Selecting("Remote", kREG_SZ);
    r.Machine(name);
    r.Value(Variant(name));
    EXPECT_EQ(GetRaw(Root(), "Remote").data, name + '\0');
    EXPECT_EQ(r.Value(), Variant(name));
  }
}
#endif

}  // namespace
}  // namespace vidazoz
