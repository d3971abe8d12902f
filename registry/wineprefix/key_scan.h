// Whether a key exists, answered from a .reg file's text without building its tree: a pass
// over the key header lines. A process that asks a few questions (the framework check asks
// three) saves the parse of a 1.7 MB system.reg. Anything the pass cannot judge exactly as the
// parser would (links on the way, odd headers, a rejected file) is left to the parser.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace vidazoz::wineprefix {

// `path` is the key's names from the branch root. Present/absent, or nullopt when unsure.
// fd is an open .reg file, read from its start.
std::optional<bool> ScanForKey(int fd, const std::vector<std::u16string_view>& path);

}  // namespace vidazoz::wineprefix
