// The reg commands over the W calls: query, add, delete, export, import, copy and compare.
#pragma once

#include "reg_key_name.h"
#include "reg_output.h"
#include "reg_switches.h"

namespace vidazoz::reg {

// Whether a question may be asked: without a terminal on stdin the answer is No.
using Confirm = bool (*)(Output& output, const std::string& question);

int Query(const KeyName& key, const Switches& switches, Output& output);
int Add(const KeyName& key, const Switches& switches, Output& output, Confirm confirm);
int Delete(const KeyName& key, const Switches& switches, Output& output, Confirm confirm);
// Imports the .reg file `file` (UTF-8 path): all of it, or nothing when any line is unreadable;
// a registry that fails part-way stops it, and the message names the lines that took effect.
int Import(const std::string& file, const Switches& switches, Output& output);

// The values of `from` into `to` (made when missing) and, with /s, every key below.
int Copy(const KeyName& from, const KeyName& to, const Switches& switches, Output& output, Confirm confirm);

// The differences between two keys (with /s, their trees); 0 identical, 2 different, 1 failed.
int Compare(const KeyName& first, const KeyName& second, const Switches& switches, Output& output);

// Deletes `key` and every key below it, after checking the whole tree is within Windows' depth.
LONG DeleteKeyTree(const KeyName& key, REGSAM view);
// The message for a status DeleteKeyTree or a W call returned.
std::string TooDeepOrStatusText(LONG status);

// The key and every key below it into `file` (UTF-8 path), replacing one only with /y or a Yes.
int Export(const KeyName& key, const std::string& file, const Switches& switches, Output& output, Confirm confirm);

}  // namespace vidazoz::reg
