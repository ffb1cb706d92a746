// Strict readers of unsigned decimal and hexadecimal numbers from a counted run of characters: nothing
// but digits is accepted, and broken input is an error rather than a partial value.
#pragma once

#include "mvx_byteorder.h"

#include <cstdint>

namespace Morvenix {

namespace Decimal {

// The value of one decimal digit, -10000 for any other character.
inline int charToInt(char inChar)
{
    return inChar >= '0' && inChar <= '9' ? inChar - '0' : -10000;
}

// The value of exactly inCount decimal digits (no sign, no blanks, no terminator; a NUL is not a digit).
// A count of 0 gives 0 without reading. A character that is not a digit, or a value above 2^31 - 1,
// throws errDataBroken.
int32_t fromStrToInt(const char* inText, uint32_t inCount);

} // namespace Decimal

namespace Hex {

// The same for hexadecimal digits of either case (Hex::charToInt gives the digit values), no "0x".
int32_t fromStrToInt(const char* inText, uint32_t inCount);

} // namespace Hex

} // namespace Morvenix
