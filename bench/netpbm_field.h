// Header fields of the Netpbm files the benchmarks read.
#pragma once

#include <istream>
#include <string>

// The next header field, past white space and comments.
inline std::istream& netpbmField(std::istream& ioIn, std::string& outField)
{
    ioIn >> std::ws;
    while (ioIn.peek() == '#') {
        ioIn.ignore(1 << 20, '\n');
        ioIn >> std::ws;
    }
    return ioIn >> outField;
}
