// Values: query, set, delete and enumerate, with the A calls' conversions and size rules.
#include <cstring>
#include <span>

#include "ansi.h"
#include "call_status.h"
#include "key_call.h"
#include "platform.h"

using namespace vidazoz::wineprefix;

namespace {

constexpr std::size_t kMaxValueNameUnits = 16383;
constexpr std::uint64_t kMaxDword = 0xFFFFFFFF;
// A string is stored as UTF-16: beyond this many units a DWORD cannot give its size.
constexpr std::size_t kMaxStringUnits = kMaxDword / 2;

// The bytes an A caller receives for a value: strings converted to the ANSI code page (into
// `converted`), anything else as stored.
std::span<const std::uint8_t> AnsiData(const RegValue& value, std::string& converted) {
  if (!IsStringType(value.type)) return value.data;
  converted = AnsiFromStored(value.data);
  return {reinterpret_cast<const std::uint8_t*>(converted.data()), converted.size()};
}

// Copies data into the caller's buffer; a string that does not end in NUL gets one after
// it when there is room, without counting it.
void CopyOut(std::span<const std::uint8_t> bytes, DWORD type, LPBYTE out, DWORD room) {
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  if (IsStringType(type) && !bytes.empty() && bytes.back() != 0 && room > bytes.size()) out[bytes.size()] = 0;
}

// False for a string whose stored size a DWORD cannot give.
bool StoredData(DWORD type, const BYTE* data, DWORD cbData, std::vector<std::uint8_t>& bytes) {
  if (!IsStringType(type)) {
    bytes.assign(data, data + cbData);
    return true;
  }
  std::size_t count = cbData;
  if (count > kMaxStringUnits) return false;
  // As Windows does: an ANSI string whose NUL lies just past the count gets it included.
  if (count != 0 && data[count - 1] != 0 && data[count] == 0) ++count;
  if (count > kMaxStringUnits) return false;
  StoredFromAnsi(std::string_view(reinterpret_cast<const char*>(data), count), bytes);
  return true;
}

}  // namespace

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) try {
  if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  // Wine reports "no type" for a value it could not reach (but leaves it alone for a bad handle).
  auto failed = [&](LONG status) {
    if (lpType != nullptr) *lpType = REG_NONE;
    return status;
  };
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_QUERY_VALUE))
    return status == ERROR_INVALID_HANDLE ? status : failed(status);
  const RegValue* value = call.Node() != nullptr ? call.Node()->FindValue(ToUnits(lpValueName)) : nullptr;
  if (value == nullptr) {
    if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
    return failed(ERROR_FILE_NOT_FOUND);
  }
  std::string converted;
  const std::span<const std::uint8_t> bytes = AnsiData(*value, converted);
  // No Wine registry holds a value a DWORD cannot measure: the file that gave it is not one.
  if (bytes.size() > kMaxDword) return ERROR_REGISTRY_CORRUPT;
  const auto size = static_cast<DWORD>(bytes.size());
  // The room is read before the type is written: a caller may pass one variable for both.
  const DWORD room = lpcbData != nullptr ? *lpcbData : 0;
  if (lpType != nullptr) *lpType = value->type;
  if (lpData != nullptr) {
    if (room < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    CopyOut(bytes, value->type, lpData, room);
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
} catch (...) {
  return StatusOfCaughtException();
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved: ignored, as by Wine*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) try {
  KeyCall call;
  if (const LONG status = call.Open(hKey)) return status;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  if (const LONG status = call.Require(KEY_SET_VALUE)) return status;
  const std::u16string name = ToUnits(lpValueName);
  if (name.size() > kMaxValueNameUnits) return ERROR_INVALID_PARAMETER;
  if (call.Key().location.usersRoot) return ERROR_ACCESS_DENIED;  // no file holds HKEY_USERS itself
  std::vector<std::uint8_t> data;
  if (lpData != nullptr && !StoredData(dwType, lpData, cbData, data)) return ERROR_INVALID_PARAMETER;

  return call.Change([&](Resolution& r, bool& changed) -> LONG {
    RegKey* key = r.key;
    if (key == nullptr) return ERROR_ACCESS_DENIED;  // a link led to HKEY_USERS itself
    if (!r.missing.empty()) {
      if (!call.Key().predefined) return ERROR_KEY_DELETED;
      // A root not in the files yet (HKCR in an empty prefix) comes into being.
      for (const std::u16string& n : r.missing) key = &key->AddSubkey(n);
    } else if (key->IsLink()) {
      return ERROR_ACCESS_DENIED;
    } else if (const RegValue* old = key->FindValue(name); old != nullptr && old->type == dwType && old->data == data) {
      return ERROR_SUCCESS;  // unchanged: Wine leaves the time alone, and so does the file
    }
    key->SetValue(name, dwType, std::move(data));
    key->SetModified(FileTimeNow());
    changed = !key->IsVolatile();  // a volatile key is in no file: nothing to save, nothing to fail
    return ERROR_SUCCESS;
  });
} catch (...) {
  return StatusOfCaughtException();
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) try {
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_SET_VALUE)) return status;
  // Nothing to delete (HKEY_USERS itself holds no values) needs no lock and no write.
  const std::u16string name = ToUnits(lpValueName);
  if (call.Node() == nullptr || call.Node()->FindValue(name) == nullptr) return ERROR_FILE_NOT_FOUND;
  return call.Change([&](Resolution& r, bool& changed) -> LONG {
    if (!r.missing.empty()) return call.Key().predefined ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    if (r.key == nullptr || !r.key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    r.key->SetModified(FileTimeNow());
    changed = !r.key->IsVolatile();
    return ERROR_SUCCESS;
  });
} catch (...) {
  return StatusOfCaughtException();
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) try {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_QUERY_VALUE)) return status;
  const RegKey* key = call.Node();
  if (key == nullptr || dwIndex >= key->ValueCount()) return ERROR_NO_MORE_ITEMS;

  const RegValue& value = key->Value(dwIndex);
  std::string converted;
  const std::span<const std::uint8_t> bytes = AnsiData(value, converted);
  if (bytes.size() > kMaxDword) return ERROR_REGISTRY_CORRUPT;
  const auto size = static_cast<DWORD>(bytes.size());
  if (lpType != nullptr) *lpType = value.type;
  if (lpData != nullptr && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData != nullptr) CopyOut(bytes, value.type, lpData, *lpcbData);
  if (lpcbData != nullptr) *lpcbData = size;
  // With no room at all for the name, Wine still hands over the data and leaves the name alone.
  if (*lpcchValueName == 0) return ERROR_MORE_DATA;

  const std::string name = vidazoz::ansi::FromUtf16(value.name);
  if (name.size() >= *lpcchValueName) {
    // Wine writes what fits, terminated, and leaves the count alone.
    const std::size_t fits = *lpcchValueName - 1;
    std::memcpy(lpValueName, name.data(), fits);
    lpValueName[fits] = '\0';
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpValueName, name.c_str(), name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
} catch (...) {
  return StatusOfCaughtException();
}
