// UTF-8 text out, line ends as asked.
#include "reg_output.h"

#include "reg_text.h"

namespace vidazoz::reg {

void Output::Write(std::ostream& stream, std::u16string_view text) { Write(stream, Utf8(text), false); }

void Output::Write(std::ostream& stream, std::string_view utf8, bool newline) {
  std::string text(utf8);
  if (newline) text += '\n';
  if (crlf_) {
    std::string converted;
    converted.reserve(text.size() + 8);
    for (char c : text) {
      if (c == '\n') converted += '\r';
      converted += c;
    }
    text.swap(converted);
  }
  stream << text;
}

}  // namespace vidazoz::reg
