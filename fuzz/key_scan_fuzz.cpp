// The key scanner against the parser: on any file, for paths taken from its keys and headers,
// the scanner either declines or answers as the parsed tree does, and the #arch read agrees.
// Input: two bytes choosing the path (and the read size), then the file.
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "key_scan.h"
#include "reg_escape.h"
#include "reg_file.h"

using namespace vidazoz::wineprefix;
using Path = std::vector<std::u16string>;

namespace {

constexpr std::size_t kMaxCandidates = 64;

void TreePaths(const RegKey& key, Path& path, std::vector<Path>& out) {
  for (std::size_t i = 0; i < key.SubkeyCount() && out.size() < kMaxCandidates; ++i) {
    path.push_back(key.Subkey(i).Name());
    out.push_back(path);
    if (path.size() < 8) TreePaths(key.Subkey(i), path, out);
    path.pop_back();
  }
}

// Each header line's names as written, whether or not the parser made a key of it.
void HeaderPaths(std::string_view text, std::vector<Path>& out) {
  for (std::size_t start = 0; start < text.size() && out.size() < 2 * kMaxCandidates;) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::size_t bracket = text.find_first_not_of(" \t\r\v\f", start);
    if (bracket < end && text[bracket] == '[') {
      std::u16string names;
      AppendUnescaped(names, text.data() + bracket + 1, text.data() + end, ']');
      Path path;
      for (std::size_t from = 0; from <= names.size();) {
        std::size_t cut = names.find(u'\\', from);
        if (cut == std::u16string::npos) cut = names.size();
        if (cut > from) path.push_back(names.substr(from, cut - from));
        from = cut + 1;
      }
      if (!path.empty()) out.push_back(std::move(path));
    }
    start = end + 1;
  }
}

// How many leading names of path name keys in the tree.
std::size_t Depth(const RegKey& root, const Path& path) {
  const RegKey* key = &root;
  std::size_t depth = 0;
  while (depth < path.size() && (key = key->FindSubkey(path[depth])) != nullptr) ++depth;
  return depth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned pick = data[0], change = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

  RegBranch branch;
  const ParseResult parsed = ParseRegFile(text, branch);
  std::vector<Path> candidates;
  Path scratch;
  TreePaths(branch.root, scratch, candidates);
  HeaderPaths(text, candidates);
  Path path = candidates.empty() ? Path{u"A"} : candidates[pick % candidates.size()];
  if (change & 1) {  // another spelling of the same names
    for (auto& name : path)
      for (auto& c : name) c = (c >= u'a' && c <= u'z') ? c - 32 : (c >= u'A' && c <= u'Z') ? c + 32 : c;
  }
  if ((change & 2) && !path.empty()) path.back() += u"x";  // a near miss
  if ((change & 4) && !path.empty()) path.pop_back();     // a parent, maybe only implied
  if (change & 8) path.push_back(u"Sub");                 // a child that may not exist

  static const int fd = memfd_create("key_scan_fuzz", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(ftruncate(fd, 0) == 0);
  FUZZ_CHECK(pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()));
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);

  // The header's #arch, read without the tree, is the parser's wherever the line stands (a file
  // read whole has no global option after a key).
  if (parsed.complete) FUZZ_CHECK(DeclaredArch(fd) == parsed.arch);
  const std::vector<std::u16string_view> names(path.begin(), path.end());
  std::size_t existing = 0;
  // Small reads put line ends, headers and the lines a header looks back on across chunks.
  const unsigned chunkBits = (change >> 4) & 7;
  const std::size_t chunk = chunkBits == 0 ? kKeyScanChunk : std::size_t{8} << chunkBits;
  const std::optional<bool> answer = ScanForKey(fd, names, &existing, chunk);
  if (!answer) return 0;
  const std::size_t depth = Depth(branch.root, path);
  FUZZ_CHECK(*answer == (depth == path.size()));
  // The store remembers the first missing name as missing, and the view takes an existing
  // Wow6432Node for two views: neither may be told more or less than the tree holds.
  if (!*answer) FUZZ_CHECK(existing == depth);
  return 0;
}
