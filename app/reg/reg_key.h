// An open registry key that closes itself, and the W calls the reg commands need, with
// buffers that grow to fit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "advapi32.h"
#include "reg_key_name.h"
#include "reg_output.h"

namespace vidazoz::reg {

class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  // Opens `path` below `parent`; the status of RegOpenKeyExW.
  LONG Open(HKEY parent, const std::u16string& path, REGSAM access);
  HKEY* Out() { return &handle_; }
  HKEY Get() const { return handle_; }

 private:
  HKEY handle_ = nullptr;
};

// Windows nests keys at most 512 deep; a walk deeper than that is in a loop of links.
inline constexpr int kMaxDepth = 512;
inline constexpr std::string_view kTooDeep = "reg: keys nested deeper than 512 levels (a loop of links?); stopped";

inline const WCHAR* Wide(const std::u16string& text) { return reinterpret_cast<const WCHAR*>(text.c_str()); }

inline LONG OpenKey::Open(HKEY parent, const std::u16string& path, REGSAM access) {
  return RegOpenKeyExW(parent, Wide(path), 0, access, &handle_);
}

struct Value {
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// The sub-key names and the values of an open key, in the registry's order.
LONG SubkeyNames(HKEY key, std::vector<std::u16string>& names);
LONG Values(HKEY key, std::vector<Value>& values);
// What a listing shows of a key: its values and sub-key names as far as they can be read, as
// Wine's reg shows what it read and goes on.
struct KeyListing {
  std::vector<Value> values;
  std::vector<std::u16string> subkeys;
};
KeyListing ListKey(HKEY key);
// Opens the key the command line names; when it cannot, says so as Wine's reg does and returns
// false.
bool OpenOrSay(OpenKey& open, const KeyName& key, REGSAM access, Output& output);
// One value; ERROR_FILE_NOT_FOUND when there is none.
LONG QueryValue(HKEY key, const std::u16string& name, Value& value);

// Calls visit(child, name) for each of `subkeys` of `key` that opens for reading in `view`; one
// that cannot be opened (gone, or denied) is passed over, as Wine's reg passes it over. A visit
// that returns bool stops the walk with false, which it then returns.
template <typename Visit>
bool ForEachReadableSubkey(HKEY key, const std::vector<std::u16string>& subkeys, REGSAM view, Visit&& visit) {
  for (const std::u16string& sub : subkeys) {
    OpenKey child;
    if (child.Open(key, sub, KEY_READ | view) != ERROR_SUCCESS) continue;
    if constexpr (std::is_void_v<std::invoke_result_t<Visit&, HKEY, const std::u16string&>>) {
      visit(child.Get(), sub);
    } else if (!visit(child.Get(), sub)) {
      return false;
    }
  }
  return true;
}

}  // namespace vidazoz::reg
