// The registry platform: the advapi32 calls cRegistry makes, under their Windows names and
// signatures. On Windows this is <windows.h>; elsewhere our own, over a Wine prefix's registry
// files (wineprefix/calls/).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "advapi32_calls.h"
#endif
