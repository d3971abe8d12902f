// The reader on any bytes: no crash or sanitizer report, memory in proportion to the input, and
// reading in small uneven chunks gives what reading the whole text at once does.
#include <cstring>
#include <string_view>

#include "file_time.h"
#include "fuzz_check.h"
#include "reg_parse_internal.h"
#include "tree_compare.h"

using namespace vidazoz::wineprefix;

namespace {

// What the tree holds, roughly in bytes: what a hostile file can make us allocate.
std::size_t TreeBytes(const RegKey& root) {
  std::size_t bytes = 0;
  std::vector<const RegKey*> pending{&root};
  while (!pending.empty()) {
    const RegKey* key = pending.back();
    pending.pop_back();
    bytes += sizeof(RegKey) + sizeof(void*) + 2 * key->Name().size();
    for (std::size_t i = 0; i < key->ValueCount(); ++i)
      bytes += sizeof(RegValue) + 2 * key->Value(i).name.size() + key->Value(i).data.size();
    for (std::size_t i = 0; i < key->SubkeyCount(); ++i) pending.push_back(&key->Subkey(i));
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::uint64_t before = FileTimeNow();
  RegBranch whole;
  const ParseResult a = ParseRegFile(text, whole);
  FUZZ_CHECK(a.complete == (a.valid && a.problems.empty()));
  FUZZ_CHECK(TreeBytes(whole.root) <= 100 * size + 4096);

  std::size_t at = 0, turn = 0;
  const ReadChunk read = [&](char* into, std::size_t capacity) -> std::ptrdiff_t {
    const std::size_t n = std::min({capacity, size - at, 1 + turn++ % 13});
    if (n > 0) std::memcpy(into, text.data() + at, n);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
  RegBranch chunked;
  const ParseResult b = ParseRegStream(read, chunked);
  FUZZ_CHECK(a.valid == b.valid && a.complete == b.complete && a.problems == b.problems && a.arch == b.arch);
  FUZZ_CHECK(whole.rootComment == chunked.rootComment && whole.options == chunked.options);
  // A key without a time in the file takes the load time, which differs between the two loads.
  FUZZ_CHECK(vidazoz::fuzz::SameTree(whole.root, chunked.root,
                                     [&](const RegKey& key) { return key.Modified() < before; }));
  return 0;
}
