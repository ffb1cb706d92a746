#include "callback_interface.h"

void* CCallbackInterface::findInterface(REFIID inIid)
{
    if (inIid == IID_IUnknown || inIid == IID_IDispatch || inIid == IID_ICallbackInterface)
        return static_cast<ICallbackInterface*>(this);
    return nullptr;
}

HRESULT CCallbackInterface::ConvButtonClicked(IDispatch*)
{
    return S_OK;
}

HRESULT CCallbackInterface::OnLoad(IDispatch*)
{
    return S_OK;
}

// No image; the caller is told so by a null picture rather than left with whatever its variable held.
HRESULT CCallbackInterface::GetImage(IDispatch*, IPictureDisp** outImage)
{
    if (!outImage)
        return E_POINTER;
    *outImage = nullptr;
    return S_OK;
}
