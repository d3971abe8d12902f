// What a key holds: sub-key listing and the statistics of RegQueryInfoKeyA.
#include <algorithm>
#include <cstring>

#include "ansi.h"
#include "call_status.h"
#include "key_call.h"
#include "platform.h"

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

}  // namespace

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) try {
  if (lpName == nullptr) return ERROR_INVALID_PARAMETER;  // Wine faults here
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_ENUMERATE_SUB_KEYS)) return status;
  const RegKey* key = call.Node();
  std::string name;
  if (key == nullptr) {
    const std::vector<std::u16string> names = SubkeyNames(key);
    if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
    name = vidazoz::ansi::FromUtf16(names[dwIndex]);
  } else {
    if (dwIndex >= key->SubkeyCount()) return ERROR_NO_MORE_ITEMS;
    name = vidazoz::ansi::FromUtf16(key->Subkey(dwIndex).Name());
  }
  if (name.size() + 1 > cchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  return ERROR_SUCCESS;
} catch (...) {
  return StatusOfCaughtException();
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) try {
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) return ERROR_INVALID_PARAMETER;
  KeyCall call;
  if (const LONG status = call.Read(hKey, 0)) return status;

  // Lengths count UTF-16 units without the NUL, as Wine's server reports them.
  DWORD subkeys = 0, maxSubkey = 0, maxClass = 0, values = 0, maxValueName = 0, maxValue = 0;
  std::uint64_t modified = 0;
  std::string cls;
  if (call.Node() == nullptr) {
    for (const std::u16string& name : SubkeyNames(nullptr)) maxSubkey = std::max(maxSubkey, static_cast<DWORD>(name.size()));
    subkeys = 2;
  } else {
    const RegKey& k = *call.Node();
    subkeys = static_cast<DWORD>(k.SubkeyCount());
    for (std::size_t i = 0; i < k.SubkeyCount(); ++i) {
      const RegKey& sub = k.Subkey(i);
      maxSubkey = std::max(maxSubkey, static_cast<DWORD>(sub.Name().size()));
      if (sub.HasClass()) maxClass = std::max(maxClass, static_cast<DWORD>(sub.ClassName()->size()));
    }
    values = static_cast<DWORD>(k.ValueCount());
    std::size_t maxData = 0;
    for (std::size_t i = 0; i < k.ValueCount(); ++i) {
      maxValueName = std::max(maxValueName, static_cast<DWORD>(k.Value(i).name.size()));
      maxData = std::max(maxData, k.Value(i).data.size());
    }
    // As the value calls do: a size a DWORD cannot give comes from no Wine registry.
    if (maxData > 0xFFFFFFFF) return ERROR_REGISTRY_CORRUPT;
    maxValue = static_cast<DWORD>(maxData);
    modified = k.Modified();
    if (k.HasClass()) cls = vidazoz::ansi::FromUtf16(*k.ClassName());
  }

  LONG status = ERROR_SUCCESS;
  if (lpcchClass != nullptr) {
    const auto length = static_cast<DWORD>(cls.size());
    if (lpClass != nullptr && *lpcchClass != 0) {
      if (length + 1 > *lpcchClass) {
        // What fits, terminated; the count says how much that was.
        const DWORD fits = *lpcchClass - 1;
        std::memcpy(lpClass, cls.data(), fits);
        lpClass[fits] = '\0';
        *lpcchClass = fits;
        status = ERROR_MORE_DATA;
      } else {
        std::memcpy(lpClass, cls.c_str(), cls.size() + 1);
        *lpcchClass = length;
      }
    } else {
      *lpcchClass = length;  // a zero-sized buffer only learns the length
    }
  }
  if (lpcSubKeys != nullptr) *lpcSubKeys = subkeys;
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = maxSubkey;
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = maxClass;
  if (lpcValues != nullptr) *lpcValues = values;
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = maxValueName;
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = maxValue;
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;  // Wine reports none
  if (lpftLastWriteTime != nullptr) {
    lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(modified & 0xFFFFFFFF);
    lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(modified >> 32);
  }
  return status;
} catch (...) {
  return StatusOfCaughtException();
}
