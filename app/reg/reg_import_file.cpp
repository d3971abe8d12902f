// The .reg reader: a file is hostile input, so every line is checked and
// bounded before the registry is touched, and a file with any line it cannot
// read is refused whole.
#include "reg_import_file.h"

#include <algorithm>
#include <iterator>

#include "ansi.h"
#include "reg_data.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

using View = std::u16string_view;

bool ValidUtf8(std::string_view bytes) { return Utf8(Utf16(bytes)) == bytes; }

// 8-bit text, as UTF-8 when it is valid UTF-8, else as Windows-1252.
std::u16string Widen(std::string_view bytes, bool utf8) {
  return utf8 && ValidUtf8(bytes) ? Utf16(bytes) : ansi::ToUtf16(bytes);
}

void SkipBlanks(View &text) {
  while (!text.empty() && (text[0] == u' ' || text[0] == u'\t')) text.remove_prefix(1);
}

void TrimEnd(View &text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t' || text.back() == u'\r')) text.remove_suffix(1);
}

// Nothing left but blanks or a ; comment.
bool OnlyComment(View rest) {
  SkipBlanks(rest);
  return rest.empty() || rest[0] == u';';
}

bool StartsWithAscii(View text, View prefix) {
  return text.size() >= prefix.size() && SameAscii(text.substr(0, prefix.size()), prefix);
}

// A quoted string after its opening quote, up to the closing one; \\ \" \n \r
// and \0 unescaped.
bool Quoted(View &text, std::u16string &out, std::string &error) {
  while (!text.empty()) {
    const char16_t c = text[0];
    text.remove_prefix(1);
    if (c == u'"') return true;
    if (c != u'\\') {
      out += c;
      continue;
    }
    if (text.empty()) break;
    const char16_t e = text[0];
    text.remove_prefix(1);
    const auto escape = std::ranges::find(kRegEscapes, e, &RegEscape::letter);
    if (escape == std::end(kRegEscapes)) {
      error = "an unknown escape \\" + Utf8(View(&e, 1));
      return false;
    }
    out += escape->character;
  }
  if (error.empty()) error = "a string without its closing quote";
  return false;
}

class Reader {
 public:
  Reader(std::u16string text, bool eightBit, bool utf8) : text_(std::move(text)), eightBit_(eightBit), utf8_(utf8) {}

  ImportFile Read() {
    ImportFile file;
    View line;
    if (!NextLine(line))
      return Refuse(file,
                    "the file is empty; it must start with \"Windows "
                    "Registry Editor Version 5.00\" or \"REGEDIT4\"");
    SkipBlanks(line);
    TrimEnd(line);
    if (line == u"Windows Registry Editor Version 5.00") {
      version4_ = false;
    } else if (line == u"REGEDIT4") {
      version4_ = true;
    } else {
      return Refuse(file,
                    "the first line must be \"Windows Registry Editor "
                    "Version 5.00\" or \"REGEDIT4\", not \"" +
                        Utf8(line.substr(0, 80)) + "\"");
    }
    bool inKey = false;
    KeyName key;
    while (NextLine(line)) {
      SkipBlanks(line);
      TrimEnd(line);
      if (line.empty() || line[0] == u';' || line[0] == u'#') continue;
      std::string error;
      if (line[0] == u'[') {
        const std::size_t close = line.rfind(u']');
        if (close == View::npos) return Refuse(file, "a key without its closing ]");
        View name = line.substr(1, close - 1);
        const bool deletes = !name.empty() && name[0] == u'-';
        if (deletes) name.remove_prefix(1);
        const std::optional<KeyName> parsed = ParseKeyName(std::u16string(name), error);
        if (!parsed) return Refuse(file, error);
        if (deletes && parsed->path.empty()) return Refuse(file, "a whole root cannot be deleted");
        ImportStep& step = file.steps.emplace_back();
        step.kind = deletes ? ImportStep::Kind::DeleteKey : ImportStep::Kind::CreateKey;
        step.key = *parsed;
        step.line = lineNumber_;
        inKey = !deletes;
        key = *parsed;
        continue;
      }
      if (line[0] != u'@' && line[0] != u'"')
        return Refuse(file, "a line that is neither a key, a value nor a comment");
      if (!inKey) return Refuse(file, "a value outside any key");
      ImportStep step;
      step.kind = ImportStep::Kind::SetValue;
      step.key = key;
      step.line = lineNumber_;  // a value's first line, before any continuation
      if (!Value(line, step, error)) return Refuse(file, error);
      file.steps.push_back(std::move(step));
    }
    return file;
  }

 private:
  bool NextLine(View &line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = text_.find(u'\n', pos_);
    const std::size_t stop = end == std::u16string::npos ? text_.size() : end;
    line = View(text_).substr(pos_, stop - pos_);
    pos_ = stop + 1;
    ++lineNumber_;
    return true;
  }

  ImportFile &Refuse(ImportFile &file, const std::string &what) {
    file.steps.clear();
    file.error = "line " + std::to_string(lineNumber_) + ": " + what;
    return file;
  }

  bool Value(View line, ImportStep &step, std::string &error) {
    if (line[0] == u'@') {
      line.remove_prefix(1);
    } else {
      line.remove_prefix(1);
      if (!Quoted(line, step.name, error)) return false;
    }
    SkipBlanks(line);
    if (line.empty() || line[0] != u'=') {
      error = "a value name without = after it";
      return false;
    }
    line.remove_prefix(1);
    SkipBlanks(line);
    if (!line.empty() && line[0] == u'-' && OnlyComment(line.substr(1))) {
      step.kind = ImportStep::Kind::DeleteValue;
      return true;
    }
    if (!line.empty() && line[0] == u'"') {
      line.remove_prefix(1);
      std::u16string text;
      if (!Quoted(line, text, error)) return false;
      if (!OnlyComment(line)) {
        error = "text after a string's closing quote";
        return false;
      }
      step.type = REG_SZ;
      text += u'\0';
      for (char16_t u : text) {
        step.data.push_back(static_cast<BYTE>(u & 0xFF));
        step.data.push_back(static_cast<BYTE>(u >> 8));
      }
      return true;
    }
    if (StartsWithAscii(line, u"dword:")) {
      line.remove_prefix(6);
      std::uint32_t v = 0;
      std::size_t digits = 0;
      for (; digits < line.size() && HexDigit(line[digits]) >= 0; ++digits) v = v * 16 + HexDigit(line[digits]);
      if (digits == 0 || digits > 8 || !OnlyComment(line.substr(digits))) {
        error = "dword: needs one to eight hexadecimal digits";
        return false;
      }
      step.type = REG_DWORD;
      for (int i = 0; i < 4; ++i) step.data.push_back(static_cast<BYTE>(v >> (8 * i)));
      return true;
    }
    if (StartsWithAscii(line, u"hex:")) {
      line.remove_prefix(4);
      step.type = REG_BINARY;
    } else if (StartsWithAscii(line, u"hex(")) {
      line.remove_prefix(4);
      std::uint64_t type = 0;
      std::size_t digits = 0;
      for (; digits < line.size() && HexDigit(line[digits]) >= 0; ++digits) type = type * 16 + HexDigit(line[digits]);
      if (digits == 0 || digits > 8 || line.substr(digits, 2) != u"):") {
        error = "hex(TYPE): needs one to eight hexadecimal digits for its type";
        return false;
      }
      line.remove_prefix(digits + 2);
      step.type = static_cast<DWORD>(type);
    } else {
      error = "data that is not \"text\", dword:, hex:, hex(TYPE): or -";
      return false;
    }
    if (!HexBytes(line, step.data, error)) return false;
    if (version4_ && eightBit_ && (step.type == REG_EXPAND_SZ || step.type == REG_MULTI_SZ)) {
      const std::u16string wide =
          Widen(std::string_view(reinterpret_cast<const char *>(step.data.data()), step.data.size()), utf8_);
      step.data.clear();
      for (char16_t u : wide) {
        step.data.push_back(static_cast<BYTE>(u & 0xFF));
        step.data.push_back(static_cast<BYTE>(u >> 8));
      }
    }
    return true;
  }

  // Comma-separated bytes of one or two digits; a \ at a line's end continues
  // on the next.
  bool HexBytes(View line, std::vector<BYTE> &data, std::string &error) {
    for (;;) {
      SkipBlanks(line);
      if (line.empty() || line[0] == u';') return true;
      if (line[0] == u'\\' && OnlyComment(line.substr(1))) {
        if (!NextLine(line)) {
          error = "a \\ continues past the end of the file";
          return false;
        }
        TrimEnd(line);
        continue;
      }
      int value = HexDigit(line[0]);
      if (value < 0) {
        error = "hex data must be bytes of hexadecimal digits separated by commas";
        return false;
      }
      line.remove_prefix(1);
      if (!line.empty() && HexDigit(line[0]) >= 0) {
        value = value * 16 + HexDigit(line[0]);
        line.remove_prefix(1);
      }
      data.push_back(static_cast<BYTE>(value));
      SkipBlanks(line);
      if (line.empty() || line[0] == u';') return true;
      if (line[0] != u',') {
        error = "hex data must be bytes of hexadecimal digits separated by commas";
        return false;
      }
      line.remove_prefix(1);
    }
  }

  std::u16string text_;
  bool eightBit_;
  bool utf8_;
  bool version4_ = false;
  std::size_t pos_ = 0;
  std::size_t lineNumber_ = 0;
};

}  // namespace

ImportFile ParseImportFile(std::string_view bytes) {
  if (bytes.size() > kMaxImportBytes) return {{}, "the file is larger than 64 MiB"};
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2 != 0) return {{}, "a UTF-16 file of an odd number of bytes"};
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    return Reader(std::move(text), false, false).Read();
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const bool utf8 = ValidUtf8(bytes);
  return Reader(utf8 ? Utf16(bytes) : ansi::ToUtf16(bytes), true, utf8).Read();
}

}  // namespace vidazoz::reg
