// Plays one Office page metafile into a white 24-bit image at a set resolution through GDI+. The capture
// pass plays every record and turns text records into hidden-text zones and the host's link comments into
// link areas; the plain pass leaves out text, line art and small or few-colour bitmaps, keeping the pen
// position in step, so that the two images differ exactly where the page's foreground lies.
#pragma once

#include <windows.h>
// GDI+'s declarations use the COM base types, which a lean windows.h leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include "bp_image.h"
#include "djv_annotation.h"
#include "djv_text.h"
#include "mvx_geometry.h"
#include "mvx_referable.h"
#include "mvx_string.h"

#include <cstdint>
#include <exception>
#include <map>
#include <string>

class EmfRecordView;

// The fields of the host's last document-structure comment, kept for the exporter's structure trace.
struct StructureNodeTrace {
    int32_t parentId = 0;
    int32_t sortOrder = 0;
    int32_t id = 0;
    int32_t type = -1;
    Morvenix::String altText;
    int32_t level = 0;
    bool hasText = false;
};

class EmfPageRenderer {
public:
    typedef bool (*StateCallback)(EmfPageRenderer* inRenderer, UINT_PTR inContext, uint32_t inState,
                                  UINT_PTR inCallerValue);

    EmfPageRenderer();
    ~EmfPageRenderer();
    EmfPageRenderer(const EmfPageRenderer&) = delete;
    EmfPageRenderer& operator=(const EmfPageRenderer&) = delete;

    // Renders the page; the host keeps ownership of inPage. With a page zone and an annotation (the
    // capture pass) they receive the page's text zones and link areas.
    Morvenix::AutoPtr<T_Image> Render(HENHMETAFILE inPage, Morvenix::DjVu::TextZone* inPageZone,
                                      Morvenix::DjVu::Annotation* inAnnotation, bool inCapture);
    Morvenix::AutoPtr<T_Image> RenderMetafile(Gdiplus::GpMetafile* inMetafile, Morvenix::DjVu::TextZone* inPageZone,
                                              Morvenix::DjVu::Annotation* inAnnotation, bool inCapture);

    static BOOL CALLBACK EnumerateRecordProc(Gdiplus::EmfPlusRecordType inType, UINT inFlags, UINT inDataSize,
                                             const BYTE* inData, VOID* inRenderer);
    // inData points 8 bytes into the record, behind its type and size.
    Gdiplus::GpStatus OnMetafileRecord(Gdiplus::EmfPlusRecordType inType, UINT inFlags, UINT inDataSize,
                                       const BYTE* inData);

    // Whether a blitted bitmap belongs to the foreground: small on the page, fewer than 8 bits a pixel, or
    // fewer distinct pixel values than the colour threshold. inBitsSize / inMaskBitsSize bound every read.
    bool IsForegroundBitmap(const BITMAPINFO* inSource, const void* inBits, uint32_t inBitsSize,
                            int32_t inDestWidth, int32_t inDestHeight, const BITMAPINFO* inMask,
                            const void* inMaskBits, uint32_t inMaskBitsSize) const;

    int32_t GetResolution() const { return m_resolution; }
    void SetResolution(int32_t inResolution) { m_resolution = inResolution; }
    bool SetStateFlags(uint32_t inMask, uint32_t inValue, UINT_PTR inCallerValue);

    // Capture side.
    // One line zone for the inCount UTF-16 units of one text record (up to a NUL among them), measured on
    // inDC when there are no advances. The units are taken as they are, never as a byte-order mark. A
    // centred or right-aligned run is placed by its own advances: the record's bounds are in the units of
    // the device it was recorded on.
    void CaptureTextRun(HDC inDC, const wchar_t* inText, uint32_t inCount, POINT inReference,
                        const int32_t* inAdvances);
    // inComment is the comment data (record offset 12), inSize its length.
    Morvenix::Rect LinkRectFromComment(const uint8_t* inComment, uint32_t inSize) const;
    // The node of a document-structure comment (sub-type 0x209); false when the comment is too short.
    static bool ReadStructureNode(const uint8_t* inComment, uint32_t inSize, StructureNodeTrace& outNode);
    void AddLinkArea(const Morvenix::Rect& inRect, const Morvenix::String& inUrl);
    static Morvenix::String FormatPageLink(uint32_t inPageNumber);
    void FlushTextTrace();
    void TraceStructureEnd();
    void FlushPendingText();

    // State read and written by the exporter's structure trace.
    bool HasPageZone() const { return bool(m_pageZone); }
    bool& PendingText() { return m_pendingText; }
    StructureNodeTrace& LastStructureNode() { return m_lastStructureNode; }
    const Gdiplus::MetafileHeader& Header() const { return m_header; }

private:
    // The capture tests set up the capture state and hand records over without a render.
    friend struct EmfPageRendererProbe;

    // Record handling helpers (each in the file of its job).
    // Plays a record. A picture of more than one bit a pixel that a stretching blit shrinks while the mode
    // merges the bytes of the pixels it drops (GDI's default BLACKONWHITE ANDs them, WHITEONBLACK ORs them)
    // is drawn averaged (HALFTONE) instead: merged bytes drew dark lines across scans and photographs
    // wherever neighbouring values differ in their bits (127 and 128 give 0), and darkened noisy ones as a
    // whole. One-bit pictures keep the mode, which keeps their thin lines.
    Gdiplus::GpStatus PlayRecord(Gdiplus::EmfPlusRecordType inType, UINT inFlags, UINT inDataSize, const BYTE* inData);
    bool MergesPictureBytes(uint32_t inType, const EmfRecordView& inRecord) const;
    // Whether a shape record (boxes, arcs, points, polygons) lands within a few page sizes of the page on
    // the device; one far off it comes from damaged coordinates or transforms and is not drawn.
    bool IsNearThePage(uint32_t inType, const EmfRecordView& inRecord) const;
    // Plays EMR_CREATEPEN or EMR_EXTCREATEPEN, with a width no wider than the page needs.
    Gdiplus::GpStatus PlayPenRecord(Gdiplus::EmfPlusRecordType inType, UINT inFlags, const EmfRecordView& inRecord);
    Gdiplus::GpStatus PlainPassRecord(Gdiplus::EmfPlusRecordType inType, UINT inFlags, UINT inDataSize,
                                      const BYTE* inData);
    void CaptureTextRecord(uint32_t inType, const uint8_t* inRecord, uint32_t inRecordSize);
    void ReadHostComment(const uint8_t* inRecord, uint32_t inRecordSize);
    // Whether the source bitmap of a blit record (EMR_BITBLT, EMR_STRETCHBLT, EMR_MASKBLT,
    // EMR_STRETCHDIBITS) is left to the foreground; one that does not lie inside its record always is.
    bool IsForegroundBlit(uint32_t inType, const EmfRecordView& inRecord) const;
    // A white image of the size for the next render: the last or the spare image when no one else holds
    // it any more, else a new one. Fresh pages of a new section cost far more than one white fill.
    Morvenix::AutoPtr<Win32DIB> TakePageImage(int32_t inWidth, int32_t inHeight);

    Gdiplus::MetafileHeader m_header;
    int32_t m_resolution;
    uint32_t m_colorThreshold;
    int32_t m_pixelThreshold;
    uint32_t m_state;
    UINT_PTR m_stateContext;
    StateCallback m_stateCallback;
    std::map<uint32_t, LOGFONTW> m_fonts;
    const LOGFONTW* m_currentFont;
    uint32_t m_pathDepth;
    // Entries of the page's object table (the header's nHandles): no record may name one past it.
    uint32_t m_handleCount;
    // States the page's records saved (EMR_SAVEDC) and have not restored: the only ones a restore may name.
    uint32_t m_savedStates;
    Morvenix::AutoPtr<Morvenix::DjVu::TextZone> m_lastWordZone;
    Morvenix::AutoPtr<Morvenix::DjVu::TextZone> m_pageZone;
    // UTF-8, grown in place: without structure comments it collects the text of every page the renderer
    // plays, which appending to a Morvenix::String would copy whole at every line.
    std::string m_pageText;
    bool m_pendingText;
    Morvenix::AutoPtr<Morvenix::DjVu::Annotation> m_annotation;
    bool m_capture;
    Gdiplus::GpGraphics* m_graphics;
    HDC m_dc;
    Gdiplus::GpMetafile* m_metafile;
    Morvenix::AutoPtr<Win32DIB> m_image;
    // The image of the render before the last, kept for reuse.
    Morvenix::AutoPtr<Win32DIB> m_spareImage;
    StructureNodeTrace m_lastStructureNode;
    // A failure inside the record handler, kept until the enumeration has left GDI+.
    std::exception_ptr m_recordError;
};
