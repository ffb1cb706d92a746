// Corrupt and hostile annotation text through the expression parser and the map-area reader: a table of
// damaged expressions, and a seeded mutation loop over valid map-area texts. Every input ends in a clean
// library exception or in areas that write themselves back to a text that reads back to the same text.
#include "maparea_test_support.h"
#include "mvx_unicode.h"

#include <gtest/gtest.h>

#include <random>

using namespace MapAreaTest;

namespace {

const PageInfo kPage = pageInfo(400, 300, 0);

enum Outcome { throws, reads };

// Reads the text; when it reads, writes every area back and checks that the written text is stable.
// Returns whether the text read without an exception.
bool readAndCheck(const std::string& inText, const PageInfo& inInfo)
{
    MapAreas areas;
    try {
        areas = readAreas(inText, inInfo);
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errDataBroken, e.getCode()) << e.what();
        return false;
    }
    const int r = Morvenix::DjVu::getRotation(inInfo);
    for (const AutoPtr<MapArea>& area : areas) {
        std::string text;
        try {
            text = str(area->getANTString(inInfo, r));
        } catch (const Morvenix::Exception& e) {
            ADD_FAILURE() << "an area read from text cannot write itself: " << e.what();
            continue;
        }
        // Broken UTF-8 inside a link text may take the closing quote with it when read again.
        bool wellFormed = true;
        for (const String* s : {&area->url, &area->target, &area->comment})
            wellFormed = wellFormed && (s->isEmpty() || Morvenix::Utf8::isValid(s->begin(), s->getLength()));
        if (!wellFormed)
            continue;
        // Numbers that the writer and the reader see differently (a width above the signed range) settle
        // after one more round; from then on the text stays the same.
        for (int round = 0; round < 2; ++round) {
            MapAreas again;
            EXPECT_NO_THROW(again = readAreas(text, inInfo)) << text;
            EXPECT_EQ(1u, again.count()) << text;
            if (again.count() != 1)
                break;
            std::string next = str(again[0]->getANTString(inInfo, r));
            if (round == 1) {
                EXPECT_EQ(text, next);
            }
            text = next;
        }
    }
    return true;
}

TEST(MapAreaCorrupt, DamagedAndHostileExpressions)
{
    struct Case {
        std::string text;
        Outcome outcome;
    } cases[] = {
        {"(maparea \"u\" \"c\" (rect 1 2 3 4)", throws},
        {"(maparea \"u\" \"c\" (rect 1 2 3 4) (xor)", throws},
        {"(maparea \"u\" \"c (rect 1 2 3 4))", throws},
        {"(maparea \"u\\", throws},
        {"(maparea \"u\" \"c\" (rect 1 2 3 4)) (maparea \"", throws},
        {std::string(100000, '('), throws},
        {"(maparea " + std::string(2000, '(') + ")", throws},
        {"(maparea \"u\" \"c\" (rect 1 2 3 4) (xor)) \xE2", reads}, // outside any expression: skipped
        {"(maparea \"u\" \"c\" (rect 1 2 3 4) \xE2\x82)", throws},
        {"(maparea \"u\xF8\" \"c\" (rect 1 2 3 4))", reads}, // a five-byte lead takes the quotes: no area
        {"(maparea \"u\" \"c\" (rect 1 2 3 4) \xF8)))", throws},
        {"(maparea \"\xFF\xFE\x80\xBF\" \"\xC0\x80\" (rect 1 2 3 4))", reads},
        {"(maparea u\xFF c (rect 1 2 3 4) (\xFF))", reads},
        {std::string("(maparea \"u\0v\" \"c\" (rect 1 2 3 4))", 34), reads},
        {std::string("(maparea u c (rect 1 2\0 3 4))", 29), reads},
        {"(maparea u c (rect 99999999999999999999 -99999999999999999999 +5 0x10))", reads},
        {"(maparea u c (rect 1.5 2e3 - --4))", reads},
        {"(maparea u c (poly " + std::string(20000, '7') + " 1 2 3))", reads},
        {"(maparea u c (line 1 2 3 4) (width -1) (lineclr #FFFFFF))", reads},
        {"(maparea u c (rect 1 2 3 4) (opacity -7) (shadow_in -3))", reads},
        {"(maparea u c (rect 1 2 3 4) (border #))", throws},
        {"(maparea u c (rect 1 2 3 4) (hilite #GG0000))", throws},
        {"(maparea (url) (c) ((rect 1 2 3 4)) ((xor)))", reads},
        {"(maparea (url \"a\" \"b\" \"c\" \"d\") \"\" (oval 1 2 3 4))", reads},
        {"(maparea \"u\" \"c\" (rect 1 2 3 4) (xor)) garbage ) ) ) \" \" (maparea u c (oval 1 2 3 4))", reads},
        {"(maparea \"" + std::string(100000, '\\') + "\" \"c\" (rect 1 2 3 4))", reads},
        {"(maparea \"" + std::string(99999, '\\') + "\")", throws},
        {"(maparea \"\\\")", throws},
        {"(maparea \"\\\" \"c\" (rect 1 2 3 4))", reads}, // the escaped quote shifts every item
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        EXPECT_EQ(c.outcome == reads, readAndCheck(c.text, kPage));
    }
}

// Replaces, inserts, deletes, duplicates or truncates, favouring the bytes the syntax gives meaning to.
std::string mutate(const std::string& inText, std::mt19937& ioRandom)
{
    static const char kBytes[] = {'(', ')', '"', '\\', ' ', '#', '0', '9', '-', 'x', '\0', '\x80', '\xC3', '\xE2',
                                  '\xF0', '\xFF', '\t', '\xA0'};
    std::string s = inText;
    int edits = 1 + int(ioRandom() % 4);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        size_t at = ioRandom() % s.size();
        char byte = ioRandom() % 3 ? kBytes[ioRandom() % sizeof kBytes] : char(ioRandom());
        switch (ioRandom() % 5) {
        case 0:
            s[at] = byte;
            break;
        case 1:
            s.insert(s.begin() + long(at), byte);
            break;
        case 2:
            s.erase(at, 1 + ioRandom() % 8);
            break;
        case 3:
            s.insert(at, s.substr(ioRandom() % s.size(), 1 + ioRandom() % 40));
            break;
        default:
            s.resize(at);
            break;
        }
    }
    return s;
}

TEST(MapAreaCorrupt, MutationsOfValidTexts)
{
    std::vector<std::string> valid;
    std::vector<PageInfo> pages;
    for (int r = 0; r < 4; ++r) {
        const PageInfo info = pageInfo(400, 300, r);
        valid.push_back(writeAreas(sampleAreas(r), info, r));
        pages.push_back(info);
    }
    std::mt19937 random(20261210);
    int failed = 0;
    for (int i = 0; i < 6000; ++i) {
        const size_t which = random() % valid.size();
        const std::string text = mutate(valid[which], random);
        SCOPED_TRACE("iteration " + std::to_string(i));
        if (!readAndCheck(text, pages[which]))
            ++failed;
        if (HasFailure())
            break;
    }
    // Both outcomes are exercised.
    EXPECT_GT(failed, 100);
    EXPECT_LT(failed, 5900);
}

} // namespace
