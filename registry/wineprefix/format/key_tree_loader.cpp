// RegKey::Loader: appends in file order, indexes and sorts only what a file gives out of order.
#include "key_tree_loader.h"

#include <algorithm>
#include <memory>

namespace vidazoz::wineprefix {
namespace {

template <typename List, typename Less>
void SortList(List& list, Less less) {
  // A wholly reversed list, the likeliest hostile order, is turned round in one pass.
  if (std::is_sorted(list.rbegin(), list.rend(), less)) std::reverse(list.begin(), list.end());
  else std::sort(list.begin(), list.end(), less);
}

bool StrictlySorted(const std::vector<RegValue>& values) {
  for (std::size_t i = 1; i < values.size(); ++i)
    if (CompareNames(values[i - 1].name, values[i].name) >= 0) return false;
  return true;
}

}  // namespace

void RegKey::Loader::SplitPath(std::u16string_view path) {
  newSpans_.clear();
  const std::size_t n = path.size();
  for (std::size_t i = 0; i < n;) {
    while (i < n && path[i] == u'\\') ++i;
    const std::size_t start = i;
    while (i < n && path[i] != u'\\') ++i;
    if (i > start) newSpans_.push_back({start, i - start});
  }
}

RegKey& RegKey::Loader::KeyAt(std::u16string& path) {
  SplitPath(path);
  std::size_t depth = 0;
  RegKey* key = &root_;
  const std::u16string_view now(path), before(path_);
  while (depth < newSpans_.size() && depth < spans_.size() &&
         now.substr(newSpans_[depth].first, newSpans_[depth].second) ==
             before.substr(spans_[depth].first, spans_[depth].second)) {
    key = pathKeys_[depth++];
  }
  pathKeys_.resize(depth);
  for (; depth < newSpans_.size(); ++depth) {
    key = &Subkey(*key, now.substr(newSpans_[depth].first, newSpans_[depth].second));
    pathKeys_.push_back(key);
  }
  path_.swap(path);
  spans_.swap(newSpans_);
  return *key;
}

// The values of a block go in together: one allocation of the right size in the common case.
void RegKey::Loader::AddValues(RegKey& key, std::vector<RegValue>& values) {
  if (values.empty()) return;
  if (key.values_.empty() && StrictlySorted(values)) {
    std::vector<RegValue> moved;
    moved.reserve(values.size());
    for (auto& v : values) moved.push_back(std::move(v));
    key.values_ = std::move(moved);
  } else {
    for (auto& v : values) AddValue(key, std::move(v));
  }
  values.clear();
}

RegKey& RegKey::Loader::Subkey(RegKey& parent, std::u16string_view name) {
  auto& subkeys = parent.subkeys_;
  auto it = unsortedSubkeys_.empty() ? unsortedSubkeys_.end() : unsortedSubkeys_.find(&parent);
  if (it == unsortedSubkeys_.end()) {
    if (subkeys.empty() || CompareNames(subkeys.back()->Name(), name) < 0) {
      subkeys.push_back(std::make_unique<RegKey>(std::u16string(name), &parent));
      return *subkeys.back();
    }
    if (RegKey* found = parent.FindSubkey(name)) return *found;
    it = unsortedSubkeys_.emplace(&parent, OutOfOrder{0, subkeys.size() - 1, false}).first;
  }
  const auto nameOf = [](const std::unique_ptr<RegKey>& k) -> std::u16string_view { return k->Name(); };
  const std::size_t at = FindOutOfOrder(&parent, it->second, subkeys, name, nameOf, subkeyIndex_);
  if (at != kNowhere) return *subkeys[at];
  subkeys.push_back(std::make_unique<RegKey>(std::u16string(name), &parent));
  AppendedOutOfOrder(&parent, it->second, subkeys, nameOf, subkeyIndex_);
  return *subkeys.back();
}

// As Subkey, for values: a name seen before keeps its first spelling and takes the new data.
void RegKey::Loader::AddValue(RegKey& key, RegValue&& value) {
  auto& values = key.values_;
  auto it = unsortedValues_.empty() ? unsortedValues_.end() : unsortedValues_.find(&key);
  std::size_t at = kNowhere;
  if (it == unsortedValues_.end()) {
    if (values.empty() || CompareNames(values.back().name, value.name) < 0) {
      values.push_back(std::move(value));
      return;
    }
    if (const RegValue* found = key.FindValue(value.name)) at = static_cast<std::size_t>(found - values.data());
    else it = unsortedValues_.emplace(&key, OutOfOrder{0, values.size() - 1, false}).first;
  }
  const auto nameOf = [](const RegValue& v) -> std::u16string_view { return v.name; };
  if (at == kNowhere) at = FindOutOfOrder(&key, it->second, values, value.name, nameOf, valueIndex_);
  if (at != kNowhere) {
    values[at].type = value.type;
    values[at].data = std::move(value.data);
    return;
  }
  values.push_back(std::move(value));
  AppendedOutOfOrder(&key, it->second, values, nameOf, valueIndex_);
}

// The position of name in an out-of-order list, or kNowhere. A name beyond either end of what
// the list holds is not in it: a reversed list never needs the index.
template <typename List, typename NameOf>
std::size_t RegKey::Loader::FindOutOfOrder(const RegKey* owner, OutOfOrder& order, const List& list,
                                           std::u16string_view name, NameOf nameOf, NameIndex& index) {
  if (CompareNames(name, nameOf(list[order.lowest])) < 0 || CompareNames(name, nameOf(list[order.highest])) > 0)
    return kNowhere;
  if (!order.indexed) {
    for (std::size_t i = 0; i < list.size(); ++i) index.Add(owner, NameHash(nameOf(list[i])), i);
    order.indexed = true;
  }
  std::size_t at = kNowhere;
  index.Find(owner, NameHash(name), [&](std::size_t i) {
    if (!SameName(nameOf(list[i]), name)) return false;
    at = i;
    return true;
  });
  return at;
}

template <typename List, typename NameOf>
void RegKey::Loader::AppendedOutOfOrder(const RegKey* owner, OutOfOrder& order, const List& list, NameOf nameOf,
                                        NameIndex& index) {
  const std::size_t at = list.size() - 1;
  const std::u16string_view name = nameOf(list[at]);
  if (CompareNames(name, nameOf(list[order.lowest])) < 0) order.lowest = at;
  if (CompareNames(name, nameOf(list[order.highest])) > 0) order.highest = at;
  if (order.indexed) index.Add(owner, NameHash(name), at);
}

void RegKey::Loader::Finish() noexcept {
  for (auto& [parent, order] : unsortedSubkeys_)
    SortList(parent->subkeys_, [](const auto& a, const auto& b) { return CompareNames(a->Name(), b->Name()) < 0; });
  for (auto& [key, order] : unsortedValues_)
    SortList(key->values_, [](const RegValue& a, const RegValue& b) { return CompareNames(a.name, b.name) < 0; });
  unsortedSubkeys_.clear();
  unsortedValues_.clear();
  subkeyIndex_.Clear();
  valueIndex_.Clear();
}

}  // namespace vidazoz::wineprefix
