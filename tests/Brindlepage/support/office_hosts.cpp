#include "office_hosts.h"

#include "fake_office.h"
#include "import_redirect.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace FakeOffice {

namespace {

struct HostFacts {
    const wchar_t* name;
    const wchar_t* caption;
    const wchar_t* windowClass;
    const IID* documentIid;
};

const HostFacts facts[] = {
    {L"Word", L"Document1 - Microsoft Word", L"OpusApp", &IID_WordDocument},
    {L"Excel", L"Microsoft Excel - Book1", L"XLMAIN", &IID_ExcelWorkbook},
    {L"PowerPoint", L"Microsoft PowerPoint - [Presentation1]", L"PP12FrameClass", &IID_PowerPointPresentation},
};

const HostFacts& factsOf(HostKind inKind)
{
    return facts[size_t(inKind)];
}

// The Application of a host: IDispatch from the host's type information (Caption under the host's own
// member id), the host's _Application interface with the active-document getter in its slot.
template <class Itf>
class HostApplication : public Counted<Itf> {
public:
    explicit HostApplication(Host& inHost) : host(inHost) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return answerQuery(static_cast<Itf*>(this), inIid, {&IID_IUnknown, &IID_IDispatch, &__uuidof(Itf)}, outObject);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        *outCount = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** outInfo) override
    {
        *outInfo = typeInfo(__uuidof(Itf));
        return *outInfo ? S_OK : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* inNames, UINT inCount, LCID, DISPID* outIds) override
    {
        ITypeInfo* info = tablePartTypeInfo(__uuidof(Itf));
        const HRESULT hr = DispGetIDsOfNames(info, inNames, inCount, outIds);
        info->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS* inParams, VARIANT* outResult,
                                     EXCEPINFO* outException, UINT* outArgError) override
    {
        ITypeInfo* info = tablePartTypeInfo(__uuidof(Itf));
        const HRESULT hr = DispInvoke(static_cast<Itf*>(this), info, inId, inFlags, inParams, outResult,
                                      outException, outArgError);
        info->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_Caption(BSTR* outCaption) override
    {
        *outCaption = nullptr;
        if (host.captionFails())
            return E_FAIL;
        *outCaption = SysAllocString(host.caption().c_str());
        return S_OK;
    }
    // The slots every host's Application has before the ones the add-in calls.
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }

protected:
    HRESULT activeDocument(IDispatch** outDocument)
    {
        *outDocument = host.document();
        (*outDocument)->AddRef();
        return S_OK;
    }

private:
    Host& host;
};

class WordApplication : public HostApplication<FakeWordApplication> {
public:
    using HostApplication::HostApplication;
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ActiveDocument(IDispatch** outDocument) override { return activeDocument(outDocument); }
};

class ExcelApplication : public HostApplication<FakeExcelApplication> {
public:
    using HostApplication::HostApplication;
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Reserved14(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Reserved14(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ActiveWorkbook(IDispatch** outWorkbook) override { return activeDocument(outWorkbook); }
};

class PowerPointApplication : public HostApplication<FakePowerPointApplication> {
public:
    using HostApplication::HostApplication;
    HRESULT STDMETHODCALLTYPE get_ActivePresentation(IDispatch** outPresentation) override
    {
        return activeDocument(outPresentation);
    }
};

// A document, workbook or presentation: an object whose table is laid out as the host's, where only the
// slots the add-in calls are served. The table pointer comes first, as in every COM object.
using Slot = void (*)();

struct Document {
    const Slot* table;
    LONG references;
    Host* host;
};

Document* self(IDispatch* inObject)
{
    return reinterpret_cast<Document*>(inObject);
}

// The document's ISupportErrorInfo, where the host's settings give it one: whether the document's own
// interface sets the thread's error object when one of its calls fails.
class DocumentErrorSupport : public Counted<ISupportErrorInfo> {
public:
    DocumentErrorSupport(IDispatch* inDocument, const IID& inIid, bool inSets)
        : document(inDocument), iid(inIid), sets(inSets)
    {
        document->AddRef();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (inIid == IID_ISupportErrorInfo)
            return answerQuery(static_cast<ISupportErrorInfo*>(this), inIid, {&IID_ISupportErrorInfo}, outObject);
        return document->QueryInterface(inIid, outObject);
    }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID inIid) override
    {
        return sets && inIid == iid ? S_OK : S_FALSE;
    }

private:
    ~DocumentErrorSupport() override { document->Release(); }

    IDispatch* document;
    const IID iid;
    const bool sets;
};

HRESULT STDMETHODCALLTYPE documentQueryInterface(IDispatch* inSelf, REFIID inIid, void** outObject)
{
    if (!outObject)
        return E_POINTER;
    const Host& host = *self(inSelf)->host;
    if (inIid == IID_ISupportErrorInfo && host.documentSetsErrorInfo()) {
        *outObject = static_cast<ISupportErrorInfo*>(
            new DocumentErrorSupport(inSelf, *factsOf(host.kind()).documentIid, *host.documentSetsErrorInfo()));
        return S_OK;
    }
    if (inIid == IID_IUnknown || inIid == IID_IDispatch || inIid == *factsOf(self(inSelf)->host->kind()).documentIid) {
        *outObject = inSelf;
        InterlockedIncrement(&self(inSelf)->references);
        return S_OK;
    }
    *outObject = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE documentAddRef(IDispatch* inSelf)
{
    return ULONG(InterlockedIncrement(&self(inSelf)->references));
}

ULONG STDMETHODCALLTYPE documentRelease(IDispatch* inSelf)
{
    const LONG left = InterlockedDecrement(&self(inSelf)->references);
    if (left == 0)
        delete self(inSelf);
    return ULONG(left);
}

HRESULT STDMETHODCALLTYPE documentGetTypeInfoCount(IDispatch*, UINT* outCount)
{
    *outCount = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE documentGetTypeInfo(IDispatch*, UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE documentGetIDsOfNames(IDispatch*, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE documentInvoke(IDispatch*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                         UINT*)
{
    return E_NOTIMPL;
}

// A host that gives no name answers with no text at all.
HRESULT STDMETHODCALLTYPE documentName(IDispatch* inSelf, BSTR* outName)
{
    const std::optional<std::wstring>& name = self(inSelf)->host->documentName();
    *outName = name ? SysAllocString(name->c_str()) : nullptr;
    return S_OK;
}

std::wstring number(long long inValue)
{
    return std::to_wstring(inValue);
}

std::wstring text(BSTR inText)
{
    return inText ? L"\"" + std::wstring(inText, SysStringLen(inText)) + L"\"" : L"null";
}

HRESULT STDMETHODCALLTYPE wordExport(IDispatch* inSelf, BSTR inOutputFileName, int32_t inExportFormat,
                                     VARIANT_BOOL inOpenAfterExport, int32_t inOptimizeFor, int32_t inRange,
                                     int32_t inFrom, int32_t inTo, int32_t inItem, VARIANT_BOOL inIncludeDocProps,
                                     VARIANT_BOOL inKeepIRM, int32_t inCreateBookmarks, VARIANT_BOOL inDocStructureTags,
                                     VARIANT_BOOL inBitmapMissingFonts, VARIANT_BOOL inUseISO19005_1,
                                     VARIANT* inFixedFormatExtClassPtr)
{
    const std::wstring arguments =
        L"OutputFileName=" + text(inOutputFileName) + L"; ExportFormat=" + number(inExportFormat) +
        L"; OpenAfterExport=" + number(inOpenAfterExport) + L"; OptimizeFor=" + number(inOptimizeFor) +
        L"; Range=" + number(inRange) + L"; From=" + number(inFrom) + L"; To=" + number(inTo) + L"; Item=" +
        number(inItem) + L"; IncludeDocProps=" + number(inIncludeDocProps) + L"; KeepIRM=" + number(inKeepIRM) +
        L"; CreateBookmarks=" + number(inCreateBookmarks) + L"; DocStructureTags=" + number(inDocStructureTags) +
        L"; BitmapMissingFonts=" + number(inBitmapMissingFonts) + L"; UseISO19005_1=" + number(inUseISO19005_1) +
        L"; FixedFormatExtClassPtr=" +
        (inFixedFormatExtClassPtr ? L"&" + describeArgument(*inFixedFormatExtClassPtr) : std::wstring(L"null"));
    return self(inSelf)->host->exportDocument(arguments, inFixedFormatExtClassPtr, inOutputFileName);
}

HRESULT STDMETHODCALLTYPE excelExport(IDispatch* inSelf, int32_t inType, VARIANT inFilename, VARIANT inQuality,
                                      VARIANT inIncludeDocProperties, VARIANT inIgnorePrintAreas, VARIANT inFrom,
                                      VARIANT inTo, VARIANT inOpenAfterPublish, VARIANT inFixedFormatExtClassPtr)
{
    const std::wstring arguments =
        L"Type=" + number(inType) + L"; Filename=" + describeArgument(inFilename) + L"; Quality=" +
        describeArgument(inQuality) + L"; IncludeDocProperties=" + describeArgument(inIncludeDocProperties) +
        L"; IgnorePrintAreas=" + describeArgument(inIgnorePrintAreas) + L"; From=" + describeArgument(inFrom) +
        L"; To=" + describeArgument(inTo) + L"; OpenAfterPublish=" + describeArgument(inOpenAfterPublish) +
        L"; FixedFormatExtClassPtr=" + describeArgument(inFixedFormatExtClassPtr);
    // Excel offers the exporter a name of its own, beside the workbook; the add-in's choice must win.
    const std::wstring offered = L"Excel-offered.djvu";
    return self(inSelf)->host->exportDocument(arguments, &inFixedFormatExtClassPtr, offered.c_str());
}

HRESULT STDMETHODCALLTYPE powerPointExport(IDispatch* inSelf, BSTR inPath, int32_t inFixedFormatType,
                                           int32_t inIntent, int32_t inFrameSlides, int32_t inHandoutOrder,
                                           int32_t inOutputType, int32_t inPrintHiddenSlides, IDispatch* inPrintRange,
                                           int32_t inRangeType, BSTR inSlideShowName,
                                           VARIANT_BOOL inIncludeDocProperties, VARIANT_BOOL inKeepIRMSettings,
                                           VARIANT_BOOL inDocStructureTags, VARIANT_BOOL inBitmapMissingFonts,
                                           VARIANT_BOOL inUseISO19005_1, VARIANT inExternalExporter)
{
    const std::wstring arguments =
        L"Path=" + text(inPath) + L"; FixedFormatType=" + number(inFixedFormatType) + L"; Intent=" +
        number(inIntent) + L"; FrameSlides=" + number(inFrameSlides) + L"; HandoutOrder=" + number(inHandoutOrder) +
        L"; OutputType=" + number(inOutputType) + L"; PrintHiddenSlides=" + number(inPrintHiddenSlides) +
        L"; PrintRange=" + (inPrintRange ? L"object" : L"null") + L"; RangeType=" + number(inRangeType) +
        L"; SlideShowName=" + text(inSlideShowName) + L"; IncludeDocProperties=" + number(inIncludeDocProperties) +
        L"; KeepIRMSettings=" + number(inKeepIRMSettings) + L"; DocStructureTags=" + number(inDocStructureTags) +
        L"; BitmapMissingFonts=" + number(inBitmapMissingFonts) + L"; UseISO19005_1=" + number(inUseISO19005_1) +
        L"; ExternalExporter=" + describeArgument(inExternalExporter);
    return self(inSelf)->host->exportDocument(arguments, &inExternalExporter, inPath);
}

// A slot the add-in has no business calling: its arguments are unknown, so there is no way back.
[[noreturn]] void unservedSlot()
{
    std::fputs("fake Office: the add-in called a member of a document that it never calls\n", stderr);
    std::fflush(stderr);
    ExitProcess(3);
}

template <class Function>
Slot slot(Function inFunction)
{
    return reinterpret_cast<Slot>(inFunction);
}

// The table of a host's document, as long as its export slot needs.
const Slot* documentTable(HostKind inKind)
{
    static std::array<std::vector<Slot>, 3> tables;
    std::vector<Slot>& table = tables[size_t(inKind)];
    if (table.empty()) {
        const size_t nameSlot = inKind == HostKind::word    ? OfficeSlot::wordDocumentName
                                : inKind == HostKind::excel ? OfficeSlot::excelWorkbookName
                                                            : OfficeSlot::powerPointPresentationName;
        const size_t exportSlot = inKind == HostKind::word    ? OfficeSlot::wordExportAsFixedFormat
                                  : inKind == HostKind::excel ? OfficeSlot::excelExportAsFixedFormat
                                                              : OfficeSlot::powerPointExportAsFixedFormat;
        table.assign(std::max(nameSlot, exportSlot) + 1, &unservedSlot);
        table[0] = slot(&documentQueryInterface);
        table[1] = slot(&documentAddRef);
        table[2] = slot(&documentRelease);
        table[3] = slot(&documentGetTypeInfoCount);
        table[4] = slot(&documentGetTypeInfo);
        table[5] = slot(&documentGetIDsOfNames);
        table[6] = slot(&documentInvoke);
        table[nameSlot] = slot(&documentName);
        table[exportSlot] = inKind == HostKind::word    ? slot(&wordExport)
                            : inKind == HostKind::excel ? slot(&excelExport)
                                                        : slot(&powerPointExport);
    }
    return table.data();
}

// What Office hands the exporter beside the pages; the exporter only traces it.
void sendDocumentFacts(IMsoDocExporter* inExporter, const std::wstring& inTitle)
{
    inExporter->SetDocumentLocale(GetUserDefaultLCID());
    inExporter->AddMetadataText(0, inTitle.c_str());  // Title
    inExporter->AddMetadataText(4, L"Fake Office"); // Creator
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    inExporter->AddMetadataDate(9, &now); // CreationDate
    MSODOCEXOUTLINENODE node = {};
    node.idNode = 1;
    inTitle.copy(node.rgwchNodeText, 255);
    node.iDestPage = 0;
    inExporter->AddOutlineEntry(0, &node);
}

// The hosts alive in this process; the add-in finds their main windows by class.
std::vector<const Host*> liveHosts;

HWND WINAPI findHostWindow(LPCWSTR inClass, LPCWSTR inTitle)
{
    if (inClass && !IS_INTRESOURCE(inClass) && !inTitle) {
        for (const Host* host : liveHosts)
            if (_wcsicmp(inClass, host->mainWindowClass().c_str()) == 0)
                return host->mainWindow();
    }
    return FindWindowW(inClass, inTitle);
}

LRESULT CALLBACK windowProcedure(HWND inWindow, UINT inMessage, WPARAM inW, LPARAM inL)
{
    return DefWindowProcW(inWindow, inMessage, inW, inL);
}

// The host's main window. Wine without a display makes no windows; the host then stands for its window
// with a handle of its own, which only the add-in's owner arguments carry.
HWND makeMainWindow(const std::wstring& inClass, const std::wstring& inCaption, bool& outReal)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = inClass.c_str();
    RegisterClassW(&windowClass); // already there from an earlier host of this process is fine
    HWND window = CreateWindowExW(0, inClass.c_str(), inCaption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    outReal = window != nullptr;
    if (!window) {
        static ULONG_PTR standIns = 0x4F460000; // far from the handles Wine gives out
        window = reinterpret_cast<HWND>(++standIns);
    }
    return window;
}

} // namespace

std::wstring describeArgument(const VARIANT& inValue)
{
    if ((inValue.vt == VT_UNKNOWN && inValue.punkVal) || (inValue.vt == VT_DISPATCH && inValue.pdispVal))
        return L"exporter";
    if (inValue.vt == VT_ERROR && inValue.scode == DISP_E_PARAMNOTFOUND)
        return L"missing";
    if (inValue.vt == VT_EMPTY)
        return L"empty";
    return L"vt=" + std::to_wstring(inValue.vt);
}

Host::Host(const HostSettings& inSettings)
    : settings(inSettings),
      captionText(inSettings.caption ? *inSettings.caption : factsOf(inSettings.kind).caption),
      windowClassName(inSettings.windowClass ? *inSettings.windowClass : factsOf(inSettings.kind).windowClass),
      applicationObject(nullptr), documentObject(nullptr), window(nullptr), realWindow(false)
{
    switch (settings.kind) {
    case HostKind::word:
        applicationObject = new WordApplication(*this);
        break;
    case HostKind::excel:
        applicationObject = new ExcelApplication(*this);
        break;
    case HostKind::powerPoint:
        applicationObject = new PowerPointApplication(*this);
        break;
    }
    documentObject = reinterpret_cast<IDispatch*>(new Document{documentTable(settings.kind), 1, this});
    window = makeMainWindow(windowClassName, captionText, realWindow);
    liveHosts.push_back(this);
}

Host::~Host()
{
    liveHosts.erase(std::find(liveHosts.begin(), liveHosts.end(), this));
    if (realWindow)
        DestroyWindow(window);
    documentObject->Release();
    applicationObject->Release();
}

bool Host::watch(HMODULE inAddIn)
{
    return redirectImport(inAddIn, "user32.dll", "FindWindowW", reinterpret_cast<void*>(&findHostWindow));
}

const wchar_t* Host::name() const
{
    return factsOf(settings.kind).name;
}

LONG Host::applicationReferences() const
{
    applicationObject->AddRef();
    return LONG(applicationObject->Release());
}

LONG Host::documentReferences() const
{
    return self(documentObject)->references;
}

HRESULT Host::exportDocument(const std::wstring& inArguments, const VARIANT* inExporter, const wchar_t* inOutputName)
{
    ExportCall& call = calls.emplace_back();
    call.arguments = inArguments;
    if (settings.refusesExport) {
        if (settings.refusalDescription)
            raiseErrorInfo(settings.refusalDescription->c_str(), name());
        return *settings.refusesExport;
    }
    IUnknown* object = nullptr;
    if (inExporter && inExporter->vt == VT_UNKNOWN)
        object = inExporter->punkVal;
    else if (inExporter && inExporter->vt == VT_DISPATCH)
        object = inExporter->pdispVal;
    IMsoDocExporter* exporter = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_IMsoDocExporter, reinterpret_cast<void**>(&exporter))) ||
        !exporter)
        return E_INVALIDARG;
    call.exporterFound = true;

    if (inOutputName) {
        call.outputName = inOutputName;
        exporter->SetOutputName(inOutputName);
    }
    sendDocumentFacts(exporter, settings.documentName ? *settings.documentName : L"");
    // The host owns each page's metafile: made for the call, deleted after it.
    HRESULT result = S_OK;
    for (size_t i = 0; i < settings.pages.size() && (SUCCEEDED(result) || settings.goesOnAfterAFailedPage); ++i) {
        HENHMETAFILE page = GetEnhMetaFileW(settings.pages[i].c_str());
        const HRESULT pageResult = page ? exporter->AddEmfPage(page) : HRESULT_FROM_WIN32(GetLastError());
        if (page) {
            DeleteEnhMetaFile(page);
            call.pages.push_back(pageResult);
        }
        if (FAILED(pageResult) && SUCCEEDED(result))
            result = pageResult;
        if (onPage)
            onPage(i + 1, settings.pages.size(), settings.pages[i], pageResult);
    }
    if (SUCCEEDED(result) || settings.goesOnAfterAFailedPage) {
        call.finish = exporter->FinishDocument();
        if (SUCCEEDED(result))
            result = *call.finish;
    }
    exporter->Release();
    return result;
}

} // namespace FakeOffice
