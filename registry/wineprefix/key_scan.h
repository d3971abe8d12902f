// Whether a key exists, answered from a .reg file's key header lines without building its
// tree: one pass collects them, each question then runs over those lines alone. A process
// that asks a few questions (the framework check asks three) saves the parse of a 1.7 MB
// system.reg. Anything the lines cannot settle exactly as the parser would (links on the way,
// odd headers, a rejected file) is left to the parser.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidazoz::wineprefix {

// The key header lines of one version of a .reg file, read in one pass.
class HeaderIndex {
 public:
  // Reads fd from its start. Afterwards Find answers nothing if the file is one only the
  // parser can judge (not a registry file, an unknown #arch).
  bool Read(int fd);

  // Whether the key at `path` (names from the branch root) exists; nullopt when unsure.
  std::optional<bool> Find(const std::vector<std::u16string_view>& path) const;

 private:
  struct Header {
    std::uint32_t offset;  // in arena_: the line from its '['
    std::uint32_t length;
    bool link;             // its block holds #link
  };
  std::string arena_;
  std::vector<Header> headers_;
  bool unsure_ = false;
};

}  // namespace vidazoz::wineprefix
