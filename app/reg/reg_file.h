// Writing a file the reg command makes: whole or not at all, replacing only on
// request.
#pragma once

#include <string>
#include <string_view>

namespace vidazoz::reg {

// Whether something (a file, a link, anything) already has the name `path`.
bool NameTaken(const std::string &path);

// Writes `bytes` to a new file beside `path`, syncs it and renames it over
// `path` (a link there is replaced, never written through). Returns "" or what
// failed; on failure `path` is as it was.
std::string WriteWholeFile(const std::string &path, std::string_view bytes);

}  // namespace vidazoz::reg
