// copy: the values of one key into another and, with /s, every key below it. Unlike Wine's reg,
// a copy into the source's own sub-tree is refused (Wine recurses until the path limit).
#include <string>

#include "reg_commands.h"
#include "reg_key.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

constexpr LONG kTooDeepStatus = -1;  // as delete reports it

bool SamePath(std::u16string_view a, std::u16string_view b) { return SameAscii(a, b); }

bool Below(const KeyName& inner, const KeyName& outer) {
  if (inner.root != outer.root) return false;
  if (outer.path.empty()) return true;
  return inner.path.size() > outer.path.size() && inner.path[outer.path.size()] == u'\\' &&
         SameAscii(std::u16string_view(inner.path).substr(0, outer.path.size()), outer.path);
}

LONG CopyTree(HKEY from, HKEY to, REGSAM view, bool recurse, int depth = 0) {
  if (depth > kMaxDepth) return kTooDeepStatus;
  std::vector<Value> values;
  if (const LONG status = Values(from, values)) return status;
  for (const Value& value : values)
    if (const LONG status = RegSetValueExW(to, Wide(value.name), 0, value.type, value.data.data(),
                                           static_cast<DWORD>(value.data.size())))
      return status;
  if (!recurse) return ERROR_SUCCESS;
  std::vector<std::u16string> subkeys;
  if (const LONG status = SubkeyNames(from, subkeys)) return status;
  for (const std::u16string& sub : subkeys) {
    OpenKey source, target;
    if (const LONG status = RegOpenKeyExW(from, Wide(sub), 0, KEY_READ | view, source.Out())) return status;
    if (const LONG status =
            RegCreateKeyExW(to, Wide(sub), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, target.Out(), nullptr))
      return status;
    if (const LONG status = CopyTree(source.Get(), target.Get(), view, recurse, depth + 1)) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

int Copy(const KeyName& from, const KeyName& to, const Switches& s, Output& output, Confirm confirm) {
  if (from.root == to.root && SamePath(from.path, to.path)) {
    output.Message("reg: The source and destination keys cannot be the same");
    return 1;
  }
  if (s.recurse && Below(to, from)) {
    output.Message("reg: Refusing to copy " + Utf8(from.longName) + " into its own sub-tree " + Utf8(to.longName));
    return 1;
  }
  OpenKey source;
  if (!OpenOrSay(source, from, KEY_READ | s.view, output)) return 1;
  {
    OpenKey existing;
    if (!s.force && RegOpenKeyExW(to.root, Wide(to.path), 0, KEY_READ | s.view, existing.Out()) == ERROR_SUCCESS &&
        !confirm(output,
                 "The registry key " + Utf8(to.longName) + " already exists. Do you want to overwrite it? (Yes|No)")) {
      output.Message("reg: The operation was cancelled.");
      return 0;
    }
  }
  OpenKey target;
  LONG status =
      RegCreateKeyExW(to.root, Wide(to.path), 0, nullptr, 0, KEY_ALL_ACCESS | s.view, nullptr, target.Out(), nullptr);
  if (status == ERROR_SUCCESS) status = CopyTree(source.Get(), target.Get(), s.view, s.recurse);
  if (status != ERROR_SUCCESS) {
    output.Message(TooDeepOrStatusText(status));
    return 1;
  }
  return 0;  // silent, as Wine's
}

}  // namespace vidazoz::reg
