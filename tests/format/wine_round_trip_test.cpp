// Round trips against files written by the real Wine server, and Wine reading what we write.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "reg_file.h"
#include "wine_prefix.h"

namespace vidazoz::wineprefix {
namespace {

using testing::WinePrefix;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void ExpectByteExactRoundTrip(const std::filesystem::path& file) {
  SCOPED_TRACE(file.string());
  const std::string text = ReadFile(file);
  ASSERT_GT(text.size(), 100u);
  RegBranch branch;
  const ParseResult r = ParseRegFile(text, branch);
  EXPECT_TRUE(r.valid);
  EXPECT_TRUE(r.complete) << (r.problems.empty() ? "" : r.problems.front());
  EXPECT_EQ(r.arch, "win64");
  const std::string written = WriteRegFile(branch);
  EXPECT_EQ(written.size(), text.size());
  EXPECT_TRUE(written == text) << "first difference at byte "
                               << std::mismatch(written.begin(), written.end(), text.begin(), text.end()).first -
                                      written.begin();
  RegBranch loaded;
  std::error_code error;
  EXPECT_EQ(LoadRegFile(file, loaded, error).complete, true);
  EXPECT_TRUE(WriteRegFile(loaded) == text);
}

std::vector<std::pair<std::string, std::string>> Utf8Environment(const WinePrefix& prefix) {
  auto env = prefix.Environment();
  env.emplace_back("LANG", "C.UTF-8");  // Wine reads the Unicode arguments as UTF-8
  return env;
}

std::string ShellQuoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `wine reg` commands under one persistent server (a fresh server per command takes
// seconds), then stops it with -k, which saves the registry. Wine's services outlive the
// commands, so their output goes to a file rather than to a pipe we would wait on.
void RegCommands(const WinePrefix& prefix, const std::vector<std::vector<std::string>>& commands) {
  const auto log = prefix.Path().parent_path() / "reg.log";
  std::string script = "wineserver -p; status=0";
  for (const auto& args : commands) {
    script += "; wine reg";
    for (const auto& a : args) script += " " + ShellQuoted(a);
    script += " || status=1";
  }
  script += "; wineserver -k; wineserver -w; exit $status";
  const auto r = testing::RunCommand({"sh", "-c", "(" + script + ") >" + ShellQuoted(log.string()) + " 2>&1"},
                                     Utf8Environment(prefix));
  std::ifstream in(log);
  std::stringstream output;
  output << in.rdbuf();
  EXPECT_EQ(r.exitCode, 0) << output.str();
}

class WineFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { fresh_ = WinePrefix::Booted().release(); }
  static void TearDownTestSuite() {
    delete fresh_;
    fresh_ = nullptr;
  }
  static WinePrefix* fresh_;
};
WinePrefix* WineFiles::fresh_ = nullptr;

TEST_F(WineFiles, FreshPrefixRoundTripsByteForByte) {
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) ExpectByteExactRoundTrip(fresh_->File(name));
}

TEST_F(WineFiles, ValuesAddedWithRegRoundTripAndReadBack) {
  const auto prefix = WinePrefix::Booted();
  const std::string key = "HKCU\\Software\\Vz Odd [a]b\\c";
  std::string bytes300;
  for (int i = 0; i < 300; ++i) bytes300 += "0123456789abcdef"[i % 256 >> 4], bytes300 += "0123456789abcdef"[i % 16];
  RegCommands(*prefix, {
      {"add", key, "/ve", "/t", "REG_SZ", "/d", "default", "/f"},
      {"add", key, "/v", "quote\"d", "/t", "REG_SZ", "/d", "x\"y\\z", "/f"},
      {"add", key, "/v", "exp", "/t", "REG_EXPAND_SZ", "/d", "%PATH%;C:\\x", "/f"},
      {"add", key, "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "one\\0two", "/f"},
      {"add", key, "/v", "dw", "/t", "REG_DWORD", "/d", "305419896", "/f"},
      {"add", key, "/v", "qw", "/t", "REG_QWORD", "/d", "0x123456789abcdef0", "/f"},
      {"add", key, "/v", "none", "/t", "REG_NONE", "/d", "abc", "/f"},
      {"add", key, "/v", "bin", "/t", "REG_BINARY", "/d", bytes300, "/f"},
      {"add", key, "/v", std::string(60, 'n'), "/t", "REG_BINARY", "/d", std::string(40, 'e'), "/f"},
      {"add", key, "/v", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80", "/t", "REG_SZ", "/d", "\xc3\xa9" "1 \xf0\x9f\x98\x80", "/f"},
      {"add", key, "/v", "tab\tctl", "/t", "REG_SZ", "/d", "a\tb", "/f"},
      {"add", "HKLM\\Software\\Vz \xc3\x84\\Sub]x", "/v", "be", "/t", "REG_DWORD_BIG_ENDIAN", "/d", "5", "/f"},
      {"add", "HKCU\\Software\\Vz Empty", "/f"},
  });
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) ExpectByteExactRoundTrip(prefix->File(name));

  RegBranch user;
  ASSERT_TRUE(ParseRegFile(ReadFile(prefix->File("user.reg")), user).complete);
  const RegKey* k = user.root.FindSubkey(u"software");
  for (const char16_t* part : {u"vz odd [A]B", u"C"}) k = k ? k->FindSubkey(part) : nullptr;
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->ValueCount(), 11u);
  const RegValue* uni = k->FindValue(u"CAF\u00c9 \u65e5 \U0001F600");
  ASSERT_NE(uni, nullptr);
  EXPECT_EQ(uni->data, (std::vector<std::uint8_t>{0xe9, 0, '1', 0, ' ', 0, 0x3d, 0xd8, 0x00, 0xde, 0, 0}));
  EXPECT_EQ(k->FindValue(u"qw")->data, (std::vector<std::uint8_t>{0xf0, 0xde, 0xbc, 0x9a, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(k->FindValue(u"qw")->type, 11u);
  EXPECT_EQ(k->FindValue(u"bin")->data.size(), 300u);
  EXPECT_EQ(k->FindValue(u"multi")->data.size(), 18u);
  EXPECT_EQ(k->FindValue(u"dw")->data, (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_NE(user.root.FindSubkey(u"Software")->FindSubkey(u"vz empty"), nullptr);
}

TEST_F(WineFiles, WineLoadsWhatWeWriteAndSavesTheSameBytes) {
  const auto prefix = WinePrefix::Booted();
  RegBranch user;
  ASSERT_TRUE(ParseRegFile(ReadFile(prefix->File("user.reg")), user).complete);
  RegKey& key = user.root.AddSubkey(u"Software").AddSubkey(u"Ours [x]").AddSubkey(u"Deep\u00e9");
  key.SetModified(user.root.FindSubkey(u"Software")->Modified());
  key.SetValue(u"text", 1, {'h', 0, 'i', 0, '"', 0, 0xe9, 0, 0, 0});
  key.SetValue(u"num", 4, {42, 0, 0, 0});
  key.SetValue(u"blob", 3, std::vector<std::uint8_t>(100, 0x5a));
  key.SetValue(u"odd \"\\\x01" u"7\u00e9f", 7, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
  const std::string ours = WriteRegFile(user);
  std::ofstream(prefix->File("user.reg"), std::ios::binary | std::ios::trunc) << ours;

  const auto query = testing::RunCommand({"wine", "reg", "query", "HKCU\\Software\\Ours [x]\\Deep\xc3\xa9"},
                                         Utf8Environment(*prefix));
  testing::RunCommand({"wineserver", "-w"}, prefix->Environment());
  EXPECT_EQ(query.exitCode, 0) << query.output;
  EXPECT_NE(query.output.find("num    REG_DWORD    0x2a"), std::string::npos) << query.output;
  EXPECT_NE(query.output.find("blob    REG_BINARY    5A5A"), std::string::npos) << query.output;
  // Wine saved the branch again when its server exited. It touches a few keys of its own on
  // every start, but our block must come back byte for byte.
  const auto block = [](const std::string& file) {
    const std::string head = "\n[Software\\\\Ours \\[x\\]\\\\Deep\\xe9] ";
    const std::size_t start = file.find(head);
    return start == std::string::npos ? std::string("<missing>") : file.substr(start, file.find("\n\n", start + 1) - start);
  };
  const std::string saved = ReadFile(prefix->File("user.reg"));
  EXPECT_NE(saved.find("\n\"blob\"=hex:5a,5a,"), std::string::npos);
  EXPECT_EQ(block(saved), block(ours));
  RegBranch reread;
  EXPECT_TRUE(ParseRegFile(saved, reread).complete);
}

TEST_F(WineFiles, DamagedCopiesNeverCrashTheParser) {
  const std::string text = ReadFile(fresh_->File("system.reg"));
  std::mt19937 rng(2024);
  const char tokens[] = {'\n', '\\', '"', '[', ']', '=', ',', '#', '@', '\r', '\0', 'x', '0', '\x80', '\xff', ' '};
  for (int round = 0; round < 60; ++round) {
    std::string damaged = text;
    if (round % 3 == 0) {
      damaged.resize(rng() % text.size());  // truncated anywhere, even inside a hex run
    } else {
      for (int i = 0; i < 200; ++i) damaged[rng() % damaged.size()] = tokens[rng() % sizeof tokens];
    }
    RegBranch branch;
    const ParseResult r = ParseRegFile(damaged, branch);
    if (round % 3 == 0 && damaged.size() > 40) {
      EXPECT_TRUE(r.valid);
    }
    if (!r.valid) continue;
    // Whatever was read must write out and read back to the same tree.
    const std::string written = WriteRegFile(branch);
    RegBranch again;
    const ParseResult second = ParseRegFile(written, again);
    EXPECT_TRUE(second.complete) << "round " << round << ": " << (second.problems.empty() ? "" : second.problems[0]);
    EXPECT_TRUE(WriteRegFile(again) == written) << "round " << round;
  }
}

}  // namespace
}  // namespace vidazoz::wineprefix
