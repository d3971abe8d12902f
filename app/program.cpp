// The process entry of the window program: it has no start-up routine of its own; the runtime
// runs frmMain. On Linux it is vidazoz-window, which `vidazoz` runs with its own arguments, and it
// reads them as `vidazoz` does.
#include "program.h"

#include "frmMain.h"
#include "wow64_process.h"

#ifdef _WIN32
#include "reg_windows_entry.h"
#else
#include <iostream>

#include "command_line.h"
#endif

namespace vidazoz {

int RunProgram(runtime::WindowRuntime& runtime, system::SystemServices& services,
               const RegistryFactory& makeRegistry) {
  frmMain form(runtime, services, makeRegistry);
  return runtime.Run(form);
}

}  // namespace vidazoz

int main([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
  vidazoz::SetWow64Process(true);  // Vidazoz is a 32-bit program: its verdict is the 32-bit view's
  const vidazoz::RegistryFactory makeRegistry = [] { return std::make_unique<vidazoz::cRegistry>(); };
  const auto runWindow = [&makeRegistry] {
    const auto services = vidazoz::system::MakePlatformServices();
    const auto runtime = vidazoz::runtime::MakePlatformRuntime();
    return vidazoz::RunProgram(*runtime, *services, makeRegistry);
  };
#ifdef _WIN32
  // The Windows program's one command line: `reg`, on the system's registry.
  if (const auto regArgs = vidazoz::reg::WindowsRegArguments()) return vidazoz::reg::RunRegOnWindows(*regArgs);
  return runWindow();
#else
  return vidazoz::cli::Main({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)}, std::cout, std::cerr,
                            makeRegistry, runWindow);
#endif
}
