// What the text of a branch's last save holds of one key, kept for RegFileText so that the next
// save copies what did not change.
#pragma once

#include <cstdint>
#include <optional>

namespace vidazoz::wineprefix {

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

}  // namespace vidazoz::wineprefix
