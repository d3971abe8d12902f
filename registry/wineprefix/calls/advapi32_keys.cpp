// Opening, creating, closing and deleting keys, and the connection to a machine's registry.
// Each call has one body taking UTF-16 names; the A and W entry points only convert.
#include <unistd.h>

#include <cstring>

#include "advapi32_calls.h"
#include "ansi.h"
#include "ansi_units.h"
#include "call_status.h"
#include "file_time.h"
#include "key_call.h"
#include "key_change.h"
#include "live_change.h"
#include "wow64_view.h"

using namespace vidazoz::wineprefix;

namespace {

// What checking the caller's own form of a sub-key finds: the A calls' length limit; a W call's
// name is always taken.
LONG NameStatus(LPCSTR subkey) {
  return (subkey != nullptr && std::strlen(subkey) > kMaxAnsiSubkey) ? ERROR_MORE_DATA : ERROR_SUCCESS;
}
LONG NameStatus(LPCWSTR) { return ERROR_SUCCESS; }

void CreateChain(RegKey* parent, const std::vector<std::u16string>& names, const std::u16string& cls,
                 bool isVolatile) {
  if (names.empty()) return;
  const std::uint64_t now = FileTimeNow();
  // All or nothing: a volatile key half made would outlive the failed call in no file.
  RegKey& top = *parent;
  RegKey& first = top.AddSubkey(names.front());
  try {
    for (std::size_t i = 0; i < names.size(); ++i) {
      RegKey& child = i == 0 ? first : parent->AddSubkey(names[i]);
      child.SetModified(now);
      if (!cls.empty()) child.SetClassName(cls);
      child.SetVolatile(isVolatile);
      parent = &child;
    }
  } catch (...) {
    top.RemoveSubkey(names.front());
    throw;
  }
  // Wine stamps a key that gains a sub-key; the file never learns of a volatile one, not even
  // through its parent's time, so that such a change never needs a save that could fail.
  if (!isVolatile || top.IsVolatile()) top.SetModified(now);
}

bool IsLocalMachineName(std::string name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.erase(0, 2);
  auto same = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
  };
  if (same(name, "localhost")) return true;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return false;
  // Wine's computer name is the host name up to its first dot.
  std::string_view computer(host);
  computer = computer.substr(0, computer.find('.'));
  return !computer.empty() && same(name, computer);
}

// Where the key to open is: ERROR_FILE_NOT_FOUND when there is none. A process that only asks whether a few keys
// exist never needs the whole tree.
LONG FindToOpen(KeyCall& call, HKEY root, bool wow32, KeyLocation& at) {
  const HandleKey& base = call.Key();
  const PathNames& names = call.Names();
  // The files' text answers only when no server holds a newer registry.
  if (!base.location.usersRoot && !names.empty() && (!wow32 || root == HKEY_LOCAL_MACHINE) &&
      !base.prefix->Live().Serving()) {
    PathNames full(base.location.path.begin(), base.location.path.end());
    full.insert(full.end(), names.begin(), names.end());
    std::vector<std::u16string> seen;
    const std::optional<bool> exists =
        wow32 ? ExistsWow32WithoutTree(*base.prefix, call.Snapshot().Generation(), full, seen)
              : base.prefix->Store(base.location.branch).ExistsWithoutTree(full);
    if (exists) {
      if (!*exists) return ERROR_FILE_NOT_FOUND;
      if (!wow32) seen.assign(full.begin(), full.end());
      at = KeyLocation{base.location.branch, false, std::move(seen)};
      return ERROR_SUCCESS;
    }
  }
  Resolution r = Resolve(call.Snapshot(), base.location, names, call.Walk(wow32));
  if (r.status != ERROR_SUCCESS) return r.status;
  if (!r.missing.empty()) {
    // A predefined root whose own key is not in the files yet still opens as itself.
    if (!(base.predefined && names.empty())) return ERROR_FILE_NOT_FOUND;
    r.at = base.location;
  }
  at = std::move(r.at);
  return ERROR_SUCCESS;
}

// The bodies below take the sub-key as UTF-16 and, as `nameStatus`, what checking the caller's
// own form of it found (the A calls' length limit), refused where Wine refuses it.

LONG OpenKey(HKEY hKey, std::u16string subkey, LONG nameStatus, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult != nullptr && subkey.empty() && IsPredefinedHandle(hKey)) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;  // Wine faults here
  *phkResult = nullptr;
  if (nameStatus != ERROR_SUCCESS) return nameStatus;
  // Wine keeps HKEY_DYN_DATA in memory only, and empty: nothing lies below it.
  if (PredefinedRoot(hKey) == HKEY_DYN_DATA) return ERROR_FILE_NOT_FOUND;

  KeyCall call;
  if (const LONG status = call.OpenBelow(hKey, std::move(subkey), LeadingSlash::ForgivenUnderClassesRoot))
    return status;
  const bool wow32 = SeesWow32(samDesired, call.Key().wow32);
  KeyLocation at;
  if (const LONG status = FindToOpen(call, PredefinedRoot(hKey), wow32, at)) return status;
  std::optional<HandleTable::Slot> slot = call.ReserveHandle();
  if (!slot) return ERROR_NO_SYSTEM_RESOURCES;
  *phkResult = call.AddHandle(std::move(*slot), std::move(at), samDesired, wow32);
  return ERROR_SUCCESS;
}

LONG CreateKey(HKEY hKey, std::u16string subkey, LONG nameStatus, DWORD Reserved, const std::u16string& cls,
               DWORD dwOptions, REGSAM samDesired, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  if (Reserved != 0) return ERROR_INVALID_PARAMETER;
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;  // Wine creates the key, then faults
  if (dwOptions & REG_OPTION_CREATE_LINK) return ERROR_INVALID_PARAMETER;  // not supported here
  *phkResult = nullptr;
  if (nameStatus != ERROR_SUCCESS) return nameStatus;

  KeyCall call;
  if (const LONG status = call.OpenBelow(hKey, std::move(subkey), LeadingSlash::Refused)) return status;
  const HandleKey& base = call.Key();
  const PathNames& names = call.Names();
  const bool isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
  const bool wow32 = SeesWow32(samDesired, base.wow32);
  const WalkView walk = call.Walk(wow32);
  // The handle's room first: a key made for a handle that cannot be given would be a change
  // reported as failed.
  std::optional<HandleTable::Slot> slot = call.ReserveHandle();
  if (!slot) return ERROR_NO_SYSTEM_RESOURCES;
  const DropCachesOnThrow drop(*base.prefix);

  KeyLocation made;
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  auto settle = [&](const Resolution& r) {
    made = r.at;
    made.path.insert(made.path.end(), r.missing.begin(), r.missing.end());
  };
  Resolution r = Resolve(call.Snapshot(), base.location, names, walk);
  if (r.status != ERROR_SUCCESS) return r.status;
  LONG status = ERROR_SUCCESS;
  if (r.missing.empty()) {
    settle(r);
  } else if (ChangesGoLive(call)) {
    if (r.key == nullptr) return ERROR_ACCESS_DENIED;  // HKEY_USERS holds only the two user branches
    bool created = false;
    status = LiveCreateKey(call, r.at, r.missing, cls, isVolatile, created);
    settle(r);
    if (created) disposition = REG_CREATED_NEW_KEY;
  } else {
    // The create's own view, which may differ from the handle's; the first lock where the cache's
    // walk ended, even at HKEY_USERS.
    status = ChangeKeyWhereItLives(
        *base.prefix, call.Held(), base.location, names, walk, r.at.branch, FollowMove::OnlyWhenSomethingMissing,
        [&](Resolution& now, bool& changed) -> LONG {
          if (now.missing.empty()) {
            settle(now);
            return ERROR_SUCCESS;
          }
          if (now.key == nullptr) return ERROR_ACCESS_DENIED;  // HKEY_USERS holds only the two user branches
          if (now.key->IsVolatile() && !isVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
          settle(now);  // first: nothing may fail once the keys are made
          CreateChain(now.key, now.missing, cls, isVolatile);
          disposition = REG_CREATED_NEW_KEY;
          changed = !isVolatile;
          return ERROR_SUCCESS;
        });
  }
  if (status != ERROR_SUCCESS) return status;
  if (names.empty()) disposition = REG_CREATED_NEW_KEY;  // Wine reports "created" for the key itself
  *phkResult = call.AddHandle(std::move(*slot), std::move(made), samDesired, wow32);
  if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

template <typename Char>
LONG CreateKey(HKEY hKey, const Char* lpSubKey, DWORD Reserved, Char* lpClass, DWORD dwOptions, REGSAM samDesired,
               PHKEY phkResult, LPDWORD lpdwDisposition) {
  return CreateKey(hKey, ToUnits(lpSubKey), NameStatus(lpSubKey), Reserved, ToUnits(lpClass), dwOptions, samDesired,
                   phkResult, lpdwDisposition);
}

LONG DeleteKey(HKEY hKey, std::u16string subkey) {
  KeyCall call;
  if (const LONG status = call.OpenBelow(hKey, std::move(subkey), LeadingSlash::Refused)) return status;
  const HandleKey& base = call.Key();
  const PathNames& names = call.Names();
  // The roots themselves are never deleted (Wine refuses them too: they have sub-keys).
  if (names.empty() && base.predefined) return ERROR_ACCESS_DENIED;

  Resolution r = Resolve(call.Snapshot(), base.location, names, call.Walk());
  if (r.status != ERROR_SUCCESS) return r.status;
  if (!r.missing.empty()) return names.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
  KeyLocation target = r.at;
  if (target.usersRoot || target.path.empty()) return ERROR_ACCESS_DENIED;

  const auto removeLeaf = [&](Resolution& now, bool& changed) -> LONG {
    if (!now.missing.empty()) return names.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
    RegKey* parent = now.key != nullptr ? now.key->Parent() : nullptr;
    if (parent == nullptr || now.at.path.empty()) return ERROR_ACCESS_DENIED;
    if (now.key->SubkeyCount() != 0) return ERROR_ACCESS_DENIED;
    target = now.at;
    const bool inFile = !now.key->IsVolatile();  // as for a create: a volatile key's file is untouched
    parent->RemoveSubkey(std::u16string(now.key->Name()));
    if (inFile || parent->IsVolatile()) parent->SetModified(FileTimeNow());
    changed = inFile;
    return ERROR_SUCCESS;
  };
  const LONG status = ChangesGoLive(call) ? LiveDeleteKey(call, target) : call.Change(removeLeaf);
  if (status == ERROR_SUCCESS) call.MarkDeleted(target);
  return status;
}

template <typename Char>
LONG DeleteKey(HKEY hKey, const Char* lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  if (const LONG status = NameStatus(lpSubKey)) return status;
  return DeleteKey(hKey, ToUnits(lpSubKey));
}

// `machine` as ANSI text: a host name is ASCII, and a name no code page holds names no host here.
LONG ConnectRegistry(const std::string& machine, HKEY hKey, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  // Wine hands back the handle it was given, unchecked.
  if (machine.empty() || IsLocalMachineName(machine)) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  return ERROR_BAD_NETPATH;
}

}  // namespace

LONG RegCloseKey(HKEY hKey) {
  // Wine closes every handle from 0x80000000 up without a look: the roots in any form, and
  // what RegConnectRegistryA handed back for an unknown one.
  if (reinterpret_cast<ULONG_PTR>(hKey) >= 0x80000000u) return ERROR_SUCCESS;
  return Guarded([&] { return KeyCall().Close(hKey); });
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  return Guarded([&] { return OpenKey(hKey, ToUnits(lpSubKey), NameStatus(lpSubKey), samDesired, phkResult); });
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  return Guarded([&] { return OpenKey(hKey, ToUnits(lpSubKey), NameStatus(lpSubKey), samDesired, phkResult); });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/, PHKEY phkResult, LPDWORD lpdwDisposition) {
  return Guarded([&] {
    return CreateKey(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition);
  });
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/, PHKEY phkResult, LPDWORD lpdwDisposition) {
  return Guarded([&] {
    return CreateKey(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition);
  });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  return Guarded([&] { return DeleteKey(hKey, lpSubKey); });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  return Guarded([&] { return DeleteKey(hKey, lpSubKey); });
}

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  return Guarded([&] {
    return ConnectRegistry(lpMachineName == nullptr ? std::string() : std::string(lpMachineName), hKey, phkResult);
  });
}

LONG RegConnectRegistryW(LPCWSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  return Guarded([&] { return ConnectRegistry(vidazoz::ansi::FromUtf16(ToUnits(lpMachineName)), hKey, phkResult); });
}
