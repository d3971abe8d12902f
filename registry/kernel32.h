// The two kernel32 calls value access makes: expanding environment references and copying
// bytes. On Windows they are the real ones; elsewhere they are declared here and implemented
// in environment_posix.cpp over the process environment, with Windows' rules.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstddef>

#include "advapi32.h"

// Expands %NAME% references from the process environment. Names match without regard to case;
// an undefined reference, an empty name ("%%") and an unterminated "%" stay as written.
// Returns the size the whole result needs, terminating NUL included. A destination of nSize
// bytes gets at most nSize - 1 characters and a NUL; with nSize 0 it is not touched.
DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);

void RtlMoveMemory(void* Destination, const void* Source, std::size_t Length);
#endif
