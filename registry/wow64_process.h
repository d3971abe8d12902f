// Whether this process sees the registry as a 32-bit program under WoW64 does: by default the
// 32-bit view of a 64-bit prefix (KEY_WOW64_64KEY still reaches the 64-bit one). Off by default.
// Over a Wine prefix only: on Windows the process's own bitness decides, and this changes nothing.
#pragma once

namespace vidazoz {

void SetWow64Process(bool on);
bool Wow64Process();

}  // namespace vidazoz
