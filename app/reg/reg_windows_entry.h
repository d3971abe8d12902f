// `Vidazoz.exe reg ...`: the reg command on Windows' own registry, from the Windows program.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vidazoz::reg {

// The words after "reg" in UTF-8 when the process's command line starts with it, else nothing
// (the window runs).
std::optional<std::vector<std::string>> WindowsRegArguments();

// Runs `vidazoz reg [--crlf] COMMAND ...` on the process's standard handles (the parent's
// console when it has none); returns the exit status.
int RunRegOnWindows(const std::vector<std::string>& args);

}  // namespace vidazoz::reg
