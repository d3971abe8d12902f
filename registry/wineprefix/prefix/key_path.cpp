#include "key_path.h"

#include "utf16le.h"

namespace vidazoz::wineprefix {
namespace {

PathNames SplitAll(std::u16string_view s) {
  PathNames out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == u'\\') ++i;
    const std::size_t start = i;
    while (i < s.size() && s[i] != u'\\') ++i;
    if (i > start) out.emplace_back(s.substr(start, i - start));
  }
  return out;
}

// The location a link key points to, when its value is a usable absolute path.
std::optional<KeyLocation> LinkTargetOf(const RegKey& link) {
  const RegValue* value = link.FindValue(u"SymbolicLinkValue");
  if (value == nullptr || value->type != REG_LINK || value->data.size() < 2) return std::nullopt;
  return ParseLinkTarget(UnitsFromBytes(value->data));
}

}  // namespace

bool SameLocation(const KeyLocation& a, const KeyLocation& b) {
  if (a.usersRoot || b.usersRoot) return a.usersRoot == b.usersRoot;
  if (a.branch != b.branch || a.path.size() != b.path.size()) return false;
  for (std::size_t i = 0; i < a.path.size(); ++i)
    if (!SameName(a.path[i], b.path[i])) return false;
  return true;
}

bool IsPredefinedHandle(HKEY key) {
  const auto low = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(key));
  return low >= 0x80000000u && low <= 0x80000006u;
}

HKEY PredefinedRoot(HKEY key) {
  if (!IsPredefinedHandle(key)) return nullptr;
  return VIDAZOZ_ROOT_KEY(static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(key)));
}

std::optional<KeyLocation> RootLocation(HKEY root) {
  root = PredefinedRoot(root);
  if (root == HKEY_LOCAL_MACHINE) return KeyLocation{Branch::Machine, false, {}};
  if (root == HKEY_CURRENT_USER) return KeyLocation{Branch::User, false, {}};
  if (root == HKEY_CLASSES_ROOT) return KeyLocation{Branch::Machine, false, {u"Software", u"Classes"}};
  if (root == HKEY_USERS) return KeyLocation{Branch::Machine, true, {}};
  if (root == HKEY_CURRENT_CONFIG)
    return KeyLocation{Branch::Machine, false, {u"System", u"CurrentControlSet", u"Hardware Profiles", u"Current"}};
  return std::nullopt;
}

LONG SplitSubkey(std::u16string_view subkey, PathNames& names) {
  names.clear();
  if (!subkey.empty() && subkey.front() == u'\\') return ERROR_BAD_PATHNAME;
  names = SplitAll(subkey);
  for (std::u16string_view name : names)
    if (name.size() > kMaxNameUnits) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

std::optional<KeyLocation> ParseLinkTarget(std::u16string_view target) {
  if (target.empty() || target.front() != u'\\') return std::nullopt;
  const PathNames parts = SplitAll(target);
  if (parts.size() < 2 || !SameName(parts[0], u"Registry")) return std::nullopt;
  KeyLocation loc;
  std::size_t rest = 2;
  if (SameName(parts[1], u"Machine")) {
    loc.branch = Branch::Machine;
  } else if (SameName(parts[1], u"User")) {
    if (parts.size() == 2) {
      loc.usersRoot = true;
      return loc;
    }
    if (SameName(parts[2], kUserSid)) {
      loc.branch = Branch::User;
    } else if (SameName(parts[2], kDefaultUserName)) {
      loc.branch = Branch::UserDefault;
    } else {
      return std::nullopt;
    }
    rest = 3;
  } else {
    return std::nullopt;
  }
  for (std::size_t i = rest; i < parts.size(); ++i) loc.path.emplace_back(parts[i]);
  return loc;
}

namespace {

constexpr std::u16string_view kWow6432Node = u"Wow6432Node";

// HKLM\Software and HKLM\Software\Classes: the keys whose 32-bit view lives in their Wow6432Node.
bool IsRedirectionPoint(const KeyLocation& at) {
  if (at.usersRoot || at.branch != Branch::Machine || at.path.empty() || at.path.size() > 2) return false;
  return SameName(at.path[0], u"Software") && (at.path.size() == 1 || SameName(at.path[1], u"Classes"));
}

// Steps into the 32-bit side of a redirection point, when the walk sees that view.
void EnterView(const WalkView& view, Resolution& r, std::u16string_view next) {
  if (!view.wow32 || r.key == nullptr || !IsRedirectionPoint(r.at) || SameName(next, kWow6432Node)) return;
  RegKey* wow = r.key->FindSubkey(kWow6432Node);
  if (wow == nullptr || wow->IsLink() || !view.twoViews || !view.twoViews()) return;
  r.key = wow;
  r.at.path.push_back(wow->Name());
}

}  // namespace

Resolution Resolve(BranchSource& source, const KeyLocation& base, const PathNames& names, const WalkView& view) {
  Resolution r;
  // The names still to walk: base's own path, then the caller's. A link puts its target's
  // path in front of what is left, so the list is rebuilt only then.
  PathNames todo;
  todo.reserve(base.path.size() + names.size());
  for (const std::u16string& name : base.path) todo.emplace_back(name);
  todo.insert(todo.end(), names.begin(), names.end());
  std::vector<std::u16string> targetNames;  // owns the names a link put in front
  r.at = KeyLocation{base.branch, base.usersRoot, {}};
  r.at.path.reserve(todo.size());
  r.key = base.usersRoot ? nullptr : &source.Root(base.branch);
  int links = 0;
  // Names before this index name keys already found (base's path, a link's target): not redirected.
  std::size_t plainUntil = view.rootInView ? 0 : base.path.size();
  for (std::size_t i = 0; i < todo.size(); ++i) {
    const std::u16string_view name = todo[i];
    if (i >= plainUntil) EnterView(view, r, name);
    auto missingFromHere = [&] {
      for (std::size_t j = i; j < todo.size(); ++j) r.missing.emplace_back(todo[j]);
      return r;
    };
    if (r.key == nullptr) {  // at HKEY_USERS: its two children are the user branches
      if (!SameName(name, kUserSid) && !SameName(name, kDefaultUserName)) return missingFromHere();
      const Branch b = SameName(name, kUserSid) ? Branch::User : Branch::UserDefault;
      r.at = KeyLocation{b, false, {}};
      r.key = &source.Root(b);
      continue;
    }
    RegKey* child = r.key->FindSubkey(name);
    if (child == nullptr) return missingFromHere();
    if (child->IsLink()) {
      const std::optional<KeyLocation> target = LinkTargetOf(*child);
      if (!target || ++links > kMaxLinkDepth) {
        r.status = ERROR_FILE_NOT_FOUND;
        return r;
      }
      std::vector<std::u16string> next = target->path;
      for (std::size_t j = i + 1; j < todo.size(); ++j) next.emplace_back(todo[j]);
      targetNames = std::move(next);
      todo.assign(targetNames.begin(), targetNames.end());
      plainUntil = target->path.size();
      i = static_cast<std::size_t>(-1);  // restart at the target's first name
      r.at = KeyLocation{target->branch, target->usersRoot, {}};
      r.key = target->usersRoot ? nullptr : &source.Root(target->branch);
      continue;
    }
    r.key = child;
    r.at.path.push_back(child->Name());
  }
  if (todo.size() > plainUntil) EnterView(view, r, {});  // a walk that ends at a redirection point
  return r;
}

}  // namespace vidazoz::wineprefix
