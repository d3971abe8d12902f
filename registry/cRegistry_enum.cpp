// Listing the value names and the sub-key names of the selected key, on the local registry.
#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "ansi.h"
#include "cRegistry.h"
#include "registry_api.h"

namespace vidazoz {
namespace {

constexpr DWORD kSectionBuffer = 255;

// Counts and indices are 32-bit signed numbers: passing the largest one is an overflow.
void Advance(std::int32_t& n) {
  if (n == std::numeric_limits<std::int32_t>::max()) throw RuntimeError(errnum::Overflow);
  ++n;
}

// Every listing starts with no names, whether or not the key can be read.
void StartEmpty(NameList& list, std::int32_t& count) {
  count = 0;
  list.Clear();
}

void Append(NameList& list, std::int32_t& count, std::string name) {
  Advance(count);
  list.Resize(count);
  list(count) = std::move(name);
}

}  // namespace

Boolean cRegistry::EnumerateValues(NameList& sKeyNames, std::int32_t& iKeyCount) {
  StartEmpty(sKeyNames, iKeyCount);

  KeyHandle key(*api_);
  if (key.OpenSection(classKey_, sectionKey_, KEY_QUERY_VALUE) != ERROR_SUCCESS)
    return Boolean::True;

  char noClass[] = "";
  DWORD classLength = 0;
  DWORD subKeys = 0, longestSubKey = 0, longestClass = 0, values = 0, longestName = 0, longestData = 0,
        securitySize = 0;
  FILETIME lastWrite{};
  if (api_->RegQueryInfoKeyA(key.Get(), noClass, &classLength, nullptr, &subKeys, &longestSubKey, &longestClass,
                             &values, &longestName, &longestData, &securitySize, &lastWrite) != ERROR_SUCCESS)
    return Boolean::True;

  try {
    const std::size_t bufferSize = static_cast<std::size_t>(longestName) + 1;
    if (bufferSize > std::numeric_limits<DWORD>::max()) throw RuntimeError(errnum::Overflow);
    for (std::int32_t index = 0;; Advance(index)) {
      std::string buffer(bufferSize, '\0');
      DWORD length = static_cast<DWORD>(bufferSize);
      if (api_->RegEnumValueA(key.Get(), static_cast<DWORD>(index), buffer.data(), &length, nullptr, nullptr,
                              nullptr, nullptr) != ERROR_SUCCESS)
        break;
      buffer.resize(std::min<std::size_t>(length, bufferSize));
      Append(sKeyNames, iKeyCount, ansi::ToUtf8(buffer));
    }
  } catch (const std::bad_alloc&) {
    throw RuntimeError(errnum::OutOfMemory);
  }
  return Boolean::True;
}

Boolean cRegistry::EnumerateSections(NameList& sSect, std::int32_t& iSectCount) {
  StartEmpty(sSect, iSectCount);

  KeyHandle key(*api_);
  LONG status = key.OpenSection(classKey_, sectionKey_, KEY_ENUMERATE_SUB_KEYS);

  // Every failure while listing is reported under this method's own number, with the
  // description of what went wrong.
  try {
    for (std::int32_t index = 0; status == ERROR_SUCCESS; Advance(index)) {
      std::string buffer(kSectionBuffer, '\0');
      status = api_->RegEnumKeyA(key.Get(), static_cast<DWORD>(index), buffer.data(), kSectionBuffer);
      if (status == ERROR_SUCCESS) {
        buffer.resize(std::min(buffer.find('\0'), buffer.size()));
        Append(sSect, iSectCount, ansi::ToUtf8(buffer));
      }
    }
  } catch (const Error& e) {
    Raise(regerr::EnumerateSections, e.Description());
  } catch (const std::bad_alloc&) {
    Raise(regerr::EnumerateSections, RuntimeError(errnum::OutOfMemory).Description());
  } catch (const std::exception& e) {
    Raise(regerr::EnumerateSections, e.what());
  }
  return Boolean::True;
}

}  // namespace vidazoz
