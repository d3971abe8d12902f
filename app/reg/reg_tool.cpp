// Which reg command runs, on which key.
#include "reg_tool.h"

#include <iostream>

#include "reg_commands.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

bool AskNo(Output &output, const std::string &question) {
  output.Message(question + " No (standard input is not a terminal)");
  return false;
}

bool AskTerminal(Output &output, const std::string &question) {
  output.Message(question);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Finish(int status, const Output &output, RegStreams &streams) {
  streams.out.flush();
  if (!output.Good()) {
    streams.err << "vidazoz: cannot write to standard output\n";
    return 1;
  }
  return status;
}

}  // namespace

int RunReg(const std::vector<std::string> &args, RegStreams streams) {
  Output output(streams.out, streams.err, streams.crlf);
  const auto invalid = [&](std::string_view command) {
    output.Message("reg: Invalid syntax.");
    output.Message("Type \"vidazoz reg " + std::string(command) + " /?\" for help.");
    return 1;
  };
  if (args.empty()) return invalid("");
  const std::u16string name = Utf16(args[0]);
  Command command;
  if (SameAscii(name, u"query")) {
    command = Command::Query;
  } else if (SameAscii(name, u"add")) {
    command = Command::Add;
  } else if (SameAscii(name, u"delete")) {
    command = Command::Delete;
  } else if (SameAscii(name, u"export")) {
    command = Command::Export;
  } else if (SameAscii(name, u"import")) {
    command = Command::Import;
  } else if (SameAscii(name, u"copy")) {
    command = Command::Copy;
  } else if (SameAscii(name, u"compare")) {
    command = Command::Compare;
  } else {
    return invalid(args[0]);
  }
  if (args.size() < 2) return invalid(args[0]);
  if (command == Command::Import) {
    std::vector<std::u16string> switchArgs;
    for (std::size_t i = 2; i < args.size(); ++i) switchArgs.push_back(Utf16(args[i]));
    Switches switches;
    if (!ParseSwitches(command, switchArgs, switches)) return invalid(args[0]);
    return Finish(Import(args[1], switches, output), output, streams);
  }
  std::string error;
  const std::optional<KeyName> key = ParseKeyName(Utf16(args[1]), error);
  if (!key) {
    output.Message(error);
    return 1;
  }
  const bool takesSecond = command == Command::Export || command == Command::Copy || command == Command::Compare;
  if (takesSecond && args.size() < 3) return invalid(args[0]);
  std::vector<std::u16string> switchArgs;
  for (std::size_t i = takesSecond ? 3 : 2; i < args.size(); ++i) switchArgs.push_back(Utf16(args[i]));
  Switches switches;
  if (!ParseSwitches(command, switchArgs, switches)) return invalid(args[0]);

  const Confirm confirm = streams.stdinIsTerminal ? AskTerminal : AskNo;
  int status = 1;
  switch (command) {
    case Command::Query:
      status = Query(*key, switches, output);
      break;
    case Command::Add:
      status = Add(*key, switches, output, confirm);
      break;
    case Command::Delete:
      status = Delete(*key, switches, output, confirm);
      break;
    case Command::Copy:
    case Command::Compare: {
      const std::optional<KeyName> second = ParseKeyName(Utf16(args[2]), error);
      if (!second) {
        output.Message(error);
        return 1;
      }
      status = command == Command::Copy ? Copy(*key, *second, switches, output, confirm)
                                        : Compare(*key, *second, switches, output);
      break;
    }
    case Command::Import:
      break;  // handled above: it names a file, not a key
    case Command::Export:
      status = Export(*key, args[2], switches, output, confirm);
      break;
  }
  return Finish(status, output, streams);
}

}  // namespace vidazoz::reg
