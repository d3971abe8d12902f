// Listing a key through the W calls.
#include "reg_key.h"

namespace vidazoz::reg {

LONG SubkeyNames(HKEY key, std::vector<std::u16string>& names) {
  WCHAR name[258];  // a key name is at most 256 units (Wine takes 256)
  for (DWORD i = 0;; ++i) {
    const LONG status = RegEnumKeyW(key, i, name, 258);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    names.emplace_back(reinterpret_cast<const char16_t*>(name));
  }
}

LONG Values(HKEY key, std::vector<Value>& values) {
  DWORD count = 0, maxName = 0, maxData = 0;
  if (const LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                                           &maxData, nullptr, nullptr))
    return status;
  std::vector<WCHAR> name(maxName + 1);
  std::vector<BYTE> data(maxData + 2);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(name.size()), cb = static_cast<DWORD>(data.size()), type = 0;
    const LONG status = RegEnumValueW(key, i, name.data(), &cch, nullptr, &type, data.data(), &cb);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA) {  // changed meanwhile: room for what it is now
      name.resize(name.size() * 2 + 256);
      data.resize(std::max<std::size_t>(data.size() * 2, cb + 2));
      --i;
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    values.push_back({std::u16string(reinterpret_cast<const char16_t*>(name.data()), cch), type,
                      std::vector<BYTE>(data.begin(), data.begin() + cb)});
  }
}

KeyListing ListKey(HKEY key) {
  KeyListing listed;
  (void)Values(key, listed.values);
  (void)SubkeyNames(key, listed.subkeys);
  return listed;
}

LONG QueryValue(HKEY key, const std::u16string& name, Value& value) {
  value.name = name;
  for (;;) {
    DWORD cb = 0;
    if (const LONG status = RegQueryValueExW(key, Wide(name), nullptr, &value.type, nullptr, &cb)) return status;
    value.data.resize(cb);
    const LONG status = RegQueryValueExW(key, Wide(name), nullptr, &value.type, value.data.data(), &cb);
    if (status == ERROR_MORE_DATA) continue;
    value.data.resize(cb);
    return status;
  }
}

bool OpenOrSay(OpenKey& open, const KeyName& key, REGSAM access, Output& output) {
  if (open.Open(key.root, key.path, access) == ERROR_SUCCESS) return true;
  output.Message("reg: Unable to find the specified registry key");
  return false;
}

}  // namespace vidazoz::reg
