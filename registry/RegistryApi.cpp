#include "RegistryApi.h"

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

}  // namespace

std::shared_ptr<RegistryApi> SystemRegistry() {
  static const auto instance = std::make_shared<SystemRegistryApi>();
  return instance;
}

}  // namespace vidazoz
