// Parsing /d by type, and the data column of query.
#include "reg_data.h"

#include <array>
#include <cstring>
#include <utility>

#include "reg_text.h"

namespace vidazoz::reg {
namespace {

const std::array<std::pair<std::u16string_view, DWORD>, 9> kTypes = {{
    {u"REG_NONE", REG_NONE},
    {u"REG_SZ", REG_SZ},
    {u"REG_EXPAND_SZ", REG_EXPAND_SZ},
    {u"REG_BINARY", REG_BINARY},
    {u"REG_DWORD", REG_DWORD},
    {u"REG_DWORD_LITTLE_ENDIAN", REG_DWORD_LITTLE_ENDIAN},
    {u"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
    {u"REG_MULTI_SZ", REG_MULTI_SZ},
    {u"REG_QWORD", REG_QWORD},
}};

void AppendUnits(std::u16string_view units, std::vector<BYTE>& bytes) {
  for (char16_t u : units) {
    bytes.push_back(static_cast<BYTE>(u & 0xFF));
    bytes.push_back(static_cast<BYTE>(u >> 8));
  }
}

std::optional<std::uint64_t> ParseNumber(std::u16string_view text, std::uint64_t max) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char16_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
    if (value > (max - static_cast<unsigned>(digit)) / base) return std::nullopt;
    value = value * base + static_cast<unsigned>(digit);
  }
  return value;
}

std::u16string Hex(std::uint64_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return u"0x" + digits;
}

}  // namespace

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::optional<DWORD> TypeFromName(const std::u16string& name) {
  for (const auto& [typeName, type] : kTypes)
    if (SameAscii(name, typeName)) return type;
  return std::nullopt;
}

std::u16string TypeName(DWORD type) {
  for (const auto& [typeName, t] : kTypes)
    if (t == type) return std::u16string(typeName);
  return Hex(type);
}

ParsedData DataFromText(DWORD type, const std::optional<std::u16string>& data,
                        const std::optional<char16_t>& separator) {
  ParsedData out;
  const std::u16string text = data.value_or(u"");
  switch (type) {
    case REG_NONE:
    case REG_SZ:
    case REG_EXPAND_SZ:
      AppendUnits(text, out.bytes);
      AppendUnits(std::u16string_view(u"\0", 1), out.bytes);
      break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
      const bool qword = type == REG_QWORD;
      const std::optional<std::uint64_t> value =
          data ? ParseNumber(text, qword ? ~std::uint64_t{0} : 0xFFFFFFFFu) : std::nullopt;
      if (!value) {
        out.error = std::string("reg: ") + (qword ? "REG_QWORD" : "REG_DWORD") +
                    " data must be a number (decimal, or hexadecimal after 0x) that fits the type";
        return out;
      }
      const std::uint64_t v = *value;  // REG_DWORD_BIG_ENDIAN too is stored as given, as Wine does
      for (int i = 0; i < (qword ? 8 : 4); ++i) out.bytes.push_back(static_cast<BYTE>(v >> (8 * i)));
      break;
    }
    case REG_BINARY: {
      std::size_t i = 0;
      if (text.size() % 2 != 0) {  // an odd count: the first digit stands alone, as in Wine
        const int d = HexDigit(text[0]);
        if (d < 0) break;
        out.bytes.push_back(static_cast<BYTE>(d));
        i = 1;
      }
      for (; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) {
          out.bytes.clear();
          out.error = "reg: Invalid hexadecimal data for REG_BINARY";
          return out;
        }
        out.bytes.push_back(static_cast<BYTE>(hi * 16 + lo));
      }
      if (!text.empty() && out.bytes.empty()) out.error = "reg: Invalid hexadecimal data for REG_BINARY";
      break;
    }
    case REG_MULTI_SZ: {
      std::u16string units;
      for (std::size_t i = 0; i < text.size(); ++i) {
        const bool split = separator ? text[i] == *separator : (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'0');
        if (split && !separator) ++i;
        const char16_t unit = split ? u'\0' : text[i];
        if (unit == u'\0' && (units.empty() || units.back() == u'\0')) {
          out.error = "reg: An empty string is not allowed in REG_MULTI_SZ data";
          return out;
        }
        units += unit;
      }
      if (!units.empty() && units.back() != u'\0') units += u'\0';
      units += u'\0';
      AppendUnits(units, out.bytes);
      break;
    }
    default:
      out.error = "reg: Unsupported type";
  }
  return out;
}

std::u16string DataText(DWORD type, const std::vector<BYTE>& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return units.substr(0, units.find(u'\0'));
    case REG_MULTI_SZ: {
      if (bytes.size() <= 4) return {};
      units.resize(units.size() >= 2 ? units.size() - 2 : 0);  // both terminators
      std::u16string text;
      for (char16_t u : units) text += u == u'\0' ? std::u16string(u"\\0") : std::u16string(1, u);
      return text;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
      const std::size_t size = type == REG_QWORD ? 8 : 4;
      if (bytes.size() != size) break;
      std::uint64_t v = 0;
      for (std::size_t i = 0; i < size; ++i) v |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
      return Hex(v);
    }
    default:
      break;
  }
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex;
  for (BYTE b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex;
}

}  // namespace vidazoz::reg
