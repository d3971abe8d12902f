// The status a Reg* call returns when something below it throws: a C API's callers must
// never see an exception.
#pragma once

#include <new>
#include <stdexcept>

#include "win32_types.h"

namespace vidazoz::wineprefix {

// Only from a catch handler.
inline LONG StatusOfCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (const std::length_error&) {  // a size no allocation could meet
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_REGISTRY_IO_FAILED;
  }
}

// Runs a call's body: whatever it throws becomes the status the call returns.
template <typename Body>
LONG Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return StatusOfCaughtException();
  }
}

}  // namespace vidazoz::wineprefix
