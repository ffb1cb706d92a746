// The exporter: each page rendered twice, the agreement of the two renders as the foreground mask, the page
// encoder in the mode that makes both foreground encodings, hidden text and links added; on finish the
// smaller foreground of each page kept and the bundled document written through a working copy.
#define MVX_SOURCE "bp_exporter"

#include "bp_exporter.h"

#include "bp_useroutput.h"
#include "djv_annotation.h"
#include "djv_iff.h"
#include "djv_pageinfo.h"
#include "djv_text.h"
#include "mvx_diskstorage_rb.h"
#include "mvx_exception.h"
#include "mvx_path.h"

#include <dispex.h>
#include <inspectable.h>
#include <ocidl.h>
#include <servprov.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

using Morvenix::AutoPtr;
using Morvenix::String;
using namespace Morvenix::DjVu;

namespace {

// The host's metadata types, by number.
const wchar_t* const MetadataNames[] = {L"Title",   L"Author",   L"Subject", L"Keywords",
                                        L"Creator", L"Producer", L"Category", L"Status",
                                        L"Comments", L"CreationDate", L"ModDate"};

const wchar_t* metadataName(int32_t inType)
{
    if (inType < 0 || size_t(inType) >= sizeof MetadataNames / sizeof MetadataNames[0])
        return L"???";
    return MetadataNames[inType];
}

// Runs a page or the finish. The host is not C++: nothing may leave here as an exception. The host does not
// say why its export failed, so library and runtime failures (a page bitmap that cannot be made, a container
// error) are shown here, once, headed by inWhat's sentence, and become E_FAIL; an allocation failure becomes
// E_OUTOFMEMORY, without a box that would itself need memory. outTold says whether this call showed a box;
// callers keep a flag of their own for the export and add it in.
template <class F, class W>
HRESULT exportBarrier(HWND inOwner, F&& inBody, W&& inWhat, bool& outTold) noexcept
{
    outTold = false;
    try {
        inBody();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        try {
            outTold = ShowErrorBox(inOwner, inWhat().c_str(), e);
        } catch (...) {
        }
        return E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

// A file name as an error box's sentence names it.
std::wstring quoted(const String& inPath)
{
    return L"\"" + std::wstring(inPath.wc_str()) + L"\"";
}

// Interfaces of the system that COM, OLE automation and a host's own plumbing ask objects for, none of which
// the exporter implements: a caller handed the exporter for one of them would call into the exporter's own
// slots (taking a garbage output name, or crashing inside the host).
const IID* const kSystemInterfacesNotImplemented[] = {
    // Marshalling and the COM run-time.
    &IID_IMarshal, &IID_IMarshal2, &IID_IStdMarshalInfo, &IID_IExternalConnection, &IID_INoMarshal,
    &IID_IAgileObject, &IID_ICallFactory, &IID_IRpcOptions, &IID_IClientSecurity, &IID_IMultiQI,
    &IID_IClassFactory, &__uuidof(IInspectable),
    // Automation and type information.
    &IID_IDispatch, &__uuidof(IDispatchEx), &IID_ISupportErrorInfo, &IID_IProvideClassInfo,
    &IID_IProvideClassInfo2, &IID_IProvideMultipleClassInfo, &IID_IConnectionPointContainer,
    // Services, sites, persistence and OLE embedding.
    &IID_IServiceProvider, &IID_IObjectWithSite, &IID_IPersist, &IID_IPersistStream, &IID_IPersistStreamInit,
    &IID_IPersistStorage, &IID_IPersistPropertyBag, &IID_IOleObject, &IID_IOleWindow, &IID_IRunnableObject,
};

uint32_t payloadSize(Chunk& inChunk)
{
    AutoPtr<Data> data = inChunk.getData();
    return data ? data->getSize() : 0;
}

} // namespace

CDjVuExporter::CDjVuExporter()
    : m_gdiplusToken(0), m_gdiplusStarted(false), m_params(DjVuEncoder::emAuto, 12, 75, 3, 75),
      m_lcid(0), m_finished(false), m_pagesOffered(0), m_firstFailedPage(0), m_lastFailedPage(0),
      m_firstFailureOutOfMemory(false), m_failureTold(false), m_owner(nullptr)
{
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    m_gdiplusStarted = Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
    try {
        m_renderer.SetResolution(300);
        m_encoder = DjVuEncoder::create(1, 20, nullptr);
        m_document = ChunkCollection::create("DJVM");
    } catch (...) {
        // No destructor runs for a constructor that throws.
        if (m_gdiplusStarted)
            Gdiplus::GdiplusShutdown(m_gdiplusToken);
        throw;
    }
    m_lcid = GetUserDefaultLCID();
}

CDjVuExporter::~CDjVuExporter()
{
    // Nothing is written after this: a last group that a failed or unfinished export left is dropped rather
    // than classified into a dictionary that would be thrown away (the finish has flushed any other).
    m_encoder->discardGroup();
    if (m_gdiplusStarted)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
}

// The host queries for its own exporter interface, whose identifier is not published: IUnknown and every
// identifier not known to be another interface are answered with the exporter itself; the system's own
// interfaces, which it does not have, are refused. The object lives on the click handler's stack, so it
// counts nothing.
HRESULT CDjVuExporter::QueryInterface(REFIID inIid, void** outObject)
{
    if (!outObject)
        return E_POINTER;
    for (const IID* refused : kSystemInterfacesNotImplemented) {
        if (inIid == *refused) {
            *outObject = nullptr;
            return E_NOINTERFACE;
        }
    }
    *outObject = static_cast<IMsoDocExporter*>(this);
    return S_OK;
}

ULONG CDjVuExporter::AddRef()
{
    return 0;
}

ULONG CDjVuExporter::Release()
{
    return 0;
}

HRESULT CDjVuExporter::SetOutputName(const wchar_t* inFileName)
{
    // The path the click handler chose (and set itself for Excel) wins over the host's later word.
    if (inFileName && outputPath.isEmpty()) {
        try {
            outputPath = String(inFileName);
        } catch (...) {
            outputPath.clear();
        }
    }
    return S_OK;
}

HRESULT CDjVuExporter::Slot04(UINT_PTR, UINT_PTR)
{
    return S_OK;
}

HRESULT CDjVuExporter::Slot05(UINT_PTR, UINT_PTR)
{
    return S_OK;
}

HRESULT CDjVuExporter::AddEmfPage(HENHMETAFILE inPage)
{
    if (m_finished)
        return inPage ? E_FAIL : E_POINTER;
    const uint32_t number = ++m_pagesOffered;
    // A document with a page missing is not saved, so nothing more is drawn for it. A null page is missing
    // as much as one that could not be drawn; the finish tells it, without a box at the page.
    if (m_firstFailedPage || !inPage) {
        if (!m_firstFailedPage)
            m_firstFailedPage = number;
        m_lastFailedPage = number;
        return inPage ? E_FAIL : E_POINTER;
    }
    // The first failure of an export has the one box: what failed and what becomes of the file. The pages
    // that failed are this one, or those a failed group of earlier pages lost (AddPage found them).
    bool told = false;
    const HRESULT result = exportBarrier(m_owner, [&] { AddPage(inPage, number); }, [&] {
        const uint32_t first = m_firstFailedPage ? m_firstFailedPage : number;
        const uint32_t last = m_firstFailedPage ? m_lastFailedPage : number;
        const std::wstring pages = first == last ? L"Page " + std::to_wstring(first)
                                                 : L"Pages " + std::to_wstring(first) + L" to " + std::to_wstring(last);
        const std::wstring page = pages + L" could not be made into DjVu, so the DjVu ";
        return outputPath.isEmpty()
                   ? page + L"document is not saved."
                   : page + L"file " + quoted(outputPath) + L" is not saved; a file already there is kept.";
    }, told);
    m_failureTold = m_failureTold || told;
    if (FAILED(result)) {
        if (!m_firstFailedPage)
            m_firstFailedPage = m_lastFailedPage = number;
        m_firstFailureOutOfMemory = result == E_OUTOFMEMORY;
    }
    return result;
}

// Every page is made with a mask (AddPage); the pages of a group that failed at its flush are left without.
void CDjVuExporter::NoteLostPages(uint32_t inNumber, bool inPageMade) noexcept
{
    uint32_t first = 0, last = 0;
    try {
        // The document holds every page before this one: once one failed, no later page was drawn.
        const Chunk::Children& pages = m_document->getChildren();
        for (uint32_t i = 0; i < pages.count(); ++i) {
            if (pages[i]->find("Sjbz", Chunk::notFound, false) == Chunk::notFound) {
                first = first ? first : i + 1;
                last = i + 1;
            }
        }
    } catch (...) {
        // Without the memory to look, the page itself is named.
        first = last = 0;
    }
    m_firstFailedPage = first ? first : inNumber;
    m_lastFailedPage = inPageMade && last ? last : inNumber;
}

void CDjVuExporter::AddPage(HENHMETAFILE inPage, uint32_t inNumber)
{
    if (!m_gdiplusStarted)
        MVX_THROW(Morvenix::errInitializationFailed, "GDI+ could not be started; no page can be drawn.",
                  "CDjVuExporter::AddEmfPage");
    AutoPtr<TextZone> text = TextZone::create(TextZone::zonePage);
    AutoPtr<Annotation> annotation = Annotation::create(Annotation::hAlignNone, Annotation::vAlignNone,
                                                        Annotation::backgroundNone, Annotation::zoomNone,
                                                        Annotation::modeColor);

    AutoPtr<T_Image> page = m_renderer.Render(inPage, text.get(), annotation.get(), true);
    AutoPtr<T_Image> mask;
    {
        AutoPtr<T_Image> plain = m_renderer.Render(inPage, nullptr, nullptr, false);
        if (!page || !plain)
            MVX_THROW(Morvenix::errOperationFailed, "The page could not be drawn.", "CDjVuExporter::AddEmfPage");
        BuildAgreementMask(mask, *page, *plain);
    }
    const int32_t width = page->GetWidth(), height = page->GetHeight();
    if (width <= 0 || height <= 0)
        MVX_THROW(Morvenix::errInvalidParam, "The page has no area.", "CDjVuExporter::AddEmfPage");
    const uint32_t resolution = uint32_t(m_renderer.GetResolution());

    m_params.mode = DjVuEncoder::emCompoundBoth;
    AutoPtr<Chunk> form;
    try {
        m_encoder->encodePage(form, page->GetRow(0), page->GetRowStep(), phBGR, uint32_t(width), uint32_t(height),
                              resolution, &m_params, mask ? mask->GetRow(0) : nullptr, mask ? mask->GetRowStep() : 0,
                              mtBits);
    } catch (...) {
        // The page may have closed a group of earlier pages whose flush failed: the page is then made (a form
        // came back) and it is those pages that are lost.
        NoteLostPages(inNumber, bool(form));
        throw;
    }

    const PageInfo info{uint32_t(width), uint32_t(height), 25, 0, resolution, 22, 1};
    form->getChildren().append(text->makeTXTz(info));
    if (!annotation->isEmpty())
        form->getChildren().append(annotation->makeANTz(info));
    // The last step: a page that failed before it never reaches the document.
    m_document->getChildren().append(form);
}

// A page made in mode 5 carries both foreground encodings of its colours: the FG44 layer and the FGbz
// palette. Only one is needed, and which is smaller depends on the page.
void CDjVuExporter::KeepSmallerForeground(Chunk& ioPage)
{
    const uint32_t fg44 = ioPage.find("FG44", Chunk::notFound, false);
    const uint32_t fgbz = ioPage.find("FGbz", Chunk::notFound, false);
    if (fg44 == Chunk::notFound || fgbz == Chunk::notFound)
        return;
    Chunk::Children& children = ioPage.getChildren();
    children.remove(payloadSize(*children[fg44]) > payloadSize(*children[fgbz]) ? fg44 : fgbz, 1);
}

HRESULT CDjVuExporter::AddMetadataText(int32_t inType, const wchar_t* inValue)
{
    TraceDebugOutput(L"Metadata: %s value=\"%s\"\n", metadataName(inType), inValue ? inValue : L"");
    return S_OK;
}

HRESULT CDjVuExporter::AddMetadataDate(int32_t inType, const FILETIME* inDate)
{
    // The host's date as it stands, without a time-zone shift, in the document's own short date form.
    wchar_t date[256] = L"";
    SYSTEMTIME time;
    if (inDate && FileTimeToSystemTime(inDate, &time) &&
        !GetDateFormatW(m_lcid, DATE_SHORTDATE, &time, nullptr, date, int(sizeof date / sizeof date[0])))
        date[0] = 0;
    TraceDebugOutput(L"Metadata: %s date=\"%s\"\n", metadataName(inType), date);
    return S_OK;
}

HRESULT CDjVuExporter::SetDocumentLocale(LCID inLcid)
{
    m_lcid = inLcid;
    wchar_t name[256] = L"";
    if (!GetLocaleInfoW(inLcid, LOCALE_SLANGUAGE, name, int(sizeof name / sizeof name[0])))
        name[0] = 0;
    TraceDebugOutput(L"Locale: %u (%xh) %s\n", unsigned(inLcid), unsigned(inLcid), name);
    return S_OK;
}

HRESULT CDjVuExporter::AddOutlineEntry(UINT_PTR, const MSODOCEXOUTLINENODE* inNode)
{
    if (!inNode)
        return S_OK;
    // The host's text fills its whole field when it is long: it need not end in a NUL there.
    wchar_t title[sizeof inNode->rgwchNodeText / sizeof inNode->rgwchNodeText[0] + 1];
    std::memcpy(title, inNode->rgwchNodeText, sizeof inNode->rgwchNodeText);
    title[sizeof title / sizeof title[0] - 1] = 0;
    TraceDebugOutput(L"MSODOCEXOUTLINENODE\nidNode\t%d\nrgwchNodeText\t\"%s\"\niDestPage\t%d\ndytfvDestPage\t%f\n"
                     L"dxtfvDestOffset\t%f\ndytfvDestOffset\t%f\n",
                     int(inNode->idNode), title, int(inNode->iDestPage), double(inNode->dytfvDestPage),
                     double(inNode->dxtfvDestOffset), double(inNode->dytfvDestOffset));
    return S_OK;
}

HRESULT CDjVuExporter::Slot11(UINT_PTR, UINT_PTR, UINT_PTR)
{
    return S_OK;
}

HRESULT CDjVuExporter::Slot12(UINT_PTR)
{
    return S_OK;
}

HRESULT CDjVuExporter::FinishDocument()
{
    if (m_finished)
        return E_FAIL;
    m_finished = true;
    // The pages that were made are not the document: the file is not written, and an old one stays.
    if (m_firstFailedPage) {
        TellUntoldFailure();
        return E_FAIL;
    }
    bool told = false;
    const HRESULT result = exportBarrier(m_owner, [&] { WriteDocument(); }, [&] {
        return outputPath.isEmpty() ? std::wstring(L"The DjVu document could not be saved.")
                                    : L"The DjVu file " + quoted(outputPath) + L" could not be saved.";
    }, told);
    m_failureTold = m_failureTold || told;
    if (result == E_OUTOFMEMORY)
        m_failureTold = ShowErrorText(m_owner, L"The DjVu file could not be saved: there was not enough memory. A "
                                               L"file already there is kept.");
    // The box above, or the barrier's with the details, could not be shown (memory ran out again, or the
    // failure was no exception the barrier can describe): a host that answers S_OK all the same would leave
    // the user with no word. This text needs nothing.
    if (FAILED(result) && !m_failureTold)
        m_failureTold = ShowErrorText(m_owner, L"The DjVu file could not be saved. A file already there is kept.");
    return result;
}

// Formatted on the stack and shown without the add-in allocating: memory may be what ran out.
void CDjVuExporter::TellUntoldFailure() noexcept
{
    if (!m_firstFailedPage || m_failureTold)
        return;
    m_failureTold = true;
    const bool onePage = m_lastFailedPage == m_firstFailedPage;
    const wchar_t* const cause = !m_firstFailureOutOfMemory ? L""
                                 : onePage                  ? L" (there was not enough memory)"
                                                            : L" (there was not enough memory for the first)";
    const wchar_t* const outcome = L", so the DjVu file was not saved; a file already there is kept.";
    wchar_t text[256];
    if (onePage)
        std::swprintf(text, sizeof text / sizeof text[0], L"Page %u could not be made into DjVu%ls%ls",
                      unsigned(m_firstFailedPage), cause, outcome);
    else
        std::swprintf(text, sizeof text / sizeof text[0], L"Pages %u to %u could not be made into DjVu%ls%ls",
                      unsigned(m_firstFailedPage), unsigned(m_lastFailedPage), cause, outcome);
    ShowErrorText(m_owner, text);
}

void CDjVuExporter::WriteDocument()
{
    // Checked before the last group is encoded and the file system is touched, so that a document that
    // cannot be saved is told at once and an existing file is not even opened.
    Chunk::Children& pages = m_document->getChildren();
    if (pages.count() == 0)
        MVX_THROW(Morvenix::errInvalidParam, "The document has no page to save.", "CDjVuExporter::FinishDocument");
    const String path = Morvenix::Path::canonicalize(outputPath);
    if (path.isEmpty())
        MVX_THROW(Morvenix::errInvalidParam,
                  outputPath.isEmpty() ? String("No file name was given to save the document to.")
                                       : String::format("The file name \"%s\" cannot be used.", outputPath.c_str()),
                  "CDjVuExporter::FinishDocument");

    // Every page was made in mode 5 (AddPage), with both foreground encodings.
    m_encoder->flush();
    for (uint32_t i = 0; i < pages.count(); ++i)
        KeepSmallerForeground(*pages[i]);

    // The working copy replaces the target only at the commit: a failure before it, or a commit that cannot
    // replace the target, leaves an existing file as it was, and the storage deletes what it made. The
    // document is still open in the host and can be exported again, so a working copy that could not take
    // the target's place is not left beside it.
    AutoPtr<Morvenix::DiskStorageWithRollback> storage = Morvenix::DiskStorageWithRollback::create(
        path, Morvenix::DiskStorage::accessWrite, 0, Morvenix::DiskStorageWithRollback::dropWorkingCopy);
    IFF::serialize(storage.get(), m_document.get(), nullptr, nullptr, IFF::smDefault, nullptr, nullptr);
    static_cast<Morvenix::StorageRollback&>(*storage).commit();
}

HRESULT CDjVuExporter::Slot14(UINT_PTR, UINT_PTR, UINT_PTR, UINT_PTR)
{
    return S_OK;
}

HRESULT CDjVuExporter::Slot15()
{
    return S_OK;
}

HRESULT CDjVuExporter::Slot16(UINT_PTR)
{
    return S_OK;
}

HRESULT CDjVuExporter::Slot17(UINT_PTR)
{
    return S_OK;
}
