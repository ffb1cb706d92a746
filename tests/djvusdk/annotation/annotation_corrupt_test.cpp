// Damaged and hostile annotation chunks: each ends in a library exception or a valid annotation, never a
// crash or a hang; what reads back can be written again.
#include "djv_annotation.h"
#include "djv_bzz.h"
#include "djv_data.h"
#include "mvx_memstorage.h"

#include "bzz_chunk_damage.h"
#include "maparea_test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace MapAreaTest;
using Morvenix::DjVu::Annotation;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Data;
typedef std::vector<unsigned char> Bytes;

const PageInfo kPage = pageInfo(400, 300, 0);

// The bytes through BZZ, as a hostile ANTz would hold them.
Bytes compressed(const std::string& inText)
{
    AutoPtr<Morvenix::MemoryStorage> storage = Morvenix::MemoryStorage::create();
    {
        AutoPtr<Morvenix::DjVu::DeflateStream> bzz =
            Morvenix::DjVu::DeflateStream::create(AutoPtr<Morvenix::Stream>(storage), 1024, 16);
        bzz->writeBytes(inText.data(), uint32_t(inText.size()));
        bzz->flushBuffer();
    }
    return Bytes(storage->getArray().begin(), storage->getArray().end());
}

// A valid annotation with every kind of expression, as its ANTa text.
std::string sampleText()
{
    AutoPtr<Annotation> a = Annotation::create(1, 3, 0x00C0FFEE, 150, 2);
    a->mapAreas = sampleAreas(0);
    a->metadata = Morvenix::DjVu::PropertySet::create();
    a->metadata->setValue("Author", "Jane \"JD\" Doe \\");
    a->metadata->setValue("Title", "\xE2\x82\xAC\xE6\x97\xA5");
    a->otherExpressions.append(String("(custom (nested \"x y\") 12)"));
    return str(a->getANTString(kPage));
}

// Reads the chunk; returns whether it read. A result is written again, which must work or throw cleanly.
bool readChunk(const char* inId, const Bytes& inBody)
{
    AutoPtr<Chunk> chunk = Chunk::createFromBytes(inId, inBody.data(), uint32_t(inBody.size()));
    try {
        AutoPtr<Annotation> a = Annotation::create(*chunk, kPage);
        a->getANTString(kPage);
        return true;
    } catch (const Morvenix::Exception&) {
        return false;
    }
}

TEST(AnnotationCorrupt, TableOfHostileTexts)
{
    struct Case {
        const char* name;
        std::string text;
        const char* message; // null: reads
    };
    const std::string deep = std::string(100000, '(') + std::string(100000, ')');
    const std::vector<Case> cases = {
        {"unbalanced parenthesis", "(mode color", "No matching ')' found!"},
        {"unbalanced nested", "(maparea \"u\" \"c\" (rect 1 2 3 4) (xor)", "No matching ')' found!"},
        {"unterminated string", "(metadata (Author \"Jane", "No matching \" found!"},
        {"string ending in a backslash", "(metadata (Author \"Jane\\", "Malformed escape!"},
        {"huge nesting", deep, "nested too deeply"},
        {"huge nesting inside a map area",
         "(maparea \"u\" \"c\" " + std::string(5000, '(') + "rect" + std::string(5000, ')') + ")",
         "nested too deeply"},
        {"UTF-8 lead byte cut by the end", "(mode color) (x \xF0\x9F", "No matching \" found!"},
        {"UTF-8 lead byte cut inside a string", "(metadata (A \"\xE2\x82", "No matching \" found!"},
        {"bad colour", "(background #GG0000)", "Invalid Color"},
        {"bad colour in a map area", "(maparea \"u\" \"\" (rect 1 2 3 4) (border #12))", "Invalid Color"},
        {"unknown mode", "(mode sepia)", "Invalid Data"},
        {"stray closing parentheses", ")))) (mode bw) ))", nullptr},
        {"invalid UTF-8 in words and strings", "(\xFF\xFE \"\x80\x80\") (metadata (Key \"\xC3\x28\"))", nullptr},
        {"NUL bytes", std::string("(mode bw)\0(zoom d5)\0", 20), nullptr},
        {"map area with too few items", "(maparea \"u\")", nullptr},
        {"map area with a word for a shape", "(maparea \"u\" \"c\" rect (xor))", nullptr},
        {"numbers beyond 32 bits", "(maparea \"u\" \"c\" (rect 99999999999 -99999999999 2147483647 2147483647))",
         nullptr},
        {"empty", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* id : {"ANTa", "ANTz"}) {
            SCOPED_TRACE(id);
            const Bytes body = id[3] == 'a' ? Bytes(c.text.begin(), c.text.end()) : compressed(c.text);
            AutoPtr<Chunk> chunk = Chunk::createFromBytes(id, body.data(), uint32_t(body.size()));
            AutoPtr<Annotation> a = Annotation::create(0, 0, Annotation::backgroundNone, 0, 0);
            if (c.message) {
                expectThrow([&] { a->decode(*chunk, kPage); }, Morvenix::errDataBroken, c.message);
            } else {
                a->decode(*chunk, kPage);
                a->getANTString(kPage);
            }
        }
    }
}

TEST(AnnotationCorrupt, DamagedCompressedPayloads)
{
    AutoPtr<Annotation> a = Annotation::create(1, 3, 0x00C0FFEE, 150, 2);
    a->mapAreas = sampleAreas(0);
    const Bytes packed = MvxTest::chunkBody(*a->makeANTz(kPage));
    ASSERT_GT(packed.size(), 8u);
    // Truncated BZZ data at every length, and bytes that are no BZZ data at all.
    for (size_t n = 0; n < packed.size(); ++n) {
        SCOPED_TRACE(n);
        readChunk("ANTz", Bytes(packed.begin(), packed.begin() + long(n)));
    }
    EXPECT_TRUE(readChunk("ANTz", packed));
    const std::string text = sampleText();
    for (const Bytes& junk : {Bytes(text.begin(), text.end()), Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes(64, 0xFF),
                              Bytes(64, 0x00), Bytes{0x80}})
        readChunk("ANTz", junk);
}

// Damage that the BZZ decoder meets first in an "ANTz" chunk keeps the decoder's code and names it; damage
// it lets through is the parser's own errDataBroken.
TEST(AnnotationCorrupt, DamagedCompressedChunksPassTheBzzErrorsThrough)
{
    const std::string text = sampleText();
    const Bytes packed = compressed(text);
    std::vector<MvxTest::DamagedChunk> cases = MvxTest::bzzDamage(packed, Bytes(text.begin(), text.end()));
    // This payload is long enough that its half ends inside the block: the decoder runs out of bytes.
    cases.push_back({"cut in half", Bytes(packed.begin(), packed.begin() + long(packed.size() / 2)),
                     Morvenix::errOperationFailed, "preload failed.", MvxTest::kZPPreload});
    cases.push_back({"compressed text with an unknown mode", compressed("(mode sepia)"), Morvenix::errDataBroken,
                     "Invalid Data \"sepia\"!", "djv_annotation"});
    MvxTest::expectChunkErrors("ANTz", cases, [](const Chunk& inChunk) { Annotation::create(inChunk, kPage); });
}

// Seeded mutations of valid annotations, as plain text and as compressed data.
TEST(AnnotationCorrupt, MutatedAnnotationsEndCleanly)
{
    const std::string text = sampleText();
    AutoPtr<Chunk> packedChunk = Annotation::create(String(text.data(), int32_t(text.size())), kPage)->makeANTz(kPage);
    const Bytes packed = MvxTest::chunkBody(*packedChunk);
    const Bytes plain(text.begin(), text.end());
    const unsigned char interesting[] = {'(', ')', '"', '\\', ' ', '#', 0x00, 0x80, 0xC3, 0xE2, 0xF0, 0xFF};
    std::mt19937 random(61210);
    int read = 0;
    for (int round = 0; round < 600; ++round) {
        const bool compressed = round % 3 == 2;
        Bytes b = compressed ? packed : plain;
        const int edits = 1 + int(random() % 6);
        for (int e = 0; e < edits && !b.empty(); ++e) {
            const size_t at = random() % b.size();
            switch (random() % 5) {
            case 0:
                b[at] = uint8_t(random());
                break;
            case 1:
                b[at] = interesting[random() % sizeof interesting];
                break;
            case 2:
                b.insert(b.begin() + long(at), interesting[random() % sizeof interesting]);
                break;
            case 3:
                b.erase(b.begin() + long(at));
                break;
            default:
                b.resize(at);
                break;
            }
        }
        if (readChunk(compressed ? "ANTz" : "ANTa", b))
            ++read;
    }
    // The loop reaches the reader, not only the parser's first check.
    EXPECT_GT(read, 0);
}

} // namespace
