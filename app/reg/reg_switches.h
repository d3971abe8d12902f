// The switches after a reg command's key: /x or -x, matched without regard to case.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "advapi32.h"

namespace vidazoz::reg {

// What compare lists: all entries, the differences (the default), the matches, or nothing.
enum class CompareOutput { All, Differences, Same, Nothing };

struct Switches {
  std::optional<std::u16string> value;  // /v NAME
  bool emptyValue = false;              // /ve
  bool allValues = false;               // /va
  bool recurse = false;                 // /s (query, copy, compare)
  bool json = false;                    // --json (query)
  bool force = false;                   // /f
  bool overwrite = false;               // /y (export)
  std::optional<std::u16string> type;   // /t
  std::optional<std::u16string> data;   // /d
  std::optional<char16_t> separator;    // /s C (add)
  REGSAM view = 0;                      // KEY_WOW64_32KEY or _64KEY from /reg:32, /reg:64
  CompareOutput compareOutput = CompareOutput::Differences;  // /oa, /od, /os, /on (compare)
  bool compareOutputGiven = false;
};

enum class Command { Query, Add, Delete, Export, Import, Copy, Compare };

// The switches of `command` in `args` (after the key); false when one is unknown, repeated,
// missing its argument, or contradicts another (Wine's "Invalid syntax").
bool ParseSwitches(Command command, const std::vector<std::u16string>& args, Switches& switches);

}  // namespace vidazoz::reg
