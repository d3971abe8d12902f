// How every Reg* call through a handle starts, in one place as each request of Wine's registry
// server starts with get_hkey_obj: the process mutex held, the handle's key found and its rights
// checked, a deleted key turned into its status.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "handle_table.h"
#include "key_change.h"
#include "key_path.h"
#include "prefix_registry.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

// Whether a sub-key string may start with one backslash: only opening under HKEY_CLASSES_ROOT
// forgives it, as Wine does.
enum class LeadingSlash { Refused, ForgivenUnderClassesRoot };

class ProcessState;

// One call's hold on the key it names. Holds the process mutex from construction to the end of
// the call, except while a change waits for the prefix lock.
class KeyCall {
 public:
  KeyCall();
  KeyCall(const KeyCall&) = delete;
  KeyCall& operator=(const KeyCall&) = delete;

  // The handle's key, when the handle grants `access` (0 asks for no right).
  // ERROR_INVALID_HANDLE for 0, unknown handles and the pseudo roots that are no keys;
  // ERROR_KEY_DELETED for a key deleted through this process; ERROR_ACCESS_DENIED when the
  // right is missing.
  [[nodiscard]] LONG Open(HKEY handle, REGSAM access = 0);
  // The right check of Open alone, for a call that checks an argument between the two.
  [[nodiscard]] LONG Require(REGSAM access) const;
  // Open, then the key itself as it is now in the handle's view (Node): ERROR_KEY_DELETED when
  // another process deleted it. A predefined root that is not in the files yet reads as an empty key.
  [[nodiscard]] LONG Read(HKEY handle, REGSAM access);
  // Open with no right needed, then the key `subkey` names below it (Names): ERROR_BAD_PATHNAME
  // for a leading backslash, ERROR_INVALID_PARAMETER for a name longer than Wine takes.
  [[nodiscard]] LONG OpenBelow(HKEY handle, std::u16string subkey, LeadingSlash slash);

  const HandleKey& Key() const { return key_; }
  const PathNames& Names() const { return names_; }  // below Key(); views into the sub-key string
  // The key Read found; null at HKEY_USERS itself, which no file holds.
  const RegKey* Node() const { return node_; }

  // The picture of the registry this call reads: each branch checked against its file once.
  RegistrySnapshot& Snapshot() { return *snapshot_; }
  // How a walk from the call's key sees the registry: in the 32-bit view or not, the root's own
  // path redirected too when the handle is a predefined root.
  WalkView Walk(bool wow32) const;
  WalkView Walk() const { return Walk(key_.wow32); }

  // Changes the named key in the file where it lives now, seen in the handle's own view.
  [[nodiscard]] LONG Change(const KeyChange& change);

  // Closes a handle of the table: ERROR_INVALID_HANDLE when the process holds no such handle.
  [[nodiscard]] LONG Close(HKEY handle);

  // A new handle on `at`, a key reached from the call's key, with the rights `desired` maps to
  // and the view `wow32`.
  [[nodiscard]] HKEY AddHandle(HandleTable::Slot slot, KeyLocation at, REGSAM desired, bool wow32) noexcept;

  // Room for one more handle, taken before a change: a key made for a handle that cannot be
  // given would be a change reported as failed. Empty when the process holds too many.
  [[nodiscard]] std::optional<HandleTable::Slot> ReserveHandle();
  // After `target` (in the call's prefix) was deleted: the handles open on it see
  // ERROR_KEY_DELETED from then on.
  void MarkDeleted(const KeyLocation& target);
  // The process mutex this call holds, for a change that lets it go while waiting for the
  // prefix lock.
  std::mutex& Held();

  // The process's own state, for what is asked of the process rather than of a key: the prefix
  // the environment names now, and whether calls see the registry as a 32-bit program under
  // WoW64 does (wow64_process.h).
  std::shared_ptr<PrefixRegistry> CurrentPrefix();
  bool Wow64Process() const;
  void SetWow64Process(bool on);

 private:
  ProcessState& process_;
  std::lock_guard<std::mutex> lock_;
  HandleKey key_;
  std::optional<RegistrySnapshot> snapshot_;
  std::u16string subkey_;
  PathNames names_;
  const RegKey* node_ = nullptr;
};

}  // namespace vidazoz::wineprefix
