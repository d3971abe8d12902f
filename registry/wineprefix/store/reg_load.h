// Parsing a .reg file from a descriptor already opened and checked by the caller.
#pragma once

#include <system_error>

#include "reg_file.h"

namespace vidazoz::wineprefix {

// As LoadRegFile, from `fd` at its current offset; a read error sets `error`.
[[nodiscard]] ParseResult LoadRegFd(int fd, RegBranch& branch, std::error_code& error);

}  // namespace vidazoz::wineprefix
