// WriteRegFile: the text Wine's server saves for a branch, byte for byte.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "file_time.h"
#include "hex_digits.h"
#include "reg_escape.h"
#include "reg_file.h"
#include "utf16le.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {
namespace {

// Past this column a hex dump continues on the next line.
constexpr std::size_t kHexWrapColumn = 76;

void AppendUnsigned(std::string& out, std::uint32_t value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) out.push_back(digits[--n]);
}

// Wine keeps strings as whole UTF-16 units with a final NUL; only those are written as text.
bool IsTerminatedString(const std::vector<std::uint8_t>& data) {
  return data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 2] == 0 && data[data.size() - 1] == 0;
}

void AppendValue(std::string& out, const RegValue& value, std::u16string& scratch) {
  std::size_t column;
  if (value.name.empty()) {
    out += "@=";
    column = 2;
  } else {
    out.push_back('"');
    column = 1 + AppendEscaped(out, value.name, "\"\"", FinalNul::kWritten);
    out += "\"=";
    column += 2;
  }

  const auto& data = value.data;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      if (!IsTerminatedString(data)) break;
      if (value.type == REG_EXPAND_SZ) out += "str(2):";
      if (value.type == REG_MULTI_SZ) out += "str(7):";
      out.push_back('"');
      AppendEscaped(out, UnitsFromBytes(data, scratch), "\"\"");
      out += "\"\n";
      return;
    case REG_DWORD:
      if (data.size() != 4) break;
      out += "dword:";
      AppendHexNumber(out, static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) |
                               static_cast<std::uint32_t>(data[3]) << 24,
                      8);
      out.push_back('\n');
      return;
    default:
      break;
  }

  const std::size_t typeStart = out.size();
  if (value.type == REG_BINARY) {
    out += "hex:";
  } else {
    out += "hex(";
    AppendHexNumber(out, value.type, 1);
    out += "):";
  }
  column += out.size() - typeStart;
  // Written a line at a time: a byte by byte append costs more than the digits. A line holds
  // at most 25 bytes' "xx," and the wrap.
  char line[128];
  std::size_t n = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    line[n++] = kHexDigits[data[i] >> 4];
    line[n++] = kHexDigits[data[i] & 15];
    column += 2;
    if (i + 1 < data.size()) {
      line[n++] = ',';
      if (++column > kHexWrapColumn) {
        std::memcpy(line + n, "\\\n  ", 4);
        out.append(line, n + 4);
        n = 0;
        column = 2;
      }
    }
  }
  out.append(line, n);
  out.push_back('\n');
}

// Whether a key has a sub-key that goes to the file.
bool HasSavedSubkey(const RegKey& key) {
  for (std::size_t i = 0; i < key.SubkeyCount(); ++i)
    if (!key.Subkey(i).IsVolatile()) return true;
  return false;
}

// Wine writes a key whose sub-keys say nothing of it. Volatile sub-keys are not written, so a
// key whose sub-keys are all volatile is written itself: else it would be lost with them.
bool IsWritten(const RegKey& key) {
  return key.ValueCount() > 0 || key.HasClass() || key.IsLink() || !HasSavedSubkey(key);
}

void AppendKeyBlock(std::string& out, const RegKey& key, std::string_view path, std::u16string& scratch) {
  out += "\n[";
  out += path;
  out += "] ";
  const auto ticks = static_cast<std::int64_t>(key.Modified());
  AppendUnsigned(out, static_cast<std::uint32_t>((ticks - kTicks1601To1970) / kTicksPerSecond));
  out += "\n#time=";
  AppendHexNumber(out, static_cast<std::uint32_t>(key.Modified() >> 32), 1);
  AppendHexNumber(out, static_cast<std::uint32_t>(key.Modified()), 8);
  out.push_back('\n');
  if (const std::u16string* cls = key.ClassName()) {
    out += "#class=\"";
    AppendEscaped(out, *cls, "\"\"", FinalNul::kWritten);
    out += "\"\n";
  }
  if (key.IsLink()) out += "#link\n";
  for (std::size_t i = 0; i < key.ValueCount(); ++i) AppendValue(out, key.Value(i), scratch);
}

void AppendHeader(std::string& out, const RegBranch& branch) {
  out.assign("WINE REGISTRY Version 2\n");
  if (!branch.rootComment.empty()) {
    out += branch.rootComment;
    out.push_back('\n');
  }
  if (!branch.options.empty()) {
    out.push_back('\n');
    for (const auto& option : branch.options) {
      out += option;
      out.push_back('\n');
    }
  }
}

// The saved keys of a branch in file order (parents before their sub-keys, volatile subtrees
// left out), without recursion (trees can be deep). Calls visit(key, ancestors), where
// ancestors runs from the root's child down to the key's parent.
template <typename Visit>
void ForEachSavedKey(const RegBranch& branch, Visit&& visit) {
  if (branch.root.IsVolatile()) return;
  struct Frame {
    const RegKey* key;
    std::size_t nextSubkey;
  };
  std::vector<const RegKey*> ancestors;
  std::vector<Frame> stack;
  if (IsWritten(branch.root)) visit(branch.root, ancestors);
  stack.push_back({&branch.root, 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.nextSubkey == top.key->SubkeyCount()) {
      stack.pop_back();
      if (!ancestors.empty()) ancestors.pop_back();
      continue;
    }
    const RegKey& child = top.key->Subkey(top.nextSubkey++);
    if (child.IsVolatile()) continue;
    if (IsWritten(child)) visit(child, ancestors);
    ancestors.push_back(&child);
    stack.push_back({&child, 0});
  }
}

// The escaped path of a key ("A\\\\B\\\\C"), reusing the part it shares with the key asked for
// before: in file order that is all but the last name, so a full rendering escapes each name once.
class KeyPathText {
 public:
  const std::string& Of(const std::vector<const RegKey*>& ancestors, const RegKey& key) {
    std::size_t keep = 0;
    while (keep < ancestors.size() && keep < built_.size() && built_[keep].key == ancestors[keep]) ++keep;
    built_.resize(keep);
    text_.resize(keep == 0 ? 0 : built_.back().length);
    for (std::size_t i = keep; i < ancestors.size(); ++i) Append(*ancestors[i]);
    if (key.Parent() != nullptr) Append(key);
    return text_;
  }

 private:
  void Append(const RegKey& key) {
    if (!text_.empty() || !built_.empty()) text_ += "\\\\";
    AppendEscaped(text_, key.Name(), "[]", FinalNul::kWritten);
    built_.push_back({&key, text_.size()});
  }
  struct Built {
    const RegKey* key;
    std::size_t length;  // of text_ up to and with this key's name
  };
  std::vector<Built> built_;
  std::string text_;
};

}  // namespace

std::string WriteRegFile(const RegBranch& branch) {
  std::string out;
  AppendHeader(out, branch);
  KeyPathText path;
  std::u16string scratch;
  ForEachSavedKey(branch, [&](const RegKey& key, const std::vector<const RegKey*>& ancestors) {
    AppendKeyBlock(out, key, path.Of(ancestors, key), scratch);
  });
  return out;
}

namespace {

// Builds a rendering's pieces: stretches of the old text, joined where they lie side by side
// in memory, and what is rendered anew, which goes to `added`.
class PieceCopier {
 public:
  PieceCopier(const RegFileText::Pieces& from, const std::vector<std::uint64_t>& starts, std::string& added)
      : from_(from), starts_(starts), added_(added) {}

  std::uint64_t OldLength() const { return starts_.empty() ? 0 : starts_.back(); }
  std::size_t Position() const { return length_ + (end_ - start_) + (added_.size() - addedMark_); }

  void Copy(std::uint64_t offset, std::uint64_t length) {
    CloseAdded();
    if (offset != end_) {
      FlushCopy();
      start_ = end_ = offset;
    }
    end_ += length;
  }
  // The buffer to render into, at the end of the text so far.
  std::string& Added() {
    FlushCopy();
    return added_;
  }
  // The pieces in order, once `added` has stopped growing.
  RegFileText::Pieces Finish() {
    FlushCopy();
    CloseAdded();
    RegFileText::Pieces pieces;
    pieces.reserve(out_.size());
    for (const Piece& piece : out_)
      pieces.emplace_back(piece.old != nullptr ? piece.old : added_.data() + piece.addedOffset, piece.length);
    return pieces;
  }

 private:
  struct Piece {
    const char* old;          // in the old text; null: in added_, at addedOffset
    std::size_t addedOffset;
    std::size_t length;
  };

  void FlushCopy() {
    if (end_ == start_) return;
    // The old piece holding start_, then on through those that follow.
    auto i = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), start_) - starts_.begin()) - 1;
    for (std::uint64_t at = start_; at < end_; ++i) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(end_, starts_[i + 1]) - at);
      if (n == 0) continue;  // an empty piece
      const char* data = from_[i].data() + (at - starts_[i]);
      if (!out_.empty() && out_.back().old != nullptr && out_.back().old + out_.back().length == data)
        out_.back().length += n;
      else
        out_.push_back({data, 0, n});
      length_ += n;
      at += n;
    }
    start_ = end_ = 0;
  }
  void CloseAdded() {
    if (added_.size() == addedMark_) return;
    out_.push_back({nullptr, addedMark_, added_.size() - addedMark_});
    length_ += added_.size() - addedMark_;
    addedMark_ = added_.size();
  }

  const RegFileText::Pieces& from_;
  const std::vector<std::uint64_t>& starts_;
  std::string& added_;
  std::size_t addedMark_ = 0;          // where added_'s open piece begins
  std::uint64_t start_ = 0, end_ = 0;  // the old text's stretch not yet emitted
  std::size_t length_ = 0;             // of what was emitted
  std::vector<Piece> out_;
};

// One rendering of RegFileText: walks the saved keys in file order, copying from the last
// text each subtree that did not change and rendering the others, and records in the keys
// where their blocks now lie.
class IncrementalRender {
 public:
  explicit IncrementalRender(PieceCopier& out) : out_(out) {}

  void Run(RegKey& root, std::optional<std::uint64_t> oldKeysStart) {
    if (!root.IsVolatile()) Enter(root, oldKeysStart, 0);
    while (!stack_.empty()) {
      if (RegKey* child = NextSavedSubkey())
        Enter(*child, OldStartOf(*child), out_.Position() - stack_.back().newStart);
      else
        Close();
    }
  }

 private:
  // A key whose subtree changed: its block is written, its sub-keys go one by one.
  struct Frame {
    RegKey* key;
    std::size_t nextSubkey;
    std::optional<std::uint64_t> oldStart;  // of its subtree in the old text, when known
    std::uint64_t offset;                   // of its subtree from its parent's, in the new text
    std::size_t newStart;
    std::size_t blockLength;
    bool changedBelow;  // after this rendering: a sub-key was neither copied nor rendered in full
  };

  bool FitsOldText(std::uint64_t start, std::uint64_t length) const { return start + length <= out_.OldLength(); }

  // The innermost open key's next sub-key that goes to the file; null when it has none left.
  RegKey* NextSavedSubkey() {
    Frame& top = stack_.back();
    while (top.nextSubkey < top.key->SubkeyCount()) {
      RegKey& child = top.key->Subkey(top.nextSubkey++);
      if (!child.IsVolatile()) return &child;
    }
    return nullptr;
  }

  // Where a sub-key of the innermost open key began in the old text, when known.
  std::optional<std::uint64_t> OldStartOf(const RegKey& child) const {
    const std::optional<std::uint64_t>& parentStart = stack_.back().oldStart;
    const std::optional<SavedSpan::Where> where = child.Saved().Known();
    if (!parentStart || !where) return std::nullopt;
    return *parentStart + where->offset;
  }

  // Copies the key's subtree when nothing in it changed, else writes its block and opens it.
  void Enter(RegKey& key, std::optional<std::uint64_t> oldStart, std::uint64_t offset) {
    if (oldStart && CopySubtree(key, *oldStart, offset)) return;
    stack_.push_back(WriteBlock(key, oldStart, offset));
  }

  bool CopySubtree(RegKey& key, std::uint64_t oldStart, std::uint64_t offset) {
    SavedSpan& span = key.Saved();
    const std::optional<SavedSpan::Where> where = span.Known();
    if (!where || !span.SubtreeCurrent() || !FitsOldText(oldStart, where->subtreeLength)) return false;
    out_.Copy(oldStart, where->subtreeLength);
    span.Move(offset);
    // A sub-key whose new offset did not fit keeps nothing: it is rendered again next time.
    if (!stack_.empty() && !span.Known()) stack_.back().changedBelow = true;
    return true;
  }

  // Copies the key's own block when it did not change, else renders it; returns the key's frame.
  Frame WriteBlock(RegKey& key, std::optional<std::uint64_t> oldStart, std::uint64_t offset) {
    const SavedSpan& span = key.Saved();
    const std::optional<SavedSpan::Where> where = oldStart ? span.Known() : std::nullopt;
    const std::size_t newStart = out_.Position();
    if (IsWritten(key)) {
      if (where && !span.Changed() && where->blockLength > 0 && FitsOldText(*oldStart, where->blockLength))
        out_.Copy(*oldStart, where->blockLength);
      else
        AppendKeyBlock(out_.Added(), key, path_.Of(ancestors_, key), scratch_);
    }
    if (key.Parent() != nullptr) ancestors_.push_back(&key);
    return {&key, 0, where ? oldStart : std::nullopt, offset, newStart, out_.Position() - newStart, false};
  }

  // Closes the innermost open key: records where its block and subtree now lie.
  void Close() {
    const Frame done = stack_.back();
    stack_.pop_back();
    if (done.key->Parent() != nullptr) ancestors_.pop_back();
    SavedSpan& span = done.key->Saved();
    span.Record({done.offset, done.blockLength, out_.Position() - done.newStart}, done.changedBelow);
    // Kept only when it fits: a key that keeps nothing is rendered again next time.
    if (!stack_.empty() && !span.SubtreeCurrent()) stack_.back().changedBelow = true;
  }

  PieceCopier& out_;
  KeyPathText path_;
  std::u16string scratch_;
  std::vector<Frame> stack_;
  std::vector<const RegKey*> ancestors_;  // below the root, for the path of a block rendered anew
};

// Past this many pieces, or when the memory held grows past twice the text, the text is joined
// into one: a write then takes a few pieces, and memory stays near the text's size. A change
// adds a few pieces, so a long run of saves joins once in a few dozen.
constexpr std::size_t kMaxPieces = 64;

std::string Join(const RegFileText::Pieces& pieces, std::size_t length) {
  std::string text;
  text.reserve(length);
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

}  // namespace

const RegFileText::Pieces& RegFileText::Render(RegBranch& branch, std::size_t sizeHint) {
  const bool known = rendering_ && branch.rendering.lock() == rendering_;
  // Until this rendering is whole the keys point into the old text and the new alike: trust neither.
  rendering_.reset();
  branch.rendering.reset();
  auto added = std::make_unique<std::string>();
  // A whole rendering goes to one buffer: room for it up front spares the moves as it grows.
  if (!known) added->reserve(std::max<std::size_t>(sizeHint, 4096) + 4096);
  PieceCopier out(pieces_, starts_, *added);
  AppendHeader(out.Added(), branch);
  const std::size_t keysStart = out.Position();
  IncrementalRender(out).Run(branch.root, known ? std::optional<std::uint64_t>(oldKeysStart_) : std::nullopt);
  Pieces pieces = out.Finish();
  // A rendering that copied nothing needs none of the old memory.
  if (!known) {
    buffers_.clear();
    bufferBytes_ = 0;
  }
  Keep(branch, std::move(pieces), std::move(added), keysStart);
  return pieces_;
}

std::string RegFileText::Joined() const { return Join(pieces_, starts_.empty() ? 0 : starts_.back()); }

// The new rendering becomes the text the next one copies from.
void RegFileText::Keep(RegBranch& branch, Pieces pieces, std::unique_ptr<std::string> added, std::size_t keysStart) {
  std::vector<std::uint64_t> starts;
  starts.reserve(pieces.size() + 1);
  std::uint64_t length = 0;
  for (const std::string_view piece : pieces) {
    starts.push_back(length);
    length += piece.size();
  }
  starts.push_back(length);
  // A token no earlier rendering holds: while a branch keeps a weak reference to one, its
  // address is not handed out again.
  auto token = std::make_shared<const char>('\0');
  if (!added->empty()) {
    bufferBytes_ += added->size();
    buffers_.push_back(std::move(added));
  }
  if (pieces.size() > kMaxPieces || bufferBytes_ > 2 * length + 4096) {
    auto joined = std::make_unique<std::string>(Join(pieces, length));
    pieces.assign(1, *joined);
    starts = {0, length};
    buffers_.clear();
    bufferBytes_ = joined->size();
    buffers_.push_back(std::move(joined));
  }
  pieces_ = std::move(pieces);
  starts_ = std::move(starts);
  oldKeysStart_ = keysStart;
  rendering_ = std::move(token);
  branch.rendering = rendering_;
}

}  // namespace vidazoz::wineprefix
