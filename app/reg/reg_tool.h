// `vidazoz reg COMMAND KEY [switches]`: Wine's reg on the registry the W calls reach.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vidazoz::reg {

struct RegStreams {
  std::ostream& out;
  std::ostream& err;
  bool crlf = false;            // CRLF line ends, as Windows' reg writes
  bool stdinIsTerminal = false;  // else every question is answered No
};

// `args` are the words after "reg", in UTF-8. Returns the exit status: 0 done, 1 failed or
// refused (a message on err says why).
int RunReg(const std::vector<std::string>& args, RegStreams streams);

}  // namespace vidazoz::reg
