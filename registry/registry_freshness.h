// Off Windows: whether what this process read from the registry may lag behind a running Wine.
#pragma once

#include <optional>
#include <string>

namespace vidazoz {

// One line for the user when a wineserver runs for the current prefix and cannot be asked
// (its changes reach the files only at its next save); nullopt otherwise.
std::optional<std::string> StaleRegistryWarning();

}  // namespace vidazoz
