// Which Wine prefix holds the registry: $WINEPREFIX; else ~/.wine when it holds a registry;
// else our private prefix, made on the first write. Resolved from the environment at every
// call so that a changed $WINEPREFIX takes effect at once.
#pragma once

#include <string>

namespace vidazoz::wineprefix {

struct PrefixLocation {
  std::string dir;          // empty when no usable prefix is named (see LocatePrefix)
  bool isPrivate = false;   // our own prefix under the XDG data folder
  bool operator==(const PrefixLocation&) const = default;
};

// Wine's rules: a relative $WINEPREFIX names no prefix (Wine refuses it too). HOME comes from
// the environment, else the password database; a relative XDG_DATA_HOME is ignored, as the
// XDG rules say. Without a home an empty dir is returned.
PrefixLocation LocatePrefix();

}  // namespace vidazoz::wineprefix
