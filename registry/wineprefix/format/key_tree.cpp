#include "key_tree.h"

#include <sys/random.h>

#include <algorithm>
#include <cwctype>
#include <locale.h>

namespace vidazoz::wineprefix {
namespace {

char16_t Lower(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  // glibc's C.UTF-8 carries the Unicode simple case mapping.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == nullptr || (c >= 0xD800 && c <= 0xDFFF)) return c;
  const wint_t lower = towlower_l(c, utf8);
  return lower <= 0xFFFF ? static_cast<char16_t>(lower) : c;
}

template <typename Vec, typename Proj>
auto LowerBound(Vec& items, std::u16string_view name, Proj proj) {
  return std::lower_bound(items.begin(), items.end(), name, [&](const auto& item, std::u16string_view n) {
    return CompareNames(proj(item), n) < 0;
  });
}

const std::u16string& KeyName(const std::unique_ptr<RegKey>& k) { return k->Name(); }
const std::u16string& ValueName(const RegValue& v) { return v.name; }

}  // namespace

int CompareNames(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

std::uint64_t NameHash(std::u16string_view name) {
  // FNV-1a over the lowered units, from a start chosen per process: a hostile file cannot be
  // built offline to put every name of a key in one chain.
  static const std::uint64_t start = [] {
    std::uint64_t seed = reinterpret_cast<std::uintptr_t>(&seed);  // ASLR, should getrandom fail
    (void)::getrandom(&seed, sizeof seed, GRND_NONBLOCK);
    return 0xcbf29ce484222325ull ^ seed;
  }();
  std::uint64_t hash = start;
  for (char16_t c : name) hash = (hash ^ Lower(c)) * 0x100000001b3ull;
  return hash;
}

RegKey::RegKey(RegKey&& other) noexcept
    : name_(std::move(other.name_)),
      parent_(other.parent_),
      subkeys_(std::move(other.subkeys_)),
      values_(std::move(other.values_)),
      modified_(other.modified_),
      saved_(other.saved_),
      rare_(std::move(other.rare_)) {
  AdoptChildren();
}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this == &other) return *this;
  DestroySubtree();
  name_ = std::move(other.name_);
  parent_ = other.parent_;
  subkeys_ = std::move(other.subkeys_);
  values_ = std::move(other.values_);
  modified_ = other.modified_;
  saved_ = other.saved_;
  rare_ = std::move(other.rare_);
  AdoptChildren();
  return *this;
}

RegKey::~RegKey() { DestroySubtree(); }

void RegKey::MarkChanged() {
  const bool marked = !saved_.SubtreeCurrent();
  saved_.MarkChanged();
  // A subtree already marked has every ancestor marked too.
  if (marked) return;
  for (RegKey* key = parent_; key != nullptr && key->saved_.SubtreeCurrent(); key = key->parent_)
    key->saved_.MarkChangedBelow();
}

RegKey::Rare& RegKey::MutableRare() {
  if (!rare_) rare_ = std::make_unique<Rare>();
  return *rare_;
}

void RegKey::SetClassName(std::u16string cls) {
  Rare& rare = MutableRare();
  rare.className = std::move(cls);
  rare.hasClass = true;
  MarkChanged();
}

void RegKey::SetLink(bool link) {
  if (link || rare_) MutableRare().isLink = link;
  MarkChanged();
}

void RegKey::SetVolatile(bool v) {
  if (IsVolatile() == v) return;
  MutableRare().isVolatile = v;
  // A subtree that leaves the saved text, or comes back to it, keeps nothing of an older text;
  // nor may any ancestor be copied as it was.
  std::vector<RegKey*> pending{this};
  while (!pending.empty()) {
    RegKey* key = pending.back();
    pending.pop_back();
    key->saved_.Forget();
    for (const auto& child : key->subkeys_) pending.push_back(child.get());
  }
  for (RegKey* key = parent_; key != nullptr; key = key->parent_) {
    key->saved_.MarkChanged();
    key->saved_.MarkChangedBelow();
  }
}

void RegKey::AdoptChildren() {
  for (auto& child : subkeys_) child->parent_ = this;
}

void RegKey::DestroySubtree() noexcept {
  // Detach every descendant first, so each key is destroyed with no sub-keys of its own.
  std::vector<std::unique_ptr<RegKey>> pending = std::move(subkeys_);
  subkeys_.clear();
  while (!pending.empty()) {
    std::unique_ptr<RegKey> key = std::move(pending.back());
    pending.pop_back();
    for (auto& child : key->subkeys_) pending.push_back(std::move(child));
    key->subkeys_.clear();
  }
}

RegKey* RegKey::FindSubkey(std::u16string_view name) const {
  auto it = LowerBound(subkeys_, name, KeyName);
  return (it != subkeys_.end() && SameName((*it)->Name(), name)) ? it->get() : nullptr;
}

RegKey& RegKey::AddSubkey(std::u16string_view name, bool* created) {
  // Files list sub-keys in order, so a new name usually belongs at the end.
  if (subkeys_.empty() || CompareNames(subkeys_.back()->Name(), name) < 0) {
    if (created) *created = true;
    MarkChanged();  // a key with no values is saved only while it has no sub-keys
    subkeys_.push_back(std::make_unique<RegKey>(std::u16string(name), this));
    return *subkeys_.back();
  }
  auto it = LowerBound(subkeys_, name, KeyName);
  if (it != subkeys_.end() && SameName((*it)->Name(), name)) {
    if (created) *created = false;
    return **it;
  }
  if (created) *created = true;
  MarkChanged();
  return **subkeys_.insert(it, std::make_unique<RegKey>(std::u16string(name), this));
}

bool RegKey::RemoveSubkey(std::u16string_view name) {
  auto it = LowerBound(subkeys_, name, KeyName);
  if (it == subkeys_.end() || !SameName((*it)->Name(), name)) return false;
  subkeys_.erase(it);
  MarkChanged();
  return true;
}

bool RegKey::AdoptSubkey(RegKey& key) {
  RegKey& from = *key.parent_;
  const auto source = LowerBound(from.subkeys_, key.name_, KeyName);
  auto it = LowerBound(subkeys_, key.name_, KeyName);
  if (it != subkeys_.end() && SameName((*it)->Name(), key.name_)) return false;
  std::unique_ptr<RegKey> moved = std::move(*source);
  from.subkeys_.erase(source);
  subkeys_.insert(it, std::move(moved));
  key.parent_ = this;
  // Its saved offset counts from its old parent's text: under this one it would copy the wrong bytes.
  key.saved_.Forget();
  from.MarkChanged();
  MarkChanged();
  return true;
}

const RegValue* RegKey::FindValue(std::u16string_view name) const {
  auto it = LowerBound(values_, name, ValueName);
  return (it != values_.end() && SameName(it->name, name)) ? &*it : nullptr;
}

void RegKey::SetValue(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  if (values_.empty() || CompareNames(values_.back().name, name) < 0) {
    values_.push_back(RegValue{std::u16string(name), type, std::move(data)});
    MarkChanged();
    return;
  }
  auto it = LowerBound(values_, name, ValueName);
  if (it != values_.end() && SameName(it->name, name)) {
    it->type = type;
    it->data = std::move(data);
    MarkChanged();
    return;
  }
  values_.insert(it, RegValue{std::u16string(name), type, std::move(data)});
  MarkChanged();
}

bool RegKey::RemoveValue(std::u16string_view name) {
  auto it = LowerBound(values_, name, ValueName);
  if (it == values_.end() || !SameName(it->name, name)) return false;
  values_.erase(it);
  MarkChanged();
  return true;
}

}  // namespace vidazoz::wineprefix
