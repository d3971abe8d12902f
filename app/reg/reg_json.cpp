// One key as a line of JSON.
#include "reg_json.h"

#include <cstdio>

#include "reg_data.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

std::string Quote(std::u16string_view text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::u16string Units(const std::vector<BYTE>& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return units;
}

std::string DataJson(const Value& value) {
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      const std::u16string units = Units(value.data);
      return Quote(std::u16string_view(units).substr(0, units.find(u'\0')));
    }
    case REG_MULTI_SZ: {
      const std::u16string units = Units(value.data);
      std::string out = "[";
      std::size_t start = 0;
      while (start < units.size()) {
        const std::size_t end = std::min(units.find(u'\0', start), units.size());
        if (end == start) break;  // the empty string that ends the list
        out += (out.size() > 1 ? "," : "") + Quote(std::u16string_view(units).substr(start, end - start));
        start = end + 1;
      }
      return out + "]";
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
      const std::size_t size = value.type == REG_QWORD ? 8 : 4;
      if (value.data.size() != size) break;
      std::uint64_t v = 0;
      for (std::size_t i = 0; i < size; ++i) v |= static_cast<std::uint64_t>(value.data[i]) << (8 * i);
      return std::to_string(v);
    }
    default:
      break;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex = "\"";
  for (BYTE b : value.data) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex + "\"";
}

}  // namespace

std::string KeyJson(const std::u16string& path, const std::vector<Value>& values,
                    const std::vector<std::u16string>& subkeys) {
  std::string out = "{\"path\":" + Quote(path) + ",\"values\":[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    out += (i ? "," : "") + std::string("{\"name\":") + Quote(values[i].name) + ",\"type\":" +
           Quote(TypeName(values[i].type)) + ",\"data\":" + DataJson(values[i]) + "}";
  }
  out += "],\"subkeys\":[";
  for (std::size_t i = 0; i < subkeys.size(); ++i) out += (i ? "," : "") + Quote(subkeys[i]);
  return out + "]}\n";
}

}  // namespace vidazoz::reg
