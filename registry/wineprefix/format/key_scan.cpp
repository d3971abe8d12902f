// Answers from a .reg file's lines without building its tree: a key's existence, the #arch.
#include "key_scan.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "key_tree.h"
#include "line_reader.h"
#include "reg_escape.h"

namespace vidazoz::wineprefix {
namespace {

constexpr std::string_view kFirstLine = "WINE REGISTRY Version 2";

// Small chunks: a big buffer costs more in page faults than the pass itself.
constexpr std::size_t kScanChunk = 64u << 10;

// The parser skips what C's isspace does, CR, VT and FF included.
std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || (s.front() >= '\t' && s.front() <= '\r'))) s.remove_prefix(1);
  return s;
}

// Whether the header has its closing bracket at or after `from`: without one the parser makes
// no key of it.
bool HasClosingBracket(std::string_view line, std::size_t from) {
  for (std::size_t i = from; i < line.size(); ++i) {
    if (line[i] == ']') return true;
    if (line[i] == '\\') ++i;
  }
  return false;
}

// A header's names; false when it is anything but a plain, well-formed header.
bool HeaderNames(std::string_view line, std::u16string& text, std::vector<std::u16string_view>& names) {
  text.clear();
  names.clear();
  const Unescaped u = AppendUnescaped(text, line.data() + 1, line.data() + line.size(), ']');
  if (u.next == nullptr || !u.lossless) return false;
  std::string_view rest(u.next, static_cast<std::size_t>(line.data() + line.size() - u.next));
  if (!rest.empty()) {  // only " <seconds>" may follow
    if (rest.front() != ' ') return false;
    rest.remove_prefix(1);
    if (rest.empty() || rest.find_first_not_of("0123456789") != std::string_view::npos) return false;
  }
  if (text.empty()) return true;  // the branch root, []
  if (text[0] == 0) return false;  // the parser takes this for the root too
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(u'\\', start);
    const std::u16string_view name = std::u16string_view(text).substr(start, end - start);
    if (name.empty()) return false;  // how the parser takes an empty name is its business
    names.push_back(name);
    if (end == std::u16string::npos) return true;
    start = end + 1;
  }
}

enum class Quick { Unrelated, Below, Decode };

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Compares a header's raw text with the path while both are plain ASCII, so that most headers
// are settled without decoding: Unrelated (a name differs; `matched` names agreed before it),
// Below (a key under the path, which therefore exists), or Decode (anything else: escapes,
// non-ASCII, the path or one above it).
Quick QuickCompare(std::string_view line, const std::vector<std::u16string_view>& path, std::size_t& matched) {
  matched = 0;
  std::size_t at = 1;  // past '['
  auto raw = [&](std::size_t i) { return i < line.size() ? line[i] : '\0'; };
  for (std::size_t n = 0; n < path.size(); ++n) {
    if (n > 0) {
      if (raw(at) == ']') return Quick::Decode;  // a key above the path: is it a link?
      if (raw(at) != '\\' || raw(at + 1) != '\\') return Quick::Decode;
      at += 2;
    }
    for (char16_t want : path[n]) {
      const char c = raw(at);
      if (want >= 0x80 || c == '\\' || static_cast<unsigned char>(c) >= 0x80) return Quick::Decode;
      if (c == ']' || c == '\0') return Quick::Unrelated;  // the header's name is shorter
      if (LowerAscii(c) != LowerAscii(static_cast<char>(want))) return Quick::Unrelated;
      ++at;
    }
    // The names agree so far; the header's must end here too.
    const char c = raw(at);
    if (c != ']' && c != '\\') return static_cast<unsigned char>(c) >= 0x80 ? Quick::Decode : Quick::Unrelated;
    if (c == '\\' && raw(at + 1) != '\\') return Quick::Decode;  // an escape inside the name
    matched = n + 1;
  }
  return raw(at) == '\\' && raw(at + 1) == '\\' && HasClosingBracket(line, at + 2) ? Quick::Below : Quick::Decode;
}

}  // namespace

namespace {

// Judges one header line against the path. A link's #link comes after its header, so a header
// on the way is judged when its block ends (see ScanForKey).
class PathMatcher {
 public:
  explicit PathMatcher(const std::vector<std::u16string_view>& path) : path_(path), found_(path.empty()) {}

  // False when unsure.
  bool Header(std::string_view line) {
    onPath_ = false;
    std::size_t matched = 0;
    const Quick quick = QuickCompare(line, path_, matched);
    if (quick == Quick::Unrelated) {
      deepest_ = std::max(deepest_, matched);
      return true;
    }
    if (quick == Quick::Below) {  // a key under the path, link or not: the path exists
      found_ = true;
      return true;
    }
    if (!HeaderNames(line, text_, names_)) return false;
    for (matched = 0; matched < names_.size() && matched < path_.size(); ++matched)
      if (!SameName(names_[matched], path_[matched])) break;
    deepest_ = std::max(deepest_, matched);
    if (matched < names_.size() && matched < path_.size()) return true;
    if (names_.size() >= path_.size()) found_ = true;
    onPath_ = names_.size() <= path_.size();
    return true;
  }
  // Whether a #link in the current block is of no concern: its key is not on the way.
  bool LinkIsHarmless() const { return !onPath_; }
  bool Found() const { return found_; }
  // How many leading names of the path name existing keys.
  std::size_t Deepest() const { return found_ ? path_.size() : deepest_; }

 private:
  const std::vector<std::u16string_view>& path_;
  bool found_;
  bool onPath_ = false;
  std::size_t deepest_ = 0;
  std::u16string text_;
  std::vector<std::u16string_view> names_;
};

}  // namespace

std::optional<bool> ScanForKey(int fd, const std::vector<std::u16string_view>& path, std::size_t* existing) {
  PathMatcher matcher(path);
  bool first = true, unsure = false, inKeys = false;
  // Whether the line before may have continued hex data onto this one: a value line, or a line
  // it continued onto, with a backslash in it. The parser reads such a line as data.
  bool mayContinue = false;
  std::string_view arch;
  LineReader lines(ReadFd(fd), kScanChunk);
  std::string_view line;
  while (!unsure && lines.Next(line)) {
    if (first) {
      first = false;
      unsure = line != kFirstLine;  // a rejected file reads as empty; the parser knows the rules
      continue;
    }
    line = TrimLeft(line);
    if (line.empty()) {
      mayContinue = false;
      continue;
    }
    if (line.front() == '[') {
      inKeys = true;
      unsure = mayContinue || !matcher.Header(line);
      mayContinue = false;
      continue;
    }
    mayContinue = (mayContinue || line.front() == '"' || line.front() == '@') &&
                  line.find('\\') != std::string_view::npos;
    if (line.front() == '#') {
      // After a bad key line #arch is global again, and a bad or second, different one rejects
      // the file: any such line is left to the parser.
      if (line.starts_with("#arch=")) {
        const std::string_view known = line == "#arch=win32" ? "win32" : line == "#arch=win64" ? "win64" : "";
        if (known.empty() || (!arch.empty() && arch != known)) unsure = true;
        arch = known;
      }
      if (inKeys && line.starts_with("#link") && !matcher.LinkIsHarmless()) unsure = true;
    }
  }
  if (lines.ReadFailed() || unsure) return std::nullopt;
  if (existing != nullptr) *existing = matcher.Deepest();
  return matcher.Found();
}

std::string DeclaredArch(int fd) {
  off_t at = 0;  // pread: from the start, whatever the descriptor's offset
  LineReader lines(
      [fd, &at](char* into, std::size_t capacity) -> std::ptrdiff_t {
        ssize_t got;
        do got = ::pread(fd, into, capacity, at);
        while (got < 0 && errno == EINTR);
        if (got > 0) at += got;
        return got;
      },
      kScanChunk);
  // As the parser reads the global options: all of them up to the first key, however far; a
  // file it rejects (line 1, an unknown or a second, different #arch) keeps what came before.
  std::string_view line;
  if (!lines.Next(line) || line != kFirstLine) return {};
  std::string arch;
  while (lines.Next(line)) {
    line = TrimLeft(line);
    if (line.starts_with("[")) break;
    if (!line.starts_with("#arch=")) continue;
    const std::string_view value = line.substr(6);
    if ((value != "win32" && value != "win64") || (!arch.empty() && arch != value)) break;
    arch = value;
  }
  return arch;
}

}  // namespace vidazoz::wineprefix
