#include "office_session.h"

#include "fake_office.h"

#include <cstdio>
#include <regex>

namespace FakeOffice {

namespace {

const wchar_t kAddIn[] = L"Brindlepage.Connect";

// Whether the host loads the add-in at start-up: its key under the host's Addins key says LoadBehavior 3.
bool loadsAtStartup(const wchar_t* inHost, const wchar_t* inProgId)
{
    const std::wstring key = std::wstring(L"Software\\Microsoft\\Office\\") + inHost + L"\\Addins\\" + inProgId;
    DWORD behavior = 0;
    DWORD size = sizeof(behavior);
    return RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"LoadBehavior", RRF_RT_REG_DWORD, nullptr, &behavior,
                        &size) == ERROR_SUCCESS &&
           behavior == 3;
}

std::wstring hex(HRESULT inResult)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%08lX", static_cast<unsigned long>(inResult));
    return text;
}

} // namespace

OfficeSession::OfficeSession(Host& inHost) : host(inHost)
{
    if (!loadsAtStartup(host.name(), kAddIn)) {
        fail(std::wstring(L"the add-in is not registered to load with ") + host.name(), S_OK);
        return;
    }
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(kAddIn, &clsid);
    IUnknown* object = nullptr;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        fail(L"cannot create the add-in", hr);
        return;
    }
    // The module the object's table lies in is the add-in's.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       *reinterpret_cast<LPCWSTR*>(object), &module);
    if (module)
        Host::watch(module);
    hr = object->QueryInterface(IID_IDTExtensibility2, reinterpret_cast<void**>(&addIn));
    object->Release();
    if (FAILED(hr)) {
        fail(L"the add-in has no connection interface", hr);
        return;
    }
    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    hr = addIn->OnConnection(host.application(), 1 /* ext_cm_Startup */, nullptr, &custom);
    if (SUCCEEDED(hr))
        addIn->OnStartupComplete(&custom);
    SafeArrayDestroy(custom);
    if (FAILED(hr)) {
        fail(L"the add-in refused the connection", hr);
        return;
    }

    IRibbonExtensibility* ribbon = nullptr;
    hr = addIn->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&ribbon));
    if (FAILED(hr)) {
        fail(L"the add-in has no ribbon", hr);
        return;
    }
    BSTR xml = nullptr;
    BSTR ribbonId = SysAllocString(host.kind() == HostKind::word    ? L"Microsoft.Word.Document"
                                   : host.kind() == HostKind::excel ? L"Microsoft.Excel.Workbook"
                                                                    : L"Microsoft.PowerPoint.Presentation");
    hr = ribbon->GetCustomUI(ribbonId, &xml);
    SysFreeString(ribbonId);
    if (SUCCEEDED(hr) && xml)
        ribbonXml.assign(xml, SysStringLen(xml));
    SysFreeString(xml);
    // The callbacks are found by name through the IDispatch of the object that gave the definition.
    if (SUCCEEDED(hr))
        hr = ribbon->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&callbacks));
    ribbon->Release();
    if (FAILED(hr)) {
        fail(L"the add-in gave no ribbon definition", hr);
        return;
    }
    std::wsmatch match;
    if (std::regex_search(ribbonXml, match, std::wregex(L"<button [^>]*onAction=\"([^\"]+)\"")))
        action = match[1];
    if (std::regex_search(ribbonXml, match, std::wregex(L"<customUI [^>]*onLoad=\"([^\"]+)\""))) {
        ribbonUI = RibbonUI::create();
        VARIANT arg = dispatchArg(ribbonUI);
        VARIANT result;
        callByName(callbacks, match[1].str().c_str(), {arg}, &result);
        VariantClear(&result);
    }
    if (std::regex_search(ribbonXml, match, std::wregex(L"<button [^>]*getImage=\"([^\"]+)\""))) {
        RibbonControl* control = RibbonControl::create();
        VARIANT arg = dispatchArg(control);
        VARIANT image;
        callByName(callbacks, match[1].str().c_str(), {arg}, &image);
        VariantClear(&image);
        control->Release();
    }
    if (action.empty())
        fail(L"the ribbon definition has no button action", S_OK);
}

OfficeSession::~OfficeSession()
{
    if (addIn) {
        SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
        addIn->OnBeginShutdown(&custom);
        addIn->OnDisconnection(0 /* ext_dm_HostShutdown */, &custom);
        SafeArrayDestroy(custom);
    }
    if (callbacks)
        callbacks->Release();
    if (addIn)
        addIn->Release();
    if (ribbonUI)
        ribbonUI->Release();
}

void OfficeSession::fail(const std::wstring& inWhat, HRESULT inResult)
{
    problem = inWhat + (inResult == S_OK ? L"" : L" (" + hex(inResult) + L")");
}

HRESULT OfficeSession::pressButton()
{
    if (!callbacks || action.empty())
        return E_UNEXPECTED;
    RibbonControl* control = RibbonControl::create();
    VARIANT arg = dispatchArg(control);
    VARIANT result;
    const HRESULT hr = callByName(callbacks, action.c_str(), {arg}, &result);
    VariantClear(&result);
    control->Release();
    return hr;
}

} // namespace FakeOffice
