// The add-in object the Office hosts create at start-up: their connection calls, the ribbon definition and
// the ribbon's callbacks.
#pragma once

#include "BrindlepageLib.h"
#include "com_support.h"
#include "office_host.h"

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

private:
    void releaseHostObjects();

    IDispatch* application;
    IDispatch* addInInstance;
    IRibbonUI* ribbonUI;
};
