// The Win32 status a failed file operation becomes.
#pragma once

#include <cerrno>

#include "win32_types.h"

namespace vidazoz::wineprefix {

[[nodiscard]] inline LONG StatusFromErrno(int err) {
  return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
}

}  // namespace vidazoz::wineprefix
