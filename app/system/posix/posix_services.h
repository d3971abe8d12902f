// The system services on Linux: no shell library to load, no common controls to initialise;
// the shell's "Open" hands the file to xdg-open.
#pragma once

#include "system/system_services.h"

namespace vidazoz::system {

class PosixServices final : public SystemServices {
 public:
  ModuleHandle LoadLibraryA(const std::string&) override { return 0; }
  bool FreeLibrary(ModuleHandle) override { return true; }
  void InitCommonControls() override {}
  // Starts `xdg-open file` without a shell and without waiting for it; throws when it cannot
  // be started.
  std::intptr_t ShellExecuteA(runtime::WindowHandle owner, const std::string& operation, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              int showCommand) override;
};

}  // namespace vidazoz::system
