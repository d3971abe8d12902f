// Value access: Value and ValueEx (read and write), ReverseByteOrder, ExpandEnvironmentReferences.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ansi.h"
#include "cRegistry.h"
#include "registry_api.h"
#include "kernel32.h"

namespace vidazoz {
namespace {

static_assert(std::endian::native == std::endian::little, "registry numbers are kept little-endian");

// The hive a value call works under: the selected one, or the same hive on `machine` through
// `connection`, which must outlive every key opened under it. Empty when the machine is out of reach.
std::optional<HKEY> ReachHive(KeyHandle& connection, const std::string& machine, HKEY hive) {
  if (machine.empty()) return hive;
  if (connection.Connect(ansi::FromUtf8(machine).c_str(), hive) != ERROR_SUCCESS) return std::nullopt;
  return connection.Get();
}

// An array of bytes has no text form of its own; in a description it shows as hex pairs.
std::string DescriptionText(const Variant& v) {
  if (!v.IsBytes()) return v.ToText();
  std::string text;
  for (const auto b : v.Bytes().bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", b);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

// REG_EXPAND_SZ when a "%" is followed, with at least one character between, by another "%".
// Bytes stand in for characters here: a "%" is never part of a longer UTF-8 sequence.
DWORD TextTypeFor(const std::string& text) {
  const auto first = text.find('%');
  if (first == std::string::npos) return REG_SZ;
  return text.find('%', first + 2) != std::string::npos ? REG_EXPAND_SZ : REG_SZ;
}

std::int32_t LittleEndianLong(const std::vector<BYTE>& data) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4 && i < data.size(); ++i) v |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}

}  // namespace

Variant cRegistry::Value() {
  // Declared first so that it is released after the key opened under it.
  KeyHandle connection(*api_);
  const std::optional<HKEY> hive = ReachHive(connection, machine_, HiveHandle(classKey_));
  if (!hive) return default_;
  KeyHandle key(*api_);
  if (key.Open(*hive, ansi::FromUtf8(sectionKey_).c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS) return default_;

  const std::string name = ansi::FromUtf8(valueKey_);
  DWORD type = 0;
  DWORD size = 0;
  std::array<BYTE, 4> sizing{};
  const LONG status = api_->RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, sizing.data(), &size);
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return default_;
  valueType_ = static_cast<std::int32_t>(type);

  // The data as the second query leaves it: never more than the size first reported, and a
  // buffer of at least 4 bytes so that a short number fills the low bytes of a zero.
  std::vector<BYTE> data(std::max<DWORD>(size, 4), 0);
  DWORD got = size;
  if (size > 0) {
    // Its status is not looked at: the value was found by the first query, and what the data
    // holds is read from the buffer whatever the second says.
    static_cast<void>(api_->RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, data.data(), &got));
    got = std::min(got, size);
  }

  Variant result;
  switch (valueType_) {
    case kREG_SZ:
    case kREG_MULTI_SZ:
    case kREG_EXPAND_SZ: {
      // Only a final NUL is dropped: a string stored without one keeps its last character.
      std::string_view text(reinterpret_cast<const char*>(data.data()), got);
      if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
      std::string utf8 = ansi::ToUtf8(text);
      result = valueType_ == kREG_EXPAND_SZ ? ExpandEnvironmentReferences(utf8) : std::move(utf8);
      break;
    }
    case kREG_DWORD:
      result = LittleEndianLong(data);
      break;
    case kREG_DWORD_BIG_ENDIAN:
      result = ReverseByteOrder(LittleEndianLong(data));
      break;
    default:
      data.resize(got);
      result = ByteArray{std::move(data), 0};
      break;
  }
  return result;
}

void cRegistry::Value(const Variant& vValue) {
  const auto fail = [&](std::int32_t number) {
    Raise(number, "Failed to set registry value Key: '" + std::to_string(classKey_) + "',Section: '" +
                      sectionKey_ + "',Key: '" + valueKey_ + "' to value: '" + DescriptionText(vValue) + "'");
  };

  KeyHandle connection(*api_);
  const std::optional<HKEY> hive = ReachHive(connection, machine_, HiveHandle(classKey_));
  if (!hive) fail(regerr::Registry);
  KeyHandle key(*api_);
  if (key.Create(*hive, ansi::FromUtf8(sectionKey_).c_str(), kWriteAccess) != ERROR_SUCCESS) fail(regerr::Registry);

  const std::string name = ansi::FromUtf8(valueKey_);
  LONG status = ERROR_INVALID_DATA;
  switch (valueType_) {
    case kREG_SZ:
    case kREG_EXPAND_SZ: {
      const std::string text = vValue.ToText();
      std::string data = ansi::FromUtf8(text);
      data.push_back('\0');
      status = api_->RegSetValueExA(key.Get(), name.c_str(), 0, TextTypeFor(text),
                                    reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
      break;
    }
    case kREG_BINARY: {
      if (!vValue.IsBytes()) Raise(regerr::Registry, "Application-defined or object-defined error");
      const ByteArray& bytes = vValue.Bytes();
      const BYTE none = 0;
      status = api_->RegSetValueExA(key.Get(), name.c_str(), 0, REG_BINARY,
                                    bytes.bytes.empty() ? &none : bytes.bytes.data(),
                                    static_cast<DWORD>(bytes.UBound() - bytes.LBound() + 1));
      break;
    }
    case kREG_DWORD:
    case kREG_DWORD_BIG_ENDIAN: {
      // Anything but a 16- or 32-bit integer is refused rather than silently not written.
      if (!vValue.IsInteger()) throw RuntimeError(errnum::TypeMismatch);
      const auto v = static_cast<std::uint32_t>(vValue.ToLong());
      const std::array<BYTE, 4> data{static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                                     static_cast<BYTE>(v >> 24)};
      status = api_->RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD, data.data(), 4);
      break;
    }
    default:
      break;  // no type it can write
  }
  if (status != ERROR_SUCCESS) fail(regerr::SetValue);
}

// Through the property setters, in the order ValueEx names them.
void cRegistry::Select(std::int32_t ClassKey, const std::string& SectionKey, const std::string& ValueKey,
                       std::int32_t ValueType, const Variant& Default) {
  this->ClassKey(ClassKey);
  this->SectionKey(SectionKey);
  this->ValueKey(ValueKey);
  this->ValueType(ValueType);
  this->Default(Default);
}

Variant cRegistry::ValueEx(std::int32_t ClassKey, const std::string& SectionKey, const std::string& ValueKey,
                           std::int32_t ValueType, const Variant& Default) {
  Select(ClassKey, SectionKey, ValueKey, ValueType, Default);
  return Value();
}

void cRegistry::ValueEx(std::int32_t ClassKey, const std::string& SectionKey, const std::string& ValueKey,
                        std::int32_t ValueType, const Variant& Default, const Variant& NewValue) {
  Select(ClassKey, SectionKey, ValueKey, ValueType, Default);
  // Only a text write falls back to Default for an empty value.
  if (valueType_ == kREG_SZ && NewValue.ToText().empty()) {
    Value(default_);
  } else {
    Value(NewValue);
  }
}

std::int32_t cRegistry::ReverseByteOrder(std::int32_t lValue) {
  std::int32_t reversed = 0;
  auto* to = reinterpret_cast<unsigned char*>(&reversed);
  const auto* from = reinterpret_cast<const unsigned char*>(&lValue);
  for (int i = 0; i < 4; ++i) RtlMoveMemory(to + 3 - i, from + i, 1);
  return reversed;
}

std::string cRegistry::ExpandEnvironmentReferences(const std::string& sText) {
  const std::string source = ansi::FromUtf8(sText);
  const DWORD needed = ::ExpandEnvironmentStringsA(source.c_str(), nullptr, 0);
  if (needed == 0) return sText;  // the expansion failed: keep the text as stored
  std::vector<char> buffer(needed, '\0');
  ::ExpandEnvironmentStringsA(source.c_str(), buffer.data(), needed);
  return ansi::ToUtf8(std::string_view(buffer.data(), needed - 1));
}

}  // namespace vidazoz
