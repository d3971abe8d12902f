// Wine's registry text format ("WINE REGISTRY Version 2"): reading a file into a branch and
// writing a branch back, byte for byte as Wine writes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "key_tree.h"

namespace vidazoz::wineprefix {

struct RegBranch {
  std::string rootComment;            // the ";; All keys relative to ..." line, without the newline
  std::vector<std::string> options;   // the global "#..." lines before the first key, e.g. "#arch=win64"
  RegKey root{u""};
  // The RegFileText rendering the keys' saved spans point into: each holds a token of its own
  // while its text is whole, which no other rendering shares (expired or empty: none).
  std::weak_ptr<const void> rendering;
};

struct ParseResult {
  bool valid = false;     // line 1 and #arch were acceptable: Wine would load this file
  bool complete = false;  // every line was understood; a file that is not complete is never rewritten
  std::vector<std::string> problems;  // "line N: ..." for each line that was not understood
  // The "#arch=" the file declares ("win32" or "win64"), empty when it has none. Wine rejects
  // user.reg or userdef.reg when it differs from system.reg's; that check is the caller's.
  std::string arch;
};

// Reads text into branch (which is reset first). Reads as far as it can, as Wine does.
ParseResult ParseRegFile(std::string_view text, RegBranch& branch);

// Reads the file at path into branch as ParseRegFile does, in chunks, so a huge file costs
// little more than its tree. A file that cannot be opened or read sets error; the result is
// then neither valid nor complete (branch is empty, or holds what was read before the error).
ParseResult LoadRegFile(const std::filesystem::path& path, RegBranch& branch, std::error_code& error);

// The file text for a branch, as Wine's server would save it.
std::string WriteRegFile(const RegBranch& branch);

// The file text of a branch that is saved again and again: each rendering copies the blocks of
// keys that did not change since the last one and renders only the others, so a change costs
// what it changed. The text is WriteRegFile's, byte for byte.
//
// The text is kept as pieces of memory in order: a copied block is a piece of an earlier
// rendering's memory, so a save writes the unchanged text from where it already lies instead
// of copying 1.7 MB first. The pieces are joined into one when they grow many.
class RegFileText {
 public:
  using Pieces = std::vector<std::string_view>;

  // `sizeHint`, the size of the file the branch was read from, sizes the first rendering's buffer.
  // Records in the branch's keys where their blocks now lie. The pieces stay valid until the
  // next rendering.
  const Pieces& Render(RegBranch& branch, std::size_t sizeHint = 0);
  // The last rendering's text in one string.
  std::string Joined() const;

 private:
  void Keep(RegBranch& branch, Pieces pieces, std::unique_ptr<std::string> added, std::size_t keysStart);

  Pieces pieces_;                      // the last rendering's text
  std::vector<std::uint64_t> starts_;  // where each piece begins in it; last, its length
  std::vector<std::unique_ptr<const std::string>> buffers_;  // what pieces_ lie in
  std::uint64_t bufferBytes_ = 0;      // their sizes added up
  std::shared_ptr<const void> rendering_;  // the text's rendering's token, null while it is not whole
  std::size_t oldKeysStart_ = 0;       // where the keys begin in the text, after the header
};

}  // namespace vidazoz::wineprefix
