// Kernel, common-controls and shell services of the window. On Windows these are the real
// kernel32/comctl32/shell32 calls; on Linux there is nothing to load or initialise and the
// shell hands the address to the desktop's opener.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/window_runtime.h"

namespace vidazoz::system {

using ModuleHandle = std::uintptr_t;  // 0 when a load failed

class SystemServices {
 public:
  virtual ~SystemServices() = default;

  [[nodiscard]] virtual ModuleHandle LoadLibraryA(const std::string& fileName) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;
  virtual void InitCommonControls() = 0;
  // Hands `file` to the shell. Returns the shell's result (> 32 on success), which callers
  // may ignore. Throws std::runtime_error when the shell itself cannot be reached.
  virtual std::intptr_t ShellExecuteA(runtime::WindowHandle owner, const std::string& operation,
                                      const std::string& file, const std::string& parameters,
                                      const std::string& directory, int showCommand) = 0;
};

// The platform's services, defined by its implementation.
std::unique_ptr<SystemServices> MakePlatformServices();

}  // namespace vidazoz::system
