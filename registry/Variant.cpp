#include "Variant.h"

#include <cstdio>

#include "Error.h"

namespace vidazoz {
namespace {

// Up to 15 significant digits, as the classic runtime prints a Double.
std::string DoubleText(double d) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15G", d);
  std::string s = buffer;
  if (auto e = s.find('E'); e != std::string::npos) {
    // 1E+20 keeps its sign; drop the leading zeros of the exponent.
    std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
    const char sign = exponent[0];
    exponent = exponent.substr(1);
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    return mantissa + "E" + sign + exponent;
  }
  return s;
}

}  // namespace

std::int32_t Variant::ToLong() const {
  if (const auto* i = std::get_if<std::int16_t>(&value_)) return *i;
  if (const auto* l = std::get_if<std::int32_t>(&value_)) return *l;
  throw RuntimeError(errnum::TypeMismatch);
}

std::string Variant::ToText() const {
  switch (GetKind()) {
    case Kind::Empty: return {};
    case Kind::String: return std::get<std::string>(value_);
    case Kind::Integer: return std::to_string(std::get<std::int16_t>(value_));
    case Kind::Long: return std::to_string(std::get<std::int32_t>(value_));
    case Kind::Double: return DoubleText(std::get<double>(value_));
    case Kind::Boolean: return IsSet(std::get<Boolean>(value_)) ? "True" : "False";
    case Kind::Bytes: break;
  }
  throw RuntimeError(errnum::TypeMismatch);
}

const ByteArray& Variant::Bytes() const {
  if (const auto* a = std::get_if<ByteArray>(&value_)) return *a;
  throw RuntimeError(errnum::TypeMismatch);
}

}  // namespace vidazoz
