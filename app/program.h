// The program record and the process entry: the start-up object is the window frmMain.
#pragma once

#include <memory>
#include <string_view>

#include "framework_check.h"
#include "runtime/window_runtime.h"
#include "system/system_services.h"

namespace vidazoz {

struct ProgramRecord {
  std::string_view projectName;
  std::string_view title;           // the application title of message boxes
  std::string_view executableName;
  int locale;
};

inline constexpr ProgramRecord kProgram{"Vidazoz", kApplicationTitle, "Vidazoz", 1033};

// Hands a new frmMain to the runtime and returns the process status when its window is gone.
int RunProgram(runtime::WindowRuntime& runtime, system::SystemServices& services,
               const RegistryFactory& makeRegistry);

}  // namespace vidazoz
