// A key as the reg command names it: a root, short or long (HKLM, HKEY_LOCAL_MACHINE, ...),
// then the path below it.
#pragma once

#include <optional>
#include <string>

#include "advapi32.h"

namespace vidazoz::reg {

struct KeyName {
  HKEY root = nullptr;
  std::u16string path;      // below the root, without leading or trailing backslashes
  std::u16string longName;  // "HKEY_LOCAL_MACHINE\path" as the output shows it
};

// The key `text` names, or nullopt with `error` set to the message that refuses it.
std::optional<KeyName> ParseKeyName(const std::u16string& text, std::string& error);

}  // namespace vidazoz::reg
