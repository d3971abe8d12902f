// The seam between cRegistry and the registry platform. The system instance forwards to
// advapi32 (the real one on Windows, ours on Linux); tests put a double in its place.
#pragma once

#include <memory>

#include "advapi32.h"

namespace vidazoz {

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  virtual LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) = 0;
  virtual LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) = 0;
  virtual LONG RegCloseKey(HKEY hKey) = 0;
  virtual LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) = 0;
  virtual LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) = 0;
  virtual LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) = 0;
  virtual LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) = 0;
  virtual LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) = 0;
  virtual LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) = 0;
  virtual LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) = 0;
  virtual LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) = 0;
};

// The platform's own registry, shared by every cRegistry that is not given another.
std::shared_ptr<RegistryApi> SystemRegistry();

// Closes a key handle when it goes out of scope; predefined roots are left alone by the platform.
class KeyHandle {
 public:
  explicit KeyHandle(RegistryApi& api) : api_(&api) {}
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() { Close(); }

  PHKEY Out() { return &key_; }
  HKEY Get() const { return key_; }
  void Close() {
    if (key_ != nullptr) api_->RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  RegistryApi* api_;
  HKEY key_ = nullptr;
};

}  // namespace vidazoz
