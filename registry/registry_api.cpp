// The system registry seam, forwarding to advapi32, and the key handle that opens through it.
#include "registry_api.h"

#include "ansi.h"

namespace vidazoz {
namespace {

class SystemRegistryApi final : public RegistryApi {
 public:
  LONG RegOpenKeyExA(HKEY k, LPCSTR s, DWORD o, REGSAM a, PHKEY r) override {
    return ::RegOpenKeyExA(k, s, o, a, r);
  }
  LONG RegCreateKeyExA(HKEY k, LPCSTR s, DWORD res, LPSTR c, DWORD o, REGSAM a,
                       const SECURITY_ATTRIBUTES* sa, PHKEY r, LPDWORD d) override {
    return ::RegCreateKeyExA(k, s, res, c, o, a, const_cast<SECURITY_ATTRIBUTES*>(sa), r, d);
  }
  LONG RegCloseKey(HKEY k) override { return ::RegCloseKey(k); }
  LONG RegDeleteKeyA(HKEY k, LPCSTR s) override { return ::RegDeleteKeyA(k, s); }
  LONG RegDeleteValueA(HKEY k, LPCSTR n) override { return ::RegDeleteValueA(k, n); }
  LONG RegQueryValueExA(HKEY k, LPCSTR n, LPDWORD res, LPDWORD t, LPBYTE d, LPDWORD cb) override {
    return ::RegQueryValueExA(k, n, res, t, d, cb);
  }
  LONG RegSetValueExA(HKEY k, LPCSTR n, DWORD res, DWORD t, const BYTE* d, DWORD cb) override {
    return ::RegSetValueExA(k, n, res, t, d, cb);
  }
  LONG RegQueryInfoKeyA(HKEY k, LPSTR c, LPDWORD cc, LPDWORD res, LPDWORD sk, LPDWORD msk,
                        LPDWORD mc, LPDWORD v, LPDWORD mvn, LPDWORD mv, LPDWORD sd,
                        PFILETIME ft) override {
    return ::RegQueryInfoKeyA(k, c, cc, res, sk, msk, mc, v, mvn, mv, sd, ft);
  }
  LONG RegEnumValueA(HKEY k, DWORD i, LPSTR n, LPDWORD cn, LPDWORD res, LPDWORD t, LPBYTE d,
                     LPDWORD cb) override {
    return ::RegEnumValueA(k, i, n, cn, res, t, d, cb);
  }
  LONG RegEnumKeyA(HKEY k, DWORD i, LPSTR n, DWORD cn) override {
    return ::RegEnumKeyA(k, i, n, cn);
  }
  LONG RegConnectRegistryA(LPCSTR m, HKEY k, PHKEY r) override {
    return ::RegConnectRegistryA(m, k, r);
  }
};

// HKEY_CLASSES_ROOT up to HKEY_DYN_DATA, in the width and sign extension of this platform's handles.
bool IsPredefinedRoot(HKEY key) {
  const auto value = reinterpret_cast<ULONG_PTR>(key);
  return value >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) && value <= reinterpret_cast<ULONG_PTR>(HKEY_DYN_DATA);
}

}  // namespace

std::shared_ptr<RegistryApi> SystemRegistry() {
  static const auto instance = std::make_shared<SystemRegistryApi>();
  return instance;
}

// Each call's status is taken before its handle is read: the platform writes the handle during the call.
LONG KeyHandle::Open(HKEY parent, LPCSTR path, REGSAM access) {
  HKEY opened = nullptr;
  const LONG status = api_->RegOpenKeyExA(parent, path, 0, access, &opened);
  return Hold(status, opened);
}

LONG KeyHandle::Create(HKEY parent, LPCSTR path, REGSAM access) {
  char noClass[] = "";
  const SECURITY_ATTRIBUTES security{0, nullptr, 0};
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LONG status = api_->RegCreateKeyExA(parent, path, 0, noClass, 0, access, &security, &created, &disposition);
  return Hold(status, created);
}

LONG KeyHandle::Connect(LPCSTR machine, HKEY root) {
  HKEY connected = nullptr;
  const LONG status = api_->RegConnectRegistryA(machine, root, &connected);
  return Hold(status, connected);
}

LONG KeyHandle::OpenSection(std::int32_t hive, const std::string& section, REGSAM access) {
  return Open(HiveHandle(hive), ansi::FromUtf8(section).c_str(), access);
}

LONG KeyHandle::CreateSection(std::int32_t hive, const std::string& section, REGSAM access) {
  return Create(HiveHandle(hive), ansi::FromUtf8(section).c_str(), access);
}

void KeyHandle::Close() {
  if (key_ != nullptr && !IsPredefinedRoot(key_)) api_->RegCloseKey(key_);
  key_ = nullptr;
}

LONG KeyHandle::Hold(LONG status, HKEY key) {
  if (status == ERROR_SUCCESS) {
    Close();
    key_ = key;
  }
  return status;
}

}  // namespace vidazoz
