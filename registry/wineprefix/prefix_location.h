// Which Wine prefix holds the registry: $WINEPREFIX; else ~/.wine when it holds a registry;
// else our private prefix, made on the first write. Resolved from the environment at every
// call so that a changed $WINEPREFIX takes effect at once.
#pragma once

#include <string>

namespace vidazoz::wineprefix {

struct PrefixLocation {
  std::string dir;
  bool isPrivate = false;  // our own prefix under the XDG data folder
  bool operator==(const PrefixLocation&) const = default;
};

PrefixLocation LocatePrefix();

}  // namespace vidazoz::wineprefix
