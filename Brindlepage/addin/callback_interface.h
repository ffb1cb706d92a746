// The second creatable class of the type library: the callback interface on its own, doing nothing.
#pragma once

#include "BrindlepageLib.h"
#include "com_support.h"

class CCallbackInterface : public DispatchPart<CCallbackInterface, ICallbackInterface> {
public:
    void* findInterface(REFIID inIid);

    HRESULT STDMETHODCALLTYPE ConvButtonClicked(IDispatch* inRibbonControl) override;
    HRESULT STDMETHODCALLTYPE OnLoad(IDispatch* inRibbonUI) override;
    HRESULT STDMETHODCALLTYPE GetImage(IDispatch* inRibbonControl, IPictureDisp** outImage) override;
};
