// Byte order: the tag that says whether stored values are used as they are or byte-reversed, the
// reversing readers of every width, 64-bit integers through streams, and hexadecimal text for digests
// and keys.
#pragma once

#include <cstdint>
#include <cstring>

namespace Morvenix {

class String;
class Stream;
template <class T, int kind>
class SimpleArray;

namespace ByteOrder {

// The tag value that takes values as stored; any other tag byte-reverses every multi-byte value.
constexpr int32_t asStored = 4321;

// Any 1, 2, 4 or 8 byte value with its bytes reversed. Goes through memcpy, so it serves floats too.
template <class T>
inline T reversed(T inValue)
{
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8,
                  "byte reversal is defined for 1, 2, 4 and 8 byte values");
    if constexpr (sizeof(T) == 1) {
        return inValue;
    } else if constexpr (sizeof(T) == 2) {
        uint16_t v;
        std::memcpy(&v, &inValue, 2);
        v = uint16_t((v >> 8) | (v << 8));
        std::memcpy(&inValue, &v, 2);
        return inValue;
    } else if constexpr (sizeof(T) == 4) {
        uint32_t v;
        std::memcpy(&v, &inValue, 4);
        v = __builtin_bswap32(v);
        std::memcpy(&inValue, &v, 4);
        return inValue;
    } else {
        uint64_t v;
        std::memcpy(&v, &inValue, 8);
        v = __builtin_bswap64(v);
        std::memcpy(&inValue, &v, 8);
        return inValue;
    }
}

// The readers take a pointer to a stored value (no alignment needed) and return it byte-reversed: a
// big-endian field of a DjVu stream is the native read followed by the reader of its width.
template <class T>
inline T load(const void* inStored)
{
    T v;
    std::memcpy(&v, inStored, sizeof(T));
    return v;
}

inline uint8_t get8(const uint8_t* p) { return *p; }
inline int8_t get8(const int8_t* p) { return *p; }
inline uint16_t swap16(const uint16_t* p) { return reversed(load<uint16_t>(p)); }
inline uint32_t swap32(const uint32_t* p) { return reversed(load<uint32_t>(p)); }
inline int32_t swap32(const int32_t* p) { return reversed(load<int32_t>(p)); }
inline uint64_t swap64(const uint64_t* p) { return reversed(load<uint64_t>(p)); }
inline int64_t swap64(const int64_t* p) { return reversed(load<int64_t>(p)); }

// The floating-point forms reverse the stored bytes in place as well, then return the value.
inline float swap32(float* p)
{
    float v = reversed(load<float>(p));
    std::memcpy(p, &v, sizeof v);
    return v;
}
inline double swap64(double* p)
{
    double v = reversed(load<double>(p));
    std::memcpy(p, &v, sizeof v);
    return v;
}

} // namespace ByteOrder

inline uint64_t convertUInt64(uint64_t inValue, int32_t inByteOrder)
{
    return inByteOrder == ByteOrder::asStored ? inValue : ByteOrder::reversed(inValue);
}
inline void convertUInt64(uint64_t* outValue, uint64_t inValue, int32_t inByteOrder)
{
    *outValue = convertUInt64(inValue, inByteOrder);
}

// Eight bytes through the stream; the reads are exact, so a short stream throws.
void writeUInt64(Stream& inStream, uint64_t inValue, int32_t inByteOrder);
void writeInt64(Stream& inStream, int64_t inValue, int32_t inByteOrder);
uint64_t readUInt64(Stream& inStream, int32_t inByteOrder);
int64_t readInt64(Stream& inStream, int32_t inByteOrder);

namespace Hex {

// Lower-case digits, most significant nibble first.
inline char nibbleToChar(unsigned inNibble) { return "0123456789abcdef"[inNibble & 15]; }
// The value of one hexadecimal digit of either case, -10000 for any other character.
inline int charToInt(char inChar)
{
    unsigned char c = static_cast<unsigned char>(inChar);
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -10000;
}
inline void byteToChars(uint8_t inByte, char* outTwo)
{
    outTwo[0] = nibbleToChar(inByte >> 4);
    outTwo[1] = nibbleToChar(inByte);
}

// Two digits a byte, the separator between bytes (not after the last); no bytes give an empty text.
String toStr(const void* inBytes, uint32_t inCount, const String& inSeparator);
// Pairs of hexadecimal digits (either case) into bytes, skipping every other character; stops when
// the buffer is full or the text ends, drops an unpaired last digit and returns the bytes written.
uint32_t decode(void* outBuffer, uint32_t inCapacity, const String& inText);
// Decodes the whole text into the array, whose count then says how many bytes it held.
void fromStr(SimpleArray<unsigned char, 2>& outBytes, const String& inText);

} // namespace Hex

} // namespace Morvenix
