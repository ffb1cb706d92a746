// The page encoder on small drawn pages: the chunks of each mode, the page groups around shared
// dictionaries, the mode guess, and the pages it refuses.
#include "djv_djvuencoderimpl.h"
#include "encoder_test_support.h"
#include "mvx_exception.h"
#include "test_support.h"

#include <functional>

#define MVX_SOURCE "djvuencoder_test"

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace EncoderTest;
using _Mvx_Internal_NS_::DjVuEncoderImpl;

namespace {

const std::string kBG = "BG44 BG44 BG44 BG44";

std::string idsAfterFlush(DjVuEncoder& ioEncoder, AutoPtr<Chunk>& ioForm)
{
    ioEncoder.flush();
    return chunkIds(*ioForm);
}

// Two pages of the same glyphs in one group, so that the group has a shared dictionary.
TEST(DjVuEncoder, ChunksOfEachMode)
{
    const NetpbmImage page = drawPage(240, 160, 1), other = drawPage(240, 160, 2);
    const std::vector<uint8_t> mask = darkMask(page), otherMask = darkMask(other);
    struct Case {
        uint32_t mode;
        std::string ids;
    };
    const Case cases[] = {
        {DjVuEncoder::emCompound, "INFO Djbz Sjbz FG44 " + kBG},
        {DjVuEncoder::emCompoundPalette, "INFO Djbz Sjbz FGbz " + kBG},
        {DjVuEncoder::emPhoto, "INFO " + kBG},
        {DjVuEncoder::emBitonal, "INFO Djbz Sjbz"},
        {DjVuEncoder::emAuto, "INFO Djbz Sjbz FG44 " + kBG}, // a colour page: compound
        {DjVuEncoder::emCompoundBoth, "INFO Djbz Sjbz FGbz FG44 " + kBG},
        {6, "INFO Djbz Sjbz " + kBG},
        {77, "INFO Djbz Sjbz " + kBG},
    };
    for (const Case& c : cases) {
        for (const std::vector<uint8_t>* m : {&mask, static_cast<const std::vector<uint8_t>*>(nullptr)}) {
            AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
            AutoPtr<Chunk> form, otherForm;
            encode(*encoder, form, page, c.mode, m);
            encode(*encoder, otherForm, other, c.mode, m ? &otherMask : nullptr);
            EXPECT_EQ(c.ids, idsAfterFlush(*encoder, form)) << "mode " << c.mode << (m ? " with mask" : "");
            EXPECT_EQ(c.ids, chunkIds(*otherForm)) << "mode " << c.mode << (m ? " with mask" : "");
            for (const AutoPtr<Chunk>& child : form->getChildren())
                EXPECT_TRUE(child->getData() && child->getData()->getSize() > 0) << child->getId().c_str();
        }
    }
}

TEST(DjVuEncoder, InfoOfALetterPageAt300Dpi)
{
    std::vector<uint8_t> white(size_t(2550) * 3300, 255);
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
    DjVuEncoder::Params params(DjVuEncoder::emBitonal);
    AutoPtr<Chunk> form;
    encoder->encodePage(form, white.data(), 2550, phGray, 2550, 3300, 300, &params, nullptr, 0, 0);
    EXPECT_EQ((Bytes{0x09, 0xF6, 0x0C, 0xE4, 0x19, 0x00, 0x2C, 0x01, 0x16, 0x01}),
              bodyOf(*form->getChildren()[0]));
}

// What the auto mode makes of a page, told by its chunks (a group of one page shares nothing, so no
// dictionary); the caller's block keeps emAuto.
// Without a mask a photometric-3 pixel is neutral while its colour differences, signed, add up to less
// than 16 in size: black and white with a slight tint either way is a bitonal page.
TEST(DjVuEncoder, AutoModeGuessReadsColourDifferencesSigned)
{
    const struct {
        uint8_t cb, cr;
        uint32_t mode;
    } cases[] = {
        {0x00, 0x00, DjVuEncoder::emBitonal},  {0xFF, 0xFF, DjVuEncoder::emBitonal},
        {0xF9, 0x07, DjVuEncoder::emBitonal},  {0xF8, 0x08, DjVuEncoder::emCompound},
        {0x10, 0x00, DjVuEncoder::emCompound}, {0x00, 0xF0, DjVuEncoder::emCompound},
    };
    for (const auto& c : cases) {
        const uint8_t pixels[] = {0x00, c.cb, c.cr, 0xFF, c.cb, c.cr, 0xFF, 0x00, 0x00};
        uint32_t mode = 99;
        DjVuEncoderImpl::guessEncodeMode(pixels, 9, phYCC, 3, 1, &mode, nullptr, 0, mtBytes);
        EXPECT_EQ(c.mode, mode) << int(c.cb) << " " << int(c.cr);
    }
}

TEST(DjVuEncoder, AutoModeGuess)
{
    const NetpbmImage colour = drawPage(160, 96, 2);
    NetpbmImage grey(160, 96, 1), twoLevels(160, 96, 1);
    for (size_t i = 0; i < grey.pixels.size(); ++i) {
        grey.pixels[i] = uint8_t(i % 7 == 0 ? 0 : 200);
        twoLevels.pixels[i] = uint8_t(i % 7 == 0 ? 0 : 255);
    }
    const std::vector<uint8_t> noForeground(size_t(160) * 96, 1);
    struct Case {
        const char* name;
        const NetpbmImage* page;
        Photometric photometric;
        const std::vector<uint8_t>* mask;
        std::string ids;
    };
    const std::vector<uint8_t> colourMask = darkMask(colour);
    const Case cases[] = {
        {"colour, no mask", &colour, phRGB, nullptr, "INFO Sjbz FG44 " + kBG},
        {"levels 0 and 255", &twoLevels, phGray, nullptr, "INFO Sjbz"},
        {"levels 0 and 200", &grey, phGray, nullptr, "INFO Sjbz FG44 " + kBG},
        {"mask without foreground", &colour, phRGB, &noForeground, "INFO " + kBG},
        {"mask with foreground", &colour, phRGB, &colourMask, "INFO Sjbz FG44 " + kBG},
    };
    for (const Case& c : cases) {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
        const DjVuEncoder::Params params(DjVuEncoder::emAuto);
        AutoPtr<Chunk> form;
        encoder->encodePage(form, c.page->pixels.data(), int32_t(c.page->width * c.page->bytesPerPixel),
                            c.photometric, c.page->width, c.page->height, 300, &params,
                            c.mask ? c.mask->data() : nullptr, 160, mtBytes);
        EXPECT_EQ(c.ids, idsAfterFlush(*encoder, form)) << c.name;
        EXPECT_EQ(uint32_t(DjVuEncoder::emAuto), params.mode);
    }
    uint32_t mode = 99;
    const uint8_t bits[2] = {0xFE, 0xFE}; // width 7: only the top seven bits count
    DjVuEncoderImpl::guessEncodeMode(colour.pixels.data(), 0, phRGB, 7, 2, &mode, bits, 1, mtBits);
    EXPECT_EQ(uint32_t(DjVuEncoder::emPhoto), mode);
    DjVuEncoderImpl::guessEncodeMode(colour.pixels.data(), 0, phRGB, 8, 2, &mode, bits, 1, mtBits);
    EXPECT_EQ(uint32_t(DjVuEncoder::emCompound), mode);
}

// 45 pages in groups of 20: each group gets its bytes when the next group's first page arrives (or at
// the flush), and its pages share one dictionary chunk.
TEST(DjVuEncoder, GroupsOfTwenty)
{
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
    std::vector<AutoPtr<Chunk>> forms(45);
    const auto sjbzLoaded = [&](uint32_t i) { return forms[i]->getChildren()[2]->isLoaded(); };
    for (uint32_t i = 0; i < 45; ++i) {
        encode(*encoder, forms[i], drawPage(96, 64, i % 3), DjVuEncoder::emCompoundBoth);
        if (i == 19 || i == 20 || i == 39 || i == 40) {
            EXPECT_EQ(i >= 20, sjbzLoaded(0)) << i;
            if (i >= 20) {
                EXPECT_EQ(i == 40, sjbzLoaded(20)) << i;
            }
            EXPECT_FALSE(sjbzLoaded(i));
        }
    }
    EXPECT_FALSE(sjbzLoaded(44));
    encoder->flush();
    ASSERT_EQ("INFO Djbz Sjbz FGbz FG44 " + kBG, chunkIds(*forms[0]));
    const auto dictionaryOf = [&](uint32_t i) {
        return static_cast<ChunkRedirector&>(*forms[i]->getChildren()[1]).getTarget().get();
    };
    for (uint32_t i = 0; i < 45; ++i) {
        EXPECT_EQ("INFO Djbz Sjbz FGbz FG44 " + kBG, chunkIds(*forms[i])) << i;
        EXPECT_TRUE(forms[i]->isLoaded()) << i;
        EXPECT_EQ(dictionaryOf(i / 20 * 20), dictionaryOf(i)) << i;
    }
    EXPECT_NE(dictionaryOf(0), dictionaryOf(20));
    EXPECT_NE(dictionaryOf(20), dictionaryOf(40));
}

TEST(DjVuEncoder, WithoutSharedDictionaryEveryPageIsCompleteAtOnce)
{
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(0, 20, nullptr);
    for (uint32_t i = 0; i < 3; ++i) {
        AutoPtr<Chunk> form;
        encode(*encoder, form, drawPage(96, 64, i), DjVuEncoder::emCompoundBoth);
        EXPECT_EQ("INFO Sjbz FGbz FG44 " + kBG, chunkIds(*form));
        EXPECT_TRUE(form->isLoaded());
    }
}

TEST(DjVuEncoder, GroupSizeZeroMakesAGroupOfEachPage)
{
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 0, nullptr);
    AutoPtr<Chunk> first, second;
    const auto dictionaryOf = [](Chunk& inForm) {
        return static_cast<ChunkRedirector&>(*inForm.getChildren()[1]).getTarget().get();
    };
    encode(*encoder, first, drawPage(96, 64, 1), DjVuEncoder::emCompound);
    EXPECT_FALSE(first->isLoaded());
    const Chunk* firstDictionary = dictionaryOf(*first);
    encode(*encoder, second, drawPage(96, 64, 1), DjVuEncoder::emCompound);
    EXPECT_TRUE(first->isLoaded());
    EXPECT_FALSE(second->isLoaded());
    EXPECT_NE(firstDictionary, dictionaryOf(*second));
    encoder->flush();
    EXPECT_TRUE(second->isLoaded());
    // Alone in its group a page shares no shape: neither keeps a dictionary reference.
    EXPECT_EQ("INFO Sjbz FG44 " + kBG, chunkIds(*first));
    EXPECT_EQ("INFO Sjbz FG44 " + kBG, chunkIds(*second));
}

TEST(DjVuEncoder, EmptyDictionaryLeavesNoReference)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    const std::vector<uint8_t> background(size_t(96) * 64, 255);
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
    AutoPtr<Chunk> a, b;
    encode(*encoder, a, page, DjVuEncoder::emCompoundPalette, &background);
    encode(*encoder, b, page, DjVuEncoder::emCompoundPalette, &background);
    EXPECT_EQ("INFO Djbz Sjbz FGbz " + kBG, chunkIds(*a));
    encoder->flush();
    EXPECT_EQ("INFO Sjbz FGbz " + kBG, chunkIds(*a));
    EXPECT_EQ("INFO Sjbz FGbz " + kBG, chunkIds(*b));
    EXPECT_TRUE(a->isLoaded() && b->isLoaded());
}

TEST(DjVuEncoder, SecondFlushChangesNothing)
{
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
    AutoPtr<Chunk> form;
    encode(*encoder, form, drawPage(96, 64, 1), DjVuEncoder::emCompoundBoth);
    encoder->flush();
    const Data* sjbz = form->getChildren()[2]->getData().get();
    const Bytes bytes = formBytes(*form);
    encoder->flush();
    EXPECT_EQ(sjbz, form->getChildren()[2]->getData().get());
    EXPECT_EQ(bytes, formBytes(*form));
    encoder->flush();
}

TEST(DjVuEncoder, PhotoPageClosesAFullGroupWithoutJoiningTheNext)
{
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 2, nullptr);
    std::vector<AutoPtr<Chunk>> forms(5);
    const NetpbmImage page = drawPage(96, 64, 1);
    encode(*encoder, forms[0], page, DjVuEncoder::emCompound);
    encode(*encoder, forms[1], page, DjVuEncoder::emCompound);
    EXPECT_FALSE(forms[0]->isLoaded());
    encode(*encoder, forms[2], page, DjVuEncoder::emPhoto);
    EXPECT_EQ("INFO " + kBG, chunkIds(*forms[2]));
    EXPECT_TRUE(forms[0]->isLoaded() && forms[1]->isLoaded());
    encode(*encoder, forms[3], page, DjVuEncoder::emCompound);
    encode(*encoder, forms[4], page, DjVuEncoder::emCompound);
    EXPECT_FALSE(forms[3]->isLoaded()) << "the photo page must not count towards the group";
    encoder->flush();
    EXPECT_TRUE(forms[3]->isLoaded() && forms[4]->isLoaded());
}

// A page smaller than a segmenter block: the segmenter leaves the made mask alone, which must then read
// all background, the same page as with a caller's all-background mask, whatever the memory held.
TEST(DjVuEncoder, PageSmallerThanABlockHasNoForeground)
{
    const NetpbmImage page(12, 10, 3); // all black
    const std::vector<uint8_t> background(12 * 10, 255);
    Bytes expected;
    for (const std::vector<uint8_t>* mask : {&background, static_cast<const std::vector<uint8_t>*>(nullptr),
                                             static_cast<const std::vector<uint8_t>*>(nullptr)}) {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
        AutoPtr<Chunk> form;
        encode(*encoder, form, page, DjVuEncoder::emCompound, mask);
        encoder->flush();
        EXPECT_EQ("INFO Sjbz FG44 " + kBG, chunkIds(*form));
        if (mask)
            expected = formBytes(*form);
        else
            EXPECT_EQ(expected, formBytes(*form));
    }
}

struct Refusal {
    const char* name;
    int code;
    std::function<void(DjVuEncoder&, AutoPtr<Chunk>&, const NetpbmImage&, DjVuEncoder::Params&)> call;
};

void encodeWith(DjVuEncoder& e, AutoPtr<Chunk>& out, const NetpbmImage& p, const DjVuEncoder::Params& params,
                Photometric photometric = phRGB, int32_t stride = 0, uint32_t width = 0, uint32_t height = 0,
                uint32_t dpi = 300, const void* mask = nullptr, int32_t maskStride = 0, uint32_t maskType = 0)
{
    e.encodePage(out, p.pixels.data(), stride ? stride : int32_t(p.width * 3), photometric, width ? width : p.width,
                 height ? height : p.height, dpi, &params, mask, maskStride, maskType);
}

// Pages the encoder refuses before touching the group: the page after a refused one still gets its own
// shapes, and the form of the refused one stays as the caller had it.
TEST(DjVuEncoder, RefusedPagesLeaveTheGroupAligned)
{
    const uint8_t mask[4] = {};
    const Refusal refusals[] = {
        {"fgSubsample 13", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { q.fgSubsample = 13; encodeWith(e, o, p, q); }},
        {"fgSubsample 0", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { q.fgSubsample = 0; encodeWith(e, o, p, q); }},
        {"bgSubsample 13", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { q.bgSubsample = 13; encodeWith(e, o, p, q); }},
        {"quality 101", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { q.bgParams.quality = 101; encodeWith(e, o, p, q); }},
        {"block size 0", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { q.segmenterParams.blockSize = 0; encodeWith(e, o, p, q); }},
        {"photometric 4", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, Photometric(4)); }},
        {"short stride", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phRGB, int32_t(p.width * 3 - 1)); }},
        {"short negative stride", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phRGB, -int32_t(p.width)); }},
        {"width 65536", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phGray, 65536, 65536, 1); }},
        {"height 0", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { e.encodePage(o, p.pixels.data(), int32_t(p.width * 3), phRGB, p.width, 0, 300, &q, nullptr, 0, 0); }},
        {"dpi 65536", errInvalidParam, [](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phRGB, 0, 0, 0, 65536); }},
        {"mask step 0", errInvalidParam, [&](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phRGB, 0, 0, 0, 300, mask, 0, 1); }},
        {"mask step short", errInvalidParam, [&](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phRGB, 0, 0, 0, 300, mask, 11, 1); }},
        {"mask type 2", errInvalidParam, [&](auto& e, auto& o, auto& p, auto& q) { encodeWith(e, o, p, q, phRGB, 0, 0, 0, 300, mask, 96, 2); }},
    };
    const NetpbmImage left = drawPage(96, 64, 1, true), right = drawPage(96, 64, 2);
    for (const Refusal& r : refusals) {
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
        AutoPtr<Chunk> a, refused, b, alone;
        encode(*encoder, a, left, DjVuEncoder::emCompoundBoth);
        DjVuEncoder::Params params(DjVuEncoder::emCompoundBoth);
        MvxTest::expectThrow([&] { r.call(*encoder, refused, right, params); }, r.code);
        EXPECT_FALSE(refused) << r.name;
        encode(*encoder, b, right, DjVuEncoder::emCompoundBoth);
        encoder->flush();
        // The same page in a group of its own as the reference of what b must hold.
        AutoPtr<DjVuEncoder> reference = DjVuEncoder::create(1, 20, nullptr);
        AutoPtr<Chunk> refA, refB;
        encode(*reference, refA, left, DjVuEncoder::emCompoundBoth);
        encode(*reference, refB, right, DjVuEncoder::emCompoundBoth);
        reference->flush();
        EXPECT_EQ(formBytes(*refB), formBytes(*b)) << r.name;
        EXPECT_EQ(formBytes(*refA), formBytes(*a)) << r.name;
    }
}

TEST(DjVuEncoder, NullProfileIsRefused)
{
    MvxTest::expectThrow([] { DjVuEncoder::create(nullptr); }, errInvalidParam, "Profile could not be NULL!");
}

// A JB2 encoder whose page streams cannot be written, as when memory runs out during the flush.
class FailingJB2Encoder : public JB2::JB2Encoder {
public:
    static AutoPtr<JB2Encoder> create(const Params* inParams)
    {
        AutoPtr<FailingJB2Encoder> e(new FailingJB2Encoder);
        e->m_inner = JB2Encoder::create(inParams);
        return AutoPtr<JB2Encoder>(e);
    }
    void addPage(const uint8_t* m, int32_t ms, uint32_t mt, uint32_t w, uint32_t h, const uint8_t* c, int32_t cs,
                 Photometric ph, const Params* p) override
    {
        m_inner->addPage(m, ms, mt, w, h, c, cs, ph, p);
    }
    bool isDjbzEmpty() override { return m_inner->isDjbzEmpty(); }
    void encodeDjbz(const AutoPtr<Stream>& s) override { m_inner->encodeDjbz(s); }
    void createDjbzChunk(AutoPtr<Chunk>& c) override { m_inner->createDjbzChunk(c); }
    uint32_t getPageCount() const override { return m_inner->getPageCount(); }
    bool isSjbzEmpty(uint32_t i) override { return m_inner->isSjbzEmpty(i); }
    void encodeSjbz(uint32_t, const AutoPtr<Stream>&) override
    {
        MVX_THROW(errWriteFailed, "No room for the page stream", "FailingJB2Encoder::encodeSjbz");
    }
    void createSjbzChunk(AutoPtr<Chunk>& c, uint32_t i) override { m_inner->createSjbzChunk(c, i); }
    bool isFGbzEmpty(uint32_t i) override { return m_inner->isFGbzEmpty(i); }
    void encodeFGbz(uint32_t i, const AutoPtr<Stream>& s) override { m_inner->encodeFGbz(i, s); }
    void createFGbzChunk(AutoPtr<Chunk>& c, uint32_t i) override { m_inner->createFGbzChunk(c, i); }

private:
    AutoPtr<JB2Encoder> m_inner;
};

TEST(DjVuEncoder, FlushFailureReachesTheCallerButNotTheDestructor)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    AutoPtr<Chunk> form;
    {
        AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 20, nullptr, &FailingJB2Encoder::create));
        encode(*encoder, form, page, DjVuEncoder::emCompound);
        MvxTest::expectThrow([&] { encoder->flush(); }, errWriteFailed, "No room for the page stream");
    } // the destructor's flush fails again and must not end the process
    {
        AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 20, nullptr, &FailingJB2Encoder::create));
        encode(*encoder, form, page, DjVuEncoder::emCompound);
    }
    EXPECT_FALSE(form->getChildren()[form->find("Sjbz", Chunk::notFound, false)]->isLoaded());
}

} // namespace
