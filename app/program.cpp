// The process entry: the program has no start-up routine of its own; the runtime runs frmMain.
#include "program.h"

#include "frmMain.h"

namespace vidazoz {

int RunProgram(runtime::WindowRuntime& runtime, system::SystemServices& services,
               const RegistryFactory& makeRegistry) {
  frmMain form(runtime, services, makeRegistry);
  return runtime.Run(form);
}

}  // namespace vidazoz

int main() {
  const auto services = vidazoz::system::MakePlatformServices();
  const auto runtime = vidazoz::runtime::MakePlatformRuntime();
  return vidazoz::RunProgram(*runtime, *services, [] { return std::make_unique<vidazoz::cRegistry>(); });
}
