// The writer: whatever the reader made of any bytes, what we write reads back whole, holds the
// same keys and values, and is written again byte for byte.
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "reg_file.h"
#include "tree_compare.h"

using namespace vidazoz::wineprefix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RegBranch first;
  ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), first);
  const std::string written = WriteRegFile(first);

  RegBranch second;
  const ParseResult reread = ParseRegFile(written, second);
  FUZZ_CHECK(reread.complete);
  FUZZ_CHECK(second.rootComment == first.rootComment && second.options == first.options);
  // A key with sub-keys and nothing else is not written; it comes back with its first
  // descendant's time, as in Wine.
  FUZZ_CHECK(vidazoz::fuzz::SameTree(first.root, second.root, [](const RegKey& key) {
    return key.ValueCount() > 0 || key.SubkeyCount() == 0 || key.HasClass() || key.IsLink();
  }));
  FUZZ_CHECK(WriteRegFile(second) == written);
  return 0;
}
