#include "wow64_view.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "key_scan.h"
#include "prefix_registry.h"
#include "safe_open.h"
#include "unique_fd.h"

namespace vidazoz::wineprefix {
bool SeesWow32(REGSAM samDesired, bool inherited) {
  if (samDesired & KEY_WOW64_32KEY) return true;
  if (samDesired & KEY_WOW64_64KEY) return false;
  return inherited;
}

WalkView ViewOf(PrefixRegistry& prefix, bool wow32, bool rootInView) {
  WalkView view;
  view.wow32 = wow32;
  view.rootInView = rootInView;
  // Asked at a redirection point, which the walk reaches in the loaded machine branch.
  if (wow32)
    view.twoViews = [&prefix] {
      const std::string* live = prefix.Live().MachineArch();
      return (live != nullptr ? *live : prefix.Store(Branch::Machine).Arch()) == "win64";
    };
  return view;
}

MachineViewFacts::Views MachineViewFacts::Known(const BranchStore& machine, std::uint64_t generation) {
  const auto now = LookAgain::Clock::now();
  if (looked_ && !look_.NeedsLook(generation, now)) return views_;
  struct stat st {};
  const UniqueFd fd = OpenRegFileForReading(AT_FDCWD, machine.Path().c_str(), st);
  if (!fd) return errno == ENOENT ? Views::kOne : Views::kUnsure;
  const FileIdentity identity = IdentityOf(st, fd.Get());
  const bool same = looked_ && identity == identity_;
  looked_ = true;
  look_.Looked(generation, now);
  if (same) return views_;
  // Once the tree is loaded the text is not asked again; nor are these facts until the file
  // changes. Whether Software\Wow6432Node exists is left to the first probe: the same pass
  // that looks for a key under it tells.
  views_ = DeclaredArch(fd.Get()) == "win64" ? Views::kWin64 : Views::kOne;
  identity_ = identity;
  return views_;
}

std::optional<bool> ExistsWow32WithoutTree(PrefixRegistry& prefix, std::uint64_t generation, const PathNames& path,
                                           std::vector<std::u16string>& opened) {
  using Views = MachineViewFacts::Views;
  MachineViewFacts& facts = prefix.ViewFacts();
  BranchStore& store = prefix.Store(Branch::Machine);
  PathNames seen = path;
  if (path.empty() || !SameName(path[0], u"Software")) {
    // Outside Software the views agree.
  } else if (path.size() >= 2 && SameName(path[1], u"Classes")) {
    return std::nullopt;  // reached through Wine's link Wow6432Node\Classes: the tree follows links
  } else if (path.size() < 2 || !SameName(path[1], u"Wow6432Node")) {
    const Views views = facts.Known(store, generation);
    if (views == Views::kUnsure) return std::nullopt;
    if (views != Views::kOne) seen.insert(seen.begin() + 1, u"Wow6432Node");
    if (views == Views::kWin64) {
      std::size_t existing = 0;
      const std::optional<bool> exists = store.ExistsWithoutTree(seen, &existing);
      if (!exists) return std::nullopt;
      const bool twoViews = *exists || existing >= 2;
      facts.Settle(twoViews);
      if (!twoViews) {
        seen = path;  // no Wow6432Node after all: one view
      } else {
        if (*exists) opened.assign(seen.begin(), seen.end());
        return exists;
      }
    }
  }
  const std::optional<bool> exists = store.ExistsWithoutTree(seen);
  if (exists == true) opened.assign(seen.begin(), seen.end());
  return exists;
}

}  // namespace vidazoz::wineprefix
