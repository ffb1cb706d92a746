// Byte-exact conversions between Morvenix::String and std::string for the string tests; embedded NULs and
// invalid sequences pass through unchanged.
#pragma once

#include "mvx_string.h"

#include <cstdint>
#include <string>

namespace MvxTest {

inline std::string bytesOf(const Morvenix::String& s)
{
    return std::string(s.begin(), s.getLength());
}

inline Morvenix::String str(const std::string& s)
{
    return Morvenix::String(s.data(), int32_t(s.size()));
}

} // namespace MvxTest
