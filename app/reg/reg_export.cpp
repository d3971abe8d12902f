// export: Wine's .reg file — UTF-16LE with a BOM, the version 5 header, CR LF,
// a key per block, hex data wrapped to 80 columns — written whole beside the
// target, then renamed into place.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "reg_commands.h"
#include "reg_file.h"
#include "reg_key.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

constexpr std::size_t kHexWrap = 77;  // a hex line breaks once it reaches this many columns

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\0') break;
    const auto escape = std::ranges::find(kRegEscapes, c, &RegEscape::character);
    if (escape == std::end(kRegEscapes)) {
      out += c;
    } else {
      out += u'\\';
      out += escape->letter;
    }
  }
  return out;
}

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string HexByte(BYTE b) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 0xF]};
}

// "name"=data and its line end; hex lines break after a comma, continued two
// spaces in.
void ValueText(const Value &value, std::u16string &out) {
  const std::u16string name = value.name.empty() ? u"@=" : u"\"" + Escaped(value.name) + u"\"=";
  out += name;
  const std::vector<BYTE> &data = value.data;
  if (value.type == REG_SZ) {
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    out += u"\"" + Escaped(units) + u"\"\r\n";
    return;
  }
  if (value.type == REG_DWORD && data.size() == 4) {
    char digits[9];
    const unsigned v = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned>(data[3]) << 24);
    std::snprintf(digits, sizeof digits, "%08x", v);
    out += u"dword:" + Ascii(digits) + u"\r\n";
    return;
  }
  std::u16string prefix = u"hex:";
  if (value.type != REG_BINARY) {
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    prefix = Ascii(type);
  }
  out += prefix;
  std::size_t column = name.size() + prefix.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    out += HexByte(data[i]);
    if (i + 1 == data.size()) break;
    out += u',';
    column += 3;
    if (column >= kHexWrap) {
      out += u"\\\r\n  ";
      column = 2;
    }
  }
  out += u"\r\n";
}

struct Exporter {
  REGSAM view;
  std::u16string text;
  bool tooDeep = false;

  void Key(HKEY key, const std::u16string &path, int depth = 0) {
    if (depth > kMaxDepth) {
      tooDeep = true;
      return;
    }
    text += u"\r\n[" + path + u"]\r\n";
    const KeyListing listed = ListKey(key);
    for (const Value &value : listed.values) ValueText(value, text);
    ForEachReadableSubkey(key, listed.subkeys, view, [&](HKEY child, const std::u16string &sub) {
      Key(child, path + u"\\" + sub, depth + 1);
    });
  }
};

}  // namespace

int Export(const KeyName &key, const std::string &file, const Switches &s, Output &output, Confirm confirm) {
  OpenKey open;
  if (!OpenOrSay(open, key, KEY_READ | s.view, output)) return 1;
  Exporter exporter{s.view, u"\xFEFFWindows Registry Editor Version 5.00\r\n"};
  exporter.Key(open.Get(), key.longName);
  exporter.text += u"\r\n";
  if (exporter.tooDeep) {
    output.Message(kTooDeep);
    return 1;
  }
  if (!s.overwrite && NameTaken(file) &&
      !confirm(output, "The file '" + file + "' already exists. Do you want to overwrite it? (Yes|No)")) {
    output.Message("reg: The operation was cancelled.");
    return 0;
  }
  std::string bytes;
  bytes.reserve(exporter.text.size() * 2);
  for (char16_t u : exporter.text) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  if (const std::string error = WriteWholeFile(file, bytes); !error.empty()) {
    output.Message("reg: " + error);
    return 1;
  }
  return 0;
}

}  // namespace vidazoz::reg
