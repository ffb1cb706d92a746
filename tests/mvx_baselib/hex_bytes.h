// Byte vectors written as hexadecimal text in tests (test vectors, zlib streams made by Python), and bytes
// shown as hexadecimal text.
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

// Two digits a byte, lower case unless inUpper.
inline std::string toHex(const unsigned char* p, size_t n, bool inUpper = false)
{
    const char* digits = inUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

} // namespace MvxTest
