// A program with Win32 names of its own (as another library or its own code may define them):
// the installed headers must leave the global namespace to it, and bring everything the README
// tells users to include.
#include <cstdint>

typedef unsigned long DWORD;
typedef long LONG;
#define ERROR_SUCCESS 0L
#define HKEY_CURRENT_USER ((void*)0x80000001)
struct HKEY__ {
  int mine;
};

#include <vidazoz/cRegistry.h>
#include <vidazoz/wow64_process.h>

#include <iostream>

int main() {
  const DWORD mine = 7;
  const LONG status = ERROR_SUCCESS;
  vidazoz::SetWow64Process(true);
  try {
    vidazoz::cRegistry reg;
    reg.ClassKey(vidazoz::kHKEY_CURRENT_USER);
    reg.SectionKey("Software\\Consumer");
    reg.ValueKey("Own");
    reg.ValueType(vidazoz::kREG_DWORD);
    reg.Value(static_cast<std::int32_t>(mine));
    std::cout << reg.Value().ToText() << ' ' << status << ' ' << vidazoz::Wow64Process() << ' '
              << (HKEY_CURRENT_USER != nullptr) << '\n';
  } catch (const vidazoz::Error& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
