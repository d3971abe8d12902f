// Naming keys: splitting a sub-key string, where the predefined roots lead, and walking a
// path through the branches with Wine's symbolic links followed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "branch.h"
#include "key_tree.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

// A key's place: its branch and the names below the branch root as stored (links already
// followed). usersRoot marks \REGISTRY\User itself (HKEY_USERS), which no file holds.
struct KeyLocation {
  Branch branch = Branch::Machine;
  bool usersRoot = false;
  std::vector<std::u16string> path;
};

bool SameLocation(const KeyLocation& a, const KeyLocation& b);

// Where a predefined root handle leads; nullopt for anything else (and for the pseudo
// roots that are no keys).
std::optional<KeyLocation> RootLocation(HKEY root);
// A root is known by its low 32 bits (0x80000000..0x80000006), as Wine knows it: zero- or
// sign-extended, or with any upper bits. PredefinedRoot gives its sign-extended form, else null.
bool IsPredefinedHandle(HKEY key);
HKEY PredefinedRoot(HKEY key);

inline constexpr std::size_t kMaxNameUnits = 256;   // Wine accepts 256, not the documented 255
inline constexpr std::size_t kMaxAnsiSubkey = 260;  // an A call's whole sub-key string
inline constexpr int kMaxLinkDepth = 16;

// Splits at runs of backslashes; trailing ones are ignored. A leading backslash gives
// ERROR_BAD_PATHNAME, a name longer than kMaxNameUnits ERROR_INVALID_PARAMETER.
// The names are views into subkey.
using PathNames = std::vector<std::u16string_view>;
LONG SplitSubkey(std::u16string_view subkey, PathNames& names);

// The target of a link value (\Registry\Machine\..., \Registry\User\<sid>\...), case-insensitive.
std::optional<KeyLocation> ParseLinkTarget(std::u16string_view target);

// The branch roots a walk may visit; an implementation pins each branch for its lifetime.
class BranchSource {
 public:
  virtual ~BranchSource() = default;
  virtual RegKey& Root(Branch branch) = 0;
};

// The registry view a walk sees. In the 32-bit view (wow32) on a prefix with two views, a walk
// that reaches HKLM\Software or HKLM\Software\Classes goes on in its Wow6432Node sub-key, when
// there is one, unless the next name is Wow6432Node itself; a walk that ends there ends in it.
// Wine's links inside Wow6432Node lead back to the shared 64-bit keys.
struct WalkView {
  bool wow32 = false;
  std::function<bool()> twoViews;  // whether the prefix has a 32-bit view; asked only when it matters
  bool rootInView = false;  // base is a predefined root: its own path is seen in the view too
};

struct Resolution {
  // ERROR_FILE_NOT_FOUND for a link without a usable target or links too deep.
  LONG status = ERROR_SUCCESS;
  KeyLocation at;               // the deepest existing key reached
  RegKey* key = nullptr;        // that key; null at the HKEY_USERS root
  std::vector<std::u16string> missing;  // names below `at` that do not exist (yet)
};

// Walks base's path and then names from the branch root, following links at every step.
// Neither base's own path (unless view.rootInView) nor a link's target is redirected: both name
// keys already found.
Resolution Resolve(BranchSource& source, const KeyLocation& base, const PathNames& names, const WalkView& view = {});

}  // namespace vidazoz::wineprefix
