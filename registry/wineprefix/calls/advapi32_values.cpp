// Values: query, set, delete and enumerate, with the A and W calls' conversions and size rules.
// Each call has one body taking UTF-16 names; the entry points only convert.
#include <cstring>
#include <span>
#include <type_traits>

#include "advapi32_calls.h"
#include "ansi.h"
#include "call_status.h"
#include "key_call.h"
#include "live_change.h"
#include "process_state.h"

using namespace vidazoz::wineprefix;

namespace {

constexpr std::size_t kMaxValueNameUnits = 16383;
constexpr std::uint64_t kMaxDword = 0xFFFFFFFF;
// A string is stored as UTF-16: beyond this many units a DWORD cannot give its size.
constexpr std::size_t kMaxStringUnits = kMaxDword / 2;

// Whether the caller is an A call (names and string data in the ANSI code page) or a W one
// (UTF-16, string data as stored).
enum class Text { Ansi, Wide };

// The bytes a caller receives for a value: for an A caller strings converted to the ANSI code
// page (into `converted`); anything else as stored.
std::span<const std::uint8_t> DataFor(Text text, const RegValue& value, std::string& converted) {
  if (text == Text::Wide || !IsStringType(value.type)) return value.data;
  converted = AnsiFromStored(value.data);
  return {reinterpret_cast<const std::uint8_t*>(converted.data()), converted.size()};
}

// Copies data into the caller's buffer; a string that does not end in NUL (a byte, or for a W
// caller a whole unit) gets one after it when there is room, without counting it.
void CopyOut(Text text, std::span<const std::uint8_t> bytes, DWORD type, LPBYTE out, DWORD room) {
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  if (!IsStringType(type)) return;
  const std::size_t n = bytes.size();
  if (text == Text::Ansi) {
    if (n != 0 && bytes.back() != 0 && room > n) out[n] = 0;
  } else if (n >= 2 && (bytes[n - 2] != 0 || bytes[n - 1] != 0) && room >= n + 2) {
    out[n] = out[n + 1] = 0;
  }
}

// False for a string whose stored size a DWORD cannot give.
bool StoredData(Text text, DWORD type, const BYTE* data, DWORD cbData, std::vector<std::uint8_t>& bytes) {
  if (!IsStringType(type)) {
    bytes.assign(data, data + cbData);
    return true;
  }
  if (text == Text::Wide) {
    // As Windows does: a string whose NUL unit lies just past the count gets it included.
    std::size_t count = cbData;
    const auto unitAt = [&](std::size_t i) { return data[2 * i] | (data[2 * i + 1] << 8); };
    if (count >= 2 && unitAt(count / 2 - 1) != 0 && unitAt(count / 2) == 0) count += 2;
    if (count > kMaxDword) return false;
    bytes.assign(data, data + count);
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

// The size of data a caller receives. No Wine registry holds a value a DWORD cannot measure:
// the file that gave it is not one (ERROR_REGISTRY_CORRUPT).
LONG MeasuredSize(std::span<const std::uint8_t> bytes, DWORD& size) {
  if (bytes.size() > kMaxDword) return ERROR_REGISTRY_CORRUPT;
  size = static_cast<DWORD>(bytes.size());
  return ERROR_SUCCESS;
}

// The A (Char char) and W (Char WCHAR) calls differ in how names and string data pass.
template <typename Char>
constexpr Text kTextOf = std::is_same_v<Char, char> ? Text::Ansi : Text::Wide;

template <typename Char>
LONG QueryValue(HKEY hKey, const Char* lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                LPDWORD lpcbData) {
  constexpr Text text = kTextOf<Char>;
  const std::u16string name = ToUnits(lpValueName);
  if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  // Wine's A call reports "no type" for a value it could not reach (but leaves it alone for a
  // bad handle); its W call leaves the type alone.
  auto failed = [&](LONG status) {
    if (lpType != nullptr && text == Text::Ansi) *lpType = REG_NONE;
    return status;
  };
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_QUERY_VALUE))
    return status == ERROR_INVALID_HANDLE ? status : failed(status);
  const RegValue* value = call.Node() != nullptr ? call.Node()->FindValue(name) : nullptr;
  if (value == nullptr) {
    if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
    return failed(ERROR_FILE_NOT_FOUND);
  }
  std::string converted;
  const std::span<const std::uint8_t> bytes = DataFor(text, *value, converted);
  DWORD size = 0;
  if (const LONG status = MeasuredSize(bytes, size)) return status;
  // The room is read before the type is written: a caller may pass one variable for both.
  const DWORD room = lpcbData != nullptr ? *lpcbData : 0;
  if (lpType != nullptr) *lpType = value->type;
  if (lpData != nullptr) {
    if (room < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    CopyOut(text, bytes, value->type, lpData, room);
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

template <typename Char>
LONG SetValue(HKEY hKey, const Char* lpValueName, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  constexpr Text text = kTextOf<Char>;
  const std::u16string name = ToUnits(lpValueName);
  KeyCall call;
  if (const LONG status = call.Open(hKey)) return status;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  if (const LONG status = call.Require(KEY_SET_VALUE)) return status;
  if (name.size() > kMaxValueNameUnits) return ERROR_INVALID_PARAMETER;
  if (call.Key().location.usersRoot) return ERROR_ACCESS_DENIED;  // no file holds HKEY_USERS itself
  std::vector<std::uint8_t> data;
  if (lpData != nullptr && !StoredData(text, dwType, lpData, cbData, data)) return ERROR_INVALID_PARAMETER;
  if (ChangesGoLive(call)) return LiveSetValue(call, name, dwType, data);

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
}

LONG DeleteValue(HKEY hKey, const std::u16string& name) {
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_SET_VALUE)) return status;
  // Nothing to delete (HKEY_USERS itself holds no values) needs no lock and no write.
  if (call.Node() == nullptr || call.Node()->FindValue(name) == nullptr) return ERROR_FILE_NOT_FOUND;
  if (ChangesGoLive(call)) return LiveDeleteValue(call, name);
  return call.Change([&](Resolution& r, bool& changed) -> LONG {
    if (!r.missing.empty()) return call.Key().predefined ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    if (r.key == nullptr || !r.key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    r.key->SetModified(FileTimeNow());
    changed = !r.key->IsVolatile();
    return ERROR_SUCCESS;
  });
}

// The A call hands over the data first: with no room at all for the name, Wine still hands it
// over and leaves the name alone.
LONG EnumeratedOut(const RegValue& value, std::span<const std::uint8_t> bytes, DWORD size, LPSTR lpValueName,
                   LPDWORD lpcchValueName, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpType != nullptr) *lpType = value.type;
  if (lpData != nullptr && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData != nullptr) CopyOut(Text::Ansi, bytes, value.type, lpData, *lpcbData);
  if (lpcbData != nullptr) *lpcbData = size;
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
}

// Unlike the A call, the name comes first: one that does not fit leaves the data alone, and the
// type and size are still reported.
LONG EnumeratedOut(const RegValue& value, std::span<const std::uint8_t> bytes, DWORD size, LPWSTR lpValueName,
                   LPDWORD lpcchValueName, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  const auto overflow = [&] {
    if (lpType != nullptr) *lpType = value.type;
    if (lpcbData != nullptr) *lpcbData = size;
    return ERROR_MORE_DATA;
  };
  if (value.name.size() >= *lpcchValueName) return overflow();
  std::memcpy(lpValueName, value.name.data(), value.name.size() * sizeof(char16_t));
  lpValueName[value.name.size()] = u'\0';
  *lpcchValueName = static_cast<DWORD>(value.name.size());
  if (lpData != nullptr) {
    if (*lpcbData < size) return overflow();
    CopyOut(Text::Wide, bytes, value.type, lpData, *lpcbData);
  }
  if (lpType != nullptr) *lpType = value.type;
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

// RegEnumValueA (Char char) and RegEnumValueW (Char WCHAR): the same checks in Wine's order,
// then each hands the value over in its own order.
template <typename Char>
LONG EnumValue(HKEY hKey, DWORD dwIndex, Char* lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
               LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  KeyCall call;
  if (const LONG status = call.Read(hKey, KEY_QUERY_VALUE)) return status;
  const RegKey* key = call.Node();
  if (key == nullptr || dwIndex >= key->ValueCount()) return ERROR_NO_MORE_ITEMS;

  const RegValue& value = key->Value(dwIndex);
  std::string converted;
  const std::span<const std::uint8_t> bytes =
      DataFor(kTextOf<Char>, value, converted);
  DWORD size = 0;
  if (const LONG status = MeasuredSize(bytes, size)) return status;
  return EnumeratedOut(value, bytes, size, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

}  // namespace

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  return Guarded([&] { return QueryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData); });
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  return Guarded([&] { return QueryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData); });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved: ignored, as by Wine*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  return Guarded([&] { return SetValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved: ignored, as by Wine*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  return Guarded([&] { return SetValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return Guarded([&] { return DeleteValue(hKey, ToUnits(lpValueName)); });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Guarded([&] { return DeleteValue(hKey, ToUnits(lpValueName)); });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return Guarded([&] {
    return EnumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
  });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return Guarded([&] {
    return EnumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
  });
}
