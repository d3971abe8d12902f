// The header pass must answer exactly as the parsed tree would, or not at all.
#include "key_scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "ansi.h"
#include "reg_file.h"
#include "reg_text.h"
#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

using wineprefix::RegBranch;
using wineprefix::RegKey;
using Path = std::vector<std::u16string>;

std::optional<bool> Scan(const std::filesystem::path& file, const Path& path, std::size_t* existing = nullptr) {
  const int fd = open(file.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  const std::optional<bool> answer =
      wineprefix::ScanForKey(fd, std::vector<std::u16string_view>(path.begin(), path.end()), existing);
  close(fd);
  return answer;
}

// How many leading names of the path name keys of the tree.
std::size_t Depth(const RegKey& root, const Path& path) {
  const RegKey* key = &root;
  std::size_t depth = 0;
  while (depth < path.size() && (key = key->FindSubkey(path[depth])) != nullptr) ++depth;
  return depth;
}

bool InTree(const RegKey& root, const Path& path) { return Depth(root, path) == path.size(); }

Path P(std::initializer_list<const char*> names) {
  Path path;
  for (const char* n : names) path.push_back(ansi::ToUtf16(n));
  return path;
}

TEST(KeyScan, TrickyHeaders) {
  TempDir dir;
  const auto file = dir.Path() / "system.reg";
  WriteText(file, MachineHeader() +
                      "\n[Software\\\\Caf\\x00e9\\\\Deep] 1700000000\n"
                      "\n  [Software\\\\Br\\[ack\\]et] 1700000000\r\n"
                      "\n[Software\\\\Plain\\\\Leaf]\n"
                      "\n[Software\\\\Softer]\n" +
                      LinkBlock("Software\\\\Link", "\\Registry\\Machine\\Software\\Plain"));
  const struct {
    const char* what;
    Path path;
    std::optional<bool> answer;
  } cases[] = {
      {"escaped name, other case", {u"software", u"CAF\u00c9", u"deep"}, true},
      {"implied parent", {u"Software", u"Plain"}, true},
      {"prefix of a name is no key", {u"Software", u"Soft"}, false},
      {"longer than a name", {u"Software", u"Plainer"}, false},
      {"indented, CRLF, escaped brackets", {u"Software", u"br[ack]et"}, true},
      {"missing leaf", {u"Software", u"Plain", u"Nope"}, false},
      {"through a link: left to the tree", {u"Software", u"Link", u"Leaf"}, std::nullopt},
      {"the link itself: left to the tree", {u"Software", u"Link"}, std::nullopt},
      {"beside the link", {u"Software", u"Softer"}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(Scan(file, c.path), c.answer) << c.what;

  // How far a missing key's path exists: the store remembers the first missing name.
  const struct {
    Path path;
    std::size_t existing;
  } depths[] = {{P({"Software", "Plain", "Nope"}), 2}, {P({"software", "Nope", "X"}), 1}, {P({"Nope"}), 0},
                {P({"Software", "Plain", "Leaf"}), 3}};
  for (const auto& d : depths) {
    const int fd = open(file.c_str(), O_RDONLY);
    std::size_t existing = 99;
    wineprefix::ScanForKey(fd, std::vector<std::u16string_view>(d.path.begin(), d.path.end()), &existing);
    close(fd);
    EXPECT_EQ(existing, d.existing) << ansi::FromUtf16(d.path.back());
  }

  WriteText(file, "WINE REGISTRY Version 3\n\n[Software]\n");
  EXPECT_EQ(Scan(file, P({"Software"})), std::nullopt) << "a file Wine rejects";
  // Lines the parser reads otherwise than they look: whatever the pass says must be what the
  // parser makes of them.
  const struct {
    std::string text;
    Path path;
    bool answered = false;  // the pass must not leave it to the parser
  } odd[] = {
      {MachineHeader() + "\n[Software\\\\Old]\n\n[Software\\\\Cut", P({"Software", "Cut"})},
      {MachineHeader() + "\n[Software\\\\Cut\n", P({"Software"})},                  // no closing bracket
      {MachineHeader() + "\n[Software\\\\A" + std::string(1, '\0') + "]\n", P({"Software"})},  // cut at the NUL
      {MachineHeader() + "\n[A]\n\"v\"=hex:01,\\\n[Software\\\\Fake]\n", P({"Software"})},  // a continuation
      {MachineHeader() + "\n[A]\n\"v\"=hex:01,\\\n#c\\\n[Software\\\\Fake]\n", P({"Software"})},  // through an option
      {MachineHeader() + "\n[A]\n\"v\"=hex:" + std::string(70000, '0') + ",\\\n[Software\\\\Far]\n", P({"Software", "Far"})},
      {MachineHeader() + "\n\r[Software]\n\v[Software\\\\B]\n\f[Software\\\\C]\n", P({"Software", "C"})},
      {MachineHeader() + "#arch=win32\n[Software]\n", P({"Software"})},             // two #arch lines
      {MachineHeader() + "[Bad\n#arch=win16\n[Software]\n", P({"Software"})},      // #arch after a bad key
      // Headers the parser makes no key of, though their first names are the path's: they show
      // nothing of it to exist (a Wow6432Node taken for there would change the view).
      {MachineHeader() + "\n[Software\\\\Wow6432Node\\\\Mic\n", P({"Software", "Wow6432Node", "Microsoft", "X"}), true},
      {MachineHeader() + "\n[Software\\\\Wow6432Node\\\\Mic" + std::string(1, '\0') + "]\n",
       P({"Software", "Wow6432Node", "Microsoft"}), true},
      {MachineHeader() + "\n[Software\\\\Wo\n[Software\\\\Wow6432Node\\\\A]\n", P({"Software", "Wow6432Node", "B"}), true},
  };
  for (const auto& c : odd) {
    WriteText(file, c.text);
    RegBranch branch;
    wineprefix::ParseRegFile(c.text, branch);
    std::size_t existing = 99;
    const std::optional<bool> answer = Scan(file, c.path, &existing);
    EXPECT_TRUE(answer || !c.answered) << c.text;
    if (answer) {
      EXPECT_EQ(*answer, InTree(branch.root, c.path)) << c.text;
      if (!*answer) {
        EXPECT_EQ(existing, Depth(branch.root, c.path)) << c.text;
      }
    }
  }
}

// Every key of a real prefix's system.reg, and a near miss beside each, against the tree.
TEST(KeyScan, AgreesWithTheTreeOnABootedPrefix) {
  const auto prefix = WinePrefix::Booted();
  const auto file = prefix->File("system.reg");
  RegBranch branch;
  ASSERT_TRUE(wineprefix::ParseRegFile(ReadText(file), branch).complete);
  int checked = 0, deferred = 0;
  std::function<void(const RegKey&, Path&)> walk = [&](const RegKey& key, Path& path) {
    for (std::size_t i = 0; i < key.SubkeyCount(); ++i) {
      const RegKey& sub = key.Subkey(i);
      path.push_back(sub.Name());
      // Every 97th key: each question reads the whole file.
      if (++checked % 97 == 0) {
        const std::optional<bool> present = Scan(file, path);
        if (present) {
          EXPECT_TRUE(*present) << ansi::FromUtf16(path.back());
        } else {
          ++deferred;
        }
        path.back() += u"x";
        const std::optional<bool> absent = Scan(file, path);
        if (absent) {
          EXPECT_EQ(*absent, InTree(branch.root, path)) << ansi::FromUtf16(path.back());
        }
        path.back().pop_back();
      }
      walk(sub, path);
      path.pop_back();
    }
  };
  Path path;
  walk(branch.root, path);
  EXPECT_GT(checked, 1000);
  EXPECT_LT(deferred * 10, checked / 97) << "most keys are answered without the tree";
}

}  // namespace
}  // namespace vidazoz::testing
