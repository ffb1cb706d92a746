// The text of the 8-bit text records: bytes of the current ANSI code page as UTF-16 units, each unit with
// the advance of the bytes that made it.
#pragma once

#include <cstdint>
#include <vector>

// Appends the units of inCount bytes to outUnits. With inByteAdvances (one a byte) each unit gets the
// advances of its bytes in outAdvances: a double-byte character takes both its bytes' advances, and a
// character that comes out as two units gives its second unit none. A byte sequence the code page does not
// map becomes U+FFFD.
void AnsiTextUnits(const uint8_t* inBytes, uint32_t inCount, const std::vector<int32_t>& inByteAdvances,
                   std::vector<wchar_t>& outUnits, std::vector<int32_t>& outAdvances);
