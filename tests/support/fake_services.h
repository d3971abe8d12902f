// System services that record what the window asks of the kernel and the shell.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "system/system_services.h"

namespace vidazoz::testing {

class FakeServices final : public system::SystemServices {
 public:
  system::ModuleHandle LoadLibraryA(const std::string& fileName) override {
    calls.push_back("LoadLibraryA " + fileName);
    return loadResult;
  }
  bool FreeLibrary(system::ModuleHandle module) override {
    calls.push_back("FreeLibrary " + std::to_string(module));
    return module != 0;
  }
  void InitCommonControls() override { calls.push_back("InitCommonControls"); }
  std::intptr_t ShellExecuteA(runtime::WindowHandle owner, const std::string& operation, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              int showCommand) override {
    calls.push_back("ShellExecuteA " + std::to_string(owner) + " " + operation + " " + file + " [" + parameters +
                    "] [" + directory + "] " + std::to_string(showCommand));
    if (shellUnreachable) throw std::runtime_error("shell unreachable");
    return shellResult;
  }

  std::vector<std::string> calls;
  system::ModuleHandle loadResult = 0x7c9c0000;
  bool shellUnreachable = false;
  std::intptr_t shellResult = 42;
};

}  // namespace vidazoz::testing
