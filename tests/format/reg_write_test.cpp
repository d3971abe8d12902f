#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "reg_file.h"

namespace vidazoz::wineprefix {
namespace {

constexpr std::uint64_t kTime = 0x1dd86cef3179d1e;  // written as "1796705129" in the key line

std::vector<std::uint8_t> Utf16(std::u16string_view s) {
  std::vector<std::uint8_t> out;
  for (char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::vector<std::uint8_t> Sz(std::u16string_view s) {
  auto out = Utf16(s);
  out.insert(out.end(), {0, 0});
  return out;
}

std::string BlockOf(const RegKey& key, std::u16string_view keyName = u"K") {
  RegBranch branch;
  RegKey& k = branch.root.AddSubkey(keyName);
  for (std::size_t i = 0; i < key.ValueCount(); ++i) k.SetValue(key.Value(i).name, key.Value(i).type, key.Value(i).data);
  k.SetModified(kTime);
  const std::string text = WriteRegFile(branch);
  const std::string head = "WINE REGISTRY Version 2\n\n[";
  EXPECT_EQ(text.substr(0, head.size()), head);
  return text.substr(head.size() - 1);
}

// The value lines alone, for a key "K" holding just that value.
std::string ValueText(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  RegKey key(u"K");
  key.SetValue(name, type, std::move(data));
  const std::string block = BlockOf(key);
  const std::string head = "[K] 1796705129\n#time=1dd86cef3179d1e\n";
  EXPECT_EQ(block.substr(0, head.size()), head);
  return block.substr(head.size());
}

TEST(WriteValue, TypeChoiceFollowsTheData) {
  EXPECT_EQ(ValueText(u"n", 1, Sz(u"text")), "\"n\"=\"text\"\n");
  EXPECT_EQ(ValueText(u"n", 1, Sz(std::u16string(u"a\0b", 3))), "\"n\"=\"a\\0b\"\n");
  EXPECT_EQ(ValueText(u"n", 1, {0, 0}), "\"n\"=\"\"\n");
  EXPECT_EQ(ValueText(u"n", 2, Sz(u"%X%")), "\"n\"=str(2):\"%X%\"\n");
  EXPECT_EQ(ValueText(u"n", 7, Sz(std::u16string(u"one\0two\0", 8))), "\"n\"=str(7):\"one\\0two\\0\"\n");
  EXPECT_EQ(ValueText(u"n", 7, {0, 0, 0, 0}), "\"n\"=str(7):\"\\0\"\n");
  EXPECT_EQ(ValueText(u"n", 4, {0x78, 0x56, 0x34, 0x12}), "\"n\"=dword:12345678\n");
  EXPECT_EQ(ValueText(u"", 4, {0xab, 0, 0, 0}), "@=dword:000000ab\n");
  // Everything else is hex, with the type when it is not REG_BINARY.
  EXPECT_EQ(ValueText(u"n", 1, {}), "\"n\"=hex(1):\n");
  EXPECT_EQ(ValueText(u"n", 1, Utf16(u"ab")), "\"n\"=hex(1):61,00,62,00\n");
  EXPECT_EQ(ValueText(u"n", 1, {0x61, 0, 0x62}), "\"n\"=hex(1):61,00,62\n");
  EXPECT_EQ(ValueText(u"n", 2, {0, 0, 0}), "\"n\"=hex(2):00,00,00\n");
  EXPECT_EQ(ValueText(u"n", 4, {0x78, 0x56}), "\"n\"=hex(4):78,56\n");
  EXPECT_EQ(ValueText(u"n", 5, {}), "\"n\"=hex(5):\n");
  EXPECT_EQ(ValueText(u"n", 11, {1, 2, 3, 4, 5, 6, 7, 0xff}), "\"n\"=hex(b):01,02,03,04,05,06,07,ff\n");
  EXPECT_EQ(ValueText(u"n", 0, {}), "\"n\"=hex(0):\n");
  EXPECT_EQ(ValueText(u"n", 3, {}), "\"n\"=hex:\n");
  EXPECT_EQ(ValueText(u"n", 0x12345, {0xAB}), "\"n\"=hex(12345):ab\n");
  EXPECT_EQ(ValueText(u"n", 0xffffffff, {}), "\"n\"=hex(ffffffff):\n");
}

TEST(WriteValue, NamesAndDataAreEscaped) {
  EXPECT_EQ(ValueText(u"q\"\\\u00e9", 1, Sz(u"\"\t\u00e9a")), "\"q\\\"\\\\\\xe9\"=\"\\\"\\t\\x00e9a\"\n");
}

std::string HexLines(std::size_t nameLength, std::size_t bytes) {
  return ValueText(std::u16string(nameLength, u'n'), 3, std::vector<std::uint8_t>(bytes, 0xab));
}

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(WriteValue, HexWrapsPastColumn76) {
  // "n"=hex: counts 8; each byte with its comma adds 3, so the 23rd comma reaches 77 and breaks.
  const std::string lines = HexLines(1, 60);
  EXPECT_EQ(FirstLine(lines), "\"n\"=hex:" + Repeat("ab,", 23) + "\\");
  // Continuation lines: two spaces and 25 bytes, 78 characters with the backslash.
  const std::string rest = lines.substr(lines.find('\n') + 1);
  EXPECT_EQ(FirstLine(rest), "  " + Repeat("ab,", 25) + "\\");
  EXPECT_EQ(rest.substr(rest.find('\n') + 1), "  " + Repeat("ab,", 11) + "ab\n");  // no comma after the last
}

TEST(WriteValue, WrapBoundaryDependsOnTheEscapedNameLength) {
  // A 3-character name reaches exactly 76 after 22 bytes: no break yet, so 23 fit (80 columns).
  EXPECT_EQ(FirstLine(HexLines(3, 30)), "\"nnn\"=hex:" + Repeat("ab,", 23) + "\\");
  // A 4-character name reaches 77 after 22 bytes: the break comes there.
  EXPECT_EQ(FirstLine(HexLines(4, 30)), "\"nnnn\"=hex:" + Repeat("ab,", 22) + "\\");
  // The name counts as written: two quotes escape to four characters.
  EXPECT_EQ(FirstLine(ValueText(u"\"\"", 3, std::vector<std::uint8_t>(30, 0xab))),
            "\"\\\"\\\"\"=hex:" + Repeat("ab,", 22) + "\\");
  // The last byte has no comma, so it never breaks the line.
  EXPECT_EQ(HexLines(4, 22), "\"nnnn\"=hex:" + Repeat("ab,", 21) + "ab\n");
  EXPECT_EQ(HexLines(4, 23), "\"nnnn\"=hex:" + Repeat("ab,", 22) + "\\\n  ab\n");
  // A name long enough to start past the column wraps after every byte.
  const std::string longName = HexLines(90, 3);
  EXPECT_EQ(longName.substr(longName.find('=')), "=hex:ab,\\\n  ab,ab\n");
  // Typed hex counts its "hex(N):" too.
  EXPECT_EQ(FirstLine(ValueText(u"n", 0x12345, std::vector<std::uint8_t>(30, 0xab))),
            "\"n\"=hex(12345):" + Repeat("ab,", 21) + "\\");
}

TEST(WriteFile, HeaderOptionsAndWhichKeysAreWritten) {
  RegBranch branch;
  branch.rootComment = ";; All keys relative to REGISTRY\\\\Machine";
  branch.options = {"#arch=win64"};
  RegKey& a = branch.root.AddSubkey(u"A");                 // only sub-keys: implied
  RegKey& leaf = a.AddSubkey(u"Leaf");                     // empty leaf: written
  RegKey& cls = a.AddSubkey(u"Cls");                       // class: written
  cls.AddSubkey(u"x").SetVolatile(true);
  RegKey& link = branch.root.AddSubkey(u"Link");           // link: written
  RegKey& vol = branch.root.AddSubkey(u"Vol");              // volatile: skipped with its subtree
  vol.AddSubkey(u"Child").SetValue(u"v", 4, {1, 0, 0, 0});
  vol.SetVolatile(true);
  RegKey& odd = branch.root.AddSubkey(u"b[1]\"");
  odd.SetValue(u"v", 3, {1});
  for (RegKey* k : {&a, &leaf, &cls, &link, &vol, &odd}) k->SetModified(kTime);
  cls.AddSubkey(u"x").SetModified(kTime);
  cls.SetClassName(u"my \"class\"");
  link.SetLink(true);
  link.SetValue(u"SymbolicLinkValue", 6, Utf16(u"\\R"));
  EXPECT_EQ(WriteRegFile(branch),
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to REGISTRY\\\\Machine\n"
            "\n#arch=win64\n"
            "\n[A\\\\Cls] 1796705129\n#time=1dd86cef3179d1e\n#class=\"my \\\"class\\\"\"\n"
            "\n[A\\\\Leaf] 1796705129\n#time=1dd86cef3179d1e\n"
            "\n[b\\[1\\]\"] 1796705129\n#time=1dd86cef3179d1e\n\"v\"=hex:01\n"
            "\n[Link] 1796705129\n#time=1dd86cef3179d1e\n#link\n\"SymbolicLinkValue\"=hex(6):5c,00,52,00\n");
}

TEST(WriteFile, RootWithValuesIsWrittenAsEmptyPath) {
  RegBranch branch;
  branch.root.SetValue(u"", 1, Sz(u"x"));
  branch.root.SetModified(kTime);
  EXPECT_EQ(WriteRegFile(branch), "WINE REGISTRY Version 2\n\n[] 1796705129\n#time=1dd86cef3179d1e\n@=\"x\"\n");
}

TEST(WriteFile, KeyLineSecondsFollowTheFileTime) {
  RegBranch branch;
  RegKey& k = branch.root.AddSubkey(u"k");
  k.SetModified(116444736000000000ull + 10'000'000ull * 4000000000ull + 9'999'999);
  EXPECT_NE(WriteRegFile(branch).find("[k] 4000000000\n#time="), std::string::npos);
  k.SetModified(116444736000000000ull - 10'000'000);  // 1969: Wine's unsigned cast wraps
  EXPECT_NE(WriteRegFile(branch).find("[k] 4294967295\n"), std::string::npos);
  k.SetModified(0x100000000ull);
  EXPECT_NE(WriteRegFile(branch).find("#time=100000000\n"), std::string::npos);
}

// A save renders only the keys that changed and copies the rest of its last text: after any
// sequence of changes the text must be the full rendering's, byte for byte.
TEST(WriteFile, ASaveThatCopiesUnchangedKeysWritesWhatAFullRenderingWrites) {
  const std::u16string names[] = {u"a", u"B", u"c]", u"D\\e", u"\u00e9", u"f"};
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    RegBranch branches[2];
    for (RegBranch& b : branches) {
      b.rootComment = ";; All keys relative to REGISTRY\\\\Machine";
      b.options = {"#arch=win32"};
    }
    RegFileText text;
    for (int step = 0; step < 300; ++step) {
      RegBranch& branch = branches[pick(8) == 0 ? 1 : 0];  // now and then another branch, same writer
      RegKey* key = &branch.root;
      for (std::size_t depth = pick(5); depth > 0 && key->SubkeyCount() > 0; --depth)
        key = &key->Subkey(pick(key->SubkeyCount()));
      const std::u16string& name = names[pick(std::size(names))];
      switch (pick(9)) {
        case 0:
        case 1: key->AddSubkey(name).SetModified(kTime + pick(1000)); break;
        case 2: key->RemoveSubkey(name); break;
        case 3: key->SetValue(name, static_cast<std::uint32_t>(pick(12)), Sz(name)); break;
        case 4: key->SetValue(name, 3, std::vector<std::uint8_t>(pick(60), 0xab)); break;
        case 5: key->RemoveValue(name); break;
        case 6: key->SetModified(kTime + pick(1000)); break;
        case 7: key->SetClassName(name); break;
        case 8: key->AddSubkey(u"volatile").SetVolatile(pick(4) != 0); break;
      }
      if (pick(3) == 0) continue;  // several changes between saves, too
      text.Render(branch);
      ASSERT_EQ(text.Joined(), WriteRegFile(branch)) << "seed " << seed << ", step " << step;
    }
  }
}

// A writer trusts only the keys it rendered last: with two writers taking turns on one branch,
// the branch read anew in place now and then and keys moved between parents, each save is
// still the full rendering's text.
TEST(WriteFile, WritersTakingTurnsOnOneBranchEachWriteWhatAFullRenderingWrites) {
  std::mt19937 random(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const std::u16string names[] = {u"a", u"b", u"c"};
  RegBranch branch;
  RegFileText writers[2];
  for (int step = 0; step < 400; ++step) {
    RegKey* key = &branch.root;
    for (std::size_t depth = pick(4); depth > 0 && key->SubkeyCount() > 0; --depth)
      key = &key->Subkey(pick(key->SubkeyCount()));
    const std::u16string& name = names[pick(std::size(names))];
    switch (pick(6)) {
      case 0: key->AddSubkey(name).SetModified(kTime + pick(1000)); break;
      case 1: key->RemoveSubkey(name); break;
      case 2: key->SetValue(name, 1, Sz(std::u16string(pick(40), u'x'))); break;
      case 3: key->SetModified(kTime + pick(1000)); break;
      case 4: ParseRegFile(WriteRegFile(branch), branch); break;
      case 5:  // a saved key moved under another parent, its subtree with it
        if (RegKey& root = branch.root; root.SubkeyCount() >= 2) {
          const std::size_t from = pick(root.SubkeyCount()), to = (from + 1) % root.SubkeyCount();
          if (RegKey& parent = root.Subkey(from); parent.SubkeyCount() > 0) {
            root.Subkey(to).ReserveSubkeys(1);
            (void)root.Subkey(to).AdoptSubkey(parent.Subkey(pick(parent.SubkeyCount())));
          }
        }
        break;
    }
    RegFileText& writer = writers[pick(2)];
    writer.Render(branch);
    ASSERT_EQ(writer.Joined(), WriteRegFile(branch)) << "step " << step;
  }
}

}  // namespace
}  // namespace vidazoz::wineprefix
