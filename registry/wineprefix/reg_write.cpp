// WriteRegFile: the text Wine's server saves for a branch, byte for byte.
#include <cstdint>
#include <cstring>

#include "advapi32.h"
#include "file_time.h"
#include "hex_digits.h"
#include "reg_escape.h"
#include "reg_file.h"
#include "utf16le.h"

namespace vidazoz::wineprefix {
namespace {

// Past this column a hex dump continues on the next line.
constexpr std::size_t kHexWrapColumn = 76;

void AppendUnsigned(std::string& out, std::uint32_t value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) out.push_back(digits[--n]);
}

// Wine keeps strings as whole UTF-16 units with a final NUL; only those are written as text.
bool IsTerminatedString(const std::vector<std::uint8_t>& data) {
  return data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 2] == 0 && data[data.size() - 1] == 0;
}

void AppendValue(std::string& out, const RegValue& value, std::u16string& scratch) {
  std::size_t column;
  if (value.name.empty()) {
    out += "@=";
    column = 2;
  } else {
    out.push_back('"');
    column = 1 + AppendEscaped(out, value.name, "\"\"", FinalNul::kWritten);
    out += "\"=";
    column += 2;
  }

  const auto& data = value.data;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      if (!IsTerminatedString(data)) break;
      if (value.type == REG_EXPAND_SZ) out += "str(2):";
      if (value.type == REG_MULTI_SZ) out += "str(7):";
      out.push_back('"');
      AppendEscaped(out, UnitsFromBytes(data, scratch), "\"\"");
      out += "\"\n";
      return;
    case REG_DWORD:
      if (data.size() != 4) break;
      out += "dword:";
      AppendHexNumber(out, static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) |
                               static_cast<std::uint32_t>(data[3]) << 24,
                      8);
      out.push_back('\n');
      return;
    default:
      break;
  }

  const std::size_t typeStart = out.size();
  if (value.type == REG_BINARY) {
    out += "hex:";
  } else {
    out += "hex(";
    AppendHexNumber(out, value.type, 1);
    out += "):";
  }
  column += out.size() - typeStart;
  for (std::size_t i = 0; i < data.size(); ++i) {
    out.push_back(kHexDigits[data[i] >> 4]);
    out.push_back(kHexDigits[data[i] & 15]);
    column += 2;
    if (i + 1 < data.size()) {
      out.push_back(',');
      if (++column > kHexWrapColumn) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  out.push_back('\n');
}

bool IsWritten(const RegKey& key) {
  return key.ValueCount() > 0 || key.SubkeyCount() == 0 || key.HasClass() || key.IsLink();
}

void AppendKeyBlock(std::string& out, const RegKey& key, std::string_view path, std::u16string& scratch) {
  out += "\n[";
  out += path;
  out += "] ";
  const auto ticks = static_cast<std::int64_t>(key.Modified());
  AppendUnsigned(out, static_cast<std::uint32_t>((ticks - kTicks1601To1970) / kTicksPerSecond));
  out += "\n#time=";
  AppendHexNumber(out, static_cast<std::uint32_t>(key.Modified() >> 32), 1);
  AppendHexNumber(out, static_cast<std::uint32_t>(key.Modified()), 8);
  out.push_back('\n');
  if (const std::u16string* cls = key.ClassName()) {
    out += "#class=\"";
    AppendEscaped(out, *cls, "\"\"", FinalNul::kWritten);
    out += "\"\n";
  }
  if (key.IsLink()) out += "#link\n";
  for (std::size_t i = 0; i < key.ValueCount(); ++i) AppendValue(out, key.Value(i), scratch);
}

}  // namespace

std::string WriteRegFile(const RegBranch& branch) {
  std::string out;
  WriteRegFile(branch, out);
  return out;
}

void WriteRegFile(const RegBranch& branch, std::string& out) {
  out.assign("WINE REGISTRY Version 2\n");
  if (!branch.rootComment.empty()) {
    out += branch.rootComment;
    out.push_back('\n');
  }
  if (!branch.options.empty()) {
    out.push_back('\n');
    for (const auto& option : branch.options) {
      out += option;
      out.push_back('\n');
    }
  }
  if (branch.root.IsVolatile()) return;

  // Depth-first, parents before their sub-keys, without recursion (trees can be deep).
  struct Frame {
    const RegKey* key;
    std::size_t nextSubkey;
    std::size_t pathLength;
  };
  std::string path;
  std::u16string scratch;
  std::vector<Frame> stack;
  if (IsWritten(branch.root)) AppendKeyBlock(out, branch.root, path, scratch);
  stack.push_back({&branch.root, 0, 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.nextSubkey == top.key->SubkeyCount()) {
      stack.pop_back();
      continue;
    }
    const RegKey& child = top.key->Subkey(top.nextSubkey++);
    if (child.IsVolatile()) continue;
    path.resize(top.pathLength);
    if (stack.size() > 1) path += "\\\\";
    AppendEscaped(path, child.Name(), "[]", FinalNul::kWritten);
    if (IsWritten(child)) AppendKeyBlock(out, child, path, scratch);
    stack.push_back({&child, 0, path.size()});
  }
}

}  // namespace vidazoz::wineprefix
