#include "wow64_process.h"

#ifndef _WIN32
#include "platform.h"
#endif

namespace vidazoz {

#ifdef _WIN32
void SetWow64Process(bool) {}
bool Wow64Process() { return false; }
#else
void SetWow64Process(bool on) { wineprefix::Platform::Instance().SetWow64Process(on); }
bool Wow64Process() { return wineprefix::Platform::Instance().Wow64Process(); }
#endif

}  // namespace vidazoz
