// The command-line program links no window library: the window is a program of its own, found
// beside this one and run in its place.
#pragma once

#include <ostream>
#include <string>

namespace vidazoz::cli {

inline constexpr int kExitNoWindow = 69;  // EX_UNAVAILABLE

// The window program: installed under ../libexec/vidazoz from this program's folder, else beside
// it (the build tree). Empty when neither holds an executable one.
std::string WindowProgram();

// Replaces this process with the window program, the arguments passed through. Returns only when
// that failed, after saying why on `err`, with kExitNoWindow.
int ExecWindowProgram(char** argv, std::ostream& err);

}  // namespace vidazoz::cli
