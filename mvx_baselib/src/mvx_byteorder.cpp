// 64-bit integers through streams, and hexadecimal text.
#include "mvx_byteorder.h"

#include "mvx_simplearray.h"
#include "mvx_stream.h"
#include "mvx_string.h"

namespace Morvenix {

void writeUInt64(Stream& inStream, uint64_t inValue, int32_t inByteOrder)
{
    uint64_t stored = convertUInt64(inValue, inByteOrder);
    inStream.writeBytes(&stored, sizeof stored);
}

void writeInt64(Stream& inStream, int64_t inValue, int32_t inByteOrder)
{
    writeUInt64(inStream, uint64_t(inValue), inByteOrder);
}

uint64_t readUInt64(Stream& inStream, int32_t inByteOrder)
{
    uint64_t stored;
    readExactly(inStream, &stored, sizeof stored, "Morvenix::readUInt64");
    return convertUInt64(stored, inByteOrder);
}

int64_t readInt64(Stream& inStream, int32_t inByteOrder)
{
    return int64_t(readUInt64(inStream, inByteOrder));
}

namespace Hex {

String toStr(const void* inBytes, uint32_t inCount, const String& inSeparator)
{
    if (inCount == 0)
        return String();
    const unsigned char* bytes = static_cast<const unsigned char*>(inBytes);
    const char* separator = inSeparator.c_str();
    uint32_t separatorLength = inSeparator.getLength();
    // The array refuses a text of 2 GB or more before anything is written.
    uint64_t length = 2 * uint64_t(inCount) + uint64_t(inCount - 1) * separatorLength;
    SimpleArray<char, 2> text;
    text.resize(uint32_t(length < 0x80000000u ? length : 0x80000000u), 0);
    char* out = text.data();
    for (uint32_t i = 0; i < inCount; ++i) {
        if (i != 0 && separatorLength) {
            std::memcpy(out, separator, separatorLength);
            out += separatorLength;
        }
        byteToChars(bytes[i], out);
        out += 2;
    }
    return String(text.data(), text.count());
}

uint32_t decode(void* outBuffer, uint32_t inCapacity, const String& inText)
{
    unsigned char* out = static_cast<unsigned char*>(outBuffer);
    const unsigned char* text = reinterpret_cast<const unsigned char*>(inText.c_str());
    uint32_t length = inText.getLength(), written = 0;
    int high = -1;
    for (uint32_t i = 0; i < length && written < inCapacity; ++i) {
        int v = Hex::charToInt(text[i]);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out[written++] = static_cast<unsigned char>(high << 4 | v);
            high = -1;
        }
    }
    return written;
}

void fromStr(SimpleArray<unsigned char, 2>& outBytes, const String& inText)
{
    uint32_t most = inText.getLength() / 2;
    outBytes.resize(most, int32_t(most));
    outBytes.setSize(decode(outBytes.data(), outBytes.count(), inText));
}

} // namespace Hex

} // namespace Morvenix
