// File-type association: every row goes to HKEY_CLASSES_ROOT and to HKLM\SOFTWARE\Classes,
// written through the object's own selection and Value.
#include <exception>
#include <optional>
#include <string>

#include "cRegistry.h"
#include "registry_api.h"

namespace vidazoz {
namespace {

std::string TrimSpaces(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The program path trimmed and enclosed in double quotation marks. Each end is tested on its
// own, so an empty path becomes a single mark.
std::string QuotedProgramPath(const std::string& sExePath) {
  std::string path = TrimSpaces(sExePath);
  if (!path.starts_with('"')) path.insert(0, 1, '"');
  if (!path.ends_with('"')) path.push_back('"');
  return path;
}

std::optional<std::string> TextOf(const Variant& item) {
  try {
    return item.ToText();
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace

void cRegistry::WriteClassesValue(const std::string& sText) {
  ClassKey(kHKEY_CLASSES_ROOT);
  Value(Variant(sText));
  const std::string section = SectionKey();
  ClassKey(kHKEY_LOCAL_MACHINE);
  SectionKey("SOFTWARE\\Classes\\" + section);
  Value(Variant(sText));
  SectionKey(section);
}

void cRegistry::CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                                     const std::string& sClassDescription, const std::string& sAssociation,
                                     std::string sOpenMenuText, Boolean bSupportPrint, std::string sPrintMenuText,
                                     Boolean bSupportNew, std::string sNewMenuText, Boolean bSupportInstall,
                                     std::string sInstallMenuText, std::int32_t lDefaultIconIndex) {
  const std::string program = QuotedProgramPath(sExePath);
  const std::string shell = sClassName + "\\shell\\";

  const auto verb = [&](const std::string& keyName, const std::string& menuText, const std::string& arguments) {
    SectionKey(shell + keyName);
    ValueKey("");
    WriteClassesValue(menuText);
    SectionKey(shell + keyName + "\\command");
    ValueKey("");
    WriteClassesValue(program + arguments);
  };

  SectionKey("." + sAssociation);
  ValueType(kREG_SZ);
  ValueKey("");
  WriteClassesValue(sClassName);

  SectionKey(sClassName);
  WriteClassesValue(sClassDescription);

  verb("open", sOpenMenuText.empty() ? "&Open" : sOpenMenuText, " \"%1\"");
  if (IsSet(bSupportPrint)) verb("print", sPrintMenuText.empty() ? "&Print" : sPrintMenuText, " /p \"%1\"");
  if (IsSet(bSupportInstall))
    verb("add", sInstallMenuText.empty() ? "&Install " + sAssociation : sInstallMenuText, " /a \"%1\"");
  if (IsSet(bSupportNew)) verb("new", sNewMenuText.empty() ? "&New" : sNewMenuText, " /n \"%1\"");

  if (lDefaultIconIndex > -1) {
    SectionKey(sClassName + "\\DefaultIcon");
    ValueKey("");
    WriteClassesValue(program + "," + std::to_string(lDefaultIconIndex));
  }
}

void cRegistry::CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<Variant>& vItems) {
  if (vItems.size() % 3 != 0)
    Raise(regerr::AssociationList,
          "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");

  // Classes are written under HKEY_CLASSES_ROOT, so that is where the class is looked for; the
  // caller's hive is left as it was.
  SectionKey(sClassName);
  const std::int32_t callerHive = ClassKey();
  ClassKey(kHKEY_CLASSES_ROOT);
  const Boolean classExists = KeyExists();
  ClassKey(callerHive);
  if (!IsSet(classExists))
    Raise(regerr::AssociationClass, "Error - attempt to create additional associations before class defined.");

  // Each write stands on its own: a failed one is passed over. A group whose Name has no text
  // (or is empty) has no verb key of its own, so nothing of it is written anywhere.
  const auto write = [this](const std::optional<std::string>& text) {
    if (!text) return;
    try {
      WriteClassesValue(*text);
    } catch (const std::exception&) {
    }
  };
  for (std::size_t i = 0; i < vItems.size(); i += 3) {
    const std::optional<std::string> name = TextOf(vItems[i]);
    if (!name || name->empty()) continue;
    const std::string verbKey = sClassName + "\\shell\\" + *name;
    ValueType(kREG_SZ);
    SectionKey(verbKey);
    ValueKey("");
    write(TextOf(vItems[i + 1]));
    SectionKey(verbKey + "\\command");
    ValueKey("");
    write(TextOf(vItems[i + 2]));
  }
}

}  // namespace vidazoz
