// Carrying volatile keys from the tree a branch had to the one read anew.
#include "volatile_keys.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace vidazoz::wineprefix {
namespace {

// The tops of the volatile subtrees under `root`, without recursion (trees can be deep).
std::vector<RegKey*> VolatileTops(RegKey& root) {
  std::vector<RegKey*> tops;
  std::vector<RegKey*> pending{&root};
  while (!pending.empty()) {
    RegKey* key = pending.back();
    pending.pop_back();
    for (std::size_t i = 0; i < key->SubkeyCount(); ++i) {
      RegKey& child = key->Subkey(i);
      if (child.IsVolatile()) tops.push_back(&child);
      else if (child.SubkeyCount() > 0) pending.push_back(&child);
    }
  }
  return tops;
}

// The key of `to` at the place `key` has under `root`; null when there is none.
RegKey* SamePlace(const RegKey& root, const RegKey& key, RegKey& to) {
  std::vector<const RegKey*> path;
  for (const RegKey* k = &key; k != &root; k = k->Parent()) path.push_back(k);
  RegKey* at = &to;
  for (auto it = path.rbegin(); it != path.rend() && at != nullptr; ++it) at = at->FindSubkey((*it)->Name());
  return at;
}

}  // namespace

void CarryVolatileKeys(RegKey& from, RegKey& to) {
  if (from.IsVolatile()) return;  // a root is never volatile; nothing of it would be in a file
  const std::vector<RegKey*> tops = VolatileTops(from);
  if (tops.empty()) return;
  std::vector<std::pair<RegKey*, RegKey*>> moves;  // the new parent, the volatile key
  moves.reserve(tops.size());
  for (RegKey* top : tops)
    if (RegKey* parent = SamePlace(from, *top->Parent(), to)) moves.emplace_back(parent, top);
  // Room first, for every move into each parent: the moves themselves cannot fail.
  std::sort(moves.begin(), moves.end());
  for (std::size_t i = 0; i < moves.size();) {
    std::size_t j = i;
    while (j < moves.size() && moves[j].first == moves[i].first) ++j;
    moves[i].first->ReserveSubkeys(j - i);
    i = j;
  }
  for (auto& [parent, top] : moves) parent->AdoptSubkey(*top);
}

}  // namespace vidazoz::wineprefix
