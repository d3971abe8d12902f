// The process entry: the program has no start-up routine of its own; the runtime runs frmMain.
#include "program.h"

#include "frmMain.h"
#include "wow64_process.h"

namespace vidazoz {

int RunProgram(runtime::WindowRuntime& runtime, system::SystemServices& services,
               const RegistryFactory& makeRegistry) {
  frmMain form(runtime, services, makeRegistry);
  return runtime.Run(form);
}

}  // namespace vidazoz

int main() {
  vidazoz::SetWow64Process(true);  // Vidazoz is a 32-bit program: its verdict is the 32-bit view's
  const auto services = vidazoz::system::MakePlatformServices();
  const auto runtime = vidazoz::runtime::MakePlatformRuntime();
  return vidazoz::RunProgram(*runtime, *services, [] { return std::make_unique<vidazoz::cRegistry>(); });
}
