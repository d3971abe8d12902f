// The parser over input that arrives in chunks, for loaders that do not hold a whole file.
#pragma once

#include "line_reader.h"
#include "reg_file.h"

namespace vidazoz::wineprefix {

// As ParseRegFile; a read error makes the result neither valid nor complete.
ParseResult ParseRegStream(const ReadChunk& read, RegBranch& branch);

}  // namespace vidazoz::wineprefix
