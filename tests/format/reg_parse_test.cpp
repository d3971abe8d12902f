#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "ansi.h"

#include "reg_file.h"
#include "temp_dir.h"

namespace vidazoz::wineprefix {
namespace {

constexpr std::uint64_t kTicks1601To1970 = 116444736000000000ull;
constexpr std::string_view kHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";

struct Parsed {
  RegBranch branch;
  ParseResult result;
};

std::unique_ptr<Parsed> Parse(std::string_view body, std::string_view head = kHead) {
  auto p = std::make_unique<Parsed>();
  p->result = ParseRegFile(std::string(head) + std::string(body), p->branch);
  return p;
}

const RegKey* Find(const RegBranch& branch, std::initializer_list<std::u16string_view> path) {
  const RegKey* key = &branch.root;
  for (auto name : path)
    if (!(key = key ? key->FindSubkey(name) : nullptr)) return nullptr;
  return key;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) { return {b.begin(), b.end()}; }

const RegValue& Only(const Parsed& p, std::initializer_list<std::u16string_view> path = {u"K"}) {
  const RegKey* key = Find(p.branch, path);
  static const RegValue none{u"<no such key or not one value>", 0xdead, {}};
  return key && key->ValueCount() == 1 ? key->Value(0) : none;
}

TEST(ParseHeader, LineOneAndArchDecideWhetherWineLoadsTheFile) {
  EXPECT_TRUE(Parse("", "WINE REGISTRY Version 2\r\n#arch=win32\r\n")->result.complete);
  EXPECT_EQ(Parse("", "WINE REGISTRY Version 2\n#arch=win32\n")->result.arch, "win32");
  EXPECT_EQ(Parse("[K]\n", "WINE REGISTRY Version 2\n")->result.arch, "");
  for (std::string_view bad : {"WINE REGISTRY Version 1\n", "WINE REGISTRY Version 2 \n", "REGEDIT4\n",
                               " WINE REGISTRY Version 2\n", "", "WINE REGISTRY Version 2\n#arch=win16\n",
                               "WINE REGISTRY Version 2\n#arch=win64 \n",
                               "WINE REGISTRY Version 2\n#arch=win64\n#arch=win32\n"}) {
    const auto p = Parse("[K]\n\"v\"=dword:1\n", bad);
    EXPECT_FALSE(p->result.valid) << bad;
    EXPECT_FALSE(p->result.complete) << bad;
    EXPECT_FALSE(p->result.problems.empty()) << bad;
    EXPECT_EQ(p->branch.root.SubkeyCount(), 0u) << bad;  // nothing is loaded
  }
}

TEST(ParseHeader, KeepsTheRootCommentAndGlobalOptions) {
  const auto p = Parse("#unknown=1\n[K]\n#arch=bogus\n");  // an option inside a key is not global
  EXPECT_TRUE(p->result.valid);
  EXPECT_EQ(p->branch.rootComment, ";; All keys relative to REGISTRY\\\\Machine");
  EXPECT_EQ(p->branch.options, (std::vector<std::string>{"#arch=win64", "#unknown=1"}));
}

TEST(ParseKeys, PathsEscapesAndImpliedParents) {
  const auto p = Parse(
      "[Software\\\\A\\[1\\]\\\\caf\\xe9] 1\n"
      "  [Software\\\\\\\\Runs\\\\\\\\Of\\\\] 2\n"
      "[software\\\\a\\[1\\]\\\\Second]\n");
  EXPECT_TRUE(p->result.complete) << p->result.problems.front();
  const RegKey* a = Find(p->branch, {u"SOFTWARE", u"a[1]"});
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Name(), u"A[1]");  // first spelling kept
  EXPECT_EQ(p->branch.root.Subkey(0).Name(), u"Software");
  EXPECT_NE(Find(p->branch, {u"Software", u"A[1]", u"CAF\u00c9"}), nullptr);
  EXPECT_NE(Find(p->branch, {u"Software", u"Runs", u"Of"}), nullptr);
  EXPECT_NE(Find(p->branch, {u"Software", u"A[1]", u"Second"}), nullptr);
  EXPECT_EQ(a->SubkeyCount(), 2u);
}

TEST(ParseKeys, BlocksOfTheSameKeyMerge) {
  const auto p = Parse(
      "[K] 1\n\"a\"=dword:1\n\"Dup\"=\"first\"\n"
      "[Other]\n"
      "[k] 2\n#class=\"c\"\n\"b\"=dword:2\n\"DUP\"=dword:3\n");
  const RegKey* k = Find(p->branch, {u"K"});
  ASSERT_NE(k, nullptr);
  ASSERT_EQ(k->ValueCount(), 3u);
  EXPECT_EQ(k->Value(2).name, u"Dup");  // first spelling, last data
  EXPECT_EQ(k->Value(2).type, 4u);
  EXPECT_EQ(k->Value(2).data, Bytes({3, 0, 0, 0}));
  ASSERT_TRUE(k->HasClass());
  EXPECT_EQ(*k->ClassName(), u"c");
  EXPECT_EQ(k->Modified(), kTicks1601To1970 + 10'000'000);  // the first block's time
}

TEST(ParseKeys, AnyOrderGivesWhatInsertingOneByOneGives) {
  // Keys and values out of order, repeated in other cases: the parser's bulk path for lists that
  // arrive unsorted must build what the tree's own sorted inserts build.
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::string text(kHead);
    RegBranch model;
    const int spread = round % 2 ? 8 : 60;  // few names: many repeats; many names: few
    for (int i = 0; i < 300; ++i) {
      const int back = static_cast<int>(300 - i);  // half the rounds count down
      const int k = round % 4 < 2 ? static_cast<int>(rng() % spread) : back % spread;
      const std::string key = (rng() % 2 ? "K" : "k") + std::to_string(k);
      const std::string value = (rng() % 2 ? "V" : "v") + std::to_string(rng() % spread);
      char dword[16];
      std::snprintf(dword, sizeof dword, "%x", i);
      text += "[" + key + "] 1\n\"" + value + "\"=dword:" + dword + "\n";
      RegKey& inModel = model.root.AddSubkey(ansi::ToUtf16(key));
      inModel.SetValue(ansi::ToUtf16(value), 4, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0, 0});
      inModel.SetModified(kTicks1601To1970 + 10'000'000);
    }
    RegBranch parsed;
    ASSERT_TRUE(ParseRegFile(text, parsed).complete);
    model.rootComment = parsed.rootComment;
    model.options = parsed.options;
    EXPECT_EQ(WriteRegFile(parsed), WriteRegFile(model)) << "round " << round;
  }
}

TEST(ParseKeys, TimePrecedence) {
  const auto p = Parse(
      "[Hash] 100\n#time=1d00000000000ab\n"     // #time beats the key line's seconds
      "[Secs] 100\n"
      "[Later\\\\Child] 200\n#time=1234\n"       // an implied parent takes its first child's time
      "[Later] 300\n#time=5678\n"                // ... and keeps it: the first time given wins
      "[NoTime]\n"
      "[Zero] 7\n#time=0\n");                     // a zero #time sets nothing
  const auto time = [&](std::initializer_list<std::u16string_view> path) { return Find(p->branch, path)->Modified(); };
  EXPECT_EQ(time({u"Hash"}), 0x1d00000000000abull);
  EXPECT_EQ(time({u"Secs"}), kTicks1601To1970 + 100 * 10'000'000ull);
  EXPECT_EQ(time({u"Later", u"Child"}), 0x1234u);
  EXPECT_EQ(time({u"Later"}), 0x1234u);
  EXPECT_GT(time({u"NoTime"}), kTicks1601To1970 + 1'700'000'000ull * 10'000'000);  // the load time
  EXPECT_EQ(time({u"Zero"}), kTicks1601To1970 + 7 * 10'000'000ull);
}

TEST(ParseKeys, OptionsClassAndLink) {
  const auto p = Parse("[L]\n#link\n\"SymbolicLinkValue\"=hex(6):5c,00\n[C]\n#class=\"a\\\"b\\x4e00\"\n");
  EXPECT_TRUE(p->result.complete);
  EXPECT_TRUE(Find(p->branch, {u"L"})->IsLink());
  EXPECT_FALSE(Find(p->branch, {u"C"})->IsLink());
  EXPECT_EQ(*Find(p->branch, {u"C"})->ClassName(), u"a\"b\u4e00");
  // Wine ignores options it does not know; rewriting would drop them, so the file is not complete.
  const auto unknown = Parse("[K]\n#volatile\n\"v\"=dword:1\n");
  EXPECT_FALSE(unknown->result.complete);
  EXPECT_TRUE(unknown->result.valid);
  EXPECT_EQ(Only(*unknown).data, Bytes({1, 0, 0, 0}));
}

TEST(ParseValues, StringForms) {
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=\"ab\"\n")).data, Bytes({'a', 0, 'b', 0, 0, 0}));
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=\"\"\n")).data, Bytes({0, 0}));  // a NUL is always appended
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=str:\"x\"\n")).type, 1u);
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=str(2):\"x\"\n")).type, 2u);
  const auto multi = Parse("[K]\n\"n\"=str(7):\"a\\0b\\0\"\n");
  EXPECT_EQ(Only(*multi).type, 7u);
  EXPECT_EQ(Only(*multi).data, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(Only(*Parse("[K]\n  @  =  \"d\"\n")).name, u"");
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=\"\xe2\x82\xac\"\n")).data, Bytes({0xac, 0x20, 0, 0}));
}

TEST(ParseValues, DwordReadsLikeStrtoul) {
  struct Case {
    const char* text;
    std::vector<std::uint8_t> data;
    bool complete;
  } cases[] = {
      {"dword:12345678", Bytes({0x78, 0x56, 0x34, 0x12}), true},
      {"dword:1", Bytes({1, 0, 0, 0}), true},
      {"dword:ABCDEF01", Bytes({1, 0xef, 0xcd, 0xab}), true},
      {"dword:zz", Bytes({0, 0, 0, 0}), false},
      {"dword:123456789", Bytes({0x89, 0x67, 0x45, 0x23}), false},  // the low 32 bits
      {"dword:0x10", Bytes({0x10, 0, 0, 0}), false},
      {"dword:-1", Bytes({0xff, 0xff, 0xff, 0xff}), false},
      {"dword:ffffffffffffffffff", Bytes({0xff, 0xff, 0xff, 0xff}), false},  // saturates
      {"dword:", Bytes({0, 0, 0, 0}), false},
  };
  for (const auto& c : cases) {
    const auto p = Parse(std::string("[K]\n\"n\"=") + c.text + "\n");
    EXPECT_EQ(Only(*p).type, 4u) << c.text;
    EXPECT_EQ(Only(*p).data, c.data) << c.text;
    EXPECT_EQ(p->result.complete, c.complete) << c.text;
  }
}

TEST(ParseValues, HexFormsAndContinuations) {
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex:01,AB,ff\n")).data, Bytes({1, 0xab, 0xff}));
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex:\n")).data, Bytes({}));
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex: 1 , 2,,3\n")).data, Bytes({}));  // data must start at once
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex:1 , 2,,3\n")).data, Bytes({1, 2, 3}));
  const auto wrapped = Parse("[K]\n\"n\"=hex(7):01,02,\\ trailing text is ignored\r\n   03,\\\n\n[Next]\n");
  EXPECT_EQ(Only(*wrapped).data, Bytes({1, 2, 3}));
  EXPECT_EQ(Only(*wrapped).type, 7u);
  EXPECT_NE(Find(wrapped->branch, {u"Next"}), nullptr);
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex(12345):00\n")).type, 0x12345u);
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex(FFFFFFFF):00\n")).type, 0xffffffffu);
  // Wine keeps the low 32 bits of a wider type; a rewrite would change the file, so it is not complete.
  for (std::string_view wide : {"hex(100000003)", "hex(-3)", "hex(123456789abcdef0123)"}) {
    const auto p = Parse("[K]\n\"n\"=" + std::string(wide) + ":00\n");
    EXPECT_FALSE(p->result.complete) << wide;
    EXPECT_EQ(Only(*p).type, wide == "hex(100000003)" ? 3u : wide == "hex(-3)" ? 0xfffffffdu : 0xffffffffu) << wide;
  }
  EXPECT_EQ(Only(*Parse("[K]\n\"n\"=hex():00\n")).type, 0u);  // no digits reads as type 0
}

TEST(ParseValues, MalformedValuesBecomeEmptyNoneAndMarkTheFile) {
  for (std::string_view bad : {"\"n\"=str(1):\"x\"", "\"n\"=\"unterminated", "\"n\"=hex:1ff",
                               "\"n\"=hex:01,02 x", "\"n\"=hex(3:01", "\"n\"=qword:1", "\"n\"=hex:01,\\"}) {
    // The earlier good data for the same name is replaced too, as in Wine.
    const auto p = Parse("[K]\n\"n\"=dword:7\n" + std::string(bad) + "\n");
    EXPECT_TRUE(p->result.valid) << bad;
    EXPECT_FALSE(p->result.complete) << bad;
    ASSERT_EQ(p->result.problems.size(), 1u) << bad;
    EXPECT_EQ(p->result.problems[0], "line 7: malformed value") << bad;
    EXPECT_EQ(Only(*p).type, 0u) << bad;
    EXPECT_TRUE(Only(*p).data.empty()) << bad;
  }
}

TEST(ParseLines, WhatIsSkippedAndWhatIsReported) {
  const auto p = Parse(
      "\"orphan\"=dword:1\n"       // value before any key
      "; comment\n\n   \t\n"
      "[K]\r\n"
      "\"noequals\" \"x\"\n"       // skipped
      "garbage\n"                  // unrecognised
      "[\\\\Lead]\n"               // a path may not start with a backslash
      "\"lost\"=dword:1\n"         // ... so this value has no key
      "[Bad\n"                     // no closing bracket
      "[Good] 5 extra\n"           // the seconds are read; the rest is reported
      "\"v\"=\"ok\" junk\n");      // the data is read; the rest is reported
  EXPECT_TRUE(p->result.valid);
  EXPECT_FALSE(p->result.complete);
  EXPECT_EQ(p->result.problems,
            (std::vector<std::string>{"line 5: value without a key", "line 10: malformed value name",
                                      "line 11: unrecognized input", "line 12: key path starts with a backslash",
                                      "line 13: value without a key", "line 14: malformed key",
                                      "line 15: unexpected text after key", "line 16: unexpected text after value"}));
  EXPECT_EQ(Find(p->branch, {u"K"})->ValueCount(), 0u);
  EXPECT_EQ(Find(p->branch, {u"Good"})->Modified(), kTicks1601To1970 + 5 * 10'000'000ull);
  EXPECT_EQ(Only(*p, {u"Good"}).data, Bytes({'o', 0, 'k', 0, 0, 0}));
  EXPECT_EQ(p->branch.root.SubkeyCount(), 2u);
}

TEST(ParseLines, NulBytesAndLongProblemListsAreBounded) {
  const auto nul = Parse(std::string("[K]\n\"a\"=dword:1\0zz\n\"b\"=dword:2\n", 31));
  EXPECT_FALSE(nul->result.complete);
  EXPECT_EQ(Find(nul->branch, {u"K"})->ValueCount(), 2u);

  std::string garbage;
  for (int i = 0; i < 10000; ++i) garbage += "?\n";
  const auto many = Parse(garbage);
  EXPECT_EQ(many->result.problems.size(), 101u);
  EXPECT_EQ(many->result.problems.back(), "... 9900 more");
}

TEST(ParseFile, ResetsTheBranchAndReadsFilesInChunks) {
  RegBranch branch;
  branch.root.AddSubkey(u"stale");
  branch.options = {"#old"};
  EXPECT_TRUE(ParseRegFile(std::string(kHead) + "[New]\n", branch).complete);
  EXPECT_EQ(branch.root.FindSubkey(u"stale"), nullptr);
  EXPECT_EQ(branch.options, std::vector<std::string>{"#arch=win64"});

  // Larger than one read, with a long line across the chunk boundary.
  std::string text(kHead);
  for (int i = 0; i < 30000; ++i) text += "[Key" + std::to_string(i) + "] 1\n\"v\"=\"" + std::string(40, 'x') + "\"\n\n";
  text += "[Long] 1\n\"n\"=hex:" + std::string(3'000'000, '1') + "\n";  // one huge byte: malformed
  text += "[Last] 1\n\"v\"=dword:5";  // no final newline
  testing::TempDir dir;
  const auto path = dir.Path() / "big.reg";
  std::ofstream(path, std::ios::binary) << text;
  RegBranch fromFile, fromText;
  std::error_code error;
  const ParseResult loaded = LoadRegFile(path, fromFile, error);
  const ParseResult parsed = ParseRegFile(text, fromText);
  EXPECT_FALSE(error);
  EXPECT_EQ(loaded.problems, parsed.problems);
  EXPECT_EQ(loaded.problems.size(), 1u);
  EXPECT_TRUE(WriteRegFile(fromFile) == WriteRegFile(fromText));
  EXPECT_EQ(fromFile.root.SubkeyCount(), 30002u);
  ASSERT_NE(fromFile.root.FindSubkey(u"Last"), nullptr);
  EXPECT_EQ(fromFile.root.FindSubkey(u"Last")->Value(0).data, Bytes({5, 0, 0, 0}));

  const ParseResult missing = LoadRegFile(dir.Path() / "none.reg", fromFile, error);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(missing.valid);
  EXPECT_EQ(fromFile.root.SubkeyCount(), 0u);
}

TEST(ParseRoundTrip, CraftedFileIsRewrittenByteForByte) {
  const std::string text = std::string(kHead) +
                           "\n[] 1796705129\n#time=1dd86cef3179d1e\n@=\"root\"\n"
                           "\n[A\\\\B\\[x\\]] 1796705129\n#time=1dd86cef3179d1e\n#class=\"\\xe9\\\"\"\n"
                           "@=\"default\"\n\"\\\\t\\t\\0017\"=str(2):\"%a%\\\\\"\n"
                           "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
                           "  17,18\n"
                           "\"m\"=str(7):\"x\\0\\0\"\n\"q\"=hex(b):01,00,00,00,00,00,00,00\n"
                           "\"q\\0\"=dword:00000002\n"  // a name that ends in NUL stays apart from its twin
                           "\n[A\\\\Link] 1796705129\n#time=1dd86cef3179d1e\n#link\n"
                           "\"SymbolicLinkValue\"=hex(6):5c,00\n"
                           "\n[Z] 0\n#time=19db1ded53e8000\n"
                           "\n[Z\\0] 0\n#time=19db1ded53e8000\n#class=\"c\\0\"\n";
  RegBranch branch;
  const ParseResult r = ParseRegFile(text, branch);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(WriteRegFile(branch), text);
}

}  // namespace
}  // namespace vidazoz::wineprefix
