#include "bp_emfrenderer.h"

#include "bp_emfrecord.h"
#include "bp_owned.h"
#include "bp_textcapture.h"
#include "mvx_exception.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#define MVX_SOURCE "bp_emfrenderer"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// A larger page is not a page an Office host draws: its header is damaged.
const uint64_t kMaxImageBytes = 0x7FFFFFFF;
const int64_t kMaxImageSide = 65535;

// Pixels along one side of the page: the header's device units at the image's resolution. A damaged
// header's tiny resolution gives a side no 64-bit number holds: it is cut to one far past any page.
int64_t imageSide(INT inUnits, int32_t inResolution, REAL inDpi)
{
    const double kBeyondAnyPage = 1e15;
    if (inUnits <= 0 || inResolution <= 0 || !(inDpi > 0.0f) || !std::isfinite(inDpi))
        return 0;
    const double side = double(float(uint64_t(inUnits) * uint64_t(inResolution)) / inDpi);
    return int64_t(side < kBeyondAnyPage ? side : kBeyondAnyPage);
}

void disposeMetafile(GpMetafile*& ioMetafile)
{
    if (ioMetafile)
        GdipDisposeImage(reinterpret_cast<GpImage*>(ioMetafile));
}

void deleteMetafile(HENHMETAFILE& ioHandle)
{
    if (ioHandle)
        DeleteEnhMetaFile(ioHandle);
}

using OwnedGdipMetafile = Owned<GpMetafile*, &disposeMetafile>;
using OwnedEnhMetafile = Owned<HENHMETAFILE, &deleteMetafile>;

} // namespace

EmfPageRenderer::EmfPageRenderer()
    : m_header(), m_resolution(300), m_colorThreshold(256), m_pixelThreshold(48 * 48), m_state(0), m_stateContext(0),
      m_stateCallback(nullptr), m_currentFont(nullptr), m_pathDepth(0), m_handleCount(0),
      m_savedStates(0), m_pendingText(false), m_capture(false), m_graphics(nullptr), m_dc(nullptr), m_metafile(nullptr)
{
}

EmfPageRenderer::~EmfPageRenderer() {}

Morvenix::AutoPtr<T_Image> EmfPageRenderer::Render(HENHMETAFILE inPage, Morvenix::DjVu::TextZone* inPageZone,
                                                   Morvenix::DjVu::Annotation* inAnnotation, bool inCapture)
{
    static const char kFunction[] = "EmfPageRenderer::Render";
    // GDI and GDI+ walk the records by the sizes they give: the framing is checked first, and a page
    // whose EMF+ comments had to be made plain is played from a repaired copy.
    const UINT size = inPage ? GetEnhMetaFileBits(inPage, 0, nullptr) : 0;
    std::vector<uint8_t> bits(size);
    bool repaired = false;
    if (size == 0 || GetEnhMetaFileBits(inPage, size, bits.data()) != size || !CheckMetafileFraming(bits, repaired))
        MVX_THROW(Morvenix::errDataBroken, "The page metafile cannot be read", kFunction);
    const OwnedEnhMetafile repairedPage(repaired ? SetEnhMetaFileBits(size, bits.data()) : nullptr);
    if (repaired && !repairedPage.get())
        MVX_THROW(Morvenix::errDataBroken, "The page metafile cannot be read", kFunction);

    OwnedGdipMetafile metafile;
    if (GdipCreateMetafileFromEmf(repaired ? repairedPage.get() : inPage, FALSE, metafile.out()) != Ok ||
        !metafile.get())
        MVX_THROW(Morvenix::errDataBroken, "The page metafile cannot be read", kFunction);
    return RenderMetafile(metafile.get(), inPageZone, inAnnotation, inCapture);
}

Morvenix::AutoPtr<T_Image> EmfPageRenderer::RenderMetafile(GpMetafile* inMetafile,
                                                           Morvenix::DjVu::TextZone* inPageZone,
                                                           Morvenix::DjVu::Annotation* inAnnotation, bool inCapture)
{
    static const char kFunction[] = "EmfPageRenderer::RenderMetafile";
    // The page size rests on the header alone: without a sound one there is no page to draw.
    m_header = MetafileHeader();
    if (!inMetafile || GdipGetMetafileHeaderFromMetafile(inMetafile, &m_header) != Ok)
        MVX_THROW(Morvenix::errDataBroken, "The page metafile's header cannot be read", kFunction);
    const int64_t width = imageSide(m_header.Width, m_resolution, m_header.DpiX);
    const int64_t height = imageSide(m_header.Height, m_resolution, m_header.DpiY);
    const uint64_t rowSize = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        rowSize * uint64_t(height) > kMaxImageBytes)
        MVX_THROW(Morvenix::errDataBroken,
                  Morvenix::String::format("The page metafile's header gives a page of %lld x %lld pixels",
                                           static_cast<long long>(width), static_cast<long long>(height)),
                  kFunction);

    m_image = TakePageImage(int32_t(width), int32_t(height));

    m_capture = inCapture;
    m_pageZone = inPageZone;
    m_annotation = inAnnotation;
    m_pendingText = false;
    // Text no structure comment flushed belongs to the previous page; it must not grow over the document.
    m_pageText.clear();
    m_fonts.clear();
    m_currentFont = nullptr;
    m_pathDepth = 0;
    m_handleCount = m_header.EmfHeader.nHandles;
    m_savedStates = 0;
    m_state = 0;
    m_lastWordZone.reset();
    m_recordError = nullptr;

    GpGraphics* graphics = nullptr;
    if (GdipCreateFromHDC(m_image->GetMemoryDC(), &graphics) != Ok || !graphics)
        MVX_THROW(Morvenix::errInitializationFailed, "GDI+ cannot draw into the page image", kFunction);
    GdipSetSmoothingMode(graphics, SmoothingModeNone);
    GdipSetTextRenderingHint(graphics, TextRenderingHintSingleBitPerPixelGridFit);

    m_graphics = graphics;
    m_dc = m_image->GetMemoryDC();
    m_metafile = inMetafile;
    // The records change the context's state (mapping, clipping, pen position); an image drawn again
    // later starts from the state it was made with.
    const int savedState = SaveDC(m_dc);
    const Rect page(0, 0, INT(width), INT(height));
    GdipEnumerateMetafileDestRectI(graphics, inMetafile, page, &EmfPageRenderer::EnumerateRecordProc, this, nullptr);
    GdipDeleteGraphics(graphics);
    RestoreDC(m_dc, savedState);
    m_graphics = nullptr;
    m_dc = nullptr;
    m_metafile = nullptr;
    GdiFlush();
    // A failure inside the record handler (an allocation of the capture) stopped the enumeration; it
    // leaves here, outside GDI+'s frames.
    if (m_recordError) {
        std::exception_ptr error = m_recordError;
        m_recordError = nullptr;
        std::rethrow_exception(error);
    }

    FlushPendingText();
    if (m_pageZone)
        FinishZoneGeometry(m_pageZone.get());
    return Morvenix::AutoPtr<T_Image>(m_image.get());
}

Morvenix::AutoPtr<Win32DIB> EmfPageRenderer::TakePageImage(int32_t inWidth, int32_t inHeight)
{
    // Held by the renderer alone: one reference, so taking another makes two.
    const auto reusable = [&](const Morvenix::AutoPtr<Win32DIB>& inImage) {
        if (!inImage || inImage->GetWidth() != inWidth || inImage->GetHeight() != inHeight || !inImage->GetMemoryDC())
            return false;
        const int32_t references = inImage->addRef();
        inImage->release();
        return references == 2;
    };
    Morvenix::AutoPtr<Win32DIB> image;
    if (reusable(m_image))
        image = m_image;
    else if (reusable(m_spareImage))
        image = m_spareImage;
    if (image) {
        GdiFlush();
        const int32_t rowSize = -image->GetRowStep();
        std::memset(image->GetRow(inHeight - 1), 255, size_t(rowSize) * size_t(inHeight));
    } else {
        image = new Win32DIB(inWidth, inHeight, nullptr);
    }
    if (m_image != image)
        m_spareImage = m_image;
    return image;
}

BOOL CALLBACK EmfPageRenderer::EnumerateRecordProc(EmfPlusRecordType inType, UINT inFlags, UINT inDataSize,
                                                   const BYTE* inData, VOID* inRenderer)
{
    EmfPageRenderer* renderer = static_cast<EmfPageRenderer*>(inRenderer);
    // No exception may cross GDI+'s frames: it is kept and thrown again once the enumeration is over.
    try {
        return renderer->OnMetafileRecord(inType, inFlags, inDataSize, inData) == Ok ? TRUE : FALSE;
    } catch (...) {
        renderer->m_recordError = std::current_exception();
        return FALSE;
    }
}

GpStatus EmfPageRenderer::OnMetafileRecord(EmfPlusRecordType inType, UINT inFlags, UINT inDataSize,
                                           const BYTE* inData)
{
    const EmfRecordView record = EmfRecordView::aroundData(inData, inDataSize);
    if (uint32_t(inType) == EMR_HEADER) {
        // The table GDI sets up for the enumeration has as many entries as the header the records come with.
        uint16_t handles = 0;
        if (record.read(56, handles))
            m_handleCount = handles;
    }
    // A damaged EMF record is neither read nor played: GDI would read what its fields name, and would take
    // minutes over a shape far off the page. EMF+ records reach here parsed out of their comments by GDI+,
    // which checks them itself.
    if (uint32_t(inType) < uint32_t(EmfPlusRecordTypeInvalid)) {
        if (!RecordFitsItsFields(uint32_t(inType), record, m_handleCount, m_savedStates) ||
            !IsNearThePage(uint32_t(inType), record))
            return Ok;
        // Both passes play every EMR_SAVEDC and EMR_RESTOREDC that fits.
        m_savedStates = SavedStatesAfter(uint32_t(inType), record, m_savedStates);
    }
    uint32_t index = 0;
    switch (uint32_t(inType)) {
    case EMR_BEGINPATH:
        ++m_pathDepth;
        break;
    case EMR_ENDPATH:
        // An end without a begin must not leave every later record of the page drawn in the plain pass.
        if (m_pathDepth > 0)
            --m_pathDepth;
        break;
    case EMR_ABORTPATH:
        if (m_pathDepth > 0)
            --m_pathDepth;
        break;
    case EMR_EXTCREATEFONTINDIRECTW: {
        const size_t kLogFontOffset = 12;
        // A record too short for its font creates nothing: it is neither kept nor played.
        if (!record.read(8, index) || !record.has(kLogFontOffset, sizeof(LOGFONTW)))
            return Ok;
        // Glyphs drawn without antialiasing give the same pixels in both passes and crisp foreground edges.
        std::vector<uint8_t> copy(record.record(), record.record() + record.size());
        copy[kLogFontOffset + offsetof(LOGFONTW, lfQuality)] = NONANTIALIASED_QUALITY;
        LOGFONTW& font = m_fonts[index];
        std::memcpy(&font, copy.data() + kLogFontOffset, sizeof font);
        return PlayRecord(inType, inFlags, inDataSize, copy.data() + 8);
    }
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
        return PlayPenRecord(inType, inFlags, record);
    case EMR_SELECTOBJECT:
        if (record.read(8, index)) {
            const auto font = m_fonts.find(index);
            if (font != m_fonts.end())
                m_currentFont = &font->second;
        }
        break;
    case EMR_DELETEOBJECT:
        if (record.read(8, index)) {
            const auto font = m_fonts.find(index);
            if (font != m_fonts.end()) {
                if (m_currentFont == &font->second)
                    m_currentFont = nullptr;
                m_fonts.erase(font);
            }
        }
        break;
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
    case EMR_SMALLTEXTOUT_TYPE:
        if (!m_capture)
            return m_pathDepth > 0 ? PlayRecord(inType, inFlags, inDataSize, inData) : Ok;
        CaptureTextRecord(inType, record.record(), record.size());
        break;
    case EMR_GDICOMMENT:
        ReadHostComment(record.record(), record.size());
        break;
    case uint32_t(EmfPlusRecordTypeSetAntiAliasMode):
        GdipSetSmoothingMode(m_graphics, SmoothingModeNone);
        return Ok;
    default:
        break;
    }
    if (m_capture || m_pathDepth > 0)
        return PlayRecord(inType, inFlags, inDataSize, inData);
    return PlainPassRecord(inType, inFlags, inDataSize, inData);
}

GpStatus EmfPageRenderer::PlayPenRecord(EmfPlusRecordType inType, UINT inFlags, const EmfRecordView& inRecord)
{
    // GDI's time to draw with a wide pen grows with the square of its width on the device, whatever is
    // clipped away: a pen far wider than the page (a damaged width) is made as wide as twice the page's
    // longer side, which draws the same on the page.
    const size_t widthOffset = inType == EMR_CREATEPEN ? 16 : 32;
    int32_t width = 0;
    inRecord.read(widthOffset, width);
    const int64_t units = width < 0 ? -int64_t(width) : int64_t(width);
    const double limit = 2.0 * std::max(m_image->GetWidth(), m_image->GetHeight());
    POINT vectors[3] = {{0, 0}, {width, 0}, {0, width}};
    double pixels = double(units);
    if (units > 1 && units <= INT32_MAX && LPtoDP(m_dc, vectors, 3))
        pixels = std::max(std::hypot(double(vectors[1].x - vectors[0].x), double(vectors[1].y - vectors[0].y)),
                          std::hypot(double(vectors[2].x - vectors[0].x), double(vectors[2].y - vectors[0].y)));
    const BYTE* data = inRecord.record() + 8;
    if (!(pixels > limit))
        return PlayRecord(inType, inFlags, inRecord.size() - 8, data);
    std::vector<uint8_t> copy(inRecord.record(), inRecord.record() + inRecord.size());
    const int32_t narrower = int32_t(std::max<int64_t>(1, int64_t(double(units) * limit / pixels)));
    std::memcpy(copy.data() + widthOffset, &narrower, sizeof narrower);
    return PlayRecord(inType, inFlags, inRecord.size() - 8, copy.data() + 8);
}

GpStatus EmfPageRenderer::PlayRecord(EmfPlusRecordType inType, UINT inFlags, UINT inDataSize, const BYTE* inData)
{
    const uint32_t type = uint32_t(inType);
    if ((type != EMR_STRETCHBLT && type != EMR_STRETCHDIBITS) ||
        !MergesPictureBytes(type, EmfRecordView::aroundData(inData, inDataSize)))
        return GdipPlayMetafileRecord(m_metafile, inType, inFlags, inDataSize, inData);
    const int mode = SetStretchBltMode(m_dc, HALFTONE);
    POINT origin = {};
    SetBrushOrgEx(m_dc, 0, 0, &origin);
    const GpStatus status = GdipPlayMetafileRecord(m_metafile, inType, inFlags, inDataSize, inData);
    SetStretchBltMode(m_dc, mode);
    SetBrushOrgEx(m_dc, origin.x, origin.y, nullptr);
    return status;
}

bool EmfPageRenderer::MergesPictureBytes(uint32_t inType, const EmfRecordView& inRecord) const
{
    const int mode = GetStretchBltMode(m_dc);
    if (mode != BLACKONWHITE && mode != WHITEONBLACK)
        return false;
    const BlitLayout& layout = BlitLayoutOf(inType);
    uint32_t headerOffset = 0, headerSize = 0;
    int32_t width = 0, height = 0, sourceWidth = 0, sourceHeight = 0;
    BITMAPINFOHEADER header = {};
    if (!inRecord.read(layout.header, headerOffset) || !inRecord.read(layout.headerSize, headerSize) ||
        headerSize < sizeof header || !inRecord.read(headerOffset, header) || header.biBitCount == 1 ||
        !inRecord.read(layout.width, width) || !inRecord.read(layout.height, height) ||
        !inRecord.read(layout.sourceWidth, sourceWidth) || !inRecord.read(layout.sourceHeight, sourceHeight))
        return false;
    POINT vectors[3] = {{0, 0}, {width, 0}, {0, height}};
    if (!LPtoDP(m_dc, vectors, 3))
        return false;
    const double across = std::hypot(double(vectors[1].x - vectors[0].x), double(vectors[1].y - vectors[0].y));
    const double down = std::hypot(double(vectors[2].x - vectors[0].x), double(vectors[2].y - vectors[0].y));
    return across < std::fabs(double(sourceWidth)) || down < std::fabs(double(sourceHeight));
}

bool EmfPageRenderer::SetStateFlags(uint32_t inMask, uint32_t inValue, UINT_PTR inCallerValue)
{
    m_state = (m_state & ~inMask) | (inValue & inMask);
    if (m_stateCallback)
        return m_stateCallback(this, m_stateContext, m_state, inCallerValue);
    return false;
}
