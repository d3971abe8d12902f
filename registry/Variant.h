// The value type of cRegistry: empty, string, 16-bit integer, 32-bit integer, array of bytes,
// and what else a caller may keep in Default (double, Boolean).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "Boolean.h"

namespace vidazoz {

struct ByteArray {
  std::vector<std::uint8_t> bytes;
  std::int32_t lowerBound = 0;

  std::int32_t LBound() const { return lowerBound; }
  // For an empty array this is lowerBound - 1, so that UBound - LBound + 1 is the count.
  std::int32_t UBound() const { return lowerBound + static_cast<std::int32_t>(bytes.size()) - 1; }
  std::uint8_t& operator()(std::int32_t index) { return bytes.at(static_cast<std::size_t>(index - lowerBound)); }
  std::uint8_t operator()(std::int32_t index) const { return bytes.at(static_cast<std::size_t>(index - lowerBound)); }
  bool operator==(const ByteArray&) const = default;
};

class Variant {
 public:
  enum class Kind { Empty, String, Integer, Long, Double, Boolean, Bytes };

  Variant() = default;
  Variant(std::string s) : value_(std::move(s)) {}
  Variant(const char* s) : value_(std::string(s)) {}
  Variant(std::int16_t i) : value_(i) {}
  Variant(std::int32_t l) : value_(l) {}
  Variant(double d) : value_(d) {}
  Variant(Boolean b) : value_(b) {}
  Variant(ByteArray a) : value_(std::move(a)) {}

  Kind GetKind() const { return static_cast<Kind>(value_.index()); }
  bool IsEmpty() const { return GetKind() == Kind::Empty; }
  bool IsString() const { return GetKind() == Kind::String; }
  // A 16-bit or a 32-bit integer.
  bool IsInteger() const { return GetKind() == Kind::Integer || GetKind() == Kind::Long; }
  bool IsBytes() const { return GetKind() == Kind::Bytes; }

  // Widened to 32 bits; throws type mismatch unless IsInteger().
  std::int32_t ToLong() const;
  // The text form: a string unchanged, a number in decimal, empty as "", a Boolean as
  // "True"/"False". An array of bytes has none: type mismatch.
  std::string ToText() const;
  // Throws type mismatch unless IsBytes().
  const ByteArray& Bytes() const;

  const std::string* AsString() const { return std::get_if<std::string>(&value_); }

  bool operator==(const Variant&) const = default;

 private:
  std::variant<std::monostate, std::string, std::int16_t, std::int32_t, double, Boolean, ByteArray> value_;
};

}  // namespace vidazoz
