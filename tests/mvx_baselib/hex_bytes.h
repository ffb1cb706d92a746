// Byte vectors written as hexadecimal text in tests (test vectors, zlib streams made by Python).
#pragma once

#include <string>
#include <vector>

namespace MvxTest {

typedef std::vector<unsigned char> Bytes;

// Two digits a byte, either case, no separators.
inline Bytes fromHex(const std::string& text)
{
    Bytes b;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        b.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return b;
}

} // namespace MvxTest
