// The character entity references of HTML 4.01, sorted by name (byte order) for binary search.
#pragma once

#include <cstdint>

namespace _Mvx_Internal_NS_ {

struct EntityRow {
    const char* name; // ASCII, case-sensitive
    const char* text; // the character as NUL-terminated UTF-8
};

constexpr uint32_t kEntityRowCount = 252;
extern const EntityRow kEntityRows[kEntityRowCount];

} // namespace _Mvx_Internal_NS_
