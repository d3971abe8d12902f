// compare, as Windows' reg defines it: each difference as a line, "<" for the first key and ">"
// for the second ("=" for a match, with /oa or /os), then "Result Compared: Identical" (exit 0)
// or "Different" (exit 2); 1 on failure.
#include <map>
#include <string>

#include "reg_commands.h"
#include "reg_data.h"
#include "reg_key.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

std::u16string Lower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return out;
}

// A tree's keys by their path below the compared key, each with its values; names folded to
// lower case, as the registry matches them.
struct KeyValues {
  std::u16string path;  // as stored, below the compared key
  std::map<std::u16string, Value> values;
};
using Tree = std::map<std::u16string, KeyValues>;

bool Collect(HKEY key, const std::u16string& below, const Switches& s, Tree& tree, int depth = 0) {
  if (depth > kMaxDepth) return false;
  KeyValues& entry = tree[Lower(below)];
  entry.path = below;
  std::vector<Value> values;
  Values(key, values);
  for (Value& value : values) {
    if (s.value && Lower(value.name) != Lower(*s.value)) continue;
    if (s.emptyValue && !value.name.empty()) continue;
    entry.values.emplace(Lower(value.name), std::move(value));
  }
  if (!s.recurse) return true;
  std::vector<std::u16string> subkeys;
  SubkeyNames(key, subkeys);
  return ForEachReadableSubkey(key, subkeys, s.view, [&](HKEY child, const std::u16string& sub) {
    return Collect(child, below.empty() ? sub : below + u"\\" + sub, s, tree, depth + 1);
  });
}

std::u16string Joined(const KeyName& root, const std::u16string& below) {
  return below.empty() ? root.longName : root.longName + u"\\" + below;
}

std::u16string ValueLine(char16_t side, const std::u16string& key, const Value& value) {
  return std::u16string{side, u' '} + key + u"    " + (value.name.empty() ? u"(Default)" : value.name) + u"    " +
         TypeName(value.type) + u"    " + DataText(value.type, value.data) + u"\n";
}

}  // namespace

int Compare(const KeyName& first, const KeyName& second, const Switches& s, Output& output) {
  Tree trees[2];
  const KeyName* names[2] = {&first, &second};
  for (int i = 0; i < 2; ++i) {
    OpenKey open;
    if (open.Open(names[i]->root, names[i]->path, KEY_READ | s.view) != ERROR_SUCCESS) {
      output.Message("reg: Unable to find the specified registry key " + Utf8(names[i]->longName));
      return 1;
    }
    if (!Collect(open.Get(), u"", s, trees[i])) {
      output.Message(kTooDeep);
      return 1;
    }
  }
  const bool showDifferences =
      s.compareOutput == CompareOutput::All || s.compareOutput == CompareOutput::Differences;
  const bool showMatches = s.compareOutput == CompareOutput::All || s.compareOutput == CompareOutput::Same;
  const auto show = [&](bool wanted, const std::u16string& line) {
    if (wanted) output.Text(line);
  };
  bool different = false;
  std::map<std::u16string, int> keys;  // every key path of either side
  for (int i = 0; i < 2; ++i)
    for (const auto& [folded, entry] : trees[i]) keys[folded] |= 1 << i;
  for (const auto& [folded, sides] : keys) {
    if (sides != 3) {
      const int i = sides == 1 ? 0 : 1;
      show(showDifferences,
           std::u16string{i == 0 ? u'<' : u'>', u' '} + Joined(*names[i], trees[i][folded].path) + u"\n");
      different = true;
      continue;
    }
    const KeyValues& a = trees[0][folded];
    const KeyValues& b = trees[1][folded];
    if (!folded.empty()) show(showMatches, u"= " + Joined(first, a.path) + u"\n");
    std::map<std::u16string, int> valueNames;
    for (const auto& [name, v] : a.values) valueNames[name] |= 1;
    for (const auto& [name, v] : b.values) valueNames[name] |= 2;
    for (const auto& [name, sides2] : valueNames) {
      const auto inA = a.values.find(name), inB = b.values.find(name);
      if (sides2 == 3 && inA->second.type == inB->second.type && inA->second.data == inB->second.data) {
        show(showMatches, ValueLine(u'=', Joined(first, a.path), inA->second));
        continue;
      }
      different = true;
      if (sides2 & 1) show(showDifferences, ValueLine(u'<', Joined(first, a.path), inA->second));
      if (sides2 & 2) show(showDifferences, ValueLine(u'>', Joined(second, b.path), inB->second));
    }
  }
  output.Text(different ? u"\nResult Compared: Different\n" : u"\nResult Compared: Identical\n");
  return different ? 2 : 0;
}

}  // namespace vidazoz::reg
