// Whether a key exists, answered from a .reg file's key header lines without building its
// tree. A process that asks a few questions (the framework check asks three) saves the parse
// of a 1.7 MB system.reg. Anything the lines cannot settle exactly as the parser would (links
// on the way, odd headers, a rejected file) is left to the parser.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidazoz::wineprefix {

// Small chunks: a big buffer costs more in page faults than the pass itself.
inline constexpr std::size_t kKeyScanChunk = 64u << 10;

// Whether the key at `path` (names from the branch root) exists in the file open as fd, read
// from its start in chunks of `chunk` bytes (a line longer than that is read whole). nullopt
// when unsure. `existing` receives how many leading names of the path name existing keys (all
// of them when the key exists).
std::optional<bool> ScanForKey(int fd, const std::vector<std::u16string_view>& path, std::size_t* existing = nullptr,
                               std::size_t chunk = kKeyScanChunk);

// The "#arch=" value among the global options before the file's first key, read from the start
// of fd as the parser reads it, without building a tree; empty when it names none.
std::string DeclaredArch(int fd);

}  // namespace vidazoz::wineprefix
