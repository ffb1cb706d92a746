// The Office hosts' interfaces the add-in talks to: the add-in connection (IDTExtensibility2), the ribbon
// (IRibbonExtensibility, IRibbonUI, IRibbonControl), the hosts' object models down to their fixed-format
// export and the fixed-format exporter (IMsoDocExporter).
// Office ships no headers for them: the first four are declared after their published type libraries;
// the exporter's table is the order in which the hosts call it.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>

// Connect modes and disconnect modes of the Office add-in type library.
enum ext_ConnectMode : int32_t { ext_cm_AfterStartup = 0, ext_cm_Startup = 1, ext_cm_External = 2, ext_cm_CommandLine = 3 };
enum ext_DisconnectMode : int32_t { ext_dm_HostShutdown = 0, ext_dm_UserClosed = 1 };

extern "C" const IID IID_IDTExtensibility2;
extern "C" const IID IID_IRibbonExtensibility;
extern "C" const IID IID_IRibbonUI;
extern "C" const IID IID_IRibbonControl;
extern "C" const IID IID_IMsoDocExporter;

struct IDTExtensibility2 : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* inApplication, int32_t inConnectMode,
                                                   IDispatch* inAddInInst, SAFEARRAY** inCustom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDisconnection(int32_t inRemoveMode, SAFEARRAY** inCustom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** inCustom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** inCustom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** inCustom) = 0;
};

struct IRibbonExtensibility : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR inRibbonId, BSTR* outRibbonXml) = 0;
};

// The Office 2007 members; later versions append more, which the add-in does not call.
struct IRibbonUI : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Invalidate() = 0;
    virtual HRESULT STDMETHODCALLTYPE InvalidateControl(BSTR inControlId) = 0;
};

struct IRibbonControl : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Id(BSTR* outId) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Context(IDispatch** outContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Tag(BSTR* outTag) = 0;
};

// An outline entry as the host hands it to the exporter.
struct MSODOCEXOUTLINENODE {
    int32_t idNode;
    wchar_t rgwchNodeText[256];
    int32_t iDestPage;
    float dytfvDestPage;
    float dxtfvDestOffset;
    float dytfvDestOffset;
};

// The exporter the hosts call during ExportAsFixedFormat. The host only ever calls it through this table,
// in this order; the slots named SlotNN are ones the add-in answers with S_OK, each taking the machine words
// the host passes there. No declaration of them is published, so nothing tells a word that is a value or
// an input pointer from one that is an out-parameter: they write nothing through any of them.
struct IMsoDocExporter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOutputName(const wchar_t* inFileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot04(UINT_PTR, UINT_PTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot05(UINT_PTR, UINT_PTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddEmfPage(HENHMETAFILE inPage) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMetadataText(int32_t inType, const wchar_t* inValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMetadataDate(int32_t inType, const FILETIME* inDate) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDocumentLocale(LCID inLcid) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddOutlineEntry(UINT_PTR, const MSODOCEXOUTLINENODE* inNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot11(UINT_PTR, UINT_PTR, UINT_PTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot12(UINT_PTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE FinishDocument() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot14(UINT_PTR, UINT_PTR, UINT_PTR, UINT_PTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot15() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot16(UINT_PTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot17(UINT_PTR) = 0;
};

// The hosts' object models, reached through the tables their type libraries give (Office 2007 and later:
// members are only ever appended, so these slots hold for every later version). Slots count from the
// table's start: 0-2 IUnknown, 3-6 IDispatch.
extern "C" const IID IID_WordApplication;       // Word _Application
extern "C" const IID IID_ExcelApplication;      // Excel _Application
extern "C" const IID IID_PowerPointApplication; // PowerPoint _Application
extern "C" const IID IID_WordDocument;           // Word _Document
extern "C" const IID IID_ExcelWorkbook;          // Excel _Workbook
extern "C" const IID IID_PowerPointPresentation; // PowerPoint _Presentation

namespace OfficeSlot {
constexpr size_t wordActiveDocument = 13;           // _Application: get_ActiveDocument(_Document**)
constexpr size_t wordDocumentName = 7;              // _Document: get_Name(BSTR*)
constexpr size_t wordExportAsFixedFormat = 417;     // _Document
constexpr size_t excelActiveWorkbook = 18;          // _Application: get_ActiveWorkbook(_Workbook**)
constexpr size_t excelWorkbookName = 66;            // _Workbook: get_Name(BSTR*), no locale argument
constexpr size_t excelExportAsFixedFormat = 244;    // _Workbook
constexpr size_t powerPointActivePresentation = 11; // _Application: get_ActivePresentation(_Presentation**)
constexpr size_t powerPointPresentationName = 31;   // _Presentation: get_Name(BSTR*)
constexpr size_t powerPointExportAsFixedFormat = 115; // _Presentation
} // namespace OfficeSlot

// The signatures behind those slots; the object comes first, as in every table call. Enumerations,
// MsoTriState and int take one 32-bit word, VARIANT_BOOL true is -1.
using OfficeGetObject = HRESULT(STDMETHODCALLTYPE*)(IDispatch* inSelf, IDispatch** outObject);
using OfficeGetName = HRESULT(STDMETHODCALLTYPE*)(IDispatch* inSelf, BSTR* outName);
// Word: the exporter travels by reference.
using WordExportAsFixedFormat = HRESULT(STDMETHODCALLTYPE*)(
    IDispatch* inSelf, BSTR inOutputFileName, int32_t inExportFormat, VARIANT_BOOL inOpenAfterExport,
    int32_t inOptimizeFor, int32_t inRange, int32_t inFrom, int32_t inTo, int32_t inItem,
    VARIANT_BOOL inIncludeDocProps, VARIANT_BOOL inKeepIRM, int32_t inCreateBookmarks,
    VARIANT_BOOL inDocStructureTags, VARIANT_BOOL inBitmapMissingFonts, VARIANT_BOOL inUseISO19005_1,
    VARIANT* inFixedFormatExtClassPtr);
// Excel: every argument after the type is an optional VARIANT by value; an omitted one is VT_ERROR
// DISP_E_PARAMNOTFOUND.
using ExcelExportAsFixedFormat = HRESULT(STDMETHODCALLTYPE*)(
    IDispatch* inSelf, int32_t inType, VARIANT inFilename, VARIANT inQuality, VARIANT inIncludeDocProperties,
    VARIANT inIgnorePrintAreas, VARIANT inFrom, VARIANT inTo, VARIANT inOpenAfterPublish,
    VARIANT inFixedFormatExtClassPtr);
using PowerPointExportAsFixedFormat = HRESULT(STDMETHODCALLTYPE*)(
    IDispatch* inSelf, BSTR inPath, int32_t inFixedFormatType, int32_t inIntent, int32_t inFrameSlides,
    int32_t inHandoutOrder, int32_t inOutputType, int32_t inPrintHiddenSlides, IDispatch* inPrintRange,
    int32_t inRangeType, BSTR inSlideShowName, VARIANT_BOOL inIncludeDocProperties,
    VARIANT_BOOL inKeepIRMSettings, VARIANT_BOOL inDocStructureTags, VARIANT_BOOL inBitmapMissingFonts,
    VARIANT_BOOL inUseISO19005_1, VARIANT inExternalExporter);

// Enumeration values the add-in passes.
constexpr int32_t wdExportFormatPDF = 17;
constexpr int32_t wdExportCreateWordBookmarks = 2;
constexpr int32_t xlTypePDF = 0;
constexpr int32_t ppFixedFormatTypePDF = 2;
constexpr int32_t ppFixedFormatIntentPrint = 2;
constexpr int32_t ppPrintHandoutHorizontalFirst = 2;
constexpr int32_t ppPrintOutputSlides = 1;
constexpr int32_t ppPrintAll = 1;
constexpr int32_t msoTrue = -1;
constexpr int32_t msoFalse = 0;

// The function in slot inSlot of an object's table.
template <class Function>
Function officeSlot(IUnknown* inObject, size_t inSlot)
{
    return reinterpret_cast<Function>((*reinterpret_cast<void* const* const*>(inObject))[inSlot]);
}

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IDTExtensibility2, 0xB65AD801, 0xABAF, 0x11D0, 0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44)
__CRT_UUID_DECL(IRibbonExtensibility, 0x000C0396, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
__CRT_UUID_DECL(IRibbonUI, 0x000C03A7, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
__CRT_UUID_DECL(IRibbonControl, 0x000C0395, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
__CRT_UUID_DECL(IMsoDocExporter, 0x88D98FB3, 0xDFF5, 0x4080, 0x8E, 0x93, 0x3D, 0x0B, 0x92, 0x73, 0x6C, 0x30)
#endif
