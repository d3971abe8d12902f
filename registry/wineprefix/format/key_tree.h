// The in-memory form of one registry branch (one .reg file): a tree of keys with their
// values, kept in the order Wine writes them (case-insensitive sort of the names).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidazoz::wineprefix {

// Wine's name order: each UTF-16 unit lowered by the simple case mapping, then compared;
// a prefix sorts first. Returns <0, 0, >0.
int CompareNames(std::u16string_view a, std::u16string_view b);
bool SameName(std::u16string_view a, std::u16string_view b);
// A hash that agrees with SameName: names that are the same hash the same.
std::uint64_t NameHash(std::u16string_view name);

struct RegValue {
  std::u16string name;  // empty: the default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as Wine keeps it: strings are UTF-16LE
};

// What the text of a branch's last save holds of one key, kept for RegFileText so that the next
// save copies what did not change.
class SavedSpan {
 public:
  // Where the key lay in the last save's text.
  struct Where {
    std::uint64_t offset = 0;         // of its subtree, from where its parent's subtree began
    std::uint64_t blockLength = 0;    // of its own block
    std::uint64_t subtreeLength = 0;  // of its whole subtree
  };

  // Nothing when no save is known, or the last one did not fit (blocks of 16 MiB, offsets of 1 TiB).
  std::optional<Where> Known() const {
    if (!(bits_ & kKnown)) return std::nullopt;
    return Where{at_ >> kBlockBits, at_ & kMaxBlock, bits_ >> kFlagBits};
  }
  // The key's own block changed since the last save (or no save is known).
  bool Changed() const { return !(bits_ & kKeySame); }
  // A key below it changed since the last save, or came, went or moved.
  bool ChangedBelow() const { return !(bits_ & kBelowSame); }
  // The whole subtree's saved text is as it would be rendered now.
  bool SubtreeCurrent() const { return (bits_ & kCurrent) == kCurrent; }

  // The key was just saved at `where`: its block is current, and what is below unless changedBelow.
  void Record(const Where& where, bool changedBelow) {
    if (where.offset > kMaxOffset || where.blockLength > kMaxBlock || where.subtreeLength > kMaxSubtree) {
      Forget();
      return;
    }
    at_ = where.offset << kBlockBits | where.blockLength;
    bits_ = where.subtreeLength << kFlagBits | kKnown | kKeySame | (changedBelow ? 0 : kBelowSame);
  }
  // The subtree was copied whole to a new offset from its parent's.
  void Move(std::uint64_t offset) {
    if (offset > kMaxOffset) {
      Forget();
      return;
    }
    at_ = offset << kBlockBits | (at_ & kMaxBlock);
  }
  void Forget() { at_ = bits_ = 0; }
  void MarkChanged() { bits_ &= ~kKeySame; }
  void MarkChangedBelow() { bits_ &= ~kBelowSame; }

 private:
  static constexpr int kBlockBits = 24;
  static constexpr std::uint64_t kMaxBlock = (std::uint64_t{1} << kBlockBits) - 1;
  static constexpr std::uint64_t kMaxOffset = (std::uint64_t{1} << (64 - kBlockBits)) - 1;
  static constexpr std::uint64_t kKnown = 1, kKeySame = 2, kBelowSame = 4;
  static constexpr std::uint64_t kCurrent = kKnown | kKeySame | kBelowSame;
  static constexpr int kFlagBits = 3;
  static constexpr std::uint64_t kMaxSubtree = (std::uint64_t{1} << (64 - kFlagBits)) - 1;

  // Two words, all zero (nothing known, all changed) until a save: a registry holds a million
  // keys. offset << 24 | block length, and subtree length << 3 | flags.
  std::uint64_t at_ = 0;
  std::uint64_t bits_ = 0;
};

static_assert(sizeof(SavedSpan) == 2 * sizeof(std::uint64_t));

class RegKey {
 public:
  explicit RegKey(std::u16string name, RegKey* parent = nullptr)
      : name_(std::move(name)), parent_(parent) {}
  // Moving re-parents the sub-keys, so a moved branch root stays a valid tree.
  RegKey(RegKey&& other) noexcept;
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  // Iterative: a very deep tree (from a hostile file) must not overflow the stack.
  ~RegKey();

  const std::u16string& Name() const { return name_; }
  RegKey* Parent() const { return parent_; }

  // Sub-keys, in Wine's order.
  std::size_t SubkeyCount() const { return subkeys_.size(); }
  RegKey& Subkey(std::size_t index) const { return *subkeys_[index]; }
  RegKey* FindSubkey(std::u16string_view name) const;
  // Returns the existing sub-key of that name (any case) or a new one; created is set when new.
  RegKey& AddSubkey(std::u16string_view name, bool* created = nullptr);
  // Removes the named sub-key with its whole subtree; false when there is none.
  bool RemoveSubkey(std::u16string_view name);
  // Room for `extra` more sub-keys, so that as many moves in cannot fail.
  void ReserveSubkeys(std::size_t extra) { subkeys_.reserve(subkeys_.size() + extra); }
  // Moves `key`, a sub-key of another key, with its subtree under this key; the keys keep their
  // addresses. False, moving nothing, when this key has a sub-key of that name. Does not throw
  // once ReserveSubkeys made room.
  bool AdoptSubkey(RegKey& key);

  // Values, in Wine's order (the default value, named "", first).
  std::size_t ValueCount() const { return values_.size(); }
  const RegValue& Value(std::size_t index) const { return values_[index]; }
  const RegValue* FindValue(std::u16string_view name) const;
  // Sets a value; a name already present (any case) keeps its first spelling.
  void SetValue(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
  bool RemoveValue(std::u16string_view name);

  std::uint64_t Modified() const { return modified_; }  // FILETIME, 100 ns since 1601
  void SetModified(std::uint64_t filetime) {
    modified_ = filetime;
    MarkChanged();
  }

  bool HasClass() const { return rare_ && rare_->hasClass; }
  const std::u16string* ClassName() const { return HasClass() ? &rare_->className : nullptr; }
  void SetClassName(std::u16string cls);

  bool IsLink() const { return rare_ && rare_->isLink; }
  void SetLink(bool link);
  bool IsVolatile() const { return rare_ && rare_->isVolatile; }
  void SetVolatile(bool v);

  // Where the branch's last save put this key, for RegFileText. Every change to the key marks
  // it changed, and its ancestors changed below.
  const SavedSpan& Saved() const { return saved_; }
  SavedSpan& Saved() { return saved_; }

  // Fills a tree from a file in file order (key_tree_loader.h).
  class Loader;

 private:

  void AdoptChildren();
  // This key's saved block is out of date, and so is what its ancestors saved below them.
  void MarkChanged();
  void DestroySubtree() noexcept;

  std::u16string name_;
  RegKey* parent_;
  std::vector<std::unique_ptr<RegKey>> subkeys_;
  std::vector<RegValue> values_;
  std::uint64_t modified_ = 0;
  SavedSpan saved_;

  // Few keys have a class or are links or volatile: those attributes live apart, so that the
  // common key stays small (a registry holds a million of them).
  struct Rare {
    std::u16string className;
    bool hasClass = false;
    bool isLink = false;
    bool isVolatile = false;
  };
  Rare& MutableRare();
  std::unique_ptr<Rare> rare_;
};

}  // namespace vidazoz::wineprefix
