// The advapi32 calls cRegistry makes, under their Windows names and signatures, as implemented
// over a Wine prefix's registry files by the advapi32_*.cpp files beside this header.
#pragma once

#include "win32_types.h"

// Over a Wine prefix, a call that changes the registry may also be refused with:
//   ERROR_REGISTRY_CORRUPT (1015)   the branch's file did not parse whole, or is a user file
//                                   whose #arch Wine would reject: it is never rewritten
//   ERROR_SHARING_VIOLATION (32)    a wineserver runs for the prefix and owns its files
//   ERROR_ACCESS_DENIED (5)         the prefix's files or folder cannot be written
//   ERROR_REGISTRY_IO_FAILED (1016) the new file could not be written or made durable
//   ERROR_BADDB (1009)              the branch's file is larger than any Wine could load, or
//                                   mostly holes: it is neither read nor rewritten
// Reads are never refused for these reasons (such a file reads as empty). Every status but a
// close's must be read.
[[nodiscard]] LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
[[nodiscard]] LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                   REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                   PHKEY phkResult, LPDWORD lpdwDisposition);
LONG RegCloseKey(HKEY hKey);
[[nodiscard]] LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
[[nodiscard]] LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
[[nodiscard]] LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                    LPBYTE lpData, LPDWORD lpcbData);
[[nodiscard]] LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData);
[[nodiscard]] LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                    LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                    LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                    LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
[[nodiscard]] LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                 LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
[[nodiscard]] LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
[[nodiscard]] LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);

// The same calls with UTF-16 names and string data, which reach every name the files hold
// (the A calls turn what Windows-1252 lacks into '?'). Lengths count WCHARs where the A calls
// count bytes; string data is passed and returned as stored, and a too small class buffer is
// ERROR_INSUFFICIENT_BUFFER with nothing written, as advapi32 does.
[[nodiscard]] LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
[[nodiscard]] LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                                   REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                   PHKEY phkResult, LPDWORD lpdwDisposition);
[[nodiscard]] LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
[[nodiscard]] LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
[[nodiscard]] LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                    LPBYTE lpData, LPDWORD lpcbData);
[[nodiscard]] LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData);
[[nodiscard]] LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                    LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                    LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                    LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
[[nodiscard]] LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                 LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
[[nodiscard]] LONG RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName);
[[nodiscard]] LONG RegConnectRegistryW(LPCWSTR lpMachineName, HKEY hKey, PHKEY phkResult);
