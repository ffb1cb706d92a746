// Property sets: the ordered map, its iterator, and the length-prefixed wire format.
#include "djv_propertyset.h"

#include "mvx_exception.h"
#include "mvx_simplearray.h"

#include <cstdint>
#include <map>

#define MVX_SOURCE "djv_propertyset"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

class PropertySetImpl : public PropertySet {
public:
    typedef std::map<String, String> Pairs;

    uint32_t getCount() const override { return uint32_t(m_pairs.size()); }
    bool isEmpty() const override { return m_pairs.empty(); }
    void clear() override { m_pairs.clear(); }
    bool hasKey(const String& inKey) const override { return m_pairs.count(inKey) != 0; }

    String getValue(const String& inKey) const override
    {
        Pairs::const_iterator it = m_pairs.find(inKey);
        return it == m_pairs.end() ? String() : it->second;
    }

    void setValue(const String& inKey, const String& inValue) override
    {
        Pairs::iterator it = m_pairs.find(inKey);
        if (it == m_pairs.end())
            m_pairs.emplace(inKey, inValue);
        else if (inValue.isEmpty())
            m_pairs.erase(it);
        else
            it->second = inValue;
    }

    void removeKey(const String& inKey) override { m_pairs.erase(inKey); }

    AutoPtr<PropertySetIterator> getIterator() override;

    AutoPtr<PropertySet> clone() const override
    {
        PropertySetImpl* copy = new PropertySetImpl;
        AutoPtr<PropertySet> result(copy);
        copy->m_pairs = m_pairs;
        return result;
    }

    void encode(Stream& outStream) const override;
    void decode(Stream& inStream) override;

    void merge(const PropertySet* inPropSet) override
    {
        const PropertySetImpl& other = implOf(inPropSet, "_Mvx_Internal_NS_::PropertySetImpl::merge");
        if (&other == this)
            return;
        for (const Pairs::value_type& pair : other.m_pairs)
            m_pairs[pair.first] = pair.second;
    }

    bool isIdenticalTo(const PropertySet* inPropSet) const override
    {
        const PropertySetImpl& other = implOf(inPropSet, "_Mvx_Internal_NS_::PropertySetImpl::isIdenticalTo");
        return m_pairs == other.m_pairs;
    }

    const Pairs& pairs() const { return m_pairs; }

private:
    static const PropertySetImpl& implOf(const PropertySet* inPropSet, const char* inFunction)
    {
        const PropertySetImpl* impl = dynamic_cast<const PropertySetImpl*>(inPropSet);
        if (!impl)
            MVX_THROW(errInvalidParam, "inPropSet is NULL!", inFunction);
        return *impl;
    }

    Pairs m_pairs;
};

// Remembers the current key rather than a position in the map, so that a set changed under it never
// leaves it pointing at a freed node.
class PropertySetIteratorImpl : public PropertySetIterator {
public:
    explicit PropertySetIteratorImpl(PropertySetImpl* inSet) : m_set(inSet), m_state(atStart) {}

    bool next() override
    {
        const PropertySetImpl::Pairs& pairs = m_set->pairs();
        PropertySetImpl::Pairs::const_iterator it;
        if (m_state == atStart)
            it = pairs.begin();
        else if (m_state == onPair)
            it = pairs.upper_bound(m_key);
        else
            return false;
        if (it == pairs.end()) {
            m_state = atEnd;
            m_key.clear();
            return false;
        }
        m_state = onPair;
        m_key = it->first;
        return true;
    }

    void reset() override
    {
        m_state = atStart;
        m_key.clear();
    }

    String getKey() const override { return m_key; }

    String getValue() const override { return m_state == onPair ? m_set->getValue(m_key) : String(); }

private:
    enum State { atStart, onPair, atEnd };

    AutoPtr<PropertySetImpl> m_set;
    State m_state;
    String m_key;
};

AutoPtr<PropertySetIterator> PropertySetImpl::getIterator()
{
    return AutoPtr<PropertySetIterator>(new PropertySetIteratorImpl(this));
}

const uint32_t kEndMarker = 0xFFFFu;
const char* const kDecodeFunction = "_Mvx_Internal_NS_::PropertySetImpl::decode";

void writeLength(Stream& outStream, uint32_t inLength)
{
    const unsigned char bytes[4] = {uint8_t(inLength >> 24), uint8_t(inLength >> 16), uint8_t(inLength >> 8),
                                    uint8_t(inLength)};
    outStream.writeBytes(bytes, 4);
}

void writeText(Stream& outStream, const String& inText)
{
    writeLength(outStream, inText.getLength());
    if (inText.getLength())
        outStream.writeBytes(inText.begin(), inText.getLength());
}

void PropertySetImpl::encode(Stream& outStream) const
{
    for (const Pairs::value_type& pair : m_pairs) {
        if (pair.first.getLength() == unwritableLength || pair.second.getLength() == unwritableLength)
            MVX_THROW(errInvalidParam, "A key or value of 65535 bytes cannot be written!",
                      "_Mvx_Internal_NS_::PropertySetImpl::encode");
    }
    for (const Pairs::value_type& pair : m_pairs) {
        writeText(outStream, pair.first);
        writeText(outStream, pair.second);
    }
    writeLength(outStream, kEndMarker);
}

uint32_t readLength(Stream& inStream)
{
    unsigned char bytes[4];
    readExactly(inStream, bytes, 4, kDecodeFunction);
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

// The buffer grows piece by piece as the bytes arrive, so a length the stream does not hold fails its
// exact read after at most one piece more than the stream had, whatever the length claimed.
String readText(Stream& inStream, uint32_t inLength, SimpleArray<unsigned char, 2>& ioBuffer)
{
    if (inLength > String::maxLength)
        MVX_THROW(errDataBroken, "PropertySet data broken!", kDecodeFunction);
    const uint32_t kPiece = 0x10000;
    ioBuffer.setSize(0);
    while (ioBuffer.count() < inLength) {
        uint32_t done = ioBuffer.count();
        uint32_t piece = inLength - done < kPiece ? inLength - done : kPiece;
        ioBuffer.setSize(done + piece);
        readExactly(inStream, ioBuffer.data() + done, piece, kDecodeFunction);
    }
    return String(reinterpret_cast<const char*>(ioBuffer.data()), int32_t(inLength));
}

void PropertySetImpl::decode(Stream& inStream)
{
    m_pairs.clear();
    SimpleArray<unsigned char, 2> buffer;
    for (;;) {
        uint32_t keyLength = readLength(inStream);
        if (keyLength == kEndMarker)
            return;
        String key = readText(inStream, keyLength, buffer);
        uint32_t valueLength = readLength(inStream);
        if (valueLength == kEndMarker)
            MVX_THROW(errDataBroken, "PropertySet data broken!", kDecodeFunction);
        m_pairs[key] = readText(inStream, valueLength, buffer);
    }
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<PropertySet> PropertySet::create() { return AutoPtr<PropertySet>(new _Mvx_Internal_NS_::PropertySetImpl); }

AutoPtr<PropertySet> PropertySet::createFromStream(Stream& inStream)
{
    AutoPtr<PropertySet> set = create();
    set->decode(inStream);
    return set;
}

} // namespace DjVu
} // namespace Morvenix
