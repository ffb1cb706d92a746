// Property sets: ordered maps of UTF-8 keys to UTF-8 values with a compact byte encoding; the page
// annotations keep their metadata in one.
#pragma once

#include "mvx_referable.h"
#include "mvx_stream.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

// Walks a set's pairs in ascending key order. The iterator keeps its set alive. Changing the set while
// iterating is safe: next moves on to the first key after the current one as the set then stands.
class PropertySetIterator : public Referable {
public:
    ~PropertySetIterator() override {}
    // Moves to the next pair (from the start: to the first) and says whether there is one.
    virtual bool next() = 0;
    // Back to before the first pair.
    virtual void reset() = 0;
    // Copies of the current pair; empty before the first pair and after the last. When the current pair
    // has been removed from the set, the key stays and the value is empty.
    virtual String getKey() const = 0;
    virtual String getValue() const = 0;
};

// Keys are ordered byte-wise on their UTF-8 text; one value per key. Not synchronised: one thread at a
// time per set.
class PropertySet : public Referable {
public:
    // A key or value of this many bytes cannot be written: the wire format uses the length 65535 as its
    // end marker.
    static constexpr uint32_t unwritableLength = 0xFFFFu;

    ~PropertySet() override {}

    virtual uint32_t getCount() const = 0;
    virtual bool isEmpty() const = 0;
    virtual void clear() = 0;
    virtual bool hasKey(const String& inKey) const = 0;
    // Empty when the key is absent; nothing is inserted.
    virtual String getValue(const String& inKey) const = 0;
    // A present key takes a non-empty value, and is removed by an empty one; an absent key is inserted
    // with the value, even an empty one.
    virtual void setValue(const String& inKey, const String& inValue) = 0;
    virtual void removeKey(const String& inKey) = 0;
    // Positioned before the first pair.
    virtual AutoPtr<PropertySetIterator> getIterator() = 0;
    virtual AutoPtr<PropertySet> clone() const = 0;
    // Every pair in key order: key length, key, value length, value (lengths 32-bit big-endian), then the
    // end marker 00 00 FF FF. A key or value of unwritableLength bytes throws errInvalidParam before
    // anything is written.
    virtual void encode(Stream& outStream) const = 0;
    // Replaces the contents with the pairs read up to the end marker. A value length of 65535 throws
    // errDataBroken; a length the stream does not hold fails its exact read (errEOF from a stream that
    // answers short), the pairs read before it staying in the set. Memory grows only with the bytes
    // actually read.
    virtual void decode(Stream& inStream) = 0;
    // Copies every pair of the other set into this one, replacing values (empty ones too). A null set
    // throws errInvalidParam.
    virtual void merge(const PropertySet* inPropSet) = 0;
    // Same pairs, byte for byte. A null set throws errInvalidParam.
    virtual bool isIdenticalTo(const PropertySet* inPropSet) const = 0;

    static AutoPtr<PropertySet> create();
    static AutoPtr<PropertySet> createFromStream(Stream& inStream);
};

} // namespace DjVu
} // namespace Morvenix
