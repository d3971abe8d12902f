// The four changes as helper requests.
#include "live_change.h"

#include "frame.h"
#include "key_call.h"

namespace vidazoz::wineprefix {
namespace {

using live::Kind;
using live::PayloadWriter;

std::u16string Joined(const std::vector<std::u16string>& names) {
  std::u16string path;
  for (const std::u16string& name : names) {
    if (!path.empty()) path += u'\\';
    path += name;
  }
  return path;
}

LONG Send(KeyCall& call, Kind kind, Branch branch, std::vector<std::uint8_t> payload,
          std::vector<std::uint8_t>* reply = nullptr) {
  return call.Key().prefix->Live().Change(kind, branch, std::move(payload), reply);
}

}  // namespace

bool ChangesGoLive(KeyCall& call) { return call.Key().prefix->Live().Serving(); }

LONG LiveSetValue(KeyCall& call, std::u16string_view name, DWORD type, const std::vector<std::uint8_t>& data) {
  const KeyLocation& at = call.Key().location;
  const std::u16string path = Joined(at.path);
  auto request = [&] { return PayloadWriter().Str(path).Str(name).U32(type).Bytes(data).Take(); };
  LONG status = Send(call, Kind::SetValue, at.branch, request());
  if (status != ERROR_FILE_NOT_FOUND) return status;
  // A root not in the registry yet (HKCR in an empty prefix) comes into being; any other key is gone.
  if (!call.Key().predefined) return ERROR_KEY_DELETED;
  bool created = false;
  if (const LONG made = LiveCreateKey(call, KeyLocation{at.branch, false, {}}, at.path, u"", false, created)) return made;
  return Send(call, Kind::SetValue, at.branch, request());
}

LONG LiveDeleteValue(KeyCall& call, std::u16string_view name) {
  const KeyLocation& at = call.Key().location;
  const LONG status = Send(call, Kind::DeleteValue, at.branch, PayloadWriter().Str(Joined(at.path)).Str(name).Take());
  // The key itself gone since the handle was opened reads as ours does.
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED ? ERROR_FILE_NOT_FOUND : status;
}

LONG LiveCreateKey(KeyCall& call, const KeyLocation& at, const std::vector<std::u16string>& missing,
                   std::u16string_view cls, bool isVolatile, bool& created) {
  std::vector<std::u16string> full = at.path;
  full.insert(full.end(), missing.begin(), missing.end());
  std::vector<std::uint8_t> reply;
  const LONG status = Send(call, Kind::CreateKey, at.branch,
                           PayloadWriter().Str(Joined(full)).Str(cls).U32(isVolatile ? REG_OPTION_VOLATILE : 0).Take(),
                           &reply);
  std::uint32_t disposition = 0;
  if (status == ERROR_SUCCESS && !live::PayloadReader(reply).U32(disposition)) return ERROR_REGISTRY_IO_FAILED;
  created = disposition == REG_CREATED_NEW_KEY;
  return status;
}

LONG LiveDeleteKey(KeyCall& call, const KeyLocation& target) {
  return Send(call, Kind::DeleteKey, target.branch, PayloadWriter().Str(Joined(target.path)).Take());
}

}  // namespace vidazoz::wineprefix
