// This process's volatile keys outlive every reload of their branch: they are in no file, so a
// reload (another process's write, a failed change) would otherwise drop them.
#pragma once

#include "key_tree.h"

namespace vidazoz::wineprefix {

// Moves every volatile subtree of the tree under `from` to the same place under `to`, a fresh
// reading of the file. One whose parent `to` lacks goes with its parent (another process
// deleted it: it never saw our key); where `to` has a key of that name the file's stays.
// Throws only before anything moved.
void CarryVolatileKeys(RegKey& from, RegKey& to);

}  // namespace vidazoz::wineprefix
