// The Office hosts' interfaces the add-in talks to: the add-in connection (IDTExtensibility2), the ribbon
// (IRibbonExtensibility, IRibbonUI, IRibbonControl) and the fixed-format exporter (IMsoDocExporter).
// Office ships no headers for them: the first four are declared after their published type libraries;
// the exporter's table is the order in which the hosts call it.
#pragma once

#include <windows.h>
#include <oaidl.h>

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
// in this order; the slots named SlotNN are ones the add-in answers with S_OK and nothing more, each taking
// the machine words the host passes there.
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

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IDTExtensibility2, 0xB65AD801, 0xABAF, 0x11D0, 0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44)
__CRT_UUID_DECL(IRibbonExtensibility, 0x000C0396, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
__CRT_UUID_DECL(IRibbonUI, 0x000C03A7, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
__CRT_UUID_DECL(IRibbonControl, 0x000C0395, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
__CRT_UUID_DECL(IMsoDocExporter, 0x88D98FB3, 0xDFF5, 0x4080, 0x8E, 0x93, 0x3D, 0x0B, 0x92, 0x73, 0x6C, 0x30)
#endif
