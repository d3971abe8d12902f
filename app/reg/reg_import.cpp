// import: reads the whole .reg file, refuses it with the reason when any line
// is wrong, then makes its changes in order through the W calls. Each change is
// saved on its own, so a registry that fails part-way is reported with exactly
// which lines were applied.
#include <fstream>
#include <iterator>

#include "reg_commands.h"
#include "reg_import_file.h"
#include "reg_key.h"
#include "reg_text.h"

namespace vidazoz::reg {
namespace {

// At most `limit` + 1 bytes, so that a larger file is known to be too large.
bool ReadBounded(const std::string &path, std::size_t limit, std::string &bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.resize(limit + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return false;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return true;
}

std::string What(const ImportStep &step) {
  const std::string key = "[" + Utf8(step.key.longName) + "]";
  switch (step.kind) {
    case ImportStep::Kind::CreateKey:
      return "the key " + key;
    case ImportStep::Kind::DeleteKey:
      return "the deletion of " + key + " (part of its tree may be gone)";
    case ImportStep::Kind::SetValue:
    case ImportStep::Kind::DeleteValue:
      break;
  }
  return (step.name.empty() ? std::string("the default value") : "the value \"" + Utf8(step.name) + "\"") + " of " +
         key;
}

// Which lines took effect: the steps before `failed`, in the file's order.
std::string PartialImportText(const std::string &file, const std::vector<ImportStep> &steps, std::size_t failed,
                              const std::string &reason) {
  const ImportStep &step = steps[failed];
  const std::string_view why = std::string_view(reason).substr(reason.starts_with("reg: ") ? 5 : 0);
  const std::string failure = "line " + std::to_string(step.line) + " (" + What(step) + ") failed: " + std::string(why);
  if (failed == 0) return "reg: '" + file + "' is not imported: " + failure + "; nothing was changed";
  return "reg: '" + file + "' is imported only in part: " + failure + "; lines " + std::to_string(steps.front().line) +
         " to " + std::to_string(step.line - 1) + " took effect, line " + std::to_string(step.line) +
         " and the rest did not";
}

}  // namespace

int Import(const std::string &file, const Switches &s, Output &output) {
  std::string bytes;
  if (!ReadBounded(file, kMaxImportBytes, bytes)) {
    output.Message("reg: Unable to open the file '" + file + "'");
    return 1;
  }
  const ImportFile parsed = ParseImportFile(bytes);
  if (!parsed.error.empty()) {
    output.Message("reg: '" + file + "' is not imported, " + parsed.error);
    return 1;
  }
  OpenKey current;
  for (const ImportStep &step : parsed.steps) {
    LONG status = ERROR_SUCCESS;
    switch (step.kind) {
      case ImportStep::Kind::CreateKey: {
        OpenKey created;
        status = RegCreateKeyExW(step.key.root, Wide(step.key.path), 0, nullptr, 0, KEY_ALL_ACCESS | s.view, nullptr,
                                 created.Out(), nullptr);
        if (status == ERROR_SUCCESS) std::swap(*current.Out(), *created.Out());
        break;
      }
      case ImportStep::Kind::DeleteKey:
        status = DeleteKeyTree(step.key, s.view);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;  // already gone
        break;
      case ImportStep::Kind::SetValue:
        status = RegSetValueExW(current.Get(), Wide(step.name), 0, step.type, step.data.data(),
                                static_cast<DWORD>(step.data.size()));
        break;
      case ImportStep::Kind::DeleteValue:
        status = RegDeleteValueW(current.Get(), Wide(step.name));
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        break;
    }
    if (status != ERROR_SUCCESS) {
      output.Message(PartialImportText(file, parsed.steps, static_cast<std::size_t>(&step - parsed.steps.data()),
                                       TooDeepOrStatusText(status)));
      return 1;
    }
  }
  return 0;
}

}  // namespace vidazoz::reg
