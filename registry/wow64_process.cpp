#include "wow64_process.h"

#ifndef _WIN32
#include "process_state.h"
#endif

namespace vidazoz {

#ifdef _WIN32
void SetWow64Process(bool) {}
bool Wow64Process() { return false; }
#else
void SetWow64Process(bool on) { wineprefix::ProcessState::Instance().SetWow64Process(on); }
bool Wow64Process() { return wineprefix::ProcessState::Instance().Wow64Process(); }
#endif

}  // namespace vidazoz
