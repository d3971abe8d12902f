// The framework check shown as text: the verdict the window would show, on a stream, and an
// exit status that says which one it was.
#pragma once

#include <ostream>

#include "framework_check.h"

namespace vidazoz {

inline constexpr int kExitInstalled = 0;   // 2.0 found
inline constexpr int kExitOld = 1;         // only 1.1 or 1.0
inline constexpr int kExitNone = 2;        // none of the three
inline constexpr int kExitCheckFailed = 3;  // the registry could not be probed
inline constexpr int kExitCannotWrite = 74;  // the verdict could not be written (EX_IOERR)

// Runs the window's check once with `out` as its display: the verdict's caption goes to `out`,
// the error message to `err`. Returns one of the statuses above.
// With `observe`, each probe is reported to it as it is answered.
[[nodiscard]] int CheckAsText(std::ostream& out, std::ostream& err, const RegistryFactory& makeRegistry,
                              const ProbeObserver& observe = {});

}  // namespace vidazoz
