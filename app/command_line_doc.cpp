// The usage and help texts, laid out from the description of the command line.
#include "command_line_doc.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace vidazoz::cli {
namespace {

constexpr std::size_t kWidth = 79;

// `text` broken at spaces into lines of at most kWidth columns; every line but the first starts
// with `indent` spaces, and the first continues a line already `startColumn` wide.
std::string Wrap(std::string_view text, std::size_t indent, std::size_t startColumn) {
  std::string out;
  std::size_t column = startColumn;
  bool lineEmpty = true;
  while (!text.empty()) {
    const std::size_t end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!lineEmpty && column + 1 + word.size() > kWidth) {
      out += '\n' + std::string(indent, ' ');
      column = indent;
      lineEmpty = true;
    }
    if (!lineEmpty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineEmpty = false;
  }
  return out + '\n';
}

std::string OptionWithArgument(const OptionDoc& option) {
  std::string text = option.shortName.empty() ? std::string(option.name)
                                              : std::string(option.shortName) + ", " + std::string(option.name);
  if (!option.argument.empty()) text += ' ' + std::string(option.argument);
  return text;
}

bool Informational(const OptionDoc& option) { return option.id == OptionId::Help || option.id == OptionId::Version; }

}  // namespace

std::string UsageText() {
  const std::string lead = "Usage: " + std::string(kProgram);
  std::string line = lead, informational;
  for (const OptionDoc& option : kOptions) {
    if (Informational(option)) {
      informational += (informational.empty() ? "" : " | ") + std::string(option.name);
    } else {
      line += " [" + OptionWithArgument(option) + "]";
    }
  }
  const std::string more(lead.size() - kProgram.size(), ' ');
  std::string usage = line + '\n';
  for (const CommandDoc& command : kCommands) {
    usage += more + std::string(kProgram) + ' ' + std::string(command.name) + ' ' +
             std::string(command.arguments) + '\n';
  }
  return usage + more + std::string(kProgram) + ' ' + informational + '\n';
}

std::string HelpText() {
  std::ostringstream help;
  help << UsageText();
  for (std::string_view paragraph : kDescription) help << '\n' << Wrap(paragraph, 0, 0);
  help << "\nOptions:\n";
  constexpr std::size_t kHelpColumn = 17;
  for (const OptionDoc& option : kOptions) {
    std::string head = "  " + OptionWithArgument(option);
    head.resize(std::max(head.size() + 2, kHelpColumn), ' ');
    help << head << Wrap(option.help, kHelpColumn, head.size());
  }
  if (!kCommands.empty()) {
    help << "\nCommands:\n";
    for (const CommandDoc& command : kCommands) {
      std::string head = "  " + std::string(command.name);
      head.resize(std::max(head.size() + 2, kHelpColumn), ' ');
      help << head << Wrap(command.help, kHelpColumn, head.size());
    }
  }
  help << "\nExit status:\n";
  for (const ExitStatusDoc& exit : kExitStatuses) {
    std::string head = "  " + std::to_string(exit.status);
    head.resize(7, ' ');
    help << head << Wrap(exit.meaning, 7, head.size());
  }
  return help.str();
}

}  // namespace vidazoz::cli
