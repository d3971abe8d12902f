// A GoogleMock double of the registry platform, for paths real registries cannot produce
// (access denied, a platform that throws).
#pragma once

#include <gmock/gmock.h>

#include "registry_api.h"

namespace vidazoz::testing {

class MockRegistryApi : public RegistryApi {
 public:
  MOCK_METHOD(LONG, RegOpenKeyExA, (HKEY, LPCSTR, DWORD, REGSAM, PHKEY), (override));
  MOCK_METHOD(LONG, RegCreateKeyExA,
              (HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD),
              (override));
  MOCK_METHOD(LONG, RegCloseKey, (HKEY), (override));
  MOCK_METHOD(LONG, RegDeleteKeyA, (HKEY, LPCSTR), (override));
  MOCK_METHOD(LONG, RegDeleteValueA, (HKEY, LPCSTR), (override));
  MOCK_METHOD(LONG, RegQueryValueExA, (HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD), (override));
  MOCK_METHOD(LONG, RegSetValueExA, (HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD), (override));
  MOCK_METHOD(LONG, RegQueryInfoKeyA,
              (HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
               LPDWORD, PFILETIME),
              (override));
  MOCK_METHOD(LONG, RegEnumValueA, (HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD),
              (override));
  MOCK_METHOD(LONG, RegEnumKeyA, (HKEY, DWORD, LPSTR, DWORD), (override));
  MOCK_METHOD(LONG, RegConnectRegistryA, (LPCSTR, HKEY, PHKEY), (override));
};

// A handle value a double hands out for an opened key.
inline HKEY FakeKey(std::uintptr_t n) { return reinterpret_cast<HKEY>(n); }

}  // namespace vidazoz::testing
