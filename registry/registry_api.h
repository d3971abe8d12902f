// The seam between cRegistry and the registry platform. The system instance forwards to
// advapi32 (the real one on Windows, ours on Linux); tests put a double in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "advapi32.h"

namespace vidazoz {

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // Every status but a close's must be read.
  [[nodiscard]] virtual LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                           PHKEY phkResult) = 0;
  [[nodiscard]] virtual LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                             DWORD dwOptions, REGSAM samDesired,
                                             const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                                             LPDWORD lpdwDisposition) = 0;
  virtual LONG RegCloseKey(HKEY hKey) = 0;
  [[nodiscard]] virtual LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) = 0;
  [[nodiscard]] virtual LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) = 0;
  [[nodiscard]] virtual LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                              LPBYTE lpData, LPDWORD lpcbData) = 0;
  [[nodiscard]] virtual LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                            const BYTE* lpData, DWORD cbData) = 0;
  [[nodiscard]] virtual LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                              LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                              LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                              LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                              LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) = 0;
  [[nodiscard]] virtual LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                           LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                           LPDWORD lpcbData) = 0;
  [[nodiscard]] virtual LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) = 0;
  [[nodiscard]] virtual LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) = 0;
};

// The platform handle of a hive number, sign-extended where handles are 64 bits wide.
HKEY HiveHandle(std::int32_t hive);

// The platform's own registry, shared by every cRegistry that is not given another.
std::shared_ptr<RegistryApi> SystemRegistry();

// One key this program opened, closed when the object goes out of scope. It opens, creates or
// connects itself through a local handle and holds the result only when the platform reports
// success, so a failed call leaves nothing to close. Each call returns the platform's status.
class KeyHandle {
 public:
  explicit KeyHandle(RegistryApi& api) : api_(&api) {}
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() { Close(); }

  [[nodiscard]] LONG Open(HKEY parent, LPCSTR path, REGSAM access);
  // With no class, options or security of its own, as every key this program makes.
  [[nodiscard]] LONG Create(HKEY parent, LPCSTR path, REGSAM access);
  // The same root on another computer; a local name may hand back the root itself.
  [[nodiscard]] LONG Connect(LPCSTR machine, HKEY root);
  // Open and Create for a hive number and a UTF-8 path below it, as a cRegistry selects a key.
  [[nodiscard]] LONG OpenSection(std::int32_t hive, const std::string& section, REGSAM access);
  [[nodiscard]] LONG CreateSection(std::int32_t hive, const std::string& section, REGSAM access);

  HKEY Get() const { return key_; }
  // A predefined root is never closed: it belongs to the process, not to this key.
  void Close();

 private:
  LONG Hold(LONG status, HKEY key);

  RegistryApi* api_;
  HKEY key_ = nullptr;
};

}  // namespace vidazoz
