// The two registry views of a 64-bit prefix: which one a call sees, and the existence fast path
// for a key of HKLM seen in the 32-bit view.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

#include "file_identity.h"
#include "key_path.h"
#include "look_again.h"
#include "win32_types.h"

namespace vidazoz::wineprefix {

class BranchStore;
class PrefixRegistry;

// The view a call sees: KEY_WOW64_32KEY wins (Wine reads 0x300 as the 32-bit view), then
// KEY_WOW64_64KEY, else what the handle it starts from was opened in.
bool SeesWow32(REGSAM samDesired, bool inherited);

// The walk for a call in that view; rootInView when it starts at a predefined root.
WalkView ViewOf(PrefixRegistry& prefix, bool wow32, bool rootInView);

// Whether a prefix has a 32-bit view (system.reg says #arch=win64 and holds
// Software\Wow6432Node), from the file's text, remembered for as long as the file is the same
// (looked at again as the branch cache looks: LookAgain). Each prefix holds its own.
class MachineViewFacts {
 public:
  enum class Views {
    kUnsure,  // the text cannot tell: the tree answers
    kOne,
    kTwo,
    kWin64,  // #arch=win64, Software\Wow6432Node not looked for yet: the first probe settles it
  };
  // `machine`: the prefix's system.reg; `generation`: its change count as the calling view read it.
  Views Known(const BranchStore& machine, std::uint64_t generation);
  // What a probe under Software\Wow6432Node learnt, for the file version Known() looked at.
  void Settle(bool twoViews) { views_ = twoViews ? Views::kTwo : Views::kOne; }

 private:
  bool looked_ = false;
  LookAgain look_;
  FileIdentity identity_;
  Views views_ = Views::kUnsure;
};

// Whether HKLM\<path> exists in the 32-bit view, answered without the tree as
// BranchStore::ExistsWithoutTree answers; nullopt when the tree should answer. `opened`
// receives the path of the key that exists.
std::optional<bool> ExistsWow32WithoutTree(PrefixRegistry& prefix, std::uint64_t generation, const PathNames& path,
                                           std::vector<std::u16string>& opened);

}  // namespace vidazoz::wineprefix
