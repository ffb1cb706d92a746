// Strict decimal and hexadecimal readers.
#define MVX_SOURCE "mvx_misc"
#include "mvx_misc.h"

#include "mvx_exception.h"
#include "mvx_string.h"

namespace Morvenix {

namespace {

template <int base, int (*digitOf)(char)>
int32_t digitsToInt(const char* inText, uint32_t inCount, const char* inFunction)
{
    int32_t value = 0;
    for (uint32_t i = 0; i < inCount; ++i) {
        int digit = digitOf(inText[i]);
        if (digit < 0 || value > (INT32_MAX - digit) / base)
            MVX_THROW(errDataBroken, "errDataBroken", inFunction);
        value = value * base + digit;
    }
    return value;
}

} // namespace

int32_t Decimal::fromStrToInt(const char* inText, uint32_t inCount)
{
    return digitsToInt<10, Decimal::charToInt>(inText, inCount, "Morvenix::Decimal::fromStrToInt");
}

int32_t Hex::fromStrToInt(const char* inText, uint32_t inCount)
{
    return digitsToInt<16, Hex::charToInt>(inText, inCount, "Morvenix::Hex::fromStrToInt");
}

} // namespace Morvenix
