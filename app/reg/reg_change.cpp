// add and delete. Unlike Wine's reg: add without /v touches no value, a refused
// add changes nothing, delete never removes a whole root, and a question
// without a terminal is answered No.
#include <string>

#include "reg_commands.h"
#include "reg_data.h"
#include "reg_key.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

constexpr std::string_view kSuccess = "reg: The operation completed successfully";

// A status no Win32 call returns: the tree was deeper than any Windows makes.
constexpr LONG kTooDeepStatus = -1;

// Empties `key` of every sub-key below it, deepest first; with `dryRun` only
// walks the tree, so that one deeper than Windows allows (a loop of links) is
// found before anything is deleted.
LONG DeleteSubtree(HKEY key, REGSAM view, bool dryRun, int depth = 0) {
  if (depth > kMaxDepth) return kTooDeepStatus;
  std::vector<std::u16string> subkeys;
  if (const LONG status = SubkeyNames(key, subkeys)) return status;
  for (const std::u16string &sub : subkeys) {
    OpenKey child;
    if (const LONG status = child.Open(key, sub, KEY_ALL_ACCESS | view)) return status;
    if (const LONG status = DeleteSubtree(child.Get(), view, dryRun, depth + 1)) return status;
    if (dryRun) continue;
    if (const LONG status = RegDeleteKeyW(key, Wide(sub))) return status;
  }
  return ERROR_SUCCESS;
}

std::string StatusText(LONG status) {
  return "reg: the registry refused the change (error " + std::to_string(status) + ")";
}

}  // namespace

LONG DeleteKeyTree(const KeyName &key, REGSAM view) {
  OpenKey open;
  if (const LONG status = open.Open(key.root, key.path, KEY_ALL_ACCESS | view)) return status;
  // The key through its parent, so that /reg:32 and /reg:64 choose which one
  // goes.
  const std::size_t slash = key.path.rfind(u'\\');
  const std::u16string parentPath = slash == std::u16string::npos ? u"" : key.path.substr(0, slash);
  const std::u16string leaf = slash == std::u16string::npos ? key.path : key.path.substr(slash + 1);
  OpenKey parent;
  LONG status = RegOpenKeyExW(key.root, Wide(parentPath), 0, KEY_ALL_ACCESS | view, parent.Out());
  if (status == ERROR_SUCCESS) status = DeleteSubtree(open.Get(), view, true);
  if (status == ERROR_SUCCESS) status = DeleteSubtree(open.Get(), view, false);
  if (status == ERROR_SUCCESS) status = RegDeleteKeyW(parent.Get(), Wide(leaf));
  return status;
}

std::string TooDeepOrStatusText(LONG status) {
  return status == kTooDeepStatus ? std::string(kTooDeep) : StatusText(status);
}

int Add(const KeyName &key, const Switches &s, Output &output, Confirm confirm) {
  const bool setsValue = s.value || s.emptyValue || s.type || s.data;
  DWORD type = REG_SZ;
  ParsedData data;
  if (setsValue) {
    if (s.type) {
      const std::optional<DWORD> named = TypeFromName(*s.type);
      if (!named) {
        output.Message("reg: Unsupported type");
        return 1;
      }
      type = *named;
    }
    if (s.separator && type != REG_MULTI_SZ) {
      output.Message("reg: Invalid syntax.");
      return 1;
    }
    // The data is checked before anything is created: a refused add changes
    // nothing.
    data = DataFromText(type, s.data, s.separator);
    if (!data.error.empty()) {
      output.Message(data.error);
      return 1;
    }
  }
  OpenKey open;
  if (const LONG status = RegCreateKeyExW(key.root, Wide(key.path), 0, nullptr, 0, KEY_READ | KEY_WRITE | s.view,
                                          nullptr, open.Out(), nullptr)) {
    output.Message(status == ERROR_ACCESS_DENIED ? "reg: Unable to add the key: access denied" : StatusText(status));
    return 1;
  }
  if (setsValue) {
    const std::u16string name = s.value.value_or(u"");
    Value existing;
    if (!s.force && QueryValue(open.Get(), name, existing) == ERROR_SUCCESS &&
        !confirm(output, "Value " + Utf8(name.empty() ? u"(Default)" : name) + " exists, overwrite it? (Yes|No)")) {
      output.Message("reg: The operation was cancelled.");
      return 0;
    }
    if (const LONG status =
            RegSetValueExW(open.Get(), Wide(name), 0, type, data.bytes.data(), static_cast<DWORD>(data.bytes.size()))) {
      output.Message(StatusText(status));
      return 1;
    }
  }
  output.Message(kSuccess);
  return 0;
}

int Delete(const KeyName &key, const Switches &s, Output &output, Confirm confirm) {
  const bool deletesValues = s.value || s.emptyValue || s.allValues;
  if (!deletesValues && key.path.empty()) {
    output.Message("reg: Refusing to delete the whole root " + Utf8(key.longName));
    return 1;
  }
  OpenKey open;
  if (!OpenOrSay(open, key, KEY_ALL_ACCESS | s.view, output)) return 1;
  const std::string what = deletesValues ? "Delete the registry value " + Utf8(s.value.value_or(u"")) + " (Yes|No)?"
                                         : "Delete the registry key " + Utf8(key.longName) + " (Yes|No)?";
  if (!s.force && !confirm(output, what)) {
    output.Message("reg: The operation was cancelled.");
    return 0;
  }
  LONG status = ERROR_SUCCESS;
  if (s.allValues) {
    std::vector<Value> values;
    status = Values(open.Get(), values);
    for (std::size_t i = 0; status == ERROR_SUCCESS && i < values.size(); ++i)
      status = RegDeleteValueW(open.Get(), Wide(values[i].name));
  } else if (deletesValues) {
    status = RegDeleteValueW(open.Get(), Wide(s.value.value_or(u"")));
    if (status == ERROR_FILE_NOT_FOUND) {
      output.Message("reg: Unable to find the specified registry value");
      return 1;
    }
  } else {
    status = DeleteKeyTree(key, s.view);
  }
  if (status != ERROR_SUCCESS) {
    output.Message(status == kTooDeepStatus ? std::string(kTooDeep) : StatusText(status));
    return 1;
  }
  output.Message(kSuccess);
  return 0;
}

}  // namespace vidazoz::reg
