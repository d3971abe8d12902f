// query --json: each key as one line of JSON, for scripts.
#pragma once

#include <string>
#include <vector>

#include "reg_key.h"

namespace vidazoz::reg {

// {"path":..., "values":[{"name":..., "type":"REG_SZ", "data":...}], "subkeys":[...]} on one
// line. Data is a string for REG_SZ and REG_EXPAND_SZ, an array of strings for REG_MULTI_SZ,
// a number for REG_DWORD, REG_DWORD_BIG_ENDIAN and REG_QWORD (as stored, little-endian), and
// lower-case hex digits in a string for everything else. The default value's name is "".
std::string KeyJson(const std::u16string& path, const std::vector<Value>& values,
                    const std::vector<std::u16string>& subkeys);

}  // namespace vidazoz::reg
