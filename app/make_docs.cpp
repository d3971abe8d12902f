// Writes the manual page or the bash completion of vidazoz to a file, at build time.
#include <fstream>
#include <iostream>
#include <string_view>

#include "manual_page.h"

int main(int argc, char** argv) {
  const std::string_view usage = "usage: vidazoz_docs man VERSION DATE OUT | bash-completion OUT\n";
  const std::string_view what = argc > 1 ? argv[1] : "";
  const bool man = what == "man" && argc == 5, completion = what == "bash-completion" && argc == 3;
  if (!man && !completion) {
    std::cerr << usage;
    return 64;
  }
  std::ofstream out(argv[argc - 1], std::ios::binary | std::ios::trunc);
  if (man) vidazoz::cli::WriteManualPage(out, argv[2], argv[3]);
  else vidazoz::cli::WriteBashCompletion(out);
  out.close();
  if (!out) {
    std::cerr << "vidazoz_docs: cannot write " << argv[argc - 1] << '\n';
    return 74;
  }
}
