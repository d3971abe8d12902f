// query: Wine's layout — a blank line, the key's path, each value indented four spaces as name,
// type and data — and with /s every key below, then the count of matches for /v or /ve.
#include <string>

#include "reg_commands.h"
#include "reg_data.h"
#include "reg_json.h"
#include "reg_key.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

constexpr std::u16string_view kIndent = u"    ";

void ValueLine(Output& output, const std::u16string& name, const std::u16string& type, const std::u16string& data) {
  output.Text(std::u16string(kIndent) + (name.empty() ? u"(Default)" : name) + std::u16string(kIndent) + type +
              std::u16string(kIndent) + data + u"\n");
}

void ValueLine(Output& output, const Value& value) {
  ValueLine(output, value.name, TypeName(value.type), DataText(value.type, value.data));
}

struct Walk {
  Output& output;
  REGSAM view;
  bool recurse;
  bool json;
  unsigned found = 0;
  bool tooDeep = false;

  // One value (/v, /ve) here and, with /s, in every key below.
  void OneValue(HKEY key, const std::u16string& path, const std::u16string& name, int depth = 0) {
    if (depth > kMaxDepth) {
      tooDeep = true;
      return;
    }
    Value value;
    if (QueryValue(key, name, value) == ERROR_SUCCESS) {
      output.Text(path + u"\n");
      ValueLine(output, value);
      output.Text(u"\n");
      ++found;
    }
    if (!recurse) return;
    std::vector<std::u16string> subkeys;
    SubkeyNames(key, subkeys);
    ForEachReadableSubkey(key, subkeys, view, [&](HKEY child, const std::u16string& sub) {
      OneValue(child, path + u"\\" + sub, name, depth + 1);
    });
  }

  // Every value here, then the sub-keys: listed, or with /s shown the same way.
  void All(HKEY key, const std::u16string& path, bool below, int depth = 0) {
    if (depth > kMaxDepth) {
      tooDeep = true;
      return;
    }
    const auto [values, subkeys] = ListKey(key);
    if (json) {
      output.Text(Utf16(KeyJson(path, values, subkeys)));
      if (recurse) AllBelow(key, path, subkeys, depth);
      return;
    }
    if (!values.empty() || below) output.Text(path + u"\n");
    for (const Value& value : values) ValueLine(output, value);
    if (!values.empty() || below) output.Text(u"\n");
    if (recurse) {
      AllBelow(key, path, subkeys, depth);
      return;
    }
    for (const std::u16string& sub : subkeys) output.Text(path + u"\\" + sub + u"\n");
  }

  // With /s: each sub-key shown as All shows this one.
  void AllBelow(HKEY key, const std::u16string& path, const std::vector<std::u16string>& subkeys, int depth) {
    ForEachReadableSubkey(key, subkeys, view, [&](HKEY child, const std::u16string& sub) {
      All(child, path + u"\\" + sub, true, depth + 1);
    });
  }
};

}  // namespace

int Query(const KeyName& key, const Switches& s, Output& output) {
  OpenKey open;
  if (!OpenOrSay(open, key, KEY_READ | s.view, output)) return 1;
  Walk walk{output, s.view, s.recurse, s.json};
  const auto finished = [&] {
    if (!walk.tooDeep) return 0;
    output.Message(kTooDeep);
    return 1;
  };
  if (s.json) {
    walk.All(open.Get(), key.longName, false);
    return finished();
  }
  output.Text(u"\n");
  if (s.value || s.emptyValue) {
    const std::u16string name = s.value.value_or(u"");
    walk.OneValue(open.Get(), key.longName, name);
    if (s.recurse) {
      const std::string count = std::to_string(walk.found);
      output.Text(u"Search complete. Number of matches found: " + std::u16string(count.begin(), count.end()) + u"\n");
      return finished();
    }
    if (walk.found == 0) {
      if (!name.empty()) {
        output.Message("reg: Unable to find the specified registry value");
        return 1;
      }
      output.Text(key.longName + u"\n");
      ValueLine(output, u"", u"REG_SZ", u"(value not set)");
    }
    return 0;
  }
  walk.All(open.Get(), key.longName, false);
  return finished();
}

}  // namespace vidazoz::reg
