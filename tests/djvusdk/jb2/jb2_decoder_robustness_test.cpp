// JB2 decoding of damaged data: a table of damaged streams with the error each meets, and a seeded loop
// of random damage to valid Djbz, Sjbz and FGbz data of real text, each of which must give a library
// exception or a page that renders, never a crash or a hang.
#include "bzz_chunk_damage.h"
#include "djv_jb2page.h"
#include "jb2_interop_support.h"

#include <cstdio>
#include <random>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;
using Jb2Test::Bytes;
using Jb2Test::streamOf;
using MvxTest::NetpbmImage;

namespace {

class Jb2DecoderRobustness : public Jb2Test::Jb2Interop {
protected:
    // The Djbz, Sjbz and FGbz of two 800 x 600 pieces of real text pages, encoded as one group with a
    // shared dictionary (lossy, so that it holds refinements and copies).
    struct Valid {
        Bytes djbz;
        std::vector<Bytes> sjbz;
        std::vector<Bytes> fgbz;
    };
    static Valid validData()
    {
        const std::vector<NetpbmImage>& pages = textPages();
        AutoPtr<JB2Encoder> encoder = JB2Encoder::create(nullptr);
        for (uint32_t p = 0; p < 2; ++p) {
            NetpbmImage piece(800, 600);
            for (uint32_t y = 0; y < 600; ++y)
                for (uint32_t x = 0; x < 800; ++x)
                    *piece.at(x, y) = *pages[p].at(x + 200, y + 300);
            addMask(*encoder, piece, true);
        }
        Valid valid;
        AutoPtr<Chunk> chunk;
        encoder->createDjbzChunk(chunk);
        valid.djbz = MvxTest::chunkBody(*chunk);
        for (uint32_t p = 0; p < 2; ++p) {
            encoder->createSjbzChunk(chunk, p);
            valid.sjbz.push_back(MvxTest::chunkBody(*chunk));
            encoder->createFGbzChunk(chunk, p);
            valid.fgbz.push_back(MvxTest::chunkBody(*chunk));
        }
        return valid;
    }

    // Decodes what it can and renders the page at full size, reduced and enlarged, through windows of
    // bounded size: whatever the data, a library exception (false) or a result (true).
    static bool decodeAndRender(const Bytes& inDjbz, const Bytes& inSjbz, const Bytes& inFGbz)
    {
        try {
            const AutoPtr<JB2Dictionary> dictionary = JB2Dictionary::create(streamOf(inDjbz));
            const AutoPtr<JB2Page> page = JB2Page::create(streamOf(inSjbz), dictionary.get());
            page->addFGbz(streamOf(inFGbz));
            const uint32_t w = page->getWidth(), h = page->getHeight();
            std::vector<uint8_t> out(200 * 200 * 4);
            for (uint32_t divisor : {1u, 3u}) {
                const uint32_t tw = w / divisor, th = h / divisor;
                const Rect window{0, 0, int32_t(std::min(tw, 200u)), int32_t(std::min(th, 200u))};
                page->renderMask(out.data(), 800, phRGB, &window, tw ? tw : 1, th ? th : 1, true, 0);
            }
            const Rect window{0, 0, 100, 100};
            page->renderMask(out.data(), 300, phBGR, &window, std::max(w * 2, 100u), std::max(h * 2, 100u), false,
                             0);
            return true;
        } catch (const Exception&) {
            return false;
        }
    }
};

} // namespace

TEST_F(Jb2DecoderRobustness, DamagedStreamsMeetTheirErrors)
{
    const Valid valid = validData();
    const AutoPtr<JB2Dictionary> dictionary = JB2Dictionary::create(streamOf(valid.djbz));
    struct Case {
        const char* name;
        const char* kind; // "Djbz", "Sjbz" (read without a dictionary) or "FGbz" (of the first page)
        Bytes data;
        int code;
        const char* message;
    };
    const auto cut = [](const Bytes& inData, size_t inSize) {
        return Bytes(inData.begin(), inData.begin() + long(inSize));
    };
    Bytes noVersion = valid.fgbz[0];
    noVersion[0] = 0x81;
    Bytes fewerIndices = valid.fgbz[0];
    const uint32_t colours = uint32_t(fewerIndices[1]) << 8 | fewerIndices[2];
    fewerIndices[3 + 3 * colours + 2] ^= 1; // the index count's lowest bit
    const std::vector<Case> cases = {
        {"page without its dictionary", "Sjbz", valid.sjbz[0], errDataBroken,
         "JB2Decoder: Shape count mismatch!"},
        {"dictionary read as a page", "Sjbz", valid.djbz, errDataBroken,
         "JB2Decoder: NewMarkLibraryOnly found on page!"},
        {"page read as a dictionary", "Djbz", valid.sjbz[0], errDataBroken, "JB2Decoder: Shape count mismatch!"},
        {"FGbz of version 1", "FGbz", noVersion, errDataBroken, "JB2Decoder: Unknown FGbz version."},
        {"FGbz of another page", "FGbz", valid.fgbz[1], errDataBroken,
         "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!"},
        {"FGbz with one index less", "FGbz", fewerIndices, errDataBroken,
         "JB2Decoder::decodeFGbz : Shape count mismatch to the one of Sjbz!"},
        {"FGbz cut in its palette", "FGbz", cut(valid.fgbz[0], 4), errOperationFailed, "No more data!"},
        {"FGbz cut in its indices", "FGbz", cut(valid.fgbz[0], valid.fgbz[0].size() - 8), errOperationFailed,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string kind = c.kind;
        MvxTest::expectThrow(
            [&] {
                if (kind == "Djbz")
                    JB2Dictionary::create(streamOf(c.data));
                else if (kind == "Sjbz")
                    JB2Page::create(streamOf(c.data), nullptr);
                else
                    JB2Page::create(streamOf(valid.sjbz[0]), dictionary.get())->addFGbz(streamOf(c.data));
            },
            c.code, c.message);
    }
}

// Random bit flips, byte changes, cuts and insertions, seeded so that a failure repeats.
TEST_F(Jb2DecoderRobustness, RandomDamageGivesAnErrorOrAPage)
{
    const Valid valid = validData();
    ASSERT_TRUE(decodeAndRender(valid.djbz, valid.sjbz[0], valid.fgbz[0]));
    std::mt19937 random(20261210);
    const auto damage = [&random](Bytes inData) {
        const uint32_t edits = 1 + random() % 4;
        for (uint32_t e = 0; e < edits && !inData.empty(); ++e) {
            const size_t at = random() % inData.size();
            switch (random() % 5) {
            case 0:
            case 1:
                inData[at] ^= uint8_t(1u << (random() % 8));
                break;
            case 2:
                inData[at] = uint8_t(random());
                break;
            case 3:
                inData.resize(at);
                break;
            default:
                inData.insert(inData.begin() + long(at), uint8_t(random()));
                break;
            }
        }
        return inData;
    };
    const uint32_t kRounds = 1500;
    uint32_t rendered = 0;
    for (uint32_t round = 0; round < kRounds; ++round) {
        const uint32_t page = round & 1;
        Bytes djbz = valid.djbz, sjbz = valid.sjbz[page], fgbz = valid.fgbz[page];
        switch (round % 3) {
        case 0:
            djbz = damage(djbz);
            break;
        case 1:
            sjbz = damage(sjbz);
            break;
        default:
            fgbz = damage(fgbz);
            break;
        }
        SCOPED_TRACE("round " + std::to_string(round));
        rendered += decodeAndRender(djbz, sjbz, fgbz);
    }
    std::printf("[ DAMAGE   ] %u of %u damaged groups rendered, the others were refused\n", rendered, kRounds);
    // Both outcomes occur: damage to the last bytes often leaves a valid page.
    EXPECT_GT(rendered, 0u);
    EXPECT_LT(rendered, kRounds);
}
