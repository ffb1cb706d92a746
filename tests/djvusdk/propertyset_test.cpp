// Property sets: map semantics, iteration while the set changes, the exact wire bytes, lengths the wire
// format cannot carry, and damaged or hostile encodings.
#include "djv_propertyset.h"

#include "mvx_exception.h"
#include "mvx_memstorage.h"

#include "../mvx_baselib/vector_stream.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Morvenix::AutoPtr;
using Morvenix::MemoryStorage;
using Morvenix::String;
using Morvenix::DjVu::PropertySet;
using Morvenix::DjVu::PropertySetIterator;
using MvxTest::expectThrow;
typedef std::vector<unsigned char> Bytes;

Bytes encoded(const PropertySet& inSet)
{
    AutoPtr<MemoryStorage> storage = MemoryStorage::create();
    inSet.encode(*storage);
    return Bytes(storage->getArray().begin(), storage->getArray().end());
}

AutoPtr<MemoryStorage> storageOf(const Bytes& inBytes)
{
    return MemoryStorage::create(inBytes.data(), inBytes.size(), 4321);
}

void putLength(Bytes& out, uint32_t inLength)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(uint8_t(inLength >> s));
}

void putText(Bytes& out, const std::string& inText)
{
    putLength(out, uint32_t(inText.size()));
    out.insert(out.end(), inText.begin(), inText.end());
}

std::vector<std::pair<std::string, std::string>> pairsOf(PropertySet& inSet)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    AutoPtr<PropertySetIterator> it = inSet.getIterator();
    while (it->next())
        pairs.emplace_back(it->getKey().c_str(), it->getValue().c_str());
    return pairs;
}

TEST(PropertySet, AbsentKeysAreNotInsertedByLookups)
{
    AutoPtr<PropertySet> set = PropertySet::create();
    EXPECT_TRUE(set->isEmpty());
    EXPECT_TRUE(set->getValue("Author").isEmpty());
    EXPECT_FALSE(set->hasKey("Author"));
    EXPECT_EQ(0u, set->getCount());
    set->removeKey("Author");
    EXPECT_EQ(0u, set->getCount());
}

TEST(PropertySet, EmptyValueInsertsAnAbsentKeyAndRemovesAPresentOne)
{
    AutoPtr<PropertySet> set = PropertySet::create();
    set->setValue("k", "");
    EXPECT_TRUE(set->hasKey("k"));
    EXPECT_EQ(1u, set->getCount());
    set->setValue("k", "v");
    EXPECT_EQ("v", std::string(set->getValue("k").c_str()));
    set->setValue("k", "w");
    EXPECT_EQ("w", std::string(set->getValue("k").c_str()));
    EXPECT_EQ(1u, set->getCount());
    set->setValue("k", "");
    EXPECT_FALSE(set->hasKey("k"));
    EXPECT_TRUE(set->isEmpty());
    set->setValue("a", "1");
    set->setValue("b", "2");
    set->clear();
    EXPECT_TRUE(set->isEmpty());
    EXPECT_FALSE(set->hasKey("a"));
}

TEST(PropertySet, WireBytesAreInAscendingByteOrderOfTheKeys)
{
    AutoPtr<PropertySet> set = PropertySet::create();
    EXPECT_EQ((Bytes{0, 0, 0xFF, 0xFF}), encoded(*set));
    // Inserted out of order; "Z" < "a" < "\xC3\xA9" (é) byte-wise.
    set->setValue("b", "Beta");
    set->setValue("\xC3\xA9", "accent");
    set->setValue("a", "");
    set->setValue("Z", "zed");
    Bytes expected;
    for (const auto& p : std::vector<std::pair<std::string, std::string>>{
             {"Z", "zed"}, {"a", ""}, {"b", "Beta"}, {"\xC3\xA9", "accent"}}) {
        putText(expected, p.first);
        putText(expected, p.second);
    }
    putLength(expected, 0xFFFF);
    EXPECT_EQ(expected, encoded(*set));

    AutoPtr<PropertySet> back = PropertySet::createFromStream(*storageOf(expected));
    EXPECT_TRUE(back->isIdenticalTo(set.get()));
    EXPECT_EQ(4u, back->getCount());
    EXPECT_TRUE(back->hasKey("a"));
}

TEST(PropertySet, LengthsAroundTheEndMarker)
{
    // 65535 is the end marker: such a key or value is refused before anything is written, while the
    // lengths beside it travel unchanged.
    for (uint32_t length : {0xFFFEu, 0xFFFFu, 0x10000u}) {
        SCOPED_TRACE(length);
        const String big(std::string(length, 'x'));
        for (bool asKey : {true, false}) {
            AutoPtr<PropertySet> set = PropertySet::create();
            set->setValue("first", "1");
            if (asKey)
                set->setValue(big, "v");
            else
                set->setValue("k", big);
            AutoPtr<MemoryStorage> storage = MemoryStorage::create();
            if (length == PropertySet::unwritableLength) {
                expectThrow([&] { set->encode(*storage); }, Morvenix::errInvalidParam, "65535");
                EXPECT_EQ(0u, storage->getSize());
                continue;
            }
            set->encode(*storage);
            storage->setPos(0);
            AutoPtr<PropertySet> back = PropertySet::createFromStream(*storage);
            EXPECT_TRUE(back->isIdenticalTo(set.get()));
        }
    }
}

TEST(PropertySet, DecodingReplacesTheContentsAndStopsAtTheEndMarker)
{
    Bytes bytes;
    putText(bytes, "x");
    putText(bytes, "1");
    putText(bytes, "x");
    putText(bytes, "2");
    putLength(bytes, 0xFFFF);
    putText(bytes, "after");
    AutoPtr<PropertySet> set = PropertySet::create();
    set->setValue("old", "gone");
    AutoPtr<MemoryStorage> storage = storageOf(bytes);
    set->decode(*storage);
    EXPECT_EQ(1u, set->getCount());
    EXPECT_FALSE(set->hasKey("old"));
    EXPECT_EQ("2", std::string(set->getValue("x").c_str()));
    EXPECT_EQ(uint64_t(bytes.size() - 9), storage->getPos());
}

// A failure keeps the pairs read before it.
TEST(PropertySet, DamagedEncodings)
{
    struct Case {
        const char* name;
        Bytes bytes;
        int code;          // 0: decodes
        uint32_t pairsKept; // pairs in the set after the failure
    };
    Bytes good;
    putText(good, "a");
    putText(good, "1");
    auto after = [&](std::initializer_list<unsigned char> tail) {
        Bytes b = good;
        b.insert(b.end(), tail);
        return b;
    };
    const int broken = Morvenix::errDataBroken, shortRead = Morvenix::errOperationFailed;
    std::vector<Case> cases = {
        {"empty", Bytes(), shortRead, 0},
        {"no end marker", good, shortRead, 1},
        {"half a length", after({0, 0}), shortRead, 1},
        {"value length is the end marker", after({0, 0, 0, 1, 'b', 0, 0, 0xFF, 0xFF}), broken, 1},
        {"key longer than the data", after({0, 0, 0, 9, 'b'}), shortRead, 1},
        {"key length near 4 GB", after({0xFF, 0xFF, 0xFF, 0xFF, 'b'}), broken, 1},
        {"key length just above the longest string", after({0x7F, 0xFF, 0xFF, 0xF1, 'b'}), broken, 1},
        {"key length of the longest string", after({0x7F, 0xFF, 0xFF, 0xF0, 'b'}), shortRead, 1},
        {"value length near 4 GB", after({0, 0, 0, 1, 'b', 0xFF, 0xFF, 0xFF, 0xFE, 'c'}), broken, 1},
        {"value length of 2 GB", after({0, 0, 0, 1, 'b', 0x80, 0, 0, 0, 'c'}), broken, 1},
        {"value longer than the data", after({0, 0, 0, 1, 'b', 0x00, 0x10, 0, 0, 'c'}), shortRead, 1},
        {"no value length", after({0, 0, 0, 1, 'b'}), shortRead, 1},
        {"marker only", Bytes{0, 0, 0xFF, 0xFF}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AutoPtr<PropertySet> set = PropertySet::create();
        if (c.code == 0) {
            set->decode(*storageOf(c.bytes));
        } else {
            expectThrow([&] { set->decode(*storageOf(c.bytes)); }, c.code,
                        c.code == broken ? "PropertySet data broken!" : nullptr,
                        c.code == broken ? "_Mvx_Internal_NS_::PropertySetImpl::decode" : nullptr);
        }
        EXPECT_EQ(c.pairsKept, set->getCount());

        // A stream from outside that answers short instead of throwing ends the data just the same.
        MvxTest::VectorStream answeringShort(c.bytes);
        answeringShort.answersShort = true;
        AutoPtr<PropertySet> fromOutside = PropertySet::create();
        if (c.code == 0) {
            fromOutside->decode(answeringShort);
        } else {
            expectThrow([&] { fromOutside->decode(answeringShort); }, c.code == broken ? broken : Morvenix::errEOF,
                        "_Mvx_Internal_NS_::PropertySetImpl::decode");
        }
        EXPECT_EQ(c.pairsKept, fromOutside->getCount());
    }
}

TEST(PropertySet, MutatedEncodingsEndCleanly)
{
    AutoPtr<PropertySet> source = PropertySet::create();
    source->setValue("Author", "Jane \"JD\" Doe");
    source->setValue("Title", "\xE2\x82\xAC and more");
    source->setValue("Empty", "");
    const Bytes valid = encoded(*source);
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        Bytes b = valid;
        const int edits = 1 + int(random() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (random() % 4) {
            case 0:
                b[random() % b.size()] = uint8_t(random());
                break;
            case 1:
                b.resize(random() % (b.size() + 1));
                if (b.empty())
                    b.push_back(0);
                break;
            case 2:
                b.insert(b.begin() + long(random() % (b.size() + 1)), uint8_t(random()));
                break;
            default:
                b[random() % b.size()] = random() % 2 ? 0xFF : 0x00;
                break;
            }
        }
        AutoPtr<PropertySet> set = PropertySet::create();
        try {
            set->decode(*storageOf(b));
            // What decodes writes again, unless a length the format cannot carry came out of it.
            AutoPtr<MemoryStorage> again = MemoryStorage::create();
            set->encode(*again);
        } catch (const Morvenix::Exception&) {
        }
    }
}

TEST(PropertySet, IteratorWalksInKeyOrderAndSurvivesChanges)
{
    AutoPtr<PropertySet> set = PropertySet::create();
    AutoPtr<PropertySetIterator> empty = set->getIterator();
    EXPECT_FALSE(empty->next());
    EXPECT_TRUE(empty->getKey().isEmpty());

    set->setValue("c", "3");
    set->setValue("a", "1");
    set->setValue("b", "2");
    AutoPtr<PropertySetIterator> it = set->getIterator();
    EXPECT_TRUE(it->getKey().isEmpty()); // before the first pair
    ASSERT_TRUE(it->next());
    EXPECT_EQ("a", std::string(it->getKey().c_str()));
    EXPECT_EQ("1", std::string(it->getValue().c_str()));
    // The current pair goes away under the iterator; it still moves on to the pair after it.
    set->removeKey("a");
    EXPECT_EQ("a", std::string(it->getKey().c_str()));
    EXPECT_TRUE(it->getValue().isEmpty());
    ASSERT_TRUE(it->next());
    EXPECT_EQ("b", std::string(it->getKey().c_str()));
    set->setValue("bb", "inserted");
    ASSERT_TRUE(it->next());
    EXPECT_EQ("bb", std::string(it->getKey().c_str()));
    set->clear();
    EXPECT_FALSE(it->next());
    EXPECT_FALSE(it->next());
    set->setValue("z", "26");
    EXPECT_FALSE(it->next()); // past the end until reset
    it->reset();
    ASSERT_TRUE(it->next());
    EXPECT_EQ("26", std::string(it->getValue().c_str()));
}

TEST(PropertySet, IteratorKeepsItsSetAlive)
{
    AutoPtr<PropertySetIterator> it;
    {
        AutoPtr<PropertySet> set = PropertySet::create();
        set->setValue("k", "v");
        it = set->getIterator();
    }
    ASSERT_TRUE(it->next());
    EXPECT_EQ("v", std::string(it->getValue().c_str()));
}

TEST(PropertySet, CloneMergeAndIdentity)
{
    AutoPtr<PropertySet> set = PropertySet::create();
    set->setValue("a", "1");
    set->setValue("b", "2");
    AutoPtr<PropertySet> copy = set->clone();
    EXPECT_TRUE(set->isIdenticalTo(copy.get()));
    EXPECT_TRUE(copy->isIdenticalTo(set.get()));
    copy->setValue("c", "3");
    EXPECT_FALSE(set->isIdenticalTo(copy.get()));
    EXPECT_EQ(2u, set->getCount()); // the clone is independent

    AutoPtr<PropertySet> same = set->clone();
    same->setValue("b", "other");
    EXPECT_FALSE(set->isIdenticalTo(same.get())); // same keys, another value

    AutoPtr<PropertySet> other = PropertySet::create();
    other->setValue("b", "");
    other->setValue("d", "4");
    set->merge(other.get());
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"b", ""}, {"d", "4"}}),
              pairsOf(*set));
    set->merge(set.get());
    EXPECT_EQ(3u, set->getCount());

    expectThrow([&] { set->merge(nullptr); }, Morvenix::errInvalidParam, "inPropSet is NULL!",
                "_Mvx_Internal_NS_::PropertySetImpl::merge");
    expectThrow([&] { set->isIdenticalTo(nullptr); }, Morvenix::errInvalidParam, "inPropSet is NULL!",
                "_Mvx_Internal_NS_::PropertySetImpl::isIdenticalTo");
}

} // namespace
