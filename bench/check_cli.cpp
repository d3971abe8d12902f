// The check alone, for timing from exec to verdict: three probes, the verdict on stdout.
#include <iostream>

#include "framework_check.h"
#include "wow64_process.h"

int main() {
  vidazoz::SetWow64Process(true);  // as the program itself does
  vidazoz::MessageOnlyDisplay display;
  const vidazoz::Verdict* verdict =
      vidazoz::RunFrameworkCheck(display, [] { return std::make_unique<vidazoz::cRegistry>(); });
  if (verdict == nullptr) {
    std::cerr << display.message << '\n';
    return 1;
  }
  std::cout << verdict->caption << '\n';
}
