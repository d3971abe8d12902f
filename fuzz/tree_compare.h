// Comparing two parsed branches key by key, for the fuzz targets' properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "reg_file.h"

namespace vidazoz::fuzz {

using wineprefix::RegBranch;
using wineprefix::RegKey;

// Whether the two trees hold the same keys, values, classes and links. Times are compared where
// `sameTime(key)` says they must agree. Iterative: fuzzed trees can be very deep.
template <typename SameTimeWanted>
bool SameTree(const RegKey& a, const RegKey& b, SameTimeWanted sameTimeWanted) {
  std::vector<std::pair<const RegKey*, const RegKey*>> pending{{&a, &b}};
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (x->Name() != y->Name() || x->SubkeyCount() != y->SubkeyCount() || x->ValueCount() != y->ValueCount() ||
        x->IsLink() != y->IsLink() || x->HasClass() != y->HasClass())
      return false;
    if (x->HasClass() && *x->ClassName() != *y->ClassName()) return false;
    if (sameTimeWanted(*x) && x->Modified() != y->Modified()) return false;
    for (std::size_t i = 0; i < x->ValueCount(); ++i) {
      const auto &v = x->Value(i), &w = y->Value(i);
      if (v.name != w.name || v.type != w.type || v.data != w.data) return false;
    }
    for (std::size_t i = 0; i < x->SubkeyCount(); ++i) pending.emplace_back(&x->Subkey(i), &y->Subkey(i));
  }
  return true;
}

}  // namespace vidazoz::fuzz
