// The page encoder on small drawn pages: the chunks of each mode, the page groups around shared
// dictionaries, the mode guess, and the pages it refuses.
#include "djv_djvuencoderimpl.h"
#include "encoder_test_support.h"
#include "mvx_exception.h"
#include "test_heap.h"
#include "test_support.h"

#include <functional>
#include <new>

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

// How pages make groups: each page's JB2 chunks get their bytes when the page that closes its group
// comes (or at the flush, or at once without a shared dictionary), and the pages of a group share one
// dictionary chunk. Pages: B mode 5, C mode 0, P a photo, L mode 5 asking for lossless JB2 parameters;
// a group holds up to pagesPerDictionary pages (0: one), or as many as stay under the shape budget, all
// with the same JB2 parameters.
TEST(DjVuEncoder, PageGroups)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    const std::vector<uint8_t> mask = darkMask(page);
    uint64_t perPage = 0;
    {
        AutoPtr<JB2::JB2Encoder> probe = JB2::JB2Encoder::create(nullptr);
        probe->addPage(mask.data(), 96, mtBytes, 96, 64, page.pixels.data(), 96 * 3, phRGB, nullptr);
        perPage = probe->getShapeBytes();
    }
    ASSERT_GT(perPage, 0u);
    const std::string both = "INFO Djbz Sjbz FGbz FG44 " + kBG, compound = "INFO Djbz Sjbz FG44 " + kBG;
    const std::string photo = "INFO " + kBG;
    const auto run = [](uint32_t inFirst, uint32_t inLast, uint32_t inBy) {
        return std::vector<uint32_t>(inLast - inFirst + 1, inBy);
    };
    const auto join = [](std::initializer_list<std::vector<uint32_t>> inRuns) {
        std::vector<uint32_t> all;
        for (const std::vector<uint32_t>& r : inRuns)
            all.insert(all.end(), r.begin(), r.end());
        return all;
    };
    std::vector<uint32_t> itself(3);
    for (uint32_t i = 0; i < 3; ++i)
        itself[i] = i + 1;
    struct Case {
        const char* what;
        uint32_t shared, perGroup;
        uint64_t budgetPages; // the shape budget in pages' worth; 0 for the encoder's own
        std::string pages;
        std::vector<uint32_t> completedBy; // per page, the page whose arrival completes it; 0: the flush
        std::vector<std::string> ids;      // per page kind, B C P
    } cases[] = {
        {"groups of twenty", 1, 20, 0, std::string(45, 'B'), join({run(1, 20, 21), run(21, 40, 41), run(41, 45, 0)}),
         {both}},
        {"no shared dictionary", 0, 20, 0, "BBB", itself, {"INFO Sjbz FGbz FG44 " + kBG}},
        // Alone in its group a page shares no shape: none keeps a dictionary reference.
        {"group size 0", 1, 0, 0, "CC", {2, 0}, {"", "INFO Sjbz FG44 " + kBG}},
        // The photo closes the full group and takes no place in the next one.
        {"a photo closes a group", 1, 2, 0, "CCPCC", {3, 3, 3, 0, 0}, {"", compound, photo}},
        {"shape budget", 1, 20, 2, "BBBBBB", {3, 3, 5, 5, 0, 0}, {both}},
        {"one group for every page", 1, 0xFFFFFFFFu, 0, "BBBB", {0, 0, 0, 0}, {both}},
        {"groups of up to 2^31 - 1 pages", 1, 0x7FFFFFFFu, 0, "BBB", {0, 0, 0}, {both}},
        // The photo asks for nothing of the JB2 encoder: it does not end the lossless group.
        {"other JB2 parameters", 1, 20, 0, "BBLPLBB", {3, 3, 6, 4, 6, 0, 0}, {both, "", photo, both}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(c.shared, c.perGroup, nullptr, &JB2::JB2Encoder::create,
                                                         c.budgetPages ? c.budgetPages * perPage
                                                                       : DjVuEncoderImpl::kGroupShapeBudget));
        const uint32_t n = uint32_t(c.pages.size());
        std::vector<AutoPtr<Chunk>> forms(n);
        for (uint32_t i = 0; i < n; ++i) {
            const char kind = c.pages[i];
            DjVuEncoder::Params params(kind == 'C'   ? DjVuEncoder::emCompound
                                       : kind == 'P' ? DjVuEncoder::emPhoto
                                                     : DjVuEncoder::emCompoundBoth);
            if (kind == 'L')
                params.jb2Params.secondCompare = 0;
            encoder->encodePage(forms[i], page.pixels.data(), 96 * 3, phRGB, 96, 64, 300, &params, mask.data(), 96,
                                mtBytes);
            for (uint32_t j = 0; j <= i; ++j) {
                const bool complete = c.completedBy[j] != 0 && c.completedBy[j] <= i + 1;
                EXPECT_EQ(complete, forms[j]->isLoaded()) << "page " << j + 1 << " after page " << i + 1;
            }
        }
        encoder->flush();
        for (uint32_t i = 0; i < n; ++i) {
            const size_t kind = c.ids.size() == 1 ? 0 : size_t(std::string("BCPL").find(c.pages[i]));
            EXPECT_EQ(c.ids[kind], chunkIds(*forms[i])) << "page " << i + 1;
            EXPECT_TRUE(forms[i]->isLoaded()) << "page " << i + 1;
        }
        // The pages that kept a dictionary share it with their group, and with no other.
        const auto dictionaryOf = [&](uint32_t i) -> const Chunk* {
            const AutoPtr<Chunk>& child = forms[i]->getChildren()[1];
            return child->isRedirector() ? static_cast<ChunkRedirector&>(*child).getTarget().get() : nullptr;
        };
        for (uint32_t i = 0; i < n; ++i)
            for (uint32_t j = 0; j < i; ++j)
                if (dictionaryOf(i) && dictionaryOf(j)) {
                    EXPECT_EQ(c.completedBy[i] == c.completedBy[j], dictionaryOf(i) == dictionaryOf(j))
                        << "pages " << j + 1 << " and " << i + 1;
                }
    }
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
// shapes, and the refused one's form is null, whatever the caller's variable held.
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
        AutoPtr<Chunk> a, b;
        encode(*encoder, a, left, DjVuEncoder::emCompoundBoth);
        AutoPtr<Chunk> refused = a;
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

// A placeholder read before its group is flushed has its JB2 encoder build its dictionary, after which
// that encoder takes no page: the next page starts a new group, and every page keeps its own shapes.
TEST(DjVuEncoder, EarlyPlaceholderReadStartsANewGroup)
{
    const NetpbmImage first = drawPage(96, 64, 1), second = drawPage(96, 64, 2), third = drawPage(96, 64, 3);
    struct Case {
        const char* chunk;
        uint32_t child; // of the first page: INFO, the dictionary's redirector, Sjbz, FGbz
        std::string readGroup; // the chunks of the pages of the group that was read early
    } cases[] = {
        // The dictionary read first is the shared one; a page's chunk read first has each page classified
        // on its own, so that the group shares nothing.
        {"Djbz", 1, "INFO Djbz Sjbz FGbz FG44 " + kBG},
        {"Sjbz", 2, "INFO Sjbz FGbz FG44 " + kBG},
        {"FGbz", 3, "INFO Sjbz FGbz FG44 " + kBG},
    };
    // The new group must hold what a group of the third page twice holds.
    std::vector<AutoPtr<Chunk>> expected(2);
    {
        AutoPtr<DjVuEncoder> reference = DjVuEncoder::create(1, 20, nullptr);
        for (AutoPtr<Chunk>& form : expected)
            encode(*reference, form, third, DjVuEncoder::emCompoundBoth);
        reference->flush();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk);
        AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
        std::vector<AutoPtr<Chunk>> forms(4);
        encode(*encoder, forms[0], first, DjVuEncoder::emCompoundBoth);
        encode(*encoder, forms[1], second, DjVuEncoder::emCompoundBoth);
        const AutoPtr<Chunk> early = forms[0]->getChildren()[c.child];
        ASSERT_EQ(c.chunk, std::string(early->getId().c_str()));
        const AutoPtr<Data> earlyData = early->getData();
        ASSERT_TRUE(earlyData);
        ASSERT_NO_THROW(encode(*encoder, forms[2], third, DjVuEncoder::emCompoundBoth));
        EXPECT_TRUE(forms[0]->isLoaded() && forms[1]->isLoaded()) << "the group read early ends with the next page";
        EXPECT_FALSE(forms[2]->isLoaded());
        ASSERT_NO_THROW(encode(*encoder, forms[3], third, DjVuEncoder::emCompoundBoth));
        encoder->flush();
        EXPECT_EQ(earlyData.get(), early->getData().get()) << "the early bytes stay";
        EXPECT_EQ(c.readGroup, chunkIds(*forms[0]));
        EXPECT_EQ(c.readGroup, chunkIds(*forms[1]));
        for (uint32_t i = 0; i < 2; ++i) {
            EXPECT_TRUE(forms[i + 2]->isLoaded());
            EXPECT_EQ(formBytes(*expected[i]), formBytes(*forms[i + 2])) << "page " << i + 3;
        }
    }
}

TEST(DjVuEncoder, NullProfileIsRefused)
{
    MvxTest::expectThrow([] { DjVuEncoder::create(nullptr); }, errInvalidParam, "Profile could not be NULL!");
}

// A JB2 encoder of which some groups' dictionary or one of their page streams cannot be written, as when
// memory runs out during the flush; the other groups work.
class FailingJB2Encoder : public JB2::JB2Encoder {
public:
    static const uint32_t kDictionary = 0xFFFFFFFFu;
    static const uint32_t kNone = 0xFFFFFFFEu;
    static const uint32_t kAdding = 0xFFFFFFFDu; // the first page handed to the group
    // Entry g of inFailing is what fails in the g-th group made from now on: a page index, kDictionary,
    // kAdding or kNone; the groups after those work. With inOutOfMemory the failure is the run-time's
    // std::bad_alloc.
    static void failGroupsAt(const std::vector<uint32_t>& inFailing, bool inOutOfMemory = false)
    {
        s_failing = inFailing;
        s_outOfMemory = inOutOfMemory;
        s_groups = 0;
    }
    static void failFirstGroupAt(uint32_t inWhat) { failGroupsAt({inWhat}); }
    static AutoPtr<JB2Encoder> create(const Params* inParams)
    {
        AutoPtr<FailingJB2Encoder> e(new FailingJB2Encoder);
        e->m_inner = JB2Encoder::create(inParams);
        e->m_failing = s_groups < s_failing.size() ? s_failing[s_groups] : kNone;
        ++s_groups;
        return AutoPtr<JB2Encoder>(e);
    }
    void addPage(const uint8_t* m, int32_t ms, uint32_t mt, uint32_t w, uint32_t h, const uint8_t* c, int32_t cs,
                 Photometric ph, const Params* p) override
    {
        if (m_failing == kAdding) {
            m_failing = kNone;
            MVX_THROW(errWriteFailed, "No room for the page's shapes", "FailingJB2Encoder");
        }
        m_inner->addPage(m, ms, mt, w, h, c, cs, ph, p);
    }
    bool isDjbzEmpty() override
    {
        failAt(kDictionary);
        return m_inner->isDjbzEmpty();
    }
    void encodeDjbz(const AutoPtr<Stream>& s) override { m_inner->encodeDjbz(s); }
    void createDjbzChunk(AutoPtr<Chunk>& c) override { m_inner->createDjbzChunk(c); }
    uint32_t getPageCount() const override { return m_inner->getPageCount(); }
    uint64_t getShapeBytes() const override { return m_inner->getShapeBytes(); }
    bool isSjbzEmpty(uint32_t i) override { return m_inner->isSjbzEmpty(i); }
    void encodeSjbz(uint32_t i, const AutoPtr<Stream>& s) override
    {
        failAt(i);
        m_inner->encodeSjbz(i, s);
    }
    void createSjbzChunk(AutoPtr<Chunk>& c, uint32_t i) override { m_inner->createSjbzChunk(c, i); }
    bool isFGbzEmpty(uint32_t i) override { return m_inner->isFGbzEmpty(i); }
    void encodeFGbz(uint32_t i, const AutoPtr<Stream>& s) override { m_inner->encodeFGbz(i, s); }
    void createFGbzChunk(AutoPtr<Chunk>& c, uint32_t i) override { m_inner->createFGbzChunk(c, i); }

private:
    void failAt(uint32_t inWhat) const
    {
        if (inWhat != m_failing)
            return;
        if (s_outOfMemory)
            throw std::bad_alloc();
        MVX_THROW(errWriteFailed, "No room for the JB2 data", "FailingJB2Encoder");
    }
    static std::vector<uint32_t> s_failing;
    static bool s_outOfMemory;
    static size_t s_groups;
    AutoPtr<JB2Encoder> m_inner;
    uint32_t m_failing = kNone;
};

std::vector<uint32_t> FailingJB2Encoder::s_failing;
bool FailingJB2Encoder::s_outOfMemory = false;
size_t FailingJB2Encoder::s_groups = 0;

// A group whose JB2 data cannot be made ends all the same: its pages that cannot have their JB2 chunks
// lose them, the caller is told which (running out of memory as the library's errOutOfMemory), and the
// next group works, whether the failed flush is the caller's or the one a full group's next page makes.
// That page did nothing wrong: it is made, into the next group, and only the lost pages are named.
TEST(DjVuEncoder, FailedFlushDropsTheGroupAndTheNextOneEncodes)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    const uint32_t kDictionary = FailingJB2Encoder::kDictionary;
    struct Case {
        const char* what;
        std::vector<uint32_t> failing; // per group, as FailingJB2Encoder takes it
        bool outOfMemory;
        bool byNextPage; // the flush is the one the fourth page makes, not the caller's
        std::vector<bool> lost;
        const char* pages;
    } cases[] = {
        {"second page stream", {1}, false, false, {false, true, false}, "pages 2 "},
        {"second page stream, at the next page", {1}, false, true, {false, true, false}, "pages 2 "},
        {"dictionary", {kDictionary}, false, false, {true, true, true}, "pages 1-3 "},
        {"dictionary, at the next page", {kDictionary}, false, true, {true, true, true}, "pages 1-3 "},
        {"out of memory in the second page stream", {1}, true, false, {false, true, false}, "pages 2 "},
        {"out of memory in the dictionary, at the next page", {kDictionary}, true, true, {true, true, true},
         "pages 1-3 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FailingJB2Encoder::failGroupsAt(c.failing, c.outOfMemory);
        AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 3, nullptr, &FailingJB2Encoder::create));
        std::vector<AutoPtr<Chunk>> forms(5);
        for (uint32_t i = 0; i < 3; ++i)
            encode(*encoder, forms[i], page, DjVuEncoder::emCompoundBoth);
        const auto failingFlush = [&] {
            if (c.byNextPage)
                encode(*encoder, forms[3], page, DjVuEncoder::emCompoundBoth);
            else
                encoder->flush();
        };
        try {
            failingFlush();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            const std::string message = e.getMessage().c_str();
            EXPECT_EQ(c.outOfMemory ? errOutOfMemory : errWriteFailed, e.getCode());
            EXPECT_NE(std::string::npos, message.find(c.pages)) << message;
            EXPECT_NE(std::string::npos, message.find(c.outOfMemory ? "Out of memory!" : "No room for the JB2 data"))
                << message;
        }
        EXPECT_EQ(c.byNextPage, bool(forms[3])) << "the page that came when the group failed is made";
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(c.lost[i] ? "INFO FG44 " + kBG : "INFO Djbz Sjbz FGbz FG44 " + kBG, chunkIds(*forms[i])) << i;
            EXPECT_TRUE(forms[i]->isLoaded()) << i;
        }
        if (!c.byNextPage) {
            encoder->flush(); // the failed group has ended: nothing to do
            encode(*encoder, forms[3], page, DjVuEncoder::emCompoundBoth);
        }
        encode(*encoder, forms[4], page, DjVuEncoder::emCompoundBoth);
        encoder->flush();
        for (uint32_t i = 3; i < 5; ++i) {
            ASSERT_TRUE(forms[i]);
            ASSERT_EQ("INFO Djbz Sjbz FGbz FG44 " + kBG, chunkIds(*forms[i])) << i;
            EXPECT_TRUE(forms[i]->isLoaded()) << i;
        }
        const auto dictionaryOf = [&](uint32_t i) {
            return static_cast<ChunkRedirector&>(*forms[i]->getChildren()[1]).getTarget().get();
        };
        EXPECT_EQ(dictionaryOf(3), dictionaryOf(4)) << "one group";
    }
}

// A page that fails after the group it ended failed is not made, and its own failure comes first in the
// exception, with the lost pages of the group after it; the next page encodes.
TEST(DjVuEncoder, PageFailingAfterItsGroupNamesBothFailures)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    FailingJB2Encoder::failGroupsAt({0, FailingJB2Encoder::kAdding});
    AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 1, nullptr, &FailingJB2Encoder::create));
    std::vector<AutoPtr<Chunk>> forms(3);
    encode(*encoder, forms[0], page, DjVuEncoder::emCompoundBoth);
    forms[1] = forms[0];
    try {
        encode(*encoder, forms[1], page, DjVuEncoder::emCompoundBoth);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(errWriteFailed, e.getCode());
        const std::string message = e.getMessage().c_str();
        const size_t own = message.find("No room for the page's shapes"), group = message.find("pages 1 ");
        EXPECT_NE(std::string::npos, own) << message;
        EXPECT_NE(std::string::npos, group) << message;
        EXPECT_LT(own, group) << message;
        EXPECT_NE(std::string::npos, message.find("No room for the JB2 data")) << message;
    }
    EXPECT_FALSE(forms[1]);
    EXPECT_EQ("INFO FG44 " + kBG, chunkIds(*forms[0]));
    encode(*encoder, forms[2], page, DjVuEncoder::emCompoundBoth);
    encoder->flush();
    EXPECT_EQ("INFO Sjbz FGbz FG44 " + kBG, chunkIds(*forms[2]));
    EXPECT_TRUE(forms[2]->isLoaded());
}

// Without a shared dictionary a page's flush is part of its encoding: a page whose JB2 data cannot be
// made is not handed out and not counted, so that the pages after it are numbered as the caller has them.
TEST(DjVuEncoder, FailedPageWithoutSharedDictionaryIsNotMade)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    FailingJB2Encoder::failGroupsAt({0, FailingJB2Encoder::kNone, 0});
    AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(0, 20, nullptr, &FailingJB2Encoder::create));
    std::vector<AutoPtr<Chunk>> forms(3);
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        if (i == 1) {
            encode(*encoder, forms[i], page, DjVuEncoder::emCompoundBoth);
            ASSERT_TRUE(forms[i]);
            EXPECT_EQ("INFO Sjbz FGbz FG44 " + kBG, chunkIds(*forms[i]));
            EXPECT_TRUE(forms[i]->isLoaded());
            continue;
        }
        try {
            encode(*encoder, forms[i], page, DjVuEncoder::emCompoundBoth);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(errWriteFailed, e.getCode());
            const std::string message = e.getMessage().c_str();
            EXPECT_NE(std::string::npos, message.find(i == 0 ? "pages 1 " : "pages 2 ")) << message;
        }
        EXPECT_FALSE(forms[i]);
    }
}

// Memory that runs out anywhere in a group's end, or where the next group is made, leaves an encoder that
// works: the call that ran out fails with an exception, and the pages after it are made and written,
// whichever classification they ask for.
TEST(DjVuEncoder, RunningOutOfMemoryBetweenGroupsLeavesTheEncoderWorking)
{
    const NetpbmImage page = drawPage(48, 40, 1);
    const std::vector<uint8_t> mask = darkMask(page);
    DjVuEncoder::Params lossy(DjVuEncoder::emBitonal), lossless(DjVuEncoder::emBitonal);
    lossless.jb2Params.matchThreshold = 0;
    lossless.jb2Params.secondCompare = 0;
    const auto encodeAs = [&](DjVuEncoder& ioEncoder, AutoPtr<Chunk>& outForm, const DjVuEncoder::Params& inParams) {
        ioEncoder.encodePage(outForm, page.pixels.data(), int32_t(page.width * 3), phRGB, page.width, page.height,
                             300, &inParams, mask.data(), int32_t(page.width), mtBytes);
    };
    // The pages after the failure first ask for the classification the failed call left, then for the other.
    const struct {
        const char* what;
        std::function<void(DjVuEncoder&, AutoPtr<Chunk>&)> endGroup;
        const DjVuEncoder::Params& then;
        const DjVuEncoder::Params& other;
    } cases[] = {
        {"the caller's flush", [](DjVuEncoder& ioEncoder, AutoPtr<Chunk>&) { ioEncoder.flush(); }, lossy, lossless},
        {"a page asking for another classification",
         [&](DjVuEncoder& ioEncoder, AutoPtr<Chunk>& outForm) { encodeAs(ioEncoder, outForm, lossless); }, lossless,
         lossy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t failures = 0;
        for (uint64_t n = 0;; ++n) {
            SCOPED_TRACE(n);
            AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
            std::vector<AutoPtr<Chunk>> forms(4);
            encodeAs(*encoder, forms[0], lossy);
            bool failed = false;
            try {
                // The n-th allocation, the library's or the run-time's, finds no memory.
                const MvxTest::TestHeap::Scope failing({UINT64_MAX, UINT64_MAX, n, true});
                c.endGroup(*encoder, forms[1]);
            } catch (const Exception&) {
                failed = true;
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            encodeAs(*encoder, forms[2], c.then);
            encodeAs(*encoder, forms[3], c.other);
            encoder->flush();
            for (uint32_t i = 2; i < 4; ++i) {
                ASSERT_TRUE(forms[i]);
                const std::string ids = chunkIds(*forms[i]); // a page that joined the first one shares its glyphs
                EXPECT_TRUE(ids == "INFO Sjbz" || ids == "INFO Djbz Sjbz") << i << ": " << ids;
                EXPECT_TRUE(forms[i]->isLoaded()) << i;
            }
            if (!failed)
                break;
            ++failures;
            if (HasFailure())
                return;
        }
        EXPECT_GT(failures, 20u);
    }
}

TEST(DjVuEncoder, FlushFailureReachesTheCallerButNotTheDestructor)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    AutoPtr<Chunk> form;
    {
        FailingJB2Encoder::failFirstGroupAt(0);
        AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 20, nullptr, &FailingJB2Encoder::create));
        encode(*encoder, form, page, DjVuEncoder::emCompound);
        MvxTest::expectThrow([&] { encoder->flush(); }, errWriteFailed);
    }
    {
        FailingJB2Encoder::failFirstGroupAt(0);
        AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 20, nullptr, &FailingJB2Encoder::create));
        encode(*encoder, form, page, DjVuEncoder::emCompound);
    } // the destructor's flush fails and must not end the process
    EXPECT_EQ(Chunk::notFound, form->find("Sjbz", Chunk::notFound, false));
}

// A caller that will write none of a group's pages drops the group: none of its JB2 data is made (this
// group's dictionary would fail were it asked for), its pages are left as a failed group's, and the next
// page starts a group of its own that is written as usual.
TEST(DjVuEncoder, ADiscardedGroupIsNotEncoded)
{
    const NetpbmImage page = drawPage(96, 64, 1);
    FailingJB2Encoder::failGroupsAt({FailingJB2Encoder::kDictionary});
    AutoPtr<DjVuEncoder> encoder(new DjVuEncoderImpl(1, 20, nullptr, &FailingJB2Encoder::create));
    std::vector<AutoPtr<Chunk>> forms(3);
    for (uint32_t i = 0; i < 2; ++i)
        encode(*encoder, forms[i], page, DjVuEncoder::emCompoundBoth);
    encoder->discardGroup();
    encoder->flush(); // nothing left to write
    encoder->discardGroup();
    for (uint32_t i = 0; i < 2; ++i)
        EXPECT_EQ("INFO FG44 " + kBG, chunkIds(*forms[i])) << i;
    encode(*encoder, forms[2], page, DjVuEncoder::emCompoundBoth);
    encoder->flush();
    EXPECT_EQ("INFO Sjbz FGbz FG44 " + kBG, chunkIds(*forms[2]));
    EXPECT_TRUE(forms[2]->isLoaded());
}

} // namespace
