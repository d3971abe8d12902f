#include "key_path.h"

#include <deque>

namespace vidazoz::wineprefix {
namespace {

std::vector<std::u16string> SplitAll(std::u16string_view s) {
  std::vector<std::u16string> out;
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
  std::u16string target(value->data.size() / 2, u'\0');
  for (std::size_t i = 0; i < target.size(); ++i)
    target[i] = static_cast<char16_t>(value->data[2 * i] | (value->data[2 * i + 1] << 8));
  return ParseLinkTarget(target);
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
  const auto v = reinterpret_cast<ULONG_PTR>(key);
  return v >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) && v <= reinterpret_cast<ULONG_PTR>(HKEY_DYN_DATA);
}

std::optional<KeyLocation> RootLocation(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return KeyLocation{Branch::Machine, false, {}};
  if (root == HKEY_CURRENT_USER) return KeyLocation{Branch::User, false, {}};
  if (root == HKEY_CLASSES_ROOT) return KeyLocation{Branch::Machine, false, {u"Software", u"Classes"}};
  if (root == HKEY_USERS) return KeyLocation{Branch::Machine, true, {}};
  if (root == HKEY_CURRENT_CONFIG)
    return KeyLocation{Branch::Machine, false, {u"System", u"CurrentControlSet", u"Hardware Profiles", u"Current"}};
  return std::nullopt;
}

LONG SplitSubkey(std::u16string_view subkey, std::vector<std::u16string>& names) {
  names.clear();
  if (!subkey.empty() && subkey.front() == u'\\') return ERROR_BAD_PATHNAME;
  names = SplitAll(subkey);
  for (const std::u16string& name : names)
    if (name.size() > kMaxNameUnits) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

std::optional<KeyLocation> ParseLinkTarget(std::u16string_view target) {
  if (target.empty() || target.front() != u'\\') return std::nullopt;
  std::vector<std::u16string> parts = SplitAll(target);
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
  loc.path.assign(parts.begin() + static_cast<std::ptrdiff_t>(rest), parts.end());
  return loc;
}

Resolution Resolve(BranchSource& source, const KeyLocation& base, const std::vector<std::u16string>& names) {
  Resolution r;
  std::deque<std::u16string> todo(base.path.begin(), base.path.end());
  todo.insert(todo.end(), names.begin(), names.end());
  r.at = KeyLocation{base.branch, base.usersRoot, {}};
  r.key = base.usersRoot ? nullptr : &source.Root(base.branch);
  int links = 0;
  while (!todo.empty()) {
    const std::u16string name = std::move(todo.front());
    todo.pop_front();
    if (r.key == nullptr) {  // at HKEY_USERS: its two children are the user branches
      if (SameName(name, kUserSid) || SameName(name, kDefaultUserName)) {
        const Branch b = SameName(name, kUserSid) ? Branch::User : Branch::UserDefault;
        r.at = KeyLocation{b, false, {}};
        r.key = &source.Root(b);
        continue;
      }
      r.missing.push_back(name);
      r.missing.insert(r.missing.end(), todo.begin(), todo.end());
      return r;
    }
    RegKey* child = r.key->FindSubkey(name);
    if (child == nullptr) {
      r.missing.push_back(name);
      r.missing.insert(r.missing.end(), todo.begin(), todo.end());
      return r;
    }
    if (child->IsLink()) {
      const std::optional<KeyLocation> target = LinkTargetOf(*child);
      if (!target || ++links > kMaxLinkDepth) {
        r.status = ERROR_FILE_NOT_FOUND;
        return r;
      }
      todo.insert(todo.begin(), target->path.begin(), target->path.end());
      r.at = KeyLocation{target->branch, target->usersRoot, {}};
      r.key = target->usersRoot ? nullptr : &source.Root(target->branch);
      continue;
    }
    r.key = child;
    r.at.path.push_back(child->Name());
  }
  return r;
}

}  // namespace vidazoz::wineprefix
