// Filling a branch from a file: keys by path and blocks of values, appended in file order,
// with keys and values that come out of order sorted once at the end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "key_tree.h"
#include "name_index.h"

namespace vidazoz::wineprefix {

// Files list names in order, so a new one usually goes at the end. A key whose sub-keys or
// values come out of order (a hostile file can reverse them all) stops keeping them sorted:
// new ones are appended, found if need be through a hash index, and the list is sorted once
// at the end. Inserting each in its place would cost O(n) apiece, O(n^2) in all.
class RegKey::Loader {
 public:
  explicit Loader(RegKey& root) : root_(root) {}
  // Should a load throw (out of memory), the tree it leaves is at least sorted.
  ~Loader() { Finish(); }
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;

  // The key at a backslash-separated path below the root (empty names skipped), created with
  // the keys above it as needed. Consecutive blocks usually share most of their path: the keys
  // found for the last one are reused. Takes the path's buffer and hands back the last one's.
  RegKey& KeyAt(std::u16string& path);
  // Adds a block's values, in file order; a name seen before keeps its first spelling and takes
  // the new data. Empties values.
  void AddValues(RegKey& key, std::vector<RegValue>& values);
  // Sorts what came out of order; the tree is then in Wine's order again.
  void Finish() noexcept;

 private:
  struct OutOfOrder {
    std::size_t lowest = 0, highest = 0;  // positions of the lowest and highest names
    bool indexed = false;
  };
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

  RegKey& Subkey(RegKey& parent, std::u16string_view name);
  void AddValue(RegKey& key, RegValue&& value);
  void SplitPath(std::u16string_view path);
  template <typename List, typename NameOf>
  static std::size_t FindOutOfOrder(const RegKey* owner, OutOfOrder& order, const List& list,
                                    std::u16string_view name, NameOf nameOf, NameIndex& index);
  template <typename List, typename NameOf>
  static void AppendedOutOfOrder(const RegKey* owner, OutOfOrder& order, const List& list, NameOf nameOf,
                                 NameIndex& index);

  RegKey& root_;
  // The last path, its components (offset, length) and their keys.
  std::u16string path_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_, newSpans_;
  std::vector<RegKey*> pathKeys_;
  // Keys whose sub-keys or values came out of order, and the indexes that find them meanwhile.
  std::unordered_map<RegKey*, OutOfOrder> unsortedSubkeys_, unsortedValues_;
  NameIndex subkeyIndex_, valueIndex_;
};

}  // namespace vidazoz::wineprefix
