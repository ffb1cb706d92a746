// The button's action: which host this is, where the user wants the file, and the host's own fixed-format
// export with our exporter in it. The host draws the pages and hands them to the exporter before its
// export call returns.
#include "connect.h"

#include "bp_exporter.h"
#include "bp_useroutput.h"
#include "dispatch_driver.h"
#include "output_folder.h"
#include "mvx_exception.h"
#include "mvx_string.h"

#include <cwchar>
#include <new>
#include <string>

namespace {

// Hosts in the order they are looked for in the Application's caption: a caption that names Word and
// Excel is Word's.
struct HostEntry {
    const wchar_t* captionWord;
    const IID* applicationIid;
    // The interface of the active document whose ExportAsFixedFormat the click calls.
    const IID* documentIid;
    // The main window's classes, oldest Office version first; the first one found owns the save dialog.
    const wchar_t* mainWindowClasses[2];
    size_t activeDocumentSlot;
    size_t nameSlot;
};

enum HostIndex { word, excel, powerPoint };

const HostEntry hosts[] = {
    {L"Word", &IID_WordApplication, &IID_WordDocument, {L"Opusapp"}, OfficeSlot::wordActiveDocument,
     OfficeSlot::wordDocumentName},
    {L"Excel", &IID_ExcelApplication, &IID_ExcelWorkbook, {L"XLMAIN"}, OfficeSlot::excelActiveWorkbook,
     OfficeSlot::excelWorkbookName},
    // PowerPoint 2007's frame, then that of 2010 and later.
    {L"PowerPoint", &IID_PowerPointApplication, &IID_PowerPointPresentation, {L"PP12FrameClass", L"PPTFrameClass"},
     OfficeSlot::powerPointActivePresentation, OfficeSlot::powerPointPresentationName},
};

// The host's main window, or none: the dialog then has no owner.
HWND findMainWindow(const HostEntry& inHost)
{
    for (const wchar_t* windowClass : inHost.mainWindowClasses) {
        if (!windowClass)
            break;
        if (HWND window = FindWindowW(windowClass, nullptr))
            return window;
    }
    return nullptr;
}

// Owned by the host's main window where the host is known.
void showUnsupported(HWND inOwner = nullptr)
{
    ShowMessageBox(inOwner, L"Cannot operate with this condition!", L"Unsupported Application!",
                   MB_ICONHAND | MB_SYSTEMMODAL);
}

// Set while a click runs. A host can let a second click through to the button while the first one's export
// waits (on a box, or in the host's own message loop); that click is refused, never run inside the first.
bool g_clickRunning = false;

class ClickRunning {
public:
    ClickRunning() { g_clickRunning = true; }
    ~ClickRunning() { g_clickRunning = false; }
    ClickRunning(const ClickRunning&) = delete;
    ClickRunning& operator=(const ClickRunning&) = delete;
};

VARIANT omitted()
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// Calls the host's ExportAsFixedFormat on the document with the exporter in inExporterArg and gives back the
// host's answer.
HRESULT exportDocument(HostIndex inHost, IDispatch* inDocument, CDjVuExporter& inExporter,
                       const std::wstring& inPath, VARIANT& inExporterArg)
{
    switch (inHost) {
    case word: {
        OwnedBstr path(SysAllocString(inPath.c_str()));
        if (!path.get())
            throw std::bad_alloc();
        return officeSlot<WordExportAsFixedFormat>(inDocument, OfficeSlot::wordExportAsFixedFormat)(
            inDocument, path.get(), wdExportFormatPDF, VARIANT_FALSE, 0, 0, 0, 0, 0, VARIANT_TRUE, VARIANT_FALSE,
            wdExportCreateWordBookmarks, VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE, &inExporterArg);
    }
    case excel: {
        // Excel is not told the file name: the exporter has it before Excel calls.
        inExporter.outputPath = inPath.c_str();
        return officeSlot<ExcelExportAsFixedFormat>(inDocument, OfficeSlot::excelExportAsFixedFormat)(
            inDocument, xlTypePDF, omitted(), omitted(), omitted(), omitted(), omitted(), omitted(), omitted(),
            inExporterArg);
    }
    case powerPoint: {
        OwnedBstr path(SysAllocString(inPath.c_str()));
        OwnedBstr slideShowName(SysAllocString(L""));
        if (!path.get() || !slideShowName.get())
            throw std::bad_alloc();
        return officeSlot<PowerPointExportAsFixedFormat>(inDocument, OfficeSlot::powerPointExportAsFixedFormat)(
            inDocument, path.get(), ppFixedFormatTypePDF, ppFixedFormatIntentPrint, msoFalse,
            ppPrintHandoutHorizontalFirst, ppPrintOutputSlides, msoTrue, nullptr, ppPrintAll, slideShowName.get(),
            VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE, inExporterArg);
    }
    }
    return E_UNEXPECTED;
}

// Whether the thread's error object may be taken as the document's word on its failed export: COM's rule is
// to ask the object whether the interface called sets one. A document that does not answer the question is
// believed, since the error object was cleared before the call.
bool documentSetsErrorInfo(IDispatch* inDocument, const IID& inIid)
{
    OwnedInterface<ISupportErrorInfo> support;
    if (FAILED(inDocument->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.out()))) ||
        !support.get())
        return true;
    return support.get()->InterfaceSupportsErrorInfo(inIid) == S_OK;
}

// What the host said when it refused to export: its own description of the error where it gave one (the
// thread's error object, cleared before the call so that an older one is not taken for it), else the code.
std::wstring hostRefusal(const HostEntry& inHost, IDispatch* inDocument, const std::wstring& inPath, HRESULT inResult)
{
    const std::wstring what =
        std::wstring(inHost.captionWord) + L" could not export the document to \"" + inPath + L"\"";
    // Taken off the thread first in any case, so that it is not left there for a later caller.
    OwnedInterface<IErrorInfo> error;
    OwnedBstr description;
    if (GetErrorInfo(0, error.out()) == S_OK && error.get() && documentSetsErrorInfo(inDocument, *inHost.documentIid) &&
        SUCCEEDED(error.get()->GetDescription(description.out())) && SysStringLen(description.get()) > 0)
        return what + L": " + std::wstring(description.get(), SysStringLen(description.get()));
    wchar_t code[16];
    std::swprintf(code, sizeof code / sizeof code[0], L"0x%08lX", static_cast<unsigned long>(inResult));
    return what + L" (error " + code + L").";
}

// One click. Objects live in the order the click needs them and go in the reverse order: the host's
// objects before the exporter, the exporter before the caption and the driver.
void runExportCommand(IDispatch* inApplication)
{
    DispatchDriver driver;
    driver.Attach(inApplication);
    OwnedVariant caption;
    if (VARIANT* value = driver.GetProperty(L"Caption")) {
        VariantClear(&caption.get());
        caption.get() = *value;
        VariantInit(value);
    }
    if (caption.get().vt != VT_BSTR || !caption.get().bstrVal) {
        showUnsupported();
        return;
    }

    CDjVuExporter exporter;

    const std::wstring captionText(caption.get().bstrVal, SysStringLen(caption.get().bstrVal));
    HostIndex host = word;
    while (captionText.find(hosts[host].captionWord) == std::wstring::npos) {
        if (host == powerPoint)
            return; // none of ours
        host = HostIndex(host + 1);
    }
    const HostEntry& entry = hosts[host];
    // Every box and dialog from here on is owned by the host's main window.
    const HWND owner = findMainWindow(entry);
    exporter.SetOwnerWindow(owner);

    // A caption that names a host whose object model does not answer: the click stops before calling
    // further into the host, and says so.
    OwnedInterface<IDispatch> application;
    if (FAILED(inApplication->QueryInterface(*entry.applicationIid, reinterpret_cast<void**>(application.out()))) ||
        !application.get()) {
        showUnsupported(owner);
        return;
    }
    OwnedInterface<IDispatch> document;
    if (FAILED(officeSlot<OfficeGetObject>(application.get(), entry.activeDocumentSlot)(application.get(),
                                                                                      document.out())) ||
        !document.get()) {
        showUnsupported(owner);
        return;
    }
    // A name the host cannot give counts as no name at all.
    OwnedBstr name;
    if (FAILED(officeSlot<OfficeGetName>(document.get(), entry.nameSlot)(document.get(), name.out()))) {
        SysFreeString(*name.out());
        *name.out() = nullptr;
    }
    // Without GDI+ no page can be drawn: told now, once, rather than for every page the host would draw.
    if (!exporter.CanDrawPages()) {
        ShowErrorText(owner, L"The DjVu export cannot start: GDI+, which draws the pages, could not be started.");
        return;
    }
    const std::wstring path = CConnect::AskSaveFileName(owner, name.get());
    if (path.empty())
        return;
    // Told now, in words, rather than after every page has been drawn and encoded.
    const std::wstring problem = OutputFolderProblem(path);
    if (!problem.empty()) {
        ShowErrorText(owner, problem.c_str());
        return;
    }

    exporter.AddRef();
    OwnedVariant exporterArg;
    exporterArg.get().vt = VT_UNKNOWN;
    exporterArg.get().punkVal = &exporter;
    SetErrorInfo(0, nullptr);
    const HRESULT result = exportDocument(host, document.get(), exporter, path, exporterArg.get());
    // A host may stop at a page that failed without asking for the finish, which would have said so.
    exporter.TellUntoldFailure();
    // The host refused before a page came (nothing to print, restricted permission, a path it rejects):
    // without this the click did nothing the user could see.
    if (FAILED(result) && !exporter.HasToldFailure())
        ShowErrorText(owner, hostRefusal(entry, document.get(), path, result).c_str());
}

} // namespace

// The ribbon is told S_OK whatever happened: what the user needs to know was shown to them.
HRESULT CConnect::ConvButtonClicked(IDispatch*)
{
    comBarrier([&] {
        if (g_clickRunning) {
            ShowErrorText(nullptr, L"A DjVu export is already running. Wait until it has finished, then try again.");
            return S_OK;
        }
        const ClickRunning running;
        try {
            runExportCommand(application);
        } catch (const Morvenix::Exception& e) {
            // The exporter could not start (its encoder or document could not be made).
            ShowErrorBox(nullptr, L"The DjVu export could not start.", e);
        }
        return S_OK;
    });
    return S_OK;
}
