// What a key holds: sub-key listing and the statistics of RegQueryInfoKey, A and W.
#include <algorithm>
#include <cstring>

#include "advapi32_calls.h"
#include "ansi.h"
#include "call_status.h"
#include "key_call.h"
#include "process_state.h"

using namespace vidazoz::wineprefix;

namespace {

// The sub-key names of a key, or of HKEY_USERS (its two user branches).
std::vector<std::u16string> SubkeyNames(const RegKey* key) {
  if (key == nullptr) return {std::u16string(kDefaultUserName), std::u16string(kUserSid)};
  std::vector<std::u16string> names;
  names.reserve(key->SubkeyCount());
  for (std::size_t i = 0; i < key->SubkeyCount(); ++i) names.push_back(key->Subkey(i).Name());
  return names;
}

// The sub-key name at `index` in a key Read found: ERROR_NO_MORE_ITEMS past the last.
LONG SubkeyName(const RegKey* key, DWORD index, std::u16string& name) {
  if (key == nullptr) {
    const std::vector<std::u16string> names = SubkeyNames(key);
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    name = names[index];
  } else {
    if (index >= key->SubkeyCount()) return ERROR_NO_MORE_ITEMS;
    name = key->Subkey(index).Name();
  }
  return ERROR_SUCCESS;
}

// Copies a name and its NUL when both fit in `room` characters.
template <typename Char>
LONG NameOut(std::basic_string_view<Char> name, Char* out, DWORD room) {
  if (name.size() + 1 > room) return ERROR_MORE_DATA;
  std::memcpy(out, name.data(), name.size() * sizeof(Char));
  out[name.size()] = Char{};
  return ERROR_SUCCESS;
}

// What RegQueryInfoKey reports besides the class. Lengths count UTF-16 units without the NUL,
// as Wine's server reports them.
struct KeyInfo {
  DWORD subkeys = 0, maxSubkey = 0, maxClass = 0, values = 0, maxValueName = 0, maxValue = 0;
  std::uint64_t modified = 0;
  std::u16string cls;
};

LONG ReadKeyInfo(const RegKey* node, KeyInfo& info) {
  if (node == nullptr) {
    for (const std::u16string& name : SubkeyNames(nullptr))
      info.maxSubkey = std::max(info.maxSubkey, static_cast<DWORD>(name.size()));
    info.subkeys = 2;
    return ERROR_SUCCESS;
  }
  const RegKey& k = *node;
  info.subkeys = static_cast<DWORD>(k.SubkeyCount());
  for (std::size_t i = 0; i < k.SubkeyCount(); ++i) {
    const RegKey& sub = k.Subkey(i);
    info.maxSubkey = std::max(info.maxSubkey, static_cast<DWORD>(sub.Name().size()));
    if (sub.HasClass()) info.maxClass = std::max(info.maxClass, static_cast<DWORD>(sub.ClassName()->size()));
  }
  info.values = static_cast<DWORD>(k.ValueCount());
  std::size_t maxData = 0;
  for (std::size_t i = 0; i < k.ValueCount(); ++i) {
    info.maxValueName = std::max(info.maxValueName, static_cast<DWORD>(k.Value(i).name.size()));
    maxData = std::max(maxData, k.Value(i).data.size());
  }
  // As the value calls do: a size a DWORD cannot give comes from no Wine registry.
  if (maxData > 0xFFFFFFFF) return ERROR_REGISTRY_CORRUPT;
  info.maxValue = static_cast<DWORD>(maxData);
  info.modified = k.Modified();
  if (k.HasClass()) info.cls = *k.ClassName();
  return ERROR_SUCCESS;
}

void ReportKeyInfo(const KeyInfo& info, LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                   LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                   LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpcSubKeys != nullptr) *lpcSubKeys = info.subkeys;
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = info.maxSubkey;
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = info.maxClass;
  if (lpcValues != nullptr) *lpcValues = info.values;
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = info.maxValueName;
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = info.maxValue;
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;  // Wine reports none
  if (lpftLastWriteTime != nullptr) {
    lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(info.modified & 0xFFFFFFFF);
    lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(info.modified >> 32);
  }
}

// The class as RegQueryInfoKeyA hands it over: what fits, terminated, and the count says how
// much that was.
LONG ClassOut(const std::u16string& units, LPSTR lpClass, LPDWORD lpcchClass) {
  const std::string cls = vidazoz::ansi::FromUtf16(units);
  if (lpcchClass == nullptr) return ERROR_SUCCESS;
  const auto length = static_cast<DWORD>(cls.size());
  if (lpClass == nullptr || *lpcchClass == 0) {
    *lpcchClass = length;  // a zero-sized buffer only learns the length
    return ERROR_SUCCESS;
  }
  if (length + 1 > *lpcchClass) {
    const DWORD fits = *lpcchClass - 1;
    std::memcpy(lpClass, cls.data(), fits);
    lpClass[fits] = '\0';
    *lpcchClass = fits;
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpClass, cls.c_str(), cls.size() + 1);
  *lpcchClass = length;
  return ERROR_SUCCESS;
}

// The W call writes no part of a class that does not fit, and always reports its length.
LONG ClassOut(const std::u16string& cls, LPWSTR lpClass, LPDWORD lpcchClass) {
  if (lpcchClass == nullptr) return ERROR_SUCCESS;
  LONG status = ERROR_SUCCESS;
  if (lpClass != nullptr && *lpcchClass != 0)
    status = NameOut<char16_t>(cls, lpClass, *lpcchClass) == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
  *lpcchClass = static_cast<DWORD>(cls.size());
  return status;
}

// The A (Char char) and W (Char WCHAR) calls below differ only in how a name reaches the caller.

template <typename Char>
LONG EnumKey(HKEY hKey, DWORD dwIndex, Char* lpName, DWORD cchName) {
  if (lpName == nullptr) return ERROR_INVALID_PARAMETER;  // Wine faults here
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_ENUMERATE_SUB_KEYS)) return status;
  std::u16string name;
  if (const LONG status = SubkeyName(call.Node(), dwIndex, name)) return status;
  return NameOut<Char>(NameForCaller<Char>(name), lpName, cchName);
}

template <typename Char>
LONG QueryInfoKey(HKEY hKey, Char* lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                  LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                  LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) return ERROR_INVALID_PARAMETER;
  KeyCall call;
  if (const LONG status = call.Read(hKey, 0)) return status;
  KeyInfo info;
  if (const LONG status = ReadKeyInfo(call.Node(), info)) return status;
  const LONG status = ClassOut(info.cls, lpClass, lpcchClass);
  ReportKeyInfo(info, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen,
                lpcbSecurityDescriptor, lpftLastWriteTime);
  return status;
}

}  // namespace

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
  return Guarded([&] { return EnumKey(hKey, dwIndex, lpName, cchName); });
}

LONG RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
  return Guarded([&] { return EnumKey(hKey, dwIndex, lpName, cchName); });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
  return Guarded([&] {
    return QueryInfoKey(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                        lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
  });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
  return Guarded([&] {
    return QueryInfoKey(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                        lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
  });
}
