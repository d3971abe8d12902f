// vidazoz(1) in roff and the bash completion script, laid out from the command line's table.
#include "manual_page.h"

#include <string>

#include "command_line_doc.h"

namespace vidazoz::cli {
namespace {

// Text as roff prints it literally: backslashes and minus signs escaped, and no line that starts
// with a control character.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (out.starts_with('.') || out.starts_with('\'')) out.insert(0, "\\&");
  return out;
}

void Paragraph(std::ostream& out, std::string_view text) { out << ".PP\n" << Roff(text) << '\n'; }

void Synopsis(std::ostream& out) {
  out << ".SH SYNOPSIS\n.B " << kProgram << '\n';
  for (const OptionDoc& option : kOptions) {
    if (option.id == OptionId::Help || option.id == OptionId::Version) continue;
    out << ".RB [ " << Roff(option.name);
    if (!option.argument.empty()) out << "\n.IR " << Roff(option.argument) << " ]\n";
    else out << " ]\n";
  }
  for (const CommandDoc& command : kCommands) {
    out << ".br\n.B " << kProgram << "\n.B " << Roff(command.name) << '\n' << Roff(command.arguments) << '\n';
  }
  out << ".br\n.B " << kProgram << "\n.RB ( --help | --version )\n";
}

}  // namespace

void WriteManualPage(std::ostream& out, std::string_view version, std::string_view date) {
  out << ".\\\" The manual page of vidazoz, written by the program's documentation tool.\n"
      << ".TH VIDAZOZ 1 " << date << " \"Vidazoz " << version << "\" \"User Commands\"\n"
      << ".SH NAME\nvidazoz \\- check whether .NET Framework 2.0 is registered in a Wine prefix\n";
  Synopsis(out);
  out << ".SH DESCRIPTION\n";
  for (std::string_view paragraph : kDescription) Paragraph(out, paragraph);

  out << ".SS The window\n";
  Paragraph(out, "The window shows the .NET logo, a prompt, and the buttons Check and Exit. Check reads the "
                 "registry and paints the verdict in place of the prompt: green when version 2.0 is there, "
                 "orange when only 1.1 or 1.0 is, red when none is. Unless 2.0 was found, a download link with "
                 "a picture beside it appears; clicking either opens the download page in the web browser "
                 "(through xdg-open). Holding a mouse button on the logo shows the copyright line below. "
                 "Exit ends the program at once; so does closing the window.");
  Paragraph(out, "Only the left mouse button presses the buttons; Tab moves the focus between Check and Exit, "
                 "and Space presses the one that has it.");

  out << ".SH OPTIONS\n";
  for (const OptionDoc& option : kOptions) {
    out << ".TP\n.B ";
    if (!option.shortName.empty()) out << Roff(option.shortName) << ", ";
    out << Roff(option.name);
    if (!option.argument.empty()) out << " \\fI" << Roff(option.argument) << "\\fR";
    out << '\n' << Roff(option.help) << '\n';
  }
  if (!kCommands.empty()) {
    out << ".SH COMMANDS\n";
    for (const CommandDoc& command : kCommands) {
      out << ".TP\n.B " << Roff(command.name) << ' ' << Roff(command.arguments) << '\n' << Roff(command.help) << '\n';
    }
  }

  out << ".SH EXIT STATUS\n";
  for (const ExitStatusDoc& exit : kExitStatuses) out << ".TP\n.B " << exit.status << '\n' << Roff(exit.meaning) << '\n';

  out << ".SH ENVIRONMENT\n"
      << ".TP\n.B WINEPREFIX\nThe Wine prefix to read, unless \\-\\-prefix names one.\n"
      << ".TP\n.B XDG_DATA_HOME\nWhere the program's own prefix lies when there is no other.\n"
      << ".TP\n.B DISPLAY\nThe X display of the window.\n"
      << ".SH FILES\n"
      << ".TP\n.I ~/.wine/system.reg\nThe registry of the default Wine prefix, read by the check.\n"
      << ".TP\n.I ~/.local/share/vidazoz/prefix\nThe program's own prefix, when no other is set or found.\n"
      << ".SH NOTES\n"
      << "The check only reads. On a 64\\-bit prefix it reads the 32\\-bit view of the registry, as the "
         "32\\-bit Windows program does there.\n"
      << ".SH SEE ALSO\n.BR wine (1),\n.BR regedit (1)\n";
}

void WriteBashCompletion(std::ostream& out) {
  std::string words, directoryOptions;
  for (const OptionDoc& option : kOptions) {
    words += (words.empty() ? "" : " ") + std::string(option.name);
    if (option.argument.empty()) continue;
    if (option.completes == ArgumentKind::Directory) {
      directoryOptions += (directoryOptions.empty() ? "" : "|") + std::string(option.name);
    }
  }
  std::string commands;
  for (const CommandDoc& command : kCommands) commands += (commands.empty() ? "" : " ") + std::string(command.name);

  out << "# bash completion for vidazoz, written from the program's own description of its command line.\n"
      << "_vidazoz() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      << "  COMPREPLY=()\n";
  if (!directoryOptions.empty()) {
    out << "  local IFS=$'\\n'\n"
        << "  case $prev in\n"
        << "    " << directoryOptions << ")\n"
        << "      compopt -o filenames 2>/dev/null\n"
        << "      COMPREPLY=($(compgen -d -- \"$cur\"))\n"
        << "      return ;;\n"
        << "  esac\n"
        << "  case $cur in\n"
        << "    " << [&] {
             std::string patterns;
             for (const OptionDoc& option : kOptions) {
               if (option.completes != ArgumentKind::Directory) continue;
               patterns += (patterns.empty() ? "" : "|") + std::string(option.name) + "=*";
             }
             return patterns;
           }() << ")\n"
        << "      compopt -o filenames 2>/dev/null\n"
        << "      COMPREPLY=($(compgen -d -- \"${cur#*=}\"))\n"
        << "      return ;;\n"
        << "  esac\n"
        << "  unset IFS\n";
  }
  out << "  local words=\"" << words << "\"\n";
  if (!commands.empty()) out << "  words+=\" " << commands << "\"\n";
  out << "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      << "}\n"
      << "complete -F _vidazoz vidazoz\n";
}

}  // namespace vidazoz::cli
