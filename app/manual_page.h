// The manual page vidazoz(1) and the bash completion, written from the description of the
// command line, so that neither can drift from what the program accepts.
#pragma once

#include <ostream>
#include <string_view>

namespace vidazoz::cli {

// roff for man(7); `date` as the page's footer shows it (YYYY-MM-DD).
void WriteManualPage(std::ostream& out, std::string_view version, std::string_view date);

// A bash script defining the completion of `vidazoz`.
void WriteBashCompletion(std::ostream& out);

}  // namespace vidazoz::cli
