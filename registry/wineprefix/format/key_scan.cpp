// Answers from a .reg file's lines without building its tree: a key's existence, the #arch.
#include "key_scan.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "key_tree.h"
#include "line_reader.h"
#include "mark_bitmap.h"
#include "reg_escape.h"

namespace vidazoz::wineprefix {
namespace {

constexpr std::string_view kFirstLine = "WINE REGISTRY Version 2";

// The parser skips what C's isspace does, CR, VT and FF included.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
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

// QuickCompare's most common answer without finding the header's end: the path's plain names
// with their separators as the header text spells them, compared eight bytes at a time. A header
// that first differs inside a name is Unrelated (or Decode) after the names before it, as
// QuickCompare would find; the line's end (CR, LF, NUL) differs inside a name there too.
class QuickPrefix {
 public:
  explicit QuickPrefix(const std::vector<std::u16string_view>& path) {
    for (std::size_t n = 0; n < path.size() && usable_; ++n) {
      if (n > 0) {
        text_ += "\\\\";
        caseBits_.append(2, '\0');
        nameOf_.insert(nameOf_.end(), 2, kSeparator);
      }
      for (const char16_t c : path[n]) {
        if (c >= 0x80 || c == u'\\' || c == u']' || c == 0 || c == u'\r' || c == u'\n') usable_ = false;
        const char lower = LowerAscii(static_cast<char>(c & 0x7f));
        text_ += lower;
        caseBits_ += lower >= 'a' && lower <= 'z' ? '\x20' : '\0';
        nameOf_.push_back(n);
      }
    }
    usable_ = usable_ && !text_.empty();
    // Whole words, the bytes past the text left out of the comparison.
    size_ = text_.size();
    valid_.assign(size_, '\xff');
    const std::size_t padded = (size_ + 7) / 8 * 8;
    for (std::string* s : {&text_, &caseBits_, &valid_}) s->resize(padded, '\0');
  }

  // Whether the header whose text after '[' starts at `at` first differs from the path inside a
  // name no deeper than `shown`, at a plain character: Compare's answer for it would be
  // Unrelated with at most `shown` names matched. The common case, in fewer steps; false when
  // Compare must judge.
  bool DiffersWithin(const char* at, const char* end, std::size_t shown) const {
    if (!WordsReadable(at, end)) return false;
    const std::size_t k = FirstDifference(at);
    if (k >= size_) return false;
    const auto c = static_cast<unsigned char>(at[k]);
    return nameOf_[k] <= shown && c != '\\' && c < 0x80;
  }

  // The answer for the header whose text after '[' starts at `at` (the buffer may go on past its
  // line, up to `end`); nullopt when QuickCompare must judge the line itself.
  std::optional<Quick> Compare(const char* at, const char* end, std::size_t& matched) const {
    if (!usable_) return std::nullopt;
    const std::size_t avail = static_cast<std::size_t>(end - at);
    std::size_t k = 0;
    if (WordsReadable(at, end)) {
      k = FirstDifference(at);
    } else {
      while (k < size_ && k < avail && LowerAscii(at[k]) == text_[k]) ++k;
    }
    return Settle(at, avail, k, matched);
  }

 private:
  static constexpr std::size_t kSeparator = ~std::size_t{0};

  bool WordsReadable(const char* at, const char* end) const {
    return std::endian::native == std::endian::little && usable_ && static_cast<std::size_t>(end - at) >= text_.size();
  }

  // Where the header text at `at` first differs from the path's, eight bytes at a time; size_
  // when it does not. Needs WordsReadable.
  std::size_t FirstDifference(const char* at) const {
    for (std::size_t k = 0; k < text_.size(); k += 8) {
      std::uint64_t have, want, bits, valid;
      std::memcpy(&have, at + k, 8);
      std::memcpy(&want, text_.data() + k, 8);
      std::memcpy(&bits, caseBits_.data() + k, 8);
      std::memcpy(&valid, valid_.data() + k, 8);
      if (const std::uint64_t differ = ((have | bits) ^ want) & valid)
        return k + static_cast<std::size_t>(std::countr_zero(differ)) / 8;
    }
    return size_;
  }

  std::optional<Quick> Settle(const char* at, std::size_t avail, std::size_t k, std::size_t& matched) const {
    if (k >= size_ || nameOf_[k] == kSeparator) return std::nullopt;
    matched = nameOf_[k];
    const char c = k < avail ? at[k] : '\0';
    return c == '\\' || static_cast<unsigned char>(c) >= 0x80 ? Quick::Decode : Quick::Unrelated;
  }

  std::string text_, caseBits_, valid_;  // padded to whole words
  std::size_t size_ = 0;                 // of the path's text
  std::vector<std::size_t> nameOf_;      // which name each byte of the text belongs to
  bool usable_ = true;
};

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
      // Its names before the one that differs exist only if the parser makes a key of it.
      if (WouldDeepen(matched) && HasClosingBracket(line, 1)) deepest_ = matched;
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
  // Whether a header whose first `matched` names are the path's would show more of the path to
  // exist than the headers before it did: then Header must judge its whole line.
  bool WouldDeepen(std::size_t matched) const { return matched > deepest_; }
  // How many leading names of the path the headers so far have shown to exist.
  std::size_t Shown() const { return deepest_; }
  // A header that QuickPrefix found to differ from the path without deepening it.
  void Unrelated() { onPath_ = false; }
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

namespace {

// The pass over a file's key lines. Only the lines whose first character is '[' or '#' can
// change an answer, so it visits those alone, found for a whole chunk in one vector pass, instead
// of splitting every line; the one fact the lines between carry, whether hex data may continue
// onto a header, is read backwards from the header when one comes.
class HeaderPass {
 public:
  explicit HeaderPass(const std::vector<std::u16string_view>& path) : matcher_(path), quick_(path) {}

  // Whole lines from the second on (the first is the caller's), in file order; the last one may
  // lack its LF only at the end of the file. False once the answer is "unsure".
  bool Lines(const char* begin, const char* end) {
    marks_.Build(begin, static_cast<std::size_t>(end - begin));
    MarkBitmap::Visit marks = marks_.Marks();
    for (std::size_t at; (at = marks.Next()) < marks.Size();) {
      const char* const mark = begin + at;
      const bool isHeader = *mark == '[';
      if (!isHeader && !MayMatter(mark, end)) continue;  // #time and its like say nothing here
      const char* start = mark;  // of the line, which may be indented
      while (start > begin && start[-1] != '\n' && IsSpace(start[-1])) --start;
      if (start != begin && start[-1] != '\n') continue;  // inside a line
      std::size_t matched = 0;
      if (isHeader && (quick_.DiffersWithin(mark + 1, end, matcher_.Shown()) ||
                       (quick_.Compare(mark + 1, end, matched) == Quick::Unrelated && !matcher_.WouldDeepen(matched)))) {
        inKeys_ = true;
        if ((unsure_ = MayContinueBefore(begin, start))) return false;
        matcher_.Unrelated();
        continue;
      }
      const char* lf = static_cast<const char*>(std::memchr(mark, '\n', static_cast<std::size_t>(end - mark)));
      const char* stop = lf != nullptr ? lf : end;
      if (lf != nullptr && stop[-1] == '\r') --stop;
      const std::string_view line = CutAtNul(mark, stop);
      if (isHeader) {
        inKeys_ = true;
        unsure_ = MayContinueBefore(begin, start) || !matcher_.Header(line);
      } else {
        Option(line);
      }
      if (unsure_) return false;
      marks.SkipTo(lf != nullptr ? static_cast<std::size_t>(lf + 1 - begin) : marks.Size());
    }
    continuesFromBefore_ = MayContinueBefore(begin, end);
    return true;
  }

  const PathMatcher& Matcher() const { return matcher_; }

 private:
  // A line as the parser reads it: up to its first NUL.
  static std::string_view CutAtNul(const char* from, const char* stop) {
    const auto size = static_cast<std::size_t>(stop - from);
    const void* nul = std::memchr(from, 0, size);
    return {from, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - from) : size};
  }

  // Only "#arch=" and "#link" lines change an answer.
  static bool MayMatter(const char* hash, const char* end) {
    return hash + 1 < end && (hash[1] == 'a' || hash[1] == 'l');
  }

  void Option(std::string_view line) {
    // After a bad key line #arch is global again, and a bad or second, different one rejects
    // the file: any such line is left to the parser.
    if (line.starts_with("#arch=")) {
      const std::string_view known = line == "#arch=win32" ? "win32" : line == "#arch=win64" ? "win64" : "";
      if (known.empty() || (!arch_.empty() && arch_ != known)) unsure_ = true;
      arch_ = known;
    }
    if (inKeys_ && line.starts_with("#link") && !matcher_.LinkIsHarmless()) unsure_ = true;
  }

  // Whether the lines just before the one at `at` may have continued hex data onto it, as the
  // parser reads them: a value line with a backslash, then any lines with one, none empty and
  // no header among them. Walks back no further than the last such line that settles it.
  bool MayContinueBefore(const char* begin, const char* at) const {
    if (at - begin >= 2 && at[-2] == '\n') return false;  // an empty line, as Wine leaves before each key
    while (at > begin) {
      const char* const lf = at - 1;  // ends the line before
      if (lf == begin || lf[-1] == '\n') return false;  // an empty line, as Wine leaves before each key
      const void* before = memrchr(begin, '\n', static_cast<std::size_t>(lf - begin));
      const std::string_view line = CutAtNul(before != nullptr ? static_cast<const char*>(before) + 1 : begin, lf);
      const std::string_view text = TrimLeft(line);
      if (text.empty() || text.front() == '[') return false;
      if (text.find('\\') == std::string_view::npos) return false;
      if (text.front() == '"' || text.front() == '@') return true;
      at = line.data();
    }
    return continuesFromBefore_;
  }

  MarkBitmap marks_{'[', '#'};
  PathMatcher matcher_;
  QuickPrefix quick_;
  bool inKeys_ = false;
  bool unsure_ = false;
  bool continuesFromBefore_ = false;  // across the end of the lines given before
  std::string_view arch_;
};

}  // namespace

std::optional<bool> ScanForKey(int fd, const std::vector<std::u16string_view>& path, std::size_t* existing,
                               std::size_t chunk) {
  HeaderPass pass(path);
  const ReadChunk read = ReadFd(fd);
  // Whole lines go to the pass; an unfinished one waits at the front of the buffer for the rest.
  std::size_t capacity = std::max<std::size_t>(chunk, 1);
  auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
  std::size_t kept = 0;
  bool first = true, atEnd = false, failed = false;
  while (!atEnd) {
    if (kept == capacity) {  // one line longer than the buffer
      auto bigger = std::make_unique_for_overwrite<char[]>(capacity * 2);
      std::memcpy(bigger.get(), buffer.get(), kept);
      buffer = std::move(bigger);
      capacity *= 2;
    }
    const std::ptrdiff_t got = read(buffer.get() + kept, capacity - kept);
    failed = got < 0;
    atEnd = got <= 0;
    const char* const data = buffer.get();
    const std::size_t filled = kept + static_cast<std::size_t>(got > 0 ? got : 0);
    const char* end = data + filled;
    if (!atEnd) {
      const void* lastLf = memrchr(data + kept, '\n', filled - kept);
      if (lastLf == nullptr) {
        kept = filled;
        continue;
      }
      end = static_cast<const char*>(lastLf) + 1;
    }
    const char* from = data;
    if (first && end > data) {
      first = false;
      // A rejected file reads as empty; the parser knows the rules.
      LineReader firstLine(std::string_view(data, static_cast<std::size_t>(end - data)));
      std::string_view line;
      if (!firstLine.Next(line) || line != kFirstLine) return std::nullopt;
      const void* lf = std::memchr(data, '\n', static_cast<std::size_t>(end - data));
      from = lf != nullptr ? static_cast<const char*>(lf) + 1 : end;
    }
    if (!pass.Lines(from, end)) return std::nullopt;
    kept = static_cast<std::size_t>(data + filled - end);
    std::memmove(buffer.get(), end, kept);
  }
  if (failed) return std::nullopt;
  if (existing != nullptr) *existing = pass.Matcher().Deepest();
  return pass.Matcher().Found();
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
      kKeyScanChunk);
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
