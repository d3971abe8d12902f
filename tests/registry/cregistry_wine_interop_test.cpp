// What cRegistry writes, Wine reads, and the other way round: `wine reg` on a booted prefix of
// the test's own. Linux only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cRegistry.h"
#include "temp_dir.h"
#include "wine_prefix.h"
#include "wow64_process.h"

namespace vidazoz {
namespace {

using testing::ScopedEnv;
using testing::WinePrefix;
using namespace std::string_literals;

struct Listed {
  std::string type;
  std::string data;
  bool operator==(const Listed&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Listed& l) { return os << l.type << " [" << l.data << "]"; }

class WineInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = WinePrefix::Booted();
    home_ = std::make_unique<ScopedEnv>("HOME", prefix_->Path().parent_path().string());
    active_ = prefix_->Activate();
    cRegistry probe;
    probe.ClassKey(kHKEY_LOCAL_MACHINE);
    ASSERT_EQ(probe.KeyExists(), Boolean::True) << "HKEY_LOCAL_MACHINE itself always opens";
  }

  void Add(const std::vector<std::vector<std::string>>& values) {
    for (const auto& args : values) {
      std::vector<std::string> all{"add", "HKCU\\Software\\VidazozInterop"};
      all.insert(all.end(), args.begin(), args.end());
      all.push_back("/f");
      const auto r = prefix_->Reg(all);
      EXPECT_EQ(r.exitCode, 0) << r.output;
    }
  }

  // `wine reg query <key> /s [view]`: "<key path>|<value name>" -> type and data as reg prints them.
  std::map<std::string, Listed> Query(const std::string& key, const std::string& view = "") {
    std::vector<std::string> args{"query", key, "/s"};
    if (!view.empty()) args.push_back(view);
    const auto r = prefix_->Reg(args);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::map<std::string, Listed> values;
    std::istringstream lines(r.output);
    std::string current;
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.starts_with("HKEY_")) current = line;
      if (!line.starts_with("    ")) continue;
      line.erase(0, 4);
      const auto a = line.find("    ");
      const auto b = line.find("    ", a + 4);
      if (a == std::string::npos || b == std::string::npos) continue;
      values[current + "|" + line.substr(0, a)] = {line.substr(a + 4, b - a - 4), line.substr(b + 4)};
    }
    return values;
  }

  std::unique_ptr<WinePrefix> prefix_;

 private:
  std::unique_ptr<ScopedEnv> home_;
  std::unique_ptr<ScopedEnv> active_;
};

TEST_F(WineInterop, WineReadsEveryTypeThatCRegistryWrites) {
  cRegistry r;
  const auto write = [&](const std::string& name, std::int32_t type, const Variant& v) {
    r.ValueEx(kHKEY_CURRENT_USER, "Software\\VidazozInterop", name, type, Variant(), v);
  };
  write("", kREG_SZ, Variant("unnamed"));
  write("Text", kREG_SZ, Variant("plain text"));
  write("Expand", kREG_SZ, Variant("%SystemRoot%\\x"));
  write("Bytes", kREG_BINARY, Variant(ByteArray{{0x01, 0xAB, 0xFF}, 1}));
  write("Number", kREG_DWORD, Variant(std::int32_t{0x12345678}));
  write("Big", kREG_DWORD_BIG_ENDIAN, Variant(std::int16_t{-2}));

  std::map<std::string, Listed> listed;
  for (auto [where, l] : Query("HKCU\\Software\\VidazozInterop")) {
    for (auto& c : l.data) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    listed[where.substr(where.find('|') + 1)] = l;
  }
  EXPECT_EQ(listed, (std::map<std::string, Listed>{{"(Default)", {"REG_SZ", "UNNAMED"}},
                                                   {"Text", {"REG_SZ", "PLAIN TEXT"}},
                                                   {"Expand", {"REG_EXPAND_SZ", "%SYSTEMROOT%\\X"}},
                                                   {"Bytes", {"REG_BINARY", "01ABFF"}},
                                                   {"Number", {"REG_DWORD", "0X12345678"}},
                                                   {"Big", {"REG_DWORD", "0XFFFFFFFE"}}}));
}

TEST_F(WineInterop, CRegistryReadsEveryTypeThatWineWrites) {
  ScopedEnv place("VIDAZOZ_PLACE", "C:\\Tools");
  Add({{"/ve", "/d", "unnamed"},
       {"/v", "Text", "/t", "REG_SZ", "/d", "plain text"},
       {"/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%vidazoz_place%\\bin"},
       {"/v", "Bytes", "/t", "REG_BINARY", "/d", "01abff"},
       {"/v", "Number", "/t", "REG_DWORD", "/d", "0x12345678"},
       {"/v", "Big", "/t", "REG_DWORD_BIG_ENDIAN", "/d", "0x12345678"},
       {"/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b"},
       {"/v", "None", "/t", "REG_NONE", "/d", ""}});

  const std::vector<std::tuple<std::string, Variant, std::int32_t>> expected = {
      {"", Variant("unnamed"), kREG_SZ},
      {"Text", Variant("plain text"), kREG_SZ},
      {"Expand", Variant("C:\\Tools\\bin"), kREG_EXPAND_SZ},
      {"Bytes", Variant(ByteArray{{0x01, 0xAB, 0xFF}, 0}), kREG_BINARY},
      {"Number", Variant(std::int32_t{0x12345678}), kREG_DWORD},
      // reg stores the number's own bytes, least significant first; the read reverses them.
      {"Big", Variant(std::int32_t{0x78563412}), kREG_DWORD_BIG_ENDIAN},
      {"Multi", Variant("a\0b\0"s), kREG_MULTI_SZ},
      {"None", Variant(ByteArray{{0, 0}, 0}), 0},  // reg stores an empty REG_NONE as one UTF-16 NUL
  };
  cRegistry r;
  for (const auto& [name, value, type] : expected) {
    EXPECT_EQ(r.ValueEx(kHKEY_CURRENT_USER, "Software\\VidazozInterop", name, -1, Variant("missing")), value)
        << name;
    EXPECT_EQ(r.ValueType(), type) << name;
  }
}

TEST_F(WineInterop, WineSeesAnAssociationUnderBothClassRoots) {
  cRegistry r;
  r.CreateEXEAssociation(" C:\\Program Files\\Vidazoz\\viewer.exe ", "Vidazoz.Doc", "Vidazoz document", "vzd",
                         "&Open", Boolean::True, "", Boolean::False, "", Boolean::False, "", 1);
  const std::string command = "\"C:\\Program Files\\Vidazoz\\viewer.exe\" \"%1\"";
  for (const auto& [root, shown] : {std::pair{"HKCR\\"s, "HKEY_CLASSES_ROOT\\"s},
                                     std::pair{"HKLM\\Software\\Classes\\"s, "HKEY_LOCAL_MACHINE\\Software\\Classes\\"s}}) {
    EXPECT_EQ(Query(root + ".vzd")[shown + ".vzd|(Default)"], (Listed{"REG_SZ", "Vidazoz.Doc"})) << root;
    auto rows = Query(root + "Vidazoz.Doc");
    const std::string doc = shown + "Vidazoz.Doc";
    EXPECT_EQ(rows[doc + "|(Default)"], (Listed{"REG_SZ", "Vidazoz document"})) << root;
    EXPECT_EQ(rows[doc + "\\shell\\open|(Default)"], (Listed{"REG_SZ", "&Open"})) << root;
    EXPECT_EQ(rows[doc + "\\shell\\open\\command|(Default)"], (Listed{"REG_SZ", command})) << root;
    EXPECT_EQ(rows[doc + "\\shell\\print|(Default)"], (Listed{"REG_SZ", "&Print"})) << root;
    EXPECT_EQ(rows[doc + "\\shell\\print\\command|(Default)"],
              (Listed{"REG_SZ", "\"C:\\Program Files\\Vidazoz\\viewer.exe\" /p \"%1\""}))
        << root;
    EXPECT_EQ(rows[doc + "\\DefaultIcon|(Default)"], (Listed{"REG_SZ", "\"C:\\Program Files\\Vidazoz\\viewer.exe\",1"}))
        << root;
    EXPECT_EQ(rows.size(), 6u) << root;
  }
}

// Set as the Linux program sets it, cRegistry writes where the 32-bit release writes.
TEST_F(WineInterop, AProcessSetAs32BitWritesThe32BitView) {
  SetWow64Process(true);
  cRegistry r;
  r.ValueEx(kHKEY_LOCAL_MACHINE, "Software\\VidazozInterop", "Where", kREG_SZ, Variant(), Variant("32-bit"));
  r.CreateEXEAssociation("C:\\viewer.exe", "Vidazoz.Doc", "Vidazoz document", "vzd", "", Boolean::False, "",
                         Boolean::False, "", Boolean::False, "", 0);
  SetWow64Process(false);

  const Listed where{"REG_SZ", "32-bit"};
  EXPECT_EQ(Query("HKLM\\Software\\VidazozInterop", "/reg:32")["HKEY_LOCAL_MACHINE\\Software\\VidazozInterop|Where"],
            where);
  EXPECT_EQ(Query("HKLM\\Software\\Wow6432Node\\VidazozInterop", "/reg:64")
                ["HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\VidazozInterop|Where"],
            where);
  EXPECT_EQ(Query("HKCR\\.vzd", "/reg:32")["HKEY_CLASSES_ROOT\\.vzd|(Default)"], (Listed{"REG_SZ", "Vidazoz.Doc"}));
  EXPECT_EQ(Query("HKLM\\Software\\Classes\\Wow6432Node\\.vzd", "/reg:64")
                ["HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\.vzd|(Default)"],
            (Listed{"REG_SZ", "Vidazoz.Doc"}));
  for (const char* absent : {"HKLM\\Software\\VidazozInterop", "HKCR\\.vzd"})
    EXPECT_NE(prefix_->Reg({"query", absent, "/reg:64"}).exitCode, 0) << absent << ": nothing in the 64-bit view";
}

}  // namespace
}  // namespace vidazoz

#endif
