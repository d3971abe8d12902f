// Where the reg command writes: UTF-8 with LF line ends, or CRLF (--crlf) for byte-exact
// Windows output.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace vidazoz::reg {

class Output {
 public:
  Output(std::ostream& out, std::ostream& err, bool crlf) : out_(out), err_(err), crlf_(crlf) {}
  void Text(std::u16string_view text) { Write(out_, text); }
  // A message or an error, one line, on standard error.
  void Message(std::string_view utf8) { Write(err_, utf8, true); }
  bool Good() const { return out_.good(); }

 private:
  void Write(std::ostream& stream, std::u16string_view text);
  void Write(std::ostream& stream, std::string_view utf8, bool newline);
  std::ostream& out_;
  std::ostream& err_;
  bool crlf_;
};

}  // namespace vidazoz::reg
