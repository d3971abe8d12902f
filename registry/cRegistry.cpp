// The object itself: construction, the selection, Machine, KeyExists and the error convention.
#include "cRegistry.h"
#include "registry_api.h"

#include "ansi.h"

namespace vidazoz {

std::string ClassErrorSource() { return ExecutableBaseName() + ".cRegistry"; }

HKEY HiveHandle(std::int32_t hive) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(hive)));
}

cRegistry::cRegistry() : cRegistry(SystemRegistry()) {}

cRegistry::cRegistry(std::shared_ptr<RegistryApi> api) : api_(std::move(api)) {}

void cRegistry::Raise(std::int32_t number, const std::string& description) {
  throw Error(number, ClassErrorSource(), description);
}

std::string cRegistry::Machine() const { return machine_; }

void cRegistry::Machine(const std::string& sMachine) {
  // Lengths count characters, not UTF-8 bytes.
  if (ansi::DecodeUtf8(sMachine).size() <= 2) {
    machine_.clear();
  } else if (sMachine.starts_with("\\\\")) {
    machine_ = sMachine;
  } else {
    machine_ = "\\\\" + sMachine;
  }
}

Boolean cRegistry::KeyExists() const {
  KeyHandle key(*api_);
  if (key.OpenSection(classKey_, sectionKey_, KEY_QUERY_VALUE) != ERROR_SUCCESS)
    return Boolean::False;
  return Boolean::True;
}

std::int32_t cRegistry::ValueType() const { return valueType_; }
void cRegistry::ValueType(std::int32_t eValueType) { valueType_ = eValueType; }
std::int32_t cRegistry::ClassKey() const { return classKey_; }
void cRegistry::ClassKey(std::int32_t eKey) { classKey_ = eKey; }
std::string cRegistry::SectionKey() const { return sectionKey_; }
void cRegistry::SectionKey(const std::string& sSectionKey) { sectionKey_ = sSectionKey; }
std::string cRegistry::ValueKey() const { return valueKey_; }
void cRegistry::ValueKey(const std::string& sValueKey) { valueKey_ = sValueKey; }
Variant cRegistry::Default() const { return default_; }
void cRegistry::Default(const Variant& vDefault) { default_ = vDefault; }

}  // namespace vidazoz
