// The Linux process entry of `vidazoz`: the command line, which loads no window library. With no
// command-line mode asked it hands the process to the window program.
#include <iostream>
#include <memory>

#include "cRegistry.h"
#include "command_line.h"
#include "window_launch.h"
#include "wow64_process.h"

int main(int argc, char** argv) {
  vidazoz::SetWow64Process(true);  // Vidazoz is a 32-bit program: its verdict is the 32-bit view's
  const vidazoz::RegistryFactory makeRegistry = [] { return std::make_unique<vidazoz::cRegistry>(); };
  return vidazoz::cli::Main({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)}, std::cout, std::cerr,
                            makeRegistry, [argv] { return vidazoz::cli::ExecWindowProgram(argv, std::cerr); });
}
