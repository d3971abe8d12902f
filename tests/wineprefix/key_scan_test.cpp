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

wineprefix::HeaderIndex IndexOf(const std::filesystem::path& file) {
  wineprefix::HeaderIndex index;
  const int fd = open(file.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  EXPECT_TRUE(index.Read(fd));
  close(fd);
  return index;
}

std::optional<bool> Find(const wineprefix::HeaderIndex& index, const Path& path) {
  return index.Find(std::vector<std::u16string_view>(path.begin(), path.end()));
}

std::optional<bool> Scan(const std::filesystem::path& file, const Path& path) { return Find(IndexOf(file), path); }

bool InTree(const RegKey& root, const Path& path) {
  const RegKey* key = &root;
  for (const std::u16string& name : path)
    if ((key = key->FindSubkey(name)) == nullptr) return false;
  return true;
}

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

  WriteText(file, "WINE REGISTRY Version 3\n\n[Software]\n");
  EXPECT_EQ(Scan(file, P({"Software"})), std::nullopt) << "a file Wine rejects";
  // A header without its end: whatever the pass says must be what the parser makes of it.
  const std::string cut = MachineHeader() + "\n[Software\\\\Old]\n\n[Software\\\\Cut";
  WriteText(file, cut);
  RegBranch branch;
  wineprefix::ParseRegFile(cut, branch);
  for (const Path& path : {P({"Software", "Cut"}), P({"Software", "Old"}), P({"Software"})}) {
    const std::optional<bool> answer = Scan(file, path);
    if (answer) {
      EXPECT_EQ(*answer, InTree(branch.root, path)) << ansi::FromUtf16(path.back());
    }
  }
}

// Every key of a real prefix's system.reg, and a near miss beside each, against the tree.
TEST(KeyScan, AgreesWithTheTreeOnABootedPrefix) {
  const auto prefix = WinePrefix::Booted();
  const auto file = prefix->File("system.reg");
  const wineprefix::HeaderIndex index = IndexOf(file);
  RegBranch branch;
  ASSERT_TRUE(wineprefix::ParseRegFile(ReadText(file), branch).complete);
  int checked = 0, deferred = 0;
  std::function<void(const RegKey&, Path&)> walk = [&](const RegKey& key, Path& path) {
    for (std::size_t i = 0; i < key.SubkeyCount(); ++i) {
      const RegKey& sub = key.Subkey(i);
      path.push_back(sub.Name());
      // Every 13th key (each question runs over all 8000-odd header lines).
      if (++checked % 13 == 0) {
        const std::optional<bool> present = Find(index, path);
        if (present) {
          EXPECT_TRUE(*present) << ansi::FromUtf16(path.back());
        } else {
          ++deferred;
        }
        path.back() += u"x";
        const std::optional<bool> absent = Find(index, path);
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
  EXPECT_LT(deferred * 10, checked / 13) << "most keys are answered without the tree";
}

}  // namespace
}  // namespace vidazoz::testing
