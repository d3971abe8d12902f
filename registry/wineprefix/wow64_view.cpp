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
  if (wow32) view.twoViews = [&prefix] { return prefix.Store(Branch::Machine).Arch() == "win64"; };
  return view;
}

std::optional<bool> MachineViewFacts::TwoViews(PrefixRegistry& prefix, std::uint64_t generation) {
  const auto now = std::chrono::steady_clock::now();
  if (prefix_ == &prefix && generation == generation_ && now - checked_ < kExternalChangeWindow) return twoViews_;
  BranchStore& store = prefix.Store(Branch::Machine);
  struct stat st {};
  const UniqueFd fd = OpenRegFileForReading(AT_FDCWD, store.Path().c_str(), st);
  if (!fd) return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
  const FileIdentity identity = IdentityOf(st, fd.Get());
  if (prefix_ == &prefix && identity == identity_) {
    generation_ = generation;
    checked_ = now;
    return twoViews_;
  }
  std::optional<bool> twoViews = false;
  // Once the tree is loaded the text is not asked again; nor are these facts until the file changes.
  if (DeclaredArch(fd.Get()) == "win64") twoViews = store.ExistsWithoutTree({u"Software", u"Wow6432Node"});
  prefix_ = &prefix;
  generation_ = generation;
  checked_ = now;
  identity_ = identity;
  twoViews_ = twoViews;
  return twoViews;
}

std::optional<bool> ExistsWow32WithoutTree(MachineViewFacts& facts, PrefixRegistry& prefix, std::uint64_t generation,
                                           const PathNames& path, std::vector<std::u16string>& opened) {
  PathNames seen = path;
  if (path.empty() || !SameName(path[0], u"Software")) {
    // Outside Software the views agree.
  } else if (path.size() >= 2 && SameName(path[1], u"Classes")) {
    return std::nullopt;  // reached through Wine's link Wow6432Node\Classes: the tree follows links
  } else if (path.size() < 2 || !SameName(path[1], u"Wow6432Node")) {
    const std::optional<bool> twoViews = facts.TwoViews(prefix, generation);
    if (!twoViews) return std::nullopt;
    if (*twoViews) seen.insert(seen.begin() + 1, u"Wow6432Node");
  }
  const std::optional<bool> exists = prefix.Store(Branch::Machine).ExistsWithoutTree(seen);
  if (exists == true) opened.assign(seen.begin(), seen.end());
  return exists;
}

}  // namespace vidazoz::wineprefix
