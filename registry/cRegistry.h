// cRegistry: a selection (hive, key path, value name, value type, fallback value, computer)
// and the registry operations that act on it. Failures are raised as vidazoz::Error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Boolean.h"
#include "Error.h"
#include "name_list.h"
#include "Variant.h"

namespace vidazoz {

// Hive handles and value types as the class exchanges them: signed 32-bit numbers.
inline constexpr std::int32_t kHKEY_CLASSES_ROOT = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kHKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t kHKEY_LOCAL_MACHINE = static_cast<std::int32_t>(0x80000002u);

inline constexpr std::int32_t kREG_SZ = 1;
inline constexpr std::int32_t kREG_EXPAND_SZ = 2;
inline constexpr std::int32_t kREG_BINARY = 3;
inline constexpr std::int32_t kREG_DWORD = 4;
inline constexpr std::int32_t kREG_DWORD_BIG_ENDIAN = 5;
inline constexpr std::int32_t kREG_MULTI_SZ = 7;

// Numbers of the errors the class raises itself.
namespace regerr {
inline constexpr std::int32_t Registry = 26001;
inline constexpr std::int32_t SetValue = static_cast<std::int32_t>(0x800469A9u);
inline constexpr std::int32_t EnumerateSections = static_cast<std::int32_t>(0x800469AAu);
inline constexpr std::int32_t AssociationList = static_cast<std::int32_t>(0x800469ACu);
inline constexpr std::int32_t AssociationClass = static_cast<std::int32_t>(0x800469ADu);
}  // namespace regerr

// "<executable name>.cRegistry"
std::string ClassErrorSource();

// The registry platform the class calls (registry_api.h). Kept out of this header, so that
// including it brings no Win32 names (DWORD, HKEY_CURRENT_USER, ...) into a user's program.
class RegistryApi;

class cRegistry {
 public:
  cRegistry();
  explicit cRegistry(std::shared_ptr<RegistryApi> api);

  // The interface, in interface order.
  std::string Machine() const;
  void Machine(const std::string& sMachine);
  Boolean KeyExists() const;
  Boolean CreateKey();
  Boolean DeleteKey();
  Boolean DeleteValue();
  Variant Value();
  void Value(const Variant& vValue);
  Boolean EnumerateValues(NameList& sKeyNames, std::int32_t& iKeyCount);
  Boolean EnumerateSections(NameList& sSect, std::int32_t& iSectCount);
  void CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                            const std::string& sClassDescription, const std::string& sAssociation,
                            std::string sOpenMenuText = "&Open", Boolean bSupportPrint = Boolean::False,
                            std::string sPrintMenuText = "&Print", Boolean bSupportNew = Boolean::False,
                            std::string sNewMenuText = "&New", Boolean bSupportInstall = Boolean::False,
                            std::string sInstallMenuText = "", std::int32_t lDefaultIconIndex = -1);
  void CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<Variant>& vItems);
  std::int32_t ValueType() const;
  void ValueType(std::int32_t eValueType);
  std::int32_t ClassKey() const;
  void ClassKey(std::int32_t eKey);
  std::string SectionKey() const;
  void SectionKey(const std::string& sSectionKey);
  std::string ValueKey() const;
  // The parameters carry the names of the properties they set (this->X(X) inside).
  Variant ValueEx(std::int32_t ClassKey, const std::string& SectionKey, const std::string& ValueKey,
                  std::int32_t ValueType, const Variant& Default);
  void ValueEx(std::int32_t ClassKey, const std::string& SectionKey, const std::string& ValueKey,
               std::int32_t ValueType, const Variant& Default, const Variant& NewValue);
  void ValueKey(const std::string& sValueKey);
  Variant Default() const;
  void Default(const Variant& vDefault);

 private:
  // The five properties ValueEx sets.
  void Select(std::int32_t ClassKey, const std::string& SectionKey, const std::string& ValueKey,
              std::int32_t ValueType, const Variant& Default);
  void WriteClassesValue(const std::string& sText);
  static std::int32_t ReverseByteOrder(std::int32_t lValue);
  static std::string ExpandEnvironmentReferences(const std::string& sText);

  [[noreturn]] static void Raise(std::int32_t number, const std::string& description);

  // What a change asks for: every right a key has of its own, none of the standard ones.
  static constexpr std::uint32_t kWriteAccess = 0x3F;  // a REGSAM

  std::shared_ptr<RegistryApi> api_;
  std::int32_t classKey_ = 0;
  std::string sectionKey_;
  std::string valueKey_;
  Variant default_;
  std::int32_t valueType_ = 0;
  std::string machine_;
};

}  // namespace vidazoz
