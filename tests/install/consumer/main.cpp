// Someone else's program using the installed cRegistry: writes a value for the user, reads it
// back, then reads one that Wine itself wrote.
#include <vidazoz/cRegistry.h>

#include <iostream>

int main() {
  try {
    vidazoz::cRegistry reg;
    reg.ClassKey(vidazoz::kHKEY_CURRENT_USER);
    reg.SectionKey("Software\\Consumer");
    reg.ValueKey("Greeting");
    reg.ValueType(vidazoz::kREG_SZ);
    reg.Value("hello");
    std::cout << reg.Value().ToText() << '\n';

    reg.ClassKey(vidazoz::kHKEY_LOCAL_MACHINE);
    reg.SectionKey("Software\\Microsoft\\Windows NT\\CurrentVersion");
    reg.ValueKey("CurrentVersion");
    std::cout << reg.Value().ToText() << '\n';
  } catch (const vidazoz::Error& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
