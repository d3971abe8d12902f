// The requests, each one Wine call or a few, on keys named from a branch root without any
// redirection: the caller has already resolved views and links.
#include "registry_ops.h"

#include <windows.h>
#include <winternl.h>

#include <string>

namespace vidazoz::live::helper {
namespace {

constexpr DWORD kWatched =
    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

// Real key handles, not the predefined pseudo handles: the server's save request takes only those.
HKEY OpenRoot(int branch) {
  HKEY key = nullptr;
  const REGSAM access = KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY;
  switch (branch) {
    case 0: {
      using OpenKey = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
      const auto open = reinterpret_cast<OpenKey>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtOpenKey")));
      wchar_t path[] = L"\\Registry\\Machine";
      UNICODE_STRING name{static_cast<USHORT>(sizeof path - sizeof(wchar_t)), static_cast<USHORT>(sizeof path), path};
      OBJECT_ATTRIBUTES attributes{};
      attributes.Length = sizeof attributes;
      attributes.ObjectName = &name;
      attributes.Attributes = OBJ_CASE_INSENSITIVE;
      HANDLE handle = nullptr;
      if (open != nullptr && open(&handle, access, &attributes) == 0) key = static_cast<HKEY>(handle);
      break;
    }
    case 1: RegOpenCurrentUser(access, &key); break;
    case 2: RegOpenKeyExW(HKEY_USERS, L".Default", 0, access, &key); break;
    default: break;
  }
  return key;
}

using SaveKey = LONG(WINAPI*)(HKEY, HANDLE);  // NtSaveKey: what RegSaveKey calls with its file
using StatusToError = ULONG(WINAPI*)(LONG);

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::vector<std::uint8_t> StatusOnly(std::uint32_t status) { return PayloadWriter().U32(status).Take(); }

}  // namespace

RegistryOps::RegistryOps() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll != nullptr) {
    saveKey_ = reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSaveKey"));
    statusToError_ = reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError"));
  }
  wchar_t dir[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH, dir) != 0 && GetTempFileNameW(dir, L"vzs", 0, name) != 0) {
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) snapshotFile_ = file;
  }
  for (int b = 0; b < 3; ++b) {
    roots_[b] = OpenRoot(b);
    events_[b] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Arm(b);
  }
}

RegistryOps::~RegistryOps() {
  if (snapshotFile_ != nullptr) CloseHandle(snapshotFile_);
  for (int b = 0; b < 3; ++b) {
    if (roots_[b] != nullptr) RegCloseKey(static_cast<HKEY>(roots_[b]));
    if (events_[b] != nullptr) CloseHandle(events_[b]);
  }
}

void RegistryOps::Arm(int branch) {
  if (roots_[branch] != nullptr && events_[branch] != nullptr)
    RegNotifyChangeKeyValue(static_cast<HKEY>(roots_[branch]), TRUE, kWatched, events_[branch], TRUE);
}

std::uint32_t RegistryOps::Poll() {
  std::uint32_t changed = 0;
  for (int b = 0; b < 3; ++b) {
    // A root that cannot be watched is reported changed every time: never a stale answer.
    if (roots_[b] == nullptr || events_[b] == nullptr) {
      changed |= 1u << b;
    } else if (WaitForSingleObject(events_[b], 0) == WAIT_OBJECT_0) {
      Arm(b);  // before the caller's snapshot, so nothing after it goes unreported
      changed |= 1u << b;
    }
  }
  return changed;
}

std::uint32_t RegistryOps::Snapshot(int branch, std::vector<std::uint8_t>& bytes) {
  if (roots_[branch] == nullptr) return ERROR_FILE_NOT_FOUND;
  if (snapshotFile_ == nullptr || saveKey_ == nullptr) return ERROR_NOT_SUPPORTED;
  // The server writes a snapshot only to a file: one of our own, emptied and reused, so no
  // Unix path is involved (a prefix without Z: works) and no file is made per snapshot.
  const HANDLE file = snapshotFile_;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !SetEndOfFile(file))
    return GetLastError();
  const LONG saved = reinterpret_cast<SaveKey>(saveKey_)(static_cast<HKEY>(roots_[branch]), file);
  if (saved != 0) return reinterpret_cast<StatusToError>(statusToError_)(saved);
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return GetLastError();
  char chunk[65536];
  DWORD got = 0;
  for (;;) {
    if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return GetLastError();
    if (got == 0) return ERROR_SUCCESS;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
}

std::vector<std::uint8_t> RegistryOps::Handle(Kind kind, PayloadReader& in) {
  std::uint8_t branch = 0;
  std::u16string path;
  if (kind == Kind::Hello) return StatusOnly(ERROR_SUCCESS);
  if (kind == Kind::Poll) return PayloadWriter().U32(ERROR_SUCCESS).U32(Poll()).Take();
  if (!in.U8(branch) || branch > 2) return StatusOnly(ERROR_INVALID_PARAMETER);
  const HKEY root = static_cast<HKEY>(roots_[branch]);
  if (root == nullptr) return StatusOnly(ERROR_FILE_NOT_FOUND);
  switch (kind) {
    case Kind::Snapshot: {
      std::vector<std::uint8_t> bytes;
      const std::uint32_t status = Snapshot(branch, bytes);
      return PayloadWriter().U32(status).Bytes(bytes).Take();
    }
    case Kind::CreateKey: {
      std::u16string cls;
      std::uint32_t options = 0;
      if (!in.Str(path) || !in.Str(cls) || !in.U32(options)) break;
      Key key;
      DWORD disposition = 0;
      const LONG status = RegCreateKeyExW(root, Wide(path), 0, cls.empty() ? nullptr : const_cast<wchar_t*>(Wide(cls)),
                                          options, KEY_QUERY_VALUE | KEY_WOW64_64KEY, nullptr, key.Out(), &disposition);
      return PayloadWriter().U32(static_cast<std::uint32_t>(status)).U32(disposition).Take();
    }
    case Kind::SetValue: {
      std::u16string name;
      std::uint32_t type = 0;
      std::vector<std::uint8_t> data;
      if (!in.Str(path) || !in.Str(name) || !in.U32(type) || !in.Bytes(data)) break;
      Key key;
      LONG status = RegOpenKeyExW(root, Wide(path), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Out());
      if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.Get(), Wide(name), 0, type, data.data(), static_cast<DWORD>(data.size()));
      return StatusOnly(static_cast<std::uint32_t>(status));
    }
    case Kind::DeleteValue: {
      std::u16string name;
      if (!in.Str(path) || !in.Str(name)) break;
      Key key;
      LONG status = RegOpenKeyExW(root, Wide(path), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Out());
      if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.Get(), Wide(name));
      return StatusOnly(static_cast<std::uint32_t>(status));
    }
    case Kind::DeleteKey: {
      if (!in.Str(path)) break;
      return StatusOnly(static_cast<std::uint32_t>(RegDeleteKeyExW(root, Wide(path), KEY_WOW64_64KEY, 0)));
    }
    default: break;
  }
  return StatusOnly(ERROR_INVALID_PARAMETER);
}

}  // namespace vidazoz::live::helper
