// Placeholder until the Wine-prefix registry lands: every call fails with a status.
#include "../advapi32.h"
namespace { constexpr LONG kPending = 120; }  // ERROR_CALL_NOT_IMPLEMENTED
LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { return kPending; }
LONG RegCreateKeyExA(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD) { return kPending; }
LONG RegCloseKey(HKEY) { return kPending; }
LONG RegDeleteKeyA(HKEY, LPCSTR) { return kPending; }
LONG RegDeleteValueA(HKEY, LPCSTR) { return kPending; }
LONG RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return kPending; }
LONG RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) { return kPending; }
LONG RegQueryInfoKeyA(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, PFILETIME) { return kPending; }
LONG RegEnumValueA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return kPending; }
LONG RegEnumKeyA(HKEY, DWORD, LPSTR, DWORD) { return kPending; }
LONG RegConnectRegistryA(LPCSTR, HKEY, PHKEY) { return kPending; }
