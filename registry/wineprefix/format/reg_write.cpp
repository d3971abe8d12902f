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
  for (std::size_t i = 0; i < data.size(); ++i) {
    out.push_back(kHexDigits[data[i] >> 4]);
    out.push_back(kHexDigits[data[i] & 15]);
    column += 2;
    if (i + 1 < data.size()) {
      out.push_back(',');
      if (++column > kHexWrapColumn) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
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

// Appends to out, joining copies of consecutive stretches of the old text into one.
class RunCopier {
 public:
  RunCopier(const std::string& from, std::string& out) : from_(from), out_(out) {}
  std::size_t Position() const { return out_.size() + (end_ - start_); }
  void Copy(std::size_t offset, std::size_t length) {
    if (offset != end_) {
      Flush();
      start_ = end_ = offset;
    }
    end_ += length;
  }
  std::string& Flushed() {
    Flush();
    return out_;
  }

 private:
  void Flush() {
    out_.append(from_, start_, end_ - start_);
    start_ = end_ = 0;
  }
  const std::string& from_;
  std::string& out_;
  std::size_t start_ = 0, end_ = 0;
};

// One rendering of RegFileText: walks the saved keys in file order, copying from the last
// text each subtree that did not change and rendering the others, and records in the keys
// where their blocks now lie.
class IncrementalRender {
 public:
  IncrementalRender(const std::string& oldText, std::string& next) : oldText_(oldText), out_(oldText, next) {}

  void Run(RegKey& root, std::optional<std::uint64_t> oldKeysStart) {
    if (!root.IsVolatile()) Enter(root, oldKeysStart, 0);
    while (!stack_.empty()) {
      if (RegKey* child = NextSavedSubkey())
        Enter(*child, OldStartOf(*child), out_.Position() - stack_.back().newStart);
      else
        Close();
    }
    out_.Flushed();
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

  bool FitsOldText(std::uint64_t start, std::uint64_t length) const { return start + length <= oldText_.size(); }

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
        AppendKeyBlock(out_.Flushed(), key, path_.Of(ancestors_, key), scratch_);
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

  const std::string& oldText_;
  RunCopier out_;
  KeyPathText path_;
  std::u16string scratch_;
  std::vector<Frame> stack_;
  std::vector<const RegKey*> ancestors_;  // below the root, for the path of a block rendered anew
};

// A text's buffer with an eighth to spare: the saves of one run of changes then reuse it.
std::size_t RoomFor(std::size_t length) { return length + length / 8 + 4096; }

}  // namespace

const std::string& RegFileText::Render(RegBranch& branch, std::size_t sizeHint) {
  const bool known = rendering_ && branch.rendering.lock() == rendering_;
  // Until this rendering is whole the keys point into text_ and next_ alike: trust neither.
  rendering_.reset();
  branch.rendering.reset();
  ReserveNext(sizeHint);
  AppendHeader(next_, branch);
  const std::size_t keysStart = next_.size();
  IncrementalRender(text_, next_).Run(branch.root, known ? std::optional<std::uint64_t>(oldKeysStart_) : std::nullopt);
  Keep(branch, keysStart);
  return text_;
}

// Room for the text to grow a little: a string that outgrows its buffer by a few bytes each
// save would move to fresh memory, and fault its pages in, at every other save.
void RegFileText::ReserveNext(std::size_t sizeHint) {
  if (const std::size_t wanted = std::max(text_.size(), sizeHint); next_.capacity() < wanted + wanted / 64)
    next_.reserve(RoomFor(wanted));
}

// The new rendering becomes the text the next one copies from.
void RegFileText::Keep(RegBranch& branch, std::size_t keysStart) {
  // A token no earlier rendering holds: while a branch keeps a weak reference to one, its
  // address is not handed out again.
  auto token = std::make_shared<const char>('\0');
  text_.swap(next_);
  next_.clear();
  oldKeysStart_ = keysStart;
  rendering_ = std::move(token);
  branch.rendering = rendering_;
}

}  // namespace vidazoz::wineprefix
