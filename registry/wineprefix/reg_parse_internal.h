// The parser over input that arrives in chunks, for loaders that do not hold a whole file.
#pragma once

#include <cstddef>
#include <functional>

#include "reg_file.h"

namespace vidazoz::wineprefix {

// Fills up to `capacity` bytes at `into`; returns the count, 0 at the end, or -1 on an error.
using ReadChunk = std::function<std::ptrdiff_t(char* into, std::size_t capacity)>;

// As ParseRegFile; a read error makes the result neither valid nor complete.
ParseResult ParseRegStream(const ReadChunk& read, RegBranch& branch);

}  // namespace vidazoz::wineprefix
