// Root names and the path after them.
#include "reg_key_name.h"

#include <array>

#include "reg_text.h"

namespace vidazoz::reg {
namespace {

struct Root {
  std::u16string_view shortName, longName;
  HKEY handle;
};

const std::array<Root, 5>& Roots() {
  static const std::array<Root, 5> roots = {{
      {u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {u"HKU", u"HKEY_USERS", HKEY_USERS},
      {u"HKCC", u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
  }};
  return roots;
}

}  // namespace

std::optional<KeyName> ParseKeyName(const std::u16string& text, std::string& error) {
  if (text.starts_with(u"\\\\")) {
    error = "reg: Remote access is not supported yet";
    return std::nullopt;
  }
  const std::size_t slash = text.find(u'\\');
  const std::u16string_view rootName = std::u16string_view(text).substr(0, slash);
  for (const Root& root : Roots()) {
    if (!SameAscii(rootName, root.shortName) && !SameAscii(rootName, root.longName)) continue;
    KeyName key{root.handle, {}, std::u16string(root.longName)};
    if (slash != std::u16string::npos) {
      key.path = text.substr(slash + 1);
      while (!key.path.empty() && key.path.back() == u'\\') key.path.pop_back();
      if (key.path.starts_with(u"\\")) {
        error = "reg: Invalid key name";
        return std::nullopt;
      }
    }
    if (!key.path.empty()) key.longName += u'\\' + key.path;
    return key;
  }
  error = "reg: Invalid system key";
  return std::nullopt;
}

}  // namespace vidazoz::reg
