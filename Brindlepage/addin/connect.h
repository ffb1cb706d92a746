// The add-in object the Office hosts create at start-up: their connection calls, the ribbon definition and
// the ribbon's callbacks.
#pragma once

#include "BrindlepageLib.h"
#include "com_support.h"
#include "office_host.h"

#include <string>

// Order of the bases is the order of the interfaces in the object. IDispatch is the ICallbackInterface part,
// so that the ribbon finds the callbacks of the definition by name; scripts reach the connection and the
// ribbon definition by name through it too.
class CConnect : public DispatchPart<CConnect, IDTExtensibility2>,
                 public DispatchPart<CConnect, IRibbonExtensibility>,
                 public DispatchPart<CConnect, ICallbackInterface, IDTExtensibility2, IRibbonExtensibility> {
public:
    CConnect();
    CConnect(const CConnect&) = delete;
    CConnect& operator=(const CConnect&) = delete;
    ~CConnect();

    void* findInterface(REFIID inIid);

    // IDTExtensibility2
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* inApplication, int32_t inConnectMode, IDispatch* inAddInInst,
                                           SAFEARRAY** inCustom) override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(int32_t inRemoveMode, SAFEARRAY** inCustom) override;
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** inCustom) override;
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** inCustom) override;
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** inCustom) override;

    // IRibbonExtensibility
    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR inRibbonId, BSTR* outRibbonXml) override;

    // ICallbackInterface
    HRESULT STDMETHODCALLTYPE ConvButtonClicked(IDispatch* inRibbonControl) override;
    HRESULT STDMETHODCALLTYPE OnLoad(IDispatch* inRibbonUI) override;
    HRESULT STDMETHODCALLTYPE GetImage(IDispatch* inRibbonControl, IPictureDisp** outImage) override;

    // The output file the user chooses for a document of this name (a path, or a bare name), asked with
    // the system's save dialog owned by inOwner (or the classic one where that dialog is missing); empty
    // when the user cancelled or no dialog could be shown. A host that gives no name gets "Untitled"
    // without a dialog.
    static std::wstring AskSaveFileName(HWND inOwner, const wchar_t* inDocumentName);

private:
    void releaseHostObjects();

    IDispatch* application;
    IDispatch* addInInstance;
    IRibbonUI* ribbonUI;
};
