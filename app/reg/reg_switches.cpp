// Which switch each command takes, and what makes a command line invalid.
#include "reg_switches.h"

#include "reg_text.h"

namespace vidazoz::reg {

bool ParseSwitches(Command command, const std::vector<std::u16string>& args, Switches& s) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::u16string& arg = args[i];
    if (arg == u"--json" && command == Command::Query && !s.json) {
      s.json = true;
      continue;
    }
    if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-')) return false;
    const std::u16string name = arg.substr(1);
    const auto next = [&](std::optional<std::u16string>& into) {
      if (into || i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (SameAscii(name, u"reg:32") || SameAscii(name, u"reg:64")) {
      const REGSAM bit = SameAscii(name, u"reg:32") ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
      if (s.view & bit) return false;
      s.view |= bit;
    } else if (command == Command::Compare && SameAscii(name, u"s")) {
      if (s.recurse) return false;
      s.recurse = true;
    } else if (command == Command::Compare && SameAscii(name, u"f")) {
      return false;
    } else if (command == Command::Compare && (SameAscii(name, u"oa") || SameAscii(name, u"od") ||
                                               SameAscii(name, u"os") || SameAscii(name, u"on"))) {
      if (s.compareOutputGiven) return false;  // one choice of output
      s.compareOutputGiven = true;
      const char16_t which = name[1] | 0x20;
      s.compareOutput = which == u'a'   ? CompareOutput::All
                        : which == u'd' ? CompareOutput::Differences
                        : which == u's' ? CompareOutput::Same
                                        : CompareOutput::Nothing;
    } else if (command == Command::Copy) {
      if (SameAscii(name, u"s") && !s.recurse) {
        s.recurse = true;
      } else if (SameAscii(name, u"f") && !s.force) {
        s.force = true;
      } else {
        return false;
      }
    } else if (command == Command::Import) {
      return false;  // only a view
    } else if (command == Command::Export) {
      if (!SameAscii(name, u"y")) return false;  // repeated, as Wine takes it
      s.overwrite = true;
    } else if (SameAscii(name, u"v")) {
      if (!next(s.value)) return false;
    } else if (SameAscii(name, u"ve")) {
      if (s.emptyValue) return false;
      s.emptyValue = true;
    } else if (SameAscii(name, u"va") && command == Command::Delete) {
      if (s.allValues) return false;
      s.allValues = true;
    } else if (SameAscii(name, u"f") && command != Command::Query) {
      if (s.force) return false;
      s.force = true;
    } else if (SameAscii(name, u"s") && command == Command::Query) {
      if (s.recurse) return false;
      s.recurse = true;
    } else if (SameAscii(name, u"s") && command == Command::Add) {
      std::optional<std::u16string> separator;
      if (s.separator || !next(separator) || separator->size() != 1) return false;
      s.separator = (*separator)[0];
    } else if (SameAscii(name, u"t") && command == Command::Add) {
      if (!next(s.type)) return false;
    } else if (SameAscii(name, u"d") && command == Command::Add) {
      if (!next(s.data)) return false;
    } else {
      return false;
    }
  }
  if (s.view == (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) return false;
  const int valueChoices = (s.value ? 1 : 0) + (s.emptyValue ? 1 : 0) + (s.allValues ? 1 : 0);
  return valueChoices <= 1 && !(s.json && valueChoices != 0);  // --json shows whole keys
}

}  // namespace vidazoz::reg
