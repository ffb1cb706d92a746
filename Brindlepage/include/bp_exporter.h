// The exporter the Office hosts call during their fixed-format export: one metafile a page in, one
// bundled multi-page DjVu document out, with hidden text and links on every page, written through a
// working copy that replaces the target only when the document is complete.
#pragma once

#include "bp_emfrenderer.h"
#include "bp_image.h"
#include "office_host.h"

#include "djv_chunk.h"
#include "djv_djvuencoder.h"
#include "mvx_string.h"

// Lives on the click handler's stack for one host export call and is not reference counted. GDI+ runs
// from its construction to its destruction. No exception leaves an interface method: failures are shown
// to the user ("DjVu Related Error") and answered with E_FAIL, allocation failures with E_OUTOFMEMORY, a
// null page with E_POINTER. A document with a page that could not be made (a null one included) is not
// saved at all: the finish writes nothing.
class CDjVuExporter : public IMsoDocExporter {
public:
    CDjVuExporter();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetOutputName(const wchar_t* inFileName) override;
    HRESULT STDMETHODCALLTYPE Slot04(UINT_PTR, UINT_PTR) override;
    HRESULT STDMETHODCALLTYPE Slot05(UINT_PTR, UINT_PTR) override;
    HRESULT STDMETHODCALLTYPE AddEmfPage(HENHMETAFILE inPage) override;
    HRESULT STDMETHODCALLTYPE AddMetadataText(int32_t inType, const wchar_t* inValue) override;
    HRESULT STDMETHODCALLTYPE AddMetadataDate(int32_t inType, const FILETIME* inDate) override;
    HRESULT STDMETHODCALLTYPE SetDocumentLocale(LCID inLcid) override;
    HRESULT STDMETHODCALLTYPE AddOutlineEntry(UINT_PTR, const MSODOCEXOUTLINENODE* inNode) override;
    HRESULT STDMETHODCALLTYPE Slot11(UINT_PTR, UINT_PTR, UINT_PTR) override;
    HRESULT STDMETHODCALLTYPE Slot12(UINT_PTR) override;
    HRESULT STDMETHODCALLTYPE FinishDocument() override;
    HRESULT STDMETHODCALLTYPE Slot14(UINT_PTR, UINT_PTR, UINT_PTR, UINT_PTR) override;
    HRESULT STDMETHODCALLTYPE Slot15() override;
    HRESULT STDMETHODCALLTYPE Slot16(UINT_PTR) override;
    HRESULT STDMETHODCALLTYPE Slot17(UINT_PTR) override;
    virtual ~CDjVuExporter();

    // The mask bit of a pixel is 1 where both images hold the same three bytes.
    static void BuildAgreementMask(Morvenix::AutoPtr<T_Image>& outMask, const T_Image& inFirst,
                                   const T_Image& inSecond);
    // The trace of a host document-structure comment met by the renderer's capture pass.
    static void DumpStructureNode(EmfPageRenderer& inRenderer, const StructureNodeTrace& inNode);
    // A page made with both foreground encodings keeps the smaller (FG44 on a tie); a page that lacks
    // one of them keeps what it has.
    static void KeepSmallerForeground(Morvenix::DjVu::Chunk& ioPage);

    // One box tells an export's failure. When pages failed and no box has said so (memory ran out, the page
    // was null, or the box could not be shown), says which pages could not be made; nothing otherwise. FinishDocument calls
    // it, and so does the click handler once the host's export returns, for a host that stops at a failed
    // page without asking for the finish.
    void TellUntoldFailure() noexcept;
    // Whether a box has told the user of this export's failure.
    bool HasToldFailure() const { return m_failureTold; }
    // The window that owns the exporter's boxes: the host's main window, kept disabled while one is up.
    void SetOwnerWindow(HWND inOwner) { m_owner = inOwner; }
    // Whether GDI+, which draws every page, started: without it no page can be made, which a caller can tell
    // the user before the host draws the first one.
    bool CanDrawPages() const { return m_gdiplusStarted; }

private:
    // The steps of a page and of the finish; each runs inside the barrier of its interface method.
    // inNumber is the page's among those the host handed over.
    void AddPage(HENHMETAFILE inPage, uint32_t inNumber);
    void WriteDocument();
    // When the encoder failed on page inNumber: records as the failed pages those of the document that
    // lost their mask to a failed group, and the page itself unless it was made; the page alone when
    // none did.
    void NoteLostPages(uint32_t inNumber, bool inPageMade) noexcept;

    ULONG_PTR m_gdiplusToken;
    bool m_gdiplusStarted;
    EmfPageRenderer m_renderer;
    Morvenix::AutoPtr<Morvenix::DjVu::DjVuEncoder> m_encoder;
    Morvenix::AutoPtr<Morvenix::DjVu::ChunkCollection> m_document;
    Morvenix::DjVu::DjVuEncoder::Params m_params;

public:
    // The click handler may set the target before the export (Excel); SetOutputName then keeps it.
    Morvenix::String outputPath;

private:
    LCID m_lcid;
    // Set once FinishDocument has run: the encoder is flushed and the pages have lost a foreground layer,
    // so no further page or finish can be added to this document.
    bool m_finished;
    // The pages the host has handed over, failed ones included: the number an error box gives a page.
    uint32_t m_pagesOffered;
    // The pages that could not be made: the first that failed (or lost its mask with a failed group) and
    // the last refused after it (0: none).
    // Once one failed the document is not saved, so every later page is refused without being drawn.
    uint32_t m_firstFailedPage;
    uint32_t m_lastFailedPage;
    bool m_firstFailureOutOfMemory;
    // A box has told the user of this export's failure; no further box is shown for it.
    bool m_failureTold;
    HWND m_owner;
};
