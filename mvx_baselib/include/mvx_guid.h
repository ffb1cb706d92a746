// Globally unique identifiers: generation, the 8-4-4-4-12 text form, ordering and raw stream form.
#pragma once

#include <cstdint>

namespace Morvenix {

class String;
class Stream;

// Sixteen bytes kept in text order: byte i is the i-th pair of hexadecimal digits of the text form, so
// comparing the bytes orders GUIDs as their texts.
class Guid {
public:
    // A new GUID with true, the null GUID with false.
    explicit Guid(bool inGenerate = false);
    // Parsed as fromString does.
    explicit Guid(const char* inText);
    explicit Guid(const String& inText);
    Guid(const Guid& inOther);
    Guid& operator=(const Guid& inOther);

    void clear();
    // A new value from the platform's generator; the value stays unchanged when that fails.
    void generate();
    // Accepts the dashed, braced and bare forms in either case: each byte is two adjacent hexadecimal
    // digits, anything else between byte pairs is skipped, and text after the sixteenth byte is ignored.
    // Throws errInvalidParam for an empty text, a split pair or too few digits; the bytes parsed before the
    // failure have then already replaced the first bytes of the value.
    void fromString(const char* inText);
    void fromString(const String& inText);
    // Upper-case, no braces: "6B29FC40-CA47-1067-B31D-00DD010662DA".
    String toString() const;

    static const Guid& getNull();
    bool isValid() const;
    const unsigned char* getBytes() const { return m_bytes; }

    bool operator==(const Guid& inOther) const { return compare(inOther) == 0; }
    bool operator!=(const Guid& inOther) const { return compare(inOther) != 0; }
    bool operator<(const Guid& inOther) const { return compare(inOther) < 0; }
    bool operator>(const Guid& inOther) const { return compare(inOther) > 0; }
    bool operator<=(const Guid& inOther) const { return compare(inOther) <= 0; }
    bool operator>=(const Guid& inOther) const { return compare(inOther) >= 0; }

    // The 16 bytes as they are; the byte-order tag changes nothing for a GUID.
    void write(Stream* inStream, int32_t inByteOrder) const;
    void read(Stream* inStream, int32_t inByteOrder);

private:
    int compare(const Guid& inOther) const;
    void parse(const char* inText, uint32_t inLength);

    unsigned char m_bytes[16];
};

} // namespace Morvenix
