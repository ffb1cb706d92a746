// The page encoder: one "DJVU" form per page, the JB2 parts of a group of pages coded together around
// one shared dictionary when the group is flushed.
#include "djv_djvuencoderimpl.h"

#include "djv_imageutils.h"
#include "mvx_exception.h"
#include "mvx_simplearray.h"

#include <cstring>
#include <exception>
#include <new>
#include <vector>

#define MVX_SOURCE "djv_djvuencoder"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::IW44;
using namespace Morvenix::DjVu::JB2;

namespace {

// INFO of a page: width and height big-endian, minor and major version, dpi little-endian, gamma, and
// flags 1 (upright, as other DjVu writers mark it).
AutoPtr<Chunk> makeInfoChunk(uint32_t inWidth, uint32_t inHeight, uint32_t inDpi)
{
    const uint8_t info[10] = {uint8_t(inWidth >> 8), uint8_t(inWidth),  uint8_t(inHeight >> 8), uint8_t(inHeight),
                              25,                    0,                 uint8_t(inDpi),         uint8_t(inDpi >> 8),
                              22,                    1};
    return Chunk::createFromBytes("INFO", info, sizeof info);
}

// A buffer the page needs; one array cannot hold 2 GB or more, so larger ones are refused before the
// product can wrap.
uint32_t bufferSize(uint64_t inRowBytes, uint32_t inRows)
{
    const uint64_t size = inRowBytes * inRows;
    if (size >= 0x80000000u)
        MVX_THROW(errInvalidParam, "The page is too large for its buffers!", "Morvenix::DjVu::DjVuEncoder::encodePage");
    return uint32_t(size);
}

void appendLayer(Chunk::Children& ioChildren, IW44Encoder& ioEncoder)
{
    for (;;) {
        AutoPtr<Chunk> chunk;
        ioEncoder.encodeChunk(chunk);
        if (!chunk)
            return;
        ioChildren.append(chunk);
    }
}

// A subsampled colour layer: its pixels, and the IW44 encoder that will read them. The encoder is made
// before the pixels are filled so that its parameters are checked before the page joins the group.
struct Layer {
    uint32_t width = 0, height = 0, rowBytes = 0;
    SimpleArray<uint8_t, 2> pixels;
    AutoPtr<IW44Encoder> encoder;

    void prepare(uint32_t inWidth, uint32_t inHeight, uint32_t inSubsample, Photometric inPhotometric,
                 uint32_t inBytesPerPixel, const IW44Encoder::Params& inParams)
    {
        ImageUtils::estimateSubsampledSize(&width, &height, inWidth, inHeight, inSubsample);
        rowBytes = width * inBytesPerPixel;
        // Cells that get no pixel stay as filled here: without it they would hold whatever the memory held,
        // and the output would change from run to run.
        const uint32_t size = bufferSize(rowBytes, height);
        pixels.resize(size, int32_t(size));
        Imaging::fillWhite(pixels.data(), int32_t(rowBytes), width, height, inPhotometric);
        encoder = IW44Encoder::create(pixels.data(), int32_t(rowBytes), inPhotometric, width, height, &inParams);
    }
    void release()
    {
        encoder.reset();
        pixels.resize(0, 0);
    }
};

void removeChild(Chunk& ioForm, const Chunk* inChild)
{
    Chunk::Children& children = ioForm.getChildren();
    for (uint32_t i = 0; i < children.count(); ++i) {
        if (children[i].get() == inChild) {
            children.remove(i, 1);
            return;
        }
    }
}

// A page of a group whose JB2 data could not be made keeps what it has without it.
void dropJB2Chunks(Page& ioPage)
{
    ioPage.sjbz->discard();
    removeChild(*ioPage.form, ioPage.sjbz.get());
    if (ioPage.fgbz) {
        ioPage.fgbz->discard();
        removeChild(*ioPage.form, ioPage.fgbz.get());
    }
    if (ioPage.dictionaryRef)
        removeChild(*ioPage.form, ioPage.dictionaryRef.get());
}

// The code and message of a failure: the library's own, or errOutOfMemory for the run-time's memory
// exhaustion; any other failure goes on as it is.
void readFailure(const std::exception_ptr& inFailure, int& outCode, String& outMessage)
{
    try {
        std::rethrow_exception(inFailure);
    } catch (const Exception& e) {
        outCode = e.getCode();
        outMessage = e.getMessage().trimTrailingLineBreaks();
    } catch (const std::bad_alloc&) {
        outCode = errOutOfMemory;
        outMessage = "Out of memory!";
    }
}

// The failure with the pages it cost, as runs such as "3, 5-7".
[[noreturn]] void reportLostPages(const std::exception_ptr& inFailure, const std::vector<uint32_t>& inLost)
{
    int code = 0;
    String cause;
    readFailure(inFailure, code, cause);
    String pages;
    for (size_t i = 0; i < inLost.size();) {
        size_t last = i;
        while (last + 1 < inLost.size() && inLost[last + 1] == inLost[last] + 1)
            ++last;
        if (!pages.isEmpty())
            pages += ", ";
        pages += last == i ? String::format("%u", inLost[i]) : String::format("%u-%u", inLost[i], inLost[last]);
        i = last + 1;
    }
    MVX_THROW(code,
              String::format("The JB2 data of pages %s could not be made; those pages are left without their "
                             "mask: %s",
                             pages.c_str(), cause.c_str()),
              "Morvenix::DjVu::DjVuEncoder::flush");
}

} // namespace

DjVuEncoderImpl::DjVuEncoderImpl(uint32_t inUseSharedDictionary, uint32_t inPagesPerDictionary,
                                 const Params* inParams, JB2Factory inJB2Factory, uint64_t inShapeBudget)
    : m_jb2Factory(inJB2Factory), m_pagesPerDictionary(inPagesPerDictionary),
      m_useSharedDictionary(inUseSharedDictionary), m_defaultParams(emAuto, 12, 75, 3, 75), m_shapeBudget(inShapeBudget)
{
    if (inParams)
        m_defaultParams = *inParams;
    startGroup(makeGroup(m_defaultParams.jb2Params));
}

DjVuEncoderImpl::~DjVuEncoderImpl()
{
    // An exception leaving a destructor ends the process: callers that need the outcome call flush first.
    try {
        flush();
    } catch (...) {
    }
}

DjVuEncoderImpl::Group DjVuEncoderImpl::makeGroup(const JB2Encoder::Params& inJB2Params) const
{
    Group group;
    group.jb2Params = inJB2Params;
    group.jb2Encoder = m_jb2Factory(&group.jb2Params);
    if (m_useSharedDictionary) {
        group.dictionary = AutoPtr<ChunkDjbz>(new ChunkDjbz("Djbz", group.jb2Encoder));
        group.redirector = AutoPtr<Chunk>(ChunkRedirector::create(AutoPtr<Chunk>(group.dictionary)));
    }
    return group;
}

void DjVuEncoderImpl::startGroup(const Group& inGroup) noexcept
{
    // The records grow as pages come: a group may be as large as the whole document (0xFFFFFFFF).
    m_pages.setSize(0);
    m_jb2Encoder = inGroup.jb2Encoder;
    m_groupDictionary = inGroup.dictionary;
    m_dictionaryRedirector = inGroup.redirector;
    m_groupJB2Params = inGroup.jb2Params;
    m_groupDiscarded = false;
}

bool DjVuEncoderImpl::groupIsClosed() const
{
    if (m_groupDiscarded)
        return true;
    if (m_pages.count() >= m_pagesPerDictionary || m_jb2Encoder->getShapeBytes() >= m_shapeBudget)
        return true;
    if (m_groupDictionary && m_groupDictionary->wasAsked())
        return true;
    for (const Page& page : m_pages) {
        if (page.sjbz->wasAsked() || (page.fgbz && page.fgbz->wasAsked()))
            return true;
    }
    return false;
}

void DjVuEncoderImpl::flush()
{
    if (m_pages.count() == 0)
        return;
    if (const std::exception_ptr lostPages = nextGroup(m_groupJB2Params))
        std::rethrow_exception(lostPages);
}

void DjVuEncoderImpl::discardGroup() noexcept
{
    if (m_pages.count() == 0)
        return;
    for (Page& page : m_pages)
        dropJB2Chunks(page);
    if (m_groupDictionary)
        m_groupDictionary->discard();
    m_pages.setSize(0);
    m_groupDiscarded = true;
}

std::exception_ptr DjVuEncoderImpl::nextGroup(const JB2Encoder::Params& inJB2Params)
{
    const Group next = makeGroup(inJB2Params);
    const std::exception_ptr lostPages = m_pages.count() > 0 ? writeGroup() : std::exception_ptr();
    startGroup(next);
    return lostPages;
}

std::exception_ptr DjVuEncoderImpl::writeGroup()
{
    std::vector<uint32_t> lost;
    lost.reserve(m_pages.count());
    // From here on nothing is thrown: whatever fails, the group ends, since kept it would fail every later
    // page and flush the same way.
    std::exception_ptr failure;
    bool hasDictionary = false;
    try {
        if (m_useSharedDictionary && !m_jb2Encoder->isDjbzEmpty()) {
            // The dictionary's bytes come first: building it is what the pages' streams refer to.
            m_groupDictionary->encode();
            hasDictionary = true;
        } else if (m_groupDictionary) {
            m_groupDictionary->discard();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // Without its dictionary no page of the group can be written; otherwise a page that fails is the only
    // one lost.
    const bool dictionaryFailed = bool(failure);
    for (Page& page : m_pages) {
        if (!dictionaryFailed) {
            try {
                if (!hasDictionary && page.dictionaryRef)
                    removeChild(*page.form, page.dictionaryRef.get());
                page.sjbz->encode();
                if (page.hasFGbz)
                    page.fgbz->encode();
                continue;
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
        }
        dropJB2Chunks(page);
        lost.push_back(page.number);
    }
    if (!failure)
        return std::exception_ptr();
    try {
        reportLostPages(failure, lost);
    } catch (...) {
        return std::current_exception();
    }
}

void DjVuEncoderImpl::encodePage(AutoPtr<Chunk>& outForm, const void* inPixels, int32_t inStride,
                                 Photometric inPhotometric, uint32_t inWidth, uint32_t inHeight, uint32_t inDpi,
                                 const Params* inParams, const void* inMask, int32_t inMaskStride,
                                 uint32_t inMaskType)
{
    // The page that ends a group did nothing wrong: it is made all the same, and the group's failure, which
    // names only the pages lost with it, is reported once the page is done. Should the page fail too, the
    // exception gives its own failure first, and the null form tells the caller that it was not made.
    outForm.reset();
    std::exception_ptr lostPages;
    try {
        makePage(outForm, inPixels, inStride, inPhotometric, inWidth, inHeight, inDpi, inParams, inMask,
                 inMaskStride, inMaskType, lostPages);
    } catch (...) {
        if (!lostPages)
            throw;
        int code = 0, lostCode = 0;
        String cause, lost;
        readFailure(std::current_exception(), code, cause);
        readFailure(lostPages, lostCode, lost);
        MVX_THROW(code, String::format("The page could not be made: %s; besides, %s", cause.c_str(), lost.c_str()),
                  "Morvenix::DjVu::DjVuEncoder::encodePage");
    }
    if (lostPages)
        std::rethrow_exception(lostPages);
}

void DjVuEncoderImpl::makePage(AutoPtr<Chunk>& outForm, const void* inPixels, int32_t inStride,
                               Photometric inPhotometric, uint32_t inWidth, uint32_t inHeight, uint32_t inDpi,
                               const Params* inParams, const void* inMask, int32_t inMaskStride, uint32_t inMaskType,
                               std::exception_ptr& outLostPages)
{
    static const char* const kFunction = "Morvenix::DjVu::DjVuEncoder::encodePage";
    // The caller's block and the encoder's own stay as they are: the mode guess writes into this copy.
    Params params(inParams ? *inParams : m_defaultParams);
    checkPage(inPixels, inStride, inPhotometric, inWidth, inHeight, inDpi, inMask, inMaskStride, inMaskType);
    const uint8_t* pixels = static_cast<const uint8_t*>(inPixels);
    const uint8_t* mask = static_cast<const uint8_t*>(inMask);
    if (params.mode == emAuto)
        guessEncodeMode(pixels, inStride, inPhotometric, inWidth, inHeight, &params.mode, mask, inMaskStride,
                        inMaskType);
    const uint32_t mode = params.mode;
    const bool hasFG44 = mode == emCompound || mode == emCompoundBoth;
    const bool hasFGbz = mode == emCompoundPalette || mode == emCompoundBoth;
    const uint32_t bytes = knownPixelBytes(inPhotometric, kFunction);

    AutoPtr<ChunkCollection> form = ChunkCollection::create("DJVU");
    Chunk::Children& children = form->getChildren();
    children.append(makeInfoChunk(inWidth, inHeight, inDpi));

    if (mode == emPhoto) {
        AutoPtr<IW44Encoder> photo = IW44Encoder::create(pixels, inStride, inPhotometric, inWidth, inHeight,
                                                         &params.bgParams);
        // A photo page still closes a full group, though it takes no place in the next one.
        if (groupIsClosed())
            outLostPages = nextGroup(m_groupJB2Params);
        appendLayer(children, *photo);
        outForm = form;
        ++m_pagesMade;
        return;
    }

    // The made mask starts as background everywhere: the segmenter leaves pages smaller than one block,
    // and what it does not reach, untouched.
    SimpleArray<uint8_t, 2> madeMask;
    uint32_t maskType = inMaskType;
    int32_t maskStride = inMaskStride;
    if (!mask) {
        maskType = mtBits;
        maskStride = int32_t((inWidth + 7) / 8);
        const uint32_t size = bufferSize(uint32_t(maskStride), inHeight);
        madeMask.resize(size, int32_t(size));
        std::memset(madeMask.data(), 0xFF, madeMask.count());
        if (mode == emBitonal)
            ImageUtils::packAnyToBits(inWidth, inHeight, inStride, pixels, inPhotometric, maskStride, madeMask.data());
        else
            Segmenter::segment(madeMask.data(), maskStride, mtBits, inWidth, inHeight, pixels, inStride, inPhotometric,
                               &params.segmenterParams);
        mask = madeMask.data();
    }

    // Every parameter of the layers is checked here, before the page joins the group: a failure after
    // that would leave a page in the JB2 encoder that no placeholder stands for.
    Layer foreground, background;
    if (hasFG44)
        foreground.prepare(inWidth, inHeight, params.fgSubsample, inPhotometric, bytes, params.fgParams);
    if (mode != emBitonal)
        background.prepare(inWidth, inHeight, params.bgSubsample, inPhotometric, bytes, params.bgParams);

    // The shapes of a group are classified together: a page that asks for another classification starts
    // a group of its own.
    const bool otherJB2Params = !m_groupJB2Params.sameClassification(params.jb2Params);
    if (groupIsClosed() || otherJB2Params)
        outLostPages = nextGroup(otherJB2Params ? params.jb2Params : m_groupJB2Params);
    // The JB2 encoder's own count, not the records': they stay aligned even if a page failed after this.
    const uint32_t pageIndex = m_jb2Encoder->getPageCount();
    m_jb2Encoder->addPage(mask, maskStride, maskType, inWidth, inHeight, hasFGbz ? pixels : nullptr,
                          hasFGbz ? inStride : 0, hasFGbz ? inPhotometric : Photometric(0), &params.jb2Params);
    Page page;
    page.number = m_pagesMade + 1;
    page.hasFGbz = hasFGbz;
    page.form = form;
    if (m_useSharedDictionary) {
        children.append(m_dictionaryRedirector);
        page.dictionaryRef = m_dictionaryRedirector;
    }
    page.sjbz = AutoPtr<ChunkSjbz>(new ChunkSjbz("Sjbz", m_jb2Encoder, pageIndex));
    children.append(AutoPtr<Chunk>(page.sjbz));
    if (hasFGbz) {
        page.fgbz = AutoPtr<ChunkFGbz>(new ChunkFGbz("FGbz", m_jb2Encoder, pageIndex));
        children.append(AutoPtr<Chunk>(page.fgbz));
    }

    if (hasFG44) {
        ImageUtils::subsampleWithMask(foreground.pixels.data(), int32_t(foreground.rowBytes), inPhotometric,
                                      foreground.width, foreground.height, pixels, inStride, inWidth, inHeight, mask,
                                      maskStride, maskType, 0, 0);
        appendLayer(children, *foreground.encoder);
        foreground.release();
    }
    if (mode != emBitonal) {
        const uint8_t* backgroundMask = mask;
        SimpleArray<uint8_t, 2> eroded;
        if (!(params.flags & flagNoErosion)) {
            const uint32_t size = bufferSize(uint32_t(maskStride), inHeight);
            eroded.resize(size, int32_t(size));
            ImageUtils::erodeMask(eroded.data(), maskStride, inWidth, inHeight, maskType, mask, maskStride);
            backgroundMask = eroded.data();
        }
        const uint32_t s = params.bgSubsample;
        ImageUtils::subsampleWithMask(background.pixels.data(), int32_t(background.rowBytes), inPhotometric,
                                      background.width, background.height, pixels, inStride, inWidth, inHeight,
                                      backgroundMask, maskStride, maskType, 1, 6 * s * s / 9);
        eroded.resize(0, 0);
        appendLayer(children, *background.encoder);
    }

    m_pages.append(page);
    // Without a shared dictionary the page's flush is part of the page: one whose JB2 data cannot be made
    // is neither handed out nor counted.
    if (!m_useSharedDictionary)
        flush();
    outForm = form;
    ++m_pagesMade;
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

AutoPtr<DjVuEncoder> DjVuEncoder::create(uint32_t inUseSharedDictionary, uint32_t inPagesPerDictionary,
                                         const Params* inParams)
{
    return AutoPtr<DjVuEncoder>(
        new _Mvx_Internal_NS_::DjVuEncoderImpl(inUseSharedDictionary, inPagesPerDictionary, inParams));
}

AutoPtr<DjVuEncoder> DjVuEncoder::create(const Profile* inProfile)
{
    if (!inProfile)
        MVX_THROW(errInvalidParam, "Profile could not be NULL!", "Morvenix::DjVu::DjVuEncoder::create");
    const Profile::Settings* settings = inProfile->getSettings();
    return create(settings->useSharedDictionary, settings->pagesPerDictionary, &settings->params);
}

} // namespace DjVu
} // namespace Morvenix
