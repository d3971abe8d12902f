// A call's handle resolved to its key, its rights checked, and the key read or named below it.
#include "key_call.h"

#include <utility>

#include "process_state.h"

namespace vidazoz::wineprefix {

KeyCall::KeyCall() : process_(ProcessState::Instance()), lock_(process_.Mutex()) {}

LONG KeyCall::Open(HKEY handle, REGSAM access) {
  if (handle == nullptr) return ERROR_INVALID_HANDLE;
  if (IsPredefinedHandle(handle)) {
    std::optional<KeyLocation> root = RootLocation(handle);
    if (!root) return ERROR_INVALID_HANDLE;
    key_ = HandleKey{.prefix = process_.CurrentPrefix(),
                     .location = std::move(*root),
                     .access = KEY_ALL_ACCESS,
                     .wow32 = process_.Wow64Process(),
                     .predefined = true};
  } else {
    const HandleKey* open = process_.Handles().Find(handle);
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    if (open->deleted) return ERROR_KEY_DELETED;
    key_ = *open;  // a copy: a change lets go of the mutex, and the handle may be closed meanwhile
  }
  snapshot_.emplace(*key_.prefix);
  return Require(access);
}

LONG KeyCall::Require(REGSAM access) const {
  return (key_.access & access) == access ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG KeyCall::Read(HKEY handle, REGSAM access) {
  if (const LONG status = Open(handle, access)) return status;
  if (key_.location.usersRoot) return ERROR_SUCCESS;
  // A root used as it is shows its own view: HKEY_CLASSES_ROOT of a 32-bit process is the 32-bit one.
  const Resolution r = Resolve(Snapshot(), key_.location, {}, Walk());
  if (r.status == ERROR_SUCCESS && r.missing.empty()) {
    node_ = r.key;
    return ERROR_SUCCESS;
  }
  if (key_.predefined) {
    static const RegKey empty{u""};
    node_ = &empty;
    return ERROR_SUCCESS;
  }
  return ERROR_KEY_DELETED;  // deleted by another process
}

LONG KeyCall::OpenBelow(HKEY handle, std::u16string subkey, LeadingSlash slash) {
  if (const LONG status = Open(handle)) return status;
  subkey_ = std::move(subkey);
  if (slash == LeadingSlash::ForgivenUnderClassesRoot && PredefinedRoot(handle) == HKEY_CLASSES_ROOT &&
      !subkey_.empty() && subkey_.front() == u'\\')
    subkey_.erase(0, 1);
  return SplitSubkey(subkey_, names_);
}

WalkView KeyCall::Walk(bool wow32) const { return ViewOf(*key_.prefix, wow32, key_.predefined); }

LONG KeyCall::Change(const KeyChange& change) {
  return ChangeKeyWhereItLives(*key_.prefix, process_.Mutex(), key_.location, names_, Walk(), change);
}

LONG KeyCall::Close(HKEY handle) { return process_.Handles().Remove(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

std::optional<HandleTable::Slot> KeyCall::ReserveHandle() { return process_.Handles().Reserve(); }

void KeyCall::MarkDeleted(const KeyLocation& target) { process_.Handles().MarkDeleted(key_.prefix.get(), target); }

std::mutex& KeyCall::Held() { return process_.Mutex(); }

std::shared_ptr<PrefixRegistry> KeyCall::CurrentPrefix() { return process_.CurrentPrefix(); }

bool KeyCall::Wow64Process() const { return process_.Wow64Process(); }

void KeyCall::SetWow64Process(bool on) { process_.SetWow64Process(on); }

HKEY KeyCall::AddHandle(HandleTable::Slot slot, KeyLocation at, REGSAM desired, bool wow32) noexcept {
  return process_.Handles().Add(std::move(slot), HandleKey{.prefix = key_.prefix,
                                                            .location = std::move(at),
                                                            .access = GrantedAccess(desired),
                                                            .wow32 = wow32});
}

}  // namespace vidazoz::wineprefix
