// Morvenix::String: reading the leading number of a text.
#define MVX_SOURCE "mvx_string_number"
#include "mvx_string.h"
#include "mvx_string_internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace Morvenix {

namespace {

template <class T>
T leadingDigits(const char* inText, uint32_t inLength)
{
    T value = 0;
    for (uint32_t i = 0; i < inLength && inText[i] >= '0' && inText[i] <= '9'; ++i)
        value = T(value * 10 + T(inText[i] - '0'));
    return value;
}

} // namespace

int32_t String::toInt() const
{
    // strtol saturates at the range of long; a wider long is saturated the same way to 32 bits.
    long value = std::strtol(c_str(), nullptr, 10);
    return int32_t(std::max<long>(INT32_MIN, std::min<long>(INT32_MAX, value)));
}

double String::toDouble() const
{
    return std::atof(c_str());
}

uint32_t String::toUInt() const
{
    return leadingDigits<uint32_t>(begin(), getLength());
}

uint64_t String::toUInt64() const
{
    return leadingDigits<uint64_t>(begin(), getLength());
}

} // namespace Morvenix

bool _Mvx_Internal_NS_::parseDecimal(const char*& ioText, const char* inEnd, uint64_t& outValue)
{
    const char* start = ioText;
    uint64_t value = 0;
    for (; ioText != inEnd && *ioText >= '0' && *ioText <= '9'; ++ioText) {
        const uint64_t digit = uint64_t(*ioText - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    outValue = value;
    return ioText != start;
}
