// The three files of a prefix and the part of Wine's registry each one holds.
#pragma once

#include <array>
#include <string_view>

namespace vidazoz::wineprefix {

enum class Branch { Machine, User, UserDefault };
inline constexpr std::array<Branch, 3> kBranches = {Branch::Machine, Branch::User, Branch::UserDefault};

constexpr std::size_t Index(Branch b) { return static_cast<std::size_t>(b); }

constexpr std::string_view FileName(Branch b) {
  switch (b) {
    case Branch::Machine: return "system.reg";
    case Branch::User: return "user.reg";
    case Branch::UserDefault: return "userdef.reg";
  }
  return {};
}

// The second header line of a file, as Wine writes it.
constexpr std::string_view RootComment(Branch b) {
  switch (b) {
    case Branch::Machine: return ";; All keys relative to REGISTRY\\\\Machine";
    case Branch::User: return ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
    case Branch::UserDefault: return ";; All keys relative to REGISTRY\\\\User\\\\.Default";
  }
  return {};
}

// Names of the two children of \REGISTRY\User (HKEY_USERS), in Wine's order.
inline constexpr std::u16string_view kDefaultUserName = u".Default";
inline constexpr std::u16string_view kUserSid = u"S-1-5-21-0-0-0-1000";

}  // namespace vidazoz::wineprefix
