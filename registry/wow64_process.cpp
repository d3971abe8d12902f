#include "wow64_process.h"

#ifndef _WIN32
#include "key_call.h"
#endif

namespace vidazoz {

#ifdef _WIN32
void SetWow64Process(bool) {}
bool Wow64Process() { return false; }
#else
void SetWow64Process(bool on) { wineprefix::KeyCall().SetWow64Process(on); }
bool Wow64Process() { return wineprefix::KeyCall().Wow64Process(); }
#endif

}  // namespace vidazoz
